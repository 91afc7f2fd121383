#include "TableDirectory.h"

#include <algorithm>
#include <utility>

#include "Files.h"

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

LoadError TableDirectory::read(const filecore::InputFile& input,
                               std::vector<std::uint8_t>& nameTable, filecore::SfntError& error) {
    nameTable.clear();
    tables.clear();
    filecore::FontDirectory directory;
    if (!filecore::readFontDirectory(input, 0, directory, error, {.headAdjusted = true})) {
        return error.kind == filecore::SfntError::Kind::File ? LoadError::CannotOpen
                                                             : LoadError::Invalid;
    }
    sfntVersion = directory.sfntVersion();
    searchRange = directory.searchRange();
    entrySelector = directory.entrySelector();
    rangeShift = directory.rangeShift();
    // Each table is read straight into the buffer that keeps it: no mapping
    // of the file stays around beside the copies, and no byte is copied twice.
    tables.reserve(directory.tables.size());
    for (const filecore::TableRecord& record : directory.tables) {
        auto entry = std::make_unique<DirectoryEntry>();
        entry->tag = record.tag;
        entry->checksum = record.checksum;
        std::span<std::uint8_t> into;
        if (entry->hasTag("name")) {
            nameTable.resize(record.length);
            into = nameTable;
        } else {
            entry->data.resize(record.length);
            into = entry->data;
        }
        filecore::FileError readError;
        if (!input.readAt(record.offset, into, readError)) {
            error = filecore::SfntError::ofRead(readError);
            return LoadError::CannotOpen;
        }
        tables.push_back(std::move(entry));
    }
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
    const auto found = std::find_if(tables.begin(), tables.end(), [fourBytes](const auto& entry) {
        return entry->hasTag(fourBytes);
    });
    return found == tables.end() ? nullptr : found->get();
}
