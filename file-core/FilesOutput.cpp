// Replacing outputs: the new file is written where nobody sees it and only
// commit() puts it in place, with the old file's owner, mode and attributes.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "ByteOrder.h"
#include "Files.h"
#include "FilesInternal.h"

namespace filecore {

namespace {

using detail::endedEarly;
using detail::errorOf;
using detail::folderOf;
using detail::inFolder;
using detail::ownError;
using detail::readAll;
using detail::registerTemporary;
using detail::unregisterTemporary;

// How many symbolic links a path may pass through, as the kernel allows.
constexpr int kMaxLinkHops = 40;
// Appends smaller than this are gathered before they are written.
constexpr std::size_t kPendingCapacity = std::size_t{64} * 1024;
// Bytes moved per copy_file_range or pread/pwrite round.
constexpr std::uint64_t kCopyChunk = std::uint64_t{1} << 30;
constexpr std::size_t kFallbackChunk = std::size_t{256} * 1024;
// Ranges up to this size are read among the gathered appends.
constexpr std::uint64_t kSmallCopy = std::uint64_t{16} * 1024;

// A short name no other run picks: the target's own name may already use
// every byte a name may have, so the temporary can't be built from it.
std::string randomName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::array<std::uint8_t, 10> noise{};
    std::size_t got = 0;
    while (got < noise.size()) {
        const ssize_t n = ::getrandom(noise.data() + got, noise.size() - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the pid and a counter below still keep runs apart
        }
        got += static_cast<std::size_t>(n);
    }
    static std::atomic<std::uint32_t> counter{0};
    const std::uint32_t mix = static_cast<std::uint32_t>(::getpid()) * 2654435761u + counter++;
    std::string name = ".fc";
    for (std::size_t i = 0; i < noise.size(); ++i) {
        const std::uint32_t value = noise[i] ^ (mix >> (i % 4 * 8));
        name += kLetters[value % (sizeof(kLetters) - 1)];
    }
    return name;
}

bool writeAll(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes, int& code) {
    while (!bytes.empty()) {
        const ssize_t put = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            code = put < 0 ? errno : ENOSPC;
            return false;
        }
        const auto count = static_cast<std::size_t>(put);
        bytes = bytes.subspan(count);
        offset += count;
    }
    return true;
}

// Gives the unnamed file `fd` the name `path`. Through /proc, which any
// user may do; where /proc is not mounted, AT_EMPTY_PATH, which needs
// CAP_DAC_READ_SEARCH. 0, or -1 with errno set.
int linkUnnamed(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
        return -1;
    }
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
}

// Whether linkUnnamed can work here: through /proc, or as root. Asked once:
// a folder of fonts saves one after the other.
bool canNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", F_OK) == 0 || ::geteuid() == 0;
    return can;
}

// Folders this process found it may write, as they were then. A folder of
// fonts saved one by one asks the same of its folder each time; while the
// folder is the same one, with the same owner and mode, the answer is taken
// as the same. A change that leaves those alone (an ACL, chattr) is then
// met when the new file is made or put in place, and reported there.
struct WritableFolder {
    dev_t device;
    ino_t inode;
    mode_t mode;
    uid_t owner;
    gid_t group;

    explicit WritableFolder(const struct stat& info)
        : device(info.st_dev),
          inode(info.st_ino),
          mode(info.st_mode),
          owner(info.st_uid),
          group(info.st_gid) {}
    bool operator==(const WritableFolder&) const = default;
};

std::mutex writableFoldersLock;

std::unordered_map<std::string, WritableFolder>& writableFolders() {
    static std::unordered_map<std::string, WritableFolder> folders;
    return folders;
}

bool folderFoundWritable(const std::string& folder, const struct stat& info) {
    const std::lock_guard lock(writableFoldersLock);
    const auto known = writableFolders().find(folder);
    return known != writableFolders().end() && known->second == WritableFolder(info);
}

