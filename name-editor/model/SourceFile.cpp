#include "SourceFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

bool SourceFile::describe(const filecore::InputFile& input, std::string& reason) {
    struct stat status {};
    if (::fstat(input.descriptor(), &status) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    path = input.path();
    identity = input.identity();
    size = input.size();
    modifiedSeconds = status.st_mtim.tv_sec;
    modifiedNanoseconds = status.st_mtim.tv_nsec;
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
