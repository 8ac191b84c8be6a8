#!/usr/bin/env python3
"""Writes a small seed corpus for the picture fuzzer into the folder given: one file of each
header variant and kind, each prefixed with the byte that selects its reader."""
import os
import struct
import sys

BITMAP, ICON, METAFILE = b"\x00", b"\x01", b"\x02"


def info_header(size, width, height, bits, compression=0, colours=0):
    head = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 0, 0, 0, colours, 0)
    return head + bytes(size - 40)


def bitmap(header, rest):
    return BITMAP + b"BM" + bytes(12) + header + rest


seeds = {
    "rgb24": bitmap(info_header(40, 4, 3, 24), bytes(48)),
    "rgb24_topdown": bitmap(info_header(40, 4, -3, 24), bytes(48)),
    "core24": bitmap(struct.pack("<IHHHH", 12, 4, 3, 1, 24), bytes(48)),
    "v5_24": bitmap(info_header(124, 4, 3, 24), bytes(48)),
    "pal8": bitmap(info_header(40, 4, 3, 8, 0, 2), bytes(8) + bytes(12)),
    "masks16": bitmap(info_header(40, 4, 3, 16, 3), struct.pack("<III", 0xF800, 0x07E0, 0x1F) + bytes(24)),
    "rle8": bitmap(info_header(40, 4, 3, 8, 1, 2), bytes(8) + bytes([4, 1, 0, 0, 4, 0, 0, 0, 4, 1, 0, 1])),
    "icon": ICON + struct.pack("<HHHBBBBHHII", 0, 1, 1, 2, 2, 0, 0, 1, 32, 48, 22)
    + info_header(40, 2, 4, 32) + bytes(8),
    "emf": METAFILE + struct.pack("<II4i4iIIIIHHIIIiiii", 1, 88, 0, 0, 9, 9, 0, 0, 264, 264,
                                  0x464D4520, 0x10000, 108, 2, 1, 0, 0, 0, 0, 1024, 768, 320, 240)
    + struct.pack("<IIIII", 14, 20, 0, 16, 20),
}
box = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 10, 10, 96, 0)
checksum = 0
for i in range(0, 20, 2):
    checksum ^= struct.unpack_from("<H", box, i)[0]
seeds["wmf"] = METAFILE + box + struct.pack("<H", checksum) + struct.pack("<HHHIHIH", 1, 9, 0x300, 12, 0, 3, 0) + bytes([3, 0, 0, 0, 0, 0])

os.makedirs(sys.argv[1], exist_ok=True)
for name, content in seeds.items():
    with open(os.path.join(sys.argv[1], name), "wb") as out:
        out.write(content)
