#!/usr/bin/env python3
"""Draws the desktop program's icon (resource 106) and writes it as a Windows .ico file.

The picture: a capture sheet with a CAN signal trace, and an arrow into lines of text. Each of
the sizes 48, 32 and 16 pixels is drawn in 32-bit colour with an alpha channel, then reduced to
the 256-colour and the 16-colour palettes of the classic display modes, so the file holds nine
images. Only the standard library is used, and the output is the same bytes on every run.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SAMPLES = 4  # sub-pixel samples per axis for smooth edges

# The 16 colours of the standard VGA palette (what a 16-colour icon is shown with).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    """The 6x6x6 colour cube, the 16 VGA colours and 24 greys."""
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(8 + 10 * i,) * 3 for i in range(24)]
    return cube + VGA16 + greys


# Colours of the artwork, chosen close to VGA colours so the 16-colour images stay clear.
SHEET = (250, 250, 250)
SHEET_EDGE = (64, 64, 96)
FOLD = (200, 200, 210)
TRACE = (0, 64, 200)
TEXT = (128, 128, 128)
ARROW = (0, 150, 40)
BADGE = (0, 40, 140)


def seg_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def in_polygon(px, py, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def shapes(size):
    """The picture as painter's-order shapes in a 48-unit square, scaled to `size`."""
    s = size / 48.0
    small = size <= 16
    items = []
    # The sheet with a folded corner.
    sheet = [(6, 2), (32, 2), (42, 12), (42, 46), (6, 46)]
    items.append(("poly", [(x * s, y * s) for x, y in sheet], SHEET_EDGE, 0))
    inset = 2.0 if small else 1.6
    inner = [(6 + inset, 2 + inset), (32 - 0.7 * inset, 2 + inset), (42 - inset, 12 + 0.7 * inset),
             (42 - inset, 46 - inset), (6 + inset, 46 - inset)]
    items.append(("poly", [(x * s, y * s) for x, y in inner], SHEET, 0))
    items.append(("poly", [(x * s, y * s) for x, y in [(32, 2), (32, 12), (42, 12)]], FOLD, 0))
    # The CAN trace: a square wave across the upper half.
    width = (3.4 if small else 2.4) * s
    wave = [(10, 20), (14, 20), (14, 11), (20, 11), (20, 20), (24, 20), (24, 11), (27, 11),
            (27, 20), (31, 20), (31, 11), (37, 11)]
    if small:
        wave = [(10, 22), (16, 22), (16, 10), (24, 10), (24, 22), (30, 22), (30, 10), (37, 10)]
    for a, b in zip(wave, wave[1:]):
        items.append(("line", (a[0] * s, a[1] * s, b[0] * s, b[1] * s), TRACE, width))
    # Lines of text below.
    text_width = (3.4 if small else 2.2) * s
    rows = [(30, 28), (36, 24), (42, 30)] if not small else [(32, 24), (40, 24)]
    for y, right in rows:
        items.append(("line", (11 * s, y * s, right * s, y * s), TEXT, text_width))
    # The arrow from the trace into the text, on a badge at the lower right.
    if not small:
        items.append(("circle", (38 * s, 37 * s, 9.5 * s), BADGE, 0))
        arrow = [(33, 35), (38, 35), (38, 31), (44, 37), (38, 43), (38, 39), (33, 39)]
        items.append(("poly", [(x * s, y * s) for x, y in arrow], (255, 255, 255), 0))
    else:
        arrow = [(30, 31), (36, 31), (36, 26), (45, 35), (36, 44), (36, 39), (30, 39)]
        items.append(("poly", [(x * s, y * s) for x, y in arrow], ARROW, 0))
    return items


def covers(item, px, py):
    kind, geometry, _, width = item
    if kind == "poly":
        return in_polygon(px, py, geometry)
    if kind == "line":
        return seg_distance(px, py, *geometry) <= width / 2
    cx, cy, r = geometry
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def render(size):
    """RGBA pixels, top row first."""
    items = shapes(size)
    pixels = []
    n = SAMPLES * SAMPLES
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px = x + (sx + 0.5) / SAMPLES
                    py = y + (sy + 0.5) / SAMPLES
                    colour = None
                    for item in items:
                        if covers(item, px, py):
                            colour = item[2]
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
        pixels.append(row)
    return pixels


# The VGA colours the artwork is drawn in; mixed edge pixels of a 16-colour image snap to these
# rather than to unrelated colours such as teal.
VGA16_USED = (0, 2, 4, 7, 8, 12, 15)


def nearest(colour, palette, allowed=None):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        if allowed is not None and i not in allowed:
            continue
        d = (colour[0] - p[0]) ** 2 + (colour[1] - p[1]) ** 2 + (colour[2] - p[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def and_mask(pixels, size):
    """1 bit per pixel, set where the pixel is transparent; bottom row first."""
    stride = row_bytes(size)
    out = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def image(pixels, size, depth):
    if depth == 32:
        palette_bytes = b""
        xor = bytearray()
        for row in reversed(pixels):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
    else:
        palette = VGA16 if depth == 4 else palette256()
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        stride = row_bytes(size * depth)
        xor = bytearray()
        for row in reversed(pixels):
            line = bytearray(stride)
            for x, p in enumerate(row):
                index = 0 if p[3] < 128 else nearest(p, palette, VGA16_USED if depth == 4 else None)
                if depth == 8:
                    line[x] = index
                else:
                    line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            xor += line
    mask = and_mask(pixels, size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, depth, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + palette_bytes + bytes(xor) + mask


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    entries = []
    for size in (48, 32, 16):
        pixels = render(size)
        for depth in (32, 8, 4):
            entries.append((size, depth, image(pixels, size, depth)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, depth, data in entries:
        colours = 16 if depth == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, depth, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
