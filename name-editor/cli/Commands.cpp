#include "Commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <tuple>
#include <utility>
#include <vector>

#include "Files.h"
#include "Json.h"
#include "Listing.h"
#include "NameChecks.h"
#include "NameOperations.h"
#include "NameTable.h"
#include "NameText.h"

namespace names {

namespace {

using Key = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t>;

Key keyOf(const NameRecord& record) {
    return {record.platformID, record.encodingID, record.languageID, record.nameID};
}

// "name 6 (3/1/0x0409)": the record as list shows its key.
std::string describeKey(const NameRecord& record) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "name %u (%u/%u/0x%04X)", unsigned{record.nameID},
                  unsigned{record.platformID}, unsigned{record.encodingID},
                  unsigned{record.languageID});
    return text.data();
}

// An edit the record's encoding can't hold fails the font before anything
// is written, naming the record rather than leaving the save to refuse it.
bool encodable(const FontUnit& unit, TextOut& err) {
    const NameRecord* record = unit.names.firstUnencodable();
    if (record == nullptr) {
        return true;
    }
    err << "Error: " << unit.label << ": " << describeKey(*record) << " cannot be encoded in "
        << nametext::encodingName(record->platformID, record->encodingID, record->languageID)
        << ".\n";
    return false;
}

// Takes the selected records out of the font; returns how many.
std::size_t removeRecords(NameTable& names, const auto& selected) {
    std::size_t removed = 0;
    for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
        if (selected(*record)) {
            names.remove(*record);
            ++removed;
        }
    }
    return removed;
}

// The records still in the font, in table order.
std::vector<NameRecord*> recordsOf(NameTable& names) {
    std::vector<NameRecord*> records;
    for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
        records.push_back(record);
    }
    return records;
}

// A plan's changes outside the selection are dropped; one the encoding
// can't hold fails the font, as a set would: a family renamed in some
// records and not in others is worse than none renamed.
UnitResult carryOut(NamePlan plan, const RecordSelection& selection, const FontUnit& unit,
                    TextOut& err) {
    std::erase_if(plan.changes, [&](const NameChange& change) {
        return change.record != nullptr && !selection.matches(*change.record);
    });
    bool encodable = true;
    for (const NameChange& change : plan.changes) {
        if (!change.encodable) {
            NameRecord key;
            key.platformID = change.platformID;
            key.encodingID = change.encodingID;
            key.languageID = change.languageID;
            key.nameID = change.nameID;
            err << "Error: " << unit.label << ": " << describeKey(key) << " cannot hold "
                << jsonString(change.after) << " in "
                << nametext::encodingName(change.platformID, change.encodingID, change.languageID)
                << "; nothing written.\n";
            encodable = false;
        }
    }
    if (!encodable) {
        return UnitResult::Failed;
    }
    return apply(plan) != 0 ? UnitResult::Changed : UnitResult::Unchanged;
}

// --- list, export ---------------------------------------------------------

class ListAction : public Action {
  public:
    ListAction(const RecordSelection& filter, bool json) : filter_(filter), json_(json) {}

    void begin(TextOut& out) override {
        if (json_) {
            out << '[';
        }
    }
    UnitResult apply(FontUnit& unit, TextOut& out, TextOut& /*err*/) override {
        if (json_) {
            out << (first_ ? "\n" : ",\n");
            writeJsonFont(out, unit.file, unit.member, unit.names, filter_);
        } else {
            out << (first_ ? "" : "\n") << unit.label << ":\n";
            for (const std::string& line : listLines(unit.names, filter_)) {
                out << line << '\n';
            }
        }
        first_ = false;
        return UnitResult::Unchanged;
    }
    void end(TextOut& out) override {
        if (json_) {
            out << (first_ ? "]\n" : "\n]\n");
        }
    }

  private:
    RecordSelection filter_;
    bool json_;
    bool first_ = true;
};

std::unique_ptr<Action> makeList(const Invocation& invocation, std::string& /*error*/) {
    return std::make_unique<ListAction>(invocation.filter, invocation.json);
}

std::unique_ptr<Action> makeExport(const Invocation& invocation, std::string& /*error*/) {
    return std::make_unique<ListAction>(invocation.filter, true);
}

// --- set ------------------------------------------------------------------

struct Triple {
    std::uint16_t platform, encoding, language;
};

