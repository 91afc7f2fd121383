#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "NameOperations.h"

using namespace testsupport;

namespace {

struct Name {
    std::uint16_t platformID, encodingID, languageID, nameID;
    std::string text;
    bool operator==(const Name&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Name& name) {
    return out << "(" << name.platformID << "," << name.encodingID << "," << name.languageID << ","
               << name.nameID << ") \"" << name.text << "\"";
}

constexpr NameTriple kMac{1, 0, 0};
constexpr NameTriple kWindows{3, 1, 0x409};

// A table as read from a file: Macintosh names in Mac OS Roman, the rest in
// UTF-16BE (the tests' texts are ASCII).
void readTable(NameTable& table, const std::vector<Name>& names) {
    std::vector<TestName> stored;
    for (const Name& name : names) {
        stored.push_back({name.platformID, name.encodingID, name.languageID, name.nameID,
                          name.platformID == 1 ? bytesOf(name.text) : utf16be(name.text)});
    }
    ASSERT_EQ(table.read(buildNameTable(stored)), LoadError::None);
}

// The records a save writes, decoded again.
std::vector<Name> saved(const NameTable& table) {
    Bytes out;
    EXPECT_EQ(table.write(out), SaveError::None);
    NameTable back;
    EXPECT_EQ(back.read(out), LoadError::None);
    std::vector<Name> names;
    for (const auto& record : back.records) {
        names.push_back({record->platformID, record->encodingID, record->languageID, record->nameID,
                         record->text});
    }
    return names;
}

// A family with typographic names, a Macintosh set and a unique ID built
// from the PostScript name.
const std::vector<Name> kNotoSemiBold = {
    {1, 0, 0, 1, "Noto Sans SemiBold"},
    {1, 0, 0, 4, "Noto Sans SemiBold"},
    {1, 0, 0, 6, "NotoSans-SemiBold"},
    {3, 1, 0x409, 0, "Copyright 2022 The Noto Sans Project Authors"},
    {3, 1, 0x409, 1, "Noto Sans SemiBold"},
    {3, 1, 0x409, 2, "Regular"},
    {3, 1, 0x409, 3, "2.013;GOOG;NotoSans-SemiBold"},
    {3, 1, 0x409, 4, "Noto Sans SemiBold"},
    {3, 1, 0x409, 6, "NotoSans-SemiBold"},
    {3, 1, 0x409, 16, "Noto Sans"},
    {3, 1, 0x409, 17, "SemiBold"},
    {3, 1, 0x409, 25, "NotoSans"},
};

TEST(NameOperations, RenameFamilyChangesTheFamilyWhereverItStands) {
    NameTable table;
    readTable(table, kNotoSemiBold);
    ASSERT_EQ(currentFamily(table), "Noto Sans");
    const NamePlan plan = planRenameFamily(table, "Noto Sans", "Kestrin Sans");
    EXPECT_EQ(plan.changes.size(), 9u);  // not the copyright, ID 2 or ID 17
    EXPECT_EQ(plan.unencodableCount(), 0u);
    EXPECT_EQ(apply(plan), 9u);
    EXPECT_EQ(saved(table), (std::vector<Name>{
                                {1, 0, 0, 1, "Kestrin Sans SemiBold"},
                                {1, 0, 0, 4, "Kestrin Sans SemiBold"},
                                {1, 0, 0, 6, "KestrinSans-SemiBold"},
                                {3, 1, 0x409, 0, "Copyright 2022 The Noto Sans Project Authors"},
                                {3, 1, 0x409, 1, "Kestrin Sans SemiBold"},
                                {3, 1, 0x409, 2, "Regular"},
                                {3, 1, 0x409, 3, "2.013;GOOG;KestrinSans-SemiBold"},
                                {3, 1, 0x409, 4, "Kestrin Sans SemiBold"},
                                {3, 1, 0x409, 6, "KestrinSans-SemiBold"},
                                {3, 1, 0x409, 16, "Kestrin Sans"},
                                {3, 1, 0x409, 17, "SemiBold"},
                                {3, 1, 0x409, 25, "KestrinSans"},
                            }));
}

TEST(NameOperations, RenameReportsWhatAnEncodingCantHoldAndStoresTheRest) {
    NameTable table;
    readTable(table, {{1, 0, 0, 1, "Old"}, {3, 1, 0x409, 1, "Old"}, {3, 1, 0x409, 6, "Old"}});
    // A family in Japanese: Mac OS Roman can't hold it, and the PostScript
    // form would be empty, so the PostScript name is left alone.
    const NamePlan plan = planRenameFamily(table, "Old", "\xE6\x97\xA5\xE6\x9C\xAC");
    ASSERT_EQ(plan.changes.size(), 2u);
    EXPECT_FALSE(plan.changes[0].encodable);
    EXPECT_TRUE(plan.changes[1].encodable);
    EXPECT_EQ(apply(plan), 1u);
    EXPECT_EQ(table.records[0]->text, "Old");
    EXPECT_EQ(table.records[1]->text, "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(table.records[2]->text, "Old");
    EXPECT_TRUE(planRenameFamily(table, "Old", "").empty());  // would empty every family
    EXPECT_EQ(postScriptForm("K\xC3\xA9stri[n] S(a)n{s}</%> 2"), "KstrinSans2");
}

struct OperationCase {
    const char* name;
    std::function<NamePlan(NameTable&)> plan;
    std::vector<Name> after;  // what a save writes, in order
};

const std::vector<Name> kTwoLanguages = {
    {1, 0, 0, 1, "Sans"},
    {1, 0, 0, 2, "Bold"},
    {3, 1, 0x409, 1, "Sans"},
    {3, 1, 0x409, 2, "Bold"},
    {3, 1, 0x409, 5, "Version 1.0"},
};

const OperationCase kOperations[] = {
    {"find and replace everywhere",
     [](NameTable& t) { return planFindReplace(t, "s", "z"); },
     {{1, 0, 0, 1, "Sanz"},
      {1, 0, 0, 2, "Bold"},
      {3, 1, 0x409, 1, "Sanz"},
      {3, 1, 0x409, 2, "Bold"},
      {3, 1, 0x409, 5, "Verzion 1.0"}}},
    {"find and replace on Windows name ID 1 only",
     [](NameTable& t) {
         return planFindReplace(t, "Sans", "Serif", {{1}, {3}, {}});
     },
     {{1, 0, 0, 1, "Sans"},
      {1, 0, 0, 2, "Bold"},
      {3, 1, 0x409, 1, "Serif"},
      {3, 1, 0x409, 2, "Bold"},
      {3, 1, 0x409, 5, "Version 1.0"}}},
    {"set a name: edited where there, added in sorted place where not",
     [](NameTable& t) { return planSetName(t, 5, "Version 2.0"); },
     {{1, 0, 0, 1, "Sans"},
      {1, 0, 0, 2, "Bold"},
      {1, 0, 0, 5, "Version 2.0"},
      {3, 1, 0x409, 1, "Sans"},
      {3, 1, 0x409, 2, "Bold"},
      {3, 1, 0x409, 5, "Version 2.0"}}},
    {"remove by name ID",
     [](NameTable& t) {
         return planRemove(t, {{2}, {}, {}});
     },
     {{1, 0, 0, 1, "Sans"}, {3, 1, 0x409, 1, "Sans"}, {3, 1, 0x409, 5, "Version 1.0"}}},
    {"add a record, and one whose key is there: edited, not doubled",
     [](NameTable& t) {
         NamePlan plan = planAddRecord(t, kWindows, 16, "Sans Family");
         plan.append(planAddRecord(t, kMac, 1, "Mac Sans"));
         return plan;
     },
     {{1, 0, 0, 1, "Mac Sans"},
      {1, 0, 0, 2, "Bold"},
      {3, 1, 0x409, 1, "Sans"},
      {3, 1, 0x409, 2, "Bold"},
      {3, 1, 0x409, 5, "Version 1.0"},
      {3, 1, 0x409, 16, "Sans Family"}}},
    {"add a language as a copy of English (United States)",
     [](NameTable& t) {
         return planAddLanguage(t, kWindows, {3, 1, 0x809});
     },
     {{1, 0, 0, 1, "Sans"},
      {1, 0, 0, 2, "Bold"},
      {3, 1, 0x409, 1, "Sans"},
      {3, 1, 0x409, 2, "Bold"},
      {3, 1, 0x409, 5, "Version 1.0"},
      {3, 1, 0x809, 1, "Sans"},
      {3, 1, 0x809, 2, "Bold"},
      {3, 1, 0x809, 5, "Version 1.0"}}},
    {"a language copied onto one that has some names keeps them",
     [](NameTable& t) { return planAddLanguage(t, kWindows, kMac); },
     {{1, 0, 0, 1, "Sans"},
      {1, 0, 0, 2, "Bold"},
      {1, 0, 0, 5, "Version 1.0"},
      {3, 1, 0x409, 1, "Sans"},
      {3, 1, 0x409, 2, "Bold"},
      {3, 1, 0x409, 5, "Version 1.0"}}},
};

TEST(NameOperations, EachOperationSavesWhatItPlanned) {
    for (const OperationCase& operation : kOperations) {
        SCOPED_TRACE(operation.name);
        NameTable table;
        readTable(table, kTwoLanguages);
        apply(operation.plan(table));
        EXPECT_EQ(saved(table), operation.after);
    }
}

TEST(NameOperations, RestoringASnapshotUndoesEveryKindOfChange) {
    NameTable table;
    readTable(table, kTwoLanguages);
    Bytes before;
    ASSERT_EQ(table.write(before), SaveError::None);
    std::vector<const NameRecord*> addresses;
    for (const auto& record : table.records) {
        addresses.push_back(record.get());
    }
    const NameTable::Snapshot snapshot = table.snapshot();
    NamePlan plan = planRemove(table, {{2}, {}, {}});
    plan.append(planFindReplace(table, "Sans", "Serif"));
    plan.append(planAddLanguage(table, kWindows, {3, 1, 0x407}));
    apply(plan);
    EXPECT_EQ(table.find(1, 0, 0, 2), nullptr);
    table.restore(snapshot);
    ASSERT_EQ(table.records.size(), addresses.size());
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        EXPECT_EQ(table.records[i].get(), addresses[i]);
        EXPECT_TRUE(table.records[i]->keepsStoredBytes());
    }
    Bytes after;
    ASSERT_EQ(table.write(after), SaveError::None);
    EXPECT_EQ(after, before);
}

}  // namespace
