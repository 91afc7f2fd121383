#include "Checksum.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "ByteOrder.h"

namespace filecore {

namespace {

// Eight bytes as two big-endian 32-bit words added together, in 64 bits so
// that nothing is lost before the final wrap.
inline std::uint64_t pairSum(const std::uint8_t* at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return (word >> 32) + (word & 0xFFFFFFFFu);
}

}  // namespace

std::uint32_t tableChecksum(std::span<const std::uint8_t> bytes) {
    // Whole words at a time rather than byte by byte: the save sums every
    // table it writes, megabytes for a large font. The sum wraps at 32 bits,
    // so a 64-bit total truncated at the end is the same sum.
    std::uint64_t sum0 = 0, sum1 = 0;
    const std::uint8_t* data = bytes.data();
    const std::size_t sixteens = bytes.size() & ~std::size_t{15};
    std::size_t i = 0;
    for (; i < sixteens; i += 16) {
        sum0 += pairSum(data + i);
        sum1 += pairSum(data + i + 8);
    }
    std::uint64_t sum = sum0 + sum1;
    const std::size_t whole = bytes.size() & ~std::size_t{3};
    for (; i < whole; i += 4) {
        sum += loadU32(bytes, i);
    }
    std::array<std::uint8_t, 4> last{};
    for (std::size_t j = whole; j < bytes.size(); ++j) {
        last[j - whole] = bytes[j];
    }
    return static_cast<std::uint32_t>(sum + loadU32(last, 0));
}

}  // namespace filecore
