// A font's offset table and table records, as both modes read them: from a
// single font file at offset 0, or from inside a collection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files.h"

namespace zelvic {

struct TableRecord {
    std::uint32_t tag = 0;
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

// Reads the directory at `at` and checks that it, and every table it names,
// lies inside the file, that its version is a font's and that no two tables
// overlap. On failure `problem` names the part or table at fault.
bool readFontDirectory(const InputFile& file, std::uint64_t at, FontDirectory& directory,
                       std::string& problem);

// "'glyf'", with bytes that aren't printable ASCII shown as '?'.
std::string quotedTag(std::uint32_t tag);

}  // namespace zelvic
