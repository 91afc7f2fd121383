"""Raw table access through fontTools' sfnt reader, and the checks that each
tool's output holds exactly the table bytes it was given.

Only raw bytes are compared, never decompiled tables: a tool that rewrites a
table so that it means the same but reads differently has still changed the
font a user handed it, and that is what is reported."""
import struct
from pathlib import Path

from fontTools.ttLib import TTFont, sfnt
from fontTools.ttLib.sfnt import calcChecksum


def font_count(path):
    with open(path, "rb") as stream:
        if stream.read(4) != b"ttcf":
            return 1
        stream.seek(8)
        return struct.unpack(">L", stream.read(4))[0]


def raw_tables(path, number=0):
    """The font's tables as {tag: bytes}, in directory order."""
    with open(path, "rb") as stream:
        reader = sfnt.SFNTReader(stream, checkChecksums=0, fontNumber=number)
        return {str(tag): bytes(reader[tag]) for tag in reader.tables}


def directory_size(path):
    """Bytes of a single font's offset table and table records."""
    with open(path, "rb") as stream:
        header = stream.read(12)
    return 12 + 16 * struct.unpack(">H", header[4:6])[0]


def all_fonts(path):
    return [raw_tables(path, number) for number in range(font_count(path))]


def write_collection(out, fonts):
    """A version 1.0 collection of `fonts` (each {tag: bytes}) sharing tables
    whose tag and bytes are equal: the split input every tool gets, made here
    so that no tool under test decides what the others are given."""
    header = 12 + 4 * len(fonts)
    directories = [12 + 16 * len(tables) for tables in fonts]
    position = header + sum(directories)
    placed, body, records = {}, [], []
    for tables in fonts:
        entries = []
        for tag, data in tables.items():
            key = (tag, data)
            if key not in placed:
                position = (position + 3) & ~3
                placed[key] = position
                body.append((position, data))
                position += len(data)
            entries.append((tag, calcChecksum(data), placed[key], len(data)))
        records.append(entries)
    with open(out, "wb") as stream:
        stream.write(struct.pack(">4sHHL", b"ttcf", 1, 0, len(fonts)))
        offset = header
        for size in directories:
            stream.write(struct.pack(">L", offset))
            offset += size
        for tables, entries in zip(fonts, records):
            count = len(entries)
            power = 1 << (count.bit_length() - 1)
            version = b"OTTO" if "CFF " in tables or "CFF2" in tables else b"\0\1\0\0"
            stream.write(struct.pack(">4sHHHH", version, count, power * 16,
                                     power.bit_length() - 1, (count - power) * 16))
            for tag, checksum, where, length in sorted(entries):
                stream.write(struct.pack(">4sLLL", tag.encode("latin-1"), checksum, where, length))
        for where, data in body:
            stream.write(b"\0" * (where - stream.tell()))
            stream.write(data)
        stream.write(b"\0" * (-stream.tell() % 4))


HEAD_FIELDS = ((0, 4, "version"), (4, 8, "fontRevision"), (8, 12, "checkSumAdjustment"),
               (12, 16, "magicNumber"), (16, 18, "flags"), (18, 20, "unitsPerEm"),
               (20, 28, "created"), (28, 36, "modified"), (36, 44, "bounding box"),
               (44, 46, "macStyle"), (46, 48, "lowestRecPPEM"), (48, 50, "fontDirectionHint"),
               (50, 52, "indexToLocFormat"), (52, 54, "glyphDataFormat"))


def without_adjustment(tables):
    """The tables with 'head' checkSumAdjustment (bytes 8 to 11) zeroed."""
    head = tables.get("head", b"")
    if len(head) < 12:
        return tables
    return dict(tables, head=head[:8] + bytes(4) + head[12:])


def sums_right(path):
    """Whether the whole font file sums to 0xB1B0AFBA, as a single font must."""
    data = Path(path).read_bytes()
    data += bytes(-len(data) % 4)
    return sum(struct.unpack(f">{len(data) // 4}L", data)) & 0xFFFFFFFF == 0xB1B0AFBA


