#include "NameText.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "ByteOrder.h"

namespace nametext {

namespace {

// How a platform / encoding / language stores its strings.
struct Encoding {
    enum class Kind { Utf16, Converter, None };
    Kind kind = Kind::None;
    // The converter's name; for Kind::None the one that shows the bytes best.
    const char* converter = "ISO-8859-1";
    std::string name;
};

Encoding utf16() {
    return {Encoding::Kind::Utf16, nullptr, "UTF-16BE"};
}

Encoding converter(const char* converterName, std::string name) {
    return {Encoding::Kind::Converter, converterName, std::move(name)};
}

Encoding none(const char* closest, std::string name) {
    return {Encoding::Kind::None, closest, std::move(name)};
}

// The Roman script carries several alphabets, told apart by the language
// (as fontTools reads them). Where the system has no converter for one,
// its names are shown through Mac OS Roman and only ASCII can be written.
Encoding macRomanOf(std::uint16_t languageID) {
    switch (languageID) {
        case 17:
            return converter("x-mac-turkish", "Mac OS Turkish");
        case 24:  // Lithuanian
        case 25:  // Polish
        case 26:  // Hungarian
        case 27:  // Estonian
        case 28:  // Latvian
        case 36:  // Albanian
        case 38:  // Czech
        case 39:  // Slovak
        case 40:  // Slovenian
            return converter("x-mac-centraleurroman", "Mac OS Central European");
        case 15:
            return none("macintosh", "Mac OS Icelandic");
        case 18:
            return none("macintosh", "Mac OS Croatian");
        case 37:
            return none("macintosh", "Mac OS Romanian");
        default:
            return converter("macintosh", "Mac OS Roman");
    }
}

Encoding macintoshOf(std::uint16_t encodingID, std::uint16_t languageID) {
    switch (encodingID) {
        case 0:
            return macRomanOf(languageID);
        case 1:
            return converter("Shift_JIS", "Shift_JIS");
        case 2:
            return converter("Big5", "Big5");
        case 3:
            return converter("EUC-KR", "EUC-KR");
        case 6:
            return converter("x-mac-greek", "Mac OS Greek");
        case 7:
            return converter("x-mac-cyrillic", "Mac OS Cyrillic");
        case 25:
            return converter("GB2312", "GB2312");
        case 29:
            return converter("x-mac-centraleurroman", "Mac OS Central European");
        case 35:
            return converter("x-mac-turkish", "Mac OS Turkish");
        case 37:
            return none("macintosh", "Mac OS Icelandic");
        default:
            return none("macintosh", "Macintosh script " + std::to_string(encodingID));
    }
}

Encoding encodingOf(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID) {
    switch (platformID) {
        case 0:
        case 3:  // every Windows encoding is stored as UTF-16BE
            return utf16();
        case 1:
            return macintoshOf(encodingID, languageID);
        case 2:
            if (encodingID == 0) {
                return converter("US-ASCII", "ASCII");
            }
            if (encodingID == 1) {
                return utf16();
            }
            if (encodingID == 2) {
                return converter("ISO-8859-1", "ISO 8859-1");
            }
            return none("ISO-8859-1", "ISO encoding " + std::to_string(encodingID));
        default:
            return none("ISO-8859-1", "platform " + std::to_string(platformID) + " encoding " +
                                          std::to_string(encodingID));
    }
}

// ICU's own tests give a UBool; these read as plain conditions.
bool succeeded(UErrorCode status) {
    return status <= U_ZERO_ERROR;
}

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterHandle = std::unique_ptr<UConverter, ConverterCloser>;

ConverterHandle openConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterHandle handle(ucnv_open(name, &status));
    return succeeded(status) ? std::move(handle) : ConverterHandle();
}

// ICU counts in int32_t and sizes its buffers from our lengths; a name is at
// most 65535 bytes, so a text past a megabyte can never be stored anyway.
bool fitsInt32(std::size_t size) {
    return size <= (std::size_t{1} << 20);
}

std::string toUtf8(std::u16string_view units) {
    if (units.empty() || !fitsInt32(units.size())) {
        return {};
    }
    // Every UTF-16 code unit takes at most three bytes of UTF-8.
    std::string out(3 * units.size(), '\0');
    int32_t length = 0;
    int32_t substitutions = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                       static_cast<int32_t>(units.size()), 0xFFFD, &substitutions, &status);
    if (!succeeded(status) || length < 0) {
        return {};
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::optional<std::u16string> fromUtf8(std::string_view utf8) {
    if (!fitsInt32(utf8.size())) {
        return std::nullopt;
    }
    std::u16string units(utf8.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), static_cast<int32_t>(units.size()), &length, utf8.data(),
                  static_cast<int32_t>(utf8.size()), &status);
    if (!succeeded(status) || length < 0) {
        return std::nullopt;  // not UTF-8
    }
    units.resize(static_cast<std::size_t>(length));
    return units;
}

std::string decodeUtf16(std::span<const std::uint8_t> bytes) {
    // An odd last byte is no character.
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = filecore::loadU16(bytes, 2 * i);
    }
    return toUtf8(units);
}

