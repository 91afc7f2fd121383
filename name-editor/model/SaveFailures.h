// How a failure of the file core during a save becomes the model's SaveError,
// the same for a single font and a collection.
#pragma once

#include <string>

#include "Files.h"
#include "FontErrors.h"

inline SaveError fromFileError(const filecore::FileError& error, std::string& reason) {
    reason = error.reason;
    return error.step == filecore::FileError::Step::Write ? SaveError::WriteError
                                                          : SaveError::CannotOpen;
}

// A failure while copying from the file that was loaded: it ended early (cut
// since it was checked) or could not be read.
inline SaveError fromSourceError(const filecore::FileError& error, std::string& reason) {
    if (error.step != filecore::FileError::Step::Read) {
        return fromFileError(error, reason);
    }
    reason = error.reason;
    return SaveError::SourceChanged;
}
