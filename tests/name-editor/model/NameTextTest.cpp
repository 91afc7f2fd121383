#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "IcuLibrary.h"
#include "NameText.h"
#include "SfntBuilder.h"

using testsupport::Bytes;

namespace {

struct Case {
    std::uint16_t platformID, encodingID, languageID;
    const char* text;  // UTF-8
    Bytes bytes;       // as stored
};

// Each encoding a name can be in, with bytes as fontTools writes them.
const std::vector<Case> kRoundTrips = {
    {3,
     1,
     0x409,
     "\xC3\x87"
     "a",
     {0x00, 0xC7, 0x00, 0x61}},
    {3, 10, 0x409, "\xF0\x9F\x98\x80", {0xD8, 0x3D, 0xDE, 0x00}},
    {0, 3, 0, "\xC3\xA9", {0x00, 0xE9}},
    {2, 1, 0, "AB", {0x00, 0x41, 0x00, 0x42}},
    {2, 0, 0, "AB", {0x41, 0x42}},
    {2, 2, 0, "\xC3\xA9", {0xE9}},
    // Mac OS Roman: "Ça été ‘fini’ ©"
    {1,
     0,
     0,
     "\xC3\x87"
     "a \xC3\xA9t\xC3\xA9 \xE2\x80\x98"
     "fini\xE2\x80\x99 \xC2\xA9",
     {0x82, 'a', ' ', 0x8E, 't', 0x8E, ' ', 0xD4, 'f', 'i', 'n', 'i', 0xD5, ' ', 0xA9}},
    {1, 0, 17, "\xC4\x9E", {0xDA}},  // Turkish Ğ
    {1, 0, 25, "\xC5\x81", {0xFC}},  // Polish Ł, Central European
    {1, 1, 11, "\xE6\x97\xA5\xE6\x9C\xAC", {0x93, 0xFA, 0x96, 0x7B}},  // 日本, Shift_JIS
    {1, 2, 19, "\xE4\xB8\xAD", {0xA4, 0xA4}},                          // 中, Big5
    {1, 3, 23, "\xED\x95\x9C", {0xC7, 0xD1}},                          // 한, EUC-KR
    {1, 25, 33, "\xE4\xB8\xAD", {0xD6, 0xD0}},                         // 中, GB2312
    {1, 6, 14, "\xCE\xA9", {0xBF}},                                    // Ω, Mac OS Greek
    {1, 7, 32, "\xD0\x96", {0x86}},                                    // Ж, Mac OS Cyrillic
    // Apple's single bytes beside the code page: "© ₩—" in Mac Korean (as
    // NanumGothic's copyright has it), "©™…" in Mac Japanese.
    {1, 3, 23, "\xC2\xA9 \xE2\x82\xA9\xE2\x80\x94", {0x83, ' ', 0x81, 0x82}},
    {1, 1, 11, "\xC2\xA9\xE2\x84\xA2\xE2\x80\xA6", {0xFD, 0xFE, 0x81, 0x63}},
    {1, 2, 19, "\xE2\x84\xA2\xE3\x81\x81", {0xFE, 0xC6, 0xA5}},  // ™ぁ, Big5 with ETEN kana
    {1, 25, 33, "\xC2\xA9\xEF\xBC\x87", {0xFD, 0xA3, 0xA7}},     // ©＇
    // Windows' Far East code pages as their bytes, where Python's tables and
    // ICU's converters differ too: 〜 and ‖ in Shift_JIS, • in Big5, € in Wansung.
    {3, 2, 0x411, "\xE6\x97\xA5\xE3\x80\x9C\xE2\x80\x96", {0x93, 0xFA, 0x81, 0x60, 0x81, 0x61}},
    {3, 3, 0x804, "\xE4\xB8\xAD", {0xD6, 0xD0}},
    {3, 4, 0x404, "\xE2\x80\xA2", {0xA1, 0x45}},
    {3, 5, 0x412, "\xED\x95\x9C\xE2\x82\xAC", {0xC7, 0xD1, 0xA2, 0xE6}},
    // Johab, which fontTools reads with Python's codec: 한漢™ㄱ.
    {3,
     6,
     0x412,
     "\xED\x95\x9C\xE6\xBC\xA2\xE2\x84\xA2\xE3\x84\xB1",
     {0xD0, 0x65, 0xF7, 0xD3, 0xD9, 0xE2, 0x88, 0x41}},
    {1, 0, 15, "\xC3\x9E\xC3\xA9", {0xDE, 0x8E}},  // Þé, Mac OS Icelandic
    {1, 0, 18, "\xC5\xA0", {0xA9}},                // Š, Mac OS Croatian
    {1, 0, 37, "\xC8\x98", {0xAF}},                // Ș, Mac OS Romanian
};

TEST(NameText, EachEncodingRoundTripsAsFontToolsStoresIt) {
    for (const Case& c : kRoundTrips) {
        SCOPED_TRACE(nametext::encodingName(c.platformID, c.encodingID, c.languageID));
        EXPECT_EQ(nametext::decode(c.platformID, c.encodingID, c.languageID, c.bytes), c.text);
        EXPECT_EQ(nametext::encode(c.platformID, c.encodingID, c.languageID, c.text), c.bytes);
    }
}

TEST(NameText, TextTheEncodingCantHoldIsRefusedNotReplaced) {
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC";
    EXPECT_EQ(nametext::encode(1, 0, 0, japanese), std::nullopt);         // Mac OS Roman
    EXPECT_EQ(nametext::encode(2, 0, 0, "\xC3\xA9"), std::nullopt);       // ASCII
    EXPECT_EQ(nametext::encode(2, 2, 0, "\xE2\x82\xAC"), std::nullopt);   // ISO 8859-1, €
    EXPECT_EQ(nametext::encode(3, 1, 0x409, "\xFF\xFE"), std::nullopt);   // not UTF-8
    EXPECT_EQ(nametext::encode(1, 0, 15, "\xE2\x80\xA0"), std::nullopt);  // † in Icelandic
    // A code the converter has but fontTools reads otherwise (U+FF5E is
    // 〜 to fontTools in Shift_JIS) is refused, not written to be misread.
    EXPECT_EQ(nametext::encode(3, 2, 0x411, "\xEF\xBD\x9E"), std::nullopt);
    // fontTools writes ¥ as the byte it reads as a backslash; so do we.
    EXPECT_EQ(nametext::encode(1, 1, 11, "\xC2\xA5"), (Bytes{0x5C}));
    // No converter: shown through Mac OS Roman; only ASCII is written.
    EXPECT_EQ(nametext::encode(1, 20, 0, "\xE1\x9E\x80"), std::nullopt);  // Khmer script
    EXPECT_EQ(nametext::encode(1, 20, 0, "Family"), (Bytes{'F', 'a', 'm', 'i', 'l', 'y'}));
    EXPECT_EQ(nametext::encode(4, 0, 0, "abc"), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(nametext::decode(1, 0, 15, Bytes{'a', 0x8E}), "a\xC3\xA9");
    EXPECT_EQ(nametext::encodingName(1, 0, 0), "Mac OS Roman");
    EXPECT_EQ(nametext::encodingName(1, 1, 0), "Mac OS Japanese");
    EXPECT_EQ(nametext::encodingName(3, 1, 0x409), "UTF-16BE");
}

TEST(NameText, BadBytesDecodeAsWellAsTheyCan) {
    EXPECT_EQ(nametext::decode(3, 1, 0x409, Bytes{0x00, 0x41, 0x00, 0x42, 0x43}), "AB");
    EXPECT_EQ(nametext::decode(3, 1, 0x409, Bytes{0xD8, 0x00, 0x00, 0x41}),
              "\xEF\xBF\xBD"
              "A");
    EXPECT_EQ(nametext::decode(3, 1, 0x409, Bytes{0x00, 0x41, 0x00, 0x00, 0x00, 0x42}), "A");
    EXPECT_EQ(nametext::decode(1, 1, 0, Bytes{'A', 0x82}), "A\xEF\xBF\xBD");  // cut Shift_JIS
    // Windows code page names stored as 16-bit units: 00 41 is "A".
    EXPECT_EQ(nametext::decode(3, 2, 0x411, Bytes{0x00, 0x41, 0x93, 0xFA}), "A\xE6\x97\xA5");
    EXPECT_EQ(nametext::decode(1, 0, 0, Bytes{}), "");
}

// Mac OS Roman, ISO 8859-1 and ASCII are converted without ICU; they must
// read and write every code exactly as ICU's converters of those names.
TEST(NameText, SingleByteEncodingsMatchIcusConverters) {
    const nametext::IcuLibrary* icu = nametext::icuLibrary();
    ASSERT_NE(icu, nullptr);
    struct SingleByteCase {
        const char* converter;
        std::uint16_t platformID, encodingID;
    };
    for (const SingleByteCase c :
         {SingleByteCase{"macintosh", 1, 0}, SingleByteCase{"ISO-8859-1", 2, 2},
          SingleByteCase{"US-ASCII", 2, 0}}) {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = icu->open(c.converter, &status);
        ASSERT_NE(converter, nullptr) << c.converter;
        icu->setFromUCallBack(converter, icu->fromUCallbackStop, nullptr, nullptr, nullptr,
                              &status);
        for (unsigned byte = 1; byte < 0x100; ++byte) {
            const char in = static_cast<char>(byte);
            UChar out[2] = {};
            status = U_ZERO_ERROR;
            icu->reset(converter);
            const bool read =
                icu->toUChars(converter, out, 2, &in, 1, &status) == 1 && status <= U_ZERO_ERROR;
            const Bytes stored{static_cast<std::uint8_t>(byte)};
            const std::string expected =
                read ? nametext::decode(0, 3, 0,
                                        Bytes{static_cast<std::uint8_t>(out[0] >> 8),
                                              static_cast<std::uint8_t>(out[0])})
                     : "\xEF\xBF\xBD";
            EXPECT_EQ(nametext::decode(c.platformID, c.encodingID, 0, stored), expected)
                << c.converter << " byte " << byte;
        }
        for (char16_t unit = 1; unit < 0xD800; ++unit) {
            char out[4] = {};
            status = U_ZERO_ERROR;
            icu->reset(converter);
            const int32_t length = icu->fromUChars(converter, out, 4, &unit, 1, &status);
            const auto text = nametext::decode(
                0, 3, 0,
                Bytes{static_cast<std::uint8_t>(unit >> 8), static_cast<std::uint8_t>(unit)});
            const auto written = nametext::encode(c.platformID, c.encodingID, 0, text);
            if (status > U_ZERO_ERROR || length != 1) {
                EXPECT_EQ(written, std::nullopt) << c.converter << " U+" << std::hex << +unit;
            } else {
                EXPECT_EQ(written, Bytes{static_cast<std::uint8_t>(out[0])})
                    << c.converter << " U+" << std::hex << +unit;
            }
        }
        icu->close(converter);
    }
}

TEST(NameText, OnlyWellFormedUtf8IsWritten) {
    EXPECT_EQ(nametext::encode(3, 1, 0x409, "\xF0\x9F\x98\x80"), (Bytes{0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(nametext::decode(3, 1, 0x409, Bytes{0xD8, 0x3D, 0xDE, 0x00}), "\xF0\x9F\x98\x80");
    for (const char* bad :
         {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x97", "\x80", "A\xFF"}) {
        EXPECT_EQ(nametext::encode(3, 1, 0x409, bad), std::nullopt) << bad;
    }
}

}  // namespace
