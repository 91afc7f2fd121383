// kestrin-names COMMAND [OPTIONS] FONT...: the font name model from the
// command line, for scripts and folders of fonts. See Runner.h.
#include <unistd.h>

#include <span>
#include <string>
#include <vector>

#include "Runner.h"
#include "TextOut.h"

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    const std::vector<std::string> arguments(args.begin() + (args.empty() ? 0 : 1), args.end());
    names::TextOut out(STDOUT_FILENO);
    names::TextOut err(STDERR_FILENO);
    const int status = names::runNames(arguments, out, err, isatty(STDERR_FILENO) == 1);
    out.flush();
    if (out.failed()) {
        err << "kestrin-names: cannot write the output.\n";
        return names::kSomeFailed;
    }
    return status;
}
