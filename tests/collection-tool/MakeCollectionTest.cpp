#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "ZelvicTestSupport.h"

using namespace testsupport;
using namespace zelvictest;

namespace {

class MakeCollection : public ::testing::Test {
  protected:
    std::string font(const std::string& name, const Bytes& bytes) {
        const auto path = dir / name;
        writeFileBytes(path, bytes);
        return path.string();
    }
    std::string out() const { return (dir / "out.ttc").string(); }

    TempDir dir;
};

TEST_F(MakeCollection, HeaderOffsetTablesAndDataFollowTheFontsInOrder) {
    const auto a = distinctTables(10, 1);
    const auto b = distinctTables(11, 50);
    const auto c = distinctTables(12, 100);
    const auto fonts = std::vector{font("a.ttf", buildFont(a)), font("b.ttf", buildFont(b)),
                                   font("c.ttf", buildFont(c, 0x4F54544F))};
    const auto result = runMake(out(), fonts);
    ASSERT_EQ(result.status, 0) << result.errors;

    const Bytes ttc = readFileBytes(out());
    EXPECT_EQ(Bytes(ttc.begin(), ttc.begin() + 4), bytesOf("ttcf"));
    EXPECT_EQ(getU32(ttc, 4), 0x00010000u);
    EXPECT_EQ(getU32(ttc, 8), 3u);
    EXPECT_EQ(getU32(ttc, 12), 24u);
    EXPECT_EQ(getU32(ttc, 16), 196u);
    EXPECT_EQ(getU32(ttc, 20), 384u);
    EXPECT_EQ(getU32(ttc, 384), 0x4F54544Fu);
    EXPECT_EQ(getU16(ttc, 384 + 4), 12u);
    // The first table of the first font opens the data; every table of every
    // font is where its record says, byte for byte.
    EXPECT_EQ(getU32(ttc, 24 + 12 + 8), 588u);
    const std::vector<std::pair<std::size_t, const std::vector<TestTable>*>> members{
        {24, &a}, {196, &b}, {384, &c}};
    for (const auto& [at, tables] : members) {
        for (std::size_t i = 0; i < tables->size(); ++i) {
            EXPECT_EQ(getU32(ttc, at + 12 + 16 * i + 8) % 4, 0u);
            EXPECT_EQ(tableBytes(ttc, at, i), (*tables)[i].data) << at << " table " << i;
        }
    }
    EXPECT_EQ(ttc.size() % 4, 0u);
}

TEST_F(MakeCollection, TablesAreZeroPaddedToFourBytes) {
    const Bytes first = buildFont({{"aaaa", bytesOf("12345")}, {"bbbb", bytesOf("xyzw")}});
    const Bytes second = buildFont({{"cccc", bytesOf("9")}});
    ASSERT_EQ(runMake(out(), {font("a.ttf", first), font("b.ttf", second)}).status, 0);

    const Bytes ttc = readFileBytes(out());
    const std::size_t dataStart = 20 + 12 + 32 + 12 + 16;
    ASSERT_EQ(getU32(ttc, 20 + 12 + 8), dataStart);
    EXPECT_EQ(Bytes(ttc.begin() + dataStart, ttc.begin() + dataStart + 8),
              (Bytes{'1', '2', '3', '4', '5', 0, 0, 0}));
    EXPECT_EQ(getU32(ttc, 20 + 12 + 16 + 8), dataStart + 8);
    EXPECT_EQ(getU32(ttc, 64 + 12 + 8), dataStart + 12);
    EXPECT_EQ(ttc.size(), dataStart + 16);
    EXPECT_EQ(Bytes(ttc.end() - 4, ttc.end()), (Bytes{'9', 0, 0, 0}));
}

// Tables are stored in the order the font stores them, those that lie
// together copied as one range: never with the font's own padding when it
// isn't zeros, whatever order the directory has.
TEST_F(MakeCollection, TablesComeOutInTheFontsOrderZeroPaddedWhateverItsDirectorySays) {
    const std::vector<TestTable> tables{{"aaaa", patternBytes(5, 1)},
                                        {"bbbb", patternBytes(20001, 2)},
                                        {"cccc", patternBytes(7, 3)},
                                        {"dddd", patternBytes(30000, 4)}};
    Bytes stored = buildFont(tables);
    for (std::size_t at = getU32(stored, recordOffset(0) + 8) + 5; at % 4 != 0; ++at) {
        stored[at] = 'P';
    }
    // 'dddd' before 'cccc' in the directory, 'cccc' first in the file.
    std::swap_ranges(stored.begin() + recordOffset(2), stored.begin() + recordOffset(3),
                     stored.begin() + recordOffset(3));
    const auto a = font("a.ttf", stored);
    const auto result = runMake(out(), {a, font("b.ttf", buildFont(distinctTables(1, 1)))});
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(a + ":\taaaa(unique)\tbbbb(unique)\tdddd(unique)\tcccc(unique)"),
              std::string::npos);

