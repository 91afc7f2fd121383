// Zelvic: joins single-font files into a TrueType Collection, sharing tables
// that are equal in every byte, and splits a collection back into fonts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace zelvic {

// Exit statuses; a shell sees -1, -2 and -3 as 255, 254 and 253.
inline constexpr int kOk = 0;
inline constexpr int kUsage = -1;
inline constexpr int kInputFailed = -2;
inline constexpr int kOutputFailed = -3;

// Offsets in a collection and in a font are 32-bit, so nothing Zelvic writes
// may reach past 4 GiB.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 32;

// Where the report and the error messages go: standard output and standard
// error in the program, memory streams in the tests.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;

    // "Error: <file>: <problem>." on the error stream, after whatever the
    // report has printed so far.
    void error(std::string_view file, std::string_view problem) const;
};

// Writes the collection `outputName` from the fonts in `fontNames` (two or
// more), in that order. Returns kOk, kInputFailed or kOutputFailed.
int makeCollection(const std::string& outputName, std::span<const std::string> fontNames,
                   const Console& console);

// Writes every font of the collection `collectionName` to its own file,
// named by outputFontName(). Returns kOk, kInputFailed or kOutputFailed.
int breakCollection(const std::string& collectionName, const Console& console);

// The name a split font is given, beside the collection: the collection's
// folder as it was spelled, its file name up to the first '.', the font's
// number (from 1) with at least three digits, ".TTF".
std::string baseNameOf(std::string_view collectionName);
std::string outputFontName(std::string_view baseName, std::uint32_t number);

// The whole program behind main(): banner, mode by argument count, status.
int runZelvic(std::span<const std::string> arguments, const Console& console);

}  // namespace zelvic
