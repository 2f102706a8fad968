#!/usr/bin/python3
"""Build Zimbalo's pixel font, data/game_over.ttf, from tools/glyphs.txt.

Usage: /usr/bin/python3 tools/make_font.py [OUTPUT.ttf] [GLYPHS.txt]

Every lit pixel of a glyph bitmap becomes a square of PIXEL font units.
Horizontal runs of pixels are merged, and identical runs on consecutive rows
are merged again, so each glyph is drawn with a few non-overlapping,
clockwise rectangles. The output depends only on the glyph file: no
timestamps, fixed ordering, so running the script twice gives the same bytes.
"""

import os
import re
import sys

from fontTools.agl import UV2AGL
from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_GLYPHS = os.path.join(HERE, "glyphs.txt")
DEFAULT_OUTPUT = os.path.join(HERE, os.pardir, "data", "game_over.ttf")

UNITS_PER_EM = 1000
PIXEL = 40                 # font units per pixel: 4 px at size 100, 2 px at 50
ROWS_ABOVE = 7             # bitmap rows standing on the baseline
ROWS_BELOW = 2             # bitmap rows hanging below it
ASCENDER = 10 * PIXEL      # capitals (7 rows) + gap + a 2-row accent
DESCENDER = -ROWS_BELOW * PIXEL
LINE_GAP = PIXEL
SPACING = 1                # blank pixels after each glyph

FAMILY = "Zimbalo Pixel"
STYLE = "Regular"
VERSION = "Version 1.000"
COPYRIGHT = "Copyright (c) the Zimbalo project. Drawn for the Zimbalo game."
LICENSE = ("Part of the Zimbalo game; may be used, copied and modified "
           "together with it under the same terms.")
# 2000-01-01 00:00:00 UTC in seconds since 1904-01-01, so the head table
# never carries the build time.
FIXED_TIMESTAMP = 3029529600

ROW_RE = re.compile(r"^[#.]+$")
CODE_RE = re.compile(r"^U\+([0-9A-Fa-f]{4,6})$")


class GlyphFileError(Exception):
    pass


def glyph_name(cp):
    if cp == 0x20:
        return "space"
    if cp == 0xA0:
        return "uni00A0"
    return UV2AGL.get(cp, "uni%04X" % cp)


def parse_code(token, where):
    m = CODE_RE.match(token)
    if not m:
        raise GlyphFileError("%s: expected U+XXXX, got %r" % (where, token))
    return int(m.group(1), 16)


def rows_to_pixels(rows, where, baseline_row):
    """Turn rows of '#'/'.' into (width, set of (x, y)) with y = 0 on the
    row sitting on the baseline (row index baseline_row), y > 0 above."""
    width = len(rows[0])
    if any(len(r) != width for r in rows):
        raise GlyphFileError("%s: rows of different lengths" % where)
    pixels = set()
    for i, row in enumerate(rows):
        y = baseline_row - i
        for x, c in enumerate(row):
            if c == "#":
                pixels.add((x, y))
    return width, pixels


def parse_glyph_file(path):
    """Read the glyph file into a list of entries, in file order.

    Each entry is a dict with 'kind' ('char', 'glyph', 'mark', 'compose'),
    'line', and the kind's own fields."""
    entries = []
    current = None
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n").rstrip()
            where = "%s:%d" % (os.path.basename(path), lineno)
            if not line or line.lstrip().startswith("//"):
                continue
            if ROW_RE.match(line):
                if current is None or current["kind"] == "compose":
                    raise GlyphFileError(
                        "%s: bitmap row outside a glyph" % where)
                current["rows"].append(line)
                continue
            words = line.split()
            kind = words[0]
            if kind == "char":
                if len(words) < 2:
                    raise GlyphFileError("%s: char needs a code point" % where)
                cp = parse_code(words[1], where)
                current = {"kind": "char", "line": where, "cp": cp,
                           "name": glyph_name(cp), "rows": []}
            elif kind == "glyph":
                if len(words) < 2:
                    raise GlyphFileError("%s: glyph needs a name" % where)
                current = {"kind": "glyph", "line": where, "cp": None,
                           "name": words[1], "rows": []}
            elif kind == "mark":
                if len(words) < 3 or words[2] not in ("above", "below"):
                    raise GlyphFileError("%s: mark NAME above|below" % where)
                current = {"kind": "mark", "line": where, "name": words[1],
                           "place": words[2], "rows": []}
            elif kind == "compose":
                # compose U+XXXX = BASE + MARK [+ MARK ...] [note]
                if len(words) < 6 or words[2] != "=" or words[4] != "+":
                    raise GlyphFileError(
                        "%s: compose U+XXXX = BASE + MARK" % where)
                cp = parse_code(words[1], where)
                parts = [words[3]]
                i = 4
                while i + 1 < len(words) and words[i] == "+":
                    parts.append(words[i + 1])
                    i += 2
                current = {"kind": "compose", "line": where, "cp": cp,
                           "name": glyph_name(cp), "base": parts[0],
                           "marks": parts[1:]}
            else:
                raise GlyphFileError("%s: unknown line %r" % (where, line))
            entries.append(current)
    return entries


