#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "Commands.h"
#include "Invocation.h"
#include "NameTable.h"

namespace names {

namespace {

struct PlatformAlias {
    std::string_view name;
    std::uint16_t id;
};
constexpr PlatformAlias kPlatformAliases[] = {
    {"unicode", 0}, {"mac", 1}, {"macintosh", 1}, {"iso", 2}, {"win", 3}, {"windows", 3},
};

template <typename T>
bool contains(const std::vector<T>& values, const T& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// Splits "1,2,16" at the commas; an empty item is an error.
bool forEachItem(std::string_view list, const auto& take) {
    while (true) {
        const std::size_t comma = list.find(',');
        if (!take(list.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

bool parseNumbers(std::string_view list, std::vector<std::uint16_t>& into, bool platforms) {
    return forEachItem(list, [&](std::string_view item) {
        std::optional<std::uint16_t> value = parseNumber(item);
        if (!value && platforms) {
            for (const PlatformAlias& alias : kPlatformAliases) {
                if (alias.name == item) {
                    value = alias.id;
                }
            }
        }
        if (value) {
            into.push_back(*value);
        }
        return value.has_value();
    });
}

// "1,3-6,16": name IDs and ranges of them.
bool parseRanges(std::string_view list, std::vector<RecordSelection::Range>& into) {
    return forEachItem(list, [&](std::string_view item) {
        const std::size_t dash = item.find('-', 1);
        const auto first = parseNumber(item.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : parseNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first) {
            return false;
        }
        into.push_back({*first, *last});
        return true;
    });
}

enum class Option {
    Id,
    Platform,
    Encoding,
    Language,
    Font,
    Output,  // take a value
    Json,
    Add,
    DryRun,
    Recursive,
    Quiet,
    Help,
    Version,
};

struct OptionSpelling {
    std::string_view longName;
    char shortName;
    Option option;
    bool takesValue;
};

constexpr OptionSpelling kOptions[] = {
    {"id", 'i', Option::Id, true},
    {"platform", 'p', Option::Platform, true},
    {"encoding", 'e', Option::Encoding, true},
    {"language", 'l', Option::Language, true},
    {"font", 'f', Option::Font, true},
    {"output", 'o', Option::Output, true},
    {"json", 'j', Option::Json, false},
    {"add", 'a', Option::Add, false},
    {"dry-run", 'n', Option::DryRun, false},
    {"recursive", 'r', Option::Recursive, false},
    {"quiet", 'q', Option::Quiet, false},
    {"help", 'h', Option::Help, false},
    {"version", 'V', Option::Version, false},
};

bool takeValue(Invocation& invocation, Option option, const std::string& name,
               std::string_view value, std::string& error) {
    bool good = !value.empty();
    RecordSelection& filter = invocation.filter;
    switch (option) {
        case Option::Id:
            good = good && parseRanges(value, filter.nameIDs);
            break;
        case Option::Platform:
            good = good && parseNumbers(value, filter.platforms, true);
            break;
        case Option::Encoding:
            good = good && parseNumbers(value, filter.encodings, false);
            break;
        case Option::Language:
            good = good && parseNumbers(value, filter.languages, false);
            break;
        case Option::Font: {
            const auto number = parseNumber(value);
            good = number && *number > 0;
            if (good) {
                invocation.member = *number;
            }
            break;
        }
        case Option::Output:
            invocation.outputFolder = std::string(value);
            break;
        default:
            break;
    }
    if (!good) {
        error = "invalid value '" + std::string(value) + "' for " + name;
    }
    return good;
}

void setFlag(Invocation& invocation, Option option) {
    switch (option) {
        case Option::Json:
            invocation.json = true;
            break;
        case Option::Add:
            invocation.add = true;
            break;
        case Option::DryRun:
            invocation.dryRun = true;
            break;
        case Option::Recursive:
            invocation.recursive = true;
            break;
        case Option::Quiet:
            invocation.quiet = true;
            break;
        case Option::Help:
            invocation.help = true;
            break;
        case Option::Version:
            invocation.version = true;
            break;
        default:
            break;
    }
}

// Options that only some commands take.
bool checkOptionsFit(const Invocation& invocation, std::string& error) {
    const Command& command = *invocation.command;
    const std::string name(command.name);
    if (!command.writes && (invocation.dryRun || invocation.outputFolder)) {
        error = name + " writes no font: --dry-run and --output are for commands that do";
        return false;
    }
    if (invocation.json && name != "list") {
        error = "--json is for list (export always writes JSON)";
        return false;
    }
    if (invocation.add && name != "set") {
        error = "--add is for set";
        return false;
    }
    if (command.needsFilter && invocation.filter.empty()) {
        error = name + " needs at least one of --id, --platform, --encoding, --language";
        return false;
    }
    if (invocation.fonts.empty()) {
        error = "no font given";
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::uint16_t> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || problem != std::errc() || stop != end ||
        value > std::numeric_limits<std::uint16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

bool RecordSelection::matchesNameID(std::uint16_t nameID) const {
    return nameIDs.empty() || std::any_of(nameIDs.begin(), nameIDs.end(), [&](const Range& range) {
               return range.first <= nameID && nameID <= range.last;
           });
}

bool RecordSelection::matches(std::uint16_t platformID, std::uint16_t encodingID,
                              std::uint16_t languageID, std::uint16_t nameID) const {
    return matchesNameID(nameID) && (platforms.empty() || contains(platforms, platformID)) &&
           (encodings.empty() || contains(encodings, encodingID)) &&
           (languages.empty() || contains(languages, languageID));
}

bool RecordSelection::matches(const NameRecord& record) const {
    return matches(record.platformID, record.encodingID, record.languageID, record.nameID);
}

std::optional<Invocation> parseArguments(const std::vector<std::string>& arguments,
                                         std::string& error) {
    Invocation invocation;
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // --name, --name=value, -x, -xVALUE, -x VALUE; short flags don't bundle.
        const bool isLong = argument[1] == '-';
        std::string_view body = std::string_view(argument).substr(isLong ? 2 : 1);
        std::optional<std::string_view> inlineValue;
        if (isLong) {
            if (const std::size_t equals = body.find('='); equals != std::string_view::npos) {
                inlineValue = body.substr(equals + 1);
                body = body.substr(0, equals);
            }
        } else if (body.size() > 1) {
            inlineValue = body.substr(1);
            body = body.substr(0, 1);
        }
        const auto spelling = std::find_if(
            std::begin(kOptions), std::end(kOptions), [&](const OptionSpelling& option) {
                return isLong ? option.longName == body
                              : body.size() == 1 && option.shortName == body[0];
            });
        const std::string name = (isLong ? "--" : "-") + std::string(body);
        if (spelling == std::end(kOptions)) {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (!spelling->takesValue) {
            if (inlineValue) {
                error = name + " takes no value";
                return std::nullopt;
            }
            setFlag(invocation, spelling->option);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 == arguments.size()) {
                error = name + " needs a value";
                return std::nullopt;
            }
            inlineValue = arguments[++i];
        }
        if (!takeValue(invocation, spelling->option, name, *inlineValue, error)) {
            return std::nullopt;
        }
    }
    if (invocation.help || invocation.version) {
        return invocation;
    }
    if (words.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    invocation.command = findCommand(words.front());
    if (invocation.command == nullptr) {
        error = "unknown command '" + words.front() + "'";
        return std::nullopt;
    }
    const std::size_t operandCount = invocation.command->operandCount;
    if (words.size() < 1 + operandCount) {
        error = std::string(invocation.command->name) + " needs " +
                std::string(invocation.command->operands);
        return std::nullopt;
    }
    invocation.operands.assign(words.begin() + 1,
                               words.begin() + static_cast<std::ptrdiff_t>(1 + operandCount));
    invocation.fonts.assign(words.begin() + static_cast<std::ptrdiff_t>(1 + operandCount),
                            words.end());
    if (!checkOptionsFit(invocation, error)) {
        return std::nullopt;
    }
    return invocation;
}

}  // namespace names
