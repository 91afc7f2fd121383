// copy-read FOLDER FILE... [--read FILE...]
//
// Copies each FILE into FOLDER as cp does (one copy_file_range into a new
// file of its name) and reads every byte of the --read files (by default
// each copied file, just before its copy) once into the process, summing
// them as a table's checksum is summed. It is about the least a program can
// do that writes those files and must know their checksums: Zelvic's split
// (the collection read, its fonts written) and kestrin-names (each font
// read and written). bench/compare shows both beside it, so that a machine
// where reading into a process is dear shows as such.
//
// Being a small program that does nothing else, it starts faster than cp,
// which checks and carries over much more per file.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "Checksum.h"
#include "CopyLikeCp.h"

namespace {

// The size of the buffer that Zelvic's split sums through.
std::array<std::uint8_t, std::size_t{64} * 1024> buffer;

// Every byte of the open `in` into the buffer once, summed.
bool readAndSum(int in, const std::string& path, std::uint32_t& sum) {
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(in, buffer.data(), buffer.size(), at);
        if (got < 0) {
            return bench::fail("copy-read", path);
        }
        if (got == 0) {
            return true;
        }
        sum += filecore::tableChecksum(std::span(buffer).first(static_cast<std::size_t>(got)));
        at += got;
    }
}

// Reads and sums `path` if `read`, then copies it into `folder` (unless that
// is empty), through one descriptor as a tool that sums what it copies would.
bool readAndCopy(const std::string& path, bool read, const std::string& folder,
                 std::uint32_t& sum) {
    const int in = bench::openToRead("copy-read", path);
    if (in < 0) {
        return false;
    }
    const std::size_t slash = path.rfind('/');
    const std::string target =
        folder.empty()
            ? std::string()
            : folder + '/' + (slash == std::string::npos ? path : path.substr(slash + 1));
    bool done = !read || readAndSum(in, path, sum);
    if (done && !target.empty()) {
        const int out = bench::copyLikeCp("copy-read", in, path, target);
        done = out >= 0;
        if (done) {
            ::close(out);
        }
    }
    ::close(in);
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: copy-read FOLDER FILE... [--read FILE...]\n");
        return 2;
    }
    const std::string folder = args[1];
    std::vector<std::string> copies;
    std::vector<std::string> reads;
    bool readList = false;
    for (const char* arg : args.subspan(2)) {
        if (std::strcmp(arg, "--read") == 0) {
            readList = true;
        } else {
            (readList ? reads : copies).emplace_back(arg);
        }
    }
    std::uint32_t sum = 0;
    bool done = true;
    for (const std::string& path : reads) {
        done = done && readAndCopy(path, true, {}, sum);
    }
    for (const std::string& path : copies) {
        done = done && readAndCopy(path, !readList, folder, sum);
    }
    // Printed so that no summing can be left out.
    std::printf("%08x\n", static_cast<unsigned>(sum));
    return done ? 0 : 1;
}
