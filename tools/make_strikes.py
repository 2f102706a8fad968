#!/usr/bin/python3
"""Usage: make_strikes.py GAME_OVER.ttf OUTPUT.ttf

The game's font with embedded bitmap strikes of 1, 2, 4 and 8 bits a pixel
at 20, 21, 22 and 23 pixels, as CJK and Windows fonts carry: each draws "A"
as an 11 by 3 bitmap whose pixel (x, y) is (5x + 3y + 1) modulo 2 ** bits,
and the 8-bit one "B" as 11 by 3 of full ink starting 16 pixels left of its
pen. fonts.cpp draws them through the stand-in and expects those levels.
"""
import io
import sys

from fontTools.ttLib import TTFont

WIDTH, HEIGHT = 11, 3
LINE = ("<sbitLineMetrics direction='%s'>" + "".join(
    "<%s value='%d'/>" % kv for kv in (
        ("ascender", 8), ("descender", -2), ("widthMax", WIDTH), ("caretSlopeNumerator", 0),
        ("caretSlopeDenominator", 0), ("caretOffset", 0), ("minOriginSB", 0),
        ("minAdvanceSB", 0), ("maxBeforeBL", HEIGHT), ("minAfterBL", 0), ("pad1", 0),
        ("pad2", 0))) + "</sbitLineMetrics>")


def image(bits):
    """A's rows, each packed from the high bit and padded to bytes."""
    data = b""
    for y in range(HEIGHT):
        row = 0
        for x in range(WIDTH):
            row = row << bits | (5 * x + 3 * y + 1) % 2 ** bits
        pad = -WIDTH * bits % 8
        data += (row << pad).to_bytes((WIDTH * bits + pad) // 8, "big")
    return data.hex()


def strike(i, bits, first):
    """The strike's bitmaps (EBDT) and its sizes and index (EBLC)."""
    glyphs = [("A", 0, image(bits))] + ([("B", -16, "ff" * WIDTH * HEIGHT)] if bits == 8 else [])
    data = "<strikedata index='%d'>%s</strikedata>" % (i, "".join(
        "<ebdt_bitmap_format_1 name='%s'><SmallGlyphMetrics><height value='%d'/>"
        "<width value='%d'/><BearingX value='%d'/><BearingY value='%d'/>"
        "<Advance value='%d'/></SmallGlyphMetrics><rawimagedata>%s</rawimagedata>"
        "</ebdt_bitmap_format_1>" % (name, HEIGHT, WIDTH, x, HEIGHT, WIDTH + 1, hex)
        for name, x, hex in glyphs))
    last = first + len(glyphs) - 1
    size = ("<strike index='%d'><bitmapSizeTable>%s%s<colorRef value='0'/>"
            "<startGlyphIndex value='%d'/><endGlyphIndex value='%d'/><ppemX value='%d'/>"
            "<ppemY value='%d'/><bitDepth value='%d'/><flags value='1'/></bitmapSizeTable>"
            "<eblc_index_sub_table_1 imageFormat='1' firstGlyphIndex='%d' lastGlyphIndex='%d'>"
            "%s</eblc_index_sub_table_1></strike>"
            % (i, LINE % "hori", LINE % "vert", first, last, 20 + i, 20 + i, bits, first, last,
               "".join("<glyphLoc name='%s'/>" % g[0] for g in glyphs)))
    return data, size


def main(source, output):
    font = TTFont(source)
    strikes = [strike(i, bits, font.getGlyphID("A")) for i, bits in enumerate((1, 2, 4, 8))]
    xml = ("<?xml version='1.0'?><ttFont><EBDT><header version='2.0'/>%s</EBDT>"
           "<EBLC><header version='2.0'/>%s</EBLC></ttFont>"
           % ("".join(s[0] for s in strikes), "".join(s[1] for s in strikes)))
    font.importXML(io.StringIO(xml))
    font.save(output)


if __name__ == "__main__":
    main(*sys.argv[1:3])
