// A file copied as cp copies it, for the benchmark's reference programs: the
// target created or truncated, then one copy_file_range of the whole source
// (more only where the kernel copies less at a time).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace bench {

// "program: what: reason" on stderr; false, for the caller to pass on.
inline bool fail(const char* program, const std::string& what) {
    std::fprintf(stderr, "%s: %s: %s\n", program, what.c_str(), std::strerror(errno));
    return false;
}

// Opens `path` to read, or returns -1 once the failure is reported.
inline int openToRead(const char* program, const std::string& path) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        fail(program, path);
    }
    return in;
}

// Copies `source`, open as `in` (which stays open), over `target`. Returns
// the target still open, for the caller to sync and close, or -1 once the
// failure is reported.
inline int copyLikeCp(const char* program, int in, const std::string& source,
                      const std::string& target) {
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        fail(program, target);
        return -1;
    }
    struct stat info {};
    bool copied = ::fstat(in, &info) == 0 || fail(program, source);
    for (off_t left = info.st_size; copied && left > 0;) {
        const ssize_t count =
            ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(left), 0);
        if (count > 0) {
            left -= count;
        } else {
            copied = fail(program, target);
        }
    }
    if (!copied) {
        ::close(out);
        return -1;
    }
    return out;
}

}  // namespace bench
