#!/usr/bin/env python3
"""`prepare` against ImageMagick: pictures of every kind the importer takes, written by convert,
prepared for a slot in each mode and compared by PSNR with what convert itself makes of them
(-auto-orient, alpha over black, the matching resize and crop or bars). Every result must pass
the slot's own check. Then `build --prepare` on a JPEG and a PNG, judged by the independent
checkers.

usage: cli_prepare_test.py CLI [--wine RUN]
"""
import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import boot_screen_checks  # noqa: E402
from harness import check, cli_command, finish, host_path_for, run  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("cli")
parser.add_argument("--wine")
args = parser.parse_args()
# The runs start in the test's own folder, for the default output name.
args.cli = os.path.abspath(args.cli)
args.wine = args.wine and os.path.abspath(args.wine)
host_path = host_path_for(args.wine)
CONVERT = "/usr/bin/convert"  # /usr/local/bin/convert may be something else
COMPARE = "/usr/bin/compare"
SLOTS = {"small": (800, 600), "big": (1024, 768)}
# Right pictures measure about 51 dB against convert (both use a Lanczos-3 filter, rounded a
# little differently); one framed a pixel off measures about 30, a mirrored one under 10.
MIN_PSNR = 40.0


def convert(*arguments):
    done = subprocess.run([CONVERT, *arguments], capture_output=True)
    if done.returncode != 0:
        sys.exit(f"convert {' '.join(arguments)} failed: {done.stderr.decode()}")
    return done.stdout


def exif_jpeg(upright_png, orientation, target):
    """A JPEG whose pixels are `upright_png` stored so that EXIF orientation `orientation` turns
    them upright again; the APP1 segment is written here, alternately in either byte order."""
    undo = {1: [], 2: ["-flop"], 3: ["-rotate", "180"], 4: ["-flip"], 5: ["-transpose"],
            6: ["-rotate", "270"], 7: ["-transverse"], 8: ["-rotate", "90"]}[orientation]
    jpeg = convert(upright_png, *undo, "-strip", "-quality", "95", "JPEG:-")
    big = orientation % 2 == 0
    order = ">" if big else "<"
    # TIFF header, IFD0 with one entry (Orientation, SHORT, 1 value), no next IFD.
    tiff = (b"MM" if big else b"II") + struct.pack(order + "HI", 42, 8)
    tiff += struct.pack(order + "H", 1) + struct.pack(order + "HHIH2x", 0x0112, 3, 1, orientation)
    tiff += struct.pack(order + "I", 0)
    app1 = b"Exif\0\0" + tiff
    with open(target, "wb") as out:
        out.write(jpeg[:2] + b"\xFF\xE1" + struct.pack(">H", len(app1) + 2) + app1 + jpeg[2:])


def bitmap_size(path):
    """(width, height, bits per pixel) from a bitmap's info header."""
    width, height, _, bits = struct.unpack_from("<iiHH", open(path, "rb").read(54), 18)
    return width, height, bits


def reference(source, mode, width, height, target):
    """What convert makes of `source` for a slot, written to `target`."""
    size = f"{width}x{height}"
    framing = {"fill": ["-resize", size + "^", "-gravity", "center", "-extent", size],
               "fit": ["-resize", size, "-gravity", "center", "-extent", size],
               "stretch": ["-resize", size + "!"]}[mode]
    convert(source + "[0]", "-auto-orient", "-background", "black", "-alpha", "remove",
            "-alpha", "off", "-filter", "Lanczos", *framing, "-depth", "8", "PNG24:" + target)


