#!/usr/bin/env python3
"""The Windows package as `make dist` makes it and a user unpacks it. Made twice from the same
programs it is the same bytes, with SHA256SUMS naming it; it holds exactly one folder,
marivane-VERSION, with marivane.exe, marivane-cli.exe (mode 0755), x86template as built and
README.txt (0644, CRLF), the programs without debug information or link time. README.txt
describes today's program and keeps a user's way back open: the DVD or recovery partition is
asked for before the first copy, no command writes x86template, none copies over the original,
and none in the recovery prompt leans on a variable that points into X: there. Unpacked into an
empty folder on a Wine machine nobody has used yet, with the stand-in WIMGAPI.DLL put beside it
by this test alone, marivane.exe opens its window and marivane-cli.exe, run there, builds a boot
screen file that readers we did not write accept.

usage: win32_package_test.py --bin DIR --version VERSION --strip STRIP --objdump OBJDUMP
                             --wine RUN --driver PROGRAM_DRIVER
"""
import argparse
import hashlib
import os
import shutil
import struct
import sys
import tempfile
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "support"))
import boot_screen_checks  # noqa: E402
from harness import bitmap, check, cli_command, failures, finish, run, wine_path  # noqa: E402

parser = argparse.ArgumentParser()
for option in ("--bin", "--version", "--strip", "--objdump", "--wine", "--driver"):
    parser.add_argument(option, required=True)
args = parser.parse_args()
source = os.path.join(here, "..", "..")
folder = f"marivane-{args.version}/"
# Each entry and the Unix mode it carries.
contents = [(folder, 0o40755), (folder + "marivane.exe", 0o100755), (folder + "marivane-cli.exe", 0o100755),
            (folder + "x86template", 0o100644), (folder + "README.txt", 0o100644)]
zip_name = f"marivane-{args.version}-win32.zip"
# What README.txt must say of today's program, literally.
README_TELLS = ["Boot Screen Template...", "Import Picture for 800 x 600...", "marivane-cli prepare PICTURE",
                "template {SOURCE.mui | --system [LANGUAGE]}", "--system-template", f"C:\\marivane-{args.version}",
                "Open Boot Screen File...", "Preview at Boot...", "marivane-cli inspect FILE...",
                "Install Boot Screen...", "Restore Original Boot Screen"]


def make_package(out):
    status, text = run(["/usr/bin/python3", os.path.join(source, "packaging", "win32_zip.py"),
                        "--bin", args.bin, "--readme", os.path.join(source, "packaging", "README-win32.txt"),
                        "--version", args.version, "--strip", args.strip, "--out", out])
    check(status == 0, f"win32_zip.py failed ({status}):\n{text}")
    with open(os.path.join(out, zip_name), "rb") as f:
        return f.read()


def coff_time_stamp(program):
    # +0x3C: where the PE signature is; the COFF header's time stamp follows it at +8.
    pe = struct.unpack_from("<I", program, 0x3C)[0]
    return struct.unpack_from("<I", program, pe + 8)[0]


with tempfile.TemporaryDirectory() as work:
    first = make_package(os.path.join(work, "first"))
    second = make_package(os.path.join(work, "second"))
    check(first == second, "made twice, the package differs")
    sums = open(os.path.join(work, "first", "SHA256SUMS")).read()
    check(sums == f"{hashlib.sha256(first).hexdigest()}  {zip_name}\n", f"SHA256SUMS: {sums!r}")

    unpacked = os.path.join(work, "unpacked")
    os.mkdir(unpacked)
    with zipfile.ZipFile(os.path.join(work, "first", zip_name)) as archive:
        held = [(info.filename, info.external_attr >> 16) for info in archive.infolist()]
        check(held == contents, f"the package holds {[(name, oct(mode)) for name, mode in held]}")
        archive.extractall(unpacked)
    unpacked = os.path.join(unpacked, folder)
    check(open(os.path.join(unpacked, "x86template"), "rb").read() ==
          open(os.path.join(args.bin, "x86template"), "rb").read(), "x86template is not the one built")
    readme = open(os.path.join(unpacked, "README.txt"), "rb").read()
    check(readme.count(b"\n") > 0 and readme.count(b"\n") == readme.count(b"\r\n"), "README.txt: not CRLF")
    text = readme.decode().replace("\r\n", "\n")
    for told in README_TELLS:
        check(told in text, f"README.txt does not say {told!r}")
    commands = [line.strip() for line in text.splitlines() if line.startswith("     ") and
                line.split()[0] in ("copy", "move", "mkdir", "dir", "takeown", "icacls", "marivane-cli")]
    first_copy = text.index("\n     copy ")
    check(-1 < text.find("Vista DVD") < first_copy and -1 < text.find("recovery partition") < first_copy,
          "README.txt asks for the Vista DVD or the recovery partition only after the first copy")
    recovery = text[text.index("If Windows does not start any more\n"):text.index("The command-line tool\n")]
    for command in commands:
        check(not ("%USERPROFILE%" in command or command.startswith("copy /y") or "x86template" in command or
                   (command in recovery and "%" in command)), f"README.txt: {command}")
    check(len([c for c in commands if c in recovery]) >= 4, "README.txt: no recovery prompt commands")
    for program in ("marivane.exe", "marivane-cli.exe"):
        path = os.path.join(unpacked, program)
        check(coff_time_stamp(open(path, "rb").read()) == 0, f"{program}: a link time in its header")
        status, text = run([args.objdump, "-h", path])
        check(status == 0 and ".debug" not in text, f"{program}: debug information left:\n{text}")

    # The stand-in, where a user would have the system's library.
    shutil.copy(os.path.join(args.bin, "WIMGAPI.DLL"), unpacked)
    prefix = os.path.join(work, "prefix")
    env = dict(os.environ, WINE_RUN_PREFIX=prefix)
    status, text = run([args.wine, args.driver, "opens", wine_path(os.path.join(unpacked, "marivane.exe"))], env)
    check(status == 0, f"marivane.exe did not open as it should ({status}):\n{text}")

    pictures = os.path.join(work, "pictures")
    temp = os.path.join(work, "temp")
    os.mkdir(pictures)
    os.mkdir(temp)
    small = os.path.join(pictures, "small.bmp")
    big = os.path.join(pictures, "big.bmp")
    open(small, "wb").write(bitmap(800, 600, lambda x, y: (x & 255, 40, y & 255)))
    open(big, "wb").write(bitmap(1024, 768, lambda x, y: (y & 255, x & 255, 160)))
    out = os.path.join(pictures, "winload.exe.mui")
    command, _ = cli_command(os.path.join(unpacked, "marivane-cli.exe"), args.wine,
                             ["build", wine_path(small), wine_path(big), "-o", wine_path(out)], temp)
    status, text = run(command, env)
    if check(status == 0 and os.path.exists(out), f"marivane-cli.exe build failed ({status}):\n{text}"):
        failures.extend(boot_screen_checks.judge("unpacked", out, small, big,
                                                 os.path.getsize(os.path.join(unpacked, "x86template")), work))
    run(["wineserver", "-k"], dict(os.environ, WINEPREFIX=prefix))

finish()
