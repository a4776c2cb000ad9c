#!/usr/bin/env python3
"""Draws the icon tables platform/resources/*.images as character art.

Each image is a block of rows; every character stands for a colour of the
file's palette ("." is transparent). Run from the repository root; the
output is committed, so the build needs no Python."""
import math

PALETTE = {
    '.': None,
    'k': '101010', 'w': 'f4f4f4', 'g': '8c8c8c', 'o': 'f0a020', 'r': 'd83a30',
    'b': '3a78d8', 'c': '50c8e8', 'n': '38b048', 'y': 'f0e040', 'd': '505050',
}
# Gradient for the logo.
GRAD = 'ABCDEFGHIJKLMNOP'
for i, ch in enumerate(GRAD):
    t = i / (len(GRAD) - 1)
    r = int(40 + t * (240 - 40)); g = int(90 + t * (150 - 90)); b = int(220 + t * (40 - 220))
    PALETTE[ch] = '%02x%02x%02x' % (r, g, b)

GLYPHS = {  # 5 x 7
    'A': ['.www.', 'w...w', 'w...w', 'wwwww', 'w...w', 'w...w', 'w...w'],
    'B': ['wwww.', 'w...w', 'w...w', 'wwww.', 'w...w', 'w...w', 'wwww.'],
    'V': ['w...w', 'w...w', 'w...w', 'w...w', '.w.w.', '.w.w.', '..w..'],
    'X': ['w...w', 'w...w', '.w.w.', '..w..', '.w.w.', 'w...w', 'w...w'],
    '1': ['..w..', '.ww..', '..w..', '..w..', '..w..', '..w..', '.www.'],
    '2': ['.www.', 'w...w', '....w', '...w.', '..w..', '.w...', 'wwwww'],
    '4': ['...w.', '..ww.', '.w.w.', 'w..w.', 'wwwww', '...w.', '...w.'],
    'x': ['.....', '.....', 'w...w', '.w.w.', '..w..', '.w.w.', 'w...w'],
}


def canvas(w, h):
    return [['.'] * w for _ in range(h)]


def put(c, x, y, ch):
    if 0 <= y < len(c) and 0 <= x < len(c[0]):
        c[y][x] = ch


def outline(c):
    """Black edge around every white pixel so icons read on light and dark faces."""
    h, w = len(c), len(c[0])
    out = [row[:] for row in c]
    for y in range(h):
        for x in range(w):
            if c[y][x] != '.':
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                xx, yy = x + dx, y + dy
                if 0 <= xx < w and 0 <= yy < h and c[yy][xx] not in '.k':
                    out[y][x] = 'k'
                    break
    return out


def text(c, s, x, y, colour='w'):
    for ch in s:
        for j, row in enumerate(GLYPHS[ch]):
            for i, p in enumerate(row):
                if p != '.':
                    put(c, x + i, y + j, colour)
        x += 6


def disc(c, cx, cy, r, ch):
    for y in range(len(c)):
        for x in range(len(c[0])):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                put(c, x, y, ch)


def brush(k):
    c = canvas(22, 15)
    disc(c, 10.5, 7, 1.6 + 1.7 * k, 'w')
    return outline(c)


def revert():
    c = canvas(22, 15)
    for a in range(30, 330, 3):
        t = math.radians(a)
        for r in (4.6, 5.4):
            put(c, round(11 + r * math.cos(t)), round(7 - r * math.sin(t)), 'w')
    for i in range(4):  # arrow head at the open end, pointing up
        for j in range(-i, i + 1):
            put(c, 15 + j, 1 + i, 'w')
    return outline(c)


def clear():
    c = canvas(22, 15)
    for i in range(11):
        for d in (0, 1):
            put(c, 5 + i + d, 2 + i, 'r')
            put(c, 16 - i + d, 2 + i, 'r')
    return outline(c)


def zoom(label):
    c = canvas(22, 15)
    for a in range(0, 360, 4):
        t = math.radians(a)
        for r in (5.0, 5.8):
            put(c, round(7 + r * math.cos(t)), round(6 + r * math.sin(t)), 'w')
    for i in range(4):
        put(c, 11 + i, 10 + i, 'w'); put(c, 12 + i, 10 + i, 'w')
    text(c, label, 15, 1)
    return outline(c)


def done(colour):
    c = canvas(24, 15)
    for i in range(5):
        for d in range(3):
            put(c, 4 + i, 7 + i - d + 1, colour)
    for i in range(11):
        for d in range(3):
            put(c, 8 + i, 11 - i - d + 1, colour)
    return outline(c)


def view(kind):
    c = canvas(22, 15)
    if kind == 'mid':
        text(c, 'A', 3, 4); text(c, 'B', 13, 4)
        for y in range(2, 13):
            put(c, 10, y, 'g'); put(c, 11, y, 'g')
    else:
        text(c, kind, 8, 4)
    return outline(c)


def arrow(last):
    c = canvas(16, 24)
    bar = 12 if last else 3
    for y in range(6, 18):
        put(c, bar, y, 'w'); put(c, bar - 1 if last else bar + 1, y, 'w')
    for i in range(6):
        for y in range(12 - i, 12 + i + 1):
            x = (5 + i) if not last else (10 - i)
            put(c, x, y, 'w')
    return outline(c)


def logo(small):
    w, h = 60, 76
    c = canvas(w, h)
    for y in range(h):
        for x in range(w):
            u = x + 3 * math.sin(y / 7.0)
            v = y + 3 * math.sin(x / 9.0)
            grid = (int(u) % 10 in (0, 1)) or (int(v) % 10 in (0, 1))
            t = min(len(GRAD) - 1, max(0, int((x + y) * len(GRAD) / (w + h))))
            put(c, x, y, GRAD[t] if grid else 'd')
    scale = 2 if small else 3
    word = 'VX'
    x0 = (w - (len(word) * 6 - 1) * scale) // 2
    y0 = (h - 7 * scale) // 2
    for k, ch in enumerate(word):
        for j, row in enumerate(GLYPHS[ch]):
            for i, p in enumerate(row):
                if p != '.':
                    for a in range(scale):
                        for b in range(scale):
                            put(c, x0 + (k * 6 + i) * scale + a, y0 + j * scale + b, 'w')
    return outline(c)


def write(path, images):
    with open(path, 'w') as f:
        f.write('# Generated by scripts/make_icons.py. One image per block: "image ID",\n')
        f.write('# its rows of palette characters, "end". "." is transparent.\n')
        for ch, rgb in PALETTE.items():
            if rgb:
                f.write('colour %s %s\n' % (ch, rgb))
        for ident, rows in images:
            f.write('image %d\n' % ident)
            for row in rows:
                f.write(''.join(row) + '\n')
            f.write('end\n')


write('platform/resources/vorlux_ops.images',
      [(200 + k, brush(k)) for k in range(4)] +
      [(209, revert()), (210, clear()), (211, zoom('1')), (212, zoom('2')), (213, zoom('4')),
       (214, done('y')), (215, done('n')), (216, view('A')), (217, view('mid')),
       (218, view('B')), (302, logo(True)), (303, logo(False))])
write('platform/resources/vxhost_gui.images',
      [(45, arrow(False)), (46, arrow(True)), (50, done('n')), (51, done('c'))])
