// Display names of a name record's platform, encoding and language, as the
// Encode list shows them.
#pragma once

#include <cstdint>

// "platform=%s, encode=%s, lang=%s" for the triple. The text lives in one
// buffer owned by the function and is overwritten by the next call of either
// function here.
const char* GetEncodeString(std::uint16_t platformID, std::uint16_t encodingID,
                            std::uint16_t languageID);

// The same text with the language told apart from others of the same name by
// its region, where one is known, and its ID: "lang=English (United States,
// 1033)", "lang=Korean (South Korea, 1042)", "lang=Unknown(5) (5)". For
// entries whose plain texts would be the same.
const char* GetDistinctEncodeString(std::uint16_t platformID, std::uint16_t encodingID,
                                    std::uint16_t languageID);
