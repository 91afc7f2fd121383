// kestrin-names FONT [NEW_FAMILY OUTPUT]
//
// Prints the eight principal names of FONT for every platform / encoding /
// language triple it has. Given NEW_FAMILY and OUTPUT, copies FONT to OUTPUT,
// sets the family name of every triple that has one, saves OUTPUT through the
// model and prints OUTPUT's names as read back.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "Files.h"
#include "FontStore.h"

namespace {

constexpr std::array<const char*, 8> kNameLabels = {"copyright",         "family",    "subfamily",
                                                    "unique identifier", "full name", "version",
                                                    "PostScript name",   "trademark"};

using Triple = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>;

// The triples in the order they first occur in the table.
std::vector<Triple> triplesOf(NameTable& names) {
    std::vector<Triple> triples;
    for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
        const Triple triple{record->platformID, record->encodingID, record->languageID};
        if (std::find(triples.begin(), triples.end(), triple) == triples.end()) {
            triples.push_back(triple);
        }
    }
    return triples;
}

// A name on one line: line breaks and other control characters as escapes.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += '?';
        } else {
            out += c;
        }
    }
    return out;
}

void printNames(const char* path, NameTable& names) {
    std::printf("%s\n", path);
    for (const auto& [platform, encoding, language] : triplesOf(names)) {
        std::printf("platform %u, encoding %u, language 0x%04X\n", unsigned{platform},
                    unsigned{encoding}, unsigned{language});
        for (std::uint16_t id = 0; id < kNameLabels.size(); ++id) {
            const NameRecord* record = names.find(platform, encoding, language, id);
            std::printf("  %u %-17s %s\n", unsigned{id}, kNameLabels[id],
                        record != nullptr ? printable(record->text).c_str() : "(none)");
        }
    }
}

int renameFamily(const char* source, const char* family, const char* output) {
    // Copied onto itself under another spelling, the font would be lost.
    if (filecore::sameFile(source, output)) {
        std::fprintf(stderr, "kestrin-names: %s and %s are the same file\n", source, output);
        return 1;
    }
    std::error_code error;
    std::filesystem::copy_file(source, output, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        std::fprintf(stderr, "kestrin-names: cannot copy %s to %s: %s\n", source, output,
                     error.message().c_str());
        return 1;
    }
    TableDirectory directory;
    NameTable names;
    if (!loadFont(output, directory, names)) {
        return 1;
    }
    for (const auto& [platform, encoding, language] : triplesOf(names)) {
        if (NameRecord* record = names.find(platform, encoding, language, 1)) {
            record->text = family;
        }
    }
    if (!saveFont(output, directory, names)) {
        return 1;
    }
    TableDirectory savedDirectory;
    NameTable savedNames;
    if (!loadFont(output, savedDirectory, savedNames)) {
        return 1;
    }
    std::printf("\nsaved with family \"%s\":\n", family);
    printNames(output, savedNames);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: kestrin-names FONT [NEW_FAMILY OUTPUT]\n");
        return 2;
    }
    TableDirectory directory;
    NameTable names;
    if (!loadFont(argv[1], directory, names)) {
        return 1;
    }
    printNames(argv[1], names);
    return argc == 4 ? renameFamily(argv[1], argv[2], argv[3]) : 0;
}
