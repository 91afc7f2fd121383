#include "EncodeString.h"

#include <array>
#include <cstdio>
#include <span>

namespace {

constexpr std::array<const char*, 33> macintoshScripts = {
    "Roman",   "Japanese", "Chinese",    "Korean",    "Arabic",    "Hebrew",  "Greek",
    "Russian", "RSymbol",  "Devanagari", "Gurmukhi",  "Gujarati",  "Oriya",   "Bengali",
    "Tamil",   "Telugu",   "Kannada",    "Malayalam", "Sinhalese", "Burmese", "Khmer",
    "Thai",    "Laotian",  "Georgian",   "Armenian",  "Maldivian", "Tibetan", "Mongolian",
    "Geez",    "Slavic",   "Vietnamese", "Sindhi",    "Uninterp"};

constexpr std::array<const char*, 23> macintoshLanguages = {
    "English",     "French",  "German",     "Italian",   "Dutch",   "Swedish",
    "Spanish",     "Danish",  "Portuguese", "Norwegian", "Hebrew",  "Japanese",
    "Arabic",      "Finnish", "Greek",      "Icelandic", "Maltese", "Turkish",
    "Yugoslavian", "Chinese", "Urdu",       "Hindi",     "Thai"};

constexpr std::array<const char*, 3> isoEncodings = {"ASCII", "ISO-10646(Unicode)", "ISO-8859-1"};

constexpr std::array<const char*, 2> microsoftEncodings = {"Undefined", "Unicode"};

struct WindowsLanguage {
    std::uint16_t id;
    const char* name;
};

// The names say which language only; the country variants share one name.
constexpr WindowsLanguage windowsLanguages[] = {
    {1052, "Albanian"},   {1069, "Basque"},    {1026, "Bulgarian"}, {1059, "Byelorussian"},
    {1027, "Catalan"},    {1050, "Croatian"},  {1029, "Czech"},     {1030, "Danish"},
    {1043, "Dutch"},      {2067, "Dutch"},     {1033, "English"},   {2057, "English"},
    {3081, "English"},    {4105, "English"},   {5129, "English"},   {6153, "English"},
    {1061, "Estonian"},   {1035, "Finnish"},   {1036, "French"},    {2060, "French"},
    {3084, "French"},     {4108, "French"},    {5132, "French"},    {1031, "German"},
    {2055, "German"},     {3079, "German"},    {4103, "German"},    {5127, "German"},
    {1032, "Greek"},      {1038, "Hungarian"}, {1039, "Icelandic"}, {1040, "Italian"},
    {2064, "Italian"},    {1041, "Japanese"},  {1062, "Latvian"},   {1063, "Lithuanian"},
    {1044, "Norwegian"},  {2068, "Norwegian"}, {1045, "Polish"},    {1046, "Portuguese"},
    {2070, "Portuguese"}, {1048, "Romanian"},  {1049, "Russian"},   {1051, "Slovak"},
    {1060, "Slovenian"},  {1034, "Spanish"},   {2058, "Spanish"},   {3082, "Spanish"},
    {1053, "Swedish"},    {1055, "Turkish"},   {1058, "Ukrainian"}};

// One part of the text, formed in its own buffer before the parts are joined.
using Part = std::array<char, 64>;

void formatNumber(Part& part, const char* format, std::uint16_t value) {
    std::snprintf(part.data(), part.size(), format, unsigned{value});
}

void nameFromList(Part& part, std::span<const char* const> names, std::uint16_t value,
                  const char* fallback = "Unknown(%u)") {
    if (value < names.size()) {
        std::snprintf(part.data(), part.size(), "%s", names[value]);
    } else {
        formatNumber(part, fallback, value);
    }
}

void windowsLanguageName(Part& part, std::uint16_t languageID) {
    for (const WindowsLanguage& language : windowsLanguages) {
        if (language.id == languageID) {
            std::snprintf(part.data(), part.size(), "%s", language.name);
            return;
        }
    }
    formatNumber(part, "Unknown(%u)", languageID);
}

}  // namespace

const char* GetEncodeString(std::uint16_t platformID, std::uint16_t encodingID,
                            std::uint16_t languageID) {
    // Room for three full parts; the longest real text, three
    // "Unknown(65535)" parts, has 67 characters.
    static std::array<char, 3 * std::tuple_size_v<Part> + 32> text;
    Part platform{}, encoding{}, language{};
    formatNumber(encoding, "Unknown(%u)", encodingID);
    formatNumber(language, "Unknown(%u)", languageID);

    switch (platformID) {
        case 0:
            std::snprintf(platform.data(), platform.size(), "AppleUnicode");
            break;
        case 1:
            std::snprintf(platform.data(), platform.size(), "Macintosh");
            nameFromList(encoding, macintoshScripts, encodingID);
            nameFromList(language, macintoshLanguages, languageID);
            break;
        case 2:
            std::snprintf(platform.data(), platform.size(), "ISO");
            // This one fallback has always been spelt so; the list shows it as it is.
            nameFromList(encoding, isoEncodings, encodingID, "Unkown(%u)");
            break;
        case 3:
            std::snprintf(platform.data(), platform.size(), "Microsft");
            nameFromList(encoding, microsoftEncodings, encodingID);
            windowsLanguageName(language, languageID);
            break;
        default:
            formatNumber(platform, "Unknown(%u)", platformID);
            break;
    }
    std::snprintf(text.data(), text.size(), "platform=%s, encode=%s, lang=%s", platform.data(),
                  encoding.data(), language.data());
    return text.data();
}
