#include <cstdio>

#include "Collection.h"

namespace zelvic {

void Console::error(std::string_view file, std::string_view problem) const {
    std::fflush(out);
    std::fprintf(err, "Error: %.*s: %.*s.\n", static_cast<int>(file.size()), file.data(),
                 static_cast<int>(problem.size()), problem.data());
}

int runZelvic(std::span<const std::string> arguments, const Console& console) {
    // --help and --version only when alone: a file of that name is ./--help.
    const bool alone = arguments.size() == 1;
    if (alone && arguments[0] == "--version") {
        std::fputs("Zelvic " FONTTOOLS_VERSION "\n", console.out);
        return kOk;
    }
    std::fputs("Zelvic: TrueType Collection maker and splitter\n\n", console.out);
    if (alone && arguments[0] == "--help") {
        std::fputs("make .TTC:  Zelvic [.TTC] [1.TTF] [2.TTF] ...\n", console.out);
        std::fputs("break .TTC: Zelvic [.TTC]\n", console.out);
        std::fputs("--help:     show this text\n", console.out);
        std::fputs("--version:  show the version\n\n", console.out);
        return kOk;
    }
    if (arguments.size() == 1) {
        return breakCollection(arguments[0], console);
    }
    if (arguments.size() >= 3) {
        return makeCollection(arguments[0], arguments.subspan(1), console);
    }
    std::fputs("make .TTC:  Zelvic [.TTC] [1.TTF] [2.TTF] ...\n", console.out);
    std::fputs("break .TTC: Zelvic [.TTC]\n\n", console.out);
    return kUsage;
}

}  // namespace zelvic
