#include "NameText.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>

#include "ByteOrder.h"
#include "IcuLibrary.h"

namespace nametext {

namespace {

// Codes whose characters follow one another: code + i stands for first + i.
// A code above 0xFF is a lead byte and a trail byte.
struct CodeRun {
    std::uint16_t code;
    std::uint16_t count;
    char16_t first;
};

// An encoding read and written through an ICU converter, corrected where
// fontTools (Python's codecs, which follow the published tables) reads or
// writes codes otherwise than the converter, which follows a vendor's
// extended code page. The deltas were found by comparing both over every
// one- and two-byte code and every BMP character; codes that only the
// converter knows (vendor extensions) are read and written as it does.
struct CodePage {
    const char* converter;
    std::span<const CodeRun> readDelta;   // read (and so written) otherwise
    std::span<const CodeRun> writeDelta;  // only written otherwise
    // The single bytes that Apple's Macintosh encodings add to the code page
    // (its mapping tables, as fontTools' encodings/codecs.py has them): they
    // stand for themselves where the code page has nothing.
    std::span<const CodeRun> appleExtras;
    // The converter's lead bytes, so that a trail byte is never taken for a code.
    std::uint8_t leadLow = 0, leadHigh = 0, leadLow2 = 0, leadHigh2 = 0;

