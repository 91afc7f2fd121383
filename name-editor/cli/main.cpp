// kestrin-names COMMAND [OPTIONS] FONT...: the font name model from the
// command line, for scripts and folders of fonts. See Runner.h.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "Runner.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    const std::vector<std::string> arguments(args.begin() + (args.empty() ? 0 : 1), args.end());
    const int status = names::runNames(arguments, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "kestrin-names: cannot write the output.\n";
        return names::kSomeFailed;
    }
    return status;
}
