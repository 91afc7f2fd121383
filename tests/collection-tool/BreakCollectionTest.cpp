#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "ZelvicTestSupport.h"

using namespace testsupport;
using namespace zelvictest;

namespace {

TEST(BreakNaming, CutsAtTheFirstDotOnlyAndKeepsEveryDigit) {
    EXPECT_EQ(zelvic::baseNameOf("Fonts.TTC"), "Fonts");
    EXPECT_EQ(zelvic::baseNameOf("my.fonts.ttc"), "my");
    EXPECT_EQ(zelvic::baseNameOf("../x.ttc"), "../x");
    EXPECT_EQ(zelvic::baseNameOf("./fonts.ttc"), "./fonts");
    EXPECT_EQ(zelvic::baseNameOf("v1.0/sub/fonts.ttc"), "v1.0/sub/fonts");
    EXPECT_EQ(zelvic::baseNameOf("v1.0/.ttc"), "v1.0/");
    EXPECT_EQ(zelvic::baseNameOf("FONTS"), "FONTS");
    EXPECT_EQ(zelvic::baseNameOf("/srv/fonts/a.ttc"), "/srv/fonts/a");
    EXPECT_EQ(zelvic::baseNameOf("Schrift\xC3\xA4rten \xE6\x9B\xB8.ttc"),
              "Schrift\xC3\xA4rten \xE6\x9B\xB8");
    EXPECT_EQ(zelvic::outputFontName("Fonts", 1), "Fonts001.TTF");
    EXPECT_EQ(zelvic::outputFontName("", 42), "042.TTF");
    EXPECT_EQ(zelvic::outputFontName("Fonts", 1000), "Fonts1000.TTF");
    EXPECT_EQ(zelvic::outputFontName(std::string(300, 'n'), 7), std::string(300, 'n') + "007.TTF");
}

class BreakCollection : public ::testing::Test {
  protected:
    // Makes "Fonts.TTC" in the scratch folder from the given fonts.
    void makeFrom(const std::vector<Bytes>& fonts) {
        std::vector<std::string> names;
        for (std::size_t k = 0; k < fonts.size(); ++k) {
            names.push_back("in" + std::to_string(k) + ".ttf");
            writeFileBytes(dir / names.back(), fonts[k]);
        }
        ASSERT_EQ(runMake("Fonts.TTC", names).status, 0);
        for (const auto& name : names) {
            std::filesystem::remove(dir / name);
        }
    }

    TempDir dir;
    InFolder inFolder{dir.path()};
};

TEST_F(BreakCollection, WritesEveryFontWholeUnderItsNumberedName) {
    const TestTable shared{"glyf", patternBytes(30, 4)};
    const std::vector<Bytes> fonts{summedRight(buildFont({shared, {"head", patternBytes(54, 1)}})),
                                   summedRight(buildFont({{"head", patternBytes(54, 2)}, shared})),
                                   buildFont(distinctTables(5, 3))};
    makeFrom(fonts);
    const auto result = runBreak("Fonts.TTC");
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, kBanner +
                                 "Font #1: Fonts001.TTF\nFont #2: Fonts002.TTF\n"
                                 "Font #3: Fonts003.TTF\nOk.\n\n");
    // Built fonts are laid out in directory order already and sum right (or
    // have no 'head'), so the split fonts are the very same files.
    for (std::size_t k = 0; k < fonts.size(); ++k) {
        EXPECT_EQ(readFileBytes(dir / ("Fonts00" + std::to_string(k + 1) + ".TTF")), fonts[k]);
    }
}

// A 'head' shared by fonts whose other tables differ, its checksum field
// wrong for both: each split font gets its own checkSumAdjustment and
// nothing else changes.
TEST_F(BreakCollection, EverySplitFontSumsRightWithOnlyItsCheckSumAdjustmentChanged) {
    const TestTable head{"head", patternBytes(54, 7)};
    const std::vector<Bytes> fonts{buildFont({head, {"glyf", patternBytes(30, 1)}}),
                                   buildFont({{"glyf", patternBytes(31, 2)}, head}),
                                   buildFont({{"maxp", patternBytes(6, 3)}, head})};
    makeFrom(fonts);
    ASSERT_EQ(runBreak("Fonts.TTC").status, 0);
    for (std::size_t k = 0; k < fonts.size(); ++k) {
        SCOPED_TRACE(k);
        const Bytes split = readFileBytes(dir / ("Fonts00" + std::to_string(k + 1) + ".TTF"));
        EXPECT_EQ(tableChecksum(split), 0xB1B0AFBAu);
        EXPECT_EQ(split, summedRight(fonts[k]));
    }
    // The same fonts listed last to first: the first font written now shares
    // the 'head' that lies with the last font's tables.
    Bytes reversed = readFileBytes(dir / "Fonts.TTC");
    const std::uint32_t firstOffset = getU32(reversed, 12);
    setU32(reversed, 12, getU32(reversed, 20));
    setU32(reversed, 20, firstOffset);
    writeFileBytes(dir / "Back.ttc", reversed);
    ASSERT_EQ(runBreak("Back.ttc").status, 0);
    for (std::size_t k = 0; k < fonts.size(); ++k) {
        SCOPED_TRACE(k);
        const Bytes split = readFileBytes(dir / ("Back00" + std::to_string(k + 1) + ".TTF"));
        EXPECT_EQ(split, summedRight(fonts[fonts.size() - 1 - k]));
    }
}

