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
#include "SfntReader.h"
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
    // Reads the directory of the single font `input` and its name table into
    // `nameTable`, by the file core's rules with a 'head' that holds its
    // checksum adjustment (every save sets it), and makes `input` the
    // source. Invalid for the font's structures, CannotOpen for a file that
    // can't be read (also one cut short since it was opened); either way
    // `error` says what is at fault.
    LoadError read(const filecore::InputFile& input, std::vector<std::uint8_t>& nameTable,
                   filecore::SfntError& error);
    // Takes the fields and records of a directory the file core has read.
    void assign(const filecore::FontDirectory& directory);
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

  private:
    std::size_t cursor_ = 0;
};
