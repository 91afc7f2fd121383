// How failures of the file core become the model's LoadError and SaveError,
// the same for a single font and a collection.
#pragma once

#include <string>

#include "Files.h"
#include "FontErrors.h"
#include "SfntReader.h"

// The reader's problem as the sentence shown below the message.
inline LoadError fromSfntError(const filecore::SfntError& problem, std::string& reason) {
    if (problem.kind == filecore::SfntError::Kind::File) {
        reason = problem.file.reason.empty() ? filecore::sentenceOf(problem.problem)
                                             : problem.file.reason;
        return LoadError::CannotOpen;
    }
    reason = filecore::sentenceOf(problem.problem);
    return LoadError::Invalid;
}

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
