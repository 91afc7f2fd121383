// The sfnt table checksum and the whole-font checksum rule of 'head'.
#pragma once

#include <cstdint>
#include <span>

namespace filecore {

// The bytes read as big-endian 32-bit words and summed modulo 2^32; a final
// partial word is completed with zero bytes.
std::uint32_t tableChecksum(std::span<const std::uint8_t> bytes);

// A font whose 'head' checkSumAdjustment is right sums, as a whole, to this.
inline constexpr std::uint32_t kFontChecksumTarget = 0xB1B0AFBA;

// Where checkSumAdjustment lies in the 'head' table.
inline constexpr std::size_t kHeadChecksumAdjustmentOffset = 8;

}  // namespace filecore