def compare_tables(expected, actual, skip=()):
    """Differences between two {tag: bytes}, as readable findings."""
    findings = []
    missing = sorted(set(expected) - set(actual) - set(skip))
    extra = sorted(set(actual) - set(expected) - set(skip))
    if missing:
        findings.append(f"tables dropped: {' '.join(missing)}")
    if extra:
        findings.append(f"tables added: {' '.join(extra)}")
    for tag in expected:
        if tag in skip or tag not in actual or expected[tag] == actual[tag]:
            continue
        old, new = expected[tag], actual[tag]
        if tag == "head" and len(old) == len(new) == 54:
            fields = [name for start, end, name in HEAD_FIELDS if old[start:end] != new[start:end]]
            findings.append(f"'head' rewritten ({', '.join(fields)})")
        elif len(old) == len(new):
            findings.append(f"'{tag}' bytes differ")
        else:
            findings.append(f"'{tag}' bytes differ, length changed")
    return findings


def check_fonts(inputs, outputs):
    """`outputs` must hold the fonts of `inputs`, in that order, table for table.
    A finding that holds for several fonts is told once, with their numbers."""
    if len(outputs) != len(inputs):
        return [f"{len(outputs)} fonts instead of {len(inputs)}"]
    fonts = {}
    for number, (expected, actual) in enumerate(zip(inputs, outputs), start=1):
        for finding in compare_tables(expected, actual):
            fonts.setdefault(finding, []).append(number)
    return [f"{describe(numbers, len(inputs))}: {finding}" for finding, numbers in fonts.items()]


def describe(numbers, total):
    if len(numbers) == total:
        return f"all {total} fonts"
    if len(numbers) > 6:
        return f"{len(numbers)} of {total} fonts"
    return "font " + ", ".join(str(n) for n in numbers)


def check_rename(source, out, name):
    """Every table but 'name' unchanged; every family-name record now reads
    `name`; every other name record keeps its bytes."""
    # A save lays the font out anew, so the whole-font checksum in 'head'
    # (checkSumAdjustment, bytes 8 to 11) changes with it; the rest of 'head'
    # must not.
    before, after = raw_tables(source), raw_tables(out)
    for tables in (before, after):
        if len(tables.get("head", b"")) >= 12:
            tables["head"] = tables["head"][:8] + bytes(4) + tables["head"][12:]
    findings = compare_tables(before, after, skip=("name",))
    try:
        old = TTFont(source, lazy=True)["name"].names
        new = TTFont(out, lazy=True)["name"].names
    except Exception as error:  # a font fontTools can't read is the finding
        return findings + [f"fontTools cannot read its name table ({error})"]
    key = lambda r: (r.platformID, r.platEncID, r.langID, r.nameID)
    families = [r for r in new if r.nameID == 1]
    if not families:
        findings.append("no family-name record left")
    for record in families:
        if record.toUnicode() != name:
            findings.append(f"family name {key(record)} reads {record.toUnicode()!r}")
    kept = {key(r): r.string for r in old if r.nameID != 1}
    now = {key(r): r.string for r in new if r.nameID != 1}
    if kept != now:
        changed = sorted(k for k in kept.keys() | now.keys() if kept.get(k) != now.get(k))
        findings.append(f"other name records changed: {changed[:4]}")
    if {key(r) for r in old if r.nameID == 1} != {key(r) for r in families}:
        findings.append("family-name records added or dropped")
    return findings


def check_family_rename(source, out, name):
    """Every table but 'name' unchanged ('head' but for checkSumAdjustment);
    the source's family gone from the names that held it, the new family in
    its family records; every name record outside the renamed IDs keeps its
    bytes."""
    before, after = raw_tables(source), raw_tables(out)
    for tables in (before, after):
        if len(tables.get("head", b"")) >= 12:
            tables["head"] = tables["head"][:8] + bytes(4) + tables["head"][12:]
    findings = compare_tables(before, after, skip=("name",))
    try:
        old = TTFont(source, lazy=True)["name"]
        new = TTFont(out, lazy=True)["name"]
    except Exception as error:
        return findings + [f"fontTools cannot read its name table ({error})"]
    family = next((r.toUnicode() for i in (16, 1) for r in old.names if r.nameID == i), "")
    renamed = (1, 3, 4, 6, 16, 18, 20, 21, 25)
    for record in new.names:
        if record.nameID in (1, 3, 4, 16, 18, 21) and family and family in record.toUnicode():
            findings.append(f"name {record.nameID} still reads {record.toUnicode()!r}")
    if not any(name in r.toUnicode() for r in new.names if r.nameID in (1, 16)):
        findings.append("no family record holds the new family")
    key = lambda r: (r.platformID, r.platEncID, r.langID, r.nameID)
    kept = {key(r): r.string for r in old.names if r.nameID not in renamed}
    now = {key(r): r.string for r in new.names if r.nameID not in renamed}
    if kept != now:
        findings.append("name records outside the family's changed")
    return findings
