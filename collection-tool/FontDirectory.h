// A font's offset table and table records, as both modes read them: from a
// single font file at offset 0, or from inside a collection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files.h"
#include "Tag.h"

namespace zelvic {

struct TableRecord {
    filecore::Tag tag;
    std::uint32_t checksum = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

struct FontDirectory {
    std::vector<std::uint8_t> bytes;  // the offset table and records as stored
    std::vector<TableRecord> tables;  // in directory order
};

inline constexpr std::size_t kOffsetTableSize = 12;
inline constexpr std::size_t kTableRecordSize = 16;

// The sfnt versions of a single font: TrueType, CFF, Apple's 'true' and 'typ1'.
bool isSingleFontVersion(std::uint32_t version);

// Reads the offset table at `at` into directory.bytes and checks that it is
// a font's and that its records lie inside the file; tables are not read.
bool readOffsetTable(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                     std::string& problem);

// Reads the records after an offset table read as above, and checks that
// every table lies inside the file and that no two overlap.
bool readTableRecords(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                      std::string& problem);

// Both of the above. On failure `problem` names the part or table at fault.
bool readFontDirectory(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                       std::string& problem);

// The number of tables an offset table read by readOffsetTable announces.
std::uint16_t tableCount(const FontDirectory& directory);

// The problem text for an input that failed to read after it was checked.
std::string readProblem(const filecore::FileError& error);

}  // namespace zelvic
