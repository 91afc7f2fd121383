// name-edit-driver rename-family FONT NEW_FAMILY OUTPUT [MEMBER]
//
// The edit a user makes most with Kestrin, without the dialog: load FONT with
// the model, set every family-name record (name ID 1, whatever its platform)
// to NEW_FAMILY and save the font as OUTPUT. FONT may be a collection: then
// the fonts edited are MEMBER alone (numbered from 1; default: every font). It prints nothing on
// success, so that timing it against other tools measures the model and not a terminal. Exit
// status: 0 saved, 1 the model refused (its message, and the system's reason where there is one, on
// standard error: also a NEW_FAMILY that a record's encoding can't hold), 2 usage.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "FontFile.h"
#include "FontStore.h"

namespace {

constexpr std::uint16_t kFamilyNameID = 1;

int refused(const char* message, const std::string& reason) {
    std::fprintf(stderr, "Error: %s%s%s\n", message, reason.empty() ? "" : " ", reason.c_str());
    return 1;
}

int renameFamily(const char* source, const char* family, const char* output, std::size_t member) {
    FontFile file;
    std::string reason;
    if (const LoadError error = readFontFile(source, file, reason); error != LoadError::None) {
        return refused(messageOf(error), reason);
    }
    int renamed = 0;
    for (std::size_t i = 0; i < file.count(); ++i) {
        if (member != 0 && i + 1 != member) {
            continue;
        }
        NameTable& names = file.members[i].names;
        for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
            if (record->nameID == kFamilyNameID) {
                record->text = family;
                ++renamed;
            }
        }
    }
    if (renamed == 0) {
        // Adding a record would be a different edit from the one measured.
        std::fprintf(stderr, "name-edit-driver: %s has no family name\n", source);
        return 1;
    }
    if (const SaveError error = writeFontFile(output, file, reason); error != SaveError::None) {
        return refused(messageOf(error), reason);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    const bool withMember = args.size() == 6;
    const long member = withMember ? std::strtol(args[5], nullptr, 10) : 0;
    if ((args.size() != 5 && !withMember) || std::string_view(args[1]) != "rename-family" ||
        *args[3] == '\0' || (withMember && member < 1)) {
        std::fprintf(stderr,
                     "usage: name-edit-driver rename-family FONT NEW_FAMILY OUTPUT [MEMBER]\n");
        return 2;
    }
    return renameFamily(args[2], args[3], args[4], static_cast<std::size_t>(member));
}
