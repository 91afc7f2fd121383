// Big-endian fields of the sfnt and collection structures, taken apart and put
// together byte by byte. Callers have already checked that the span holds the
// field; these helpers only do byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zelvic {

inline std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(std::uint32_t{bytes[at]} << 8 | std::uint32_t{bytes[at + 1]});
}

inline std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

inline void writeU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 24);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 16);
    bytes[at + 2] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(value);
}

// Tags are four raw bytes; held as the big-endian number they spell so that
// they compare as raw 4-byte values do.
constexpr std::uint32_t makeTag(char a, char b, char c, char d) {
    return std::uint32_t{static_cast<unsigned char>(a)} << 24 |
           std::uint32_t{static_cast<unsigned char>(b)} << 16 |
           std::uint32_t{static_cast<unsigned char>(c)} << 8 |
           std::uint32_t{static_cast<unsigned char>(d)};
}

// The byte of a tag at position 0..3, in file order.
constexpr unsigned char tagByte(std::uint32_t tag, int position) {
    return static_cast<unsigned char>(tag >> (24 - 8 * position));
}

// Tables start at multiples of 4 bytes; the space a table takes.
constexpr std::uint64_t roundUp4(std::uint64_t length) {
    return (length + 3) & ~std::uint64_t{3};
}

}  // namespace zelvic
