// copy-sync FOLDER FILE...
//
// Copies each FILE over the file of its name in FOLDER as cp does (one
// copy_file_range, the destination truncated), then syncs the copy and the
// folder: the bytes and the syncs of an atomic save of each font in place.
// bench/compare holds kestrin-names editing a folder in place to it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <span>
#include <string>

#include "CopyLikeCp.h"

namespace {

int fail(const std::string& what) {
    bench::fail("copy-sync", what);
    return 1;
}

int copyAndSync(const std::string& source, const std::string& target, int folder) {
    const int in = bench::openToRead("copy-sync", source);
    if (in < 0) {
        return 1;
    }
    const int out = bench::copyLikeCp("copy-sync", in, source, target);
    ::close(in);
    if (out < 0) {
        return 1;
    }
    const int status = ::fsync(out) == 0 && ::fsync(folder) == 0 ? 0 : fail(target);
    ::close(out);
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