    bool isLead(std::uint8_t byte) const {
        return (byte >= leadLow && byte <= leadHigh) || (byte >= leadLow2 && byte <= leadHigh2);
    }
};

// JIS X 0208 as Python reads it; ICU's IBM-943 also swaps three controls.
constexpr CodeRun kShiftJisRead[] = {{0x1A, 1, 0x1A},     {0x1C, 1, 0x1C},     {0x7F, 1, 0x7F},
                                     {0x8160, 1, 0x301C}, {0x8161, 1, 0x2016}, {0x817C, 1, 0x2212},
                                     {0x8191, 2, 0x00A2}, {0x81CA, 1, 0x00AC}};
constexpr CodeRun kShiftJisWrite[] = {{0x5C, 1, 0x00A5}, {0x7E, 1, 0x203E}};
// Big5 with the ETEN kana, Cyrillic and numbers at C6A1-C7FC, where
// Microsoft's code page 950 has private-use characters.
constexpr CodeRun kBig5Read[] = {
    {0xA145, 1, 0x2022},  {0xA14E, 1, 0xFF64},  {0xA1C2, 1, 0x203E},  {0xA1E3, 1, 0x223C},
    {0xA1F2, 1, 0x2641},  {0xA1F3, 1, 0x2609},  {0xA241, 1, 0xFF0F},  {0xA242, 1, 0xFF3C},
    {0xA244, 1, 0x00A5},  {0xA246, 2, 0x00A2},  {0xC6A1, 1, 0x30FE},  {0xC6A2, 2, 0x309D},
    {0xC6A4, 1, 0x3005},  {0xC6A5, 83, 0x3041}, {0xC6F8, 7, 0x30A1},  {0xC740, 63, 0x30A8},
    {0xC7A1, 16, 0x30E7}, {0xC7B1, 2, 0x0414},  {0xC7B3, 1, 0x0401},  {0xC7B4, 7, 0x0416},
    {0xC7BB, 19, 0x0423}, {0xC7CE, 1, 0x0451},  {0xC7CF, 26, 0x0436}, {0xC7E9, 10, 0x2460},
    {0xC7F3, 10, 0x2474}};
constexpr CodeRun kBig5Write[] = {
    {0xA2A4, 1, 0x2550}, {0xA2A5, 1, 0x255E}, {0xA2A6, 1, 0x256A}, {0xA2A7, 1, 0x2561}};
constexpr CodeRun kEucKrRead[] = {{0xA2E6, 1, 0x20AC}, {0xA2E7, 1, 0x00AE}};
constexpr CodeRun kGb2312Read[] = {{0xA3A7, 1, 0xFF07}};
constexpr CodeRun kMacJapaneseExtras[] = {{0x80, 1, 0x5C}, {0xA0, 1, 0xA0},   {0xFC, 1, 0x7C},
                                          {0xFD, 1, 0xA9}, {0xFE, 1, 0x2122}, {0xFF, 1, 0x2026}};
constexpr CodeRun kMacTradChineseExtras[] = {
    {0x80, 1, 0x5C}, {0xA0, 1, 0xA0}, {0xFD, 1, 0xA9}, {0xFE, 1, 0x2122}, {0xFF, 1, 0x2026}};
constexpr CodeRun kMacKoreanExtras[] = {{0x80, 1, 0xA0}, {0x81, 1, 0x20A9}, {0x82, 1, 0x2014},
                                        {0x83, 1, 0xA9}, {0xFE, 1, 0x2122}, {0xFF, 1, 0x2026}};
constexpr CodeRun kMacSimpChineseExtras[] = {
    {0x80, 1, 0xFC}, {0xA0, 1, 0xA0}, {0xFD, 1, 0xA9}, {0xFE, 1, 0x2122}, {0xFF, 1, 0x2026}};
// Apple's Icelandic, Croatian and Romanian: Mac OS Roman but for these.
constexpr CodeRun kMacIcelandic[] = {{0xA0, 1, 0xDD}, {0xDC, 1, 0xD0}, {0xDD, 1, 0xF0},
                                     {0xDE, 1, 0xDE}, {0xDF, 1, 0xFE}, {0xE0, 1, 0xFD}};
constexpr CodeRun kMacCroatian[] = {
    {0xA9, 1, 0x0160}, {0xAE, 1, 0x017D}, {0xB4, 1, 0x2206}, {0xB9, 1, 0x0161}, {0xBE, 1, 0x017E},
    {0xC6, 1, 0x0106}, {0xC8, 1, 0x010C}, {0xD0, 1, 0x0110}, {0xD8, 1, 0xF8FF}, {0xD9, 1, 0x00A9},
    {0xDE, 1, 0x00C6}, {0xDF, 1, 0x00BB}, {0xE0, 1, 0x2013}, {0xE6, 1, 0x0107}, {0xE8, 1, 0x010D},
    {0xF0, 1, 0x0111}, {0xF9, 1, 0x03C0}, {0xFA, 1, 0x00CB}, {0xFD, 1, 0x00CA}, {0xFE, 1, 0x00E6}};
constexpr CodeRun kMacRomanian[] = {{0xAE, 1, 0x0102}, {0xAF, 1, 0x0218}, {0xBE, 1, 0x0103},
                                    {0xBF, 1, 0x0219}, {0xDE, 1, 0x021A}, {0xDF, 1, 0x021B}};

constexpr CodePage kShiftJis{"Shift_JIS", kShiftJisRead, kShiftJisWrite, {},
                             0x81,        0x9F,          0xE0,           0xFC};
constexpr CodePage kBig5{"Big5", kBig5Read, kBig5Write, {}, 0x81, 0xFE};
constexpr CodePage kEucKr{"EUC-KR", kEucKrRead, {}, {}, 0xA1, 0xFE};
constexpr CodePage kGb2312{"GB2312", kGb2312Read, {}, {}, 0xA1, 0xFE};
constexpr CodePage kMacJapanese{"Shift_JIS", kShiftJisRead, kShiftJisWrite, kMacJapaneseExtras,
                                0x81,        0x9F,          0xE0,           0xFC};
constexpr CodePage kMacTradChinese{"Big5", kBig5Read, kBig5Write, kMacTradChineseExtras,
                                   0x81,   0xFE};
constexpr CodePage kMacKorean{"EUC-KR", kEucKrRead, {}, kMacKoreanExtras, 0xA1, 0xFE};
constexpr CodePage kMacSimpChinese{"GB2312", kGb2312Read, {}, kMacSimpChineseExtras, 0xA1, 0xFE};
constexpr CodePage kMacIcelandicPage{"macintosh", kMacIcelandic, {}, {}};
constexpr CodePage kMacCroatianPage{"macintosh", kMacCroatian, {}, {}};
constexpr CodePage kMacRomanianPage{"macintosh", kMacRomanian, {}, {}};

// How a platform / encoding / language stores its strings.
struct Encoding {
    enum class Kind { Utf16, Converter, CodePage, Johab, None };
    Kind kind = Kind::None;
    // The converter's name; for Kind::None the one that shows the bytes best.
    const char* converter = "ISO-8859-1";
    std::string name;
    const CodePage* page = nullptr;  // for Kind::CodePage
    // Windows records of a code page, which older fonts store as 16-bit
    // units (a single byte as 00 XX): their zero bytes are no character.
    bool dropZeros = false;
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

Encoding codePage(const CodePage& page, std::string name, bool dropZeros = false) {
    return {Encoding::Kind::CodePage, page.converter, std::move(name), &page, dropZeros};
}

// The Roman script carries several alphabets, told apart by the language
// (as fontTools reads them).
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
            return codePage(kMacIcelandicPage, "Mac OS Icelandic");
        case 18:
            return codePage(kMacCroatianPage, "Mac OS Croatian");
        case 37:
            return codePage(kMacRomanianPage, "Mac OS Romanian");
        default:
            return converter("macintosh", "Mac OS Roman");
    }
}

Encoding macintoshOf(std::uint16_t encodingID, std::uint16_t languageID) {
    switch (encodingID) {
        case 0:
            return macRomanOf(languageID);
        case 1:
            return codePage(kMacJapanese, "Mac OS Japanese");
        case 2:
            return codePage(kMacTradChinese, "Mac OS Chinese (Traditional)");
        case 3:
            return codePage(kMacKorean, "Mac OS Korean");
        case 6:
            return converter("x-mac-greek", "Mac OS Greek");
        case 7:
            return converter("x-mac-cyrillic", "Mac OS Cyrillic");
        case 25:
            return codePage(kMacSimpChinese, "Mac OS Chinese (Simplified)");
        case 29:
            return converter("x-mac-centraleurroman", "Mac OS Central European");
        case 35:
            return converter("x-mac-turkish", "Mac OS Turkish");
        case 37:
            return codePage(kMacIcelandicPage, "Mac OS Icelandic");
        default:
            return none("macintosh", "Macintosh script " + std::to_string(encodingID));
    }
}

Encoding encodingOf(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID) {
    switch (platformID) {
        case 0:
            return utf16();
        case 3:
            // The Far East code pages are stored as their bytes, as fontTools
            // and the older TrueType documents have them; the rest as UTF-16BE.
            switch (encodingID) {
                case 2:
                    return codePage(kShiftJis, "Shift_JIS", true);
                case 3:
                    return codePage(kGb2312, "GB2312", true);
                case 4:
                    return codePage(kBig5, "Big5", true);
                case 5:
                    return codePage(kEucKr, "EUC-KR (Wansung)", true);
                case 6:
                    return {Encoding::Kind::Johab, nullptr, "Johab", &kEucKr, true};
                default:
                    return utf16();
            }
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
    void operator()(UConverter* converter) const { icuLibrary()->close(converter); }
};
using ConverterHandle = std::unique_ptr<UConverter, ConverterCloser>;

ConverterHandle openConverter(const char* name) {
    const IcuLibrary* icu = icuLibrary();
    if (icu == nullptr) {
        return {};
    }
    UErrorCode status = U_ZERO_ERROR;
    ConverterHandle handle(icu->open(name, &status));
    return succeeded(status) ? std::move(handle) : ConverterHandle();
}

// ICU counts in int32_t and sizes its buffers from our lengths; a name is at
// most 65535 bytes, so a text past a megabyte can never be stored anyway.
bool fitsInt32(std::size_t size) {
    return size <= (std::size_t{1} << 20);
}

void appendUtf8(std::string& out, char32_t character) {
    if (character < 0x80) {
        out.push_back(static_cast<char>(character));
    } else if (character < 0x800) {
        out.push_back(static_cast<char>(0xC0 | character >> 6));
        out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    } else if (character < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | character >> 12));
        out.push_back(static_cast<char>(0x80 | (character >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | character >> 18));
        out.push_back(static_cast<char>(0x80 | (character >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (character >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    }
}

// UTF-16 code units, from wherever they are held, as UTF-8; unpaired
// surrogates become U+FFFD.
template <typename UnitAt>
std::string unitsToUtf8(std::size_t count, UnitAt unitAt) {
    if (!fitsInt32(count)) {
        return {};
    }
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = unitAt(i);
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));  // most names are ASCII
            continue;
        }
        char32_t character = unit;
        if (U16_IS_LEAD(unit) && i + 1 < count && U16_IS_TRAIL(unitAt(i + 1))) {
            character = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(unit, unitAt(i + 1)));
            ++i;
        } else if (U16_IS_SURROGATE(unit)) {
            character = 0xFFFD;
        }
        appendUtf8(out, character);
    }
    return out;
}

