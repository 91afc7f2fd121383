// Every single font the test script installs (DejaVu, Liberation, IPA) through
// the model: an unchanged save keeps every table and every name's bytes, and
// a font whose family is renamed on every platform (Macintosh Japanese
// included) reads back in fontTools, with true checksums, and in ots-sanitize.
// fontTools runs once over all renamed fonts, not once per font.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "FontFile.h"
#include "ModelTestSupport.h"
#include "NameOperations.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const char* const kLatinFamily =
    "Kestrin Test \xC3\x89"
    "dition";
const char* const kJapaneseFamily =
    "\xE3\x82\xB1\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA\xE3\x83\xB3 "
    "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 \xC2\xA9\xE2\x84\xA2";  // ケストリン テスト ©™, Apple's
                                                                  // extras

std::vector<fs::path> singleFonts() {
    std::vector<fs::path> fonts;
    for (const auto& entry : fs::recursive_directory_iterator("/usr/share/fonts")) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!entry.is_regular_file() || (extension != ".ttf" && extension != ".otf")) {
            continue;
        }
        const Bytes start = readFileBytes(entry.path());
        if (start.size() >= 4 && getU32(start, 0) != 0x74746366) {  // collections are skipped
            fonts.push_back(entry.path());
        }
    }
    std::sort(fonts.begin(), fonts.end());
    return fonts;
}

struct StoredTable {
    std::string tag;
    Bytes bytes;
};

std::vector<StoredTable> storedTables(const Bytes& font) {
    std::vector<StoredTable> tables;
    for (std::size_t i = 0; i < getU16(font, 4); ++i) {
        const std::string tag(reinterpret_cast<const char*>(&font[recordOffset(i)]), 4);
        Bytes bytes = modeltest::tableBytes(font, tag);
        if (tag == "head") {
            setU32(bytes, 8, 0);  // checkSumAdjustment is set by every save
        }
        tables.push_back({tag, bytes});
    }
    return tables;
}

TEST(RealFonts, UnchangedSavesKeepEverythingAndRenamesReadBackInFontTools) {
    const std::vector<fs::path> fonts = singleFonts();
    // DejaVu, Liberation 1 and 2, IPA Gothic.
    ASSERT_GE(fonts.size(), 40u) << "scripts/test.sh installs the font packages";
    TempDir dir;
    std::ofstream manifest(dir / "manifest.tsv");
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        SCOPED_TRACE(fonts[i].string());
        const fs::path copy = dir / ("unchanged-" + std::to_string(i) + ".ttf");
        const fs::path renamed = dir / ("renamed-" + std::to_string(i) + ".ttf");
        fs::copy_file(fonts[i], copy);
        const Bytes original = readFileBytes(copy);
        modeltest::LoadedFont font;
        ASSERT_TRUE(loadFont(copy.c_str(), font.directory, font.names));
        ASSERT_TRUE(saveFont(copy.c_str(), font.directory, font.names));
        const Bytes saved = readFileBytes(copy);
        const auto before = storedTables(original);
        const auto after = storedTables(saved);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t t = 0; t < before.size(); ++t) {
            EXPECT_EQ(after[t].tag, before[t].tag);
            if (before[t].tag == "name") {
                EXPECT_EQ(modeltest::storedNames(after[t].bytes),
                          modeltest::storedNames(before[t].bytes));
            } else {
                EXPECT_TRUE(after[t].bytes == before[t].bytes) << before[t].tag << " changed";
            }
        }

        int families = 0;
        for (NameRecord* record = font.names.first(); record != nullptr;
             record = font.names.next()) {
            if (record->nameID == 1) {
                const bool japanese = record->platformID == 1 && record->encodingID == 1;
                record->text = japanese ? kJapaneseFamily : kLatinFamily;
                ++families;
            }
        }
        EXPECT_GT(families, 0);
        ASSERT_TRUE(saveFont(renamed.c_str(), font.directory, font.names));
        manifest << renamed.string() << '\t' << fonts[i].string() << '\n';
        const CommandResult ots =
            runCommand("ots-sanitize " + shellQuote(renamed.string()) + " 2>&1");
        EXPECT_EQ(ots.status, 0) << ots.output;
    }
    manifest.close();
    const CommandResult fontTools =
        runCommand(std::string(FONTTOOLS_PYTHON) + " " +
                   shellQuote(std::string(TEST_SOURCE_DIR) + "/check_font.py") + " " +
                   shellQuote((dir / "manifest.tsv").string()) + " 2>&1");
    EXPECT_EQ(fontTools.status, 0) << fontTools.output;
}

