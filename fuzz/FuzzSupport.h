// Scratch files for fuzz targets whose code under test reads and writes paths,
// not memory. The folder lives in /dev/shm when there is one, so the saves'
// fsync calls cost nothing and a long run does not wear a disk.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace fuzzsupport {

class ScratchFolder {
  public:
    ScratchFolder() {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "fontfuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

    // Empties the folder between inputs, so one input's outputs can't pass
    // for the next one's.
    void clear() const {
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }

  private:
    std::filesystem::path path_;
};

// One folder per fuzzing process, removed when the process ends normally.
inline const ScratchFolder& scratch() {
    static const ScratchFolder folder;
    return folder;
}

inline void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::perror("cannot write a scratch file");
        std::abort();
    }
}

inline std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Stops the run with the reason, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const char* why) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", why);
    std::abort();
}

}  // namespace fuzzsupport
