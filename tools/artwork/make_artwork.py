#!/usr/bin/env python3
"""Draws the program's icon (32 x 32) and the device tree's state-image strip (128 x 16, eight
16 x 16 images, 16 colours, mask colour RGB(16, 0, 0)) and writes them as XPM arrays into
src/resources/Artwork.cpp. From the same icon it writes the desktop icons into packaging/icons:
PNGs at 16, 32, 48 and 256 pixels and a scalable SVG. Run it again after changing a picture."""
import math, os, struct, zlib

MASK = (16, 0, 0)
PALETTE = {
    ' ': MASK, 'k': (0, 0, 0), 'w': (255, 255, 255), 'g': (0, 160, 0), 'G': (120, 220, 120),
    'r': (200, 0, 0), 'R': (255, 130, 130), 'b': (0, 0, 160), 'c': (0, 170, 220),
    's': (128, 128, 128), 'S': (192, 192, 192), 'y': (230, 200, 0), 'o': (255, 128, 0),
}

def canvas(w, h, fill=' '):
    return [[fill] * w for _ in range(h)]

def rect(img, x0, y0, x1, y1, c, ox=0):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x + ox] = c

def disc(img, cx, cy, r, c, ox=0):
    for y in range(16):
        for x in range(16):
            if (x - cx + .5) ** 2 + (y - cy + .5) ** 2 <= r * r:
                img[y][x + ox] = c

def state_strip():
    img = canvas(128, 16)
    def badge(i, colour):
        disc(img, 8, 8, 7.6, colour, 16 * i)
    # 1: grouped module: black branching outline on green
    badge(1, 'g'); ox = 16
    rect(img, 4, 3, 5, 12, 'k', ox); rect(img, 5, 4, 11, 5, 'k', ox); rect(img, 5, 8, 11, 9, 'k', ox)
    rect(img, 5, 11, 11, 12, 'k', ox)
    # 2, 3: computer screen on green / red
    for i, col in ((2, 'g'), (3, 'r')):
        badge(i, col); ox = 16 * i
        rect(img, 3, 3, 12, 10, 'k', ox); rect(img, 4, 4, 11, 9, 'c', ox)
        rect(img, 7, 11, 8, 11, 'k', ox); rect(img, 5, 12, 10, 12, 'k', ox)
    # 4, 5: antenna with arcs on green / red
    for i, col in ((4, 'g'), (5, 'r')):
        badge(i, col); ox = 16 * i
        rect(img, 7, 6, 8, 13, 'k', ox); rect(img, 6, 5, 9, 6, 'k', ox)
        for r in (3.5, 5.5):
            for a in range(-60, 61, 6):
                for side in (-1, 1):
                    t = math.radians(a)
                    x = int(round(7.5 + side * r * math.cos(t)))
                    y = int(round(5.5 - r * math.sin(t)))
                    if 0 <= x < 16 and 0 <= y < 16:
                        img[y][x + ox] = 'w'
    return img

# The icon as rectangles (x0, y0, x1, y1 inclusive, colour) painted in order, so the pixel icon
# and the scalable one are the same drawing.
APP_ICON_RECTS = (
    [(4, 8, 27, 27, 'k'), (5, 9, 26, 26, 'b')]                              # the module
    + [(x, 28, x + 1, 30, 's') for x in range(7, 26, 4)]                    # its pins
    + [(8, 12, 23, 15, 'S'), (8, 18, 17, 19, 'G'), (20, 18, 23, 23, 'y')]
    + [(14, 0, 17, 6, 'o')]                                                 # arrow: image going in
    + [(11 + i, 4 + i, 20 - i, 4 + i, 'o') for i in range(5)])

def app_icon():
    img = canvas(32, 32)
    for x0, y0, x1, y1, c in APP_ICON_RECTS:
        rect(img, x0, y0, x1, y1, c)
    return img

def scaled_rgba(img, size):
    """The picture at size x size pixels, each pixel the area-weighted mean of the cells it
    covers (mask cells transparent), as rows of RGBA bytes."""
    n = len(img)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            y0, y1 = py * n / size, (py + 1) * n / size
            x0, x1 = px * n / size, (px + 1) * n / size
            for cy in range(int(y0), min(n, math.ceil(y1))):
                wy = min(y1, cy + 1) - max(y0, cy)
                for cx in range(int(x0), min(n, math.ceil(x1))):
                    c = img[cy][cx]
                    if c == ' ':
                        continue
                    w = wy * (min(x1, cx + 1) - max(x0, cx))
                    r, g, b = PALETTE[c]
                    acc[0] += r * w; acc[1] += g * w; acc[2] += b * w; acc[3] += w
            area = (n / size) ** 2
            alpha = acc[3] / area
            if alpha == 0:
                row += bytes(4)
            else:
                row += bytes([round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]),
                              round(255 * alpha)])
        rows.append(bytes(row))
    return rows

def png(rows):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    size = len(rows)
    raw = b''.join(b'\0' + r for r in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))

def svg():
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32" '
           'shape-rendering="crispEdges">']
    for x0, y0, x1, y1, c in APP_ICON_RECTS:
        out.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0 + 1}" height="{y1 - y0 + 1}" '
                   f'fill="#%02X%02X%02X"/>' % PALETTE[c])
    return '\n'.join(out + ['</svg>', ''])

def xpm(name, img):
    used = sorted({c for row in img for c in row})
    lines = [f'"{len(img[0])} {len(img)} {len(used)} 1"']
    for c in used:
        col = 'None' if c == ' ' else '#%02X%02X%02X' % PALETTE[c]
        lines.append(f'"{c} c {col}"')
    lines += ['"' + ''.join(row) + '"' for row in img]
    body = ',\n    '.join(lines)
    return f'const char* const {name}[] = {{\n    {body}}};\n'

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, '..', '..', 'src', 'resources', 'Artwork.cpp')
with open(out, 'w') as f:
    f.write('// Made by tools/artwork/make_artwork.py; edit the pictures there.\n')
    f.write('#include "resources/Artwork.h"\n\nnamespace omblor::resources {\n\nnamespace {\n')
    # One picture row a line, as the Windows resource script reads them back.
    f.write('// clang-format off\n')
    f.write(xpm('kAppIcon', app_icon()))
    f.write(xpm('kStateImages', state_strip()))
    f.write('// clang-format on\n')
    f.write('}  // namespace\n\n')
    f.write('std::span<const char* const> AppIconXpm() {\n    return kAppIcon;\n}\n')
    f.write('std::span<const char* const> StateImagesXpm() {\n    return kStateImages;\n}\n\n')
    f.write('}  // namespace omblor::resources\n')

icons = os.path.join(here, '..', '..', 'packaging', 'icons')
os.makedirs(icons, exist_ok=True)
for size in (16, 32, 48, 256):
    with open(os.path.join(icons, f'omblor-{size}.png'), 'wb') as f:
        f.write(png(scaled_rgba(app_icon(), size)))
with open(os.path.join(icons, 'omblor.svg'), 'w') as f:
    f.write(svg())
