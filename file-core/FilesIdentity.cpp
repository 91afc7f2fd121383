// Which file a path names, however spelled.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

#include "Files.h"
#include "FilesInternal.h"

namespace filecore {

namespace {

using detail::folderOf;
using detail::inFolder;

constexpr int kMaxLinkHops = 40;

std::string nameIn(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string realPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : std::string();
}

}  // namespace

// The path with every link followed, also to a file that doesn't exist yet,
// and made absolute. The last name is followed here and its folder resolved
// once for all the names in it: a run over a folder of fonts asks this of
// every font, and resolving each path afresh cost a readlink per component.
std::string SameFiles::resolved(std::string path, std::optional<struct stat>* status,
                                bool* missing) const {
    for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (missing != nullptr) {
                *missing = errno == ENOENT;
            }
            break;
        }
        if (!S_ISLNK(info.st_mode)) {
            if (status != nullptr) {
                *status = info;
            }
            break;
        }
        std::string link(4096, '\0');
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) {
            break;
        }
        link.resize(static_cast<std::size_t>(length));
        path = link.front() == '/' || path.find('/') == std::string::npos
                   ? std::move(link)
                   : inFolder(folderOf(path), link);
    }
    const std::string name = nameIn(path);
    if (name.empty() || name == "." || name == "..") {
        const std::string real = realPath(path);
        return real.empty() ? path : real;
    }
    auto [known, added] = realFolders_.try_emplace(folderOf(path));
    if (added) {
        known->second = realPath(known->first);
    }
    return known->second.empty() ? path : inFolder(known->second, name);
}

namespace {

// The path with ASCII letters in one case and every other character (a
// UTF-8 sequence, or a stray byte) as one marker: names that a
// case-insensitive file system could take for one share it. Which of them
// really are one is left to the file system.
std::string looseName(const std::string& path) {
    std::string loose;
    loose.reserve(path.size());
    for (std::size_t k = 0; k < path.size(); ++k) {
        const auto byte = static_cast<unsigned char>(path[k]);
        if (byte < 0x80) {
            loose += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte);
            continue;
        }
        loose += '\x80';
        while (k + 1 < path.size() && (static_cast<unsigned char>(path[k + 1]) & 0xC0) == 0x80) {
            ++k;
        }
    }
    return loose;
}

std::vector<std::string> partsOf(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return parts;
}

}  // namespace

SameFiles::Entry SameFiles::entryOf(const std::string& path) const {
    Entry entry;
    // The last lstat of the path already tells whether the file is there,
    // and what it is when the name is no link.
    std::optional<struct stat> status;
    bool missing = false;
    entry.path = resolved(path, &status, &missing);
    struct stat info {};
    if (status) {
        entry.identity = FileIdentity{status->st_dev, status->st_ino};
    } else if (!missing && ::stat(entry.path.c_str(), &info) == 0) {
        entry.identity = FileIdentity{info.st_dev, info.st_ino};
    }
    const std::string folder = folderOf(entry.path);
    if (const auto known = folderDevices_.find(folder); known != folderDevices_.end()) {
        entry.device = known->second;
    } else if (::stat(folder.c_str(), &info) == 0) {
        entry.device = info.st_dev;
        folderDevices_.emplace(folder, info.st_dev);
    }
    return entry;
}

// Whether `x` and `y`, two spellings of a name in `folder`, are one entry.
bool SameFiles::oneName(const std::string& folder, const std::string& x,
                        const std::string& y) const {
    struct stat xInfo {};
    struct stat yInfo {};
    const bool xThere = ::lstat(inFolder(folder, x).c_str(), &xInfo) == 0;
    const bool yThere = ::lstat(inFolder(folder, y).c_str(), &yInfo) == 0;
    if (xThere != yThere) {
        return false;  // one spelling found and the other not: case counts here
    }
    if (xThere) {
        if (xInfo.st_dev == yInfo.st_dev && xInfo.st_ino == yInfo.st_ino) {
            return true;
        }
        // Both found: two entries only if the folder lists both.
        auto [listing, added] = listings_.try_emplace(folder);
        if (added) {
            struct Closer {
                void operator()(DIR* dir) const { ::closedir(dir); }
            };
            const std::unique_ptr<DIR, Closer> dir(::opendir(folder.c_str()));
            if (!dir) {
                return true;  // can't tell: taken as one, the careful answer
            }
            while (const dirent* item = ::readdir(dir.get())) {
                listing->second.emplace(item->d_name);
            }
        }
        return !listing->second.contains(x) || !listing->second.contains(y);
    }
    // Neither exists yet: make one, for as long as it takes to look up the
    // other. Where nothing can be made, the outputs can't be either.
    const std::string probe = inFolder(folder, x);
    const detail::SignalsHeld held;
    FileDescriptor made(
        ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!made.valid()) {
        return true;
    }
    int slot = detail::registerTemporary(probe);
    const bool one = ::lstat(inFolder(folder, y).c_str(), &yInfo) == 0;
    made.reset();
    ::unlink(probe.c_str());
    detail::unregisterTemporary(slot);
    return one;
}

bool SameFiles::oneEntry(const Entry& a, const Entry& b) const {
    if (a.identity && a.identity == b.identity) {
        return true;
    }
    if (a.device != b.device) {
        return false;
    }
    const std::vector<std::string> aParts = partsOf(a.path);
    const std::vector<std::string> bParts = partsOf(b.path);
    if (aParts.size() != bParts.size()) {
        return false;
    }
    std::string folder;
    for (std::size_t k = 0; k < aParts.size(); ++k) {
        if (aParts[k] != bParts[k] &&
            !oneName(folder.empty() ? "/" : folder, aParts[k], bParts[k])) {
            return false;
        }
        if (k != 0) {
            folder += '/';
        }
        folder += aParts[k];
    }
    return true;
}

std::optional<std::size_t> SameFiles::find(const Entry& entry) const {
    if (entry.identity) {
        const auto known = byIdentity_.find({entry.identity->device, entry.identity->inode});
        if (known != byIdentity_.end()) {
            return entries_[known->second].label;
        }
    }
    const auto [first, last] = byLooseName_.equal_range(looseName(entry.path));
    for (auto at = first; at != last; ++at) {
        if (oneEntry(entries_[at->second], entry)) {
            return entries_[at->second].label;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> SameFiles::find(const std::string& path) const {
    return find(entryOf(path));
}

std::optional<std::size_t> SameFiles::add(const std::string& path, std::size_t label) {
    Entry entry = entryOf(path);
    if (const auto known = find(entry)) {
        return known;
    }
    entry.label = label;
    if (entry.identity) {
        byIdentity_.emplace(std::pair{entry.identity->device, entry.identity->inode},
                            entries_.size());
    }
    byLooseName_.emplace(looseName(entry.path), entries_.size());
    entries_.push_back(std::move(entry));
    return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b) {
    SameFiles files;
    files.add(a, 0);
    return files.find(b).has_value();
}

}  // namespace filecore
