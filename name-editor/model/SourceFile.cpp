#include "SourceFile.h"

bool SourceFile::describe(const filecore::InputFile& input, std::string& reason) {
    if (!input.isOpen()) {
        reason = "the file is not open";
        return false;
    }
    path = input.path();
    identity = input.identity();
    size = input.size();
    modifiedSeconds = input.modifiedSeconds();
    modifiedNanoseconds = input.modifiedNanoseconds();
    return true;
}

SaveError SourceFile::reopen(filecore::InputFile& input, std::string& reason) const {
    filecore::FileError error;
    if (!input.open(path, error)) {
        reason = error.reason;
        return SaveError::SourceChanged;
    }
    SourceFile now;
    if (!now.describe(input, reason)) {
        return SaveError::SourceChanged;
    }
    if (now.identity != identity) {
        reason = "another file has taken its place";
        return SaveError::SourceChanged;
    }
    if (now.size != size || now.modifiedSeconds != modifiedSeconds ||
        now.modifiedNanoseconds != modifiedNanoseconds) {
        reason = "it was written to by another program";
        return SaveError::SourceChanged;
    }
    std::vector<std::uint8_t> bytes;
    for (const Structure& structure : structures) {
        bytes.resize(structure.bytes.size());
        if (!input.readAt(structure.offset, bytes, error)) {
            reason = error.reason;
            return SaveError::SourceChanged;
        }
        if (bytes != structure.bytes) {
            reason = "its table directory is not the one that was loaded";
            return SaveError::SourceChanged;
        }
    }
    return SaveError::None;
}
