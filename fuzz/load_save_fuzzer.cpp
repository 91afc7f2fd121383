// A font that loads must save, and the saved font must load again. Saving the
// reloaded font must give the very same bytes: a save that changes what it
// wrote on the second pass has lost or altered something on the first.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "Checksum.h"
#include "FontStore.h"
#include "FuzzSupport.h"

namespace {

std::string lastMessage;

void captureMessages() {
    static const bool installed = [] {
        setErrorReporter(
            [](std::string_view text, std::string_view, std::string_view) { lastMessage = text; });
        return true;
    }();
    (void)installed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    captureMessages();
    const auto& scratch = fuzzsupport::scratch();
    const std::string input = (scratch / "input.ttf").string();
    const std::string first = (scratch / "first.ttf").string();
    const std::string second = (scratch / "second.ttf").string();
    fuzzsupport::writeFile(input, std::span(data, size));

    TableDirectory directory;
    NameTable names;
    lastMessage.clear();
    if (!loadFont(input.c_str(), directory, names)) {
        if (lastMessage != "invalid ttf file." && lastMessage != "name table too large.") {
            fuzzsupport::fail("a load failed with an unexpected message");
        }
        return 0;
    }
    if (!saveFont(first.c_str(), directory, names)) {
        // The only refusal a loaded font may meet on a healthy disk.
        if (lastMessage != "name table too large.") {
            fuzzsupport::fail("a loaded font could not be saved");
        }
        return 0;
    }

    TableDirectory reloadedDirectory;
    NameTable reloadedNames;
    if (!loadFont(first.c_str(), reloadedDirectory, reloadedNames)) {
        fuzzsupport::fail("a saved font does not load");
    }
    if (!saveFont(second.c_str(), reloadedDirectory, reloadedNames)) {
        fuzzsupport::fail("a reloaded font could not be saved");
    }
    const auto saved = fuzzsupport::readFile(first);
    if (saved != fuzzsupport::readFile(second)) {
        fuzzsupport::fail("saving a saved font changed its bytes");
    }
    if (directory.find("head") != nullptr &&
        filecore::tableChecksum(saved) != filecore::kFontChecksumTarget) {
        fuzzsupport::fail("a saved font does not sum to the checksum target");
    }
    return 0;
}