void rememberWritableFolder(const std::string& folder, const struct stat& info) {
    constexpr std::size_t kMostRemembered = 64;
    const std::lock_guard lock(writableFoldersLock);
    if (writableFolders().size() >= kMostRemembered) {
        writableFolders().clear();
    }
    writableFolders().insert_or_assign(folder, WritableFolder(info));
}

// The file's inode flags (chattr), or 0 where it can't be opened or the
// file system has none.
int inodeFlags(const std::string& path, bool folder) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                                     (folder ? O_DIRECTORY : O_NOFOLLOW)));
    int flags = 0;
    if (!fd.valid() || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return 0;
    }
    return flags;
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

// Errors of a file system that can't hold a mode, owner or attribute at all
// (FAT, FUSE without them) or won't let this user set it.
bool cannotHold(int code) {
    return code == ENOSYS || code == EOPNOTSUPP || code == ENOTSUP || code == EPERM;
}

FileError ownerNotKept(int code) {
    return ownError(FileError::Step::Create,
                    std::string("its owner and group can't be kept (") + std::strerror(code) + ")");
}

// Whether this process may give a file of its own to `uid` and `gid`: root
// may; anyone else only keeps their own user and one of their groups.
bool mayGiveTo(uid_t uid, gid_t gid) {
    if (::geteuid() == 0) {
        return true;
    }
    if (uid != ::geteuid()) {
        return false;
    }
    if (gid == ::getegid()) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

bool hasNoWriteBit(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool FileReplacement::check(const std::string& target, std::string& resolved,
                            std::optional<FileIdentity>& existing, FileError& error) {
    std::optional<struct stat> info;
    if (!checkTarget(target, resolved, info, error)) {
        return false;
    }
    existing.reset();
    if (info) {
        existing = FileIdentity{info->st_dev, info->st_ino};
    }
    return true;
}

bool FileReplacement::checkTarget(const std::string& target, std::string& resolved,
                                  std::optional<struct stat>& existing, FileError& error) {
    existing.reset();
    std::string path = target;
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                error = errorOf(FileError::Step::Create, errno);
                return false;
            }
            break;  // a new file, possibly named by a dangling link
        }
        if (S_ISLNK(info.st_mode)) {
            // The link stays; the file it names is the one replaced.
            if (hops == kMaxLinkHops) {
                error = errorOf(FileError::Step::Create, ELOOP);
                return false;
            }
            std::array<char, 4096> link{};
            const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
            if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
                error = errorOf(FileError::Step::Create, length < 0 ? errno : ENAMETOOLONG);
                return false;
            }
            std::string next(link.data(), static_cast<std::size_t>(length));
            if (next.empty()) {
                error = errorOf(FileError::Step::Create, ENOENT);
                return false;
            }
            if (next.front() != '/' && path.find('/') != std::string::npos) {
                next = inFolder(folderOf(path), next);
            }
            path = std::move(next);
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            error = ownError(FileError::Step::Create, "it is a folder");
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            error = ownError(FileError::Step::Create, "not a regular file");
            return false;
        }
        // A file nobody may write is not to be replaced, even by root, who
        // could: the name model refuses it too.
        if (hasNoWriteBit(info) || ::access(path.c_str(), W_OK) != 0) {
            error = errorOf(FileError::Step::Create, EACCES);
            return false;
        }
        // An append-only or immutable file can't be renamed over.
        if (const int flags = inodeFlags(path, false);
            (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0) {
            error = ownError(FileError::Step::Create, (flags & FS_APPEND_FL) != 0
                                                          ? "the file is append-only"
                                                          : "the file is immutable");
            return false;
        }
        // Saved by another user, the file would become theirs.
        if (!mayGiveTo(info.st_uid, info.st_gid)) {
            error = ownerNotKept(EPERM);
            return false;
        }
        existing = info;
        break;
    }
    // The replacement is made and renamed in the folder: it must be a
    // folder we may write, so that nothing is found missing half-way.
    const std::string folder = folderOf(path);
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        error = errorOf(FileError::Step::Create, errno);
        return false;
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        error = errorOf(FileError::Step::Create, ENOTDIR);
        return false;
    }
    if (!folderFoundWritable(folder, folderInfo)) {
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            error = errorOf(FileError::Step::Create, errno);
            return false;
        }
        // There a temporary's name could be made but never taken away again.
        if ((inodeFlags(folder, true) & FS_APPEND_FL) != 0) {
            error = ownError(FileError::Step::Create, "the folder is append-only");
            return false;
        }
        rememberWritableFolder(folder, folderInfo);
    }
    resolved = std::move(path);
    return true;
}