// Where set --add puts a name a font lacks: the platforms named (Windows
// Unicode English and Macintosh Roman English when none is, Windows alone
// when only an encoding or language is), each with the encodings and
// languages named or else its usual one.
std::vector<Triple> addTargets(const RecordSelection& filter) {
    std::vector<std::uint16_t> platforms = filter.platforms;
    if (platforms.empty()) {
        platforms = filter.encodings.empty() && filter.languages.empty()
                        ? std::vector<std::uint16_t>{3, 1}
                        : std::vector<std::uint16_t>{3};
    }
    std::vector<Triple> targets;
    for (const std::uint16_t platform : platforms) {
        // Unicode: BMP (3); Macintosh: Roman English (0, 0); ISO 10646 (1);
        // Windows: Unicode BMP, English (United States).
        const std::uint16_t usualEncoding = platform == 0 ? 3 : platform == 1 ? 0 : 1;
        const std::uint16_t usualLanguage = platform == 3 ? 0x409 : 0;
        const auto encodings =
            filter.encodings.empty() ? std::vector<std::uint16_t>{usualEncoding} : filter.encodings;
        const auto languages =
            filter.languages.empty() ? std::vector<std::uint16_t>{usualLanguage} : filter.languages;
        for (const std::uint16_t encoding : encodings) {
            for (const std::uint16_t language : languages) {
                targets.push_back({platform, encoding, language});
            }
        }
    }
    return targets;
}

class SetAction : public Action {
  public:
    SetAction(std::uint16_t nameID, std::string text, const RecordSelection& filter, bool add)
        : nameID_(nameID), text_(std::move(text)), filter_(filter), add_(add) {}

    UnitResult apply(FontUnit& unit, TextOut& /*out*/, TextOut& err) override {
        bool changed = false;
        for (NameRecord* record : recordsOf(unit.names)) {
            if (record->nameID == nameID_ && filter_.matches(*record) && record->text != text_) {
                record->text = text_;
                changed = true;
            }
        }
        if (add_) {
            for (const Triple& t : addTargets(filter_)) {
                if (unit.names.find(t.platform, t.encoding, t.language, nameID_) == nullptr) {
                    unit.names.add(t.platform, t.encoding, t.language, nameID_, text_.c_str());
                    changed = true;
                }
            }
        }
        if (!encodable(unit, err)) {
            return UnitResult::Failed;
        }
        return changed ? UnitResult::Changed : UnitResult::Unchanged;
    }

  private:
    std::uint16_t nameID_;
    std::string text_;
    RecordSelection filter_;
    bool add_;
};

std::unique_ptr<Action> makeSet(const Invocation& invocation, std::string& error) {
    const auto nameID = parseNumber(invocation.operands[0]);
    const std::string& text = invocation.operands[1];
    if (!nameID) {
        error = "set: '" + invocation.operands[0] + "' is no name ID (0 to 65535)";
    } else if (!invocation.filter.nameIDs.empty()) {
        error = "set takes its name ID as its first operand, not --id";
    } else if (text.empty()) {
        error = "set: the text is empty (delete removes names)";
    } else if (text.find('\0') != std::string::npos) {
        error = "set: the text holds a zero byte";
    } else {
        return std::make_unique<SetAction>(*nameID, text, invocation.filter, invocation.add);
    }
    return nullptr;
}

// --- delete ---------------------------------------------------------------

class DeleteAction : public Action {
  public:
    explicit DeleteAction(const RecordSelection& filter) : filter_(filter) {}

    UnitResult apply(FontUnit& unit, TextOut& /*out*/, TextOut& /*err*/) override {
        const auto removed = removeRecords(
            unit.names, [&](const NameRecord& record) { return filter_.matches(record); });
        return removed != 0 ? UnitResult::Changed : UnitResult::Unchanged;
    }

  private:
    RecordSelection filter_;
};

std::unique_ptr<Action> makeDelete(const Invocation& invocation, std::string& /*error*/) {
    return std::make_unique<DeleteAction>(invocation.filter);
}

// --- import ---------------------------------------------------------------

struct WantedName {
    Key key;
    std::string text;
};

struct WantedFont {
    std::string file;
    std::optional<std::uint32_t> member;
    std::vector<WantedName> names;
};

bool readWantedName(const json::Value& value, WantedName& name, std::string& error) {
    if (value.kind != json::Value::Kind::Object) {
        error = "a name is not an object";
        return false;
    }
    std::uint16_t fields[4] = {};
    const char* const keys[4] = {"platformID", "platEncID", "langID", "nameID"};
    for (int i = 0; i < 4; ++i) {
        const json::Value* field = value.find(keys[i]);
        const auto number = field != nullptr ? field->unsignedValue(0xFFFF) : std::nullopt;
        if (!number) {
            error = std::string("a name without a \"") + keys[i] + "\" from 0 to 65535";
            return false;
        }
        fields[i] = static_cast<std::uint16_t>(*number);
    }
    const json::Value* text = value.find("string");
    if (text == nullptr || text->kind != json::Value::Kind::String ||
        text->text.find('\0') != std::string::npos) {
        error = "a name without a \"string\" (text without zero characters)";
        return false;
    }
    name = {{fields[0], fields[1], fields[2], fields[3]}, text->text};
    return true;
}

