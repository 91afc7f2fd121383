// The sfnt offset table and its table records, each record saying where its
// table lies in the file the directory was read from (SourceFile), which a
// save copies the table from. The on-disk fields that follow from the tables
// (numTables, offsets, lengths, checksums) are worked out when the font is
// written, never kept where they could go stale. searchRange, entrySelector
// and rangeShift are written back as they were read: the number of tables
// never changes, and a save is no place to second-guess them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "Files.h"
#include "FontErrors.h"
#include "SourceFile.h"
#include "Tag.h"

struct DirectoryEntry {
    filecore::Tag tag;
    // As read; a save writes the checksum of what it writes.
    std::uint32_t checksum = 0;
    // Where the table lies in the source file; the name table's bytes are
    // held by NameTable.
    std::uint32_t offset = 0, length = 0;

    // Exact, case-sensitive comparison of all four tag bytes.
    bool hasTag(std::string_view fourBytes) const;
};

class TableDirectory {
  public:
    // Reads the directory of the single font `input` and the name table into
    // `nameTable`, and makes `input` the source. Refuses anything but one
    // TrueType or OpenType font, tables outside the file or overlapping one
    // another, a tag twice and a 'head' too short for its checksum
    // adjustment. A file that can't be read (also one cut short since it was
    // opened) is CannotOpen with `error` set.
    LoadError read(const filecore::InputFile& input, std::vector<std::uint8_t>& nameTable,
                   filecore::FileError& error);
    // Reads only the directory whose offset table starts at `at`, with the
    // same rules; `structure` gets its bytes as they are in the file.
    LoadError readAt(const filecore::InputFile& input, std::uint64_t at,
                     std::vector<std::uint8_t>& structure, filecore::FileError& error);
    DirectoryEntry* first();
    DirectoryEntry* next();
    // The entry tagged `fourBytes`, or null.
    DirectoryEntry* find(std::string_view fourBytes);
    const DirectoryEntry* find(std::string_view fourBytes) const;

    std::uint32_t sfntVersion = 0;
    std::uint16_t searchRange = 0, entrySelector = 0, rangeShift = 0;
    // Owned entries in directory order; pointers to them stay valid.
    std::vector<std::unique_ptr<DirectoryEntry>> tables;
    // The file the entries point into (shared by the fonts of a collection).
    std::shared_ptr<const SourceFile> source;

    struct Extent {
        std::uint64_t offset = 0, length = 0;
    };

  private:
    // The offset table and table records in `head`, checked against a file
    // of `fileSize` bytes.
    LoadError parse(std::span<const std::uint8_t> head, std::uint64_t fileSize);

    std::size_t cursor_ = 0;
};
