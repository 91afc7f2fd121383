#include "FontDocument.h"

#include "FontStore.h"

namespace names {

namespace {

// "cannot open file: Permission denied" from the model's "cannot open file."
std::string describe(const char* message, const std::string& reason) {
    std::string text = message;
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return reason.empty() ? text : text + ": " + reason;
}

}  // namespace

bool FontDocument::load(const std::string& path, std::string& problem) {
    fonts_.clear();
    auto font = std::make_unique<Font>();
    std::string reason;
    if (const LoadError error = readFont(path, font->directory, font->names, reason);
        error != LoadError::None) {
        problem = describe(messageOf(error), reason);
        return false;
    }
    path_ = path;
    fonts_.push_back(std::move(font));
    return true;
}

bool FontDocument::save(const std::string& target, std::string& problem) {
    std::string reason;
    const Font& font = *fonts_.at(0);
    if (const SaveError error = writeFont(target, font.directory, font.names, reason);
        error != SaveError::None) {
        problem = describe(messageOf(error), reason);
        return false;
    }
    return true;
}

}  // namespace names