std::string toUtf8(std::u16string_view units) {
    return unitsToUtf8(units.size(), [units](std::size_t i) { return units[i]; });
}

// Well-formed UTF-8 only (no overlong forms, surrogates or code points past
// U+10FFFF), else nothing.
std::optional<std::u16string> fromUtf8(std::string_view utf8) {
    if (!fitsInt32(utf8.size())) {
        return std::nullopt;
    }
    std::u16string units;
    units.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t width = 0;
        char32_t least = 0;
        char32_t character = 0;
        if (lead < 0x80) {
            width = 1;
            character = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            width = 2;
            least = 0x80;
            character = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            width = 3;
            least = 0x800;
            character = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            width = 4;
            least = 0x10000;
            character = lead & 0x07u;
        } else {
            return std::nullopt;
        }
        if (width > utf8.size() - i) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k < width; ++k) {
            const auto trail = static_cast<unsigned char>(utf8[i + k]);
            if ((trail & 0xC0u) != 0x80u) {
                return std::nullopt;
            }
            character = character << 6 | (trail & 0x3Fu);
        }
        if (character < least || character > 0x10FFFF ||
            (character >= 0xD800 && character <= 0xDFFF)) {
            return std::nullopt;
        }
        if (character >= 0x10000) {
            units.push_back(static_cast<char16_t>(U16_LEAD(character)));
            units.push_back(static_cast<char16_t>(U16_TRAIL(character)));
        } else {
            units.push_back(static_cast<char16_t>(character));
        }
        i += width;
    }
    return units;
}

