// Opening inputs: a regular file, never waited for, read exactly or viewed
// whole. Also the helpers on names and reads the other parts share.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "Files.h"
#include "FilesInternal.h"

namespace filecore {

namespace {

// Mapped inputs up to this size are mapped whole up front and kept; past
// it a mapping's pages are let go each time this much was written from it,
// to bound memory (refaulting them costs more than writing them).
constexpr std::uint64_t kMappedResident = std::uint64_t{24} * 1024 * 1024;

}  // namespace

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

FileView::~FileView() {
    release();
}

FileView::FileView(FileView&& other) noexcept
    : bytes_(std::exchange(other.bytes_, {})),
      mapping_(std::exchange(other.mapping_, nullptr)),
      read_(std::move(other.read_)),
      resident_(std::exchange(other.resident_, 0)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
    if (this != &other) {
        release();
        bytes_ = std::exchange(other.bytes_, {});
        mapping_ = std::exchange(other.mapping_, nullptr);
        read_ = std::move(other.read_);
        resident_ = std::exchange(other.resident_, 0);
    }
    return *this;
}

void FileView::release() {
    if (mapping_ != nullptr) {
        ::munmap(mapping_, bytes_.size());
        mapping_ = nullptr;
    }
    read_.clear();
    read_.shrink_to_fit();
    bytes_ = {};
}

void FileView::passed(std::uint64_t count) {
    resident_ += count;
    if (mapping_ != nullptr && bytes_.size() > kMappedResident && resident_ > kMappedResident) {
        // The file's pages stay cached; only this process lets them go.
        ::madvise(mapping_, bytes_.size(), MADV_DONTNEED);
        resident_ = 0;
    }
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
    return true;
}

bool InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into, FileError& error) const {
    const int result = readAll(fd_.get(), offset, into);
    if (result == 0) {
        return true;
    }
    error = result < 0 ? endedEarly(path_) : errorOf(FileError::Step::Read, result);
    error.file = path_;
    return false;
}

bool InputFile::view(FileView& out, FileError& error) const {
    out.release();
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0) {
        error = errorOf(FileError::Step::Read, errno);
        error.file = path_;
        return false;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size == 0) {
        return true;
    }
    if (size > SIZE_MAX) {
        error = errorOf(FileError::Step::Read, EFBIG);
        error.file = path_;
        return false;
    }
    const auto length = static_cast<std::size_t>(size);
    void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd_.get(), 0);
    if (mapped != MAP_FAILED) {
        out.mapping_ = mapped;
        out.bytes_ = {static_cast<const std::uint8_t*>(mapped), length};
        return true;
    }
    // Some file systems can't map; the bytes are read instead.
    out.read_.resize(length);
    if (!readAt(0, out.read_, error)) {
        out.release();
        return false;
    }
    out.bytes_ = out.read_;
    return true;
}

bool InputFile::map(FileView& out) const {
    out.release();
    if (size_ == 0 || size_ > SIZE_MAX) {
        return false;
    }
    const auto length = static_cast<std::size_t>(size_);
    const bool populate = size_ <= kMappedResident;
    void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | (populate ? MAP_POPULATE : 0),
                          fd_.get(), 0);
    if (mapped == MAP_FAILED) {
        return false;
    }
    out.mapping_ = mapped;
    out.bytes_ = {static_cast<const std::uint8_t*>(mapped), length};
    out.resident_ = populate ? size_ : 0;
    return true;
}

}  // namespace filecore
