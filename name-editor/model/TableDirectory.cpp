#include "TableDirectory.h"

#include <algorithm>
#include <array>
#include <utility>

#include "ByteOrder.h"
#include "ByteReader.h"
#include "Files.h"

namespace {

constexpr std::uint32_t kTrueTypeVersion = 0x00010000;
constexpr std::uint32_t kOpenTypeVersion = 0x4F54544F;  // 'OTTO'
constexpr std::uint32_t kAppleVersion = 0x74727565;     // 'true'
constexpr std::size_t kOffsetTableSize = 12;
constexpr std::size_t kTableRecordSize = 16;
// 'head' must hold checkSumAdjustment, which every save sets.
constexpr std::size_t kHeadMinimum = 12;

// Tables that share bytes would each hold a copy: a 185 KB file of 11,585
// records over its whole length would take 2 GB. A font never needs that,
// so records that overlap are no font. Empty tables overlap nothing.
bool anyOverlap(std::vector<TableDirectory::Extent> extents) {
    std::erase_if(extents, [](const TableDirectory::Extent& extent) { return extent.length == 0; });
    std::sort(extents.begin(), extents.end(),
              [](const TableDirectory::Extent& a, const TableDirectory::Extent& b) {
                  return a.offset < b.offset;
              });
    for (std::size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].offset - extents[i - 1].offset < extents[i - 1].length) {
            return true;
        }
    }
    return false;
}

DirectoryEntry* findIn(const std::vector<std::unique_ptr<DirectoryEntry>>& tables,
                       std::string_view fourBytes) {
    const auto found = std::find_if(tables.begin(), tables.end(), [fourBytes](const auto& entry) {
        return entry->hasTag(fourBytes);
    });
    return found == tables.end() ? nullptr : found->get();
}

}  // namespace

bool DirectoryEntry::hasTag(std::string_view fourBytes) const {
    if (fourBytes.size() != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (tag.byte(i) != static_cast<std::uint8_t>(fourBytes[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    return true;
}

LoadError TableDirectory::parse(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
    filecore::ByteReader reader(head);
    std::uint16_t numTables = 0;
    if (!reader.u32(sfntVersion) || !reader.u16(numTables) || !reader.u16(searchRange) ||
        !reader.u16(entrySelector) || !reader.u16(rangeShift)) {
        return LoadError::Invalid;
    }
    // Only a single font: a collection, WOFF or WOFF2 or anything else would
    // be written back as what it is not.
    if (sfntVersion != kTrueTypeVersion && sfntVersion != kOpenTypeVersion &&
        sfntVersion != kAppleVersion) {
        return LoadError::Invalid;
    }
    // The whole directory is there before anything is allocated for it.
    if (reader.remaining() / kTableRecordSize < numTables) {
        return LoadError::Invalid;
    }
    std::vector<Extent> extents;
    extents.reserve(numTables);
    tables.clear();
    tables.reserve(numTables);
    for (std::uint16_t i = 0; i < numTables; ++i) {
        auto entry = std::make_unique<DirectoryEntry>();
        if (!reader.tag(entry->tag) || !reader.u32(entry->checksum) || !reader.u32(entry->offset) ||
            !reader.u32(entry->length) ||
            !filecore::rangeFits(fileSize, entry->offset, entry->length)) {
            return LoadError::Invalid;
        }
        if (entry->hasTag("head") && entry->length < kHeadMinimum) {
            return LoadError::Invalid;
        }
        extents.push_back({entry->offset, entry->length});
        tables.push_back(std::move(entry));
    }
    // A second 'name' would be read into the same records and a second
    // 'head' would miss its adjustment: a tag is there once or not at all.
    std::vector<filecore::Tag> tags;
    tags.reserve(tables.size());
    for (const auto& entry : tables) {
        tags.push_back(entry->tag);
    }
    std::sort(tags.begin(), tags.end());
    if (std::adjacent_find(tags.begin(), tags.end()) != tags.end() || anyOverlap(extents)) {
        return LoadError::Invalid;
    }
    return LoadError::None;
}

LoadError TableDirectory::readAt(const filecore::InputFile& input, std::uint64_t at,
                                 std::vector<std::uint8_t>& structure, filecore::FileError& error) {
    const std::uint64_t fileSize = input.size();
    if (!filecore::rangeFits(fileSize, at, kOffsetTableSize)) {
        return LoadError::Invalid;
    }
    std::array<std::uint8_t, kOffsetTableSize> offsetTable{};
    if (!input.readAt(at, offsetTable, error)) {
        return LoadError::CannotOpen;
    }
    // Only what the file holds is read; parse() refuses a directory cut short.
    const std::uint64_t numTables = filecore::loadU16(offsetTable, 4);
    const std::uint64_t directoryEnd =
        std::min(fileSize, at + kOffsetTableSize + kTableRecordSize * numTables);
    structure.resize(static_cast<std::size_t>(directoryEnd - at));
    if (!input.readAt(at, structure, error)) {
        return LoadError::CannotOpen;
    }
    return parse(structure, fileSize);
}

LoadError TableDirectory::read(const filecore::InputFile& input,
                               std::vector<std::uint8_t>& nameTable, filecore::FileError& error) {
    nameTable.clear();
    auto file = std::make_shared<SourceFile>();
    SourceFile::Structure structure;
    if (const LoadError result = readAt(input, 0, structure.bytes, error);
        result != LoadError::None) {
        return result;
    }
    if (!file->describe(input, error.reason)) {
        return LoadError::CannotOpen;
    }
    file->structures.push_back(std::move(structure));
    // Only the names are read; a save copies every other table from the file.
    if (const DirectoryEntry* name = find("name"); name != nullptr) {
        nameTable.resize(name->length);
        if (!input.readAt(name->offset, nameTable, error)) {
            return LoadError::CannotOpen;
        }
    }
    source = std::move(file);
    return LoadError::None;
}

DirectoryEntry* TableDirectory::first() {
    cursor_ = 0;
    return tables.empty() ? nullptr : tables.front().get();
}

DirectoryEntry* TableDirectory::next() {
    if (cursor_ >= tables.size()) {
        return nullptr;
    }
    ++cursor_;
    return cursor_ < tables.size() ? tables[cursor_].get() : nullptr;
}

DirectoryEntry* TableDirectory::find(std::string_view fourBytes) {
    return findIn(tables, fourBytes);
}

const DirectoryEntry* TableDirectory::find(std::string_view fourBytes) const {
    return findIn(tables, fourBytes);
}