// Straight from the stored big-endian units: nearly every name of a font is
// one, and a copy of its units first cost as much as the conversion.
std::string decodeUtf16(std::span<const std::uint8_t> bytes) {
    // An odd last byte is no character.
    return unitsToUtf8(bytes.size() / 2, [bytes](std::size_t i) {
        return static_cast<char16_t>(filecore::loadU16(bytes, 2 * i));
    });
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
    icuLibrary()->cbToUWriteUChars(args, &replacement, 1, 0, status);
}

ConverterHandle openDecoder(const char* name) {
    ConverterHandle handle = openConverter(name);
    if (handle) {
        UErrorCode status = U_ZERO_ERROR;
        icuLibrary()->setToUCallBack(handle.get(), toReplacementCharacter, nullptr, nullptr,
                                     nullptr, &status);
    }
    return handle;
}

// Appends the characters of `bytes`, which end at a character's end.
bool appendDecoded(UConverter* converter, std::span<const std::uint8_t> bytes,
                   std::u16string& out) {
    if (bytes.empty()) {
        return true;
    }
    icuLibrary()->reset(converter);
    // No converter of ours makes more than two UTF-16 code units of a byte.
    const std::size_t at = out.size();
    out.resize(at + 2 * bytes.size());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = icuLibrary()->toUChars(
        converter, out.data() + at, static_cast<int32_t>(2 * bytes.size()),
        reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()), &status);
    if (!succeeded(status) || length < 0) {
        out.resize(at);
        return false;
    }
    out.resize(at + static_cast<std::size_t>(length));
    return true;
}

