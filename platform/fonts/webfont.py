#!/usr/bin/python3
"""Cuts a Liberation face down to the letters the page can show, for a smaller page.

The faces are under the SIL Open Font License, which keeps the reserved names
("Liberation", "Arimo", "Tinos", "Cousine") for the unmodified fonts: the cut face takes
the family name given here. The copyright notice and the licence stay in its name table.

Usage: webfont.py SOURCE.ttf TARGET.ttf FAMILY
"""
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

source, target, family = sys.argv[1:4]
# Italian and the rest of Latin-1, with the typographic quotes, dashes and ellipsis.
LETTERS = [*range(0x20, 0x7F), *range(0xA0, 0x100), 0x2013, 0x2014, *range(0x2018, 0x2020), 0x2026, 0x20AC]

options = subset.Options()
options.name_IDs = ["*"]
options.name_languages = ["*"]
options.hinting = False
options.notdef_outline = True
font = TTFont(source)
subsetter = subset.Subsetter(options)
subsetter.populate(unicodes=LETTERS)
subsetter.subset(font)

names = font["name"]
old_family = names.getDebugName(1)
style = names.getDebugName(2)
renamed = {1: family, 3: f"{family} {style}; cut for Contadopo", 4: f"{family} {style}" if style != "Regular" else family,
           6: f"{family}-{style}".replace(" ", ""), 16: family}
for record in names.names:
    if record.nameID in renamed:
        record.string = renamed[record.nameID]
    elif old_family in str(record):
        raise SystemExit(f"{source}: name {record.nameID} still says {old_family}")
font.save(target)
