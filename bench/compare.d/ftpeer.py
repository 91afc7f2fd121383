#!/usr/bin/python3
"""The three jobs done the way a fontTools user writes them, as one program per
job so that it is timed and measured like the other tools: interpreter start,
imports and all.

  ftpeer.py make OUT.ttc FONT...        collection with shared tables
  ftpeer.py split IN.ttc                IN001.ttf, IN002.ttf, ... in the current folder
  ftpeer.py rename-family FONT NAME OUT every family-name record set to NAME
  ftpeer.py rename-folder NAME OUTDIR FONT...
                                        each font's family renamed to NAME as
                                        kestrin-names rename-family does it,
                                        saved as OUTDIR/<its file name>
"""
import os
import sys

from fontTools.ttLib import TTFont
from fontTools.ttLib.ttCollection import TTCollection


def make(out, fonts):
    collection = TTCollection()
    collection.fonts = [TTFont(path) for path in fonts]
    collection.save(out, shareTables=True)


def split(path):
    stem = os.path.basename(path).split(".")[0]
    for number, font in enumerate(TTCollection(path), start=1):
        font.save(f"{stem}{number:03d}.ttf")


def rename_family(path, name, out):
    font = TTFont(path)
    table = font["name"]
    for record in [r for r in table.names if r.nameID == 1]:
        table.setName(name, 1, record.platformID, record.platEncID, record.langID)
    font.save(out)


# What a PostScript name can't hold: blanks, controls, non-ASCII and []{}()<>/%.
def postscript_form(text):
    return "".join(c for c in text if 33 <= ord(c) <= 126 and c not in "[](){}<>/%")


def current_family(table):
    """The typographic family, else the family; Windows English first."""
    for name_id in (16, 1):
        english = table.getName(name_id, 3, 1, 0x409)
        if english is not None:
            return english.toUnicode()
        records = [r for r in table.names if r.nameID == name_id]
        if records:
            return records[0].toUnicode()
    return ""


def rename_folder(name, out, paths):
    for path in paths:
        font = TTFont(path)
        table = font["name"]
        old = current_family(table)
        forms = {1: (old, name), 3: (old, name), 4: (old, name), 16: (old, name),
                 18: (old, name), 21: (old, name)}
        for name_id in (6, 20, 25):
            forms[name_id] = (postscript_form(old), postscript_form(name))
        for record in list(table.names):
            if record.nameID not in forms:
                continue
            before, after = forms[record.nameID]
            text = record.toUnicode()
            if before and before in text:
                table.setName(text.replace(before, after), record.nameID, record.platformID,
                              record.platEncID, record.langID)
        font.save(os.path.join(out, os.path.basename(path)))


def main(argv):
    if len(argv) >= 3 and argv[0] == "make":
        make(argv[1], argv[2:])
    elif len(argv) == 2 and argv[0] == "split":
        split(argv[1])
    elif len(argv) == 4 and argv[0] == "rename-family":
        rename_family(*argv[1:])
    elif len(argv) >= 4 and argv[0] == "rename-folder":
        rename_folder(argv[1], argv[2], argv[3:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
