// Opening inputs and replacing outputs: the one way both programs touch files.
//
// Inputs: opening never blocks (a FIFO or a device is refused at once, as
// is anything but a regular file), the file's size and identity are known
// from the start, and its bytes are read at checked offsets.
//
// Outputs: a FileReplacement writes the new content where nobody sees it (an
// unnamed O_TMPFILE in the target's folder, else a temporary with a short
// random name, removed by any signal that ends the process) and only
// commit() puts it in place, atomically, with the replaced file's owner,
// group, mode, ACL and extended attributes, synced to disk first when it
// replaces an existing file. A replacement that could not be given the old
// file's owner is refused before a byte is written. Until then, and on any
// failure, the old file keeps every byte, and nothing is left behind.
//
// Which paths name one file, however spelled, is SameFiles' to tell.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace filecore {

// What went wrong with a file, for the caller to turn into its own message.
struct FileError {
    enum class Step {
        Open,    // an input could not be opened or is not a regular file
        Read,    // an input could not be read, or ended early
        Create,  // an output can't be created or may not be replaced
        Write,   // writing, syncing or putting the output in place failed
    };
    Step step = Step::Open;
    int error = 0;       // the errno behind it, 0 when the reason is our own
    std::string reason;  // "Permission denied", "it is a folder", "not a regular file", ...
    std::string file;    // for Read: the input at fault, which an output's step also reads

    // "cannot open: it is a folder", "cannot create: Permission denied",
    // "write error: No space left on device".
    std::string describe() const;
};

// Which file a path names, whatever its spelling.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a path names (links followed), or nothing.
std::optional<FileIdentity> identityOf(const std::string& path);

// Tells which paths name one file, however spelled. Identity (device and
// inode) settles it where it matches; where it doesn't, names that differ
// only in case (or in letters outside ASCII) are put to the file system
// itself, which knows whether they are one entry of one folder: on FAT,
// exFAT and other case-insensitive file systems they are, and some of them
// (FUSE exFAT, for one) give each spelling an inode of its own.
class SameFiles {
  public:
    // Adds `path` under `label`, unless it names a file added before: then
    // that file's label, and nothing is added. A path need not exist yet.
    std::optional<std::size_t> add(const std::string& path, std::size_t label);
    // The label of the added file that `path` names, or nothing.
    std::optional<std::size_t> find(const std::string& path) const;

  private:
    struct Entry {
        std::string path;  // links followed, absolute
        dev_t device = 0;  // of its folder
        std::optional<FileIdentity> identity;
        std::size_t label = 0;
    };
    Entry entryOf(const std::string& path) const;
    // `status`: the named file's, where the last look at it (links followed)
    // found it; `missing`: it was found not to exist.
    std::string resolved(std::string path, std::optional<struct stat>* status = nullptr,
                         bool* missing = nullptr) const;
    std::optional<std::size_t> find(const Entry& entry) const;
    bool oneEntry(const Entry& a, const Entry& b) const;
    bool oneName(const std::string& folder, const std::string& x, const std::string& y) const;

    std::vector<Entry> entries_;
    std::map<std::pair<dev_t, ino_t>, std::size_t> byIdentity_;      // into entries_
    std::unordered_multimap<std::string, std::size_t> byLooseName_;  // into entries_
    // Folders already listed, for names that both resolve.
    mutable std::unordered_map<std::string, std::unordered_set<std::string>> listings_;
    // Folders as given, and with their links followed.
    mutable std::unordered_map<std::string, std::string> realFolders_;
    // Each real folder's device, asked once: the files of a folder share it.
    mutable std::unordered_map<std::string, dev_t> folderDevices_;
};

// Whether `a` and `b` name one file (see SameFiles).
bool sameFile(const std::string& a, const std::string& b);

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

// One regular file opened for reading.
class InputFile {
  public:
    // Opens without ever waiting (O_NONBLOCK, so a FIFO can't hang us) and
    // refuses anything that is not a regular file: a folder as "it is a
    // folder", a FIFO, device or socket as "not a regular file".
    bool open(const std::string& path, FileError& error);
    // The same for a descriptor already open for reading, `path` naming it
    // in errors; its bytes are all read from the file.
    bool open(FileDescriptor fd, const std::string& path, FileError& error);
    void close();
    bool isOpen() const { return fd_.valid(); }

    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }
    FileIdentity identity() const { return identity_; }
    // The time of last change when opened.
    std::int64_t modifiedSeconds() const { return modifiedSeconds_; }
    std::int64_t modifiedNanoseconds() const { return modifiedNanoseconds_; }
    int descriptor() const { return fd_.get(); }

    // Reads exactly into.size() bytes at `offset`; a file that ends first
    // (also one cut short since it was opened) is a Read error. Bytes of the
    // file's first block come from the copy open() made of it.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> into, FileError& error) const;

  private:
    bool adopt(FileDescriptor fd, FileError& error);

    FileDescriptor fd_;
    std::string path_;
    std::uint64_t size_ = 0;
    FileIdentity identity_;
    std::int64_t modifiedSeconds_ = 0;
    std::int64_t modifiedNanoseconds_ = 0;
    // Every reader starts with the offset table, the table directory and the
    // collection header, a few small reads near the start: one read of the
    // first block serves them all. Filled by open() only, so that readAt
    // stays safe to call from several threads. Held in place and never
    // zeroed (only the bytes read are used): a 4 KiB block allocated per
    // file made each open sweep the allocator's free lists.
    static constexpr std::size_t kFirstBlockSize = 4096;
    std::array<std::uint8_t, kFirstBlockSize> firstBlock_;
    std::size_t firstBlockSize_ = 0;
};

