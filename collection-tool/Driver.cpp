#include <cstdio>

#include "Collection.h"

namespace zelvic {

void Console::error(std::string_view file, std::string_view problem) const {
    std::fflush(out);
    std::fprintf(err, "Error: %.*s: %.*s.\n", static_cast<int>(file.size()), file.data(),
                 static_cast<int>(problem.size()), problem.data());
}

int runZelvic(std::span<const std::string> arguments, const Console& console) {
    std::fputs("Zelvic: TrueType Collection maker and splitter\n\n", console.out);
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
