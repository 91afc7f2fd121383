#!/usr/bin/python3
"""Writes the hostile-file corpus and what each program must say about each file.

Every file is a small font or collection with one thing wrong. expected.tsv
gives, per file, one line with tab-separated columns:

  file | Kestrin's message on load, a collection's too ("-": it loads), with " / " and the
         reason shown below it where there is one |
  status and stderr of "Zelvic out.ttc FILE base.ttf" |
  status and stderr of "Zelvic FILE"

Statuses are as a shell sees them (254 is -2); "-" for stderr means none.
Run it again after changing a case and commit the corpus with it.

usage: make_corpus.py [OUTPUT_FOLDER]   (default: corpus/ beside this script)
"""
import struct
import sys
from pathlib import Path

INVALID = "invalid ttf file."
NAME_OUTSIDE = INVALID + " / A name record or string lies outside the 'name' table."


def invalid(problem):
    """Kestrin's message for a file the shared reader refuses: the problem
    Zelvic prints, as a sentence below the message."""
    sentence = "This file " + problem if problem.startswith("is ") else problem
    return f"{INVALID} / {sentence[0].upper()}{sentence[1:]}."


def utf16(text):
    return text.encode("utf-16-be")


def name_table(records, string_offset=None, count=None):
    """records: (platform, encoding, language, nameID, bytes[, offset override])."""
    header_size = 6 + 12 * len(records)
    out = struct.pack(">HHH", 0, len(records) if count is None else count,
                      header_size if string_offset is None else string_offset)
    strings = b""
    for record in records:
        platform, encoding, language, name_id, data = record[:5]
        offset = record[5] if len(record) > 5 else len(strings)
        out += struct.pack(">HHHHHH", platform, encoding, language, name_id, len(data), offset)
        strings += data
    return out + strings


def checksum(data):
    data = data + b"\0" * (-len(data) % 4)
    return sum(struct.unpack(f">{len(data) // 4}I", data)) & 0xFFFFFFFF


def offset_table(count):
    """A TrueType offset table for `count` tables, search fields as the format derives them."""
    selector = max(count.bit_length() - 1, 0)
    search_range = (1 << selector) * 16 if count else 0
    return struct.pack(">IHHHH", 0x00010000, count, search_range, selector,
                       count * 16 - search_range)


def packed_font(tables):
    """A font whose tables follow each other with no padding, so that most
    start at offsets that are not multiples of 4."""
    count = len(tables)
    out = offset_table(count)
    position = 12 + 16 * count
    records, bodies = b"", b""
    for tag, data in tables:
        records += tag.encode("latin-1") + struct.pack(">III", checksum(data), position, len(data))
        bodies += data
        position += len(data)
    return out + records + bodies


def font(tables, overrides=None):
    """tables: [(tag, bytes)] in directory order; overrides: {tag: {field: value}}
    rewrites a record's offset or length after the layout."""
    overrides = overrides or {}
    count = len(tables)
    out = offset_table(count)
    position = 12 + 16 * count
    records, bodies = b"", b""
    for tag, data in tables:
        fields = {"offset": position, "length": len(data)}
        fields.update(overrides.get(tag, {}))
        records += tag.encode("latin-1") + struct.pack(">III", checksum(data), fields["offset"],
                                                       fields["length"])
        padded = data + b"\0" * (-len(data) % 4)
        bodies += padded
        position += len(padded)
    return out + records + bodies


HEAD = struct.pack(">IIIIHHqqhhhhHHhhh", 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0x000B, 1000,
                   0, 0, 0, -200, 1000, 800, 0, 8, 2, 0, 0)
MAXP = struct.pack(">IH", 0x00005000, 1)
POST = struct.pack(">IIhhIIIII", 0x00030000, 0, -100, 50, 0, 0, 0, 0, 0)
NAMES = [
    (1, 0, 0, 1, b"Hostile"),
    (3, 1, 0x409, 1, utf16("Hostile")),
    (3, 1, 0x409, 2, utf16("Regular")),
]


def base_tables(name=None):
    return [("head", HEAD), ("maxp", MAXP), ("name", name_table(NAMES) if name is None else name),
            ("post", POST)]


