#include "MessageBox.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// "Error: text", then the file and the informative text indented below it.
int writeToStandardError(const char* text, const char* caption, const MessageDetail& detail) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::string_view rest = detail.informative;
    if (!detail.file.empty()) {
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.file.size()), detail.file.data());
    }
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(line.size()), line.data());
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    }
    return IDOK;
}

MessageBoxHandler& currentHandler() {
    static MessageBoxHandler handler = writeToStandardError;
    return handler;
}

}  // namespace

int MessageBoxA(void* /*owner*/, const char* text, const char* caption, unsigned /*type*/,
                const MessageDetail& detail) {
    return currentHandler()(text != nullptr ? text : "", caption != nullptr ? caption : "", detail);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    if (!handler) {
        handler = writeToStandardError;
    }
    return std::exchange(currentHandler(), std::move(handler));
}
