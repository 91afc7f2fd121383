#!/usr/bin/python3
"""Seed corpora for the fuzz targets, cut from fonts of Debian packages.

Each seed is a real font subset to a handful of glyphs (a few kilobytes), so
the fuzzers start from the structures real fonts have: every table a font
carries, name tables with Macintosh, Unicode and Windows records, shared
tables between members of one family, collections as fontTools writes them.

usage: make-seeds.py OUTPUT_FOLDER
"""
import io
import logging
import struct
import sys
from pathlib import Path

from fontTools import subset
from fontTools.ttLib import TTCollection, TTFont

FONTS = [
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
]


def subset_font(path, text):
    options = subset.Options()
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.name_legacy = True
    options.hinting = False
    options.layout_features = []
    options.notdef_outline = True
    font = TTFont(path)
    subsetter = subset.Subsetter(options)
    subsetter.populate(text=text)
    subsetter.subset(font)
    out = io.BytesIO()
    font.save(out)
    return out.getvalue()


def name_table(font_bytes):
    font = TTFont(io.BytesIO(font_bytes))
    return font.getTableData("name")


def collection(fonts):
    ttc = TTCollection()
    ttc.fonts = [TTFont(io.BytesIO(data)) for data in fonts]
    out = io.BytesIO()
    ttc.save(out, shareTables=True)
    return out.getvalue()


def main():
    logging.getLogger("fontTools").setLevel(logging.ERROR)
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = Path(sys.argv[1])
    folders = {name: root / name for name in ("load_save", "name_table", "name_rules", "collection_edit", "zelvic_make", "zelvic_break")}
    missing = [path for path in FONTS if not Path(path).exists()]
    if missing:
        sys.exit("missing fonts (install the packages of scripts/lib): " + " ".join(missing))
    for folder in folders.values():
        folder.mkdir(parents=True, exist_ok=True)

    subsets = {}
    for path in FONTS:
        stem = Path(path).stem
        for label, text in (("A", "A"), ("Ab", "Ab1")):
            subsets[f"{stem}-{label}"] = subset_font(path, text)
    # A 'glyf' of about 18 KB, more than break reads among its neighbours:
    # copied as a range of its own, from the collection or from the font
    # written before.
    kanji = "".join(chr(0x4E00 + 7 * i) for i in range(160))
    subsets["ipag-Kanji"] = subset_font("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", kanji)

    for name, data in subsets.items():
        (folders["load_save"] / f"{name}.ttf").write_bytes(data)
        table = name_table(data)
        # The name table fuzzer's first byte chooses whether to edit.
        (folders["name_table"] / f"{name}.keep").write_bytes(b"\0" + table)
        (folders["name_table"] / f"{name}.edit").write_bytes(b"\1" + table)
        # The rules fuzzer's operation, font revision 1.0, a name ID and two
        # texts, then the table: one seed per operation.
        for operation in range(7):
            head = struct.pack(">BiH", operation, 0x10000, 1 + operation)
            texts = bytes([12]) + b"Kestrin Sans" + bytes([4]) + b"Sans"
            (folders["name_rules"] / f"{name}.op{operation}").write_bytes(head + texts + table)

    # make: a 4-byte big-endian length, the first font, then the second font.
    pairs = [
        ("DejaVuSans-A", "DejaVuSans-Bold-A"),
        ("DejaVuSans-A", "DejaVuSans-A"),
        ("LiberationSans-Regular-Ab", "LiberationSans-Bold-Ab"),
        ("ipag-A", "DejaVuSerif-A"),
        ("ipag-Kanji", "ipag-Kanji"),
    ]
    for first, second in pairs:
        a, b = subsets[first], subsets[second]
        (folders["zelvic_make"] / f"{first}+{second}").write_bytes(struct.pack(">I", len(a)) + a + b)

    members = [
        ["DejaVuSans-A", "DejaVuSans-Bold-A"],
        ["LiberationSans-Regular-A", "LiberationSans-Bold-A", "LiberationMono-Regular-A"],
        ["ipag-A", "ipag-Ab"],
        # Every table shared, and at the same place in both split fonts.
        ["DejaVuSans-A", "DejaVuSans-A", "DejaVuSans-Bold-A"],
        ["ipag-Kanji", "ipag-Kanji", "ipag-A"],
    ]
    for names in members:
        data = collection([subsets[name] for name in names])
        (folders["zelvic_break"] / ("+".join(names) + ".ttc")).write_bytes(data)
        # The collection edit takes the same collections, and a single font.
        (folders["collection_edit"] / ("+".join(names) + ".ttc")).write_bytes(data)
    (folders["collection_edit"] / "DejaVuSans-A.ttf").write_bytes(subsets["DejaVuSans-A"])

    total = sum(f.stat().st_size for folder in folders.values() for f in folder.iterdir())
    print(f"seeds written to {root} ({total // 1024} KiB)")


if __name__ == "__main__":
    main()