FileReplacement::~FileReplacement() {
    discard();
}

void FileReplacement::discard() {
    fd_.reset();
    if (!temporaryName_.empty()) {
        ::unlink(temporaryName_.c_str());
        temporaryName_.clear();
    }
    unregisterTemporary(cleanupSlot_);
    old_.reset();
    pending_.clear();
    size_ = 0;
}

bool FileReplacement::fail(FileError& error, FileError::Step step, int code) {
    error = errorOf(step, code);
    discard();
    return false;
}

bool FileReplacement::create(const std::string& target, FileError& error) {
    discard();
    std::string resolved;
    // The file's status as check found it, links followed: what the
    // replacement takes on.
    if (!checkTarget(target, resolved, old_, error)) {
        return false;
    }
    target_ = resolved;
    copyInKernel_ = true;
    detail::ignoreFileSizeSignal();
    const std::string folder = folderOf(target_);
    // Unnamed: a kill at any moment leaves nothing. 0666 lets the umask or
    // the folder's default ACL decide, as for any new file. Only where it
    // can be given a name in the end (see linkUnnamed).
    if (canNameUnnamedFiles()) {
        FileDescriptor fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
        if (fd.valid()) {
            fd_ = std::move(fd);
            return giveOldOwner(error);
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            return fail(error, FileError::Step::Create, errno);
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = inFolder(folder, randomName());
        const detail::SignalsHeld held;
        FileDescriptor named(::open(
            name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, old_ ? 0600 : 0666));
        if (named.valid()) {
            fd_ = std::move(named);
            temporaryName_ = std::move(name);
            cleanupSlot_ = registerTemporary(temporaryName_);
            return giveOldOwner(error);
        }
        if (errno != EEXIST) {
            return fail(error, FileError::Step::Create, errno);
        }
    }
    return fail(error, FileError::Step::Create, EEXIST);
}

// Before a byte is written: a replacement that would belong to whoever
// saved it, not to the old file's owner, is refused. Where the file system
// can't change owners (FAT), the new file may already have the right ones.
bool FileReplacement::giveOldOwner(FileError& error) {
    if (!old_ || ::fchown(fd_.get(), old_->st_uid, old_->st_gid) == 0) {
        return true;
    }
    const int code = errno;
    struct stat now {};
    if (cannotHold(code) && ::fstat(fd_.get(), &now) == 0 && now.st_uid == old_->st_uid &&
        now.st_gid == old_->st_gid) {
        return true;
    }
    error = ownerNotKept(code);
    discard();
    return false;
}

bool FileReplacement::writeOut(std::uint64_t offset, std::span<const std::uint8_t> bytes,
                               FileError& error) {
    int code = 0;
    if (!writeAll(fd_.get(), offset, bytes, code)) {
        return fail(error, FileError::Step::Write, code);
    }
    return true;
}

bool FileReplacement::flush(FileError& error) {
    if (!fd_.valid()) {
        error = errorOf(FileError::Step::Write, EBADF);
        return false;
    }
    if (pending_.empty()) {
        return true;
    }
    const std::uint64_t at = size_ - pending_.size();
    if (!writeOut(at, pending_, error)) {
        return false;
    }
    pending_.clear();
    return true;
}

bool FileReplacement::append(std::span<const std::uint8_t> bytes, FileError& error) {
    if (!fd_.valid()) {
        error = errorOf(FileError::Step::Write, EBADF);
        return false;
    }
    if (pending_.size() + bytes.size() > kPendingCapacity && !flush(error)) {
        return false;
    }
    if (bytes.size() >= kPendingCapacity) {
        if (!writeOut(size_, bytes, error)) {
            return false;
        }
    } else {
        if (pending_.capacity() < kPendingCapacity) {
            pending_.reserve(kPendingCapacity);
        }
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    }
    size_ += bytes.size();
    return true;
}

bool FileReplacement::appendGathered(std::span<const std::span<const std::uint8_t>> pieces,
                                     FileError& error) {
    if (!flush(error)) {
        return false;
    }
    // A batch of iovecs at a time, each piece's remainder resumed after a
    // short write.
    static constexpr std::size_t kBatch = 64;
    std::array<iovec, kBatch> batch{};
    std::size_t next = 0;       // the first piece not wholly written
    std::size_t writtenOf = 0;  // bytes of it already written
    while (next < pieces.size()) {
        std::size_t count = 0;
        for (std::size_t k = next; k < pieces.size() && count < kBatch; ++k) {
            const std::span<const std::uint8_t> piece =
                k == next ? pieces[k].subspan(writtenOf) : pieces[k];
            if (!piece.empty()) {
                // pwritev only reads through iov_base.
                batch[count++] = {const_cast<std::uint8_t*>(piece.data()), piece.size()};
            }
        }
        if (count == 0) {
            break;
        }
        const ssize_t put =
            ::pwritev(fd_.get(), batch.data(), static_cast<int>(count), static_cast<off_t>(size_));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return fail(error, FileError::Step::Write, put < 0 ? errno : ENOSPC);
        }
        auto left = static_cast<std::size_t>(put);
        size_ += left;
        while (left > 0 && next < pieces.size()) {
            const std::size_t rest = pieces[next].size() - writtenOf;
            if (left < rest) {
                writtenOf += left;
                break;
            }
            left -= rest;
            ++next;
            writtenOf = 0;
        }
        while (next < pieces.size() && pieces[next].size() == writtenOf) {
            ++next;
            writtenOf = 0;
        }
    }
    return true;
}

