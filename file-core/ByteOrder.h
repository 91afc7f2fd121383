// Big-endian fields of the sfnt and collection structures, taken apart and
// put together byte by byte. The only byte-order code of the project: every
// program and table reader goes through these. Callers have checked that the
// span holds the field (ByteReader does that for a whole parse).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace filecore {

inline std::uint16_t loadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(std::uint32_t{bytes[at]} << 8 | std::uint32_t{bytes[at + 1]});
}

inline std::uint32_t loadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

inline void storeU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

inline void storeU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 24);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 16);
    bytes[at + 2] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(value);
}

// Tables start at multiples of 4 bytes: the space a table of `length` takes.
constexpr std::uint64_t roundUp4(std::uint64_t length) {
    return (length + 3) & ~std::uint64_t{3};
}

// True when `length` bytes from `offset` lie inside `size` bytes. Written so
// that no sum can wrap, whatever a file claims.
constexpr bool rangeFits(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
    return length <= size && offset <= size - length;
}

}  // namespace filecore