    const Bytes ttc = readFileBytes(out());
    std::size_t position = 12 + 8 + 2 * 12 + 16 * 5;
    for (const std::size_t record : {0, 1, 3, 2}) {
        EXPECT_EQ(getU32(ttc, 20 + recordOffset(record) + 8), position) << record;
        const Bytes table = tableBytes(ttc, 20, record);
        EXPECT_EQ(table, tables[record < 2 ? record : 5 - record].data) << record;
        const std::size_t end = position + table.size();
        position = (end + 3) & ~std::size_t{3};
        EXPECT_EQ(Bytes(ttc.begin() + end, ttc.begin() + position), Bytes(position - end, 0));
    }
}

TEST_F(MakeCollection, IdenticalFontsShareEveryTableAndTheReportSaysSo) {
    const auto tables = distinctTables(3, 7);
    const Bytes bytes = buildFont(tables);
    const auto a = font("a.ttf", bytes);
    const auto b = font("b.ttf", bytes);
    const auto result = runMake(out(), {a, b});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              kBanner + a + ":\tta" + "a0(unique)\ttab0(unique)\ttac0(unique)\t\n\n" + b +
                  ":\ttaa0(shared)\ttab0(shared)\ttac0(shared)\t\n\n" + out() + ":\tOk.\n\n");
    EXPECT_EQ(result.errors, "");

    const Bytes ttc = readFileBytes(out());
    std::size_t data = 0;
    for (const auto& table : tables) {
        data += (table.data.size() + 3) & ~std::size_t{3};
    }
    EXPECT_EQ(ttc.size(), 20 + 2 * (12 + 16 * 3) + data);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(getU32(ttc, 20 + 12 + 16 * i + 8), getU32(ttc, 80 + 12 + 16 * i + 8));
    }
}

TEST_F(MakeCollection, ATableOfAFontTwoPlacesBackIsShared) {
    const TestTable common{"glyf", patternBytes(41, 3)};
    const auto a = font("a.ttf", buildFont({common, {"head", patternBytes(54, 1)}}));
    const auto b = font("b.ttf", buildFont({{"head", patternBytes(54, 2)}}));
    const auto c = font("c.ttf", buildFont({{"head", patternBytes(54, 9)}, common}));
    const auto result = runMake(out(), {a, b, c});
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(c + ":\thead(unique)\tglyf(shared)\t\n\n"), std::string::npos);
    const Bytes ttc = readFileBytes(out());
    EXPECT_EQ(getU32(ttc, getU32(ttc, 20) + 12 + 16 + 8), getU32(ttc, getU32(ttc, 12) + 12 + 8));
}

TEST_F(MakeCollection, TheFirstFontsDuplicatesAreBothStoredAndLaterFontsShareTheFirst) {
    const TestTable twin{"dupe", patternBytes(12, 5)};
    const auto a = font("a.ttf", buildFont({twin, twin}));
    const auto b = font("b.ttf", buildFont({twin}));
    const auto result = runMake(out(), {a, b});
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(a + ":\tdupe(unique)\tdupe(unique)\t\n\n"), std::string::npos);
    const Bytes ttc = readFileBytes(out());
    const std::uint32_t first = getU32(ttc, 20 + 12 + 8);
    EXPECT_EQ(getU32(ttc, 20 + 12 + 16 + 8), first + 12);
    EXPECT_EQ(getU32(ttc, 20 + 44 + 12 + 8), first);
}