bool FileReplacement::appendZeros(std::uint64_t count, FileError& error) {
    static constexpr std::array<std::uint8_t, 4096> kZeros{};
    while (count > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kZeros.size()));
        if (!append(std::span(kZeros).first(piece), error)) {
            return false;
        }
        count -= piece;
    }
    return true;
}

// Through user space: for file systems or kernels that can't copy between
// these two files, and for what is left after copy_file_range gave up.
bool FileReplacement::copyFrom(const InputFile& input, std::uint64_t offset, std::uint64_t length,
                               FileError& error) {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kFallbackChunk)));
    while (length > 0) {
        const auto piece = std::span(buffer).first(
            static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size())));
        if (!input.readAt(offset, piece, error)) {
            discard();
            return false;
        }
        if (!writeOut(size_, piece, error)) {
            return false;
        }
        size_ += piece.size();
        offset += piece.size();
        length -= piece.size();
    }
    return true;
}

bool FileReplacement::appendFrom(const InputFile& input, std::uint64_t offset, std::uint64_t length,
                                 FileError& error) {
    if (!fd_.valid()) {
        error = errorOf(FileError::Step::Write, EBADF);
        return false;
    }
    // A small range costs a system call either way: read it among the
    // gathered bytes rather than flush them and copy it on its own.
    if (length <= kSmallCopy) {
        const auto count = static_cast<std::size_t>(length);
        if (pending_.size() + count > kPendingCapacity && !flush(error)) {
            return false;
        }
        if (pending_.capacity() < kPendingCapacity) {
            pending_.reserve(kPendingCapacity);
        }
        const std::size_t at = pending_.size();
        pending_.resize(at + count);
        if (!input.readAt(offset, std::span(pending_).subspan(at), error)) {
            discard();
            return false;
        }
        size_ += count;
        return true;
    }
    if (!flush(error)) {
        return false;
    }
    while (length > 0 && copyInKernel_) {
        auto from = static_cast<off_t>(offset);
        auto to = static_cast<off_t>(size_);
        const auto piece = static_cast<std::size_t>(std::min(length, kCopyChunk));
        const ssize_t copied =
            ::copy_file_range(input.descriptor(), &from, fd_.get(), &to, piece, 0);
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied == 0) {
            // The input ends before the range it was checked to hold.
            error = endedEarly(input.path());
            discard();
            return false;
        }
        if (copied < 0) {
            // EXDEV, EINVAL, ENOSYS, EOPNOTSUPP and the like: this pair of
            // files can't be copied in the kernel. A real failure shows
            // again, with its own errno, on the way through user space.
            copyInKernel_ = false;
            break;
        }
        const auto count = static_cast<std::uint64_t>(copied);
        size_ += count;
        offset += count;
        length -= count;
    }
    return length == 0 || copyFrom(input, offset, length, error);
}

