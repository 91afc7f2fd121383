#include "TableDirectory.h"

#include <algorithm>
#include <utility>

#include "Files.h"

namespace {

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

void TableDirectory::assign(const filecore::FontDirectory& directory) {
    sfntVersion = directory.sfntVersion();
    searchRange = directory.searchRange();
    entrySelector = directory.entrySelector();
    rangeShift = directory.rangeShift();
    tables.clear();
    tables.reserve(directory.tables.size());
    for (const filecore::TableRecord& record : directory.tables) {
        auto entry = std::make_unique<DirectoryEntry>();
        entry->tag = record.tag;
        entry->checksum = record.checksum;
        entry->offset = record.offset;
        entry->length = record.length;
        tables.push_back(std::move(entry));
    }
    cursor_ = 0;
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
    auto file = std::make_shared<SourceFile>();
    if (!file->describe(input, error.file.reason)) {
        error.kind = filecore::SfntError::Kind::File;
        error.problem = error.file.reason;
        return LoadError::CannotOpen;
    }
    file->structures.push_back({0, directory.bytes});
    assign(directory);
    // Only the names are read; a save copies every other table from the file.
    if (const DirectoryEntry* name = find("name"); name != nullptr) {
        nameTable.resize(name->length);
        filecore::FileError readError;
        if (!input.readAt(name->offset, nameTable, readError)) {
            error = filecore::SfntError::ofRead(readError);
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
