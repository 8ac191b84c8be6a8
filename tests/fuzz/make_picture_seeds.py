#!/usr/bin/env python3
"""Writes a seed corpus for the import decoders into the folder given: small pictures of each
kind and variant, PNG, JPEG, GIF, TIFF and ICO written by ImageMagick's convert, the bitmap
variants and an EXIF segment written here."""
import os
import struct
import subprocess
import sys

CONVERT = "/usr/bin/convert"  # /usr/local/bin/convert may be something else
target = sys.argv[1]
os.makedirs(target, exist_ok=True)


def write(name, content):
    with open(os.path.join(target, name), "wb") as out:
        out.write(content)


def convert(name, *arguments):
    """A 13 x 7 picture with four different corners, as convert writes it with `arguments`."""
    picture = subprocess.run([CONVERT, "-size", "13x7", "xc:", "-sparse-color", "bilinear",
                              "0,0 red 12,0 yellow 0,6 blue 12,6 white", *arguments],
                             capture_output=True, check=True).stdout
    write(name, picture)
    return picture


convert("palette.png", "PNG8:-")
convert("grey.png", "-colorspace", "Gray", "-define", "png:color-type=0", "PNG:-")
convert("grey4.png", "-colorspace", "Gray", "-depth", "4", "PNG:-")
convert("deep.png", "-depth", "16", "PNG48:-")
convert("alpha.png", "-alpha", "set", "-channel", "A", "-evaluate", "set", "50%", "PNG32:-")
convert("interlaced.png", "-interlace", "PNG", "PNG24:-")
jpeg = convert("baseline.jpg", "-quality", "80", "JPEG:-")
convert("progressive.jpg", "-interlace", "JPEG", "JPEG:-")
convert("grey.jpg", "-colorspace", "Gray", "JPEG:-")
convert("cmyk.jpg", "-colorspace", "CMYK", "JPEG:-")
convert("plain.gif", "GIF:-")
convert("interlaced.gif", "-interlace", "GIF", "-transparent", "white", "GIF:-")
convert("lzw.tif", "-compress", "lzw", "TIFF:-")
convert("cmyk16.tif", "-colorspace", "CMYK", "-depth", "16", "TIFF:-")
convert("alpha.tif", "-alpha", "set", "-channel", "A", "-evaluate", "set", "50%", "-compress", "zip", "TIFF:-")
convert("icon.ico", "ICO:-")

# A JPEG with an EXIF segment turning it a quarter (6), in big-endian order.
tiff = b"MM" + struct.pack(">HIH", 42, 8, 1) + struct.pack(">HHIH2x", 0x0112, 3, 1, 6) + bytes(4)
app1 = b"Exif\0\0" + tiff
write("exif6.jpg", jpeg[:2] + b"\xFF\xE1" + struct.pack(">H", len(app1) + 2) + app1 + jpeg[2:])


def info_header(size, width, height, bits, compression=0, colours=0):
    return struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 0, 0, 0, colours, 0) + bytes(size - 40)


def bitmap(header, rest):
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(rest), 0, 0, 0) + header + rest


grey_table = b"".join(bytes([i * 85, i * 85, i * 85, 0]) for i in range(4))
write("bits1.bmp", bitmap(info_header(40, 5, 3, 1), grey_table[:8] + bytes([0b10100000, 0, 0, 0]) * 3))
write("bits2.bmp", bitmap(info_header(40, 5, 3, 2), grey_table + bytes([0b00011011, 0, 0, 0]) * 3))
write("bits4.bmp", bitmap(info_header(40, 5, 3, 4, 0, 4), grey_table + bytes([0x01, 0x23, 0x10, 0]) * 3))
write("rle8.bmp", bitmap(info_header(40, 5, 3, 8, 1, 4), grey_table
                         + bytes([3, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 2, 1, 1, 2, 2, 0, 1])))
write("rle4.bmp", bitmap(info_header(40, 5, 3, 4, 2, 4), grey_table + bytes([5, 0x12, 0, 0, 0, 3, 0x31, 0x20, 0, 1])))
write("rgb555.bmp", bitmap(info_header(40, 3, 2, 16), bytes(range(8)) * 2))
write("masks565.bmp", bitmap(info_header(40, 3, 2, 16, 3), struct.pack("<III", 0xF800, 0x07E0, 0x1F) + bytes(range(8)) * 2))
v5 = bytearray(info_header(124, 2, -2, 32, 3))
struct.pack_into("<IIII", v5, 40, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
write("v5_alpha.bmp", bitmap(bytes(v5), bytes(range(16))))
write("core24.bmp", bitmap(struct.pack("<IHHHH", 12, 2, 2, 1, 24), bytes(range(16))))
write("odd24.bmp", bitmap(info_header(40, 3, 3, 24), bytes(range(36))))
# An icon whose one image is a 2 x 2 DIB of 32 bits, then its 1-bit mask.
dib = info_header(40, 2, 4, 32) + bytes(range(16)) + bytes([0x40, 0, 0, 0]) * 2
write("dib.ico", struct.pack("<HHHBBBBHHII", 0, 1, 1, 2, 2, 0, 0, 1, 32, len(dib), 22) + dib)
