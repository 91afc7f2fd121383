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
    if (!reason.empty() && reason.back() == '.') {
        return text + ": " + reason.substr(0, reason.size() - 1);
    }
    return reason.empty() ? text : text + ": " + reason;
}

}  // namespace

bool FontDocument::load(const std::string& path, std::string& problem) {
    file_ = FontFile();
    std::string reason;
    if (const LoadError error = readFontFile(path, file_, reason); error != LoadError::None) {
        problem = describe(messageOf(error), reason);
        return false;
    }
    return true;
}

bool FontDocument::save(const std::string& target, std::string& problem) {
    std::string reason;
    if (const SaveError error = writeFontFile(target, file_, reason); error != SaveError::None) {
        problem = describe(messageOf(error), reason);
        return false;
    }
    return true;
}

}  // namespace names
