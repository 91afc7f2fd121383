#include <algorithm>

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "TableDirectory.h"

using namespace testsupport;

namespace {

// Reads `font` as the program does, from a file.
LoadError readDirectory(const Bytes& font, TableDirectory& directory,
                        std::vector<std::uint8_t>& nameTable) {
    TempDir dir;
    writeFileBytes(dir / "font.ttf", font);
    filecore::InputFile input;
    filecore::FileError error;
    if (!input.open((dir / "font.ttf").string(), error)) {
        return LoadError::CannotOpen;
    }
    return directory.read(input, nameTable, error);
}

LoadError readDirectory(const Bytes& font, TableDirectory& directory) {
    std::vector<std::uint8_t> name;
    return readDirectory(font, directory, name);
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
// the file is refused before anything is copied.
TEST(TableDirectoryTest, RefusesWhatIsNotOneWellFormedFont) {
    const Bytes good = buildFont({{"aaaa", patternBytes(8, 1)}, {"head", patternBytes(54, 2)}});
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    for (const std::uint32_t version : {0x74746366u /*ttcf*/, 0x774F4646u /*wOFF*/,
                                        0x774F4632u /*wOF2*/, 0u, 0x3C3F786Du /*<?xm*/}) {
        Bytes other = good;
        setU32(other, 0, version);
        cases.push_back({"not a single font's version", other});
    }
    cases.push_back({"shorter than the offset table", Bytes{0, 1, 0, 0}});
    cases.push_back({"directory cut short", Bytes(good.begin(), good.begin() + 40)});
    for (const auto& [offset, length] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {static_cast<std::uint32_t>(good.size() - 4), 5},
             {44, 0xFFFFFFFF},
             {0xFFFFFFF0, 0x20}}) {
        Bytes outside = good;
        setU32(outside, recordOffset(0) + 8, offset);
        setU32(outside, recordOffset(0) + 12, length);
        cases.push_back({"a table outside the file", outside});
    }
    Bytes overlap = good;
    setU32(overlap, recordOffset(1) + 8, getU32(good, recordOffset(0) + 8) + 4);
    cases.push_back({"tables overlapping", overlap});
    Bytes twice = good;
    setU32(twice, recordOffset(0), getU32(good, recordOffset(1)));
    cases.push_back({"a tag twice", twice});
    Bytes shortHead = good;
    setU32(shortHead, recordOffset(1) + 12, 11);
    cases.push_back({"a head without room for its adjustment", shortHead});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TableDirectory directory;
        EXPECT_EQ(readDirectory(c.bytes, directory), LoadError::Invalid);
    }

    // Empty tables overlap nothing, wherever they point inside the file.
    Bytes empties = buildFont({{"aaaa", patternBytes(8, 1)}, {"bbbb", {}}, {"cccc", {}}});
    setU32(empties, recordOffset(1) + 8, getU32(empties, recordOffset(0) + 8) + 2);
    TableDirectory directory;
    EXPECT_EQ(readDirectory(empties, directory), LoadError::None);
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