// A large table shared by every font, at the same place in each split font,
// and font 2's 'zzzz' pointed at font 1's 'head', which lies at the same
// place in font 1's split with its adjustment set: each split font holds
// the collection's bytes, whichever earlier font they may be copied from.
TEST_F(BreakCollection, SharedTablesKeepTheCollectionsBytesWhereverTheyAreCopiedFrom) {
    const TestTable outlines{"CFF ", patternBytes(70001, 5)};
    const Bytes firstHead = patternBytes(54, 7);
    const std::vector<Bytes> fonts{buildFont({outlines, {"head", firstHead}}),
                                   buildFont({outlines, {"zzzz", firstHead}}),
                                   buildFont({outlines, {"head", patternBytes(54, 8)}})};
    makeFrom(fonts);
    Bytes ttc = readFileBytes(dir / "Fonts.TTC");
    const std::size_t offsetField = recordOffset(1) + 8;
    setU32(ttc, getU32(ttc, 16) + offsetField, getU32(ttc, getU32(ttc, 12) + offsetField));
    writeFileBytes(dir / "Fonts.TTC", ttc);
    ASSERT_EQ(runBreak("Fonts.TTC").status, 0);
    for (std::size_t k = 0; k < fonts.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(readFileBytes(dir / ("Fonts00" + std::to_string(k + 1) + ".TTF")),
                  k == 1 ? fonts[k] : summedRight(fonts[k]));
    }
}

// A collection made elsewhere, its tables one after another with no
// padding from an odd offset on, two of them longer than the reads the sums
// go through: every piece of a table starts at some other alignment. With
// 'head' first, its checkSumAdjustment is set after its bytes were written.
TEST_F(BreakCollection, SumsHoldWhereverTheTablesStartAndEnd) {
    const TestTable head{"head", patternBytes(54, 3)};
    const TestTable first{"aaaa", patternBytes(70001, 1)};
    const TestTable second{"bbbb", patternBytes(131075, 2)};
    for (const auto& tables :
         {std::vector{first, second, head}, std::vector{head, first, second}}) {
        SCOPED_TRACE(tables.front().tag);
        const Bytes font = buildFont(tables);
        const std::size_t directorySize = recordOffset(3);
        Bytes ttc = bytesOf("ttcf");
        putU32(ttc, 0x00010000);
        putU32(ttc, 1);
        putU32(ttc, 16);
        ttc.insert(ttc.end(), font.begin(), font.begin() + directorySize);
        ttc.push_back(0xEE);
        for (std::size_t j = 0; j < 3; ++j) {
            const std::size_t offset = getU32(font, recordOffset(j) + 8);
            const std::size_t length = getU32(font, recordOffset(j) + 12);
            setU32(ttc, 16 + recordOffset(j) + 8, static_cast<std::uint32_t>(ttc.size()));
            ttc.insert(ttc.end(), font.begin() + offset, font.begin() + offset + length);
        }
        writeFileBytes(dir / "odd.ttc", ttc);
        const auto result = runBreak("odd.ttc");
        ASSERT_EQ(result.status, 0) << result.errors;
        const Bytes split = readFileBytes(dir / "odd001.TTF");
        EXPECT_EQ(tableChecksum(split), 0xB1B0AFBAu);
        EXPECT_EQ(split, summedRight(font));
    }
}

TEST_F(BreakCollection, MakeBreakMakeGivesTheSameCollection) {
    makeFrom({buildFont(distinctTables(4, 1)), buildFont(distinctTables(4, 1)),
              buildFont(distinctTables(6, 2))});
    const Bytes first = readFileBytes(dir / "Fonts.TTC");
    ASSERT_EQ(runBreak("Fonts.TTC").status, 0);
    ASSERT_EQ(runMake("Again.ttc", {"Fonts001.TTF", "Fonts002.TTF", "Fonts003.TTF"}).status, 0);
    EXPECT_EQ(readFileBytes(dir / "Again.ttc"), first);
}