def build_bitmaps(entries):
    """Resolve the entries into {glyph name: (width, pixels)} plus the
    Unicode map, keeping the file's order."""
    bitmaps = {}
    marks = {}
    cmap = {}
    order = []
    by_code = {}

    def add(name, cp, width, pixels, where):
        if name in bitmaps:
            raise GlyphFileError("%s: glyph %s defined twice" % (where, name))
        if cp is not None:
            if cp in cmap:
                raise GlyphFileError("%s: U+%04X defined twice" % (where, cp))
            cmap[cp] = name
            by_code["U+%04X" % cp] = name
        bitmaps[name] = (width, pixels)
        order.append(name)

    for e in entries:
        if e["kind"] in ("char", "glyph"):
            rows = e["rows"]
            if len(rows) != ROWS_ABOVE + ROWS_BELOW:
                raise GlyphFileError("%s: %s needs %d rows, has %d" % (
                    e["line"], e["name"], ROWS_ABOVE + ROWS_BELOW, len(rows)))
            width, pixels = rows_to_pixels(rows, e["line"], ROWS_ABOVE - 1)
            add(e["name"], e["cp"], width, pixels, e["line"])
        elif e["kind"] == "mark":
            if not e["rows"]:
                raise GlyphFileError("%s: empty mark" % e["line"])
            rows = e["rows"]
            width, pixels = rows_to_pixels(rows, e["line"], len(rows) - 1)
            marks[e["name"]] = (width, pixels, e["place"])

    for e in entries:
        if e["kind"] != "compose":
            continue
        base_ref = e["base"]
        base = by_code.get(base_ref.upper(), base_ref)
        if base not in bitmaps:
            raise GlyphFileError("%s: unknown base %s" % (e["line"], base_ref))
        width, base_pixels = bitmaps[base]
        pixels = set(base_pixels)
        xs = [x for x, _ in base_pixels]
        ys = [y for _, y in base_pixels]
        for mark_name in e["marks"]:
            if mark_name not in marks:
                raise GlyphFileError(
                    "%s: unknown mark %s" % (e["line"], mark_name))
            mwidth, mpixels, place = marks[mark_name]
            # centre the mark's box on the base's ink
            dx = (min(xs) + max(xs) - (mwidth - 1)) // 2
            if place == "above":
                dy = max(ys) + 2          # one blank row between base and mark
            else:
                mtop = max(y for _, y in mpixels)
                dy = -1 - mtop            # first row right under the baseline
            for x, y in mpixels:
                pixels.add((x + dx, y + dy))
        add(e["name"], e["cp"], width, pixels, e["line"])
    return bitmaps, cmap, order


def rectangles(pixels):
    """Cover the pixels with non-overlapping rectangles (x0, y0, x1, y1) in
    pixel units: runs along each row, stacked when consecutive rows repeat
    the same run."""
    rows = {}
    for x, y in pixels:
        rows.setdefault(y, []).append(x)
    runs_by_row = {}
    for y, xs in rows.items():
        xs.sort()
        runs = []
        start = prev = xs[0]
        for x in xs[1:]:
            if x != prev + 1:
                runs.append((start, prev + 1))
                start = x
            prev = x
        runs.append((start, prev + 1))
        runs_by_row[y] = runs
    rects = []
    open_rects = {}               # (x0, x1) -> [y_bottom, y_top] being grown
    for y in sorted(runs_by_row, reverse=True):  # top to bottom
        runs = set(runs_by_row[y])
        for key in sorted(open_rects):
            if key not in runs or open_rects[key][0] != y + 1:
                r = open_rects.pop(key)
                rects.append((key[0], r[0], key[1], r[1]))
        for key in sorted(runs):
            if key in open_rects:
                open_rects[key][0] = y
            else:
                open_rects[key] = [y, y + 1]
    for key in sorted(open_rects):
        r = open_rects[key]
        rects.append((key[0], r[0], key[1], r[1]))
    rects.sort(key=lambda r: (-r[3], r[0]))
    return rects