TEST_F(MakeCollection, ALaterFontsOwnTablesAreNeverSearched) {
    const TestTable twin{"dupe", patternBytes(12, 5)};
    const auto a = font("a.ttf", buildFont({{"head", patternBytes(8, 1)}}));
    const auto b = font("b.ttf", buildFont({twin, twin}));
    const auto result = runMake(out(), {a, b});
    EXPECT_NE(result.output.find(b + ":\tdupe(unique)\tdupe(unique)\t\n\n"), std::string::npos);
}

// Swapping two 4-byte words keeps the checksum: the records agree in tag,
// length and checksum while the glyphs differ.
Bytes swappedWords(Bytes bytes) {
    std::swap_ranges(bytes.begin(), bytes.begin() + 4, bytes.begin() + 4);
    return bytes;
}

TEST_F(MakeCollection, EqualRecordsWithDifferentBytesAreStoredTwice) {
    const Bytes glyphs = patternBytes(40, 11);
    ASSERT_EQ(tableChecksum(glyphs), tableChecksum(swappedWords(glyphs)));
    const auto a = font("a.ttf", buildFont({{"glyf", glyphs}}));
    const auto b = font("b.ttf", buildFont({{"glyf", swappedWords(glyphs)}}));
    const auto result = runMake(out(), {a, b});
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(b + ":\tglyf(unique)\t"), std::string::npos);
    const Bytes ttc = readFileBytes(out());
    EXPECT_EQ(tableBytes(ttc, 20, 0), glyphs);
    EXPECT_EQ(tableBytes(ttc, 48, 0), swappedWords(glyphs));
}

TEST_F(MakeCollection, AmongSeveralLookalikesTheOneWithEqualBytesIsShared) {
    // Zero checksums, as some tools write them: every 'BASE' has the same key.
    auto withZeroChecksum = [](Bytes bytes) {
        setU32(bytes, 12 + 4, 0);
        return bytes;
    };
    std::vector<std::string> fonts;
    for (std::uint8_t seed = 1; seed <= 3; ++seed) {
        fonts.push_back(font("f" + std::to_string(seed) + ".ttf",
                             withZeroChecksum(buildFont({{"BASE", patternBytes(24, seed)}}))));
    }
    fonts.push_back(font("f4.ttf", withZeroChecksum(buildFont({{"BASE", patternBytes(24, 2)}}))));
    fonts.push_back(font("f5.ttf", withZeroChecksum(buildFont({{"BASE", patternBytes(24, 4)}}))));
    const auto result = runMake(out(), fonts);
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(fonts[3] + ":\tBASE(shared)\t"), std::string::npos);
    EXPECT_NE(result.output.find(fonts[4] + ":\tBASE(unique)\t"), std::string::npos);
    const Bytes ttc = readFileBytes(out());
    EXPECT_EQ(getU32(ttc, getU32(ttc, 24) + 12 + 8), getU32(ttc, getU32(ttc, 16) + 12 + 8));
    EXPECT_EQ(tableBytes(ttc, getU32(ttc, 28), 0), patternBytes(24, 4));
}