TEST_F(BreakCollection, PadsEachTableWithZerosNotWithTheCollectionsNextBytes) {
    // A collection made elsewhere: 'aaaa' of length 5 followed by "PAD",
    // then 'bbbb' as the last table of the file, its padding missing.
    Bytes ttc = bytesOf("ttcf");
    putU32(ttc, 0x00010000);
    putU32(ttc, 1);
    putU32(ttc, 16);
    putU32(ttc, 0x00010000);
    putU16(ttc, 2);
    putU16(ttc, 32);
    putU16(ttc, 1);
    putU16(ttc, 0);
    for (const auto& [tag, offset, length] :
         {std::tuple{"aaaa", 60u, 5u}, std::tuple{"bbbb", 68u, 2u}}) {
        ttc.insert(ttc.end(), tag, tag + 4);
        putU32(ttc, 0);
        putU32(ttc, offset);
        putU32(ttc, length);
    }
    for (char c : std::string("12345PADxy")) {
        ttc.push_back(static_cast<std::uint8_t>(c));
    }
    writeFileBytes(dir / "odd.ttc", ttc);
    const auto result = runBreak("odd.ttc");
    ASSERT_EQ(result.status, 0) << result.errors;
    const Bytes font = readFileBytes(dir / "odd001.TTF");
    ASSERT_EQ(font.size(), 12u + 32 + 8 + 4);
    EXPECT_EQ(getU32(font, 12 + 8), 44u);
    EXPECT_EQ(getU32(font, 28 + 8), 52u);
    EXPECT_EQ(Bytes(font.begin() + 44, font.end()),
              bytesOf(std::string_view("12345\0\0\0xy\0\0", 12)));
}

// The fonts go beside the collection, named after its file alone, and the
// report names them by the path they were written to.
TEST_F(BreakCollection, WritesBesideTheCollectionWhateverDotsItsFoldersHave) {
    makeFrom({buildFont(distinctTables(2, 1)), buildFont(distinctTables(3, 2))});
    std::filesystem::create_directories(dir / "v1.0" / "sub");
    std::filesystem::rename(dir / "Fonts.TTC", dir / "v1.0" / "sub" / "fonts.ttc");
    const auto result = runBreak("v1.0/sub/fonts.ttc");
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, kBanner +
                                 "Font #1: v1.0/sub/fonts001.TTF\n"
                                 "Font #2: v1.0/sub/fonts002.TTF\nOk.\n\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"v1.0"});
    ASSERT_EQ(runBreak("./v1.0/sub/fonts.ttc").status, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "v1.0" / "sub"),
                            std::filesystem::directory_iterator{}),
              3);
}

TEST_F(BreakCollection, HasNoLimitOnFontsOrTables) {
    std::vector<Bytes> fonts;
    for (int k = 0; k < 300; ++k) {
        fonts.push_back(
            buildFont(distinctTables(k == 299 ? 100 : 1, static_cast<std::uint8_t>(k))));
    }
    makeFrom(fonts);
    const auto result = runBreak("Fonts.TTC");
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(readFileBytes(dir / "Fonts300.TTF"), fonts[299]);
    EXPECT_EQ(readFileBytes(dir / "Fonts001.TTF"), fonts[0]);
}

class BreakRefuses : public BreakCollection {
  protected:
    void SetUp() override {
        makeFrom({buildFont(distinctTables(3, 1)), buildFont(distinctTables(2, 8))});
        collection = readFileBytes(dir / "Fonts.TTC");
    }
    // Nothing written, no "Ok.", the problem named.
    void expectRefused(const Bytes& bytes, const std::string& problem) {
        writeFileBytes(dir / "Fonts.TTC", bytes);
        const auto result = runBreak("Fonts.TTC");
        EXPECT_EQ(result.status, -2);
        EXPECT_EQ(result.output, kBanner);
        EXPECT_NE(result.errors.find("Error: Fonts.TTC: " + problem), std::string::npos)
            << result.errors;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"Fonts.TTC"});
    }
    Bytes collection;
};

TEST_F(BreakRefuses, WhatIsNotACollection) {
    expectRefused(buildFont(distinctTables(2, 1)), "not a TrueType Collection");
    expectRefused(bytesOf("ttcf"), "too short");
    std::filesystem::remove(dir / "Fonts.TTC");
    const auto missing = runBreak("Fonts.TTC");
    EXPECT_EQ(missing.status, -2);
    EXPECT_NE(missing.errors.find("Error: Fonts.TTC: cannot open"), std::string::npos);
    std::filesystem::create_directory(dir / "Folder.ttc");
    EXPECT_EQ(runBreak("Folder.ttc").status, -2);
    ASSERT_EQ(::mkfifo((dir / "Pipe.ttc").c_str(), 0644), 0);
    const auto fifo = runBreak("Pipe.ttc");
    EXPECT_EQ(fifo.status, -2);
    EXPECT_EQ(fifo.errors, "Error: Pipe.ttc: cannot open: not a regular file.\n");
}

