#include <gtest/gtest.h>

#include <tuple>

#include "ModelTestSupport.h"
#include "NameTable.h"

using namespace testsupport;
using modeltest::storedNames;

namespace {

class NameTableTest : public ::testing::Test {
  protected:
    LoadError read(const Bytes& table) { return names.read(table); }

    // Writes the table and returns the bytes written.
    Bytes write() {
        Bytes out;
        EXPECT_EQ(names.write(out), SaveError::None);
        return out;
    }

    NameTable names;
};

const Bytes kAB16 = {0x00, 0x41, 0x00, 0x42};

TEST_F(NameTableTest, UnchangedRecordsKeepTheirStoredBytes) {
    const std::vector<TestName> stored = {
        {3, 1, 0x409, 1, {0x00, 0x41, 0x00, 0x42, 0x43}},        // odd length
        {3, 1, 0x409, 2, {0xD8, 0x00, 0x00, 0x41}},              // unpaired surrogate
        {3, 1, 0x409, 3, {0x00, 0x41, 0x00, 0x00, 0x00, 0x42}},  // U+0000 inside
        {1, 0, 0, 1, {0x41, 0xA9, 0xFF}},                        // Mac OS Roman
        {1, 0, 0, 2, {0x00, 0x41}},                              // text cut to nothing by the zero
        {1, 0, 0, 3, {}},                                        // empty in the file: kept
        {1, 1, 11, 1, {0x41, 0x82}},                             // Shift_JIS cut short
        {1, 0, 15, 1, {0x41, 0xDC}},                             // Icelandic: no converter
        {0, 4, 0, 1, {0xDB, 0xFF, 0xDF, 0xFF}},
    };
    ASSERT_EQ(read(buildNameTable(stored)), LoadError::None);
    EXPECT_EQ(names.records[0]->text, "AB");
    EXPECT_EQ(names.records[3]->text, "A\xC2\xA9\xCB\x87");
    EXPECT_EQ(names.records[4]->text, "");
    ASSERT_EQ(names.firstUnencodable(), nullptr);
    const auto back = storedNames(write());
    ASSERT_EQ(back.size(), stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(back[i].bytes, stored[i].bytes) << "record " << i;
    }
}

TEST_F(NameTableTest, ChangedRecordsAreEncodedInTheirOwnEncoding) {
    ASSERT_EQ(read(buildNameTable({{3, 1, 0x409, 1, {0x00, 0x41, 0x00, 0x42, 0x43}},
                                   {1, 0, 0, 1, bytesOf("old")},
                                   {1, 1, 11, 1, bytesOf("old")},
                                   {3, 10, 0x409, 4, utf16be("x")}})),
              LoadError::None);
    names.records[0]->text = "AB";  // back to the decoded text: unchanged, keeps 5 bytes
    names.records[1]->text = "Caf\xC3\xA9";
    names.records[2]->text = "\xE6\x97\xA5";  // 日
    names.records[3]->text = "\xF0\x9F\x98\x80!";
    const auto back = storedNames(write());
    EXPECT_EQ(back[0].bytes.size(), 5u);
    EXPECT_EQ(back[1].bytes, (Bytes{'C', 'a', 'f', 0x8E}));
    EXPECT_EQ(back[2].bytes, (Bytes{0x93, 0xFA}));
    EXPECT_EQ(back[3].bytes, (Bytes{0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x21}));
}

TEST_F(NameTableTest, UnencodableTextIsRefusedAndTheTableKept) {
    ASSERT_EQ(read(buildNameTable({{1, 0, 0, 1, bytesOf("Mac")}, {1, 0, 15, 2, bytesOf("Is")}})),
              LoadError::None);
    names.records[0]->text = "\xE6\x97\xA5\xE6\x9C\xAC";  // Japanese in Mac OS Roman
    EXPECT_EQ(names.firstUnencodable(), names.records[0].get());
    Bytes out = {1, 2, 3};
    EXPECT_EQ(names.write(out), SaveError::NameNotEncodable);
    names.records[0]->text = "Mac";
    names.records[1]->text = "\xE2\x80\xA0";  // † is not in Mac Icelandic
    EXPECT_EQ(names.firstUnencodable(), names.records[1].get());
    EXPECT_EQ(names.write(out), SaveError::NameNotEncodable);
    names.records[1]->text.clear();  // emptied: dropped, nothing to encode
    EXPECT_EQ(names.firstUnencodable(), nullptr);
    EXPECT_EQ(names.write(out), SaveError::None);
    EXPECT_EQ(names.records.size(), 2u);  // the model keeps what a save leaves out
}

TEST_F(NameTableTest, OnlyWhatWasEmptiedOrAddedEmptyIsLeftOut) {
    ASSERT_EQ(read(buildNameTable({{3, 1, 0x409, 0, {}},
                                   {3, 1, 0x409, 1, {0x00, 0x00}},
                                   {3, 1, 0x409, 2, kAB16},
                                   {3, 1, 0x409, 3, kAB16}})),
              LoadError::None);
    names.records[3]->text.clear();  // emptied by the user
    names.add(3, 1, 0x409, 4, nullptr);
    names.add(3, 1, 0x409, 5, "");
    const auto back = storedNames(write());
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].nameID, 0);
    EXPECT_EQ(back[1].bytes, (Bytes{0, 0}));
    EXPECT_EQ(back[2].nameID, 2);
}

