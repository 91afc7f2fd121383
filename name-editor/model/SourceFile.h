// The file a model was read from, as it was when it was read. A save copies
// the tables nobody edited from that file rather than holding them in
// memory, so it first makes sure the file is still that one: the same file
// (not another put in its place), the same size and time of last change, and
// the same offset tables, directories and collection header. Anything else
// could write a mix of two fonts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files.h"
#include "FontErrors.h"

struct SourceFile {
    std::string path;
    filecore::FileIdentity identity;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    // The structures read, each with the bytes it had.
    struct Structure {
        std::uint64_t offset = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Structure> structures;

    // Takes `input`'s path, identity, size and time of last change.
    bool describe(const filecore::InputFile& input, std::string& reason);
    // Opens the file again as `input` and checks that it is as it was read:
    // SourceChanged with the reason otherwise.
    SaveError reopen(filecore::InputFile& input, std::string& reason) const;
};
