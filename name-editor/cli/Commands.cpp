#include "Commands.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "Json.h"
#include "Listing.h"
#include "NameTable.h"
#include "NameText.h"

namespace names {

namespace {

using Key = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t>;

Key keyOf(const NameRecord& record) {
    return {record.platformID, record.encodingID, record.languageID, record.nameID};
}

std::string describeKey(const NameRecord& record) {
    return "name " + std::to_string(record.nameID) + " (platform " +
           std::to_string(record.platformID) + ", encoding " + std::to_string(record.encodingID) +
           ", language " + std::to_string(record.languageID) + ")";
}

// An edit the record's encoding can't hold fails the font before anything
// is written, naming the record rather than leaving the save to refuse it.
bool encodable(const FontUnit& unit, std::ostream& err) {
    const NameRecord* record = unit.names.firstUnencodable();
    if (record == nullptr) {
        return true;
    }
    err << "Error: " << unit.label << ": " << describeKey(*record) << " cannot be encoded in "
        << nametext::encodingName(record->platformID, record->encodingID, record->languageID)
        << ".\n";
    return false;
}

// Takes the records out of the table; the save writes what is left.
std::size_t removeRecords(NameTable& names, const auto& selected) {
    return static_cast<std::size_t>(std::erase_if(
        names.records,
        [&](const std::unique_ptr<NameRecord>& record) { return selected(*record); }));
}

// --- list, export ---------------------------------------------------------

class ListAction : public Action {
  public:
    ListAction(const RecordFilter& filter, bool json) : filter_(filter), json_(json) {}

    void begin(std::ostream& out) override {
        if (json_) {
            out << '[';
        }
    }
    UnitResult apply(FontUnit& unit, std::ostream& out, std::ostream& /*err*/) override {
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
    void end(std::ostream& out) override {
        if (json_) {
            out << (first_ ? "]\n" : "\n]\n");
        }
    }

  private:
    RecordFilter filter_;
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
std::vector<Triple> addTargets(const RecordFilter& filter) {
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
    SetAction(std::uint16_t nameID, std::string text, const RecordFilter& filter, bool add)
        : nameID_(nameID), text_(std::move(text)), filter_(filter), add_(add) {}

    UnitResult apply(FontUnit& unit, std::ostream& /*out*/, std::ostream& err) override {
        bool changed = false;
        for (const auto& record : unit.names.records) {
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
    RecordFilter filter_;
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
    explicit DeleteAction(const RecordFilter& filter) : filter_(filter) {}

    UnitResult apply(FontUnit& unit, std::ostream& /*out*/, std::ostream& /*err*/) override {
        const auto removed = removeRecords(
            unit.names, [&](const NameRecord& record) { return filter_.matches(record); });
        return removed != 0 ? UnitResult::Changed : UnitResult::Unchanged;
    }

  private:
    RecordFilter filter_;
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
                error = font.file + ": " + error;
                return false;
            }
        }
        fonts.push_back(std::move(font));
    }
    return true;
}

class ImportAction : public Action {
  public:
    ImportAction(std::string source, std::vector<WantedFont> fonts)
        : source_(std::move(source)), fonts_(std::move(fonts)) {}

    UnitResult apply(FontUnit& unit, std::ostream& /*out*/, std::ostream& err) override {
        const WantedFont* wanted = find(unit, err);
        if (wanted == nullptr) {
            return UnitResult::Failed;
        }
        // Each record of the font takes the first unused wanted name of its
        // key, so that keys a font holds twice pair up in order; records
        // left over go, names left over are added.
        std::vector<bool> used(wanted->names.size(), false);
        bool changed = false;
        std::vector<const NameRecord*> unmatched;
        for (const auto& record : unit.names.records) {
            std::size_t k = 0;
            while (k < wanted->names.size() &&
                   (used[k] || wanted->names[k].key != keyOf(*record))) {
                ++k;
            }
            if (k == wanted->names.size()) {
                unmatched.push_back(record.get());
                continue;
            }
            used[k] = true;
            if (record->text != wanted->names[k].text) {
                record->text = wanted->names[k].text;
                changed = true;
            }
        }
        if (removeRecords(unit.names, [&](const NameRecord& record) {
                return std::find(unmatched.begin(), unmatched.end(), &record) != unmatched.end();
            }) != 0) {
            changed = true;
        }
        for (std::size_t k = 0; k < wanted->names.size(); ++k) {
            if (!used[k]) {
                const auto& [platform, encoding, language, nameID] = wanted->names[k].key;
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
    const WantedFont* find(const FontUnit& unit, std::ostream& err) const {
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
};

std::unique_ptr<Action> makeImport(const Invocation& invocation, std::string& error) {
    const std::string& source = invocation.operands[0];
    std::ifstream in(source, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        error = "import: cannot read " + source;
        return nullptr;
    }
    std::vector<WantedFont> fonts;
    const auto document = json::parse(text.str(), error);
    if (!document || !readWantedFonts(*document, fonts, error)) {
        error = "import: " + source + ": " + error;
        return nullptr;
    }
    return std::make_unique<ImportAction>(source, std::move(fonts));
}

constexpr Command kCommands[] = {
    {"list", "", 0, false, false, "print the names (--json: as JSON)", makeList},
    {"set", "ID TEXT", 2, true, false,
     "set name ID to TEXT where the font has it (--add: also where not)", makeSet},
    {"delete", "", 0, true, true, "delete the names the filters select", makeDelete},
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
