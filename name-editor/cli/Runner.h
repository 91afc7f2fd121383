// One run of kestrin-names: the command line read, every font visited one
// file at a time (so a thousand fonts cost what the largest does), the
// results written or shown, and the exit status.
#pragma once

#include <string>
#include <vector>

#include "TextOut.h"

namespace names {

enum ExitStatus {
    kSucceeded = 0,
    kSomeFailed = 1,  // also: check found warnings
    kUsage = 2,
};

// `arguments` without the program's name. `terminal`: standard error is a
// terminal, where a progress line may show.
int runNames(const std::vector<std::string>& arguments, TextOut& out, TextOut& err, bool terminal);

std::string usageText();

}  // namespace names
