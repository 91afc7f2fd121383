#include "EncodeString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string encode(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID) {
    return GetEncodeString(platformID, encodingID, languageID);
}

TEST(GetEncodeString, NamesEachPlatformsEncodingsAndLanguages) {
    EXPECT_EQ(encode(1, 0, 0), "platform=Macintosh, encode=Roman, lang=English");
    EXPECT_EQ(encode(1, 32, 22), "platform=Macintosh, encode=Uninterp, lang=Thai");
    EXPECT_EQ(encode(1, 8, 18), "platform=Macintosh, encode=RSymbol, lang=Yugoslavian");
    EXPECT_EQ(encode(3, 1, 1033), "platform=Microsft, encode=Unicode, lang=English");
    EXPECT_EQ(encode(3, 1, 2057), encode(3, 1, 1033));
    EXPECT_EQ(encode(3, 1, 6153), encode(3, 1, 1033));
    EXPECT_EQ(encode(3, 1, 1041), "platform=Microsft, encode=Unicode, lang=Japanese");
    EXPECT_EQ(encode(3, 0, 1033), "platform=Microsft, encode=Undefined, lang=English");
    EXPECT_EQ(encode(3, 1, 3082), "platform=Microsft, encode=Unicode, lang=Spanish");
    EXPECT_EQ(encode(3, 1, 1058), "platform=Microsft, encode=Unicode, lang=Ukrainian");
    EXPECT_EQ(encode(2, 1, 7), "platform=ISO, encode=ISO-10646(Unicode), lang=Unknown(7)");
    EXPECT_EQ(encode(2, 2, 0), "platform=ISO, encode=ISO-8859-1, lang=Unknown(0)");
    EXPECT_EQ(encode(0, 3, 0), "platform=AppleUnicode, encode=Unknown(3), lang=Unknown(0)");
}

TEST(GetEncodeString, ShowsUnnamedValuesByNumber) {
    EXPECT_EQ(encode(1, 33, 23), "platform=Macintosh, encode=Unknown(33), lang=Unknown(23)");
    // The ISO encodings have their own spelling of the fallback.
    EXPECT_EQ(encode(2, 5, 0), "platform=ISO, encode=Unkown(5), lang=Unknown(0)");
    EXPECT_EQ(encode(3, 2, 1033), "platform=Microsft, encode=Unknown(2), lang=English");
    for (std::uint16_t unnamed : {1028, 1037, 1042, 2052, 0}) {
        EXPECT_EQ(encode(3, 1, unnamed), "platform=Microsft, encode=Unicode, lang=Unknown(" +
                                             std::to_string(unnamed) + ")");
    }
    EXPECT_EQ(encode(7, 1, 1033), "platform=Unknown(7), encode=Unknown(1), lang=Unknown(1033)");
    const std::string longest = encode(65535, 65535, 65535);
    EXPECT_EQ(longest, "platform=Unknown(65535), encode=Unknown(65535), lang=Unknown(65535)");
    EXPECT_EQ(longest.size(), 67u);
}

}  // namespace