// Mac OS Roman, ISO 8859-1 and ASCII are read and written here, code for
// code as ICU's converters of those names do, so that the names of most
// fonts never need the library.
enum class SingleByte { None, MacRoman, Latin1, Ascii };

// Mac OS Roman's codes 0x80-0xFF; below them it is ASCII.
constexpr std::array<char16_t, 128> kMacRomanHigh = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

SingleByte singleByteOf(std::string_view converterName) {
    return converterName == "macintosh"    ? SingleByte::MacRoman
           : converterName == "ISO-8859-1" ? SingleByte::Latin1
           : converterName == "US-ASCII"   ? SingleByte::Ascii
                                           : SingleByte::None;
}

std::string decodeSingleByte(SingleByte encoding, std::span<const std::uint8_t> bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    for (const std::uint8_t byte : bytes) {
        units.push_back(byte < 0x80 || encoding == SingleByte::Latin1 ? char16_t{byte}
                        : encoding == SingleByte::MacRoman            ? kMacRomanHigh[byte - 0x80u]
                                                                      : u'\uFFFD');
    }
    return toUtf8(units);
}

std::optional<std::vector<std::uint8_t>> encodeSingleByte(SingleByte encoding,
                                                          std::u16string_view units) {
    std::vector<std::uint8_t> out;
    out.reserve(units.size());
    for (const char16_t unit : units) {
        if (unit < 0x80 || (encoding == SingleByte::Latin1 && unit < 0x100)) {
            out.push_back(static_cast<std::uint8_t>(unit));
            continue;
        }
        const auto* found = encoding == SingleByte::MacRoman
                                ? std::find(kMacRomanHigh.begin(), kMacRomanHigh.end(), unit)
                                : kMacRomanHigh.end();
        if (found == kMacRomanHigh.end()) {
            return std::nullopt;  // as ICU's converter stops at a character it lacks
        }
        out.push_back(static_cast<std::uint8_t>(0x80 + (found - kMacRomanHigh.begin())));
    }
    return out;
}

std::string decodeWith(const char* name, std::span<const std::uint8_t> bytes) {
    if (const SingleByte encoding = singleByteOf(name); encoding != SingleByte::None) {
        return fitsInt32(bytes.size()) ? decodeSingleByte(encoding, bytes) : std::string();
    }
    const ConverterHandle handle = openDecoder(name);
    std::u16string units;
    if (!handle || !fitsInt32(bytes.size()) || !appendDecoded(handle.get(), bytes, units)) {
        return {};
    }
    return toUtf8(units);
}