TEST_F(BreakRefuses, AnythingThatRunsPastTheEndOfTheFile) {
    Bytes manyFonts = collection;
    setU32(manyFonts, 8, 0x40000000);
    expectRefused(manyFonts, "the header names 1073741824 fonts");

    Bytes farFont = collection;
    setU32(farFont, 16, static_cast<std::uint32_t>(collection.size() - 4));
    expectRefused(farFont, "font #2: the offset table runs past the end");

    Bytes manyTables = collection;
    setU16(manyTables, getU32(collection, 16) + 4, 500);
    expectRefused(manyTables, "font #2: the table directory (500 tables) runs past");

    // The second font's last table loses its last bytes: even the first
    // font, which is whole, is not written.
    Bytes truncated = collection;
    const std::size_t lastRecord = getU32(collection, 16) + 12 + 16;
    const std::uint32_t end =
        getU32(collection, lastRecord + 8) + getU32(collection, lastRecord + 12);
    truncated.resize(end - 1);
    expectRefused(truncated, "font #2: table 'tab0' runs past the end");
}

// Every output is checked before the first font is written.
TEST_F(BreakRefuses, AnOutputThatMayNotBeWrittenOrIsAnotherOutputOrTheCollection) {
    struct Case {
        const char* what;
        void (*prepare)(const std::filesystem::path& dir);
        std::string error;
    };
    const Case cases[] = {
        {"a folder", [](const auto& d) { std::filesystem::create_directory(d / "Fonts002.TTF"); },
         "Error: Fonts002.TTF: cannot create: it is a folder.\n"},
        {"read-only",
         [](const auto& d) {
             writeFileBytes(d / "Fonts002.TTF", bytesOf("kept"));
             std::filesystem::permissions(d / "Fonts002.TTF", std::filesystem::perms(0444));
         },
         "Error: Fonts002.TTF: cannot create: Permission denied.\n"},
        {"a link to the first output, not there yet",
         [](const auto& d) { std::filesystem::create_symlink("Fonts001.TTF", d / "Fonts002.TTF"); },
         "Error: Fonts002.TTF: is the same file as Fonts001.TTF; nothing written.\n"},
        {"a link to the first output",
         [](const auto& d) {
             writeFileBytes(d / "Fonts001.TTF", bytesOf("kept"));
             std::filesystem::create_symlink("./Fonts001.TTF", d / "Fonts002.TTF");
         },
         "Error: Fonts002.TTF: is the same file as Fonts001.TTF; nothing written.\n"},
        {"the collection",
         [](const auto& d) {
             std::filesystem::create_hard_link(d / "Fonts.TTC", d / "Fonts002.TTF");
         },
         "Error: Fonts002.TTF: is the collection itself and would be replaced by font #2; nothing "
         "written.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare(dir.path());
        const auto before = dir.entries();
        const auto result = runBreak("Fonts.TTC");
        EXPECT_EQ(result.status, -3);
        EXPECT_EQ(result.output, kBanner);
        EXPECT_EQ(result.errors, c.error);
        EXPECT_EQ(dir.entries(), before);
        EXPECT_EQ(readFileBytes(dir / "Fonts.TTC"), collection);
        for (const auto& name : before) {
            if (name != "Fonts.TTC") {
                std::filesystem::remove_all(dir / name);
            }
        }
    }
}

TEST_F(BreakRefuses, AWriteThatFallsShortLeavingNoPartialFont) {
    makeFrom({buildFont({{"glyf", patternBytes(20000, 1)}}),
              buildFont({{"glyf", patternBytes(200000, 2)}})});
    const auto command =
        "trap '' XFSZ; ulimit -f 64; exec " + shellQuote(zelvicProgram()) + " Fonts.TTC 2>&1";
    const auto result =
        runCommand("cd " + shellQuote(dir.path().string()) + " && sh -c " + shellQuote(command));
    EXPECT_EQ(result.status, 253);
    EXPECT_EQ(result.output.find("Ok."), std::string::npos);
    EXPECT_NE(result.output.find("Error: Fonts002.TTF: write error"), std::string::npos)
        << result.output;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"Fonts.TTC", "Fonts001.TTF"}));
}

}  // namespace
