// The two forms a font's names are shown in: aligned text, one record a line,
// and JSON with fontTools' field names. Both keep the table's order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Invocation.h"
#include "TextOut.h"

class NameTable;
struct NameRecord;

namespace names {

// "  3  1 0x0409     1  DejaVu Sans": platform, encoding, language, name
// ID, text; line breaks, tabs, other control characters and backslashes
// escaped so that every record is one line.
std::string listLine(const NameRecord& record);
// The lines of the records the filter selects, in table order, skipping
// those a save would leave out.
std::vector<std::string> listLines(NameTable& names, const RecordSelection& filter);

// A JSON string literal of UTF-8 `text`.
std::string jsonString(std::string_view text);
// One font's object of the JSON document:
// {"file": ..., ["font": N,] "names": [{"platformID": ..., "platEncID": ...,
//  "langID": ..., "nameID": ..., "string": ...}, ...]}
void writeJsonFont(TextOut& out, std::string_view file, const std::optional<std::uint32_t>& member,
                   NameTable& names, const RecordSelection& filter);

}  // namespace names
