// The text of a name record and the bytes it is stored as. Which encoding a
// record's bytes are in follows from its platform, encoding and (for the
// Macintosh Roman script) language; in memory every name is UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nametext {

// The stored bytes as UTF-8, as well as they can be read: bytes the encoding
// does not define come out as U+FFFD, and a record whose encoding has no
// converter is shown through the closest one (Mac OS Roman for the Roman
// script's other languages, ISO 8859-1 otherwise). Never fails.
std::string decode(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                   std::span<const std::uint8_t> bytes);

// The bytes `utf8` is stored as, or nothing when the encoding can't hold the
// text (or `utf8` is not valid UTF-8) or no converter for it is known.
std::optional<std::vector<std::uint8_t>> encode(std::uint16_t platformID, std::uint16_t encodingID,
                                                std::uint16_t languageID, std::string_view utf8);

// The encoding's name for messages: "Mac OS Roman", "Shift_JIS", "UTF-16BE", ...
std::string encodingName(std::uint16_t platformID, std::uint16_t encodingID,
                         std::uint16_t languageID);

}  // namespace nametext
