// Opening inputs: a regular file, never waited for, read exactly or viewed
// whole. Also the helpers on names and reads the other parts share.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "Files.h"
#include "FilesInternal.h"

namespace filecore {

using detail::endedEarly;
using detail::errorOf;
using detail::ownError;
using detail::readAll;

namespace detail {

// The folder that holds `path`, as a path that can be opened.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// 0 when every byte was read, -1 when the file ended first, else the errno.
int readAll(int fd, std::uint64_t offset, std::span<std::uint8_t> into) {
    while (!into.empty()) {
        const ssize_t got = ::pread(fd, into.data(), into.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return -1;
        }
        const auto count = static_cast<std::size_t>(got);
        into = into.subspan(count);
        offset += count;
    }
    return 0;
}

}  // namespace detail

std::string FileError::describe() const {
    switch (step) {
        case Step::Open:
            return "cannot open: " + reason;
        case Step::Read:
            return "cannot read: " + reason;
        case Step::Create:
            return "cannot create: " + reason;
        case Step::Write:
            break;
    }
    return "write error: " + reason;
}

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{info.st_dev, info.st_ino};
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release() {
    return std::exchange(fd_, -1);
}

void FileDescriptor::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool FileDescriptor::close() {
    if (fd_ < 0) {
        return true;
    }
    return ::close(release()) == 0;
}

bool InputFile::open(const std::string& path, FileError& error) {
    close();
    path_ = path;
    // O_NONBLOCK: opening a FIFO must not wait for a writer, nor a device
    // for carrier; whatever it is, fstat then tells and it is refused.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        error = errorOf(FileError::Step::Open, errno);
        return false;
    }
    if (!adopt(std::move(fd), error)) {
        return false;
    }
    // A first block that can't be read is left to the reads that need it,
    // which then report why.
    // What open() reads of every file: a page, which holds the directory of
    // all but the largest fonts and costs no more to read than its first 12
    // bytes.
    const auto firstBlock =
        std::span(firstBlock_)
            .first(static_cast<std::size_t>(std::min<std::uint64_t>(size_, kFirstBlockSize)));
    if (readAll(fd_.get(), 0, firstBlock) == 0) {
        firstBlockSize_ = firstBlock.size();
    }
    return true;
}

bool InputFile::open(FileDescriptor fd, const std::string& path, FileError& error) {
    close();
    path_ = path;
    return adopt(std::move(fd), error);
}

bool InputFile::adopt(FileDescriptor fd, FileError& error) {
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        error = errorOf(FileError::Step::Open, errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = ownError(FileError::Step::Open, "it is a folder");
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = ownError(FileError::Step::Open, "not a regular file");
        return false;
    }
    fd_ = std::move(fd);
    size_ = static_cast<std::uint64_t>(info.st_size);
    identity_ = FileIdentity{info.st_dev, info.st_ino};
    modifiedSeconds_ = info.st_mtim.tv_sec;
    modifiedNanoseconds_ = info.st_mtim.tv_nsec;
    return true;
}

void InputFile::close() {
    fd_.reset();
    firstBlockSize_ = 0;
}

bool InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into, FileError& error) const {
    if (offset <= firstBlockSize_ && into.size() <= firstBlockSize_ - offset) {
        std::copy_n(firstBlock_.begin() + static_cast<std::ptrdiff_t>(offset), into.size(),
                    into.begin());
        return true;
    }
    const int result = readAll(fd_.get(), offset, into);
    if (result == 0) {
        return true;
    }
    error = result < 0 ? endedEarly(path_) : errorOf(FileError::Step::Read, result);
    error.file = path_;
    return false;
}

}  // namespace filecore
