"""Checks fonts saved by the name model with fontTools, independently of it.

usage: check_font.py MANIFEST

Each line of MANIFEST is SAVED <tab> ORIGINAL: SAVED is ORIGINAL with every
family name (nameID 1) renamed. SAVED must parse in full with true table
checksums and sum to 0xB1B0AFBA as a whole; every family record must read
back (in its record's own encoding) as the new family name: the Japanese
one in Macintosh Japanese records, the Latin one everywhere else. Every other
name record keeps its bytes, every table but 'name' and 'head' keeps its
bytes, and 'head' differs at most in checkSumAdjustment.
Exits 0 when all holds, 1 with a list of problems otherwise.
"""
import struct
import sys

from fontTools.ttLib import TTFont

LATIN = "Kestrin Test \u00c9dition"
JAPANESE = "\u30b1\u30b9\u30c8\u30ea\u30f3 \u30c6\u30b9\u30c8 \u00a9\u2122"


def expected_family(platform_id, encoding_id):
    return JAPANESE if (platform_id, encoding_id) == (1, 1) else LATIN


def whole_sum(path):
    data = open(path, "rb").read()
    data += b"\0" * (-len(data) % 4)
    return sum(struct.unpack(f">{len(data) // 4}I", data)) & 0xFFFFFFFF


def records(font):
    return {(r.platformID, r.platEncID, r.langID, r.nameID): r.string for r in font["name"].names}


def check(saved_path, original_path):
    saved = TTFont(saved_path, checkChecksums=2)
    original = TTFont(original_path)
    problems = []
    for tag in saved.keys():
        if tag != "GlyphOrder":
            saved[tag]  # decompiles the table; a malformed one raises
    if whole_sum(saved_path) != 0xB1B0AFBA:
        problems.append("the font does not sum to 0xB1B0AFBA")
    if sorted(saved.reader.keys()) != sorted(original.reader.keys()):
        problems.append("the set of tables changed")
    for tag in original.reader.keys():
        before, after = original.reader[tag], saved.reader[tag]
        if tag == "head":
            before, after = before[:8] + before[12:], after[:8] + after[12:]
        if tag != "name" and before != after:
            problems.append(f"table {tag} changed")

    before, after = records(original), records(saved)
    if set(before) != set(after):
        problems.append("the set of name records changed")
    for key, stored in after.items():
        if key[3] == 1:
            got = saved["name"].getName(1, *key[:3]).toUnicode()
            if got != expected_family(*key[:2]):
                problems.append(f"family name {key} is {got!r}")
        elif before.get(key) != stored:
            problems.append(f"name record {key} changed")
    return [f"{saved_path} ({original_path}): {problem}" for problem in problems]


def main(manifest):
    problems = []
    for line in open(manifest, encoding="utf-8"):
        if line.strip():
            saved, original = line.rstrip("\n").split("\t")
            try:
                problems += check(saved, original)
            except Exception as error:  # a font fontTools can't read is a finding too
                problems.append(f"{saved}: {error!r}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
