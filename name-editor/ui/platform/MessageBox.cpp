#include "MessageBox.h"

#include <cstdio>
#include <utility>

namespace {

int writeToStandardError(void* /*owner*/, const char* text, const char* caption, unsigned /*type*/,
                         std::string_view /*informative*/) {
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "");
    return IDOK;
}

MessageBoxHandler& currentHandler() {
    static MessageBoxHandler handler = writeToStandardError;
    return handler;
}

}  // namespace

int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type,
                std::string_view informative) {
    return currentHandler()(owner, text, caption, type, informative);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    if (!handler) {
        handler = writeToStandardError;
    }
    return std::exchange(currentHandler(), std::move(handler));
}

MessageBoxHandler setMessageBoxHandler(PlainMessageBoxHandler handler) {
    if (!handler) {
        return setMessageBoxHandler(MessageBoxHandler());
    }
    return setMessageBoxHandler([plain = std::move(handler)](void* owner, const char* text,
                                                             const char* caption, unsigned type,
                                                             std::string_view /*informative*/) {
        return plain(owner, text, caption, type);
    });
}
