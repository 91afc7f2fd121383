// Real fonts from Debian packages through the model: an unchanged save keeps
// every table and every name's bytes, and a renamed font is accepted by
// fontTools and ots-sanitize, which read the new family name.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "ModelTestSupport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// A table directory record of a file as stored.
struct StoredTable {
    std::string tag;
    Bytes bytes;
};

std::vector<StoredTable> storedTables(const Bytes& font) {
    std::vector<StoredTable> tables;
    const std::size_t numTables = getU16(font, 4);
    for (std::size_t i = 0; i < numTables; ++i) {
        const std::size_t record = recordOffset(i);
        const std::string tag(reinterpret_cast<const char*>(&font[record]), 4);
        tables.push_back({tag, modeltest::tableBytes(font, tag)});
    }
    return tables;
}

class RealFontTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(GetParam()))
            << GetParam() << " is missing; scripts/test.sh installs it";
        fs::copy_file(GetParam(), copy);
        original = readFileBytes(copy);
        ASSERT_TRUE(loadFont(copy.c_str(), font.directory, font.names));
    }

    TempDir dir;
    fs::path copy = dir / "font.ttf";
    Bytes original;
    modeltest::LoadedFont font;
};

TEST_P(RealFontTest, UnchangedSaveKeepsEveryTableAndName) {
    ASSERT_TRUE(saveFont(copy.c_str(), font.directory, font.names));
    const Bytes saved = readFileBytes(copy);
    const auto before = storedTables(original);
    const auto after = storedTables(saved);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].tag, before[i].tag);
        if (before[i].tag == "name") {
            EXPECT_EQ(modeltest::storedNames(after[i].bytes),
                      modeltest::storedNames(before[i].bytes));
        } else {
            EXPECT_TRUE(after[i].bytes == before[i].bytes) << before[i].tag << " changed";
        }
    }
}

TEST_P(RealFontTest, RenamedFontIsAcceptedByIndependentReaders) {
    std::set<const NameRecord*> families;
    for (NameRecord* record = font.names.first(); record != nullptr; record = font.names.next()) {
        if (record->nameID == 1) {
            record->text =
                "Kestrin Test \xC3\x89"
                "dition";
            families.insert(record);
        }
    }
    ASSERT_FALSE(families.empty());
    ASSERT_TRUE(saveFont(copy.c_str(), font.directory, font.names));

    const std::string check = std::string(FONTTOOLS_PYTHON) + " " +
                              shellQuote(std::string(TEST_SOURCE_DIR) + "/check_font.py") + " " +
                              shellQuote(copy.string()) + " " + shellQuote(GetParam()) +
                              " 'Kestrin Test \xC3\x89"
                              "dition' 2>&1";
    const CommandResult fontTools = runCommand(check);
    EXPECT_EQ(fontTools.status, 0) << fontTools.output;

    const CommandResult ots = runCommand("ots-sanitize " + shellQuote(copy.string()) + " 2>&1");
    EXPECT_EQ(ots.status, 0) << ots.output;
}

INSTANTIATE_TEST_SUITE_P(
    DebianFonts, RealFontTest,
    ::testing::Values("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                      "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                      "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"));

}  // namespace
