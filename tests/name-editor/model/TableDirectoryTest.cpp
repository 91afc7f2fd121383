#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "TableDirectory.h"

using namespace testsupport;

namespace {

class TableDirectoryTest : public ::testing::Test {
  protected:
    // Opens `bytes` as a font file for reading.
    FontFile& openBytes(const Bytes& bytes) {
        writeFileBytes(dir / "in.ttf", bytes);
        EXPECT_TRUE(file.open((dir / "in.ttf").c_str(), "rb"));
        return file;
    }

    TempDir dir;
    FontFile file;
};

TEST_F(TableDirectoryTest, HeaderFieldsComeBackAsReadEvenWhenWrong) {
    Bytes font = buildFont({{"abcd", bytesOf("1234")}, {"efgh", bytesOf("56")}}, 0x4F54544F);
    setU16(font, 6, 0xBEEF);  // searchRange, entrySelector, rangeShift all wrong
    setU16(font, 8, 0x1234);
    setU16(font, 10, 0xFFFF);
    TableDirectory directory;
    ASSERT_TRUE(directory.read(openBytes(font)));
    ASSERT_EQ(directory.tables.size(), 2u);

    FontFile out;
    ASSERT_TRUE(out.open((dir / "out.ttf").c_str(), "wb"));
    ASSERT_TRUE(directory.write(out));
    out.close();
    const Bytes written = readFileBytes(dir / "out.ttf");
    EXPECT_EQ(written, Bytes(font.begin(), font.begin() + 12 + 32));
}

TEST_F(TableDirectoryTest, ShortFilesKeepOnlyCompleteRecords) {
    TableDirectory tooShort;
    EXPECT_FALSE(tooShort.read(openBytes(Bytes{0, 1, 0, 0, 0, 3, 0, 0, 0})));
    EXPECT_TRUE(tooShort.tables.empty());

    Bytes font = buildFont({{"aaaa", {}}, {"bbbb", {}}, {"cccc", {}}});
    font.resize(recordOffset(2) + 7);  // ends inside the third record
    TableDirectory cut;
    EXPECT_FALSE(cut.read(openBytes(font)));
    ASSERT_EQ(cut.tables.size(), 2u);
    EXPECT_STREQ(cut.tables.back()->tag.data(), "bbbb");
}

TEST_F(TableDirectoryTest, NoTablesWritesTheOffsetTableOnly) {
    const Bytes font = buildFont({});
    TableDirectory directory;
    ASSERT_TRUE(directory.read(openBytes(font)));
    EXPECT_EQ(directory.first(), nullptr);
    EXPECT_EQ(directory.next(), nullptr);
    FontFile out;
    ASSERT_TRUE(out.open((dir / "out.ttf").c_str(), "wb"));
    ASSERT_TRUE(directory.write(out));
    out.close();
    EXPECT_EQ(readFileBytes(dir / "out.ttf"), font);
}

TEST_F(TableDirectoryTest, ReadDataComesBackToWhereItWas) {
    const Bytes first = patternBytes(9, 1);
    const Bytes font = buildFont({{"aaaa", first}, {"zero", {}}});
    TableDirectory directory;
    FontFile& in = openBytes(font);
    ASSERT_TRUE(directory.read(in));
    // The table lies before the current position: the position still returns.
    DirectoryEntry* entry = directory.first();
    ASSERT_TRUE(in.seek(40));
    ASSERT_TRUE(entry->readData(in));
    EXPECT_EQ(in.tell(), 40);
    EXPECT_EQ(entry->data, first);

    DirectoryEntry* empty = directory.next();
    const std::uint32_t loadedChecksum = empty->checksum = 0xDEADBEEF;
    EXPECT_TRUE(empty->readData(in));
    EXPECT_TRUE(empty->data.empty());
    EXPECT_EQ(empty->computeChecksum(), 0u);
    EXPECT_EQ(empty->checksum, loadedChecksum);
    EXPECT_EQ(directory.next(), nullptr);
    EXPECT_EQ(directory.next(), nullptr);
}

TEST_F(TableDirectoryTest, HostileLengthsFailWithoutAllocating) {
    struct Case {
        const char* what;
        std::uint32_t offset, length;
    };
    const Case cases[] = {
        {"runs one byte past the end", 28, 5},
        {"claims 4 GB", 28, 0xFFFFFFFF},
        {"offset beyond a 32-bit signed position", 0x80000000, 4},
        {"offset plus length wraps around", 0xFFFFFFF0, 0x20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes font = buildFont({{"aaaa", bytesOf("abcd")}});
        setU32(font, recordOffset(0) + 8, c.offset);
        setU32(font, recordOffset(0) + 12, c.length);
        TableDirectory directory;
        FontFile& in = openBytes(font);
        ASSERT_TRUE(directory.read(in));
        DirectoryEntry* entry = directory.first();
        EXPECT_FALSE(entry->readData(in));
        EXPECT_EQ(entry->data.capacity(), 0u);
        in.close();
    }
}

TEST_F(TableDirectoryTest, WriteDataLeavesThePositionAlone) {
    DirectoryEntry entry;
    entry.offset = 8;
    entry.length = 3;
    entry.data = bytesOf("xyz");
    FontFile out;
    ASSERT_TRUE(out.open((dir / "out.ttf").c_str(), "w+b"));
    ASSERT_TRUE(out.write(bytesOf("0123")));
    ASSERT_TRUE(entry.writeData(out));
    EXPECT_EQ(out.tell(), 4);
    out.close();
    EXPECT_EQ(readFileBytes(dir / "out.ttf"),
              (Bytes{'0', '1', '2', '3', 0, 0, 0, 0, 'x', 'y', 'z'}));
}

TEST(Checksum, SumsBigEndianWordsPaddedWithZeros) {
    EXPECT_EQ(::tableChecksum(Bytes{0x61, 0x62, 0x63}), 0x61626300u);
    EXPECT_EQ(::tableChecksum(Bytes{0, 1, 0, 0, 0, 0, 0, 1}), 0x00010001u);
    EXPECT_EQ(::tableChecksum(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2}), 1u);  // wraps
    EXPECT_EQ(::tableChecksum(Bytes{}), 0u);
    for (std::size_t length : {1u, 2u, 3u, 4u, 5u, 1023u}) {
        const Bytes bytes = patternBytes(length, 0xA5);
        EXPECT_EQ(::tableChecksum(bytes), testsupport::tableChecksum(bytes)) << length;
    }
}

TEST(Checksum, CoversOnlyTheTableLength) {
    DirectoryEntry entry;
    entry.data = bytesOf("abcdEFGH");
    entry.length = 3;
    EXPECT_EQ(entry.computeChecksum(), 0x61626300u);
    EXPECT_EQ(entry.checksum, 0x61626300u);
}

TEST(DirectoryEntryTag, MatchesAllFourBytesExactly) {
    DirectoryEntry entry;
    entry.tag = {'n', 'a', 'm', 'e', '\0'};
    EXPECT_TRUE(entry.hasTag("name"));
    entry.tag = {'N', 'A', 'M', 'E', '\0'};
    EXPECT_FALSE(entry.hasTag("name"));
    entry.tag = {'n', 'a', 'm', ' ', '\0'};
    EXPECT_FALSE(entry.hasTag("name"));
}

}  // namespace