std::optional<char16_t> characterOf(std::span<const CodeRun> runs, std::uint16_t code) {
    for (const CodeRun& run : runs) {
        if (code >= run.code && code - run.code < run.count) {
            return static_cast<char16_t>(run.first + (code - run.code));
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> codeOf(std::span<const CodeRun> runs, char32_t character) {
    for (const CodeRun& run : runs) {
        if (character >= run.first && character - run.first < run.count) {
            return static_cast<std::uint16_t>(run.code + (character - run.first));
        }
    }
    return std::nullopt;
}

void appendCode(std::vector<std::uint8_t>& out, std::uint16_t code) {
    if (code > 0xFF) {
        out.push_back(static_cast<std::uint8_t>(code >> 8));
    }
    out.push_back(static_cast<std::uint8_t>(code));
}

// The converter reads runs of codes; a code of a delta breaks the run and
// is read from the delta.
std::u16string decodeCodePageUnits(const CodePage& page, std::span<const std::uint8_t> stored) {
    const ConverterHandle handle = openDecoder(page.converter);
    if (!handle || stored.empty() || !fitsInt32(stored.size())) {
        return {};
    }
    std::u16string units;
    std::size_t runStart = 0;
    std::size_t at = 0;
    while (at < stored.size()) {
        const std::uint8_t byte = stored[at];
        std::size_t width = 1;
        std::optional<char16_t> character = characterOf(page.appleExtras, byte);
        if (!character && page.isLead(byte) && at + 1 < stored.size()) {
            width = 2;
            character =
                characterOf(page.readDelta, static_cast<std::uint16_t>(byte << 8 | stored[at + 1]));
        } else if (!character) {
            character = characterOf(page.readDelta, byte);
        }
        if (character) {
            appendDecoded(handle.get(), stored.subspan(runStart, at - runStart), units);
            units.push_back(*character);
            runStart = at + width;
        }
        at += width;
    }
    appendDecoded(handle.get(), stored.subspan(runStart), units);
    return units;
}

std::string decodeCodePage(const Encoding& encoding, std::span<const std::uint8_t> stored) {
    std::vector<std::uint8_t> kept;
    if (encoding.dropZeros) {
        std::copy_if(stored.begin(), stored.end(), std::back_inserter(kept),
                     [](std::uint8_t byte) { return byte != 0; });
        stored = kept;
    }
    return toUtf8(decodeCodePageUnits(*encoding.page, stored));
}

// Character by character: the deltas first, then the converter, whose code
// is refused where fontTools would read it as something else; then Apple's
// extras, which stand only for what the code page lacks.
std::optional<std::vector<std::uint8_t>> encodeCodePage(const CodePage& page,
                                                        std::u16string_view units) {
    const ConverterHandle handle = openConverter(page.converter);
    if (!handle) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    const IcuLibrary& icu = *icuLibrary();
    icu.setFromUCallBack(handle.get(), icu.fromUCallbackStop, nullptr, nullptr, nullptr, &status);
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < units.size();) {
        const bool pair =
            U16_IS_LEAD(units[i]) && i + 1 < units.size() && U16_IS_TRAIL(units[i + 1]);
        const std::size_t width = pair ? 2 : 1;
        const char32_t character =
            pair ? static_cast<char32_t>(U16_GET_SUPPLEMENTARY(units[i], units[i + 1])) : units[i];
        std::optional<std::uint16_t> code = codeOf(page.writeDelta, character);
        if (!code) {
            code = codeOf(page.readDelta, character);
        }
        if (!code) {
            std::array<char, 8> bytes{};
            icu.reset(handle.get());
            UErrorCode converted = U_ZERO_ERROR;
            const int32_t length =
                icu.fromUChars(handle.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                               units.data() + i, static_cast<int32_t>(width), &converted);
            if (succeeded(converted) && (length == 1 || length == 2)) {
                const auto candidate = static_cast<std::uint16_t>(
                    length == 1 ? static_cast<std::uint8_t>(bytes[0])
                                : static_cast<std::uint8_t>(bytes[0]) << 8 |
                                      static_cast<std::uint8_t>(bytes[1]));
                if (!characterOf(page.readDelta, candidate) &&
                    !(length == 1 && characterOf(page.appleExtras, candidate))) {
                    code = candidate;
                }
            }
        }
        if (!code) {
            code = codeOf(page.appleExtras, character);
        }
        if (!code) {
            return std::nullopt;
        }
        appendCode(out, *code);
        i += width;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> encodeWith(const char* name, std::u16string_view units) {
    if (const SingleByte encoding = singleByteOf(name); encoding != SingleByte::None) {
        return encodeSingleByte(encoding, units);
    }
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
    const IcuLibrary& icu = *icuLibrary();
    icu.setFromUCallBack(handle.get(), icu.fromUCallbackStop, nullptr, nullptr, nullptr, &status);
    const int32_t capacity = UCNV_GET_MAX_BYTES_FOR_STRING(static_cast<int32_t>(units.size()),
                                                           icu.getMaxCharSize(handle.get()));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(capacity));
    const int32_t length =
        icu.fromUChars(handle.get(), reinterpret_cast<char*>(out.data()), capacity, units.data(),
                       static_cast<int32_t>(units.size()), &status);
    if (!succeeded(status) || length < 0) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// Johab, which no ICU converter reads: Hangul by its jamo, five bits each
// (Python's _codecs_kr, which fontTools uses); every other character by its
// KS X 1001 code moved to Johab's rows, read and written as EUC-KR.
constexpr int kNoJamo = -1;
constexpr int kFill = -2;

// The jamo index of each 5-bit Johab field, or kFill / kNoJamo.
int initialOf(unsigned field) {
    return field == 1 ? kFill : field >= 2 && field <= 20 ? static_cast<int>(field) - 2 : kNoJamo;
}
int medialOf(unsigned field) {
    constexpr int kMedial[32] = {-1, -1, -2, 0,  1,  2,  3,  4,  -1, -1, 5,  6,  7,  8,  9,  10,
                                 -1, -1, 11, 12, 13, 14, 15, 16, -1, -1, 17, 18, 19, 20, -1, -1};
    return kMedial[field];
}
int finalOf(unsigned field) {
    return field == 1                   ? kFill
           : field >= 2 && field <= 17  ? static_cast<int>(field) - 1
           : field >= 19 && field <= 29 ? static_cast<int>(field) - 2
                                        : kNoJamo;
}
unsigned medialField(unsigned index) {
    return index + (index >= 17 ? 9 : index >= 11 ? 7 : index >= 5 ? 5 : 3);
}
unsigned finalField(unsigned index) {
    return index <= 16 ? index + 1 : index + 2;
}
// The Johab codes of the compatibility jamo U+3131-U+3163.
constexpr std::uint16_t kJohabJamo[] = {
    0x8841, 0x8C41, 0x8444, 0x9041, 0x8446, 0x8447, 0x9441, 0x9841, 0x9C41, 0x844A, 0x844B,
    0x844C, 0x844D, 0x844E, 0x844F, 0x8450, 0xA041, 0xA441, 0xA841, 0x8454, 0xAC41, 0xB041,
    0xB441, 0xB841, 0xBC41, 0xC041, 0xC441, 0xC841, 0xCC41, 0xD041, 0x8461, 0x8481, 0x84A1,
    0x84C1, 0x84E1, 0x8541, 0x8561, 0x8581, 0x85A1, 0x85C1, 0x85E1, 0x8641, 0x8661, 0x8681,
    0x86A1, 0x86C1, 0x86E1, 0x8741, 0x8761, 0x8781, 0x87A1};

// The character of one Johab code from 0x8400 up, or nothing.
std::optional<char16_t> johabCharacter(std::uint8_t lead, std::uint8_t trail) {
    if (lead < 0xD8) {
        const unsigned code = static_cast<unsigned>(lead) << 8 | trail;
        const int initial = initialOf((code >> 10) & 0x1F);
        const int medial = medialOf((code >> 5) & 0x1F);
        const int final = finalOf(code & 0x1F);
        if (initial == kNoJamo || medial == kNoJamo || final == kNoJamo) {
            return std::nullopt;
        }
        if (initial >= 0 && medial >= 0) {
            return static_cast<char16_t>(0xAC00 + initial * 588 + medial * 28 +
                                         (final == kFill ? 0 : final));
        }
        if (initial == kFill && medial == kFill) {
            // A lone final consonant, or nothing at all.
            constexpr std::uint8_t kFinals[] = {
                0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
                0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x48, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E};
            return final == kFill ? u'\u3000' : static_cast<char16_t>(0x3100 | kFinals[final - 1]);
        }
        // A lone jamo.
        for (std::size_t i = 0; i < std::size(kJohabJamo); ++i) {
            if (kJohabJamo[i] == code) {
                return static_cast<char16_t>(0x3131 + i);
            }
        }
        return std::nullopt;
    }
    if (lead == 0xDF || lead > 0xF9 || trail < 0x31 || (trail >= 0x80 && trail < 0x91) ||
        (trail & 0x7F) == 0x7F || (lead == 0xDA && trail >= 0xA1 && trail <= 0xD3)) {
        return std::nullopt;
    }
    const unsigned column = trail < 0x91 ? trail - 0x31u : trail - 0x43u;
    const unsigned row = (lead < 0xE0 ? 2u * (lead - 0xD9u) : 2u * lead - 0x197u) +
                         (column < 0x5E ? 0u : 1u) + 0x21u;
    const std::array<std::uint8_t, 2> euc = {
        static_cast<std::uint8_t>((row & 0xFF) | 0x80),
        static_cast<std::uint8_t>(((column < 0x5E ? column : column - 0x5E) + 0x21) | 0x80)};
    const std::u16string units = decodeCodePageUnits(kEucKr, euc);
    if (units.size() != 1 || units[0] == 0xFFFD) {
        return std::nullopt;
    }
    return units[0];
}

std::string decodeJohab(std::span<const std::uint8_t> stored) {
    std::u16string units;
    for (std::size_t at = 0; at < stored.size(); ++at) {
        const std::uint8_t byte = stored[at];
        if (byte == 0) {
            continue;  // the high byte of a 16-bit unit
        }
        if (byte < 0x80) {
            units.push_back(byte);
            continue;
        }
        std::optional<char16_t> character;
        if (at + 1 < stored.size()) {
            character = johabCharacter(byte, stored[at + 1]);
        }
        units.push_back(character.value_or(u'\uFFFD'));
        at += character ? std::size_t{1} : std::size_t{0};
    }
    return toUtf8(units);
}

std::optional<std::vector<std::uint8_t>> encodeJohab(std::u16string_view units) {
    std::vector<std::uint8_t> out;
    for (const char16_t unit : units) {
        std::uint16_t code = 0;
        if (unit < 0x80) {
            out.push_back(static_cast<std::uint8_t>(unit));
            continue;
        }
        if (unit >= 0xAC00 && unit <= 0xD7A3) {
            const unsigned index = unit - 0xAC00u;
            code = static_cast<std::uint16_t>(0x8000 | (index / 588 + 2) << 10 |
                                              medialField(index / 28 % 21) << 5 |
                                              finalField(index % 28));
        } else if (unit >= 0x3131 && unit <= 0x3163) {
            code = kJohabJamo[unit - 0x3131];
        } else {
            const auto euc = encodeCodePage(kEucKr, std::u16string_view(&unit, 1));
            if (!euc || euc->size() != 2) {
                return std::nullopt;
            }
            const unsigned row = (*euc)[0] & 0x7Fu;
            const unsigned column = (*euc)[1] & 0x7Fu;
            if (!((row >= 0x21 && row <= 0x2C) || (row >= 0x4A && row <= 0x7D)) || column < 0x21 ||
                column > 0x7E) {
                return std::nullopt;
            }
            const unsigned t1 = row < 0x4A ? row - 0x21 + 0x1B2 : row - 0x21 + 0x197;
            const unsigned t2 = ((t1 & 1) != 0 ? 0x5Eu : 0u) + (column - 0x21);
            code = static_cast<std::uint16_t>((t1 >> 1) << 8 | (t2 < 0x4E ? t2 + 0x31 : t2 + 0x43));
        }
        appendCode(out, code);
    }
    return out;
}

}  // namespace

std::string decode(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                   std::span<const std::uint8_t> bytes) {
    const Encoding encoding = encodingOf(platformID, encodingID, languageID);
    std::string text = encoding.kind == Encoding::Kind::Johab   ? decodeJohab(bytes)
                       : encoding.kind == Encoding::Kind::Utf16 ? decodeUtf16(bytes)
                       : encoding.kind == Encoding::Kind::CodePage
                           ? decodeCodePage(encoding, bytes)
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
    if (encoding.kind == Encoding::Kind::CodePage) {
        return encodeCodePage(*encoding.page, *units);
    }
    if (encoding.kind == Encoding::Kind::Johab) {
        return encodeJohab(*units);
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
