// Helpers shared by the file core's three parts: opening inputs
// (FilesInput.cpp), replacing outputs (FilesOutput.cpp) and removing named
// temporaries when a signal ends the process (FilesSignals.cpp).
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "Files.h"

namespace filecore::detail {

inline FileError errorOf(FileError::Step step, int code) {
    return {step, code, std::strerror(code), {}};
}

inline FileError ownError(FileError::Step step, std::string reason) {
    return {step, 0, std::move(reason), {}};
}

inline FileError endedEarly(const std::string& path) {
    return {FileError::Step::Read, 0, "the file ended early", path};
}

// The folder that holds `path`, as a path that can be opened.
std::string folderOf(const std::string& path);
std::string inFolder(const std::string& folder, const std::string& name);

// 0 when every byte was read, -1 when the file ended first, else the errno.
int readAll(int fd, std::uint64_t offset, std::span<std::uint8_t> into);

// Remembers a named temporary for removal should a signal end the process;
// the slot to give back, or -1 where none was free.
int registerTemporary(const std::string& path);
// Forgets it again (it was removed or renamed); sets `slot` to -1.
void unregisterTemporary(int& slot);

// Holds back every signal for its lifetime, so that a temporary's name is
// never made without being registered for removal. Also takes over the
// signals that would end the process, for that removal.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t previous_{};
    bool held_ = false;
};

// A file that grows past the process's file-size limit would end the
// process with SIGXFSZ, temporary and all; ignored, the write fails with
// EFBIG instead ("File too large"), which is reported like any other.
void ignoreFileSizeSignal();

}  // namespace filecore::detail
