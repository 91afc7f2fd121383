// Zelvic on real fonts from Debian's font packages, with fontTools and the
// OpenType Sanitizer as independent judges. The fonts and tools are part of
// the test set-up: a missing one fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ZelvicTestSupport.h"

using namespace testsupport;
using namespace zelvictest;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> fontsIn(const std::string& folder) {
    std::vector<std::string> fonts;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".ttf") {
            fonts.push_back(entry.path().string());
        }
    }
    std::sort(fonts.begin(), fonts.end());
    return fonts;
}

std::string quoted(const std::vector<std::string>& words) {
    std::string line;
    for (const auto& word : words) {
        line += " " + shellQuote(word);
    }
    return line;
}

CommandResult zelvic(const TempDir& dir, const std::vector<std::string>& arguments) {
    return runCommand("cd " + shellQuote(dir.path().string()) + " && " +
                      shellQuote(zelvicProgram()) + quoted(arguments) + " 2>&1");
}

CommandResult oracle(const std::string& mode, const std::vector<std::string>& arguments) {
    return runCommand(std::string(FONTTOOLS_PYTHON) + " " +
                      shellQuote(std::string(TEST_SOURCE_DIR) + "/font_oracle.py") + " " + mode +
                      quoted(arguments) + " 2>&1");
}

bool sanitizerAccepts(const std::string& path) {
    return runCommand("ots-sanitize " + shellQuote(path) + " >/dev/null 2>&1").status == 0;
}

std::vector<std::string> numbered(const std::string& base, std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t k = 1; k <= count; ++k) {
        names.push_back(zelvic::outputFontName(base, static_cast<std::uint32_t>(k)));
    }
    return names;
}

// make, break, make again and break again: the second split gives the first
// one's fonts byte for byte (and the sources themselves where they lay in
// directory order and summed right), each split font is its source table for
// table, and fontTools and the sanitizer think of the results what they
// thought of the sources.
void roundTrip(const std::vector<std::string>& sources, bool sourcesComeBack) {
    ASSERT_GE(sources.size(), 2u) << "the font package is missing";
    TempDir dir;
    std::vector<std::string> make{"All.ttc"};
    make.insert(make.end(), sources.begin(), sources.end());
    const auto made = zelvic(dir, make);
    ASSERT_EQ(made.status, 0) << made.output;
    ASSERT_EQ(zelvic(dir, {"All.ttc"}).status, 0);

    const auto split = numbered("All", sources.size());
    std::vector<std::string> again{"Again.ttc"};
    again.insert(again.end(), split.begin(), split.end());
    ASSERT_EQ(zelvic(dir, again).status, 0);
    ASSERT_EQ(zelvic(dir, {"Again.ttc"}).status, 0);
    const auto splitAgain = numbered("Again", sources.size());
    for (std::size_t k = 0; k < sources.size(); ++k) {
        const Bytes font = readFileBytes(dir / split[k]);
        EXPECT_EQ(readFileBytes(dir / splitAgain[k]), font) << split[k];
        if (sourcesComeBack) {
            EXPECT_EQ(font, readFileBytes(sources[k])) << sources[k];
        }
    }

    std::vector<std::string> pairs;
    std::vector<std::string> outputs{(dir / "All.ttc").string()};
    bool allAccepted = true;
    for (std::size_t k = 0; k < sources.size(); ++k) {
        const auto path = (dir / split[k]).string();
        pairs.push_back(path + "=" + sources[k]);
        outputs.push_back(path);
        if (sanitizerAccepts(sources[k])) {
            EXPECT_TRUE(sanitizerAccepts(path)) << path << " from " << sources[k];
        } else {
            allAccepted = false;
        }
    }
    if (allAccepted) {
        EXPECT_TRUE(sanitizerAccepts((dir / "All.ttc").string()));
    }
    const auto same = oracle("same", pairs);
    EXPECT_EQ(same.status, 0) << same.output;
    const auto opened = oracle("open", outputs);
    EXPECT_EQ(opened.status, 0) << opened.output;
}

TEST(RealFonts, DejaVuFamily) {
    roundTrip(fontsIn("/usr/share/fonts/truetype/dejavu"), true);
}

TEST(RealFonts, LiberationBothGenerations) {
    auto fonts = fontsIn("/usr/share/fonts/truetype/liberation");
    const auto second = fontsIn("/usr/share/fonts/truetype/liberation2");
    ASSERT_FALSE(fonts.empty());
    ASSERT_FALSE(second.empty());
    fonts.insert(fonts.end(), second.begin(), second.end());
    // Their tables lie in another order than their directories'.
    roundTrip(fonts, false);
}

