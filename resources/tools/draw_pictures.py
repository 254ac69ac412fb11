#!/usr/bin/env python3
"""Draws the program's pictures and writes them as .ico files into resources/.

Standard library only, and deterministic, so the icons can be rebuilt anywhere
and a rebuild leaves git with nothing to commit.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.dirname(HERE)

# Sub-samples per pixel side: smooths curved edges without a real rasteriser.
SS = 4

VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = VGA[:8]
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = VGA[8:]


# --- signed distance shapes (negative inside, in pixels) -------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # Not an exact distance, but close enough near the edge for outlines.
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * min(rx, ry)


def box(x0, y0, x1, y1):
    def d(x, y):
        qx = max(x0 - x, x - x1)
        qy = max(y0 - y, y - y1)
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0)
    return d


def _seg_dist(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(1.0, max(0.0, t))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def stroke(points, r):
    """Round-capped line along a polyline, r being half its width."""
    segs = list(zip(points, points[1:]))
    return lambda x, y: min(_seg_dist(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - r


def arc_points(cx, cy, rx, ry, a0, a1, n=24):
    """Points along an elliptic arc; angles in degrees, y pointing down."""
    out = []
    for i in range(n + 1):
        a = math.radians(a0 + (a1 - a0) * i / n)
        out.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return out


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def grow(shape, w):
    return lambda x, y: shape(x, y) - w


# --- rasterising -----------------------------------------------------------

class Canvas:
    """Layers painted in order; each is (shape, colour) or (shape, fn(x, y) -> colour)."""

    def __init__(self, size):
        self.size = size
        self.layers = []

    def fill(self, shape, colour):
        self.layers.append((shape, colour))

    def outlined(self, shape, colour, outline, width):
        self.layers.append((grow(shape, width), outline))
        self.layers.append((shape, colour))

    def _samples(self, px, py):
        out = []
        for j in range(SS):
            for i in range(SS):
                x = px + (i + 0.5) / SS
                y = py + (j + 0.5) / SS
                hit = None
                for n, (shape, paint) in enumerate(self.layers):
                    if shape(x, y) < 0:
                        hit = (paint(x, y) if callable(paint) else paint, n)
                out.append(hit)
        return out

    def render(self, blend):
        """Rows of pixels, None meaning transparent.

        With blend the opaque sub-samples are averaged (for true-colour and
        256-colour pictures); without it the most common colour wins, so a
        16-colour picture keeps pure palette colours.
        """
        rows = []
        for py in range(self.size):
            row = []
            for px in range(self.size):
                samples = self._samples(px, py)
                hits = [h for h in samples if h is not None]
                opaque = [h[0] for h in hits]
                if len(opaque) * 2 < len(samples):
                    row.append(None)
                elif blend:
                    row.append(tuple(int(round(sum(c[k] for c in opaque) / len(opaque)))
                                     for k in range(3)))
                else:
                    counts = {}
                    for colour, layer in hits:
                        n, top = counts.get(colour, (0, -1))
                        counts[colour] = (n + 1, max(top, layer))
                    # Ties go to the layer painted last, i.e. the detail on top.
                    row.append(max(counts, key=lambda c: counts[c]))
            rows.append(row)
        return rows


# --- .ico writing ------------------------------------------------------------

def _and_mask(rows):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, c in enumerate(row):
            if c is None:
                line[x // 8] |= 0x80 >> (x % 8)
        data += line
    return bytes(data)


def _palette_for(rows, bpp):
    if bpp == 4:
        return list(VGA)
    used = sorted({c for row in rows for c in row if c is not None})
    # Blended edges could in theory exceed the palette; coarsen until they fit.
    step = 1
    while len(used) > 255:
        step *= 2
        used = sorted({tuple(min(255, (v // step) * step + step // 2) for v in c) for c in used})
    colours = [BLACK] + [c for c in used if c != BLACK]
    return colours + [BLACK] * (256 - len(colours))


def _nearest(palette, c):
    return min(range(len(palette)),
               key=lambda i: (sum((palette[i][k] - c[k]) ** 2 for k in range(3)), i))


def _dib(rows, bpp):
    size = len(rows)
    palette = _palette_for(rows, bpp) if bpp in (4, 8) else []
    stride = ((size * bpp + 31) // 32) * 4
    cache = {}
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, c in enumerate(row):
            if bpp == 24:
                b, g, r = (0, 0, 0) if c is None else (c[2], c[1], c[0])
                line[x * 3:x * 3 + 3] = bytes((b, g, r))
                continue
            if c is None:
                idx = 0  # black, so AND-then-XOR leaves the screen untouched
            else:
                if c not in cache:
                    cache[c] = _nearest(palette, c)
                idx = cache[c]
            if bpp == 8:
                line[x] = idx
            else:
                line[x // 2] |= idx << (4 if x % 2 == 0 else 0)
        xor += line
    mask = _and_mask(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    pal = b''.join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    return header + pal + bytes(xor) + mask


def write_ico(path, images):
    """images: list of (rows, bpp); bpp 'png' stores the picture as a true-colour PNG."""
    blobs = [(png(rows), len(rows), 24) if bpp == 'png' else (_dib(rows, bpp), len(rows), bpp)
             for rows, bpp in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for blob, size, bpp in blobs:
        colours = 16 if bpp == 4 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    out += b''.join(blob for blob, _, _ in blobs)
    with open(path, 'wb') as f:
        f.write(out)


# --- pictures ------------------------------------------------------------

# A bold 6x11 pixel font: at 32 px anti-aliased outlines would blur the digits.
GLYPHS = {
    '9': [
        '.####.',
        '##..##',
        '##..##',
        '##..##',
        '##..##',
        '.#####',
        '....##',
        '....##',
        '....##',
        '##..##',
        '.####.',
    ],
    '1': [
        '..##..',
        '.###..',
        '####..',
        '..##..',
        '..##..',
        '..##..',
        '..##..',
        '..##..',
        '..##..',
        '..##..',
        '######',
    ],
    '+': [
        '......',
        '......',
        '......',
        '..##..',
        '..##..',
        '######',
        '######',
        '..##..',
        '..##..',
        '......',
        '......',
    ],
}


# At 16 pixels the bold digits no longer fit three abreast: a 3x5 face drawn for that size.
SMALL_GLYPHS = {
    '9': ['###', '#.#', '###', '..#', '###'],
    '1': ['.#.', '##.', '.#.', '.#.', '###'],
    '+': ['...', '.#.', '###', '.#.', '...'],
}


def text_pixels(text, y0, grid, glyphs=GLYPHS, gap=2):
    """The pixels of `text` centred across a square of `grid` pixels, from row y0."""
    pixels = set()
    x = (grid - sum(len(glyphs[ch][0]) for ch in text) - gap * (len(text) - 1)) // 2
    for ch in text:
        for j, line in enumerate(glyphs[ch]):
            for i, bit in enumerate(line):
                if bit == '#':
                    pixels.add((x + i, y0 + j))
        x += len(glyphs[ch][0]) + gap
    return pixels


def window_icon(size=32):
    """The tile drawn on a grid of whole pixels, 32 across (16 for the smallest size), each
    grid cell k = size/grid pixels wide: crisp at the grid and its multiples, with the
    edges area-averaged in between."""
    grid = 16 if size <= 16 else 32
    k = size / grid
    light_blue = (140, 195, 255)
    frame = (20, 70, 200)
    top_ink = (210, 0, 170)
    bottom_ink = (150, 0, 150)
    if grid == 16:
        top = text_pixels('999', 2, grid, SMALL_GLYPHS, 1)
        bottom = text_pixels('+1', 9, grid, SMALL_GLYPHS, 1)
    else:
        top = text_pixels('999', 3, grid)
        bottom = text_pixels('+1', 18, grid)
    edge = max(1, round(k))
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            # Fully opaque: Qt reads a 24-bit icon as 32-bit and skips its mask.
            if min(px, py) < edge or max(px, py) >= size - edge:
                row.append(frame)
                continue
            # Whiter towards the top-left, like light falling on a tile.
            t = min(1.0, max(0.0, ((px + 0.5) / k + (py + 0.5) / k - 1) / (2.0 * (grid - 1))))
            tile = tuple(255 + (light_blue[n] - 255) * t for n in range(3))
            acc = [0.0, 0.0, 0.0]
            for j in range(SS):
                for i in range(SS):
                    cell = (int((px + (i + 0.5) / SS) / k), int((py + (j + 0.5) / SS) / k))
                    colour = top_ink if cell in top else bottom_ink if cell in bottom else tile
                    for n in range(3):
                        acc[n] += colour[n]
            row.append(tuple(int(round(v / (SS * SS))) for v in acc))
        rows.append(row)
    return rows


def duck():
    c = Canvas(48)
    ink = (40, 30, 20)
    yellow = (255, 214, 40)
    orange = (255, 130, 0)
    cap = (30, 90, 220)
    cap_light = (90, 150, 255)
    head = circle(28, 28, 15)
    c.outlined(head, yellow, ink, 1.5)
    # Cheek shade keeps the head from looking like a flat sticker.
    c.fill(intersect(head, circle(31, 31, 14)), yellow)
    c.fill(intersect(head, minus(circle(28, 28, 15), circle(25, 25, 15))), (235, 180, 20))
    # A duck's bill is flat and rounded at the tip, unlike a chick's beak.
    bill_top = union(ellipse(11.5, 29.2, 8.5, 3.3), box(12, 26, 20, 32))
    bill_low = union(ellipse(12.5, 32.6, 7.2, 2.6), box(13, 30.5, 19, 35))
    c.outlined(bill_low, (235, 100, 0), ink, 1.2)
    c.outlined(bill_top, orange, ink, 1.2)
    c.fill(circle(8, 28.3, 0.8), (150, 70, 0))  # nostril
    c.outlined(ellipse(24, 23.8, 3.6, 4.4), WHITE, ink, 1.1)
    c.fill(circle(22.8, 24.6, 2.2), BLACK)
    c.fill(circle(22.0, 23.6, 0.8), WHITE)
    crown = intersect(ellipse(29, 18, 14.5, 9.5), box(0, 0, 48, 18))
    c.outlined(crown, cap, ink, 1.3)
    c.fill(intersect(crown, circle(32, 19, 8), minus(box(0, 0, 48, 48), circle(32, 21, 7.5))), cap_light)
    c.outlined(ellipse(15, 17.5, 8.5, 2.4), cap, ink, 1.2)
    c.outlined(circle(29, 8.2, 1.6), cap_light, ink, 1.0)
    return c.render(blend=True)


def face(size, mouth):
    c = Canvas(size)
    k = size / 32.0
    line = max(1.0, 1.4 * k)
    head = circle(16 * k, 16 * k, 15 * k - line)
    c.outlined(head, YELLOW, BLACK, line)
    eye_r = (1.6 * k + 0.2, 2.6 * k + 0.2)
    c.fill(ellipse(11.5 * k, 12 * k, *eye_r), BLACK)
    c.fill(ellipse(20.5 * k, 12 * k, *eye_r), BLACK)
    half = max(0.7, 1.1 * k)
    if mouth == 'smile':
        c.fill(stroke(arc_points(16 * k, 16.5 * k, 7.5 * k, 6.5 * k, 20, 160), half), BLACK)
    elif mouth == 'neutral':
        c.fill(stroke([(10.5 * k, 22 * k), (21.5 * k, 22 * k)], half), BLACK)
    else:
        # Upper half cut off an ellipse: a wide laughing mouth.
        open_mouth = intersect(ellipse(16 * k, 18 * k, 9.5 * k, 8.5 * k), box(0, 18 * k, size, size))
        c.outlined(open_mouth, RED, BLACK, line)
        if size >= 32:
            c.fill(intersect(open_mouth, box(0, 18 * k, size, 20.5 * k)), WHITE)
    return c.render(blend=False)


def no_entry(size):
    c = Canvas(size)
    k = size / 32.0
    line = max(1.0, 1.2 * k)
    disc = circle(16 * k, 16 * k, 15 * k - line)
    c.outlined(disc, RED, MAROON, line)
    c.fill(box(6 * k, 13 * k, 26 * k, 19 * k), WHITE)
    return c.render(blend=False)


def stopwatch(size):
    c = Canvas(size)
    k = size / 32.0
    line = max(1.0, 1.3 * k)
    cx, cy, r = 16 * k, 18 * k, 12.5 * k
    c.outlined(box(13 * k, 1.5 * k, 19 * k, 4 * k), SILVER, BLACK, line)  # crown
    c.outlined(box(14.8 * k, 3.5 * k, 17.2 * k, 6 * k), SILVER, BLACK, line)  # stem
    side = stroke([(cx + 0.72 * (r + 1.5 * k), cy - 0.72 * (r + 1.5 * k)),
                   (cx + 0.72 * (r + 3.5 * k), cy - 0.72 * (r + 3.5 * k))], 1.3 * k)
    c.outlined(side, SILVER, BLACK, line)
    dial = circle(cx, cy, r)
    c.outlined(dial, WHITE, BLACK, line)
    ticks = 12 if size >= 32 else 4
    for i in range(ticks):
        a = 2 * math.pi * i / ticks
        long_tick = i % (ticks // 4) == 0
        inner = r - (3.2 if long_tick else 2.0) * k
        p = (cx + math.sin(a) * inner, cy - math.cos(a) * inner)
        q = (cx + math.sin(a) * (r - 0.6 * k), cy - math.cos(a) * (r - 0.6 * k))
        c.fill(stroke([p, q], (0.9 if long_tick else 0.6) * max(k, 0.8)), RED)
    hand = max(0.6, 0.8 * k)
    c.fill(stroke([(cx, cy), (cx, cy - 8.5 * k)], hand), BLACK)
    c.fill(stroke([(cx, cy), (cx + 6 * k, cy + 3.5 * k)], hand), BLACK)
    c.fill(circle(cx, cy, max(1.0, 1.5 * k)), BLACK)
    return c.render(blend=False)


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)
    size = len(rows)
    raw = b''.join(b'\0' + bytes(v for px in row for v in px) for row in rows)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def write_theme_icons():
    for size in (16, 32, 48, 64, 128, 256):
        folder = os.path.join(OUT_DIR, 'icons', 'hicolor', '%dx%d' % (size, size), 'apps')
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, 'it.contadopo.contadopo.png')
        with open(path, 'wb') as f:
            f.write(png(window_icon(size)))
        print(os.path.relpath(path), file=sys.stderr)


def main():
    small = (32, 16)
    jobs = [
        # Explorer, the Start menu and the title bar each take the size they need, up to
        # 256 for large icons at high DPI; the large ones as PNG (Windows Vista and later).
        ('contadopo.ico', [(window_icon(s), 24 if s < 64 else 'png') for s in (16, 24, 32, 48, 64, 128, 256)]),
        ('duck.ico', [(duck(), 8)]),
        ('smile.ico', [(face(s, 'smile'), 4) for s in small]),
        ('neutral.ico', [(face(s, 'neutral'), 4) for s in small]),
        ('grin.ico', [(face(s, 'grin'), 4) for s in small]),
        ('noentry.ico', [(no_entry(s), 4) for s in small]),
        ('stopwatch.ico', [(stopwatch(s), 4) for s in small]),
    ]
    for name, images in jobs:
        path = os.path.join(OUT_DIR, name)
        write_ico(path, images)
        print(os.path.relpath(path), file=sys.stderr)
    # The desktop menu's icon, at the sizes desktops ask for.
    write_theme_icons()


if __name__ == '__main__':
    main()