TEST_F(NameTableTest, WritesFieldsDerivedFromTheRecords) {
    EXPECT_EQ(write(), (Bytes{0, 0, 0, 0, 0, 6}));
    names.add(1, 0, 0, 1, "0123456789");
    names.add(1, 0, 0, 2, "");
    names.add(1, 0, 0, 3, "abcdef");
    names.add(1, 0, 0, 4, "abcdef");  // equal strings are stored once
    const Bytes written = write();
    EXPECT_EQ(getU16(written, 2), 3);
    EXPECT_EQ(getU16(written, 4), 42);
    EXPECT_EQ(getU16(written, 6 + 10), 0);
    EXPECT_EQ(getU16(written, 18 + 10), 10);
    EXPECT_EQ(getU16(written, 30 + 10), 10);
    EXPECT_EQ(written.size(), 58u);
}

TEST_F(NameTableTest, EqualStringsAreStoredOnceInTheOrderFirstMet) {
    const Bytes b = utf16be("Bb"), a = utf16be("A"), c = utf16be("Ccc");
    ASSERT_EQ(read(buildNameTable({{3, 1, 0x409, 1, b},
                                   {3, 1, 0x409, 2, a},
                                   {3, 1, 0x409, 3, b},
                                   {3, 1, 0x409, 4, c},
                                   {3, 1, 0x409, 5, a},
                                   {3, 1, 0x409, 6, utf16be("x")}})),
              LoadError::None);
    names.records[5]->text = "Ccc";  // edited to equal a string kept as read
    const Bytes written = write();
    const auto offsetOf = [&](std::size_t record) { return getU16(written, 6 + 12 * record + 10); };
    EXPECT_EQ(getU16(written, 4), 6 + 12 * 6);
    EXPECT_EQ(written.size(), 6u + 12 * 6 + b.size() + a.size() + c.size());
    EXPECT_EQ((std::vector<std::uint16_t>{offsetOf(0), offsetOf(1), offsetOf(2), offsetOf(3),
                                          offsetOf(4), offsetOf(5)}),
              (std::vector<std::uint16_t>{0, 4, 0, 6, 4, 6}));
}

TEST_F(NameTableTest, AddedRecordsGoWhereTheySortAndFindTakesTheOlder) {
    ASSERT_EQ(read(buildNameTable({{1, 0, 0, 1, bytesOf("Mac")},
                                   {3, 1, 0x409, 1, utf16be("Family")},
                                   {3, 1, 0x409, 6, utf16be("Read")}})),
              LoadError::None);
    NameRecord* original = names.find(3, 1, 0x409, 6);
    NameRecord* mac = names.first();
    for (std::uint16_t i = 0; i < 200; ++i) {
        names.add(3, 1, 0x409, 6, "dup");  // reallocates the list; records stay put
    }
    NameRecord* between = names.add(3, 1, 0x409, 4, "Full");
    names.add(0, 3, 0, 1, "first key");
    names.add(3, 1, 0x411, 1, "last key");
    EXPECT_EQ(names.find(3, 1, 0x409, 6), original);
    EXPECT_EQ(names.first(), names.records.front().get());
    EXPECT_EQ(names.records.front()->text, "first key");
    EXPECT_EQ(names.records[1].get(), mac);
    EXPECT_EQ(names.records[3].get(), between);
    EXPECT_EQ(names.records[4].get(), original);
    EXPECT_EQ(names.records.back()->text, "last key");
    const auto key = [](const auto& r) {
        return std::tie(r->platformID, r->encodingID, r->languageID, r->nameID);
    };
    EXPECT_TRUE(std::is_sorted(names.records.begin(), names.records.end(),
                               [&key](const auto& a, const auto& b) { return key(a) < key(b); }));
}

