#!/usr/bin/env python3
"""make_wim_seeds.py CORPUS MARIVANE_CLI: writes the seed corpus of the fuzzer that reads boot
screen files back. Archives of one small folder as both writers make them: marivane-cli capture
(our LZX, the builder's WIM) and wimlib-imagex capture with no compression, XPRESS, LZX, and
LZMS for the refusal; the pictures are small so that each run takes a moment. And for the
inspection, archives of pictures of one colour (which compress to little) from either writer
and of the small folder from ours, each in a language file of the tests' own writer and as
"SL", its size and itself, which the fuzzer splices into our slot; and a language file
without one."""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from mui_source import build_module, language_file  # noqa: E402


def bitmap(width, height, seed):
    """A bottom-up 24-bit BMP of soft gradients with a little noise, as photographs look; black
    without a seed."""
    rng = random.Random(seed)
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height if seed is not None else 0):
        row = bytearray()
        for x in range(width):
            noise = rng.randrange(5)
            row += bytes(((x * 3 + noise) & 255, (y * 2 + noise) & 255, ((x + y) + noise) & 255))
        rows += row + bytes(stride - len(row))
    if seed is None:
        rows = bytes(stride * height)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + bytes(rows)


def main():
    corpus, cli = sys.argv[1], sys.argv[2]
    os.makedirs(corpus, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        source = os.path.join(work, "source")
        os.makedirs(os.path.join(source, "sub"))
        # The larger one spans two 32 KiB chunks.
        for name, width, height, seed in (("osload800x600.bmp", 80, 60, 1),
                                          ("osload1024x768.bmp", 128, 96, 2),
                                          ("sub/copy.bmp", 80, 60, 1)):
            with open(os.path.join(source, name), "wb") as out:
                out.write(bitmap(width, height, seed))
        open(os.path.join(source, "empty.bin"), "wb").close()
        subprocess.run([cli, "capture", source, os.path.join(corpus, "ours_lzx.wim")],
                       check=True, stdout=subprocess.DEVNULL)
        for name, options in (("wimlib_none", ["--compress=none"]),
                              ("wimlib_xpress", ["--compress=XPRESS"]),
                              ("wimlib_lzx", ["--compress=LZX"]),
                              ("wimlib_lzms", ["--compress=LZMS"])):
            subprocess.run(["wimlib-imagex", "capture", source, os.path.join(corpus, name + ".wim"),
                            "--boot"] + options, check=True, stdout=subprocess.DEVNULL)

        # A boot screen the inspection finds good, in the other writer's layout and, spliced into
        # our slot by the fuzzer itself, in ours.
        pictures = os.path.join(work, "pictures")
        os.makedirs(pictures)
        for name, width, height in (("osload800x600.bmp", 800, 600), ("osload1024x768.bmp", 1024, 768)):
            with open(os.path.join(pictures, name), "wb") as out:
                out.write(bitmap(width, height, None))
        wims = {"none": None}
        for name, folder, options in (("ours_good", pictures, None), ("wimlib_good", pictures, ["--compress=XPRESS"]),
                                      ("ours_small", source, None)):
            wim = os.path.join(work, name + ".wim")
            if options is None:
                subprocess.run([cli, "capture", folder, wim], check=True, stdout=subprocess.DEVNULL)
            else:
                subprocess.run(["wimlib-imagex", "capture", folder, wim, "--boot"] + options,
                               check=True, stdout=subprocess.DEVNULL)
            with open(wim, "rb") as data:
                wims[name] = data.read()
        for name, wim in wims.items():
            if wim is not None:
                with open(os.path.join(corpus, "slot_" + name), "wb") as out:
                    out.write(b"SL" + struct.pack("<I", len(wim)) + wim)
            resources = language_file(0x409, "en-US", boot_screen=wim or b"")
            if wim is None:
                resources = resources[1:]  # a language file without a boot screen
            with open(os.path.join(corpus, "module_" + name + ".mui"), "wb") as out:
                out.write(build_module(resources)[0])
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