// 40,000 tables per font that agree in tag, length and checksum but not in
// bytes: compared pair by pair this took minutes; each is read and hashed
// about once now. The last font repeats the second and shares all of it.
TEST_F(MakeCollection, TensOfThousandsOfLookalikesCostAboutOnePassEach) {
    constexpr std::uint32_t kTables = 40000;
    auto lookalikes = [&](std::uint32_t seed) {
        std::vector<TestTable> tables;
        tables.reserve(kTables);
        for (std::uint32_t i = 0; i < kTables; ++i) {
            Bytes data;
            putU32(data, seed * kTables + i);
            putU32(data, 0x80000000u - (seed * kTables + i));  // the same sum for all
            tables.push_back({"look", data});
        }
        return buildFont(tables);
    };
    const std::vector<std::string> fonts{font("a.ttf", lookalikes(0)), font("b.ttf", lookalikes(1)),
                                         font("c.ttf", lookalikes(2)),
                                         font("d.ttf", lookalikes(1))};
    const auto result = runMake(out(), fonts);
    ASSERT_EQ(result.status, 0) << result.errors;
    const Bytes ttc = readFileBytes(out());
    const std::size_t directories = 4 * (12 + 16 * kTables);
    EXPECT_EQ(ttc.size(), 12 + 16 + directories + 3 * 8 * kTables);
    const std::uint32_t second = getU32(ttc, 16);
    const std::uint32_t fourth = getU32(ttc, 24);
    const Bytes secondFont = lookalikes(1);
    for (std::uint32_t i = 0; i < kTables; i += 997) {
        EXPECT_EQ(getU32(ttc, fourth + 12 + 16 * i + 8), getU32(ttc, second + 12 + 16 * i + 8));
        EXPECT_EQ(tableBytes(ttc, second, i), tableBytes(secondFont, 0, i));
    }
}

#ifndef __SANITIZE_ADDRESS__
// Runs make in a child process under the given limits; its status, or -100
// when it did not exit by itself.
int makeUnderLimits(const std::string& output, const std::vector<std::string>& fonts, rlim_t files,
                    rlim_t addressSpace) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit fileLimit{files, files};
        const rlimit spaceLimit{addressSpace, addressSpace};
        if (::setrlimit(RLIMIT_NOFILE, &fileLimit) != 0 ||
            ::setrlimit(RLIMIT_AS, &spaceLimit) != 0) {
            ::_exit(100);
        }
        std::FILE* null = std::fopen("/dev/null", "w");
        ::_exit(zelvic::makeCollection(output, fonts, zelvic::Console{null, null}) & 0xFF);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -100;
}

// One descriptor at a time and memory for the collection's directories, not
// for its inputs: 1,100 fonts under a limit of 64 open files, 1,100 MB of
// input tables under a 1 GiB address space.
TEST_F(MakeCollection, NeedsNeitherADescriptorNorMemoryPerInputFont) {
    const auto big = font(
        "big.ttf", buildFont({{"glyf", patternBytes(1000000, 1)}, {"head", patternBytes(54, 2)}}));
    const std::vector<std::string> fonts(1100, big);
    ASSERT_EQ(makeUnderLimits(out(), fonts, 64, rlim_t{1} << 30), 0);
    const Bytes ttc = readFileBytes(out());
    EXPECT_EQ(getU32(ttc, 8), 1100u);
    // The large table starts at its offset in the font (44) within a page,
    // after zeros: copies to and from the collection then go page to page.
    const std::size_t directories = 12 + 4 * 1100 + 1100 * (12 + 32);
    const std::size_t glyf = getU32(ttc, getU32(ttc, 12) + 12 + 8);
    EXPECT_EQ(glyf % 4096, 44u);
    EXPECT_LT(glyf - directories, 4096u);
    EXPECT_TRUE(std::all_of(ttc.begin() + static_cast<std::ptrdiff_t>(directories),
                            ttc.begin() + static_cast<std::ptrdiff_t>(glyf),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(ttc.size(), glyf + 1000000 + 56);
}
#endif

TEST_F(MakeCollection, HasNoLimitOnFontsTablesOrSize) {
    std::vector<std::string> fonts;
    for (int k = 0; k < 130; ++k) {
        fonts.push_back(
            font("f" + std::to_string(k) + ".ttf",
                 buildFont(distinctTables(k == 0 ? 200 : 2, static_cast<std::uint8_t>(k)))));
    }
    const auto result = runMake(out(), fonts);
    ASSERT_EQ(result.status, 0) << result.errors;
    const Bytes ttc = readFileBytes(out());
    EXPECT_EQ(getU32(ttc, 8), 130u);
    EXPECT_EQ(getU16(ttc, getU32(ttc, 12) + 4), 200u);
    EXPECT_EQ(tableBytes(ttc, getU32(ttc, 12), 199), distinctTables(200, 0)[199].data);
}

TEST_F(MakeCollection, WritesWhereLinksPointEvenDanglingOnesAndUnderTheLongestNames) {
    writeFileBytes(dir / "real.ttc", bytesOf("ttcf, old"));
    std::filesystem::create_symlink("real.ttc", dir / "link.ttc");
    std::filesystem::create_symlink("new.ttc", dir / "dangling.ttc");
    const std::string longest(251, 'n');
    const auto a = font("a.ttf", buildFont(distinctTables(2, 1)));
    for (const std::string& name :
         std::vector<std::string>{"link.ttc", "dangling.ttc", longest + ".ttc"}) {
        SCOPED_TRACE(name);
        const auto result = runMake((dir / name).string(), {a, a});
        ASSERT_EQ(result.status, 0) << result.errors;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ttc"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.ttc"));
    for (const std::string& name :
         std::vector<std::string>{"real.ttc", "new.ttc", longest + ".ttc"}) {
        EXPECT_EQ(getU32(readFileBytes(dir / name), 8), 2u) << name;
    }
}

TEST_F(MakeCollection, TagsThatCouldDriveATerminalArePrintedAsQuestionMarks) {
    const auto a = font("a.ttf", buildFont({{"\x1b[2J", patternBytes(8, 1)}}));
    const auto result = runMake(out(), {a, a});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.output, kBanner + a + ":\t?[2J(unique)\t\n\n" + a + ":\t?[2J(shared)\t\n\n" +
                                 out() + ":\tOk.\n\n");
}

