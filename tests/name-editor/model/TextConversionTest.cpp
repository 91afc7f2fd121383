#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TextConversion.h"

namespace {

std::u16string toWide(const std::string& text) {
    const int size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(size), u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                  size),
              size);
    return out;
}

std::string toNarrow(const std::u16string& text, int* usedDefault = nullptr) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        ADD_FAILURE() << "no size for the conversion";
        return {};
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                  size, nullptr, usedDefault),
              size);
    return out;
}

TEST(TextConversion, RoundTripsEveryPlane) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    EXPECT_EQ(toWide(text), u"A\u00E9\u20AC\U0001F600");
    EXPECT_EQ(toNarrow(toWide(text)), text);
}

TEST(TextConversion, IllFormedInputBecomesReplacementCharacters) {
    EXPECT_EQ(toWide("\xFF"), u"\uFFFD");
    EXPECT_EQ(toWide("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong '/'
    EXPECT_EQ(toWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(toWide("a\xE2\x82"), u"a\uFFFD\uFFFD");          // cut short
    int usedDefault = 0;
    EXPECT_EQ(toNarrow(u"\xD800"
                       "b",
                       &usedDefault),
              "\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(usedDefault, 1);
    EXPECT_EQ(toNarrow(std::u16string(1, u'\xDC00') + u"\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    toNarrow(u"ok", &usedDefault);
    EXPECT_EQ(usedDefault, 0);
}

TEST(TextConversion, KeepsTheTwoCallProtocol) {
    const char* text = "h\xC3\xA9llo";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 6);  // with the terminator
    char16_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 2), 0);
    char16_t room[6];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, room, 6), 6);
    EXPECT_EQ(room[5], u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, 0, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, nullptr, 0), 0);

    const char16_t wide[] = u"\u00E9";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr), 3);
    char narrow[2];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 1, narrow, 1, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 1, narrow, 2, nullptr, nullptr), 2);
}

}  // namespace
