#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "NameChecks.h"
#include "NameIds.h"

using namespace testsupport;

namespace {

struct Name {
    std::uint16_t platformID, encodingID, languageID, nameID;
    std::string text;
};

// A Macintosh and a Windows English set that passes every rule.
const std::vector<Name> kClean = {
    {1, 0, 0, 1, "Kestrin Sans"},
    {1, 0, 0, 2, "Bold"},
    {1, 0, 0, 4, "Kestrin Sans Bold"},
    {1, 0, 0, 5, "Version 2.37"},
    {1, 0, 0, 6, "KestrinSans-Bold"},
    {3, 1, 0x409, 1, "Kestrin Sans"},
    {3, 1, 0x409, 2, "Bold"},
    {3, 1, 0x409, 4, "Kestrin Sans Bold"},
    {3, 1, 0x409, 5, "Version 2.370; ttfautohint"},
    {3, 1, 0x409, 6, "KestrinSans-Bold"},
};

struct CheckCase {
    const char* name;
    // Texts given to records of the clean set (or added ones), by key; an
    // entry with platform 0xFFFF changes that name ID in both sets.
    std::vector<Name> edits;
    std::vector<std::string> expected;  // rule ids, in report order
};

constexpr std::uint16_t kBoth = 0xFFFF;
const std::string k40(40, 'F');

const CheckCase kCases[] = {
    {"a font that passes every rule", {}, {}},
    {"PostScript name holding a blank",
     {{kBoth, 0, 0, 6, "Kestrin Sans-Bold"}},
     {"postscript-characters", "postscript-characters"}},
    {"PostScript name holding a character PostScript reserves",
     {{kBoth, 0, 0, 6, "Kestrin/Sans"}},
     {"postscript-characters", "postscript-characters"}},
    {"PostScript name of 64 characters",
     {{kBoth, 0, 0, 6, std::string(64, 'P')}},
     {"postscript-length", "postscript-length"}},
    {"PostScript name not the same in every record",
     {{3, 1, 0x409, 6, "KestrinSans-Heavy"}},
     {"postscript-differs"}},
    {"family of 40 characters",
     {{kBoth, 0, 0, 1, k40}, {kBoth, 0, 0, 4, k40 + " Bold"}},
     {"family-length", "family-length"}},
    {"typographic subfamily of 32 characters",
     {{3, 1, 0x409, 16, "Kestrin Sans"}, {3, 1, 0x409, 17, std::string(32, 'S')}},
     {"subfamily-length"}},
    {"Windows English subfamily beyond the four without typographic names",
     {{kBoth, 0, 0, 2, "SemiBold"}},
     {"subfamily-style"}},
    {"the same with typographic names",
     {{kBoth, 0, 0, 2, "SemiBold"},
      {3, 1, 0x409, 16, "Kestrin Sans"},
      {3, 1, 0x409, 17, "SemiBold"}},
     {}},
    {"full name not beginning with the family",
     {{3, 1, 0x409, 4, "Sans Kestrin Bold"}},
     {"full-name-family"}},
    {"full name beginning with the typographic family",
     {{3, 1, 0x409, 1, "Kestrin Sans Bold"}, {3, 1, 0x409, 16, "Kestrin Sans"}},
     {}},
    {"version string not reading Version X.Y",
     {{1, 0, 0, 5, "2.37"}, {3, 1, 0x409, 5, "Version 2"}},
     {"version-format", "version-format"}},
    {"version string not matching the font revision",
     {{1, 0, 0, 5, "Version 2.371"}, {3, 1, 0x409, 5, "Version 2.3704"}},
     {"version-revision"}},
    {"empty record", {{3, 1, 0x409, 7, ""}}, {"empty-name"}},
    {"name ending in a blank", {{3, 1, 0x409, 7, "Kestrin\xC2\xA0"}}, {"trailing-blanks"}},
    {"text the encoding can't hold", {{1, 0, 0, 7, "\xE6\x97\xA5"}}, {"not-encodable"}},
};

TEST(NameChecks, EachRuleWarnsAndOnlyItWarns) {
    for (const CheckCase& check : kCases) {
        SCOPED_TRACE(check.name);
        // The records are read from a file, so an empty one is kept as such.
        std::vector<TestName> stored;
        std::vector<Name> names = kClean;
        for (const Name& edit : check.edits) {
            bool found = false;
            for (Name& name : names) {
                if (name.nameID == edit.nameID &&
                    (edit.platformID == kBoth || name.platformID == edit.platformID)) {
                    name.text = edit.text;
                    found = true;
                }
            }
            if (!found) {
                names.push_back(edit);
            }
        }
        NameTable table;
        for (const Name& name : names) {
            stored.push_back({name.platformID, name.encodingID, name.languageID, name.nameID,
                              name.platformID == 1 ? bytesOf(name.text) : Bytes{}});
        }
        ASSERT_EQ(table.read(buildNameTable(stored)), LoadError::None);
        // Texts go in as edits: the Windows ones are encoded by the model,
        // and the Macintosh one that Mac OS Roman can't hold is refused.
        for (std::size_t i = 0; i < names.size(); ++i) {
            table.records[i]->text = names[i].text;
        }
        std::vector<std::string> found;
        for (const NameWarning& warning : checkNames(table, {2.37})) {
            found.emplace_back(warning.rule->id);
        }
        EXPECT_EQ(found, check.expected);
    }
}

TEST(NameChecks, EveryRuleHasAnIdAndPlainWords) {
    for (const NameRule& rule : nameRules()) {
        EXPECT_EQ(findNameRule(rule.id), &rule);
        EXPECT_GT(std::string(rule.text).size(), 20u);
    }
}

// fvar: one axis 'wght' named by ID 256, one instance with subfamily 257 and
// PostScript name 258.
Bytes buildFvar() {
    Bytes fvar;
    for (const std::uint16_t field : {1, 0, 16, 2, 1, 20, 1, 10}) {
        putU16(fvar, field);
    }
    putU32(fvar, 0x77676874);  // 'wght'
    putU32(fvar, 100 << 16);
    putU32(fvar, 400 << 16);
    putU32(fvar, 900 << 16);
    putU16(fvar, 0);
    putU16(fvar, 256);
    putU16(fvar, 257);
    putU16(fvar, 0);
    putU32(fvar, 700 << 16);
    putU16(fvar, 258);
    return fvar;
}

TEST(NameIds, LabelsNameStandardIdsAndTheFontsOwnUses) {
    testsupport::TempDir dir;
    modeltest::LoadedFont font;
    modeltest::loadBytes(
        dir,
        buildFont({{"fvar", buildFvar()}, {"head", Bytes(54, 0)}, {"name", buildNameTable({})}}),
        font);
    ASSERT_TRUE(font.loaded);
    const NameIdUses uses = nameIdUsesOf(font.directory);
    EXPECT_EQ(nameIdLabel(16, uses), "16 Typographic Family");
    EXPECT_EQ(nameIdLabel(25, uses), "25 Variations PostScript Name Prefix");
    EXPECT_EQ(nameIdLabel(26, uses), "26 reserved");
    EXPECT_EQ(nameIdLabel(256, uses), "256 font-specific: fvar axis 'wght'");
    EXPECT_EQ(nameIdLabel(257, uses), "257 font-specific: fvar instance subfamily");
    EXPECT_EQ(nameIdLabel(258, uses), "258 font-specific: fvar instance PostScript name");
    EXPECT_EQ(nameIdLabel(259, uses), "259 font-specific");

    // Cut anywhere, the table gives what it holds whole and nothing else.
    const Bytes fvar = buildFvar();
    for (std::size_t length = 0; length < fvar.size(); ++length) {
        modeltest::LoadedFont cut;
        modeltest::loadBytes(
            dir,
            buildFont(
                {{"fvar", Bytes(fvar.begin(), fvar.begin() + static_cast<std::ptrdiff_t>(length))},
                 {"head", Bytes(54, 0)},
                 {"name", buildNameTable({})}}),
            cut, "cut.ttf");
        ASSERT_TRUE(cut.loaded);
        EXPECT_LE(nameIdUsesOf(cut.directory).size(), 2u) << length;
    }
}

}  // namespace
