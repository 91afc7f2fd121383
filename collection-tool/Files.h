// The files Zelvic reads and writes. Inputs are read with positioned reads
// that must deliver every byte asked for; outputs are written to a temporary
// file beside the target and renamed over it only once complete, so a failed
// run never leaves a partial or truncated file behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zelvic {

// Owns one POSIX file descriptor.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset();
    // Closes and reports whether the close succeeded; some file systems only
    // report a failed write here.
    bool close();

  private:
    int fd_ = -1;
};

// Which file a path names, whatever its spelling.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of an existing file, or nothing when the path names none.
std::optional<FileIdentity> identityOf(const std::string& path);

class InputFile {
  public:
    // Opens a regular file for reading. On failure `problem` says why.
    bool open(const std::string& path, std::string& problem);

    std::uint64_t size() const { return size_; }
    FileIdentity identity() const { return identity_; }

    // Reads exactly into.size() bytes at `offset`; false on error or when the
    // file ends first.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) const;

  private:
    FileDescriptor fd_;
    std::uint64_t size_ = 0;
    FileIdentity identity_;
};

// A file being written under a temporary name beside `target`. commit()
// gives it the target's name; an uncommitted file is removed.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool create(const std::string& requested, std::string& problem);
    bool write(std::span<const std::uint8_t> bytes, std::string& problem);
    bool commit(std::string& problem);

  private:
    void discard();

    FileDescriptor fd_;
    std::string target_;
    std::string temporary_;
    mode_t mode_ = 0644;
};

}  // namespace zelvic
