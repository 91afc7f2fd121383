#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "NameTable.h"

using namespace testsupport;
using modeltest::storedNames;

namespace {

class NameTableTest : public ::testing::Test {
  protected:
    // Reads `table` as a name table that starts `lead` bytes into a file.
    bool read(const Bytes& table, std::size_t lead = 0) {
        Bytes file(lead, 0xEE);
        file.insert(file.end(), table.begin(), table.end());
        writeFileBytes(dir / "in.bin", file);
        FontFile in;
        EXPECT_TRUE(in.open((dir / "in.bin").c_str(), "rb"));
        EXPECT_TRUE(in.seek(static_cast<std::int64_t>(lead)));
        return names.read(in);
    }

    // Writes the table and returns the bytes written.
    Bytes write() {
        FontFile out;
        EXPECT_TRUE(out.open((dir / "out.bin").c_str(), "wb"));
        EXPECT_TRUE(names.write(out));
        out.close();
        return readFileBytes(dir / "out.bin");
    }

    TempDir dir;
    NameTable names;
};

const Bytes kAB16 = {0x00, 0x41, 0x00, 0x42};

TEST_F(NameTableTest, DecodesEachPairAsTheStandardStoresIt) {
    const Bytes symbolBytes = {0xF0, 0x41};             // (3, 0): private-use code points
    const Bytes emojiBytes = {0xD8, 0x3D, 0xDE, 0x00};  // (3, 10): a surrogate pair
    const Bytes unicodeBytes = {0x00, 0xE9};            // (0, 3)
    ASSERT_TRUE(read(buildNameTable({{3, 1, 0x409, 1, kAB16},
                                     {2, 1, 0, 1, kAB16},
                                     {1, 0, 0, 1, bytesOf("ABC")},
                                     {3, 0, 0x409, 1, symbolBytes},
                                     {3, 10, 0x409, 1, emojiBytes},
                                     {0, 3, 0, 1, unicodeBytes},
                                     {3, 2, 0x409, 1, bytesOf("sjis")}}),
                     5));
    ASSERT_EQ(names.records.size(), 7u);
    EXPECT_EQ(names.records[0]->text, "AB");
    EXPECT_EQ(names.records[1]->text, "AB");
    EXPECT_EQ(names.records[2]->text, "ABC");
    EXPECT_EQ(names.records[3]->text, "\xEF\x81\x81");
    EXPECT_EQ(names.records[4]->text, "\xF0\x9F\x98\x80");
    EXPECT_EQ(names.records[5]->text, "\xC3\xA9");
    EXPECT_EQ(names.records[6]->text, "sjis");  // other pairs stay bytes
}

TEST_F(NameTableTest, UnchangedRecordsKeepTheirStoredBytes) {
    const std::vector<TestName> stored = {
        {3, 1, 0x409, 1, {0x00, 0x41, 0x00, 0x42, 0x43}},        // odd length
        {3, 1, 0x409, 2, {0xD8, 0x00, 0x00, 0x41}},              // unpaired surrogate
        {3, 1, 0x409, 3, {0x00, 0x41, 0x00, 0x00, 0x00, 0x42}},  // U+0000 inside
        {1, 0, 0, 1, {0x41, 0xA9, 0xFF}},                        // Mac Roman, not UTF-8
        {1, 0, 0, 2, {0x00, 0x41}},                              // text cut to nothing by the zero
        {0, 4, 0, 1, {0xDB, 0xFF, 0xDF, 0xFF}},
    };
    ASSERT_TRUE(read(buildNameTable(stored)));
    EXPECT_EQ(names.records[0]->text, "AB");
    EXPECT_EQ(names.records[1]->text,
              "\xEF\xBF\xBD"
              "A");
    EXPECT_EQ(names.records[2]->text, "A");
    EXPECT_EQ(names.records[4]->text, "");
    const Bytes written = write();
    ASSERT_EQ(names.records.size(), stored.size());
    const auto back = storedNames(written);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(back[i].bytes, stored[i].bytes) << "record " << i;
    }
}