def psnr(a, b):
    """PSNR in dB between two pictures of the same size, by ImageMagick's compare."""
    done = subprocess.run([COMPARE, "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True)
    try:
        return float(done.stderr.split()[0])
    except (ValueError, IndexError):
        return math.inf if done.stderr.strip() == "inf" else 0.0


with tempfile.TemporaryDirectory() as work:
    temp = os.path.join(work, "temp")
    os.mkdir(temp)

    def cli(*arguments):
        command, env = cli_command(args.cli, args.wine, list(arguments), temp)
        return run(command, env, cwd=work)

    def path(name):
        return os.path.join(work, name)

    # The upright picture: four different corners, so that any wrong turn or mirror shows, a
    # disc and a bar for edges, and an odd size wider than either slot's shape.
    upright = path("upright.png")
    convert("-size", "457x301", "xc:", "-sparse-color", "bilinear",
            "0,0 red 456,0 yellow 0,300 blue 456,300 white",
            "-fill", "black", "-draw", "circle 120,150 160,150", "-fill", "green",
            "-draw", "rectangle 300,40 330,260", upright)
    # A portrait one, so that fill crops top and bottom and fit puts bars left and right.
    portrait = path("portrait.png")
    convert(upright, "-rotate", "90", "-resize", "211x333!", portrait)

    # (file name, convert arguments that write it from `upright` or `portrait`)
    inputs = [
        ("palette.png", [upright, "-colors", "64", "PNG8:" + path("palette.png")]),
        ("grey.png", [portrait, "-colorspace", "Gray", "-define", "png:color-type=0",
                      "-depth", "8", path("grey.png")]),
        ("alpha.png", [upright, "(", "-size", "457x301", "gradient:white-black", ")", "-alpha", "off",
                       "-compose", "CopyOpacity", "-composite", "PNG32:" + path("alpha.png")]),
        ("deep.png", [portrait, "-depth", "16", "PNG48:" + path("deep.png")]),
        ("picture.gif", [upright, path("picture.gif")]),
        ("odd.bmp", [portrait, "-resize", "213x331!", "BMP3:" + path("odd.bmp")]),
        ("palette.bmp", [upright, "-colors", "200", "-type", "Palette", "BMP3:" + path("palette.bmp")]),
        ("picture.tif", [portrait, "-compress", "lzw", path("picture.tif")]),
    ]
    for _, arguments in inputs:
        convert(*arguments)
    sources = [name for name, _ in inputs]
    for orientation in range(1, 9):
        name = f"exif{orientation}.jpg"
        exif_jpeg(upright if orientation % 2 else portrait, orientation, path(name))
        sources.append(name)

    # Each source in each mode, the slots taken in turn.
    prepared = []
    for index, source in enumerate(sources):
        for mode_index, mode in enumerate(("fill", "fit", "stretch")):
            slot = ("small", "big")[(index + mode_index) % 2]
            width, height = SLOTS[slot]
            out = f"{source}-{mode}.bmp"
            status, text = cli("prepare", host_path(path(source)), "--slot", slot, "--mode", mode,
                               "-o", host_path(path(out)))
            if not check(status == 0 and os.path.exists(path(out)), f"prepare {source} {mode}: {status}\n{text}"):
                continue
            expected = path(out + ".reference.png")
            reference(path(source), mode, width, height, expected)
            size, quality = bitmap_size(path(out)), psnr(path(out), expected)
            check(size == (width, height, 24) and quality >= MIN_PSNR,
                  f"{source} {mode} for {slot}: {size}, {quality:.1f} dB against convert")
            prepared.append((out, slot))

    # The slot's own check takes every one of them.
    status, text = cli("check", *(host_path(path(out)) for out, _ in prepared))
    for out, slot in prepared:
        check(f"{out}: bitmap" in text and f"{slot}=valid" in text.split(f"{out}: ")[1].split("\n")[0],
              f"check does not take {out} for the {slot} slot:\n{text}")

    # The default name in the current folder, and an existing file only with --force.
    status, text = cli("prepare", host_path(path("exif6.jpg")), "--slot", "big")
    check(status == 0 and os.path.exists(path("exif6-1024x768.bmp")), f"default name: {status}\n{text}")
    status, text = cli("prepare", host_path(path("exif6.jpg")), "--slot", "big")
    check(status == 1 and "exists already" in text, f"existing output without --force: {status}\n{text}")
    status, text = cli("prepare", host_path(path("upright.png")), "--slot", "middle")
    check(status == 2, f"a slot that is none: {status}\n{text}")
    open(path("damaged.png"), "wb").write(open(upright, "rb").read()[:200])
    status, text = cli("prepare", host_path(path("damaged.png")), "--slot", "small")
    check(status == 1 and "damaged.png" in text and not os.path.exists(path("damaged-800x600.bmp")),
          f"a damaged picture: {status}\n{text}")

    # build --prepare: a JPEG and a PNG straight into a boot screen file, whose pictures are
    # what prepare makes of them, and the run's own folder for them is gone afterwards.
    template_size = os.path.getsize(os.path.join(os.path.dirname(args.cli), "x86template"))
    out = path("winload.exe.mui")
    status, text = cli("build", "--prepare", "--mode", "fit", host_path(path("exif8.jpg")),
                       host_path(path("alpha.png")), "-o", host_path(out))
    if check(status == 0 and os.path.exists(out), f"build --prepare: {status}\n{text}"):
        for source, slot, expected in (("exif8.jpg", "small", "small.bmp"), ("alpha.png", "big", "big.bmp")):
            cli("prepare", host_path(path(source)), "--slot", slot, "--mode", "fit", "-o", host_path(path(expected)))
        failures = boot_screen_checks.judge("build-prepare", out, path("small.bmp"), path("big.bmp"),
                                            template_size, work)
        for failure in failures:
            check(False, failure)
    check(not any(name.startswith("mrvn-prepare-") for name in os.listdir(temp)),
          f"build --prepare left {os.listdir(temp)} in TEMP")

finish()
