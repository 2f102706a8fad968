#!/usr/bin/python3
"""Usage: strikes.py GAME_OVER.ttf OUTPUT.ttf

The game's font with embedded bitmap strikes of 1, 2, 4 and 8 bits a pixel
at 20, 21, 22 and 23 pixels, as CJK and Windows fonts carry: each draws "A"
as an 11 by 3 bitmap whose pixel (x, y) is (5x + 3y + 1) modulo 2 ** bits.
fonts.cpp draws them through the stand-in and expects those levels.
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
    """The bitmap's rows, each packed from the high bit and padded to bytes."""
    data = b""
    for y in range(HEIGHT):
        row = 0
        for x in range(WIDTH):
            row = row << bits | (5 * x + 3 * y + 1) % 2 ** bits
        pad = -WIDTH * bits % 8
        data += (row << pad).to_bytes((WIDTH * bits + pad) // 8, "big")
    return data.hex()


def main(source, output):
    font = TTFont(source)
    glyph = font.getGlyphID("A")
    depths = (1, 2, 4, 8)
    data = "".join(
        "<strikedata index='%d'><ebdt_bitmap_format_1 name='A'><SmallGlyphMetrics>"
        "<height value='%d'/><width value='%d'/><BearingX value='0'/>"
        "<BearingY value='%d'/><Advance value='%d'/></SmallGlyphMetrics>"
        "<rawimagedata>%s</rawimagedata></ebdt_bitmap_format_1></strikedata>"
        % (i, HEIGHT, WIDTH, HEIGHT, WIDTH + 1, image(bits)) for i, bits in enumerate(depths))
    sizes = "".join(
        "<strike index='%d'><bitmapSizeTable>%s%s<colorRef value='0'/>"
        "<startGlyphIndex value='%d'/><endGlyphIndex value='%d'/><ppemX value='%d'/>"
        "<ppemY value='%d'/><bitDepth value='%d'/><flags value='1'/></bitmapSizeTable>"
        "<eblc_index_sub_table_1 imageFormat='1' firstGlyphIndex='%d' lastGlyphIndex='%d'>"
        "<glyphLoc name='A'/></eblc_index_sub_table_1></strike>"
        % (i, LINE % "hori", LINE % "vert", glyph, glyph, 20 + i, 20 + i, bits, glyph, glyph)
        for i, bits in enumerate(depths))
    xml = ("<?xml version='1.0'?><ttFont><EBDT><header version='2.0'/>%s</EBDT>"
           "<EBLC><header version='2.0'/>%s</EBLC></ttFont>" % (data, sizes))
    font.importXML(io.StringIO(xml))
    font.save(output)


if __name__ == "__main__":
    main(*sys.argv[1:3])
