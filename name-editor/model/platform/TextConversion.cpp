#include "TextConversion.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the source in units, or -1 if it is unusable.
template <typename Unit>
std::ptrdiff_t sourceLength(const Unit* src, int srcLen) {
    if (src == nullptr || srcLen < -1) {
        return -1;
    }
    if (srcLen >= 0) {
        return srcLen;
    }
    std::ptrdiff_t n = 0;
    while (src[n] != 0) {
        ++n;
    }
    return n + 1;  // the terminator is converted as well
}

// Decodes one code point from well-formed UTF-8; an ill-formed sequence
// yields U+FFFD and consumes one byte, so decoding always moves on.
char32_t decodeUtf8(std::span<const unsigned char> in, std::size_t& at) {
    const unsigned char lead = in[at];
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    // Continuation bytes, payload bits of the lead byte, and the smallest code
    // point the length may encode (anything less is an overlong form).
    struct Form {
        std::size_t extra;
        char32_t cp;
        char32_t minimum;
    };
    Form form{};
    if (lead >= 0xC2 && lead <= 0xDF) {
        form = {1, lead & 0x1Fu, 0x80};
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        form = {2, lead & 0x0Fu, 0x800};
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        form = {3, lead & 0x07u, 0x10000};
    } else {
        ++at;
        return kReplacement;
    }
    const std::size_t extra = form.extra;
    char32_t cp = form.cp;
    const char32_t minimum = form.minimum;
    if (in.size() - at <= extra) {
        ++at;
        return kReplacement;
    }
    for (std::size_t i = 1; i <= extra; ++i) {
        const unsigned char next = in[at + i];
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        cp = cp << 6 | (next & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += extra + 1;
    return cp;
}

// Decodes one code point from UTF-16; an unpaired surrogate yields U+FFFD.
char32_t decodeUtf16(std::span<const char16_t> in, std::size_t& at) {
    const char16_t unit = in[at++];
    if (unit < 0xD800 || unit > 0xDFFF) {
        return unit;
    }
    if (unit <= 0xDBFF && at < in.size() && in[at] >= 0xDC00 && in[at] <= 0xDFFF) {
        const char16_t low = in[at++];
        return 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
    }
    return kReplacement;
}

std::size_t utf16Units(char32_t cp) {
    return cp >= 0x10000 ? 2 : 1;
}

std::size_t utf8Bytes(char32_t cp) {
    if (cp < 0x80) {
        return 1;
    }
    if (cp < 0x800) {
        return 2;
    }
    return cp < 0x10000 ? 3 : 4;
}

void putUtf16(char32_t cp, char16_t* out) {
    if (cp < 0x10000) {
        out[0] = static_cast<char16_t>(cp);
        return;
    }
    cp -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
}

void putUtf8(char32_t cp, char* out) {
    const std::size_t n = utf8Bytes(cp);
    if (n == 1) {
        out[0] = static_cast<char>(cp);
        return;
    }
    static constexpr unsigned char kLeads[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (std::size_t i = n - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = static_cast<char>(kLeads[n] | cp);
}

bool supportedCodePage(unsigned codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8;
}

}  // namespace

int MultiByteToWideChar(unsigned codePage, unsigned long /*flags*/, const char* src, int srcLen,
                        char16_t* dst, int dstLen) {
    const std::ptrdiff_t length = sourceLength(src, srcLen);
    if (!supportedCodePage(codePage) || length <= 0 || dstLen < 0) {
        return 0;
    }
    const std::span<const unsigned char> in(reinterpret_cast<const unsigned char*>(src),
                                            static_cast<std::size_t>(length));
    const bool sizeQuery = dst == nullptr || dstLen == 0;
    std::size_t written = 0;
    for (std::size_t at = 0; at < in.size();) {
        const char32_t cp = decodeUtf8(in, at);
        const std::size_t n = utf16Units(cp);
        if (!sizeQuery) {
            if (static_cast<std::size_t>(dstLen) - written < n) {
                return 0;  // the buffer is too small, as Windows reports it
            }
            putUtf16(cp, dst + written);
        }
        written += n;
        if (written > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
            return 0;
        }
    }
    return static_cast<int>(written);
}

int WideCharToMultiByte(unsigned codePage, unsigned long /*flags*/, const char16_t* src, int srcLen,
                        char* dst, int dstLen, const char* /*defaultChar*/, int* usedDefault) {
    const std::ptrdiff_t length = sourceLength(src, srcLen);
    if (!supportedCodePage(codePage) || length <= 0 || dstLen < 0) {
        return 0;
    }
    const std::span<const char16_t> in(src, static_cast<std::size_t>(length));
    const bool sizeQuery = dst == nullptr || dstLen == 0;
    bool replaced = false;
    std::size_t written = 0;
    for (std::size_t at = 0; at < in.size();) {
        const std::size_t before = at;
        const char32_t cp = decodeUtf16(in, at);
        replaced = replaced || (cp == kReplacement && in[before] != kReplacement);
        const std::size_t n = utf8Bytes(cp);
        if (!sizeQuery) {
            if (static_cast<std::size_t>(dstLen) - written < n) {
                return 0;
            }
            putUtf8(cp, dst + written);
        }
        written += n;
        if (written > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
            return 0;
        }
    }
    if (usedDefault != nullptr) {
        *usedDefault = replaced ? 1 : 0;
    }
    return static_cast<int>(written);
}
