"""What the Python test scripts share: the failures they collect and the report that ends them,
running a program, the path a Windows program sees under Wine, the command line that runs
marivane-cli with a temporary folder of its own, and the bitmaps they feed it.
A script finds this folder as ../support from its own."""
import os
import struct
import subprocess
import sys

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def finish(passed="all checks passed", failed="{} checks failed"):
    """Prints every failure and a last line, then ends the script, with status 1 if anything failed."""
    for failure in failures:
        print(failure)
    print(passed if not failures else failed.format(len(failures)))
    sys.exit(1 if failures else 0)


def run(command, env=None, cwd=None):
    done = subprocess.run(command, capture_output=True, text=True, env=env, cwd=cwd)
    return done.returncode, (done.stdout + done.stderr).replace("\r\n", "\n")


def wine_path(path):
    # Wine shows the Linux root as drive Z:.
    return "Z:" + path.replace("/", "\\")


def host_path_for(wine_run):
    """How a script names its files to the program it runs: through Wine, or as they are."""
    return wine_path if wine_run else (lambda path: path)


def cli_command(cli, wine_run, args, temp):
    """(command, environment) that run marivane-cli with `args`, given as the program names them,
    and with `temp` as its TEMP; under Wine, `cli` is a Windows program run through `wine_run`."""
    if not wine_run:
        return [cli] + list(args), dict(os.environ, TEMP=temp)
    # Wine sets TEMP from its own registry, whatever the Linux side says; cmd sets it anew.
    return [wine_run, "cmd", "/c", f"set TEMP={wine_path(temp)}&& " + " ".join([wine_path(cli)] + list(args))], None


def bitmap(width, height, pixel=None, bits=24):
    """A bottom-up bitmap with a 40-byte info header. At 24 bits pixel(x, y) gives each pixel's
    blue, green and red; without it, or at another depth, the pixels are zeros."""
    row = (width * bits + 31) // 32 * 4
    if pixel is None or bits != 24:
        pixels = bytes(row * height)
    else:
        pad = bytes(row - width * 3)
        pixels = b"".join(b"".join(bytes(pixel(x, y)) for x in range(width)) + pad for y in range(height))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) + header + pixels