bool FileReplacement::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes,
                              FileError& error) {
    if (!fd_.valid()) {
        error = errorOf(FileError::Step::Write, EBADF);
        return false;
    }
    if (!rangeFits(size_, offset, bytes.size())) {
        return fail(error, FileError::Step::Write, EINVAL);
    }
    // Bytes still gathered are patched where they wait (a checksum filled
    // in at the end costs no write of its own); bytes written are
    // overwritten, leaving the gathered ones to go out together.
    const std::uint64_t gatheredFrom = size_ - pending_.size();
    if (offset >= gatheredFrom) {
        std::copy(bytes.begin(), bytes.end(),
                  pending_.begin() + static_cast<std::ptrdiff_t>(offset - gatheredFrom));
        return true;
    }
    if (offset + bytes.size() > gatheredFrom && !flush(error)) {
        return false;
    }
    if (temporaryName_.empty()) {
        return writeOut(offset, bytes, error);
    }
    FileDescriptor own = descriptorOfTemporary(O_WRONLY, error);
    if (!own.valid()) {
        discard();
        return false;
    }
    int code = 0;
    if (!writeAll(own.get(), offset, bytes, code)) {
        return fail(error, FileError::Step::Write, code);
    }
    return own.close() || fail(error, FileError::Step::Write, errno);
}

// FUSE's FAT driver, where new files have names, keeps one place per open
// file: once the new file's own descriptor has appended, a write it makes
// further back lands in the wrong place, or fails, and a read back near the
// end finds nothing. Make's directories and break's checksum adjustment
// went wrong there, reported as done. A descriptor opened for one overwrite
// or one read, and closed after, has no such past; it is checked to be the
// new file still, since the name lies in a folder others may write.
FileDescriptor FileReplacement::descriptorOfTemporary(int access, FileError& error) const {
    FileDescriptor own(::open(temporaryName_.c_str(), access | O_CLOEXEC | O_NOFOLLOW));
    struct stat opened {};
    struct stat created {};
    const FileError::Step step =
        access == O_RDONLY ? FileError::Step::Read : FileError::Step::Write;
    if (!own.valid() || ::fstat(own.get(), &opened) != 0 || ::fstat(fd_.get(), &created) != 0) {
        error = errorOf(step, errno);
        error.file = target_;
        return {};
    }
    if (opened.st_dev != created.st_dev || opened.st_ino != created.st_ino) {
        error = ownError(step, "the new file was replaced under its temporary name");
        error.file = target_;
        return {};
    }
    return own;
}

bool FileReplacement::readAt(std::uint64_t offset, std::span<std::uint8_t> into,
                             FileError& error) const {
    // Bytes still gathered are read from memory; the rest from the file.
    const std::uint64_t written = size_ - pending_.size();
    if (!fd_.valid() || !rangeFits(size_, offset, into.size())) {
        error = errorOf(FileError::Step::Read, EINVAL);
        error.file = target_;
        return false;
    }
    if (offset < written) {
        const auto fromFile =
            static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), written - offset));
        FileDescriptor own;
        if (!temporaryName_.empty()) {
            own = descriptorOfTemporary(O_RDONLY, error);
            if (!own.valid()) {
                return false;
            }
        }
        const int result =
            readAll(own.valid() ? own.get() : fd_.get(), offset, into.first(fromFile));
        if (result != 0) {
            error = result < 0 ? endedEarly(target_) : errorOf(FileError::Step::Read, result);
            error.file = target_;
            return false;
        }
        into = into.subspan(fromFile);
        offset += fromFile;
    }
    if (!into.empty()) {
        const auto at = static_cast<std::size_t>(offset - written);
        std::memcpy(into.data(), pending_.data() + at, into.size());
    }
    return true;
}

