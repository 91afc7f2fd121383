#include "FontDirectory.h"

#include <algorithm>
#include <numeric>

#include "ByteOrder.h"

namespace zelvic {

std::string quotedTag(std::uint32_t tag) {
    std::string text = "'";
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = tagByte(tag, i);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return text + "'";
}

bool isSingleFontVersion(std::uint32_t version) {
    return version == 0x00010000 || version == makeTag('O', 'T', 'T', 'O') ||
           version == makeTag('t', 'r', 'u', 'e') || version == makeTag('t', 'y', 'p', '1');
}

bool readFontDirectory(const InputFile& file, std::uint64_t at, FontDirectory& directory,
                       std::string& problem) {
    const std::uint64_t size = file.size();
    if (size < kOffsetTableSize || at > size - kOffsetTableSize) {
        problem = "the offset table runs past the end of the file";
        return false;
    }
    directory.bytes.resize(kOffsetTableSize);
    if (!file.readAt(at, directory.bytes)) {
        problem = "cannot read the offset table";
        return false;
    }
    // A collection's member is checked here as make checks a font file: what
    // break writes must be a font that make takes back.
    if (!isSingleFontVersion(readU32(directory.bytes, 0))) {
        problem = "not a TrueType or OpenType font";
        return false;
    }
    const std::uint16_t numTables = readU16(directory.bytes, 4);
    const std::uint64_t recordsSize = std::uint64_t{numTables} * kTableRecordSize;
    if (size - at - kOffsetTableSize < recordsSize) {
        problem = "the table directory (" + std::to_string(numTables) +
                  " tables) runs past the end of the file";
        return false;
    }
    directory.bytes.resize(kOffsetTableSize + recordsSize);
    if (!file.readAt(at + kOffsetTableSize, std::span(directory.bytes).subspan(kOffsetTableSize))) {
        problem = "cannot read the table directory";
        return false;
    }

    directory.tables.clear();
    directory.tables.reserve(numTables);
    for (std::size_t i = 0; i < numTables; ++i) {
        const std::size_t record = kOffsetTableSize + kTableRecordSize * i;
        TableRecord table{readU32(directory.bytes, record), readU32(directory.bytes, record + 4),
                          readU32(directory.bytes, record + 8),
                          readU32(directory.bytes, record + 12)};
        if (size < table.length || table.offset > size - table.length) {
            problem = "table " + quotedTag(table.tag) + " runs past the end of the file";
            return false;
        }
        directory.tables.push_back(table);
    }

    // Tables that overlap would let a small file claim far more data than it
    // holds; a well-formed font never has them.
    std::vector<std::size_t> byOffset(directory.tables.size());
    std::iota(byOffset.begin(), byOffset.end(), std::size_t{0});
    std::sort(byOffset.begin(), byOffset.end(), [&](std::size_t a, std::size_t b) {
        return directory.tables[a].offset < directory.tables[b].offset;
    });
    const TableRecord* previous = nullptr;
    for (std::size_t index : byOffset) {
        const TableRecord& table = directory.tables[index];
        if (table.length == 0) {
            continue;
        }
        if (previous != nullptr &&
            std::uint64_t{previous->offset} + previous->length > table.offset) {
            problem =
                "tables " + quotedTag(previous->tag) + " and " + quotedTag(table.tag) + " overlap";
            return false;
        }
        previous = &table;
    }
    return true;
}

}  // namespace zelvic
