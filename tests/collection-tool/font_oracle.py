"""fontTools as an independent judge of what Zelvic writes.

open FILE...              every collection and font opens, with every table
                          readable and the common tables decompiled
same SPLIT=SOURCE[#N]...  each split font has the sfnt version, the tables
                          and the table bytes of font N of SOURCE (0 for a
                          single font) but for 'head' checkSumAdjustment,
                          and sums to 0xB1B0AFBA as a whole
"""
import struct
import sys

from fontTools.ttLib import TTCollection, TTFont

COMMON = ("head", "hhea", "maxp", "name", "OS/2", "post")


def is_collection(path):
    with open(path, "rb") as f:
        return f.read(4) == b"ttcf"


def fonts_in(path):
    if is_collection(path):
        return TTCollection(path, lazy=True).fonts
    return [TTFont(path, lazy=True)]


def check_open(paths):
    for path in paths:
        fonts = fonts_in(path)
        if not fonts:
            raise SystemExit(f"{path}: no fonts")
        for font in fonts:
            for tag in font.reader.keys():
                font.reader[tag]
            for tag in COMMON:
                if tag in font:
                    font[tag]


def source_font(name):
    path, _, index = name.partition("#")
    if is_collection(path):
        return TTCollection(path, lazy=True).fonts[int(index or 0)]
    return TTFont(path, lazy=True)


def check_same(pairs):
    for pair in pairs:
        split_path, _, source_name = pair.partition("=")
        split, source = TTFont(split_path, lazy=True), source_font(source_name)
        if split.sfntVersion != source.sfntVersion:
            raise SystemExit(f"{split_path}: sfnt version differs from {source_name}")
        if sorted(split.reader.keys()) != sorted(source.reader.keys()):
            raise SystemExit(f"{split_path}: tables differ from {source_name}")
        with open(split_path, "rb") as f:
            data = f.read()
        data += bytes(-len(data) % 4)
        if sum(struct.unpack(f">{len(data) // 4}I", data)) & 0xFFFFFFFF != 0xB1B0AFBA:
            raise SystemExit(f"{split_path}: the font does not sum to 0xB1B0AFBA")
        for tag in source.reader.keys():
            if tag == "head":
                mine, theirs = split.reader[tag], source.reader[tag]
                if mine[:8] + mine[12:] != theirs[:8] + theirs[12:]:
                    raise SystemExit(f"{split_path}: table head differs from {source_name}")
            elif split.reader[tag] != source.reader[tag]:
                raise SystemExit(f"{split_path}: table {tag} differs from {source_name}")
            if split.reader.tables[tag].checkSum != source.reader.tables[tag].checkSum:
                raise SystemExit(f"{split_path}: checksum of {tag} differs from {source_name}")


if __name__ == "__main__":
    mode, args = sys.argv[1], sys.argv[2:]
    {"open": check_open, "same": check_same}[mode](args)
