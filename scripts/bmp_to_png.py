#!/usr/bin/env python3
"""Converts an uncompressed 24- or 32-bit BMP file to PNG.

    bmp_to_png.py IN.bmp OUT.png

The Windows tests save their screenshots as BMP, which is all the Windows
API offers without extra libraries; PNG is what people's viewers and CI
artefact pages show.
"""
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM" or len(data) < 54:
        raise ValueError(f"{path}: not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits not in (24, 32) or compression not in (0, 3) or width <= 0 or height == 0:
        raise ValueError(f"{path}: only uncompressed 24/32-bit BMP files are read")
    step = bits // 8
    stride = (width * step + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y  # bottom-up unless negative
        start = offset + source * stride
        row = data[start:start + width * step]
        if len(row) < width * step:
            raise ValueError(f"{path}: truncated pixel data")
        rgb = bytearray(width * 3)
        rgb[0::3] = row[2::step]
        rgb[1::3] = row[1::step]
        rgb[2::3] = row[0::step]
        rows.append(bytes(rgb))
    return width, abs(height), rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        write_png(argv[2], *read_bmp(argv[1]))
    except (OSError, ValueError) as error:
        print(f"bmp_to_png: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
