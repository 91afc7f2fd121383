// Zelvic's console for fuzz targets: the report goes nowhere, the error
// stream into memory, so a target can insist that every refusal says why.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Collection.h"
#include "FuzzSupport.h"

namespace fuzzsupport {

class CapturedConsole {
  public:
    CapturedConsole() {
        static std::FILE* const devNull = std::fopen("/dev/null", "w");
        console_.out = devNull;
        console_.err = open_memstream(&buffer_, &size_);
        if (console_.out == nullptr || console_.err == nullptr) {
            fail("cannot set up the console");
        }
    }
    ~CapturedConsole() {
        std::fclose(console_.err);
        std::free(buffer_);
    }
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    const zelvic::Console& console() const { return console_; }
    std::string errors() {
        std::fflush(console_.err);
        return {buffer_, size_};
    }

  private:
    zelvic::Console console_;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
};

// Every refusal is one "Error: " line on the error stream; success says nothing there.
inline void checkErrors(int status, const std::string& errors) {
    if (status == zelvic::kOk) {
        if (!errors.empty()) {
            fail("a successful run wrote to the error stream");
        }
    } else if (errors.rfind("Error: ", 0) != 0 || errors.back() != '\n') {
        fail("a refusal without its message");
    }
}

}  // namespace fuzzsupport