bool FileReplacement::openForReading(InputFile& reader, FileError& error) {
    if (!fd_.valid()) {
        error = errorOf(FileError::Step::Write, EBADF);
        return false;
    }
    if (!flush(error)) {
        return false;
    }
    // A file system without unnamed files may keep its files by name, as
    // FUSE's FAT does: a descriptor held past the rename there loses the
    // new file's last writes.
    if (!temporaryName_.empty()) {
        error = ownError(FileError::Step::Open, "the new file has a temporary name");
        error.file = target_;
        return false;
    }
    // A second descriptor of the same open file: it reads the new file's
    // bytes, before and after commit() names it.
    FileDescriptor copy(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
    if (!copy.valid()) {
        error = errorOf(FileError::Step::Open, errno);
        error.file = target_;
        return false;
    }
    return reader.open(std::move(copy), target_, error);
}

namespace {

// The attribute names a list holds, each ended by a zero byte.
std::vector<std::string> attributeNames(std::span<const char> list) {
    std::vector<std::string> names;
    while (!list.empty()) {
        const auto end = std::find(list.begin(), list.end(), '\0');
        const auto length = static_cast<std::size_t>(end - list.begin());
        if (length > 0) {
            names.emplace_back(list.data(), length);
        }
        list = list.subspan(std::min(list.size(), length + 1));
    }
    return names;
}

// Reads the old file's attributes through `fd` where it could be opened,
// else by its path.
ssize_t listAttributes(int fd, const std::string& path, char* list, std::size_t size) {
    return fd >= 0 ? ::flistxattr(fd, list, size) : ::listxattr(path.c_str(), list, size);
}

ssize_t getAttribute(int fd, const std::string& path, const std::string& name, void* value,
                     std::size_t size) {
    return fd >= 0 ? ::fgetxattr(fd, name.c_str(), value, size)
                   : ::getxattr(path.c_str(), name.c_str(), value, size);
}

bool hasAccessAcl(const std::string& path) {
    return ::getxattr(path.c_str(), kAccessAcl, nullptr, 0) >= 0;
}

bool ignorableAttributeError(int code) {
    return code == ENOTSUP || code == EOPNOTSUPP || code == ENOSYS || code == EPERM ||
           code == EACCES || code == ENODATA || code == ERANGE || code == EINVAL;
}

}  // namespace

// The new file takes the old one's place in every way a user would notice:
// owner and group were given at creation (a chown clears set-id bits and
// capabilities, and writes clear set-id bits), so now the mode, then the
// extended attributes, ACLs included.
bool FileReplacement::carryOverAttributes(FileError& error) {
    // A new file keeps what the umask and the folder's default ACL gave it at
    // its creation, as with cp.
    if (!old_) {
        return true;
    }
    // The owner and group were given at creation; a write leaves them. The
    // ACL the folder passed on to the new file goes where the old file had
    // none: otherwise it would widen the old file's permissions.
    if (!hasAccessAcl(target_) && ::fremovexattr(fd_.get(), kAccessAcl) != 0 && errno != ENODATA &&
        errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS) {
        return fail(error, FileError::Step::Write, errno);
    }
    const mode_t mode = old_->st_mode & 07777;
    if (::fchmod(fd_.get(), mode) != 0) {
        // FAT's modes are fixed for the whole file system; what counts is
        // that the new file shows no more than the old one did.
        const int code = errno;
        struct stat now {};
        if (!cannotHold(code) || ::fstat(fd_.get(), &now) != 0 ||
            (now.st_mode & 07777 & ~mode) != 0) {
            return fail(error, FileError::Step::Write, code);
        }
    }
    const FileDescriptor source(
        ::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    std::vector<char> list;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t needed = listAttributes(source.get(), target_, nullptr, 0);
        if (needed <= 0) {
            return true;  // none, or a file system without them
        }
        list.resize(static_cast<std::size_t>(needed));
        const ssize_t got = listAttributes(source.get(), target_, list.data(), list.size());
        if (got >= 0) {
            list.resize(static_cast<std::size_t>(got));
            break;
        }
        list.clear();
        if (errno != ERANGE) {
            return true;
        }
    }
    std::vector<std::uint8_t> value;
    for (const std::string& name : attributeNames(list)) {
        const ssize_t size = getAttribute(source.get(), target_, name, nullptr, 0);
        if (size < 0) {
            continue;
        }
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = getAttribute(source.get(), target_, name, value.data(), value.size());
        if (got < 0) {
            continue;
        }
        if (::fsetxattr(fd_.get(), name.c_str(), value.data(), static_cast<std::size_t>(got), 0) !=
                0 &&
            !ignorableAttributeError(errno)) {
            return fail(error, FileError::Step::Write, errno);
        }
    }
    return true;
}

bool FileReplacement::putInPlace(FileError& error) {
    if (!temporaryName_.empty()) {
        if (!fd_.close()) {
            return fail(error, FileError::Step::Write, errno);
        }
        if (::rename(temporaryName_.c_str(), target_.c_str()) != 0) {
            return fail(error, FileError::Step::Write, errno);
        }
        temporaryName_.clear();
        unregisterTemporary(cleanupSlot_);
        return true;
    }
    if (!old_) {
        if (linkUnnamed(fd_.get(), target_) == 0) {
            if (!fd_.close()) {
                const int code = errno;
                ::unlink(target_.c_str());
                return fail(error, FileError::Step::Write, code);
            }
            return true;
        }
        if (errno != EEXIST) {
            return fail(error, FileError::Step::Write, errno);
        }
        // Someone made the file meanwhile: it is replaced like any other.
    }
    const std::string folder = folderOf(target_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = inFolder(folder, randomName());
        const detail::SignalsHeld held;
        if (linkUnnamed(fd_.get(), name) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return fail(error, FileError::Step::Write, errno);
        }
        temporaryName_ = std::move(name);
        cleanupSlot_ = registerTemporary(temporaryName_);
        return putInPlace(error);
    }
    return fail(error, FileError::Step::Write, EEXIST);
}

namespace {

thread_local FolderSyncBatch* currentBatch = nullptr;

// Makes the renames in `folder` durable. A folder that can't be opened or
// synced leaves them to the file system's own next commit; the new file's
// bytes are on disk already.
void syncFolder(const std::string& folder) {
    const FileDescriptor descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor.valid()) {
        ::fsync(descriptor.get());
    }
}

}  // namespace