def collection(fonts, claimed=None, offsets=None, version=0x00010000, dsig=None):
    """dsig: (tag, length, offset) of a version 2.0 header; the signature's
    bytes, if any, are the caller's to append."""
    header_size = 12 + 4 * len(fonts) + (12 if version == 0x00020000 else 0)
    out_offsets, body, position = [], b"", header_size
    for data in fonts:
        out_offsets.append(position)
        # Each member's table offsets move by where it lands in the collection.
        count = struct.unpack(">H", data[4:6])[0]
        moved = bytearray(data)
        for i in range(count):
            at = 12 + 16 * i + 8
            struct.pack_into(">I", moved, at, struct.unpack(">I", data[at:at + 4])[0] + position)
        body += bytes(moved)
        position += len(data)
    offsets = out_offsets if offsets is None else offsets
    signature = struct.pack(">4sII", *dsig) if version == 0x00020000 else b""
    return (struct.pack(">4sII", b"ttcf", version,
                        len(fonts) if claimed is None else claimed)
            + b"".join(struct.pack(">I", o) for o in offsets) + signature + body)


def zelvic_error(path, problem):
    return f"Error: {path}: {problem}."


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent / "corpus"
    out.mkdir(parents=True, exist_ok=True)
    for old in out.iterdir():
        old.unlink()
    cases = []  # (file, data, kestrin, make (status, message), break (status, message))
    ok = (0, "-")

    def not_a_collection(name, data):
        return (254, zelvic_error(name, "too short to be a TrueType Collection" if len(data) < 12
                                  else "not a TrueType Collection (no 'ttcf' tag)"))

    def add_font(name, data, kestrin, make):
        cases.append((name, data, kestrin, make, not_a_collection(name, data)))

    base = font(base_tables())
    add_font("base.ttf", base, "-", ok)

    # Cut at every boundary of the structure: inside and at the end of the
    # offset table, each table record, each table, and inside the name table.
    directory_end = 12 + 16 * 4
    records = [struct.unpack(">4sIII", base[12 + 16 * i:28 + 16 * i]) for i in range(4)]
    name_offset = records[2][2]
    cuts = {0, 1, 4, 6, 11, 12, 20, 28, 44, 60, directory_end - 1, directory_end}
    for _, _, offset, length in records:
        cuts |= {offset, offset + 1, offset + length - 1}
    cuts |= {name_offset + 6, name_offset + 6 + 12, name_offset + 6 + 36,
             name_offset + 6 + 36 + 7, name_offset + 6 + 36 + 7 + 14}
    for cut in sorted(c for c in cuts if c < len(base)):
        data = base[:cut]
        if cut < 12:
            make = (254, zelvic_error(f"cut-{cut:04d}.ttf", "too short to be a font"))
        elif cut < directory_end:
            make = (254, zelvic_error(f"cut-{cut:04d}.ttf",
                                      "the table directory (4 tables) runs past the end of the file"))
        else:
            tag = next(t for t, _, o, n in records if o + n > cut).decode()
            make = (254, zelvic_error(f"cut-{cut:04d}.ttf",
                                      f"table '{tag}' runs past the end of the file"))
        add_font(f"cut-{cut:04d}.ttf", data, invalid(make[1].split(": ", 2)[2][:-1]), make)

    tiny = struct.pack(">IHHHH", 0x00010000, 0xFFFF, 0, 0, 0) + b"\0" * 4
    add_font("numtables-ffff.ttf", tiny, invalid("the table directory (65535 tables) runs past the end of the file"),
             (254, zelvic_error("numtables-ffff.ttf",
                                "the table directory (65535 tables) runs past the end of the file")))
    add_font("length-ffffffff.ttf", font(base_tables(), {"post": {"length": 0xFFFFFFFF}}), invalid("table 'post' runs past the end of the file"),
             (254, zelvic_error("length-ffffffff.ttf", "table 'post' runs past the end of the file")))
    add_font("offset-past-end.ttf", font(base_tables(), {"maxp": {"offset": 0x10000}}), invalid("table 'maxp' runs past the end of the file"),
             (254, zelvic_error("offset-past-end.ttf", "table 'maxp' runs past the end of the file")))
    add_font("offset-ffffffff.ttf", font(base_tables(), {"head": {"offset": 0xFFFFFFFF}}), invalid("table 'head' runs past the end of the file"),
             (254, zelvic_error("offset-ffffffff.ttf", "table 'head' runs past the end of the file")))
    # maxp starts inside head: tables that share bytes are no font.
    add_font("overlapping.ttf", font(base_tables(), {"maxp": {"offset": directory_end + 4}}),
             invalid("tables 'head' and 'maxp' overlap"),
             (254, zelvic_error("overlapping.ttf", "tables 'head' and 'maxp' overlap")))

    add_font("name-count-ffff.ttf", font(base_tables(name_table(NAMES, count=0xFFFF))),
             NAME_OUTSIDE, ok)
    add_font("name-string-past-file.ttf",
             font(base_tables(name_table(NAMES[:2] + [NAMES[2] + (0xFFF0,)]))),
             NAME_OUTSIDE, ok)
    add_font("name-string-offset-ffff.ttf",
             font(base_tables(name_table(NAMES, string_offset=0xFFFF))), NAME_OUTSIDE, ok)
    # A string outside its table, even inside the file, is no name.
    add_font("name-string-past-table.ttf",
             font(base_tables(name_table(NAMES[:2] + [(3, 1, 0x409, 2, b"\0R\0g", 40)]))),
             NAME_OUTSIDE, ok)
    # 65535 language tags on one 64 KiB string: 4 GB once each tag holds its copy.
    tags = 0xFFFF
    shared_tags = (struct.pack(">HHHH", 1, 0, (8 + 4 * tags) & 0xFFFF, tags)
                   + struct.pack(">HH", 0xFFFF, 0) * tags + b"T" * 0xFFFF)
    add_font("name-language-tags-shared.ttf", font(base_tables(shared_tags)),
             "name table too large. / The 'name' table's strings could never be written back in one.",
             ok)
    woff = bytearray(base)
    woff[0:4] = b"wOFF"
    web = "this is a WOFF web font, not a TrueType or OpenType font"
    add_font("woff.ttf", bytes(woff), invalid(web), (254, zelvic_error("woff.ttf", web)))
    woff[0:4] = b"wOF2"
    web = "this is a WOFF2 web font, not a TrueType or OpenType font"
    add_font("woff2.ttf", bytes(woff), invalid(web), (254, zelvic_error("woff2.ttf", web)))
    add_font("name-odd-utf16.ttf",
             font(base_tables(name_table(NAMES[:2] + [(3, 1, 0x409, 2, b"\0R\0e\0")]))), "-", ok)
    two_names = font(base_tables() + [("name", b"")])
    # Both name records point at the same bytes: a second name table is
    # refused before the overlap is looked for.
    moved = bytearray(two_names)
    struct.pack_into(">III", moved, 12 + 16 * 4 + 4, *struct.unpack(">III", moved[48:60]))
    twice = "the font has two 'name' tables"
    add_font("two-name-tables.ttf", bytes(moved), invalid(twice),
             (254, zelvic_error("two-name-tables.ttf", twice)))
    # Real fonts carry a second 'DSIG': only 'head' and 'name' must be once.
    add_font("two-dsig-tables.ttf",
             font(base_tables() + [("DSIG", b"\0\0\0\1" + b"\0" * 4)] * 2), "-", ok)
    none = "the font has no tables"
    add_font("no-tables.ttf", offset_table(0), invalid(none),
             (254, zelvic_error("no-tables.ttf", none)))
    # Apple's Type 1 in an sfnt: a directory and a name table like any other.
    add_font("typ1.ttf", b"typ1" + font(base_tables())[4:], "-", ok)
    # Kestrin sets checkSumAdjustment on save; make copies 'head' as it is.
    add_font("head-short.ttf", font([("head", HEAD[:8])] + base_tables()[1:]),
             invalid("table 'head' is too short to hold its checksum adjustment"), ok)

    def add_collection(name, data, kestrin, brk):
        make = (254, zelvic_error(name, "is a TrueType Collection, not a single font"))
        cases.append((name, data, kestrin, make, brk))

    second = font(base_tables(name_table(NAMES[:2])))
    add_collection("good.ttc", collection([base, second]), "-", ok)
    add_collection("fonts-ffffffff.ttc", collection([base], claimed=0xFFFFFFFF)[:16],
                   invalid("the header names 4294967295 fonts but the file ends before their "
                           "offsets"),
                   (254, zelvic_error("fonts-ffffffff.ttc",
                                      "the header names 4294967295 fonts but the file ends before "
                                      "their offsets")))
    add_collection("font-offset-past-end.ttc", collection([base], offsets=[0x100000]),
                   invalid("font #1: the offset table runs past the end of the file"),
                   (254, zelvic_error("font-offset-past-end.ttc",
                                      "font #1: the offset table runs past the end of the file")))
    add_collection("member-cut.ttc", collection([base, second])[:-20],
                   invalid("font #2: table 'post' runs past the end of the file"),
                   (254, zelvic_error("member-cut.ttc",
                                      "font #2: table 'post' runs past the end of the file")))

    # A member that is no font: break would write a file that make refuses.
    no_font = bytearray(collection([base, second]))
    struct.pack_into(">I", no_font, struct.unpack(">I", no_font[16:20])[0], 0)
    add_collection("member-not-a-font.ttc", bytes(no_font),
                   invalid("font #2: not a TrueType or OpenType font"),
                   (254, zelvic_error("member-not-a-font.ttc",
                                      "font #2: not a TrueType or OpenType font")))

    # Three fonts on one directory: a few kilobytes like this could claim
    # thousands of fonts and gigabytes of output.
    shared = collection([base])
    offset = struct.unpack(">I", shared[12:16])[0]
    add_collection("shared-directory.ttc",
                   struct.pack(">4sII", b"ttcf", 0x00010000, 3) + struct.pack(">I", offset + 8) * 3
                   + shared[16:], invalid("the table directories of fonts #1 and #2 overlap"),
                   (254, zelvic_error("shared-directory.ttc",
                                      "the table directories of fonts #1 and #2 overlap")))

    # Tables packed without padding: the fonts break writes pad each table
    # with zeros, not with the next table's first bytes.
    add_collection("unpadded.ttc", collection([packed_font(base_tables()),
                                               packed_font(base_tables(name_table(NAMES[:2])))]),
                   "-", ok)
    # Version 2.0 with a signature, which break leaves behind with the header.
    pair = collection([base, second], version=0x00020000, dsig=(b"DSIG", 8, 0))
    signed = bytearray(pair + b"\0\0\0\1\0\0\0\0")
    struct.pack_into(">I", signed, 12 + 8 + 8, len(pair))
    add_collection("signed-v2.ttc", bytes(signed), "-", ok)
    add_collection("signature-past-end.ttc",
                   collection([base], version=0x00020000, dsig=(b"DSIG", 8, 0xFFFFFFF8)),
                   invalid("the collection's signature runs past the end of the file"),
                   (254, zelvic_error("signature-past-end.ttc",
                                      "the collection's signature runs past the end of the file")))
    add_collection("no-fonts.ttc", collection([], claimed=0) + base,
                   invalid("the collection holds no fonts"),
                   (254, zelvic_error("no-fonts.ttc", "the collection holds no fonts")))
    add_collection("version-3.ttc", collection([base], version=0x00030000),
                   invalid("unknown TrueType Collection version 3.0"),
                   (254, zelvic_error("version-3.ttc",
                                      "unknown TrueType Collection version 3.0")))

    # A tag holding ESC [ 2 J, which would clear a terminal printed raw.
    add_font("escape-tag.ttf", font(base_tables() + [("\x1b[2J", b"\0" * 8)]), "-", ok)

    with open(out / "expected.tsv", "w") as manifest:
        manifest.write("# file\tKestrin\tmake status\tmake stderr\tbreak status\tbreak stderr\n")
        for name, data, kestrin, make, brk in cases:
            (out / name).write_bytes(data)
            manifest.write("\t".join([name, kestrin, str(make[0]), make[1], str(brk[0]), brk[1]])
                           + "\n")
    print(f"{len(cases)} files in {out}")


if __name__ == "__main__":
    main()