def draw_glyph(pixels):
    pen = TTGlyphPen(None)
    for x0, y0, x1, y1 in rectangles(pixels):
        X0, Y0, X1, Y1 = x0 * PIXEL, y0 * PIXEL, x1 * PIXEL, y1 * PIXEL
        # clockwise: the TrueType direction for filled contours
        pen.moveTo((X0, Y0))
        pen.lineTo((X0, Y1))
        pen.lineTo((X1, Y1))
        pen.lineTo((X1, Y0))
        pen.closePath()
    return pen.glyph()


def notdef_bitmap():
    """A hollow box as tall as the capitals."""
    w, h = 5, ROWS_ABOVE
    pixels = set()
    for y in range(h):
        for x in range(w):
            if x in (0, w - 1) or y in (0, h - 1):
                pixels.add((x, y))
    return w, pixels


def build_font(glyph_path, out_path):
    entries = parse_glyph_file(glyph_path)
    bitmaps, cmap, order = build_bitmaps(entries)

    bitmaps[".notdef"] = notdef_bitmap()
    glyph_order = [".notdef"] + order

    glyphs = {}
    metrics = {}
    y_max = y_min = 0
    for name in glyph_order:
        width, pixels = bitmaps[name]
        glyphs[name] = draw_glyph(pixels)
        lsb = min((x for x, _ in pixels), default=0) * PIXEL
        metrics[name] = ((width + SPACING) * PIXEL, lsb)
        if pixels:
            y_max = max(y_max, (max(y for _, y in pixels) + 1) * PIXEL)
            y_min = min(y_min, min(y for _, y in pixels) * PIXEL)
    if y_max > ASCENDER or y_min < DESCENDER:
        raise GlyphFileError("glyphs reach %d..%d, outside %d..%d" % (
            y_min, y_max, DESCENDER, ASCENDER))

    fb = FontBuilder(UNITS_PER_EM, isTTF=True)
    fb.setupGlyphOrder(glyph_order)
    fb.setupCharacterMap(cmap)
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENDER, descent=DESCENDER,
                             lineGap=LINE_GAP)
    ps_name = FAMILY.replace(" ", "") + "-" + STYLE
    fb.setupNameTable({
        "copyright": COPYRIGHT,
        "familyName": FAMILY,
        "styleName": STYLE,
        "uniqueFontIdentifier": "Zimbalo: %s %s: %s" % (
            FAMILY, STYLE, VERSION),
        "fullName": "%s %s" % (FAMILY, STYLE),
        "version": VERSION,
        "psName": ps_name,
        "licenseDescription": LICENSE,
    }, mac=False)
    x_height = 5 * PIXEL
    cap_height = ROWS_ABOVE * PIXEL
    fb.setupOS2(
        version=4,
        fsType=0,
        achVendID="ZMBL",
        usWeightClass=400,
        usWidthClass=5,
        fsSelection=0x40 | 0x80,        # REGULAR, USE_TYPO_METRICS
        sTypoAscender=ASCENDER,
        sTypoDescender=DESCENDER,
        sTypoLineGap=LINE_GAP,
        usWinAscent=ASCENDER,
        usWinDescent=-DESCENDER,
        sxHeight=x_height,
        sCapHeight=cap_height,
        ySubscriptXSize=650, ySubscriptYSize=600, ySubscriptYOffset=80,
        ySuperscriptXSize=650, ySuperscriptYSize=600,
        ySuperscriptYOffset=280,
        yStrikeoutSize=PIXEL, yStrikeoutPosition=3 * PIXEL,
        ulCodePageRange1=0x1,           # Latin 1
        usDefaultChar=0,
        usBreakChar=0x20,
        usMaxContext=0,
    )
    fb.setupPost(isFixedPitch=0, underlinePosition=-PIXEL,
                 underlineThickness=PIXEL)
    # flags: baseline at y=0, left side bearing point at x=0, integer ppem
    fb.updateHead(created=FIXED_TIMESTAMP, modified=FIXED_TIMESTAMP,
                  fontRevision=1.0, flags=0x0001 | 0x0002 | 0x0008)
    fb.font.recalcTimestamp = False

    out_dir = os.path.dirname(os.path.abspath(out_path))
    os.makedirs(out_dir, exist_ok=True)
    fb.save(out_path)
    return len(glyph_order), len(cmap)


def main(argv):
    out_path = argv[1] if len(argv) > 1 else DEFAULT_OUTPUT
    glyph_path = argv[2] if len(argv) > 2 else DEFAULT_GLYPHS
    try:
        n_glyphs, n_codes = build_font(glyph_path, out_path)
    except GlyphFileError as err:
        sys.stderr.write("make_font: %s\n" % err)
        return 1
    print("wrote %s: %d glyphs, %d code points" % (
        os.path.normpath(out_path), n_glyphs, n_codes))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
