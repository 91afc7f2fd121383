#include <algorithm>

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "TableDirectory.h"

using namespace testsupport;

namespace {

// Reads `font` as the program does, from a file.
LoadError readDirectory(const Bytes& font, TableDirectory& directory,
                        std::vector<std::uint8_t>& nameTable, std::string* problem = nullptr) {
    TempDir dir;
    writeFileBytes(dir / "font.ttf", font);
    filecore::InputFile input;
    filecore::FileError error;
    if (!input.open((dir / "font.ttf").string(), error)) {
        return LoadError::CannotOpen;
    }
    filecore::SfntError sfntError;
    const LoadError result = directory.read(input, nameTable, sfntError);
    if (problem != nullptr) {
        *problem = sfntError.problem;
    }
    return result;
}

LoadError readDirectory(const Bytes& font, TableDirectory& directory,
                        std::string* problem = nullptr) {
    std::vector<std::uint8_t> name;
    return readDirectory(font, directory, name, problem);
}

TEST(TableDirectoryTest, ReadsOnlyTheNamesAndPointsAtEveryTable) {
    const Bytes name = buildNameTable({});
    const Bytes font = buildFont(
        {{"abcd", bytesOf("1234")}, {"name", name}, {"zero", {}}, {"efgh", bytesOf("56")}},
        0x4F54544F);
    TableDirectory directory;
    std::vector<std::uint8_t> nameTable;
    ASSERT_EQ(readDirectory(font, directory, nameTable), LoadError::None);
    EXPECT_EQ(Bytes(nameTable.begin(), nameTable.end()), name);
    EXPECT_EQ(directory.sfntVersion, 0x4F54544Fu);
    ASSERT_EQ(directory.tables.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(directory.tables[i]->offset, getU32(font, recordOffset(i) + 8)) << i;
        EXPECT_EQ(directory.tables[i]->length, getU32(font, recordOffset(i) + 12)) << i;
    }
    ASSERT_NE(directory.source, nullptr);
    EXPECT_EQ(directory.source->size, font.size());
    EXPECT_EQ(directory.first(), directory.tables.front().get());
    directory.next();
    directory.next();
    EXPECT_EQ(directory.next(), directory.tables.back().get());
    EXPECT_EQ(directory.next(), nullptr);
    EXPECT_EQ(directory.next(), nullptr);
    EXPECT_EQ(directory.find("efgh"), directory.tables.back().get());
    EXPECT_EQ(directory.find("EFGH"), nullptr);
}

// Everything but one TrueType or OpenType font whose tables lie apart inside
// the file is refused before anything is copied, with the part at fault.
TEST(TableDirectoryTest, RefusesWhatIsNotOneWellFormedFont) {
    const Bytes good = buildFont({{"aaaa", patternBytes(8, 1)}, {"head", patternBytes(54, 2)}});
    struct Case {
        Bytes bytes;
        std::string problem;
    };
    std::vector<Case> cases;
    for (const auto& [version, problem] : std::vector<std::pair<std::uint32_t, std::string>>{
             {0x74746366u /*ttcf*/, "is a TrueType Collection, not a single font"},
             {0x774F4646u /*wOFF*/, "this is a WOFF web font, not a TrueType or OpenType font"},
             {0x774F4632u /*wOF2*/, "this is a WOFF2 web font, not a TrueType or OpenType font"},
             {0u, "not a TrueType or OpenType font"},
             {0x3C3F786Du /*<?xm*/, "not a TrueType or OpenType font"}}) {
        Bytes other = good;
        setU32(other, 0, version);
        cases.push_back({other, problem});
    }
    cases.push_back({Bytes{0, 1, 0, 0}, "too short to be a font"});
    cases.push_back({Bytes{'w', 'O', 'F', '2', 0},
                     "this is a WOFF2 web font, not a TrueType or OpenType font"});
    cases.push_back({Bytes(good.begin(), good.begin() + 40),
                     "the table directory (2 tables) runs past the end of the file"});
    Bytes noTables = buildFont({});
    cases.push_back({noTables, "the font has no tables"});
    for (const auto& [offset, length] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {static_cast<std::uint32_t>(good.size() - 4), 5},
             {44, 0xFFFFFFFF},
             {0xFFFFFFF0, 0x20}}) {
        Bytes outside = good;
        setU32(outside, recordOffset(0) + 8, offset);
        setU32(outside, recordOffset(0) + 12, length);
        cases.push_back({outside, "table 'aaaa' runs past the end of the file"});
    }
    Bytes overlap = good;
    setU32(overlap, recordOffset(1) + 8, getU32(good, recordOffset(0) + 8) + 4);
    cases.push_back({overlap, "tables 'aaaa' and 'head' overlap"});
    for (const char* tag : {"head", "name"}) {
        Bytes twice = buildFont({{"aaaa", patternBytes(54, 1)}, {tag, buildNameTable({{}})}});
        setU32(twice, recordOffset(0), getU32(twice, recordOffset(1)));
        cases.push_back({twice, std::string("the font has two '") + tag + "' tables"});
    }
    Bytes shortHead = good;
    setU32(shortHead, recordOffset(1) + 12, 11);
    cases.push_back({shortHead, "table 'head' is too short to hold its checksum adjustment"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        TableDirectory directory;
        std::string problem;
        EXPECT_EQ(readDirectory(c.bytes, directory, &problem), LoadError::Invalid);
        EXPECT_EQ(problem, c.problem);
    }

    // Empty tables overlap nothing, wherever they point inside the file; a
    // tag other than 'head' and 'name' may stand twice (fonts with two
    // 'DSIG' tables exist); Apple's Type 1 sfnt is a font like the others.
    Bytes accepted = buildFont({{"aaaa", patternBytes(8, 1)},
                                {"bbbb", {}},
                                {"cccc", {}},
                                {"DSIG", patternBytes(8, 3)},
                                {"DSIG", patternBytes(8, 4)}},
                               0x74797031 /*typ1*/);
    setU32(accepted, recordOffset(1) + 8, getU32(accepted, recordOffset(0) + 8) + 2);
    TableDirectory directory;
    ASSERT_EQ(readDirectory(accepted, directory), LoadError::None);
    EXPECT_EQ(directory.tables.size(), 5u);
}

TEST(DirectoryEntryTag, MatchesAllFourBytesExactly) {
    DirectoryEntry entry;
    entry.tag = filecore::Tag("name");
    EXPECT_TRUE(entry.hasTag("name"));
    entry.tag = filecore::Tag("NAME");
    EXPECT_FALSE(entry.hasTag("name"));
    EXPECT_FALSE(entry.hasTag("nam"));
}

}  // namespace