FolderSyncBatch::FolderSyncBatch() : outer_(currentBatch) {
    currentBatch = this;
}

FolderSyncBatch::~FolderSyncBatch() {
    syncAll();
    currentBatch = outer_;
}

FolderSyncBatch* FolderSyncBatch::current() {
    return currentBatch;
}

void FolderSyncBatch::add(const std::string& folder) {
    folders_.insert(folder);
}

void FolderSyncBatch::syncAll() {
    for (const std::string& folder : folders_) {
        syncFolder(folder);
    }
    folders_.clear();
}

bool FileReplacement::commit(FileError& error) {
    if (!flush(error) || !carryOverAttributes(error)) {
        return false;
    }
    // A replaced file must never be lost to a crash: the new bytes reach the
    // disk before the name moves to them. A new file replaces nothing.
    const bool replacing = old_.has_value();
    if (replacing && ::fsync(fd_.get()) != 0) {
        return fail(error, FileError::Step::Write, errno);
    }
    if (!putInPlace(error)) {
        return false;
    }
    if (replacing) {
        if (FolderSyncBatch* batch = FolderSyncBatch::current()) {
            batch->add(folderOf(target_));
        } else {
            syncFolder(folderOf(target_));
        }
    }
    old_.reset();
    pending_.clear();
    size_ = 0;
    return true;
}

}  // namespace filecore