// Folders whose renames are synced once, when the batch ends, instead of
// after each replacement in them. While a batch lives on a thread, every
// commit() there leaves the folder's sync to it: a run that replaces many
// files in one folder then costs one journal commit per file, not two. Each
// file is still replaced atomically, its bytes on disk before its name moves;
// a crash during the run can only bring back old files whole, never lose one,
// and every rename is on disk when the batch ends (as git's batched fsync).
class FolderSyncBatch {
  public:
    FolderSyncBatch();
    ~FolderSyncBatch();
    FolderSyncBatch(const FolderSyncBatch&) = delete;
    FolderSyncBatch& operator=(const FolderSyncBatch&) = delete;

    // The batch commit() leaves folder syncs to on this thread, if any.
    static FolderSyncBatch* current();
    void add(const std::string& folder);
    // Syncs every folder added since the last call.
    void syncAll();
    std::size_t waiting() const { return folders_.size(); }

  private:
    std::unordered_set<std::string> folders_;
    FolderSyncBatch* outer_;
};

// A new file that replaces `target` on commit(). See the top of this file.
class FileReplacement {
  public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // What may be replaced: follows symbolic links to the file they name
    // (also one that does not exist yet), and refuses a loop, a folder, a
    // special file, a file without write permission ("Permission denied",
    // also for root), an append-only or immutable file, a file whose owner
    // and group this user could not give a new file, and an append-only
    // folder. On success `resolved` is the path that
    // commit() will replace and `existing` its identity, if it exists.
    static bool check(const std::string& target, std::string& resolved,
                      std::optional<FileIdentity>& existing, FileError& error);

    // Checks `target` and opens the unnamed (or temporary) new file.
    bool create(const std::string& target, FileError& error);

    // The new file's size so far; appends go there. Small appends are
    // gathered and written together; every other call sees them as written.
    std::uint64_t size() const { return size_; }
    bool append(std::span<const std::uint8_t> bytes, FileError& error);
    bool appendZeros(std::uint64_t count, FileError& error);
    // Appends `pieces` one after another with as few writes as the system
    // allows, straight from where they lie (no copy among the gathered
    // bytes): for a caller whose bytes stay put until the call returns.
    bool appendGathered(std::span<const std::span<const std::uint8_t>> pieces, FileError& error);
    // Copies `length` bytes at `offset` of `input` to the end, inside the
    // kernel where the file systems allow it.
    bool appendFrom(const InputFile& input, std::uint64_t offset, std::uint64_t length,
                    FileError& error);
    // Overwrites bytes already written (a directory filled in at the end).
    bool writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes, FileError& error);
    // Reads back bytes already written, to compare a table in place.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> into, FileError& error) const;
    // Opens what is written so far as `reader`, under the target's name, to
    // copy from once committed: the new file itself, whatever its name then
    // names. Only an unnamed new file can be; for a temporary with a name
    // this fails at the Open step, and a failed write at the Write step.
    bool openForReading(InputFile& reader, FileError& error);

    // Puts the new file in place of the target. After a failure the old file
    // is as it was and the new one is gone.
    bool commit(FileError& error);
    // Gives up the new file; also done by the destructor unless committed.
    void discard();

    const std::string& target() const { return target_; }
    // The file that commit() replaces, as create() found it; none for a new one.
    std::optional<FileIdentity> replaced() const {
        return old_ ? std::optional(FileIdentity{old_->st_dev, old_->st_ino}) : std::nullopt;
    }

  private:
    static bool checkTarget(const std::string& target, std::string& resolved,
                            std::optional<struct stat>& existing, FileError& error);
    bool flush(FileError& error);
    bool writeOut(std::uint64_t offset, std::span<const std::uint8_t> bytes, FileError& error);
    FileDescriptor descriptorOfTemporary(int access, FileError& error) const;
    bool copyFrom(const InputFile& input, std::uint64_t offset, std::uint64_t length,
                  FileError& error);
    bool giveOldOwner(FileError& error);
    bool carryOverAttributes(FileError& error);
    bool putInPlace(FileError& error);
    bool fail(FileError& error, FileError::Step step, int code);

    FileDescriptor fd_;
    std::string target_;                 // after links were followed
    std::string temporaryName_;          // only when the file system lacks O_TMPFILE
    int cleanupSlot_ = -1;               // where a signal finds temporaryName_
    std::optional<struct stat> old_;     // the file being replaced, if any
    std::uint64_t size_ = 0;             // written to the file and held in pending_
    std::vector<std::uint8_t> pending_;  // small appends, written together
    bool copyInKernel_ = true;           // until copy_file_range says otherwise
};

}  // namespace filecore
