"""Checks a font saved by the name model with fontTools, independently of it.

usage: check_font.py SAVED ORIGINAL FAMILY

SAVED must parse in full, carry FAMILY as every family name (nameID 1; the
Windows and Unicode records as text, Macintosh ones as the text's UTF-8 bytes,
which is what the model writes there), keep every other name record's bytes
and every table other than 'name' byte for byte as in ORIGINAL.
Exits 0 when all holds, 1 with a list of problems otherwise.
"""
import sys

from fontTools.ttLib import TTFont


def records(font):
    return {(r.platformID, r.platEncID, r.langID, r.nameID): r.string for r in font["name"].names}


def main(saved_path, original_path, family):
    saved, original = TTFont(saved_path), TTFont(original_path)
    problems = []
    for tag in saved.keys():
        if tag != "GlyphOrder":
            saved[tag]  # decompiles the table; a malformed one raises
    if sorted(saved.reader.keys()) != sorted(original.reader.keys()):
        problems.append("the set of tables changed")
    for tag in original.reader.keys():
        if tag != "name" and saved.reader[tag] != original.reader[tag]:
            problems.append(f"table {tag} changed")

    before, after = records(original), records(saved)
    if set(before) != set(after):
        problems.append("the set of name records changed")
    for key, stored in after.items():
        if key[3] == 1:
            expected = family.encode("utf-8") if key[0] == 1 else family
            got = stored if key[0] == 1 else saved["name"].getName(1, *key[:3]).toUnicode()
            if got != expected:
                problems.append(f"family name {key} is {got!r}")
        elif before.get(key) != stored:
            problems.append(f"name record {key} changed")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
