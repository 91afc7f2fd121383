// What the Zelvic tests share: the report and error streams caught in memory,
// a scoped change of the current folder, and the path of the built programs.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "Collection.h"
#include "SfntBuilder.h"
#include "TestFiles.h"

namespace zelvictest {

using testsupport::Bytes;

class CapturedConsole {
  public:
    CapturedConsole()
        : out_(open_memstream(&outData_, &outSize_)), err_(open_memstream(&errData_, &errSize_)) {}
    ~CapturedConsole() {
        std::fclose(out_);
        std::fclose(err_);
        std::free(outData_);
        std::free(errData_);
    }
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    zelvic::Console console() const { return {out_, err_}; }
    std::string output() {
        std::fflush(out_);
        return {outData_, outSize_};
    }
    std::string errors() {
        std::fflush(err_);
        return {errData_, errSize_};
    }

  private:
    char* outData_ = nullptr;
    std::size_t outSize_ = 0;
    char* errData_ = nullptr;
    std::size_t errSize_ = 0;
    std::FILE* out_;
    std::FILE* err_;
};

// Split fonts are named after the collection's name up to its first '.', so
// the tests run in their scratch folder and use bare names.
class InFolder {
  public:
    explicit InFolder(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(previous_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

  private:
    std::filesystem::path previous_;
};

inline std::string zelvicProgram() {
    return std::string(PROJECT_BINARY_DIR) + "/bin/Zelvic";
}
inline std::string allZelvicProgram() {
    return std::string(PROJECT_BINARY_DIR) + "/bin/AllZelvic";
}

struct RunResult {
    int status = 0;
    std::string output;
    std::string errors;
};

inline RunResult runMake(const std::string& output, const std::vector<std::string>& fonts) {
    CapturedConsole captured;
    std::vector<std::string> arguments{output};
    arguments.insert(arguments.end(), fonts.begin(), fonts.end());
    RunResult result;
    result.status = zelvic::runZelvic(arguments, captured.console());
    result.output = captured.output();
    result.errors = captured.errors();
    return result;
}

inline RunResult runBreak(const std::string& collection) {
    CapturedConsole captured;
    const std::vector<std::string> arguments{collection};
    RunResult result;
    result.status = zelvic::runZelvic(arguments, captured.console());
    result.output = captured.output();
    result.errors = captured.errors();
    return result;
}

inline const std::string kBanner = "Zelvic: TrueType Collection maker and splitter\n\n";

// `count` tables with distinct tags and bodies; lengths vary so that padding
// occurs.
inline std::vector<testsupport::TestTable> distinctTables(std::size_t count, std::uint8_t seed) {
    std::vector<testsupport::TestTable> tables;
    for (std::size_t i = 0; i < count; ++i) {
        std::string tag = "t";
        tag += static_cast<char>('a' + i / 26 % 26);
        tag += static_cast<char>('a' + i % 26);
        tag += static_cast<char>('0' + i / 676 % 10);
        tables.push_back({tag, testsupport::patternBytes(20 + i * 3 + seed % 4,
                                                         static_cast<std::uint8_t>(seed + i))});
    }
    return tables;
}

// The bytes of table `index` of the font whose offset table is at `at`.
inline Bytes tableBytes(std::span<const std::uint8_t> file, std::size_t at, std::size_t index) {
    const std::size_t record = at + 12 + 16 * index;
    const std::uint32_t offset = testsupport::getU32(file, record + 8);
    const std::uint32_t length = testsupport::getU32(file, record + 12);
    return Bytes(file.begin() + offset, file.begin() + offset + length);
}

}  // namespace zelvictest
