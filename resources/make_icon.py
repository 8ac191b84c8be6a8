#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico with 48, 32 and 16 pixel images.

The picture: a dark monitor whose screen shows a boot screen, a pale dawn over a hill with a
row of progress blocks beneath. Every pixel is worked out here, supersampled 4 x 4 for smooth
edges, so the icon needs nothing but the standard library to build.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZES = (48, 32, 16)
SAMPLES = 4  # per axis


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def rounded_rect_contains(x, y, left, top, right, bottom, radius):
    if not (left <= x < right and top <= y < bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shade(u, v):
    """Colour (r, g, b, a) of the point (u, v) of the unit square, y growing downwards."""
    # Stand under the monitor.
    if 0.40 <= u < 0.60 and 0.80 <= v < 0.90:
        return (70, 74, 84, 255)
    if 0.26 <= u < 0.74 and 0.88 <= v < 0.95:
        return (50, 54, 62, 255)
    if not rounded_rect_contains(u, v, 0.04, 0.10, 0.96, 0.82, 0.07):
        return (0, 0, 0, 0)
    # Bezel.
    if not rounded_rect_contains(u, v, 0.10, 0.16, 0.90, 0.76, 0.03):
        return (38, 42, 52, 255)
    # Screen: a sky from deep blue to dawn orange, a dark hill, progress blocks at the foot.
    sy = (v - 0.16) / 0.60
    sx = (u - 0.10) / 0.80
    if 0.80 <= sy < 0.90:
        block = int(sx * 5)
        inside = 0.12 < (sx * 5) % 1.0 < 0.88 and 0.5 <= sx * 5 < 4.5
        if inside:
            return (90, 220, 120, 255) if block <= 2 else (40, 70, 50, 255)
        return (10, 14, 24, 255)
    if sy >= 0.90:
        return (10, 14, 24, 255)
    hill = 0.62 - 0.16 * (1.0 - (2.0 * sx - 1.1) ** 2)
    if sy > hill:
        return (22, 40, 60, 255)
    sun = (sx - 0.55) ** 2 + ((sy - 0.55) * 1.2) ** 2
    if sun < 0.018:
        return (255, 226, 140, 255)
    return lerp((24, 48, 120), (250, 150, 80), min(sy / 0.62, 1.0)) + (255,)


def render(size):
    """Rows of (b, g, r, a), top row first."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = shade((x + (sx + 0.5) / SAMPLES) / size,
                                       (y + (sy + 0.5) / SAMPLES) / size)
                    # Premultiplied, so transparent samples do not darken the edge.
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[2::-1]) + (int(round(alpha)),))
        rows.append(row)
    return rows


def icon_image(size):
    """One image as an .ico stores it: a 40-byte header of doubled height, 32-bit pixels bottom
    row first, then the 1-bit AND mask that older systems draw with."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    images = [icon_image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