bool readWantedFonts(const json::Value& document, std::vector<WantedFont>& fonts,
                     std::string& error) {
    // One font's object alone stands for a list of one.
    const std::vector<json::Value> single = document.kind == json::Value::Kind::Object
                                                ? std::vector<json::Value>{document}
                                                : std::vector<json::Value>{};
    if (document.kind != json::Value::Kind::Array && single.empty()) {
        error = "expected a list of fonts";
        return false;
    }
    for (const json::Value& value : single.empty() ? document.items : single) {
        WantedFont font;
        const json::Value* file = value.find("file");
        const json::Value* member = value.find("font");
        const json::Value* list = value.find("names");
        if (value.kind != json::Value::Kind::Object || file == nullptr ||
            file->kind != json::Value::Kind::String || list == nullptr ||
            list->kind != json::Value::Kind::Array) {
            error = "a font without \"file\" and \"names\"";
            return false;
        }
        font.file = file->text;
        if (member != nullptr) {
            font.member = member->unsignedValue(0xFFFFFFFF);
            if (!font.member || *font.member == 0) {
                error = font.file + ": \"font\" is not a font's number (from 1)";
                return false;
            }
        }
        for (const json::Value& item : list->items) {
            font.names.emplace_back();
            if (!readWantedName(item, font.names.back(), error)) {
                error.insert(0, font.file + ": ");
                return false;
            }
        }
        fonts.push_back(std::move(font));
    }
    return true;
}

class ImportAction : public Action {
  public:
    ImportAction(std::string source, std::vector<WantedFont> fonts,
                 const RecordSelection& selection)
        : source_(std::move(source)), fonts_(std::move(fonts)), selection_(selection) {}

    UnitResult apply(FontUnit& unit, TextOut& /*out*/, TextOut& err) override {
        const WantedFont* wanted = find(unit, err);
        if (wanted == nullptr) {
            return UnitResult::Failed;
        }
        // Each record of the font takes the first unused wanted name of its
        // key, so that keys a font holds twice pair up in order; records
        // left over go, names left over are added.
        std::vector<bool> used(wanted->names.size(), false);
        bool changed = false;
        std::vector<NameRecord*> unmatched;
        for (NameRecord* record : recordsOf(unit.names)) {
            if (!selection_.matches(*record)) {
                continue;
            }
            std::size_t k = 0;
            while (k < wanted->names.size() &&
                   (used[k] || wanted->names[k].key != keyOf(*record))) {
                ++k;
            }
            if (k == wanted->names.size()) {
                unmatched.push_back(record);
                continue;
            }
            used[k] = true;
            if (record->text != wanted->names[k].text) {
                record->text = wanted->names[k].text;
                changed = true;
            }
        }
        for (NameRecord* record : unmatched) {
            unit.names.remove(*record);
            changed = true;
        }
        for (std::size_t k = 0; k < wanted->names.size(); ++k) {
            const auto& [platform, encoding, language, nameID] = wanted->names[k].key;
            if (!used[k] && selection_.matches(platform, encoding, language, nameID)) {
                unit.names.add(platform, encoding, language, nameID, wanted->names[k].text.c_str());
                changed = true;
            }
        }
        if (!encodable(unit, err)) {
            return UnitResult::Failed;
        }
        return changed ? UnitResult::Changed : UnitResult::Unchanged;
    }

  private:
    // The font's object: the one for its path as found, else the one for its
    // file name (names exported from a folder, imported into a copy of it).
    const WantedFont* find(const FontUnit& unit, TextOut& err) const {
        const auto sameMember = [&](const WantedFont& font) { return font.member == unit.member; };
        for (const WantedFont& font : fonts_) {
            if (font.file == unit.file && sameMember(font)) {
                return &font;
            }
        }
        const std::string name = std::filesystem::path(unit.file).filename().string();
        const WantedFont* match = nullptr;
        for (const WantedFont& font : fonts_) {
            if (std::filesystem::path(font.file).filename() == name && sameMember(font)) {
                if (match != nullptr) {
                    err << "Error: " << unit.label << ": " << source_
                        << " holds several fonts of this name; give the path as exported.\n";
                    return nullptr;
                }
                match = &font;
            }
        }
        if (match == nullptr) {
            err << "Error: " << unit.label << ": not in " << source_ << ".\n";
        }
        return match;
    }

    std::string source_;
    std::vector<WantedFont> fonts_;
    RecordSelection selection_;
};

// All of the file import reads, also a pipe (`import <(jq ...)`).
bool readWholeFile(const std::string& path, std::string& text) {
    const filecore::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        return false;
    }
    std::array<char, std::size_t{64} * 1024> piece{};
    for (;;) {
        const ssize_t got = ::read(file.get(), piece.data(), piece.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        text.append(piece.data(), static_cast<std::size_t>(got));
    }
}