// Faults: every refusal names the file, writes nothing and leaves an existing
// output as it was.
class MakeRefuses : public MakeCollection {
  protected:
    void SetUp() override {
        good = font("good.ttf", buildFont(distinctTables(3, 1)));
        writeFileBytes(out(), bytesOf("previous"));
    }
    void expectRefused(const RunResult& result, int status, const std::string& file,
                       const std::string& problem) {
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.output, kBanner);
        EXPECT_NE(result.errors.find("Error: " + file + ": "), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find(problem), std::string::npos) << result.errors;
        EXPECT_EQ(readFileBytes(out()), bytesOf("previous"));
        EXPECT_EQ(dir.entries().size(), std::filesystem::exists(dir / "bad.ttf") ? 3u : 2u);
    }
    std::string good;
};

TEST_F(MakeRefuses, AMissingFontAFolderOrAFifo) {
    expectRefused(runMake(out(), {good, (dir / "none.ttf").string()}), -2,
                  (dir / "none.ttf").string(), "cannot open");
    std::filesystem::create_directory(dir / "bad.ttf");
    expectRefused(runMake(out(), {good, (dir / "bad.ttf").string()}), -2,
                  (dir / "bad.ttf").string(), "folder");
    // Nobody writes to it: opening it must not wait for a writer.
    std::filesystem::remove(dir / "bad.ttf");
    ASSERT_EQ(::mkfifo((dir / "bad.ttf").c_str(), 0644), 0);
    expectRefused(runMake(out(), {good, (dir / "bad.ttf").string()}), -2,
                  (dir / "bad.ttf").string(), "cannot open: not a regular file");
}

TEST_F(MakeRefuses, TablesOrDirectoriesThatRunPastTheEndOfTheFile) {
    Bytes truncated = buildFont({{"head", patternBytes(54, 1)}, {"glyf", patternBytes(100, 2)}});
    truncated.erase(truncated.end() - 8, truncated.end());
    const auto bad = font("bad.ttf", truncated);
    expectRefused(runMake(out(), {good, bad}), -2, bad, "table 'glyf' runs past the end");

    Bytes lying = buildFont({{"head", patternBytes(54, 1)}});
    setU16(lying, 4, 9);
    font("bad.ttf", lying);
    expectRefused(runMake(out(), {good, bad}), -2, bad, "table directory (9 tables) runs past");

    font("bad.ttf", Bytes{0, 1, 0, 0, 0});
    expectRefused(runMake(out(), {good, bad}), -2, bad, "too short");

    Bytes hostile = buildFont({{"head", patternBytes(54, 1)}});
    setU32(hostile, 12 + 8, 0xFFFFFFF0);
    font("bad.ttf", hostile);
    expectRefused(runMake(out(), {good, bad}), -2, bad, "table 'head' runs past the end");
}

