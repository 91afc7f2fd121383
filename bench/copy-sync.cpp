// copy-sync FOLDER FILE...
//
// Copies each FILE over the file of its name in FOLDER as cp does (one
// copy_file_range, the destination truncated), then syncs the copy and the
// folder: the bytes and the syncs of an atomic save of each font in place.
// bench/compare holds kestrin-names editing a folder in place to it.
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

namespace {

int fail(const std::string& what) {
    std::fprintf(stderr, "copy-sync: %s: %s\n", what.c_str(), std::strerror(errno));
    return 1;
}

int copyAndSync(const std::string& source, const std::string& target, int folder) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return fail(source);
    }
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return fail(target);
    }
    struct stat info {};
    int status = ::fstat(in, &info) == 0 ? 0 : fail(source);
    for (off_t left = info.st_size; status == 0 && left > 0;) {
        const ssize_t copied =
            ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(left), 0);
        if (copied <= 0) {
            status = fail(target);
        }
        left -= copied;
    }
    if (status == 0 && (::fsync(out) != 0 || ::fsync(folder) != 0)) {
        status = fail(target);
    }
    ::close(out);
    ::close(in);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: copy-sync FOLDER FILE...\n");
        return 2;
    }
    const std::string folderName = args[1];
    const int folder = ::open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return fail(folderName);
    }
    int status = 0;
    for (const char* source : args.subspan(2)) {
        const std::string path = source;
        const std::size_t slash = path.rfind('/');
        std::string target = folderName;
        target += '/';
        target += slash == std::string::npos ? path : path.substr(slash + 1);
        status |= copyAndSync(path, target, folder);
    }
    ::close(folder);
    return status;
}