TEST_F(NameTableTest, ChangedRecordsAreEncodedAnew) {
    ASSERT_TRUE(read(buildNameTable({{3, 1, 0x409, 1, {0x00, 0x41, 0x00, 0x42, 0x43}},
                                     {1, 0, 0, 1, bytesOf("old")},
                                     {3, 10, 0x409, 4, utf16be("x")}})));
    names.records[0]->text = "AB";  // back to the decoded text: unchanged, keeps 5 bytes
    names.records[1]->text = "new";
    names.records[2]->text = "\xF0\x9F\x98\x80!";
    const auto back = storedNames(write());
    EXPECT_EQ(back[0].bytes.size(), 5u);
    EXPECT_EQ(back[1].bytes, bytesOf("new"));
    EXPECT_EQ(back[2].bytes, (Bytes{0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x21}));

    names.records[0]->text = "AB ";
    names.records[0]->text.pop_back();  // still the text as read
    EXPECT_EQ(names.records[0]->encodedLength(), 5);
    names.records[0]->text = "Ab";
    EXPECT_EQ(names.records[0]->encodedLength(), 4);
}

TEST_F(NameTableTest, EmptyRecordsGoAtSaveJudgedByWhatWouldBeWritten) {
    ASSERT_TRUE(read(buildNameTable({{3, 1, 0x409, 0, {}},
                                     {3, 1, 0x409, 1, {}},
                                     {3, 1, 0x409, 2, kAB16},
                                     {3, 1, 0x409, 3, kAB16}})));
    names.records[3]->text.clear();  // emptied by the user
    names.add(3, 1, 0x409, 4, nullptr);
    names.add(3, 1, 0x409, 5, "");
    const Bytes written = write();
    ASSERT_EQ(names.records.size(), 1u);
    EXPECT_EQ(names.records[0]->nameID, 2);
    EXPECT_EQ(getU16(written, 2), 1);
}

TEST_F(NameTableTest, EmptyTableIsSixBytes) {
    ASSERT_TRUE(read(buildNameTable({})));
    EXPECT_EQ(names.first(), nullptr);
    EXPECT_EQ(write(), (Bytes{0, 0, 0, 0, 0, 6}));
    EXPECT_EQ(names.totalLength, 6u);
}

TEST_F(NameTableTest, LayoutPacksStringsInRecordOrder) {
    names.add(1, 0, 0, 1, "0123456789");
    names.add(1, 0, 0, 2, "");
    names.add(1, 0, 0, 3, "abcdef");
    names.add(1, 0, 0, 4, "abcdef");  // equal strings are not shared
    const Bytes written = write();
    EXPECT_EQ(getU16(written, 2), 3);
    EXPECT_EQ(getU16(written, 4), 42);
    EXPECT_EQ(names.records[0]->offset, 0);
    EXPECT_EQ(names.records[1]->offset, 10);
    EXPECT_EQ(names.records[2]->offset, 16);
    EXPECT_EQ(names.totalLength, 64u);
    EXPECT_EQ(written.size(), 64u);
    names.layout();
    EXPECT_EQ(names.totalLength, 64u);
}

TEST_F(NameTableTest, AddedRecordsFollowReadOnesAndFindTakesTheFirst) {
    ASSERT_TRUE(read(buildNameTable({{3, 1, 0x409, 6, utf16be("Read")}})));
    NameRecord* original = names.first();
    for (std::uint16_t i = 0; i < 200; ++i) {
        names.add(3, 1, 0x409, 6, "dup");  // reallocates the list; records stay put
    }
    names.add(1, 0, 0, 0, "first key");
    EXPECT_EQ(names.find(3, 1, 0x409, 6), original);
    EXPECT_EQ(names.find(3, 1, 0x409, 7), nullptr);
    EXPECT_EQ(names.records.front().get(), original);
    EXPECT_EQ(names.records.back()->text, "first key");

    std::size_t walked = 1;
    while (names.next() != nullptr) {
        ++walked;
    }
    EXPECT_EQ(walked, 202u);
    EXPECT_EQ(names.next(), nullptr);
}

