// The sfnt container as both programs read it: a font's offset table and
// table directory, alone at the start of a file or as a member of a
// TrueType Collection, and the collection's header. One set of rules, from
// what real fonts hold and what the programs depend on:
//
// - The sfnt version is TrueType (0x00010000), CFF ('OTTO'), or one of
//   Apple's 'true' and 'typ1'. A 'typ1' font is an sfnt like any other:
//   its directory and 'name' table are read and written the same way, and
//   neither program looks inside the tables that make it Type 1.
// - A font has at least one table; its directory and every table lie inside
//   the file; no two non-empty tables share a byte.
// - A tag may stand twice ('DSIG' does in real fonts), except 'head' and
//   'name', which the programs read and change as the one table they are.
// - Where a program sets checkSumAdjustment, 'head' holds it (12 bytes).
// - A collection is 'ttcf' 1.0 or 2.0 with at least one font, its header
//   (the 2.0 signature fields included) and every member's directory inside
//   the file, and no two members' directories sharing a byte (members share
//   tables, never directories).
//
// Every length and offset is checked against the file's size before it is
// used, without any sum that could wrap, and nothing is allocated beyond
// what the file holds. A problem is a lower-case phrase naming the part at
// fault ("table 'head' runs past the end of the file"), for a program to put
// in its own message; sentenceOf() makes a sentence of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Files.h"
#include "Tag.h"

namespace filecore {

inline constexpr std::size_t kOffsetTableSize = 12;
inline constexpr std::size_t kTableRecordSize = 16;
inline constexpr Tag kCollectionTag("ttcf");
inline constexpr std::uint32_t kCollectionVersion1 = 0x00010000;
inline constexpr std::uint32_t kCollectionVersion2 = 0x00020000;
// 'head' up to and including checkSumAdjustment.
inline constexpr std::uint32_t kHeadAdjustedMinimum = 12;

// Why a read failed: the file's structures, or the file itself (unreadable,
// or cut short since it was opened and checked).
struct SfntError {
    enum class Kind { None, Format, File };
    Kind kind = Kind::None;
    std::string problem;  // never empty after a failure
    FileError file;       // for Kind::File

    // A read of a range already checked against the file's size that failed.
    static SfntError ofRead(const FileError& error);
};

// "the table directory runs past the end of the file" as a sentence: "The
// table directory runs past the end of the file." A problem that speaks of
// the file ("is a TrueType Collection, ...") begins "This file is ...".
std::string sentenceOf(const std::string& problem);

struct TableRecord {
    Tag tag;
    std::uint32_t checksum = 0;
    std::uint32_t offset = 0;  // from the start of the file, also in a collection
    std::uint32_t length = 0;
};

struct FontDirectory {
    std::uint64_t at = 0;             // where the offset table lies in the file
    std::vector<std::uint8_t> bytes;  // the offset table and records, as stored
    std::vector<TableRecord> tables;  // in directory order

    std::uint32_t sfntVersion() const;
    std::uint16_t numTables() const;
    std::uint16_t searchRange() const;
    std::uint16_t entrySelector() const;
    std::uint16_t rangeShift() const;
    // The index of the first table tagged `tag`.
    std::optional<std::size_t> find(Tag tag) const;
};

// What a program needs of a font beyond the common rules.
struct SfntRules {
    // 'head', where there is one, holds checkSumAdjustment: the program
    // writes it.
    bool headAdjusted = false;
};

// The sfnt versions of a single font.
bool isSingleFontVersion(std::uint32_t version);

// The offset table at `at` into directory.bytes, checked to be a font's
// with at least one table and all its records inside the file. The records
// are not read: a caller with many fonts can check where their directories
// lie before it holds any of them.
bool readOffsetTable(const InputFile& file, std::uint64_t at, FontDirectory& directory,
                     SfntError& error);
// The records after an offset table read as above, with every table checked.
bool readTableRecords(const InputFile& file, FontDirectory& directory, SfntError& error,
                      const SfntRules& rules = {});
// Both of the above.
bool readFontDirectory(const InputFile& file, std::uint64_t at, FontDirectory& directory,
                       SfntError& error, const SfntRules& rules = {});

struct CollectionHeader {
    std::uint32_t version = 0;  // kCollectionVersion1 or kCollectionVersion2
    std::vector<std::uint32_t> fontOffsets;
    // The 2.0 signature fields, as stored; all zero when there is none.
    Tag dsigTag;
    std::uint32_t dsigLength = 0;
    std::uint32_t dsigOffset = 0;

    // The header's size in the file.
    std::uint64_t size() const;
};

// The 'ttcf' header at the start of the file.
bool readCollectionHeader(const InputFile& file, CollectionHeader& header, SfntError& error);

// The header and every member's directory, in header order, checked as
// above; a member's problem begins "font #k: ".
bool readCollection(const InputFile& file, CollectionHeader& header,
                    std::vector<FontDirectory>& fonts, SfntError& error,
                    const SfntRules& rules = {});

}  // namespace filecore
