// The sfnt offset table and its table records, each record with the bytes of
// its table held in memory. The on-disk fields that follow from the tables
// (numTables, offsets, lengths, checksums) are worked out when the font is
// written, never kept where they could go stale. searchRange, entrySelector
// and rangeShift are written back as they were read: the number of tables
// never changes, and a save is no place to second-guess them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Files.h"
#include "FontErrors.h"
#include "SfntReader.h"
#include "Tag.h"

// Leaves new elements uninitialised: a table's buffer is read into as soon
// as it is sized, and zeroing megabytes first would only be thrown away.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <typename U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        std::allocator_traits<std::allocator<T>>::construct(static_cast<std::allocator<T>&>(*this),
                                                            at, std::forward<Args>(args)...);
    }
};

using TableBytes = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

struct DirectoryEntry {
    filecore::Tag tag;
    // As read; a save writes the checksum of what it writes.
    std::uint32_t checksum = 0;
    // The table's bytes; empty for the name table, which NameTable holds.
    TableBytes data;

    // Exact, case-sensitive comparison of all four tag bytes.
    bool hasTag(std::string_view fourBytes) const;
};

class TableDirectory {
  public:
    // Reads the directory of the single font `input`, each table into its
    // own buffer and the name table into `nameTable`, by the file core's
    // rules with a 'head' that holds its checksum adjustment (every save
    // sets it). Invalid for the font's structures, CannotOpen for a file
    // that can't be read (also one cut short since it was opened); either
    // way `error` says what is at fault.
    LoadError read(const filecore::InputFile& input, std::vector<std::uint8_t>& nameTable,
                   filecore::SfntError& error);
    DirectoryEntry* first();
    DirectoryEntry* next();
    // The entry tagged `fourBytes`, or null.
    DirectoryEntry* find(std::string_view fourBytes);

    std::uint32_t sfntVersion = 0;
    std::uint16_t searchRange = 0, entrySelector = 0, rangeShift = 0;
    // Owned entries in directory order; pointers to them stay valid.
    std::vector<std::unique_ptr<DirectoryEntry>> tables;

  private:
    std::size_t cursor_ = 0;
};
