#!/usr/bin/env python3
"""Writes tests/data/fonts/UnevenDigits.ttf: a tiny font ("Uneven Digits") whose digits differ in
advance, for the equal-digit drawing tests (every font installed here has equal digits). Each glyph
is a bar as wide as its advance less one unit a side, so where a digit is drawn shows as ink.
Needs python3-fonttools; the font is committed, so only changing it needs this script."""
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

UNITS = 1000
ASCENT, DESCENT = 800, 200
# '1' narrow, '0' wide, the others in between: no two neighbours agree.
ADVANCES = {"zero": 700, "one": 300, "two": 500, "three": 520, "four": 560,
            "five": 500, "six": 540, "seven": 480, "eight": 540, "nine": 540}
OTHERS = {"space": 300, "colon": 250, "period": 250, "comma": 250}


def bar(advance):
    pen = TTGlyphPen(None)
    if advance > 0:
        pen.moveTo((10, 0))
        pen.lineTo((10, 700))
        pen.lineTo((advance - 10, 700))
        pen.lineTo((advance - 10, 0))
        pen.closePath()
    return pen.glyph()


def main(path):
    names = [".notdef"] + list(ADVANCES) + list(OTHERS)
    builder = FontBuilder(UNITS, isTTF=True)
    builder.setupGlyphOrder(names)
    cmap = {ord(str(i)): name for i, name in enumerate(ADVANCES)}
    cmap.update({0x20: "space", 0x3A: "colon", 0x2E: "period", 0x2C: "comma"})
    builder.setupCharacterMap(cmap)
    advances = {".notdef": 500, **ADVANCES, **OTHERS}
    builder.setupGlyf({name: bar(0 if name == "space" else advances[name]) for name in names})
    builder.setupHorizontalMetrics({name: (advances[name], 10) for name in names})
    builder.setupHorizontalHeader(ascent=ASCENT, descent=-DESCENT)
    builder.setupNameTable({"familyName": "Uneven Digits", "styleName": "Regular"})
    builder.setupOS2(sTypoAscender=ASCENT, sTypoDescender=-DESCENT, usWinAscent=ASCENT, usWinDescent=DESCENT)
    builder.setupPost()
    builder.save(path)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tests/data/fonts/UnevenDigits.ttf")