TEST_F(MakeRefuses, OverlappingTables) {
    Bytes overlap = buildFont({{"aaaa", patternBytes(16, 1)}, {"bbbb", patternBytes(16, 2)}});
    setU32(overlap, 12 + 16 + 8, getU32(overlap, 12 + 8) + 8);
    const auto bad = font("bad.ttf", overlap);
    expectRefused(runMake(out(), {good, bad}), -2, bad, "tables 'aaaa' and 'bbbb' overlap");
}

TEST_F(MakeRefuses, ACollectionAWebFontOrAFontWithoutTablesGivenAsAFont) {
    ASSERT_EQ(runMake((dir / "c.ttc").string(), {good, good}).status, 0);
    std::filesystem::rename(dir / "c.ttc", dir / "bad.ttf");
    const auto bad = (dir / "bad.ttf").string();
    expectRefused(runMake(out(), {good, bad}), -2, bad, "is a TrueType Collection");
    font("bad.ttf", bytesOf("wOFF and some more bytes"));
    expectRefused(runMake(out(), {bad, good}), -2, bad,
                  "this is a WOFF web font, not a TrueType or OpenType font");
    font("bad.ttf", bytesOf("\x7F\x45LF and some more bytes"));
    expectRefused(runMake(out(), {bad, good}), -2, bad, "not a TrueType or OpenType font");
    font("bad.ttf", buildFont({}));
    expectRefused(runMake(out(), {good, bad}), -2, bad, "the font has no tables");
}

TEST_F(MakeRefuses, AnOutputThatIsOneOfItsInputsWhateverTheSpelling) {
    const Bytes original = readFileBytes(good);
    const auto other = font("other.ttf", buildFont(distinctTables(2, 9)));
    const auto respelled = (dir / "." / "good.ttf").string();
    const auto result = runMake(respelled, {other, good});
    EXPECT_EQ(result.status, -3);
    EXPECT_EQ(result.output, kBanner);
    EXPECT_NE(result.errors.find("is the same file as the input " + good), std::string::npos);
    EXPECT_EQ(readFileBytes(good), original);

    std::filesystem::create_hard_link(good, dir / "link.ttc");
    EXPECT_EQ(runMake((dir / "link.ttc").string(), {other, good}).status, -3);
    EXPECT_EQ(readFileBytes(good), original);
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"good.ttf", "link.ttc", "other.ttf", "out.ttc"}));
}

// The output name forgotten ("Zelvic a.ttf b.ttf c.ttf"): whatever is not a
// collection stays as it was; a collection (AllZelvic run twice) or an empty
// file is replaced.
TEST_F(MakeRefuses, AnExistingFileThatIsNotACollection) {
    const auto other = font("other.ttf", buildFont(distinctTables(2, 9)));
    const std::vector<std::pair<Bytes, std::string>> cases{
        {buildFont(distinctTables(2, 5)), "is a font, not a TrueType Collection: "},
        {bytesOf("wOF2 and more"), "is not a TrueType Collection: "},
        {bytesOf("tt"), "is not a TrueType Collection: "},
    };
    for (const auto& [content, problem] : cases) {
        SCOPED_TRACE(problem);
        writeFileBytes(out(), content);
        const auto result = runMake(out(), {good, other});
        EXPECT_EQ(result.status, -3);
        EXPECT_EQ(result.errors, "Error: " + out() + ": " + problem +
                                     "a collection is written only over a collection or under "
                                     "a new name; nothing written.\n");
        EXPECT_EQ(readFileBytes(out()), content);
    }
    for (const Bytes& replaced : {Bytes{}, bytesOf("ttcf")}) {
        writeFileBytes(out(), replaced);
        ASSERT_EQ(runMake(out(), {good, other}).status, 0);
        EXPECT_EQ(getU32(readFileBytes(out()), 8), 2u);
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"good.ttf", "other.ttf", "out.ttc"}));
}

