// break over a fuzzed collection. Every font it writes must be a font that
// make accepts; a refusal leaves the folder as it was.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Collection.h"
#include "FuzzSupport.h"
#include "ZelvicConsole.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& scratch = fuzzsupport::scratch();
    scratch.clear();
    fuzzsupport::writeFile(scratch / "in.ttc", std::span(data, size));
    const std::string collection = (scratch / "in.ttc").string();

    fuzzsupport::CapturedConsole console;
    const int status = zelvic::breakCollection(collection, console.console());
    fuzzsupport::checkErrors(status, console.errors());

    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        if (entry.path().filename() != "in.ttc") {
            written.push_back(entry.path().string());
        }
    }
    std::sort(written.begin(), written.end());
    if (status != zelvic::kOk) {
        if (status != zelvic::kInputFailed || !written.empty()) {
            fuzzsupport::fail("a refused break failed on output or left files behind");
        }
        return 0;
    }
    // The fonts are numbered from 1 without gaps: nothing else was written.
    for (std::size_t k = 0; k < written.size(); ++k) {
        if (written[k] !=
            zelvic::outputFontName((scratch / "in").string(), static_cast<std::uint32_t>(k + 1))) {
            fuzzsupport::fail("break wrote a file it was not asked for");
        }
    }
    // Each written font, joined with itself, must make a collection.
    for (std::size_t k = 0; k < std::min<std::size_t>(written.size(), 4); ++k) {
        const std::vector<std::string> pair{written[k], written[k]};
        fuzzsupport::CapturedConsole makeConsole;
        const int made =
            zelvic::makeCollection((scratch / "check.ttc").string(), pair, makeConsole.console());
        if (made != zelvic::kOk) {
            fuzzsupport::fail("a font break wrote is refused by make");
        }
    }
    return 0;
}
