#include "NameOperations.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "NameText.h"

namespace {

// Where a family stands as text, and where in its PostScript form.
constexpr std::array<std::uint16_t, 6> kFamilyTextIDs = {1, 3, 4, 16, 18, 21};
constexpr std::array<std::uint16_t, 3> kFamilyPostScriptIDs = {6, 20, 25};
constexpr std::uint16_t kUniqueID = 3;

constexpr std::uint16_t kWindows = 3, kWindowsUnicodeBmp = 1, kEnglishUnitedStates = 0x409;

template <typename Range>
bool holds(const Range& values, std::uint16_t value) {
    return std::find(std::begin(values), std::end(values), value) != std::end(values);
}

// `text` with every occurrence of `find` (not empty) replaced, left to right.
std::string replaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(find); at != std::string_view::npos;
         at = text.find(find, from)) {
        out.append(text.substr(from, at - from));
        out.append(replacement);
        from = at + find.size();
    }
    out.append(text.substr(from));
    return out;
}

NameChange editOf(NameTable& table, NameRecord& record, std::string after) {
    NameChange change;
    change.kind = ChangeKind::Edit;
    change.table = &table;
    change.record = &record;
    change.platformID = record.platformID;
    change.encodingID = record.encodingID;
    change.languageID = record.languageID;
    change.nameID = record.nameID;
    change.before = record.text;
    change.encodable = record.canStore(after);
    change.after = std::move(after);
    return change;
}

NameChange additionOf(NameTable& table, NameTriple triple, std::uint16_t nameID,
                      std::string after) {
    NameChange change;
    change.kind = ChangeKind::Add;
    change.table = &table;
    change.platformID = triple.platformID;
    change.encodingID = triple.encodingID;
    change.languageID = triple.languageID;
    change.nameID = nameID;
    change.encodable =
        nametext::encode(triple.platformID, triple.encodingID, triple.languageID, after)
            .has_value();
    change.after = std::move(after);
    return change;
}

// Texts held in records never hold a zero byte; text from elsewhere is cut there.
std::string_view upToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace

NameTriple tripleOf(const NameRecord& record) {
    return {record.platformID, record.encodingID, record.languageID};
}

bool RecordFilter::matches(const NameRecord& record) const {
    return (nameIDs.empty() || holds(nameIDs, record.nameID)) &&
           (platformIDs.empty() || holds(platformIDs, record.platformID)) &&
           (triples.empty() ||
            std::find(triples.begin(), triples.end(), tripleOf(record)) != triples.end());
}

std::size_t NamePlan::applicableCount() const {
    return changes.size() - unencodableCount();
}

std::size_t NamePlan::unencodableCount() const {
    return static_cast<std::size_t>(
        std::count_if(changes.begin(), changes.end(),
                      [](const NameChange& change) { return !change.encodable; }));
}

void NamePlan::append(NamePlan&& other) {
    changes.insert(changes.end(), std::make_move_iterator(other.changes.begin()),
                   std::make_move_iterator(other.changes.end()));
    other.changes.clear();
}

std::size_t apply(const NamePlan& plan) {
    std::size_t applied = 0;
    for (const NameChange& change : plan.changes) {
        if (!change.encodable || change.table == nullptr) {
            continue;
        }
        switch (change.kind) {
            case ChangeKind::Edit:
                if (change.record == nullptr || change.record->isRemoved()) {
                    continue;
                }
                change.record->text = upToZero(change.after);
                break;
            case ChangeKind::Add:
                change.table
                    ->add(change.platformID, change.encodingID, change.languageID, change.nameID,
                          nullptr)
                    ->text = upToZero(change.after);
                break;
            case ChangeKind::Remove:
                if (change.record == nullptr) {
                    continue;
                }
                change.table->remove(*change.record);
                break;
        }
        ++applied;
    }
    return applied;
}

std::string currentFamily(const NameTable& table) {
    for (const std::uint16_t nameID : {std::uint16_t{16}, std::uint16_t{1}}) {
        const NameRecord* first = nullptr;
        for (const auto& record : table.records) {
            if (record->isRemoved() || record->nameID != nameID || record->text.empty()) {
                continue;
            }
            if (record->platformID == kWindows && record->encodingID == kWindowsUnicodeBmp &&
                record->languageID == kEnglishUnitedStates) {
                return record->text;
            }
            if (first == nullptr) {
                first = record.get();
            }
        }
        if (first != nullptr) {
            return first->text;
        }
    }
    return {};
}

std::string postScriptForm(std::string_view text) {
    constexpr std::string_view kForbidden = "[](){}<>/%";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // Bytes of characters beyond ASCII are all 0x80 and up: they go too.
        if (byte >= 33 && byte <= 126 && kForbidden.find(c) == std::string_view::npos) {
            out += c;
        }
    }
    return out;
}

