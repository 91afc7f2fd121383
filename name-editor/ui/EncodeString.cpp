#include "EncodeString.h"

#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

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

// The Unicode platform's encodings, as the OpenType font format names them.
constexpr std::array<const char*, 7> unicodeEncodings = {
    "Unicode 1.0",     "Unicode 1.1",      "ISO/IEC 10646",
    "Unicode 2.0 BMP", "Unicode 2.0 full", "Unicode Variation Sequences",
    "Unicode full"};

std::string numbered(const char* format, std::uint16_t value) {
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, unsigned{value});
    return buffer.data();
}

std::string nameFromList(std::span<const char* const> names, std::uint16_t value,
                         const char* fallback = "Unknown(%u)") {
    return value < names.size() ? std::string(names[value]) : numbered(fallback, value);
}

bool failed(UErrorCode status) {
    return U_FAILURE(status) != 0;
}

// ICU's locale for a Windows language ID, or "" when it knows none. The
// neutral ID 0 comes back as the root locale, which names no language.
std::string localeOfWindowsLanguage(std::uint16_t languageID) {
    std::array<char, ULOC_FULLNAME_CAPACITY> locale{};
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t length = uloc_getLocaleForLCID(
        languageID, locale.data(), static_cast<std::int32_t>(locale.size()), &status);
    if (failed(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0 ||
        std::strcmp(locale.data(), "root") == 0) {
        return {};
    }
    return locale.data();
}

// An ICU display text (UTF-16) as UTF-8, or "" when ICU failed or had none.
template <typename DisplayFunction>
std::string englishDisplay(const std::string& locale, DisplayFunction display) {
    std::array<UChar, 256> utf16{};
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t length = display(locale.c_str(), "en", utf16.data(),
                                        static_cast<std::int32_t>(utf16.size()), &status);
    if (failed(status) || length <= 0 || status == U_STRING_NOT_TERMINATED_WARNING) {
        return {};
    }
    std::array<char, 4 * 256 + 1> utf8{};
    const std::int32_t utf8Size = static_cast<std::int32_t>(utf8.size());
    std::int32_t written = 0;
    u_strToUTF8(utf8.data(), utf8Size, &written, utf16.data(), length, &status);
    if (failed(status) || written >= utf8Size) {
        return {};
    }
    return {utf8.data(), static_cast<std::size_t>(written)};
}

// The table's name where it has one, which the list has always shown;
// otherwise ICU's English name of the language with its region
// ("Korean (South Korea)").
std::string windowsLanguageName(std::uint16_t languageID) {
    for (const WindowsLanguage& language : windowsLanguages) {
        if (language.id == languageID) {
            return language.name;
        }
    }
    const std::string locale = localeOfWindowsLanguage(languageID);
    std::string name = locale.empty() ? std::string() : englishDisplay(locale, uloc_getDisplayName);
    return name.empty() ? numbered("Unknown(%u)", languageID) : name;
}

std::string windowsRegionName(std::uint16_t languageID) {
    const std::string locale = localeOfWindowsLanguage(languageID);
    return locale.empty() ? std::string() : englishDisplay(locale, uloc_getDisplayCountry);
}

struct Parts {
    std::string platform, encoding, language;
};

Parts partsOf(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID) {
    Parts parts{numbered("Unknown(%u)", platformID), numbered("Unknown(%u)", encodingID),
                numbered("Unknown(%u)", languageID)};
    switch (platformID) {
        case 0:
            parts.platform = "AppleUnicode";
            parts.encoding = nameFromList(unicodeEncodings, encodingID);
            break;
        case 1:
            parts.platform = "Macintosh";
            parts.encoding = nameFromList(macintoshScripts, encodingID);
            parts.language = nameFromList(macintoshLanguages, languageID);
            break;
        case 2:
            parts.platform = "ISO";
            // This one fallback has always been spelt so; the list shows it as it is.
            parts.encoding = nameFromList(isoEncodings, encodingID, "Unkown(%u)");
            break;
        case 3:
            parts.platform = "Microsft";
            parts.encoding = nameFromList(microsoftEncodings, encodingID);
            parts.language = windowsLanguageName(languageID);
            break;
        default:
            break;
    }
    return parts;
}

const char* joined(const Parts& parts) {
    static std::string text;
    text = "platform=" + parts.platform + ", encode=" + parts.encoding + ", lang=" + parts.language;
    return text.c_str();
}

}  // namespace

const char* GetEncodeString(std::uint16_t platformID, std::uint16_t encodingID,
                            std::uint16_t languageID) {
    return joined(partsOf(platformID, encodingID, languageID));
}

const char* GetDistinctEncodeString(std::uint16_t platformID, std::uint16_t encodingID,
                                    std::uint16_t languageID) {
    Parts parts = partsOf(platformID, encodingID, languageID);
    std::string detail = std::to_string(languageID);
    std::string& language = parts.language;
    if (!language.empty() && language.back() == ')' && language.find(" (") != std::string::npos) {
        // ICU's name already gives the region in parentheses: the ID joins it there.
        language.insert(language.size() - 1, ", " + detail);
        return joined(parts);
    }
    if (platformID == 3) {
        const std::string region = windowsRegionName(languageID);
        if (!region.empty()) {
            detail = region + ", " + detail;
        }
    }
    language += " (" + detail + ")";
    return joined(parts);
}
