#include "EncodeString.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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
    EXPECT_EQ(encode(0, 3, 0), "platform=AppleUnicode, encode=Unicode 2.0 BMP, lang=Unknown(0)");
    EXPECT_EQ(encode(0, 5, 0),
              "platform=AppleUnicode, encode=Unicode Variation Sequences, lang=Unknown(0)");
    EXPECT_EQ(encode(0, 7, 0), "platform=AppleUnicode, encode=Unknown(7), lang=Unknown(0)");
}

TEST(GetEncodeString, NamesWindowsLanguagesOutsideItsOwnTableWithTheirRegion) {
    const std::pair<std::uint16_t, const char*> languages[] = {
        {1042, "Korean (South Korea)"},
        {1028, "Chinese (Traditional, Taiwan)"},
        {2052, "Chinese (China)"},
        {1037, "Hebrew (Israel)"},
        {1025, "Arabic (Saudi Arabia)"},
        // The table's names win over ICU's, which would add the region.
        {1033, "English"},
        {3082, "Spanish"},
    };
    for (const auto& [id, name] : languages) {
        EXPECT_EQ(encode(3, 1, id), std::string("platform=Microsft, encode=Unicode, lang=") + name);
    }
}

TEST(GetDistinctEncodeString, AddsTheRegionAndTheIdToTheLanguage) {
    const auto distinct = [](std::uint16_t platformID, std::uint16_t languageID) {
        return std::string(GetDistinctEncodeString(platformID, 1, languageID));
    };
    EXPECT_EQ(distinct(3, 1033),
              "platform=Microsft, encode=Unicode, lang=English (United States, 1033)");
    EXPECT_EQ(distinct(3, 2057),
              "platform=Microsft, encode=Unicode, lang=English (United Kingdom, 2057)");
    EXPECT_EQ(distinct(3, 2055),
              "platform=Microsft, encode=Unicode, lang=German (Switzerland, 2055)");
    // ICU's name has the region already: the ID joins it.
    EXPECT_EQ(distinct(3, 1042),
              "platform=Microsft, encode=Unicode, lang=Korean (South Korea, 1042)");
    // A language-only ID has no region, and other platforms have none.
    EXPECT_EQ(distinct(3, 9), "platform=Microsft, encode=Unicode, lang=English (9)");
    EXPECT_EQ(distinct(1, 0), "platform=Macintosh, encode=Japanese, lang=English (0)");
}

TEST(GetEncodeString, ShowsUnnamedValuesByNumber) {
    EXPECT_EQ(encode(1, 33, 23), "platform=Macintosh, encode=Unknown(33), lang=Unknown(23)");
    // The ISO encodings have their own spelling of the fallback.
    EXPECT_EQ(encode(2, 5, 0), "platform=ISO, encode=Unkown(5), lang=Unknown(0)");
    EXPECT_EQ(encode(3, 2, 1033), "platform=Microsft, encode=Unknown(2), lang=English");
    // Neither the table nor ICU knows these.
    for (std::uint16_t unnamed : {0, 65535}) {
        EXPECT_EQ(encode(3, 1, unnamed), "platform=Microsft, encode=Unicode, lang=Unknown(" +
                                             std::to_string(unnamed) + ")");
    }
    EXPECT_EQ(encode(7, 1, 1033), "platform=Unknown(7), encode=Unknown(1), lang=Unknown(1033)");
    const std::string longest = encode(65535, 65535, 65535);
    EXPECT_EQ(longest, "platform=Unknown(65535), encode=Unknown(65535), lang=Unknown(65535)");
    EXPECT_EQ(longest.size(), 67u);
}

}  // namespace
