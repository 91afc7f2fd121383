// A font's offset table and table records, as both modes read them: from a
// single font file at offset 0, or from inside a collection. The reading and
// its rules are the file core's, shared with Kestrin; this keeps Zelvic's
// names for them and its problem texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files.h"
#include "SfntReader.h"
#include "Tag.h"

namespace zelvic {

using filecore::FontDirectory;
using filecore::isSingleFontVersion;
using filecore::kOffsetTableSize;
using filecore::kTableRecordSize;
using filecore::TableRecord;

// The offset table and records at `at`, checked; tables are not read. On
// failure `problem` names the part or table at fault.
bool readFontDirectory(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                       std::string& problem);

// The number of tables a directory read as above announces.
inline std::uint16_t tableCount(const FontDirectory& directory) {
    return directory.numTables();
}

// The problem text for an input that failed to read after it was checked.
std::string readProblem(const filecore::FileError& error);

}  // namespace zelvic
