"""Draws Zimbalo's application icon: PNGs at 64, 128 and 256 pixels and an SVG.

Usage: /usr/bin/python3 tools/make_icon.py [OUTPUT_DIR]   (default: dist/icons)
       /usr/bin/python3 tools/make_icon.py --ico FILE [ICONS_DIR]
       /usr/bin/python3 tools/make_icon.py --web DIR

The second form, run by the Windows build, makes the program's .ico: the
PNGs of ICONS_DIR (default: dist/icons) as they are, and the smaller sizes
that Explorer and the taskbar ask for drawn here, all stored as PNG. The
third, run by the page's build, makes the web app's icons (WEB).

The picture is the game's own look: the menus' dark grey, the orange target
and the red and green squares that orbit the menus, turned as they spin. One
description of the shapes, on a 256-unit grid, feeds both formats; the PNGs
are antialiased by 4x4 supersampling and come out the same byte for byte on
every run.
"""
import math
import os
import struct
import sys
import zlib

ID = "io.github.zimbalo.Zimbalo"
SIZES = (64, 128, 256)
ICO_SIZES = (16, 24, 32, 48)  # besides SIZES
GRID = 256
SUB = 4  # supersampling: SUB x SUB samples a pixel

GREY, ORBIT = (48, 48, 48), (72, 72, 72)
ORANGE, RED, GREEN = (255, 153, 51), (255, 77, 77), (77, 255, 77)
TILE = (16, 16, 224, 224, 32)        # x, y, width, height, corner radius
ORBIT_RADIUS, ORBIT_WIDTH = 84, 4
TARGET = (80, 96, 96, 64)            # x, y, width, height
SQUARE, TURN = 40, 20                # side, degrees
CENTRE = GRID / 2
OFFSET = ORBIT_RADIUS / math.sqrt(2)  # the squares sit at 135 and 315 degrees
SQUARES = ((CENTRE - OFFSET, CENTRE - OFFSET, RED),
           (CENTRE + OFFSET, CENTRE + OFFSET, GREEN))


def in_tile(x, y):
    tx, ty, tw, th, r = TILE
    if not (tx <= x < tx + tw and ty <= y < ty + th):
        return False
    cx = min(max(x, tx + r), tx + tw - r)
    cy = min(max(y, ty + r), ty + th - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_square(x, y, cx, cy):
    a = math.radians(TURN)
    dx, dy = x - cx, y - cy
    u = dx * math.cos(a) + dy * math.sin(a)
    v = -dx * math.sin(a) + dy * math.cos(a)
    return abs(u) <= SQUARE / 2 and abs(v) <= SQUARE / 2


def colour_at(x, y):
    """The (r, g, b, a) of one point of the grid: the topmost shape's."""
    for cx, cy, colour in SQUARES:
        if in_square(x, y, cx, cy):
            return colour + (255,)
    tx, ty, tw, th = TARGET
    if tx <= x < tx + tw and ty <= y < ty + th:
        return ORANGE + (255,)
    if not in_tile(x, y):
        return (0, 0, 0, 0)
    if abs(math.hypot(x - CENTRE, y - CENTRE) - ORBIT_RADIUS) <= ORBIT_WIDTH / 2:
        return ORBIT + (255,)
    return GREY + (255,)


def full_bleed(x, y):
    """A point of the picture that a phone masks to its own shape: the
    shapes at 70%, well inside the circle of 80% that every mask keeps, on
    grey to the very edges."""
    c = colour_at(CENTRE + (x - CENTRE) / 0.7, CENTRE + (y - CENTRE) / 0.7)
    return c if c[3] else GREY + (255,)


# The page's icons: (file, size, picture). The manifest names the first
# three; Safari's "Add to Home Screen" takes the last, which it rounds itself.
WEB = (("icon-192.png", 192, colour_at), ("icon-512.png", 512, colour_at),
       ("icon-maskable-512.png", 512, full_bleed), ("apple-touch-icon.png", 180, full_bleed))


def render(size, picture=colour_at):
    """size x size RGBA rows of picture, each sample weighted by its alpha."""
    step = GRID / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SUB):
                y = (py + (sy + 0.5) / SUB) * step
                for sx in range(SUB):
                    x = (px + (sx + 0.5) / SUB) * step
                    cr, cg, cb, ca = picture(x, y)
                    r, g, b, a = r + cr * ca, g + cg * ca, b + cb * ca, a + ca
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(a / SUB ** 2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    def rgb(c):
        return "#%02x%02x%02x" % c
    tx, ty, tw, th, r = TILE
    lines = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
        % (GRID, GRID, GRID, GRID),
        "  <!-- Zimbalo's icon, drawn by tools/make_icon.py -->",
        '  <rect x="%d" y="%d" width="%d" height="%d" rx="%d" fill="%s"/>'
        % (tx, ty, tw, th, r, rgb(GREY)),
        '  <circle cx="%g" cy="%g" r="%d" fill="none" stroke="%s" stroke-width="%d"/>'
        % (CENTRE, CENTRE, ORBIT_RADIUS, rgb(ORBIT), ORBIT_WIDTH),
        '  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (TARGET + (rgb(ORANGE),)),
    ]
    for cx, cy, colour in SQUARES:
        lines.append('  <rect x="%.3f" y="%.3f" width="%d" height="%d" fill="%s" '
                     'transform="rotate(%d %.3f %.3f)"/>'
                     % (cx - SQUARE / 2, cy - SQUARE / 2, SQUARE, SQUARE, rgb(colour),
                        TURN, cx, cy))
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def ico(icons):
    """An .ico of PNG images, smallest first: ICONDIR, one ICONDIRENTRY each
    (a width or height of 256 is written 0), then the images."""
    images = [png(size, render(size)) for size in ICO_SIZES]
    for size in SIZES:
        with open(os.path.join(icons, "%dx%d" % (size, size), ID + ".png"), "rb") as f:
            images.append(f.read())
    sizes = ICO_SIZES + SIZES
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = len(data) + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return data + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.argv[1:2] == ["--web"]:
        for name, size, picture in WEB:
            write(os.path.join(sys.argv[2], name), png(size, render(size, picture)))
        return None
    if sys.argv[1:2] == ["--ico"]:
        icons = sys.argv[3] if len(sys.argv) > 3 else os.path.join(here, "..", "dist", "icons")
        return write(os.path.abspath(sys.argv[2]), ico(icons))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "dist", "icons")
    for size in SIZES:
        write(os.path.join(out, "%dx%d" % (size, size), ID + ".png"), png(size, render(size)))
    write(os.path.join(out, "scalable", ID + ".svg"), svg().encode())


if __name__ == "__main__":
    main()
