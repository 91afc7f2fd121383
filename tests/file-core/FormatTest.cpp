#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ByteReader.h"
#include "Checksum.h"
#include "Tag.h"

using namespace filecore;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads that hostile lengths and offsets must not get past, and the values
// the ones inside give.
TEST(ByteReader, ChecksEveryReadAgainstWhatIsThere) {
    const Bytes bytes{0x00, 0x01, 0x00, 0x00, 0xAB, 0xCD, 'g', 'l', 'y', 'f'};
    struct Case {
        const char* what;
        std::size_t start;
        std::size_t skip;
        bool u16ok, u32ok;
    };
    const Case cases[] = {
        {"at the start", 0, 0, true, true},
        {"two bytes left", 8, 0, true, false},
        {"one byte left", 9, 0, false, false},
        {"at the end", 10, 0, false, false},
        {"start past the end is clamped", 99, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteReader u16(bytes, c.start);
        std::uint16_t small = 0;
        EXPECT_EQ(u16.u16(small), c.u16ok);
        ByteReader u32(bytes, c.start);
        std::uint32_t large = 0;
        EXPECT_EQ(u32.u32(large), c.u32ok);
        EXPECT_LE(u32.position(), bytes.size());
    }

    ByteReader reader(bytes);
    std::uint32_t version = 0;
    std::uint16_t field = 0;
    Tag tag;
    ASSERT_TRUE(reader.u32(version) && reader.u16(field) && reader.tag(tag));
    EXPECT_EQ(version, 0x00010000u);
    EXPECT_EQ(field, 0xABCD);
    EXPECT_EQ(tag, Tag("glyf"));
    std::span<const std::uint8_t> out;
    EXPECT_FALSE(reader.bytes(1, out));
    EXPECT_FALSE(reader.skip(SIZE_MAX));
    EXPECT_FALSE(reader.seek(11));
    EXPECT_TRUE(reader.seek(10));

    EXPECT_FALSE(subrange(bytes, 4, SIZE_MAX));
    EXPECT_FALSE(subrange(bytes, UINT64_MAX, 1));
    EXPECT_FALSE(subrange(bytes, 8, 3));
    EXPECT_EQ(subrange(bytes, 6, 4)->size(), 4u);
    EXPECT_FALSE(rangeFits(10, 0xFFFFFFFFFFFFFFF0u, 0x20));
    EXPECT_EQ(roundUp4(0xFFFFFFFDu), 0x100000000u);
}

TEST(TagAndChecksum, PrintSafelyAndSumAsFontsDo) {
    EXPECT_EQ(Tag("OS/2").printable(), "OS/2");
    EXPECT_EQ(Tag(0x1B5B324Au).printable(), "?[2J");  // ESC [ 2 J clears a terminal
    EXPECT_EQ(Tag(0x7F80FF20u).quoted(), "'??? '");
    EXPECT_LT(Tag("BASE"), Tag("base"));
    EXPECT_LT(Tag(0x7FFFFFFFu), Tag(0x80000000u));  // raw bytes, unsigned

    struct Case {
        Bytes bytes;
        std::uint32_t sum;
    };
    const Case cases[] = {
        {{}, 0},
        {{0x01}, 0x01000000},
        {{0x00, 0x00, 0x00, 0x01, 0x02}, 0x02000001},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x02}, 1},  // wraps modulo 2^32
        // Long enough for the word-at-a-time loop, with words and a byte after it.
        {Bytes(37, 0xFF), 0xFEFFFFF7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tableChecksum(c.bytes), c.sum);
    }
    // Every length and start around the wide steps, against the rule itself:
    // big-endian words, a short last one padded with zeros.
    Bytes varied(300);
    for (std::size_t i = 0; i < varied.size(); ++i) {
        varied[i] = static_cast<std::uint8_t>(i * 151 + 7);
    }
    for (std::size_t start = 0; start < 4; ++start) {
        for (std::size_t length = 0; start + length <= varied.size(); ++length) {
            std::uint32_t expected = 0;
            for (std::size_t k = 0; k < length; ++k) {
                expected += std::uint32_t{varied[start + k]} << (24 - 8 * (k % 4));
            }
            ASSERT_EQ(tableChecksum(std::span(varied).subspan(start, length)), expected)
                << start << "+" << length;
        }
    }
}

}  // namespace
