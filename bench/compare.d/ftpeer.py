#!/usr/bin/python3
"""The three jobs done the way a fontTools user writes them, as one program per
job so that it is timed and measured like the other tools: interpreter start,
imports and all.

  ftpeer.py make OUT.ttc FONT...        collection with shared tables
  ftpeer.py split IN.ttc                IN001.ttf, IN002.ttf, ... in the current folder
  ftpeer.py rename-family FONT NAME OUT every family-name record set to NAME
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


def main(argv):
    if len(argv) >= 3 and argv[0] == "make":
        make(argv[1], argv[2:])
    elif len(argv) == 2 and argv[0] == "split":
        split(argv[1])
    elif len(argv) == 4 and argv[0] == "rename-family":
        rename_family(*argv[1:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
