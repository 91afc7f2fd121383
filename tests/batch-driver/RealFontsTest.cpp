// AllZelvic on real fonts whose names a command interpreter would split or
// run: they must reach Zelvic unchanged, in case-insensitive order.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"

using namespace testsupport;

namespace {

TEST(AllZelvicRealFonts, NamesWithBlanksAndSemicolonsReachZelvicUnchanged) {
    const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
    const std::vector<std::pair<std::string, std::string>> fonts{
        {"DejaVuSans.ttf", "b sans; touch pwned.ttf"},
        {"DejaVuSerif.ttf", "A serif $(touch pwned).ttf"},
        {"DejaVuSansMono.ttf", "c&mono.TTF"}};
    TempDir dir;
    for (const auto& [source, name] : fonts) {
        ASSERT_TRUE(std::filesystem::exists(dejavu + source)) << "fonts-dejavu-core is missing";
        std::filesystem::copy_file(dejavu + source, dir / name);
    }
    const std::string bin = std::string(PROJECT_BINARY_DIR) + "/bin/";
    const auto batch = runCommand("cd " + shellQuote(dir.path().string()) + " && " +
                                  shellQuote(bin + "AllZelvic") + " 2>&1");
    ASSERT_EQ(batch.status, 0) << batch.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned.ttf"));

    const auto direct =
        runCommand("cd " + shellQuote(dir.path().string()) + " && " + shellQuote(bin + "Zelvic") +
                   " Direct.ttc " + shellQuote(fonts[1].second) + " " +
                   shellQuote(fonts[0].second) + " " + shellQuote(fonts[2].second) + " 2>&1");
    ASSERT_EQ(direct.status, 0) << direct.output;
    EXPECT_EQ(readFileBytes(dir / "Fonts.TTC"), readFileBytes(dir / "Direct.ttc"));
}

}  // namespace