// Checked with the fonts, before a byte is written: only the banner and
// the reason appear, and whatever was there stays as it was.
TEST_F(MakeRefuses, AnOutputThatMayNotBeReplaced) {
    const auto other = font("other.ttf", buildFont(distinctTables(1, 9)));
    std::filesystem::create_directory(dir / "folder.ttc");
    writeFileBytes(dir / "readonly.ttc", bytesOf("kept"));
    std::filesystem::permissions(dir / "readonly.ttc", std::filesystem::perms(0444));
    ASSERT_EQ(::mkfifo((dir / "pipe.ttc").c_str(), 0644), 0);
    std::filesystem::create_symlink("loop.ttc", dir / "loop.ttc");
    const auto before = dir.entries();
    const std::vector<std::pair<std::string, std::string>> cases{
        {"no-such-folder/x.ttc", "cannot create: No such file or directory"},
        {"folder.ttc", "cannot create: it is a folder"},
        {"readonly.ttc", "cannot create: Permission denied"},
        {"pipe.ttc", "cannot create: not a regular file"},
        {"loop.ttc", "cannot create: Too many levels of symbolic links"},
    };
    for (const auto& [name, problem] : cases) {
        SCOPED_TRACE(name);
        const auto output = (dir / name).string();
        const auto result = runMake(output, {good, other});
        EXPECT_EQ(result.status, -3);
        EXPECT_EQ(result.output, kBanner);
        EXPECT_EQ(result.errors, "Error: " + output + ": " + problem + ".\n");
    }
    EXPECT_EQ(dir.entries(), before);
    EXPECT_EQ(readFileBytes(dir / "readonly.ttc"), bytesOf("kept"));
}

TEST_F(MakeRefuses, ACollectionPastFourGiBBeforeReadingAnyTable) {
    // Sparse files: three tables of 1.5 GiB each, whose offsets can't all be
    // held in 32 bits.
    std::vector<std::string> fonts;
    for (std::uint32_t k = 0; k < 3; ++k) {
        Bytes head = buildFont({{"glyf", {}}});
        setU32(head, 12 + 4, k);
        setU32(head, 12 + 8, 28);
        setU32(head, 12 + 12, 0x60000000);
        const auto path = font("huge" + std::to_string(k) + ".ttf", head);
        std::filesystem::resize_file(path, 28 + 0x60000000ull);
        fonts.push_back(path);
    }
    const auto result = runMake(out(), fonts);
    EXPECT_EQ(result.status, -3);
    EXPECT_NE(result.errors.find(out() + ": the collection would be larger than 4 GiB"),
              std::string::npos);
    EXPECT_EQ(readFileBytes(out()), bytesOf("previous"));
}

TEST_F(MakeRefuses, AWriteThatFallsShortLeavingNoFileBehind) {
    // A file size limit makes the write fail as a full disk would.
    const auto big = font("big.ttf", buildFont({{"glyf", patternBytes(200000, 3)}}));
    std::filesystem::remove(out());
    const auto command = "trap '' XFSZ; ulimit -f 64; exec " + shellQuote(zelvicProgram()) + " " +
                         shellQuote(out()) + " " + shellQuote(good) + " " + shellQuote(big) +
                         " 2>&1";
    const auto result = runCommand("sh -c " + shellQuote(command));
    EXPECT_EQ(result.status, 253);
    EXPECT_EQ(result.output.find("Ok."), std::string::npos);
    EXPECT_NE(result.output.find("Error: " + out() + ": write error"), std::string::npos)
        << result.output;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.ttf", "good.ttf"}));
}

}  // namespace
