#include "FontDirectory.h"

namespace zelvic {

std::string readProblem(const filecore::FileError& error) {
    // Every range was checked against the file's size: a short read means
    // someone cut or rewrote the file since.
    if (error.step == filecore::FileError::Step::Read && error.error == 0) {
        return "the file changed during the run";
    }
    return error.describe();
}

bool readFontDirectory(const filecore::InputFile& file, std::uint64_t at, FontDirectory& directory,
                       std::string& problem) {
    filecore::SfntError error;
    if (!filecore::readFontDirectory(file, at, directory, error)) {
        problem = error.problem;
        return false;
    }
    return true;
}

}  // namespace zelvic
