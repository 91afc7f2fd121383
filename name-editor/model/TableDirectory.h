// The sfnt offset table and its table records, each record with the bytes of
// its table held in memory.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "FontFile.h"

struct DirectoryEntry {
    // The four tag bytes as stored, then a NUL so the tag reads as a C string.
    std::array<char, 5> tag{};
    std::uint32_t checksum = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    // The table's bytes; empty for the name table after a load and for a table of length 0.
    std::vector<std::uint8_t> data;

    bool readRecord(FontFile& file);
    bool writeRecord(FontFile& file) const;
    bool readData(FontFile& file);
    bool writeData(FontFile& file) const;
    std::uint32_t computeChecksum();

    // Exact, case-sensitive comparison of all four tag bytes.
    bool hasTag(std::string_view fourBytes) const;
};

// The sfnt table checksum: the bytes as big-endian 32-bit words summed modulo
// 2^32, a final partial word completed with zero bytes.
std::uint32_t tableChecksum(std::span<const std::uint8_t> bytes);

class TableDirectory {
  public:
    bool read(FontFile& file);
    bool write(FontFile& file) const;
    DirectoryEntry* first();
    DirectoryEntry* next();

    std::uint32_t sfntVersion = 0;
    std::uint16_t numTables = 0;
    std::uint16_t searchRange = 0;
    std::uint16_t entrySelector = 0;
    std::uint16_t rangeShift = 0;
    // Owned entries in directory order; pointers to them stay valid.
    std::list<std::unique_ptr<DirectoryEntry>> tables;

  private:
    std::list<std::unique_ptr<DirectoryEntry>>::iterator cursor_ = tables.end();
};
