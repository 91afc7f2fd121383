// Changes to many name records at once: renaming a family, find and replace,
// setting one name everywhere, removing records, adding a record or a whole
// language. Each operation is planned first and applied second, so a window
// or the command line can show every record's text before and after, and
// nothing is changed until the user agrees. A plan may span several tables
// (the fonts of a collection): plans are appended to one another, and each
// change names its table.
//
// A plan points at records, so it is applied to the tables it was made from,
// unchanged since: apply it before editing them any other way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "NameTable.h"

// A record's platform, encoding and language: one "language" of the table.
struct NameTriple {
    std::uint16_t platformID = 0, encodingID = 0, languageID = 0;
    bool operator==(const NameTriple&) const = default;
    // clang-tidy 14 sees a literal 0 in a defaulted <=>.
    // NOLINTNEXTLINE(modernize-use-nullptr)
    auto operator<=>(const NameTriple&) const = default;
};

NameTriple tripleOf(const NameRecord& record);

// Which records an operation may touch. Empty lists allow every value.
struct RecordFilter {
    std::vector<std::uint16_t> nameIDs;
    std::vector<std::uint16_t> platformIDs;
    std::vector<NameTriple> triples;

    bool matches(const NameRecord& record) const;
};

enum class ChangeKind {
    Edit,    // `record` gets the text `after`
    Add,     // a new record with the key and the text `after`
    Remove,  // `record` leaves the font
};

struct NameChange {
    ChangeKind kind = ChangeKind::Edit;
    NameTable* table = nullptr;
    // The record edited or removed; null for an added record.
    NameRecord* record = nullptr;
    std::uint16_t platformID = 0, encodingID = 0, languageID = 0, nameID = 0;
    std::string before;  // empty for an added record
    std::string after;   // empty for a removed record
    // False when the record's encoding can't hold `after` (or has no
    // converter for it): such a change is shown to the user and never applied.
    bool encodable = true;
};

struct NamePlan {
    std::vector<NameChange> changes;

    bool empty() const { return changes.empty(); }
    // Changes that apply would carry out, and those it would leave out.
    std::size_t applicableCount() const;
    std::size_t unencodableCount() const;
    void append(NamePlan&& other);
};

// Carries out every encodable change of `plan`, in order; returns how many.
// Added records take their sorted place (NameTable::add).
std::size_t apply(const NamePlan& plan);

// The family a rename starts from: the typographic family (ID 16) if the
// table has one, else the family (ID 1); of the Windows English (United
// States) record where there is one, else of the first such record. "" when
// the table has neither.
std::string currentFamily(const NameTable& table);

// `text` as a PostScript name may hold it: printable ASCII without blanks and
// without [](){}<>/% ("Kestrin Sans" -> "KestrinSans"; "Ünïcode" -> "ncode").
std::string postScriptForm(std::string_view text);

// Every occurrence of `oldFamily` in the text of IDs 1, 3, 4, 16, 18 and 21
// becomes `newFamily`; every occurrence of postScriptForm(oldFamily) in IDs 6,
// 20 and 25 becomes postScriptForm(newFamily). All platforms, encodings and
// languages; records holding neither form are not in the plan. When the new
// family has no PostScript form at all, the PostScript records are left out
// rather than losing the family from them. An empty old or new family plans
// nothing.
NamePlan planRenameFamily(NameTable& table, std::string_view oldFamily, std::string_view newFamily);

// Every occurrence of `find` (exact, case-sensitive; not empty) in the text of
// the records `filter` allows becomes `replacement`.
NamePlan planFindReplace(NameTable& table, std::string_view find, std::string_view replacement,
                         const RecordFilter& filter = {});

// Name `nameID` becomes `text` in every triple of the table that `filter`
// allows (its nameIDs list is not used): where the triple has the name its
// record is edited, else, when `addWhereMissing`, a record is added.
// Records that already read `text` are not in the plan.
NamePlan planSetName(NameTable& table, std::uint16_t nameID, std::string_view text,
                     const RecordFilter& filter = {}, bool addWhereMissing = true);

// Every record `filter` allows leaves the font. An empty filter removes all.
// Records a save would leave out anyway (added empty) are not in the plan.
NamePlan planRemove(NameTable& table, const RecordFilter& filter);

// One record with the given key and text; where the table has that key
// already, its record is edited instead, so no key is there twice.
NamePlan planAddRecord(NameTable& table, NameTriple triple, std::uint16_t nameID,
                       std::string_view text);

// A new language: every record of `from` that a save would write copied to
// `to`, texts unchanged.
// Name IDs that `to` has already are left as they are.
NamePlan planAddLanguage(NameTable& table, NameTriple from, NameTriple to);
