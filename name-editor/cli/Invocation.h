// What one run of kestrin-names was asked to do: the command, its operands,
// the fonts and the options, as the command line gave them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct NameRecord;

namespace names {

// Which records a command looks at. Each list that is empty selects every
// value; a record must match every list that is not.
struct RecordSelection {
    struct Range {
        std::uint16_t first = 0, last = 0;
    };
    std::vector<Range> nameIDs;
    std::vector<std::uint16_t> platforms, encodings, languages;

    bool empty() const {
        return nameIDs.empty() && platforms.empty() && encodings.empty() && languages.empty();
    }
    bool matches(const NameRecord& record) const;
    bool matches(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                 std::uint16_t nameID) const;
    bool matchesNameID(std::uint16_t nameID) const;
};

struct Command;

struct Invocation {
    const Command* command = nullptr;
    std::vector<std::string> operands;  // the command's own: ID TEXT, NEW, OLD NEW, FILE.json
    std::vector<std::string> fonts;     // files and folders
    RecordSelection filter;
    bool json = false;
    bool add = false;
    bool dryRun = false;
    bool recursive = false;
    bool quiet = false;
    std::optional<std::string> outputFolder;
    std::optional<std::uint32_t> member;  // --font N, from 1
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program's name. Options may stand anywhere,
// "--" ends them. On a wrong command line, nothing and `error` says why.
std::optional<Invocation> parseArguments(const std::vector<std::string>& arguments,
                                         std::string& error);

// "3", "0x409", "win": a 16-bit value as a user writes it.
std::optional<std::uint16_t> parseNumber(std::string_view text);

}  // namespace names