TEST_F(NameTableTest, FormatOneKeepsItsLanguageTags) {
    Bytes table = buildNameTable({{3, 1, 0x8000, 1, utf16be("Fam")}}, 1);
    // The language-tag part follows the record: one tag "en" in UTF-16BE,
    // its string after the name string.
    const Bytes tag = utf16be("en");
    table.insert(table.begin() + 18, {0, 1, 0, 4, 0, 6});
    setU16(table, 4, static_cast<std::uint16_t>(getU16(table, 4) + 6));
    table.insert(table.end(), tag.begin(), tag.end());
    ASSERT_EQ(read(table), LoadError::None);
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

    NameTable again;
    ASSERT_EQ(again.read(written), LoadError::None);
    EXPECT_EQ(again.records[0]->text, "Family");
    EXPECT_EQ(again.languageTags[0].bytes, tag);
}

TEST_F(NameTableTest, SixteenBitLimitsAreDetected) {
    Bytes out;
    NameTable many;
    for (int i = 0; i < 5460; ++i) {
        many.add(1, 0, 0, 1, "x");
    }
    EXPECT_EQ(many.write(out), SaveError::None);
    many.add(1, 0, 0, 1, "x");
    EXPECT_EQ(many.write(out), SaveError::NameTableTooLarge);

    NameTable longText;
    longText.add(1, 0, 0, 1, std::string(65535, 'a').c_str());
    EXPECT_EQ(longText.write(out), SaveError::None);
    longText.records[0]->text += 'a';
    EXPECT_EQ(longText.write(out), SaveError::NameTableTooLarge);
    // 32768 UTF-16 code units are 65536 bytes, however short the text.
    longText.records[0]->text = std::string(32768, 'a');
    longText.records[0]->platformID = 3;
    longText.records[0]->encodingID = 1;
    EXPECT_EQ(longText.write(out), SaveError::NameTableTooLarge);

    // Whatever fits the 16-bit offsets is written: a long name read first
    // goes last when only that lets the others start within reach.
    NameTable lateStart;
    lateStart.add(1, 0, 0, 1, std::string(65000, 'a').c_str());
    lateStart.add(1, 0, 0, 2, std::string(600, 'b').c_str());
    lateStart.add(1, 0, 0, 3, std::string(600, 'c').c_str());
    ASSERT_EQ(lateStart.write(out), SaveError::None);
    EXPECT_EQ(getU16(out, 6 + 10), 1200);
    EXPECT_EQ(getU16(out, 30 + 10), 600);
    NameTable again;
    ASSERT_EQ(again.read(out), LoadError::None);
    EXPECT_EQ(again.records[0]->text.size(), 65000u);
    lateStart.records[0]->text = std::string(65535, 'a');
    lateStart.records[1]->text = std::string(65535, 'b');
    lateStart.records[2]->text = "c";  // b, c, then a would start at 65536
    EXPECT_EQ(lateStart.write(out), SaveError::NameTableTooLarge);
}

// A format-1 table whose `tags` language tags all point at one string of
// `length` bytes.
Bytes sharedTagTable(std::uint16_t tags, std::uint16_t length) {
    Bytes table = buildNameTable({}, 1);
    putU16(table, tags);
    for (std::uint16_t i = 0; i < tags; ++i) {
        putU16(table, length);
        putU16(table, 0);
    }
    setU16(table, 4, static_cast<std::uint16_t>(table.size()));
    const Bytes text = patternBytes(length, 0x41);
    table.insert(table.end(), text.begin(), text.end());
    return table;
}

TEST_F(NameTableTest, HostileCountsOffsetsAndSharingFailCleanly) {
    Bytes manyClaimed = buildNameTable({{3, 1, 0x409, 1, kAB16}});
    setU16(manyClaimed, 2, 0xFFFF);
    EXPECT_EQ(read(manyClaimed), LoadError::Invalid);

    // A string outside the table is no name, even where the bytes exist.
    Bytes pastEnd = buildNameTable({{3, 1, 0x409, 1, kAB16}});
    setU16(pastEnd, 6 + 10, 1);
    EXPECT_EQ(read(pastEnd), LoadError::Invalid);
    Bytes emptyAnywhere = buildNameTable({{3, 1, 0x409, 1, {}}});
    setU16(emptyAnywhere, 6 + 10, 0xFFF0);
    EXPECT_EQ(read(emptyAnywhere), LoadError::None);

    Bytes tagsPastEnd = buildNameTable({}, 1);
    tagsPastEnd.insert(tagsPastEnd.end(), {0xFF, 0xFF, 0, 2, 0, 0});
    EXPECT_EQ(read(tagsPastEnd), LoadError::Invalid);

    // 65535 tags on one 64 KiB string would hold 4 GB for a 256 KiB table;
    // three on it are a table a save writes back with the string once.
    const Bytes threeShared = sharedTagTable(3, 65535);
    ASSERT_EQ(read(threeShared), LoadError::None);
    EXPECT_EQ(write(), threeShared);
    EXPECT_EQ(read(sharedTagTable(65535, 65535)), LoadError::NameTableTooLarge);
}

}  // namespace
