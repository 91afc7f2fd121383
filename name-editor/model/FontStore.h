// Loading a whole font into the model and saving it back. readFont and
// writeFont give typed results; loadFont and saveFont turn them into the
// messages the user sees, through the error reporter, before they return false.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "FontErrors.h"
#include "NameTable.h"
#include "TableDirectory.h"

// Reads the single font at `path`. On failure the model is unchanged and
// `reason` says why, as a sentence to show below the message: the system's
// reason ("Permission denied") when the file can't be read, the part at
// fault ("Tables 'head' and 'maxp' overlap.") when it is no valid font.
LoadError readFont(const std::string& path, TableDirectory& directory, NameTable& names,
                   std::string& reason);
// Writes the font to `path` (atomically; see filecore::FileReplacement):
// the tables in directory order at 4-byte boundaries, the name table rebuilt,
// every other table copied from the file the font was read from (refused as
// SourceChanged when that is no longer the file read), every table's
// checksum that of its bytes ('head' with checkSumAdjustment counted as zero)
// and checkSumAdjustment making the whole font, padded with zeros to 4 bytes,
// sum to 0xB1B0AFBA. The names are not changed; when `path` is the file read,
// the directory afterwards describes the file written, from which a later
// save copies. On failure nothing is changed.
SaveError writeFont(const std::string& path, TableDirectory& directory, const NameTable& names,
                    std::string& reason);

// The message shown for each failure: "usage:", "cannot open file.", ...
const char* messageOf(LoadError error);
const char* messageOf(SaveError error);

bool loadFont(const char* path, TableDirectory& directory, NameTable& names);
bool saveFont(const char* path, TableDirectory& directory, NameTable& names);

// Would a save to `path` be refused before anything is written (a read-only
// file, a folder that can't be written)? If so, false with the reason.
bool canReplace(const std::string& path, std::string& reason);

// Where loadFont and saveFont send their messages. The default writes
// "Error: <message>" to standard error. `reason` is the system's reason
// ("Permission denied") or empty.
using ErrorReporter =
    std::function<void(std::string_view message, std::string_view path, std::string_view reason)>;
// Returns the previous reporter; an empty one restores the default.
ErrorReporter setErrorReporter(ErrorReporter reporter);
// Sends a message to the current reporter, as loadFont and saveFont do.
void reportError(std::string_view message, std::string_view path, std::string_view reason);
