// In-memory font files for tests: an sfnt offset table, its table records and
// the table bodies, laid out the way a well-formed font has them, with the
// option of lying about any field afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline void putU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

inline void putU32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

inline void setU16(Bytes& out, std::size_t at, std::uint16_t value) {
    out.at(at) = static_cast<std::uint8_t>(value >> 8);
    out.at(at + 1) = static_cast<std::uint8_t>(value);
}

inline void setU32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        out.at(at + i) = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

inline std::uint16_t getU16(std::span<const std::uint8_t> in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] << 8 | in[at + 1]);
}

inline std::uint32_t getU32(std::span<const std::uint8_t> in, std::size_t at) {
    return std::uint32_t{in[at]} << 24 | std::uint32_t{in[at + 1]} << 16 |
           std::uint32_t{in[at + 2]} << 8 | std::uint32_t{in[at + 3]};
}

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// The sfnt table checksum: big-endian 32-bit words summed modulo 2^32, the last
// word completed with zero bytes.
inline std::uint32_t tableChecksum(std::span<const std::uint8_t> data) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        sum += std::uint32_t{data[i]} << (24 - 8 * (i % 4));
    }
    return sum;
}

struct TestTable {
    std::string tag;  // exactly four characters
    Bytes data;
};

// Offsets of the fields of table record `index` in a built font.
inline std::size_t recordOffset(std::size_t index) {
    return 12 + 16 * index;
}

// A single font: offset table, records in the given order, bodies in the same
// order at 4-byte-aligned offsets with zero padding, true checksums.
// searchRange and friends are computed as the format recommends.
inline Bytes buildFont(const std::vector<TestTable>& tables,
                       std::uint32_t sfntVersion = 0x00010000) {
    Bytes out;
    const auto numTables = static_cast<std::uint16_t>(tables.size());
    std::uint16_t entrySelector = 0;
    while (numTables >= (2u << entrySelector)) {
        ++entrySelector;
    }
    const auto searchRange = static_cast<std::uint16_t>(numTables == 0 ? 0 : 16u << entrySelector);
    putU32(out, sfntVersion);
    putU16(out, numTables);
    putU16(out, searchRange);
    putU16(out, entrySelector);
    putU16(out, static_cast<std::uint16_t>(numTables * 16 - searchRange));

    std::size_t dataOffset = 12 + 16 * tables.size();
    for (const TestTable& table : tables) {
        out.insert(out.end(), table.tag.begin(), table.tag.begin() + 4);
        putU32(out, tableChecksum(table.data));
        putU32(out, static_cast<std::uint32_t>(dataOffset));
        putU32(out, static_cast<std::uint32_t>(table.data.size()));
        dataOffset += (table.data.size() + 3) & ~std::size_t{3};
    }
    for (const TestTable& table : tables) {
        out.insert(out.end(), table.data.begin(), table.data.end());
        out.resize((out.size() + 3) & ~std::size_t{3}, 0);
    }
    return out;
}

// One record of a name table to build; `bytes` are stored as given.
struct TestName {
    std::uint16_t platformID = 3;
    std::uint16_t encodingID = 1;
    std::uint16_t languageID = 0x409;
    std::uint16_t nameID = 1;
    Bytes bytes;
};

// UTF-16BE bytes of an ASCII/Latin-1 text, as Windows names are stored.
// Where checkSumAdjustment lies in the font, or 0 for a font without 'head'.
inline std::size_t adjustmentAt(std::span<const std::uint8_t> font) {
    for (std::size_t j = 0; j < getU16(font, 4); ++j) {
        if (Bytes(font.begin() + 12 + 16 * j, font.begin() + 16 + 16 * j) == bytesOf("head")) {
            return getU32(font, 12 + 16 * j + 8) + 8;
        }
    }
    return 0;
}

// The font with its checkSumAdjustment set so that the whole file sums to
// 0xB1B0AFBA, as a split font must.
inline Bytes summedRight(Bytes font) {
    const std::size_t at = adjustmentAt(font);
    setU32(font, at, 0);
    setU32(font, at, 0xB1B0AFBA - tableChecksum(font));
    return font;
}

inline Bytes utf16be(std::string_view latin1) {
    Bytes out;
    for (unsigned char c : latin1) {
        out.push_back(0);
        out.push_back(c);
    }
    return out;
}

// A format-0 name table with the strings back to back in record order.
inline Bytes buildNameTable(const std::vector<TestName>& names, std::uint16_t format = 0) {
    Bytes out;
    putU16(out, format);
    putU16(out, static_cast<std::uint16_t>(names.size()));
    putU16(out, static_cast<std::uint16_t>(6 + 12 * names.size()));
    std::size_t stringOffset = 0;
    for (const TestName& name : names) {
        putU16(out, name.platformID);
        putU16(out, name.encodingID);
        putU16(out, name.languageID);
        putU16(out, name.nameID);
        putU16(out, static_cast<std::uint16_t>(name.bytes.size()));
        putU16(out, static_cast<std::uint16_t>(stringOffset));
        stringOffset += name.bytes.size();
    }
    for (const TestName& name : names) {
        out.insert(out.end(), name.bytes.begin(), name.bytes.end());
    }
    return out;
}

// A body of `length` bytes whose content depends on `seed`, so that tables
// built with different seeds differ.
inline Bytes patternBytes(std::size_t length, std::uint8_t seed) {
    Bytes out(length);
    for (std::size_t i = 0; i < length; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return out;
}

}  // namespace testsupport
