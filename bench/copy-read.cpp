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

bool readAndSum(const std::string& path, std::uint32_t& sum) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return bench::fail("copy-read", path);
    }
    bool read = true;
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(in, buffer.data(), buffer.size(), at);
        if (got < 0) {
            read = bench::fail("copy-read", path);
        }
        if (got <= 0) {
            break;
        }
        sum += filecore::tableChecksum(std::span(buffer).first(static_cast<std::size_t>(got)));
        at += got;
    }
    ::close(in);
    return read;
}

bool copy(const std::string& source, const std::string& folder) {
    const std::size_t slash = source.rfind('/');
    const int out = bench::copyLikeCp(
        "copy-read", source,
        folder + '/' + (slash == std::string::npos ? source : source.substr(slash + 1)));
    if (out < 0) {
        return false;
    }
    ::close(out);
    return true;
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
        done = done && readAndSum(path, sum);
    }
    for (const std::string& path : copies) {
        done = done && (readList || readAndSum(path, sum)) && copy(path, folder);
    }
    // Printed so that no summing can be left out.
    std::printf("%08x\n", static_cast<unsigned>(sum));
    return done ? 0 : 1;
}
