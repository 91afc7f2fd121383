// name-edit-driver rename-family FONT NEW_FAMILY OUTPUT
//
// The edit a user makes most with Kestrin, without the dialog: load FONT with
// the model, set every family-name record (name ID 1, whatever its platform)
// to NEW_FAMILY and save the font as OUTPUT. It prints nothing on success, so
// that timing it against other tools measures the model and not a terminal.
// Exit status: 0 saved, 1 the model refused (its message is on standard
// error), 2 usage.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "FontStore.h"

namespace {

constexpr std::uint16_t kFamilyNameID = 1;

int renameFamily(const char* source, const char* family, const char* output) {
    TableDirectory directory;
    NameTable names;
    if (!loadFont(source, directory, names)) {
        return 1;
    }
    int renamed = 0;
    for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
        if (record->nameID == kFamilyNameID) {
            record->text = family;
            ++renamed;
        }
    }
    if (renamed == 0) {
        // Adding a record would be a different edit from the one measured.
        std::fprintf(stderr, "name-edit-driver: %s has no family name\n", source);
        return 1;
    }
    return saveFont(output, directory, names) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() != 5 || std::string_view(args[1]) != "rename-family" || *args[3] == '\0') {
        std::fprintf(stderr, "usage: name-edit-driver rename-family FONT NEW_FAMILY OUTPUT\n");
        return 2;
    }
    return renameFamily(args[2], args[3], args[4]);
}
