#include "Checksum.h"

#include <array>
#include <cstddef>

#include "ByteOrder.h"

namespace filecore {

std::uint32_t tableChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    const std::size_t whole = bytes.size() & ~std::size_t{3};
    for (std::size_t i = 0; i < whole; i += 4) {
        sum += loadU32(bytes, i);
    }
    std::array<std::uint8_t, 4> last{};
    for (std::size_t i = whole; i < bytes.size(); ++i) {
        last[i - whole] = bytes[i];
    }
    return sum + loadU32(last, 0);
}

}  // namespace filecore