// Bytes a converter can't read become U+FFFD, the same for every encoding
// (ICU would give some of them U+001A, which is a character of its own).
void toReplacementCharacter(const void* /*context*/, UConverterToUnicodeArgs* args,
                            const char* /*units*/, int32_t /*length*/,
                            UConverterCallbackReason reason, UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) {
        return;  // reset, close or clone: nothing to write
    }
    *status = U_ZERO_ERROR;
    const UChar replacement = 0xFFFD;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

std::string decodeWith(const char* name, std::span<const std::uint8_t> bytes) {
    const ConverterHandle handle = openConverter(name);
    if (!handle || bytes.empty() || !fitsInt32(bytes.size())) {
        return {};
    }
    UErrorCode callbackStatus = U_ZERO_ERROR;
    ucnv_setToUCallBack(handle.get(), toReplacementCharacter, nullptr, nullptr, nullptr,
                        &callbackStatus);
    // No converter of ours makes more than two UTF-16 code units of a byte.
    std::u16string units(2 * bytes.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(
        handle.get(), units.data(), static_cast<int32_t>(units.size()),
        reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()), &status);
    if (!succeeded(status) || length < 0) {
        return {};
    }
    units.resize(static_cast<std::size_t>(length));
    return toUtf8(units);
}

std::optional<std::vector<std::uint8_t>> encodeWith(const char* name, std::u16string_view units) {
    const ConverterHandle handle = openConverter(name);
    if (!handle) {
        return std::nullopt;
    }
    if (units.empty()) {
        return std::vector<std::uint8_t>{};
    }
    // A character the encoding lacks stops the conversion instead of being
    // replaced by a substitute that the user never typed.
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(handle.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    const int32_t capacity = UCNV_GET_MAX_BYTES_FOR_STRING(static_cast<int32_t>(units.size()),
                                                           ucnv_getMaxCharSize(handle.get()));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(capacity));
    const int32_t length =
        ucnv_fromUChars(handle.get(), reinterpret_cast<char*>(out.data()), capacity, units.data(),
                        static_cast<int32_t>(units.size()), &status);
    if (!succeeded(status) || length < 0) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

}  // namespace

std::string decode(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                   std::span<const std::uint8_t> bytes) {
    const Encoding encoding = encodingOf(platformID, encodingID, languageID);
    std::string text = encoding.kind == Encoding::Kind::Utf16
                           ? decodeUtf16(bytes)
                           : decodeWith(encoding.converter, bytes);
    // The dialog's fields hold C strings: a name ends at its first U+0000.
    if (const std::size_t end = text.find('\0'); end != std::string::npos) {
        text.resize(end);
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> encode(std::uint16_t platformID, std::uint16_t encodingID,
                                                std::uint16_t languageID, std::string_view utf8) {
    const Encoding encoding = encodingOf(platformID, encodingID, languageID);
    if (encoding.kind == Encoding::Kind::None) {
        // Without a converter only ASCII is sure to be read back as typed: it
        // is how other tools (fontTools among them) write and read the names
        // of encodings they don't know, so an ASCII family name can still be
        // given to every record of a font.
        const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!ascii) {
            return std::nullopt;
        }
        return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
    }
    const std::optional<std::u16string> units = fromUtf8(utf8);
    if (!units) {
        return std::nullopt;
    }
    if (encoding.kind == Encoding::Kind::Converter) {
        return encodeWith(encoding.converter, *units);
    }
    std::vector<std::uint8_t> out(2 * units->size());
    for (std::size_t i = 0; i < units->size(); ++i) {
        filecore::storeU16(out, 2 * i, (*units)[i]);
    }
    return out;
}

std::string encodingName(std::uint16_t platformID, std::uint16_t encodingID,
                         std::uint16_t languageID) {
    return encodingOf(platformID, encodingID, languageID).name;
}

}  // namespace nametext
