"""Checks a collection saved by the name model against the one it came from,
with fontTools and by reading the directories, independently of the model.

usage: check_collection.py ORIGINAL SAVED MEMBER FAMILY

SAVED is ORIGINAL with the family name (nameID 1) of font MEMBER (from 1)
set to FAMILY on every record. Every font of SAVED must parse in fontTools;
every table of every font keeps its bytes but MEMBER's 'name', where only the
family records changed; tables shared stay shared, each directory's checksums
are those of the bytes (for 'head', with checkSumAdjustment as zero), the
header keeps its version, a 2.0 header's DSIG is dropped, and the file grew
by at most the new 'name' table. Exits 0 when all holds, 1 with the problems.
"""
import struct
import sys

from fontTools.ttLib import TTCollection


def checksum(data):
    data += b"\0" * (-len(data) % 4)
    return sum(struct.unpack(f">{len(data) // 4}I", data)) & 0xFFFFFFFF


def directories(data):
    version, count = struct.unpack(">II", data[4:12])
    fonts = []
    for at in struct.unpack(f">{count}I", data[12 : 12 + 4 * count]):
        tables = {}
        for j in range(struct.unpack(">H", data[at + 4 : at + 6])[0]):
            tag, check, offset, length = struct.unpack(">4sIII", data[at + 12 + 16 * j : at + 28 + 16 * j])
            tables[tag.decode("latin-1")] = (check, offset, length)
        fonts.append(tables)
    dsig = struct.unpack(">III", data[12 + 4 * count : 24 + 4 * count]) if version >> 16 == 2 else None
    return version, fonts, dsig


def main(original_path, saved_path, member, family):
    original, saved = open(original_path, "rb").read(), open(saved_path, "rb").read()
    problems = []
    version, before, _ = directories(original)
    saved_version, after, dsig = directories(saved)
    if saved_version != version:
        problems.append(f"version {saved_version:#x}, was {version:#x}")
    if dsig is not None and dsig != (0, 0, 0):
        problems.append(f"DSIG kept: {dsig}")
    edited = (member - 1, "name")
    places = {}
    for i, (old, new) in enumerate(zip(before, after)):
        if sorted(old) != sorted(new):
            problems.append(f"font {i + 1}: tables {sorted(new)}, were {sorted(old)}")
            continue
        for tag, (check, offset, length) in new.items():
            body = saved[offset : offset + length]
            _, old_offset, old_length = old[tag]
            if (i, tag) != edited and body != original[old_offset : old_offset + old_length]:
                problems.append(f"font {i + 1}: '{tag}' changed")
            if tag == "head":
                body = body[:8] + b"\0\0\0\0" + body[12:]
            if checksum(body) != check:
                problems.append(f"font {i + 1}: '{tag}' checksum {check:#x} is not its bytes'")
            if (i, tag) != edited:
                places.setdefault(old_offset, set()).add(offset)
    for old_offset, offsets in places.items():
        if len(offsets) != 1:
            problems.append(f"the table at {old_offset} is no longer shared: {sorted(offsets)}")
    name_length = after[member - 1]["name"][2]
    if len(saved) > len(original) + name_length + 3:
        problems.append(f"grew by {len(saved) - len(original)} bytes, the new 'name' is {name_length}")

    old_fonts, new_fonts = TTCollection(original_path).fonts, TTCollection(saved_path).fonts
    for i, (old, new) in enumerate(zip(old_fonts, new_fonts)):
        old_names = {(r.platformID, r.platEncID, r.langID, r.nameID): r for r in old["name"].names}
        new_names = {(r.platformID, r.platEncID, r.langID, r.nameID): r for r in new["name"].names}
        if sorted(old_names) != sorted(new_names):
            problems.append(f"font {i + 1}: name records added or lost")
            continue
        for key, record in new_names.items():
            if i == member - 1 and key[3] == 1:
                if record.toUnicode() != family:
                    problems.append(f"font {i + 1}: family {record.toUnicode()!r} at {key}")
            elif record.string != old_names[key].string:
                problems.append(f"font {i + 1}: name {key} changed")
        new.ensureDecompiled()
    print("\n".join(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]))
