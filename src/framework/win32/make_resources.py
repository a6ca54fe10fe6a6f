#!/usr/bin/env python3
"""Writes the Windows resources' pictures from the program's own artwork (the XPM text in
src/resources/Artwork.cpp): icon 128 as an .ico (32 x 32 and 16 x 16, 32-bit with a mask) and
bitmap 133, the tree's state images, as a 16-colour .bmp whose transparent pixels carry the mask
colour RGB(16, 0, 0).

    make_resources.py ARTWORK_CPP OUT_ICO OUT_BMP
"""
import re
import struct
import sys

MASK_COLOUR = (16, 0, 0)


def read_xpms(source):
    """The string arrays of the file, in order, as lists of their strings."""
    arrays = re.findall(r"\[\]\s*=\s*\{(.*?)\};", source, re.S)
    return [re.findall(r'"((?:[^"\\]|\\.)*)"', body) for body in arrays]


def decode(xpm):
    """(width, height, rows of (r, g, b) or None for transparent)."""
    width, height, colours, per_pixel = map(int, xpm[0].split()[:4])
    table = {}
    for line in xpm[1:1 + colours]:
        key, rest = line[:per_pixel], line[per_pixel:].split()
        value = rest[rest.index("c") + 1]
        table[key] = None if value.lower() == "none" else tuple(
            int(value[i:i + 2], 16) for i in (1, 3, 5))
    rows = []
    for line in xpm[1 + colours:1 + colours + height]:
        rows.append([table[line[x * per_pixel:(x + 1) * per_pixel]] for x in range(width)])
    return width, height, rows


def icon_image(rows, size):
    """One .ico image: BITMAPINFOHEADER, 32-bit BGRA bottom-up, 1-bit AND mask."""
    scale = len(rows) // size
    picked = [[rows[y * scale][x * scale] for x in range(size)] for y in range(size)]
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(
        b"".join(bytes((p[2], p[1], p[0], 255)) if p else b"\0\0\0\0" for p in row)
        for row in reversed(picked))
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(picked):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def write_ico(path, rows):
    images = [icon_image(rows, size) for size in (32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_bmp(path, width, height, rows):
    palette = [MASK_COLOUR]
    for row in rows:
        for p in row:
            if p is not None and p not in palette:
                palette.append(p)
    if len(palette) > 16:
        sys.exit("bitmap 133 has more than 16 colours")
    palette += [(0, 0, 0)] * (16 - len(palette))
    stride = ((width * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            index = palette.index(p if p is not None else MASK_COLOUR)
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        pixels += bytes(line)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(info) + len(colours)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + colours + pixels)


def main():
    artwork, ico, bmp = sys.argv[1:4]
    with open(artwork, encoding="utf-8") as f:
        icon, states = read_xpms(f.read())[:2]
    write_ico(ico, decode(icon)[2])
    write_bmp(bmp, *decode(states))


if __name__ == "__main__":
    main()
