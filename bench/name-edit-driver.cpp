// name-edit-driver rename-family FONT NEW_FAMILY OUTPUT
//
// The edit a user makes most with Kestrin, without the dialog: load FONT with
// the model, set every family-name record (name ID 1, whatever its platform)
// to NEW_FAMILY and save the font as OUTPUT. It prints nothing on success, so
// that timing it against other tools measures the model and not a terminal.
// Exit status: 0 saved, 1 the model refused (its message, and the system's
// reason where there is one, on standard error: also a NEW_FAMILY that a
// record's encoding can't hold), 2 usage.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "FontStore.h"

namespace {

constexpr std::uint16_t kFamilyNameID = 1;

int refused(const char* message, const std::string& reason) {
    std::fprintf(stderr, "Error: %s%s%s\n", message, reason.empty() ? "" : " ", reason.c_str());
    return 1;
}

int renameFamily(const char* source, const char* family, const char* output) {
    TableDirectory directory;
    NameTable names;
    std::string reason;
    if (const LoadError error = readFont(source, directory, names, reason);
        error != LoadError::None) {
        return refused(messageOf(error), reason);
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
    if (const SaveError error = writeFont(output, directory, names, reason);
        error != SaveError::None) {
        return refused(messageOf(error), reason);
    }
    return 0;
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
