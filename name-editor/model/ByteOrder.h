// Big-endian integers taken apart and put together byte by byte. The model's
// only byte-order code: the file helpers and the name strings go through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace byteorder {

inline std::uint16_t loadU16(std::span<const std::uint8_t, 2> in) {
    return static_cast<std::uint16_t>(std::uint16_t{in[0]} << 8 | std::uint16_t{in[1]});
}

inline std::uint32_t loadU32(std::span<const std::uint8_t, 4> in) {
    return std::uint32_t{in[0]} << 24 | std::uint32_t{in[1]} << 16 | std::uint32_t{in[2]} << 8 |
           std::uint32_t{in[3]};
}

inline void storeU16(std::span<std::uint8_t, 2> out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value);
}

inline void storeU32(std::span<std::uint8_t, 4> out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

}  // namespace byteorder
