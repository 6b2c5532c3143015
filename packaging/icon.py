#!/usr/bin/env python3
"""Draws the tool's icon: a white house on a blue rounded square, with three
rising green bars in its doorway's place (the rent, checked). Writes one PNG
per size given, as OUTDIR/habitorium-rent-analysis-<size>.png, RGBA, edges
smoothed by sampling each pixel several times. Python's standard library only.

    icon.py OUTDIR 16 24 32 48 256
"""
import os
import struct
import sys
import zlib

BLUE = (31, 95, 153)
WHITE = (255, 255, 255)
GREEN = (46, 160, 67)


def inside_rounded_square(x, y, radius=0.18, margin=0.03):
    lo, hi = margin, 1.0 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_house(x, y):
    # The roof: a triangle from (0.16, 0.50) up to (0.50, 0.17) and down to (0.84, 0.50).
    if 0.16 <= x <= 0.84 and y <= 0.50 and y >= 0.17 + abs(x - 0.50) * (0.33 / 0.34):
        return True
    # The walls.
    return 0.25 <= x <= 0.75 and 0.48 <= y <= 0.84


def bar_at(x, y):
    # Three bars standing on the floor of the house, rising to the right.
    for left, top in ((0.31, 0.66), (0.44, 0.58), (0.57, 0.50)):
        if left <= x <= left + 0.10 and top <= y <= 0.78:
            return True
    return False


def colour_at(x, y):
    if not inside_rounded_square(x, y):
        return None
    if bar_at(x, y):
        return GREEN
    if inside_house(x, y):
        return WHITE
    return BLUE


def render(size):
    samples = 4 if size <= 64 else 3
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            n = samples * samples
            if a:
                row += bytes((r // a, g // a, b // a, round(255 * a / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(pixels, 9)) +
            chunk(b"IEND", b""))


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    for text in argv[2:]:
        size = int(text)
        path = os.path.join(outdir, f"habitorium-rent-analysis-{size}.png")
        with open(path + ".part", "wb") as f:
            f.write(png(size, render(size)))
        os.replace(path + ".part", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