NamePlan planRenameFamily(NameTable& table, std::string_view oldFamily,
                          std::string_view newFamily) {
    NamePlan plan;
    oldFamily = upToZero(oldFamily);
    newFamily = upToZero(newFamily);
    // An empty new family would empty every family name: no rename.
    if (oldFamily.empty() || newFamily.empty() || oldFamily == newFamily) {
        return plan;
    }
    const std::string oldPostScript = postScriptForm(oldFamily);
    const std::string newPostScript = postScriptForm(newFamily);
    const bool renamesPostScript = !oldPostScript.empty() && !newPostScript.empty();
    for (const auto& record : table.records) {
        if (record->isRemoved()) {
            continue;
        }
        std::string after = record->text;
        const bool asText = holds(kFamilyTextIDs, record->nameID) &&
                            record->text.find(oldFamily) != std::string::npos;
        if (asText) {
            after = replaceAll(record->text, oldFamily, newFamily);
        } else if (renamesPostScript &&
                   (holds(kFamilyPostScriptIDs, record->nameID) || record->nameID == kUniqueID)) {
            // Unique identifiers are often built from the PostScript name
            // ("2.013;GOOG;NotoSans-Bold"); one left with the old family
            // would no longer tell the renamed font from the original.
            after = replaceAll(record->text, oldPostScript, newPostScript);
        }
        if (after != record->text) {
            plan.changes.push_back(editOf(table, *record, std::move(after)));
        }
    }
    return plan;
}

NamePlan planFindReplace(NameTable& table, std::string_view find, std::string_view replacement,
                         const RecordFilter& filter) {
    NamePlan plan;
    find = upToZero(find);
    if (find.empty()) {
        return plan;
    }
    for (const auto& record : table.records) {
        if (record->isRemoved() || !filter.matches(*record)) {
            continue;
        }
        std::string after = replaceAll(record->text, find, upToZero(replacement));
        if (after != record->text) {
            plan.changes.push_back(editOf(table, *record, std::move(after)));
        }
    }
    return plan;
}

NamePlan planSetName(NameTable& table, std::uint16_t nameID, std::string_view text,
                     const RecordFilter& filter, bool addWhereMissing) {
    NamePlan plan;
    text = upToZero(text);
    RecordFilter anyName = filter;
    anyName.nameIDs.clear();
    std::vector<NameTriple> triples;
    std::set<NameTriple> seen;
    for (const auto& record : table.records) {
        if (!record->isRemoved() && anyName.matches(*record) &&
            seen.insert(tripleOf(*record)).second) {
            triples.push_back(tripleOf(*record));
        }
    }
    // The first record of each triple's name `nameID`, found in one pass.
    std::map<NameTriple, NameRecord*> named;
    for (const auto& record : table.records) {
        if (!record->isRemoved() && record->nameID == nameID) {
            named.try_emplace(tripleOf(*record), record.get());
        }
    }
    for (const NameTriple& triple : triples) {
        const auto found = named.find(triple);
        if (found != named.end()) {
            if (found->second->text != text) {
                plan.changes.push_back(editOf(table, *found->second, std::string(text)));
            }
        } else if (addWhereMissing && !text.empty()) {
            plan.changes.push_back(additionOf(table, triple, nameID, std::string(text)));
        }
    }
    return plan;
}

NamePlan planRemove(NameTable& table, const RecordFilter& filter) {
    NamePlan plan;
    for (const auto& record : table.records) {
        if (record->isDropped() || !filter.matches(*record)) {
            continue;
        }
        NameChange change = editOf(table, *record, std::string());
        change.kind = ChangeKind::Remove;
        change.encodable = true;
        plan.changes.push_back(std::move(change));
    }
    return plan;
}

NamePlan planAddRecord(NameTable& table, NameTriple triple, std::uint16_t nameID,
                       std::string_view text) {
    NamePlan plan;
    text = upToZero(text);
    NameRecord* existing =
        table.find(triple.platformID, triple.encodingID, triple.languageID, nameID);
    if (existing != nullptr) {
        if (existing->text != text) {
            plan.changes.push_back(editOf(table, *existing, std::string(text)));
        }
    } else {
        plan.changes.push_back(additionOf(table, triple, nameID, std::string(text)));
    }
    return plan;
}

NamePlan planAddLanguage(NameTable& table, NameTriple from, NameTriple to) {
    NamePlan plan;
    if (from == to) {
        return plan;
    }
    // Name IDs `to` has already, and those copied so far: each once.
    std::set<std::uint16_t> taken;
    for (const auto& record : table.records) {
        if (!record->isRemoved() && tripleOf(*record) == to) {
            taken.insert(record->nameID);
        }
    }
    for (const auto& record : table.records) {
        if (record->isDropped() || tripleOf(*record) != from ||
            !taken.insert(record->nameID).second) {
            continue;
        }
        plan.changes.push_back(additionOf(table, to, record->nameID, record->text));
    }
    return plan;
}
