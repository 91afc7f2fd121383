#include "TextOut.h"

#include <unistd.h>

#include <cerrno>

namespace names {

namespace {

// Written in pieces of about this much when nobody flushes: a long listing
// needn't sit whole in memory.
constexpr std::size_t kGathered = std::size_t{64} * 1024;

}  // namespace

TextOut& TextOut::operator<<(std::string_view text) {
    text_ += text;
    if (descriptor_ >= 0 && text_.size() >= kGathered) {
        flush();
    }
    return *this;
}

void TextOut::flush() {
    if (descriptor_ < 0) {
        return;
    }
    std::string_view left = text_;
    while (!left.empty() && !failed_) {
        const ssize_t written = ::write(descriptor_, left.data(), left.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            failed_ = true;
            break;
        }
        left.remove_prefix(static_cast<std::size_t>(written));
    }
    text_.clear();
}

}  // namespace names
