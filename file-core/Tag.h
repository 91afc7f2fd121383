// A table tag: four raw bytes, held as the big-endian number they spell so
// that tags compare as raw 4-byte values do. Printed, a byte outside
// printable ASCII shows as '?', so a hostile tag can't drive a terminal.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>

namespace filecore {

class Tag {
  public:
    constexpr Tag() = default;
    constexpr explicit Tag(std::uint32_t value) : value_(value) {}
    // Tag("name"): the four characters of a literal, in file order.
    constexpr explicit Tag(const char (&text)[5])
        : value_(std::uint32_t{static_cast<unsigned char>(text[0])} << 24 |
                 std::uint32_t{static_cast<unsigned char>(text[1])} << 16 |
                 std::uint32_t{static_cast<unsigned char>(text[2])} << 8 |
                 std::uint32_t{static_cast<unsigned char>(text[3])}) {}

    constexpr std::uint32_t value() const { return value_; }
    // The byte at position 0..3, in file order.
    constexpr std::uint8_t byte(int position) const {
        return static_cast<std::uint8_t>(value_ >> (24 - 8 * position));
    }
    std::array<std::uint8_t, 4> bytes() const { return {byte(0), byte(1), byte(2), byte(3)}; }

    // The four characters, '?' for any byte outside printable ASCII.
    std::string printable() const {
        std::string text(4, '?');
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t c = byte(i);
            if (c >= 0x20 && c < 0x7F) {
                text[static_cast<std::size_t>(i)] = static_cast<char>(c);
            }
        }
        return text;
    }
    // "'glyf'", as messages name a table. Built in one piece: GCC 12 at -O3
    // took "'" + printable() for an overlapping copy and warned (-Wrestrict).
    std::string quoted() const {
        const std::string name = printable();
        return std::string{'\'', name[0], name[1], name[2], name[3], '\''};
    }

    constexpr auto operator<=>(const Tag&) const = default;  // NOLINT(modernize-use-nullptr)

  private:
    std::uint32_t value_ = 0;
};

}  // namespace filecore
