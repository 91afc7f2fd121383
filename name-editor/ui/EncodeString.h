// Display names of a name record's platform, encoding and language, as the
// Encode list shows them.
#pragma once

#include <cstdint>

// "platform=%s, encode=%s, lang=%s" for the triple. The text lives in one
// buffer owned by the function and is overwritten by the next call.
const char* GetEncodeString(std::uint16_t platformID, std::uint16_t encodingID,
                            std::uint16_t languageID);
