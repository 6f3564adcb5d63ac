#!/usr/bin/env python3
"""The seven cell templates (31 x 31 BMP files, 24 bits, uncompressed) as a
C++ source of 0xAARRGGBB pixels, top row first, for the web edition."""
import struct
import sys


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise SystemExit(f"{path}: not an uncompressed 24-bit picture")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        # Bottom-up unless the height is negative.
        source = abs(height) - 1 - y if height > 0 else y
        start = offset + source * stride
        row = data[start:start + width * 3]
        if len(row) != width * 3:
            raise SystemExit(f"{path}: cut short")
        rows.append([0xFF000000 | row[x * 3 + 2] << 16 | row[x * 3 + 1] << 8 | row[x * 3] for x in range(width)])
    return width, abs(height), rows


def main(output, *pictures):
    out = ["// Made by web/tools/cell_templates.py from resources/BMP_1..7.bmp.",
           '#include "web/wasm/cell_templates.h"', "",
           "const CellTemplate CellTemplates[7] = {"]
    for path in pictures:
        width, height, rows = read_bmp(path)
        if (width, height) != (31, 31):
            raise SystemExit(f"{path}: {width} x {height}, not 31 x 31")
        pixels = ",".join(f"0x{p:08X}u" for row in rows for p in row)
        out.append(f"    {{{{{pixels}}}}},")
    out.append("};")
    with open(output, "w") as file:
        file.write("\n".join(out) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 9:
        raise SystemExit("usage: cell_templates.py OUTPUT.cpp BMP_1 ... BMP_7")
    main(*sys.argv[1:])