// A record deleted, one added with name ID 16 and English (United Kingdom)
// added as a copy of English (United States): fontTools reads every name as
// the model meant it, the records sorted, and ots-sanitize takes the font.
TEST(RealFonts, RecordsDeletedAndAddedAndALanguageCopiedReadBackExactly) {
    TempDir dir;
    const fs::path copy = dir / "font.ttf";
    fs::copy_file("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", copy);
    modeltest::LoadedFont font;
    ASSERT_TRUE(loadFont(copy.c_str(), font.directory, font.names));
    NamePlan plan = planRemove(font.names, {{13}, {3}, {}});
    plan.append(planAddRecord(font.names, {3, 1, 0x409}, 16, "Liberation Sans Kestrin"));
    apply(plan);
    apply(planAddLanguage(font.names, {3, 1, 0x409}, {3, 1, 0x809}));
    ASSERT_TRUE(saveFont(copy.c_str(), font.directory, font.names));

    // The names as the model holds them: key and UTF-8 text in hex, one a line.
    std::ofstream expected(dir / "expected.tsv");
    for (NameRecord* record = font.names.first(); record != nullptr; record = font.names.next()) {
        if (record->isDropped()) {
            continue;
        }
        expected << record->platformID << '\t' << record->encodingID << '\t' << record->languageID
                 << '\t' << record->nameID << '\t';
        for (const char c : record->text) {
            static const char* const kHex = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            expected << kHex[byte >> 4] << kHex[byte & 0xF];
        }
        expected << '\n';
    }
    expected.close();
    const std::string script = R"(
import sys
from fontTools.ttLib import TTFont
names = TTFont(sys.argv[1])["name"].names
read = [(n.platformID, n.platEncID, n.langID, n.nameID, n.toUnicode()) for n in names]
meant = []
for line in open(sys.argv[2]):
    p, e, l, n, text = line.rstrip("\n").split("\t")
    meant.append((int(p), int(e), int(l), int(n), bytes.fromhex(text).decode("utf-8")))
assert sorted(read) == sorted(meant), set(read) ^ set(meant)
keys = [r[:4] for r in read]
assert keys == sorted(keys), "records not sorted"
assert not any(k[3] == 13 and k[0] == 3 for k in keys), "license description still there"
assert (3, 1, 0x409, 16, "Liberation Sans Kestrin") in read
assert sum(1 for k in keys if k[:3] == (3, 1, 0x809)) == sum(1 for k in keys if k[:3] == (3, 1, 0x409))
)";
    std::ofstream(dir / "check.py") << script;
    const CommandResult fontTools = runCommand(
        std::string(FONTTOOLS_PYTHON) + " " + shellQuote((dir / "check.py").string()) + " " +
        shellQuote(copy.string()) + " " + shellQuote((dir / "expected.tsv").string()) + " 2>&1");
    EXPECT_EQ(fontTools.status, 0) << fontTools.output;
    const CommandResult ots = runCommand("ots-sanitize " + shellQuote(copy.string()) + " 2>&1");
    EXPECT_EQ(ots.status, 0) << ots.output;
}

// The system's Noto Sans CJK collection with font 3's family renamed and
// saved in place: fontTools reads font 3's new family and every other table
// and name as before, with true checksums and sharing kept; ots-sanitize
// accepts it; Zelvic splits it into the original's fonts but for font 3's
// 'name' (and so its checkSumAdjustment).
TEST(RealFonts, OneFontOfTheNotoCjkCollectionRenamed) {
    const fs::path system = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
    ASSERT_TRUE(fs::exists(system)) << "scripts/test.sh installs fonts-noto-cjk";
    TempDir dir;
    fs::create_directories(dir / "before");
    fs::create_directories(dir / "after");
    const fs::path original = dir / "before" / "cjk.ttc";
    const fs::path edited = dir / "after" / "cjk.ttc";
    fs::copy_file(system, original);
    fs::copy_file(system, edited);

    FontFile file;
    ASSERT_TRUE(loadFontFile(edited.c_str(), file));
    ASSERT_EQ(file.count(), 10u);
    EXPECT_EQ(file.memberLabel(0), "1: Noto Sans CJK JP");
    for (auto& record : file.members[2].names.records) {
        if (record->nameID == 1) {
            record->text = "Kestrin Test";
        }
    }
    ASSERT_TRUE(saveFontFile(edited.c_str(), file));
    EXPECT_EQ(file.memberLabel(2), "3: Noto Sans CJK SC");  // the full name was not edited

    const CommandResult fontTools =
        runCommand(std::string(FONTTOOLS_PYTHON) + " " +
                   shellQuote(std::string(TEST_SOURCE_DIR) + "/check_collection.py") + " " +
                   shellQuote(original.string()) + " " + shellQuote(edited.string()) +
                   " 3 'Kestrin Test' 2>&1");
    EXPECT_EQ(fontTools.status, 0) << fontTools.output;
    const CommandResult ots = runCommand("ots-sanitize " + shellQuote(edited.string()) + " 2>&1");
    EXPECT_EQ(ots.status, 0) << ots.output;

    const std::string zelvic = std::string(PROJECT_BINARY_DIR) + "/bin/Zelvic ";
    ASSERT_EQ(runCommand(zelvic + shellQuote(original.string()) + " 2>&1").status, 0);
    ASSERT_EQ(runCommand(zelvic + shellQuote(edited.string()) + " 2>&1").status, 0);
    for (int k = 1; k <= 10; ++k) {
        SCOPED_TRACE("font " + std::to_string(k));
        const std::string name =
            "cjk" + std::string(k < 10 ? "00" : "0") + std::to_string(k) + ".TTF";
        const Bytes before = readFileBytes(dir / "before" / name);
        const Bytes after = readFileBytes(dir / "after" / name);
        ASSERT_FALSE(before.empty());
        if (k != 3) {
            EXPECT_TRUE(before == after);
            continue;
        }
        const auto oldTables = storedTables(before), newTables = storedTables(after);
        ASSERT_EQ(oldTables.size(), newTables.size());
        for (std::size_t t = 0; t < oldTables.size(); ++t) {
            if (oldTables[t].tag != "name") {
                EXPECT_TRUE(oldTables[t].bytes == newTables[t].bytes) << oldTables[t].tag;
            }
        }
    }
}

}  // namespace
