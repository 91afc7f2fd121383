// make over two fuzzed fonts. The input is a 4-byte big-endian length, the
// first font's bytes, then the second font's. A collection that make writes
// must split again with break, and the split fonts, made into a collection
// and split again, must come back byte for byte (the first split may set
// checkSumAdjustment and put tables in directory order; after that nothing
// moves); a refusal leaves nothing behind.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Collection.h"
#include "FuzzSupport.h"
#include "ZelvicConsole.h"

namespace {

std::vector<std::string> folderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const std::size_t split = std::size_t{data[0]} << 24 | std::size_t{data[1]} << 16 |
                              std::size_t{data[2]} << 8 | std::size_t{data[3]};
    const std::span rest(data + 4, size - 4);
    const std::size_t firstSize = std::min(split, rest.size());

    const auto& scratch = fuzzsupport::scratch();
    scratch.clear();
    fuzzsupport::writeFile(scratch / "a.ttf", rest.first(firstSize));
    fuzzsupport::writeFile(scratch / "b.ttf", rest.subspan(firstSize));
    const std::vector<std::string> fonts{(scratch / "a.ttf").string(),
                                         (scratch / "b.ttf").string()};
    const std::string output = (scratch / "out.ttc").string();

    fuzzsupport::CapturedConsole console;
    const int status = zelvic::makeCollection(output, fonts, console.console());
    fuzzsupport::checkErrors(status, console.errors());
    if (status != zelvic::kOk) {
        if (status != zelvic::kInputFailed) {
            fuzzsupport::fail("make failed on its output, not its inputs");
        }
        if (folderListing(scratch.path()) != std::vector<std::string>{"a.ttf", "b.ttf"}) {
            fuzzsupport::fail("a refused make left a file behind");
        }
        return 0;
    }
    if (folderListing(scratch.path()) != std::vector<std::string>{"a.ttf", "b.ttf", "out.ttc"}) {
        fuzzsupport::fail("make left something besides its collection");
    }

    fuzzsupport::CapturedConsole breakConsole;
    const int breakStatus = zelvic::breakCollection(output, breakConsole.console());
    fuzzsupport::checkErrors(breakStatus, breakConsole.errors());
    if (breakStatus != zelvic::kOk) {
        fuzzsupport::fail("a collection make wrote does not split");
    }
    const std::vector<std::string> splitFonts{(scratch / "out001.TTF").string(),
                                              (scratch / "out002.TTF").string()};
    const std::string again = (scratch / "again.ttc").string();
    fuzzsupport::CapturedConsole againConsole;
    if (zelvic::makeCollection(again, splitFonts, againConsole.console()) != zelvic::kOk) {
        fuzzsupport::fail("fonts split from a collection could not be joined again");
    }
    fuzzsupport::CapturedConsole againBreakConsole;
    if (zelvic::breakCollection(again, againBreakConsole.console()) != zelvic::kOk) {
        fuzzsupport::fail("a collection of split fonts does not split");
    }
    for (std::size_t k = 0; k < splitFonts.size(); ++k) {
        if (fuzzsupport::readFile(splitFonts[k]) !=
            fuzzsupport::readFile(zelvic::outputFontName((scratch / "again").string(),
                                                         static_cast<std::uint32_t>(k + 1)))) {
            fuzzsupport::fail("make and break of split fonts did not give them back");
        }
    }
    return 0;
}
