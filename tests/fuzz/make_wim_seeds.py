#!/usr/bin/env python3
"""make_wim_seeds.py CORPUS MARIVANE_CLI: writes the seed corpus of the WIM reader's fuzzer,
archives of one small folder as both writers make them: marivane-cli capture (our LZX, the
builder's WIM) and wimlib-imagex capture with no compression, XPRESS, LZX, and LZMS for the
refusal. The pictures are small so that each run of the fuzzer takes a moment."""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile


def bitmap(width, height, seed):
    """A bottom-up 24-bit BMP of soft gradients with a little noise, as photographs look."""
    rng = random.Random(seed)
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            noise = rng.randrange(5)
            row += bytes(((x * 3 + noise) & 255, (y * 2 + noise) & 255, ((x + y) + noise) & 255))
        rows += row + bytes(stride - len(row))
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
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