// The Noto CJK collections, split by Zelvic once for all cases: tens of MB a
// font, so each is split only once.
class NotoCjk : public ::testing::Test {
  protected:
    static constexpr const char* kFolder = "/usr/share/fonts/opentype/noto/";
    static inline const std::vector<std::string> kCollections{
        "NotoSansCJK-Regular", "NotoSansCJK-Bold", "NotoSerifCJK-Regular", "NotoSerifCJK-Bold"};

    static void SetUpTestSuite() {
        dir = std::make_unique<TempDir>();
        for (std::size_t i = 0; i < kCollections.size(); ++i) {
            const auto source = std::string(kFolder) + kCollections[i] + ".ttc";
            const auto link = "c" + std::to_string(i) + ".ttc";
            fs::create_symlink(source, dir->path() / link);
            splitStatus.push_back(zelvic(*dir, {link}).status);
        }
    }
    static void TearDownTestSuite() { dir.reset(); }

    static std::vector<std::string> membersOf(std::size_t collection) {
        std::vector<std::string> members;
        for (std::uint32_t k = 1;
             fs::exists(dir->path() / zelvic::outputFontName("c" + std::to_string(collection), k));
             ++k) {
            members.push_back(zelvic::outputFontName("c" + std::to_string(collection), k));
        }
        return members;
    }

    static inline std::unique_ptr<TempDir> dir;
    static inline std::vector<int> splitStatus;
};

TEST_F(NotoCjk, MembersMakeACollectionThatSharesTheirGlyphsAndSplitsBackTheSame) {
    ASSERT_EQ(splitStatus, (std::vector<int>{0, 0, 0, 0})) << "fonts-noto-cjk is missing";
    const auto members = membersOf(0);
    ASSERT_EQ(members.size(), 10u);
    std::vector<std::string> pairs;
    for (std::size_t k = 0; k < members.size(); ++k) {
        pairs.push_back((dir->path() / members[k]).string() + "=" + kFolder + kCollections[0] +
                        ".ttc#" + std::to_string(k));
    }
    const auto same = oracle("same", pairs);
    EXPECT_EQ(same.status, 0) << same.output;

    std::vector<std::string> make{"Sans.ttc"};
    make.insert(make.end(), members.begin(), members.end());
    const auto made = zelvic(*dir, make);
    ASSERT_EQ(made.status, 0) << made.output;
    // The outlines are stored once, not ten times.
    EXPECT_LT(fs::file_size(dir->path() / "Sans.ttc"),
              fs::file_size(std::string(kFolder) + kCollections[0] + ".ttc") * 11 / 10);
    ASSERT_EQ(zelvic(*dir, {"Sans.ttc"}).status, 0);
    for (std::size_t k = 0; k < members.size(); ++k) {
        EXPECT_EQ(readFileBytes(dir->path() / zelvic::outputFontName("Sans", k + 1)),
                  readFileBytes(dir->path() / members[k]));
    }
    EXPECT_TRUE(sanitizerAccepts((dir->path() / "Sans.ttc").string()));
    const auto opened = oracle("open", {(dir->path() / "Sans.ttc").string()});
    EXPECT_EQ(opened.status, 0) << opened.output;
}

// Their 'BASE' tables all have the same checksum and length but different
// bytes: each Japanese member must keep its own.
TEST_F(NotoCjk, JapaneseMembersKeepTheirOwnBaseTables) {
    ASSERT_EQ(splitStatus, (std::vector<int>{0, 0, 0, 0})) << "fonts-noto-cjk is missing";
    std::vector<std::string> make{"Japanese.ttc"};
    for (std::size_t i = 0; i < kCollections.size(); ++i) {
        make.push_back(membersOf(i).front());
    }
    const auto made = zelvic(*dir, make);
    ASSERT_EQ(made.status, 0) << made.output;
    std::size_t uniqueBase = 0;
    for (std::size_t at = made.output.find("BASE("); at != std::string::npos;
         at = made.output.find("BASE(", at + 1)) {
        uniqueBase += made.output.compare(at, 13, "BASE(unique)\t") == 0 ? 1 : 0;
    }
    EXPECT_EQ(uniqueBase, 4u) << made.output;

    ASSERT_EQ(zelvic(*dir, {"Japanese.ttc"}).status, 0);
    std::vector<std::string> pairs;
    for (std::size_t i = 0; i < kCollections.size(); ++i) {
        pairs.push_back((dir->path() / zelvic::outputFontName("Japanese", i + 1)).string() + "=" +
                        kFolder + kCollections[i] + ".ttc#0");
    }
    const auto same = oracle("same", pairs);
    EXPECT_EQ(same.status, 0) << same.output;
    const auto opened = oracle("open", {(dir->path() / "Japanese.ttc").string()});
    EXPECT_EQ(opened.status, 0) << opened.output;
}

}  // namespace
