#include "FontStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>

#include "platform/MessageBox.h"

namespace fs = std::filesystem;

namespace {

void showError(const char* text) {
    MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
}

// Failure of a save, in the order the checks run; each maps to one message.
enum class SaveError { None, CannotOpen, WriteError };

// The file a save really replaces: a symbolic link is followed to its target,
// so the link stays a link and the font it points at is the one rewritten.
fs::path resolveLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) {
            break;
        }
        const fs::path link = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return path;
}

// The permission bits a newly created file would get, for a save to a path
// that did not exist yet.
mode_t defaultFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// The temporary file of a save: removed again unless it was renamed into place.
class TemporaryFile {
  public:
    explicit TemporaryFile(const fs::path& folder, const std::string& name) {
        std::string pattern = (folder / ("." + name + ".XXXXXX")).string();
        descriptor_ = mkstemp(pattern.data());
        if (descriptor_ >= 0) {
            path_ = pattern;
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }

    bool created() const { return descriptor_ >= 0; }
    // The descriptor, handed over to whoever closes it from now on.
    int releaseDescriptor() { return std::exchange(descriptor_, -1); }
    int descriptor() const { return descriptor_; }
    bool renameTo(const fs::path& target) {
        if (std::rename(path_.c_str(), target.c_str()) != 0) {
            return false;
        }
        path_.clear();
        return true;
    }

  private:
    int descriptor_ = -1;
    std::string path_;
};

// A read-only file is refused as Windows refuses it, also to a user (such as
// root) whom the permission bits would not stop.
bool isWritableTarget(const fs::path& target, const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 && access(target.c_str(), W_OK) == 0;
}

bool syncFolder(const fs::path& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) {
        return false;
    }
    const bool ok = fsync(descriptor) == 0;
    ::close(descriptor);
    return ok;
}

// Writes the whole font to `file` as the save lays it out: the directory as a
// placeholder, every table at the next 4-byte boundary in directory order,
// then the directory again with the new offsets, lengths and checksums.
bool writeFont(FontFile& file, TableDirectory& directory, NameTable& names) {
    if (!directory.write(file)) {
        return false;
    }
    std::int64_t position = file.tell();
    bool ok = position >= 0;
    for (DirectoryEntry* entry = directory.first(); entry != nullptr && ok;
         entry = directory.next()) {
        position = (position + 3) & ~std::int64_t{3};
        if (position > std::numeric_limits<std::int32_t>::max() || !file.seek(position)) {
            return false;
        }
        entry->offset = static_cast<std::uint32_t>(position);
        if (entry->hasTag("name")) {
            ok = names.write(file);
            names.layout();
            entry->length = names.totalLength;
            // The checksum is taken over exactly the bytes now in the file.
            entry->data.resize(entry->length);
            ok = ok && file.seek(position) && file.read(entry->data);
        } else {
            ok = entry->writeData(file);
        }
        position += entry->length;
        entry->computeChecksum();
    }
    return ok && file.seek(0) && directory.write(file);
}

SaveError saveAtomically(const char* path, TableDirectory& directory, NameTable& names) {
    const fs::path target = resolveLinks(path);
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && !isWritableTarget(target, info)) {
        return SaveError::CannotOpen;
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    TemporaryFile temporary(folder, target.filename().string());
    if (!temporary.created()) {
        return SaveError::CannotOpen;
    }
    const mode_t mode = exists ? static_cast<mode_t>(info.st_mode & 07777) : defaultFileMode();
    if (fchmod(temporary.descriptor(), mode) != 0) {
        return SaveError::CannotOpen;
    }
    FontFile file;
    // Read as well as written: the name table's bytes are read back for its checksum.
    if (!file.adopt(temporary.descriptor(), "w+b")) {
        return SaveError::CannotOpen;
    }
    temporary.releaseDescriptor();
    const bool written = writeFont(file, directory, names) && file.sync();
    if (!file.close() || !written || !temporary.renameTo(target)) {
        return SaveError::WriteError;
    }
    // The rename itself is only durable once the folder has reached the disk;
    // failing that is no reason to report the font as lost.
    syncFolder(folder);
    return SaveError::None;
}

}  // namespace

bool loadFont(const char* path, TableDirectory& directory, NameTable& names) {
    if (path == nullptr || *path == '\0') {
        showError("usage:");
        return false;
    }
    FontFile file;
    if (!file.open(path, "rb")) {
        showError("cannot open file.");
        return false;
    }
    bool ok = directory.read(file);
    // Every entry is visited even after a failure, so the model is filled as
    // far as the file allows; the caller discards it anyway.
    bool nameSeen = false;
    for (DirectoryEntry* entry = directory.first(); entry != nullptr; entry = directory.next()) {
        if (entry->hasTag("name")) {
            // A second name table would be read into the same records, and the
            // save would write them all into both: each load and save would
            // double the names until the table overflowed.
            const bool readable = !nameSeen && file.contains(entry->offset, entry->length) &&
                                  file.seek(entry->offset) && names.read(file);
            nameSeen = true;
            ok = readable && ok;
        } else {
            ok = entry->readData(file) && ok;
        }
    }
    file.close();
    if (!ok) {
        showError(names.readStoppedTooLarge() ? "name table too large." : "invalid ttf file.");
    }
    return ok;
}

bool saveFont(const char* path, TableDirectory& directory, NameTable& names) {
    if (path == nullptr || *path == '\0') {
        showError("cannot open file.");
        return false;
    }
    bool writesNames = false;
    for (DirectoryEntry* entry = directory.first(); entry != nullptr; entry = directory.next()) {
        writesNames = writesNames || entry->hasTag("name");
    }
    if (writesNames) {
        // Refused before anything on disk is touched.
        names.removeEmptyRecords();
        names.layout();
        if (!names.fitsSixteenBitFields()) {
            showError("name table too large.");
            return false;
        }
    }
    switch (saveAtomically(path, directory, names)) {
        case SaveError::None:
            return true;
        case SaveError::CannotOpen:
            showError("cannot open file.");
            return false;
        case SaveError::WriteError:
            showError("write error.");
            return false;
    }
    return false;
}