std::unique_ptr<Action> makeImport(const Invocation& invocation, std::string& error) {
    const std::string& source = invocation.operands[0];
    std::string text;
    if (!readWholeFile(source, text)) {
        error = "import: cannot read " + source;
        return nullptr;
    }
    std::vector<WantedFont> fonts;
    const auto document = json::parse(text, error);
    if (!document || !readWantedFonts(*document, fonts, error)) {
        error = "import: " + source + ": " + error;
        return nullptr;
    }
    return std::make_unique<ImportAction>(source, std::move(fonts), invocation.filter);
}

// --- rename-family, replace ----------------------------------------------

class RenameFamilyAction : public Action {
  public:
    RenameFamilyAction(std::string family, const RecordSelection& selection)
        : family_(std::move(family)), selection_(selection) {}

    UnitResult apply(FontUnit& unit, TextOut& /*out*/, TextOut& err) override {
        const std::string old = currentFamily(unit.names);
        if (old.empty()) {
            err << "Error: " << unit.label << ": the font has no family name (ID 1 or 16).\n";
            return UnitResult::Failed;
        }
        return carryOut(planRenameFamily(unit.names, old, family_), selection_, unit, err);
    }

  private:
    std::string family_;
    RecordSelection selection_;
};

std::unique_ptr<Action> makeRenameFamily(const Invocation& invocation, std::string& error) {
    const std::string& family = invocation.operands[0];
    if (family.empty() || family.find('\0') != std::string::npos) {
        error = "rename-family: the new family is empty";
        return nullptr;
    }
    return std::make_unique<RenameFamilyAction>(family, invocation.filter);
}

class ReplaceAction : public Action {
  public:
    ReplaceAction(std::string find, std::string replacement, const RecordSelection& selection)
        : find_(std::move(find)), replacement_(std::move(replacement)), selection_(selection) {}

    UnitResult apply(FontUnit& unit, TextOut& /*out*/, TextOut& err) override {
        return carryOut(planFindReplace(unit.names, find_, replacement_), selection_, unit, err);
    }

  private:
    std::string find_, replacement_;
    RecordSelection selection_;
};

std::unique_ptr<Action> makeReplace(const Invocation& invocation, std::string& error) {
    const std::string& find = invocation.operands[0];
    const std::string& replacement = invocation.operands[1];
    if (find.empty()) {
        error = "replace: the text to find is empty";
    } else if (find.find('\0') != std::string::npos ||
               replacement.find('\0') != std::string::npos) {
        error = "replace: the texts hold a zero byte";
    } else {
        return std::make_unique<ReplaceAction>(find, replacement, invocation.filter);
    }
    return nullptr;
}

// --- check ----------------------------------------------------------------

class CheckAction : public Action {
  public:
    explicit CheckAction(const RecordSelection& selection) : selection_(selection) {}

    UnitResult apply(FontUnit& unit, TextOut& out, TextOut& /*err*/) override {
        for (const NameWarning& warning : checkNames(unit.names, checkContextOf(unit.directory))) {
            if (!selection_.matches(*warning.record)) {
                continue;
            }
            const NameRecord& record = *warning.record;
            out << unit.label << ": " << warning.rule->id << ": " << describeKey(record);
            if (!warning.detail.empty()) {
                out << ": " << warning.detail;
            }
            out << '\n';
            flagged_ = true;
        }
        return UnitResult::Unchanged;
    }
    bool flagged() const override { return flagged_; }

  private:
    RecordSelection selection_;
    bool flagged_ = false;
};

std::unique_ptr<Action> makeCheck(const Invocation& invocation, std::string& /*error*/) {
    return std::make_unique<CheckAction>(invocation.filter);
}

constexpr Command kCommands[] = {
    {"list", "", 0, false, false, "print the names (--json: as JSON)", makeList},
    {"set", "ID TEXT", 2, true, false,
     "set name ID to TEXT where the font has it (--add: also where not)", makeSet},
    {"delete", "", 0, true, true, "delete the names the filters select", makeDelete},
    {"rename-family", "NEW", 1, true, false,
     "rename the family wherever a name holds it (see the manual)", makeRenameFamily},
    {"replace", "OLD NEW", 2, true, false, "replace OLD by NEW in the text of every name",
     makeReplace},
    {"check", "", 0, false, false, "warn of names that break the rules validators check",
     makeCheck},
    {"export", "", 0, false, false, "print the names as JSON, for import", makeExport},
    {"import", "FILE.json", 1, true, false,
     "give each font exactly the names FILE.json holds for it", makeImport},
};

}  // namespace

std::span<const Command> commands() {
    return kCommands;
}

const Command* findCommand(std::string_view name) {
    for (const Command& command : kCommands) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

}  // namespace names
