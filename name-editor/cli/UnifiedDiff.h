// A unified diff of two lists of lines, as `diff -u` prints it, for showing
// what a command would change.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TextOut.h"

namespace names {

// Writes nothing when the lists are equal; otherwise "--- label", "+++
// label" and the hunks with three lines of context.
void writeUnifiedDiff(TextOut& out, std::string_view label, const std::vector<std::string>& before,
                      const std::vector<std::string>& after);

}  // namespace names
