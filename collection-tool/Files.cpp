#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace zelvic {

namespace {

std::string errorText(int error) {
    return std::strerror(error);
}

}  // namespace

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

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{info.st_dev, info.st_ino};
}

bool InputFile::open(const std::string& path, std::string& problem) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        problem = "cannot open: " + errorText(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        problem = "cannot open: " + errorText(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        problem = "cannot open: it is a folder";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = "cannot open: not a regular file";
        return false;
    }
    fd_ = std::move(fd);
    size_ = static_cast<std::uint64_t>(info.st_size);
    identity_ = FileIdentity{info.st_dev, info.st_ino};
    return true;
}

bool InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    while (!into.empty()) {
        const ssize_t got =
            ::pread(fd_.get(), into.data(), into.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        const auto count = static_cast<std::size_t>(got);
        into = into.subspan(count);
        offset += count;
    }
    return true;
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    fd_.reset();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool OutputFile::create(const std::string& requested, std::string& problem) {
    discard();
    // A symbolic link is followed, so that the file it names is replaced and
    // the link stays a link.
    std::error_code error;
    std::string target = requested;
    if (std::filesystem::is_symlink(requested, error)) {
        const auto resolved = std::filesystem::weakly_canonical(requested, error);
        if (!error) {
            target = resolved.string();
        }
    }
    // Only a regular file (or nothing) may be replaced: renaming over a
    // device or a folder would not write to it but destroy it.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            problem = S_ISDIR(existing.st_mode) ? "cannot create: it is a folder"
                                                : "cannot create: not a regular file";
            return false;
        }
        mode_ = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    // The temporary lies in the target's folder so that the rename stays on
    // one file system and is atomic.
    const std::filesystem::path targetPath(target);
    std::filesystem::path pattern = targetPath.parent_path();
    pattern /= "." + targetPath.filename().string() + ".XXXXXX";
    std::string name = pattern.string();
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) {
        problem = "cannot create: " + errorText(errno);
        return false;
    }
    fd_ = std::move(fd);
    target_ = target;
    temporary_ = name;
    return true;
}

bool OutputFile::write(std::span<const std::uint8_t> bytes, std::string& problem) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd_.get(), bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            problem = "write error: " + errorText(errno);
            discard();
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return true;
}

bool OutputFile::commit(std::string& problem) {
    if (::fchmod(fd_.get(), mode_) != 0 || !fd_.close()) {
        problem = "write error: " + errorText(errno);
        discard();
        return false;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        problem = "cannot create: " + errorText(errno);
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace zelvic
