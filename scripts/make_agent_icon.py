#!/usr/bin/env python3
"""Draws the agent's icon (resources/arvek.ico): a teal tile with a white
USB Type-C plug outline, in eight sizes, 32-bit with alpha.

    make_agent_icon.py OUT.ico

The icon is committed; run this only to change it.
"""
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 96)
TEAL = (0x1F, 0x7A, 0x8C)
WHITE = (0xFF, 0xFF, 0xFF)


def coverage(inside, x, y, samples=4):
    """Fraction of the pixel (x, y) that `inside` covers, by supersampling."""
    hits = 0
    for i in range(samples):
        for j in range(samples):
            if inside(x + (i + 0.5) / samples, y + (j + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def image(size):
    s = float(size)
    tile = rounded_rect(0.5, 0.5, s - 0.5, s - 0.5, s * 0.18)
    # The plug: a stadium outline in the middle of the tile.
    outer = rounded_rect(s * 0.18, s * 0.36, s * 0.82, s * 0.64, s * 0.14)
    inner = rounded_rect(s * 0.26, s * 0.43, s * 0.74, s * 0.57, s * 0.07)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(size):
            a = coverage(tile, x, y)
            w = coverage(lambda px, py: outer(px, py) and not inner(px, py), x, y)
            r, g, b = (round(TEAL[k] * (1 - w) + WHITE[k] * w) for k in range(3))
            row += bytes((b, g, r, round(255 * a)))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha decides; the AND mask is empty
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def main(argv):
    if len(argv) != 2:
        print("usage: make_agent_icon.py OUT.ico", file=sys.stderr)
        return 2
    images = [image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(argv[1], "wb") as out:
        out.write(directory + entries + b"".join(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
