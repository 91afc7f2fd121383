#include "FontDirectory.h"

#include <algorithm>
#include <numeric>

#include "ByteOrder.h"

namespace zelvic {

using filecore::loadU16;
using filecore::loadU32;
using filecore::Tag;

bool isSingleFontVersion(std::uint32_t version) {
    return version == 0x00010000 || version == Tag("OTTO").value() ||
           version == Tag("true").value() || version == Tag("typ1").value();
}

std::uint16_t tableCount(const FontDirectory& directory) {
    return loadU16(directory.bytes, 4);
}

std::string readProblem(const filecore::FileError& error) {
    // Every range was checked against the file's size: a short read means
    // someone cut or rewrote the file since.
    if (error.step == filecore::FileError::Step::Read && error.error == 0) {
        return "the file changed during the run";
    }
    return error.describe();
}

bool readOffsetTable(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                     std::string& problem) {
    const std::uint64_t size = file.size();
    if (!filecore::rangeFits(size, at, kOffsetTableSize)) {
        problem = "the offset table runs past the end of the file";
        return false;
    }
    directory.tables.clear();
    directory.bytes.resize(kOffsetTableSize);
    filecore::FileError error;
    if (!file.readAt(at, directory.bytes, error)) {
        problem = readProblem(error);
        return false;
    }
    // A collection's member is checked here as make checks a font file: what
    // break writes must be a font that make takes back.
    if (!isSingleFontVersion(loadU32(directory.bytes, 0))) {
        problem = "not a TrueType or OpenType font";
        return false;
    }
    const std::uint16_t numTables = tableCount(directory);
    if (size - at - kOffsetTableSize < std::uint64_t{numTables} * kTableRecordSize) {
        problem = "the table directory (" + std::to_string(numTables) +
                  " tables) runs past the end of the file";
        return false;
    }
    return true;
}

bool readTableRecords(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                      std::string& problem) {
    const std::uint64_t size = file.size();
    const std::uint16_t numTables = tableCount(directory);
    directory.bytes.resize(kOffsetTableSize + std::size_t{numTables} * kTableRecordSize);
    filecore::FileError error;
    if (!file.readAt(at + kOffsetTableSize, std::span(directory.bytes).subspan(kOffsetTableSize),
                     error)) {
        problem = readProblem(error);
        return false;
    }
    directory.tables.clear();
    directory.tables.reserve(numTables);
    for (std::size_t i = 0; i < numTables; ++i) {
        const std::size_t record = kOffsetTableSize + kTableRecordSize * i;
        TableRecord table{
            Tag(loadU32(directory.bytes, record)), loadU32(directory.bytes, record + 4),
            loadU32(directory.bytes, record + 8), loadU32(directory.bytes, record + 12)};
        if (!filecore::rangeFits(size, table.offset, table.length)) {
            problem = "table " + table.tag.quoted() + " runs past the end of the file";
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
                "tables " + previous->tag.quoted() + " and " + table.tag.quoted() + " overlap";
            return false;
        }
        previous = &table;
    }
    return true;
}

bool readFontDirectory(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                       std::string& problem) {
    return readOffsetTable(file, at, directory, problem) &&
           readTableRecords(file, at, directory, problem);
}

}  // namespace zelvic