TEST_F(NameTableTest, FormatOneKeepsItsLanguageTags) {
    Bytes table = buildNameTable({{3, 1, 0x8000, 1, utf16be("Fam")}}, 1);
    // The language-tag part follows the record: one tag "en" in UTF-16BE,
    // its string after the name string.
    const Bytes tag = utf16be("en");
    table.insert(table.begin() + 18, {0, 1, 0, 4, 0, 6});
    setU16(table, 4, static_cast<std::uint16_t>(getU16(table, 4) + 6));
    table.insert(table.end(), tag.begin(), tag.end());
    ASSERT_TRUE(read(table));
    ASSERT_EQ(names.languageTags.size(), 1u);
    EXPECT_EQ(names.languageTags[0].bytes, tag);

    names.records[0]->text = "Family";
    const Bytes written = write();
    EXPECT_EQ(getU16(written, 0), 1);
    EXPECT_EQ(getU16(written, 4), 6 + 12 + 2 + 4);
    EXPECT_EQ(getU16(written, 18), 1);   // langTagCount
    EXPECT_EQ(getU16(written, 20), 4);   // its length
    EXPECT_EQ(getU16(written, 22), 12);  // after the 12 bytes of "Family"
    EXPECT_EQ(Bytes(written.end() - 4, written.end()), tag);
    EXPECT_EQ(names.totalLength, written.size());

    NameTable again;
    FontFile in;
    ASSERT_TRUE(in.open((dir / "out.bin").c_str(), "rb"));
    ASSERT_TRUE(again.read(in));
    EXPECT_EQ(again.records[0]->text, "Family");
    EXPECT_EQ(again.languageTags[0].bytes, tag);
}

TEST_F(NameTableTest, SixteenBitLimitsAreDetected) {
    NameTable many;
    for (int i = 0; i < 5460; ++i) {
        many.add(1, 0, 0, 1, "x");
    }
    EXPECT_TRUE(many.fitsSixteenBitFields());
    many.add(1, 0, 0, 1, "x");
    EXPECT_FALSE(many.fitsSixteenBitFields());

    NameTable longText;
    longText.add(1, 0, 0, 1, std::string(65535, 'a').c_str());
    EXPECT_TRUE(longText.fitsSixteenBitFields());
    longText.records[0]->text += 'a';
    EXPECT_FALSE(longText.fitsSixteenBitFields());
    // 32768 UTF-16 code units are 65536 bytes, however short the text.
    longText.records[0]->text = std::string(32768, 'a');
    longText.records[0]->platformID = 3;
    longText.records[0]->encodingID = 1;
    EXPECT_FALSE(longText.fitsSixteenBitFields());
    longText.removeEmptyRecords();
    EXPECT_EQ(longText.records.size(), 1u);  // too long is not empty

    NameTable lateStart;
    lateStart.add(1, 0, 0, 1, std::string(40000, 'a').c_str());
    lateStart.add(1, 0, 0, 2, std::string(25535, 'b').c_str());
    lateStart.add(1, 0, 0, 3, "c");  // starts at 65535: still addressable
    EXPECT_TRUE(lateStart.fitsSixteenBitFields());
    lateStart.add(1, 0, 0, 4, "d");  // starts at 65536
    EXPECT_FALSE(lateStart.fitsSixteenBitFields());

    FontFile out;
    ASSERT_TRUE(out.open((dir / "out.bin").c_str(), "wb"));
    EXPECT_FALSE(lateStart.write(out));
}

TEST_F(NameTableTest, HostileCountsAndOffsetsFailCleanly) {
    Bytes manyClaimed = buildNameTable({{3, 1, 0x409, 1, kAB16}});
    setU16(manyClaimed, 2, 0xFFFF);
    EXPECT_FALSE(read(manyClaimed));
    EXPECT_EQ(names.records.size(), 1u);  // the one complete record before the end

    Bytes pastEnd = buildNameTable({{3, 1, 0x409, 1, kAB16}});
    setU16(pastEnd, 6 + 10, 0xFFF0);
    names.records.clear();
    EXPECT_FALSE(read(pastEnd));
    EXPECT_TRUE(names.records.empty());

    Bytes tagsPastEnd = buildNameTable({}, 1);
    tagsPastEnd.insert(tagsPastEnd.end(), {0xFF, 0xFF, 0, 2, 0, 0});
    names.records.clear();
    EXPECT_FALSE(read(tagsPastEnd));
    EXPECT_LE(names.languageTags.size(), 1u);
}

TEST(SwapBytePairs, LeavesAnOddLastByte) {
    Bytes bytes = {1, 2, 3, 4, 5};
    swapBytePairs(bytes);
    EXPECT_EQ(bytes, (Bytes{2, 1, 4, 3, 5}));
    Bytes none;
    swapBytePairs(none);
    EXPECT_TRUE(none.empty());
}

}  // namespace
