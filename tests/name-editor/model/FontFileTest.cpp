// Collections in the model: what a save keeps (every table's bytes and
// place, sharing, the header), what it changes (the edited 'name' tables,
// checksums, a 2.0 header's DSIG) and what a load refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "FontFile.h"
#include "ModelTestSupport.h"

using namespace testsupport;
using modeltest::MessageCapture;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kVersion1 = 0x00010000;
constexpr std::uint32_t kVersion2 = 0x00020000;

// A collection of `fonts`, each table stored once however many fonts have
// the same tag and bytes, as Zelvic makes them; a 2.0 header's signature
// (if any) after the last table.
Bytes buildCollection(const std::vector<std::vector<TestTable>>& fonts,
                      std::uint32_t version = kVersion1, const Bytes& signature = {}) {
    const bool two = version == kVersion2;
    std::size_t at = 12 + 4 * fonts.size() + (two ? 12 : 0);
    std::vector<std::size_t> directoryAt;
    for (const auto& font : fonts) {
        directoryAt.push_back(at);
        at += 12 + 16 * font.size();
    }
    Bytes body;
    std::map<std::pair<std::string, Bytes>, std::size_t> stored;
    Bytes out;
    putU32(out, 0x74746366);
    putU32(out, version);
    putU32(out, static_cast<std::uint32_t>(fonts.size()));
    for (const std::size_t offset : directoryAt) {
        putU32(out, static_cast<std::uint32_t>(offset));
    }
    const std::size_t dsigFields = out.size();
    if (two) {
        out.resize(out.size() + 12, 0);
    }
    for (const auto& font : fonts) {
        Bytes directory = buildFont(font);
        directory.resize(12 + 16 * font.size());
        for (std::size_t j = 0; j < font.size(); ++j) {
            const auto key = std::make_pair(font[j].tag, font[j].data);
            auto found = stored.find(key);
            if (found == stored.end()) {
                found = stored.emplace(key, at + body.size()).first;
                body.insert(body.end(), font[j].data.begin(), font[j].data.end());
                body.resize((body.size() + 3) & ~std::size_t{3}, 0);
            }
            setU32(directory, recordOffset(j) + 8, static_cast<std::uint32_t>(found->second));
        }
        out.insert(out.end(), directory.begin(), directory.end());
    }
    out.insert(out.end(), body.begin(), body.end());
    if (two && !signature.empty()) {
        setU32(out, dsigFields, 0x44534947);  // 'DSIG'
        setU32(out, dsigFields + 4, static_cast<std::uint32_t>(signature.size()));
        setU32(out, dsigFields + 8, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), signature.begin(), signature.end());
    }
    return out;
}

Bytes names(const std::string& family) {
    return buildNameTable({{1, 0, 0, 1, bytesOf(family)},
                           {3, 1, 0x409, 1, utf16be(family)},
                           {3, 1, 0x409, 4, utf16be(family + " Regular")}});
}

// Three fonts: 'glyf' shared by all, 'name' by fonts 1 and 2, 'head' own.
Bytes sampleCollection(std::uint32_t version = kVersion1, const Bytes& signature = {}) {
    const Bytes glyf = patternBytes(301, 5);
    std::vector<std::vector<TestTable>> fonts;
    for (std::uint8_t i = 0; i < 3; ++i) {
        // checkSumAdjustment zero, so that the checksums built are a save's.
        Bytes head = patternBytes(54, static_cast<std::uint8_t>(40 + i));
        setU32(head, 8, 0);
        fonts.push_back(
            {{"glyf", glyf}, {"head", head}, {"name", names(i < 2 ? "Shared" : "Third")}});
    }
    return buildCollection(fonts, version, signature);
}

struct Record {
    std::string tag;
    std::uint32_t checksum, offset, length;
};

// Every font's records as stored.
std::vector<std::vector<Record>> directories(const Bytes& file) {
    std::vector<std::vector<Record>> fonts;
    for (std::size_t i = 0; i < getU32(file, 8); ++i) {
        const std::size_t at = getU32(file, 12 + 4 * i);
        std::vector<Record> records;
        for (std::size_t j = 0; j < getU16(file, at + 4); ++j) {
            const std::size_t record = at + recordOffset(j);
            records.push_back({std::string(reinterpret_cast<const char*>(&file[record]), 4),
                               getU32(file, record + 4), getU32(file, record + 8),
                               getU32(file, record + 12)});
        }
        fonts.push_back(records);
    }
    return fonts;
}

Bytes bodyOf(const Bytes& file, const Record& record) {
    return Bytes(file.begin() + record.offset, file.begin() + record.offset + record.length);
}

// What a save must keep of `before` in `after` but for the 'name' tables of
// the fonts in `edited`: tables in place with their bytes, checksums true.
void expectKept(const Bytes& before, const Bytes& after, const std::vector<std::size_t>& edited) {
    const auto old = directories(before), now = directories(after);
    ASSERT_EQ(old.size(), now.size());
    for (std::size_t i = 0; i < old.size(); ++i) {
        ASSERT_EQ(old[i].size(), now[i].size());
        for (std::size_t j = 0; j < old[i].size(); ++j) {
            SCOPED_TRACE("font " + std::to_string(i + 1) + " " + now[i][j].tag);
            Bytes body = bodyOf(after, now[i][j]);
            if (now[i][j].tag != "name" || std::ranges::count(edited, i) == 0) {
                EXPECT_EQ(now[i][j].offset, old[i][j].offset);
                EXPECT_EQ(body, bodyOf(before, old[i][j]));
            }
            if (now[i][j].tag == "head") {
                setU32(body, 8, 0);
            }
            EXPECT_EQ(now[i][j].checksum, tableChecksum(body));
        }
    }
}

class FontFileTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name = "fonts.ttc") const { return (dir / name).string(); }
    void load(const Bytes& bytes) {
        writeFileBytes(path(), bytes);
        ASSERT_TRUE(loadFontFile(path().c_str(), file));
    }
    void rename(std::size_t font, const std::string& family) {
        for (auto& record : file.members[font].names.records) {
            if (record->nameID == 1) {
                record->text = family;
            }
        }
    }

    TempDir dir;
    MessageCapture messages;
    FontFile file;
};

TEST_F(FontFileTest, EditingOneFontOfASharedNameGivesItItsOwnAndKeepsTheRest) {
    const Bytes original = sampleCollection();
    load(original);
    ASSERT_EQ(file.count(), 3u);
    EXPECT_EQ(file.memberLabel(2), "3: Third Regular");

    // Font 2 gets a name table of its own at the end; font 1 keeps the
    // shared one, untouched.
    rename(1, "Second");
    ASSERT_TRUE(saveFontFile(path().c_str(), file));
    const Bytes once = readFileBytes(path());
    expectKept(original, once, {1});
    const auto saved = directories(once);
    EXPECT_EQ(saved[1][2].offset, original.size());
    EXPECT_EQ(once.size(), original.size() + ((saved[1][2].length + 3) & ~3u));
    EXPECT_EQ(saved[0][2].offset, directories(original)[0][2].offset);

    // Both renamed alike in one save: they share again, in the old place.
    load(original);
    rename(0, "Second");
    rename(1, "Second");
    ASSERT_TRUE(saveFontFile(path().c_str(), file));
    const Bytes alike = readFileBytes(path());
    expectKept(original, alike, {0, 1});
    const auto shared = directories(alike);
    EXPECT_EQ(shared[0][2].offset, shared[1][2].offset);
    EXPECT_EQ(shared[0][2].offset, directories(original)[0][2].offset);
    EXPECT_EQ(alike.size(), original.size());
    FontFile reloaded;
    ASSERT_TRUE(loadFontFile(path().c_str(), reloaded));
    EXPECT_EQ(reloaded.memberLabel(0), "1: Shared Regular");  // ID 4 was not edited
    EXPECT_EQ(reloaded.members[1].names.find(3, 1, 0x409, 1)->text, "Second");
    EXPECT_EQ(reloaded.members[2].names.find(3, 1, 0x409, 1)->text, "Third");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FontFileTest, DsigOfAVersionTwoHeaderGoesOnlyWhenSomethingChanged) {
    const Bytes original = sampleCollection(kVersion2, patternBytes(100, 7));
    load(original);
    ASSERT_TRUE(saveFontFile(path().c_str(), file));
    EXPECT_EQ(readFileBytes(path()), original);  // nothing to sign anew

    rename(2, "Changed");
    ASSERT_TRUE(saveFontFile(path().c_str(), file));
    const Bytes saved = readFileBytes(path());
    EXPECT_EQ(getU32(saved, 4), kVersion2);
    EXPECT_EQ(Bytes(saved.begin() + 24, saved.begin() + 36), Bytes(12, 0));
    expectKept(original, saved, {2});
    // Font 3's own name table, last before the signature, grew into its place.
    const Record name = directories(saved)[2][2];
    EXPECT_EQ(name.offset, directories(original)[2][2].offset);
    EXPECT_EQ(saved.size(), (name.offset + name.length + 3) & ~3u);
    EXPECT_LT(saved.size(), original.size());
}

TEST_F(FontFileTest, ASaveRefusesACollectionChangedSinceTheLoad) {
    Bytes original = sampleCollection();
    load(original);
    original[original.size() - 1] ^= 1;
    writeFileBytes(path(), original);
    rename(0, "Changed");
    EXPECT_FALSE(saveFontFile(path().c_str(), file));
    EXPECT_EQ(messages.only(), "file changed since it was opened.");
    EXPECT_EQ(readFileBytes(path()), original);
}

TEST_F(FontFileTest, CollectionsWhoseStructuresCollideAreRefusedSayingHow) {
    const Bytes good = sampleCollection(kVersion2, patternBytes(8, 1));
    const auto records = directories(good);
    const std::size_t font2 = getU32(good, 16), font3 = getU32(good, 20);
    struct Case {
        const char* reason;
        Bytes bytes;
    };
    std::vector<Case> cases;
    // The file core's own refusals reach the user as they are...
    Bytes sharedDirectory = good;
    setU32(sharedDirectory, 16, getU32(good, 12));
    cases.push_back({"The table directories of fonts #1 and #2 overlap.", sharedDirectory});
    Bytes outside = good;
    setU32(outside, 20, static_cast<std::uint32_t>(good.size()));
    cases.push_back({"Font #3: the offset table runs past the end of the file.", outside});
    // ...and so do those of a save that leaves every table where it is.
    Bytes overlapping = good;  // font 3's head starts inside font 2's
    setU32(overlapping, font3 + recordOffset(1) + 8, records[1][1].offset + 4);
    cases.push_back({"Tables of fonts #2 and #3 overlap.", overlapping});
    Bytes intoDirectory = good;
    setU32(intoDirectory, font2 + recordOffset(1) + 8, static_cast<std::uint32_t>(font3));
    cases.push_back(
        {"A table of font #2 overlaps the collection's header, a table directory or "
         "the signature.",
         intoDirectory});
    Bytes signature = good;
    setU32(signature, 32, records[0][0].offset);
    cases.push_back(
        {"A table of font #1 overlaps the collection's header, a table directory or "
         "the signature.",
         signature});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        writeFileBytes(path(), c.bytes);
        std::string reason;
        EXPECT_EQ(readFontFile(path(), file, reason), LoadError::Invalid);
        EXPECT_EQ(reason, c.reason);
    }
}

}  // namespace
