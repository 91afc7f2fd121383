#include "NameChecks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <tuple>

#include "ByteOrder.h"
#include "NameText.h"

namespace {

// Half away from zero, as std::round rounds, but without the maths library:
// this is all kestrin-names wanted of it, and loading it cost every run's
// start-up.
double roundHalfAway(double value) {
    // 2^52: from here on every double is a whole number.
    constexpr double kAllWhole = 4503599627370496.0;
    if (!(value > -kAllWhole && value < kAllWhole)) {
        return value;  // whole already, or not a number
    }
    const auto whole = static_cast<double>(static_cast<std::int64_t>(value));
    const double rest = value - whole;
    if (rest >= 0.5) {
        return whole + 1.0;
    }
    if (rest <= -0.5) {
        return whole - 1.0;
    }
    return whole;
}

// The rules and their sources: the OpenType 'name' table chapter
// (PostScript name length and characters, 31-character family names for
// Windows' menus, the four style-linked subfamilies, "Version X.Y") and
// fontbakery's name checks (one PostScript name, full name led by the family,
// version matching head.fontRevision, no empty names, no trailing blanks).
constexpr std::array<NameRule, 12> kRules = {{
    {"not-encodable", "A name must be text its record's encoding can hold.", Severity::Error},
    {"empty-name", "A name record should not be empty.", Severity::Warning},
    {"trailing-blanks", "A name should not end in blanks.", Severity::Warning},
    {"postscript-length", "A PostScript name (ID 6) is at most 63 characters long.",
     Severity::Warning},
    {"postscript-characters",
     "A PostScript name (ID 6) holds only printable ASCII (33 to 126) other than [](){}<>/%.",
     Severity::Warning},
    {"postscript-differs", "The PostScript name (ID 6) is the same in every record.",
     Severity::Warning},
    {"family-length", "A family name (ID 1 and 16) is at most 31 characters long.",
     Severity::Warning},
    {"subfamily-length", "A subfamily name (ID 2 and 17) is at most 31 characters long.",
     Severity::Warning},
    {"subfamily-style",
     "A subfamily (ID 2) other than Regular, Italic, Bold or Bold Italic needs typographic "
     "names (ID 16 and 17).",
     Severity::Warning},
    {"full-name-family", "A full name (ID 4) begins with the family name (ID 16 or 1).",
     Severity::Warning},
    {"version-format", "A version string (ID 5) begins with \"Version X.Y\".", Severity::Warning},
    {"version-revision",
     "The version string's number (ID 5) matches the font revision in 'head' to three decimals.",
     Severity::Warning},
}};

enum RuleIndex : std::size_t {
    kNotEncodable,
    kEmptyName,
    kTrailingBlanks,
    kPostScriptLength,
    kPostScriptCharacters,
    kPostScriptDiffers,
    kFamilyLength,
    kSubfamilyLength,
    kSubfamilyStyle,
    kFullNameFamily,
    kVersionFormat,
    kVersionRevision,
};

constexpr std::size_t kLongestPostScriptName = 63, kLongestMenuName = 31;

// The code points of UTF-8 text; a byte that starts no valid sequence counts
// as one character of its own (U+FFFD).
std::vector<char32_t> codePointsOf(std::string_view text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80    ? 1
                             : lead >= 0xF0 ? 4
                             : lead >= 0xE0 ? 3
                             : lead >= 0xC0 ? 2
                                            : 0;
        char32_t value = length == 1 ? char32_t{lead} : char32_t{lead} & (char32_t{0x3F} >> length);
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            value = value << 6 | (next & 0x3F);
        }
        out.push_back(valid ? value : U'\uFFFD');
        i += valid ? length : 1;
    }
    return out;
}

std::string describe(char32_t c) {
    if (c >= 0x21 && c <= 0x7E) {
        return std::string("'") + static_cast<char>(c) + "'";
    }
    if (c == U' ') {
        return "a blank";
    }
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "U+%04X", static_cast<unsigned>(c));
    return code.data();
}

std::string characters(std::size_t count) {
    return std::to_string(count) + " characters";
}

bool isBlank(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\u00A0' || c == U'\u3000';
}

bool isEnglish(const NameRecord& record) {
    constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF, kEnglish = 0x09;
    return record.platformID == 3 && (record.languageID & kPrimaryLanguageMask) == kEnglish;
}

// "Version 2.37..." as thousandths (2370), rounded at the fourth decimal; or
// nothing when the text doesn't begin that way.
std::optional<std::uint64_t> versionThousandths(std::string_view text) {
    constexpr std::string_view kPrefix = "Version ";
    if (text.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t at = kPrefix.size();
    std::uint64_t whole = 0;
    std::size_t digits = 0;
    constexpr std::size_t kMostWholeDigits = 9;
    for (; at < text.size() && isDigit(text[at]); ++at, ++digits) {
        if (digits < kMostWholeDigits) {
            whole = whole * 10 + static_cast<std::uint64_t>(text[at] - '0');
        }
    }
    if (digits == 0 || digits > kMostWholeDigits || at >= text.size() || text[at] != '.' ||
        at + 1 >= text.size() || !isDigit(text[at + 1])) {
        return std::nullopt;
    }
    ++at;
    // The first three decimals, the fourth rounding them; missing ones are zeros.
    std::uint64_t fraction = 0;
    std::size_t places = 0;
    bool roundUp = false;
    for (; at < text.size() && isDigit(text[at]); ++at, ++places) {
        const auto digit = static_cast<std::uint64_t>(text[at] - '0');
        if (places < 3) {
            fraction = fraction * 10 + digit;
        } else if (places == 3) {
            roundUp = digit >= 5;
        }
    }
    for (; places < 3; ++places) {
        fraction *= 10;
    }
    return whole * 1000 + fraction + (roundUp ? 1 : 0);
}

class Checker {
  public:
    Checker(const NameTable& table, const CheckContext& context)
        : table_(table), context_(context) {
        // The first record of each key, found once: a table may hold tens of
        // thousands of records, and each check looks up its siblings.
        for (const auto& record : table_.records) {
            if (!record->isDropped()) {
                firstOfKey_.try_emplace(keyOf(*record, record->nameID), record.get());
                if (record->nameID == 6 && firstPostScriptName_ == nullptr) {
                    firstPostScriptName_ = record.get();
                }
            }
        }
    }

    std::vector<NameWarning> run() {
        for (const auto& record : table_.records) {
            if (!record->isDropped()) {
                check(*record);
            }
        }
        return std::move(warnings_);
    }

  private:
    using Key = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t>;
    static Key keyOf(const NameRecord& record, std::uint16_t nameID) {
        return {record.platformID, record.encodingID, record.languageID, nameID};
    }

    void warn(RuleIndex rule, const NameRecord& record, std::string detail) {
        warnings_.push_back({&kRules[rule], &record, std::move(detail)});
    }

    // The text of name `nameID` in the record's own triple, or null.
    const std::string* sibling(const NameRecord& record, std::uint16_t nameID) const {
        const auto found = firstOfKey_.find(keyOf(record, nameID));
        return found != firstOfKey_.end() ? &found->second->text : nullptr;
    }

    void check(const NameRecord& record) {
        const std::string& text = record.text;
        const std::vector<char32_t> chars = codePointsOf(text);
        if (!record.canStore(text)) {
            warn(kNotEncodable, record,
                 nametext::encodingName(record.platformID, record.encodingID, record.languageID));
        }
        if (text.empty()) {
            warn(kEmptyName, record, {});
        } else if (isBlank(chars.back())) {
            warn(kTrailingBlanks, record, {});
        }
        switch (record.nameID) {
            case 6:
                checkPostScriptName(record, chars);
                break;
            case 1:
            case 16:
                if (chars.size() > kLongestMenuName) {
                    warn(kFamilyLength, record, characters(chars.size()));
                }
                break;
            case 2:
            case 17:
                if (chars.size() > kLongestMenuName) {
                    warn(kSubfamilyLength, record, characters(chars.size()));
                }
                if (record.nameID == 2) {
                    checkStyle(record);
                }
                break;
            case 4:
                checkFullName(record);
                break;
            case 5:
                checkVersion(record);
                break;
            default:
                break;
        }
    }

    void checkPostScriptName(const NameRecord& record, const std::vector<char32_t>& chars) {
        if (chars.size() > kLongestPostScriptName) {
            warn(kPostScriptLength, record, characters(chars.size()));
        }
        constexpr std::u32string_view kForbidden = U"[](){}<>/%";
        for (const char32_t c : chars) {
            if (c < 33 || c > 126 || kForbidden.find(c) != std::u32string_view::npos) {
                warn(kPostScriptCharacters, record, "holds " + describe(c));
                break;
            }
        }
        const NameRecord* first = firstPostScriptName_;
        if (first != nullptr && first->text != record.text) {
            warn(kPostScriptDiffers, record, "another record has \"" + first->text + "\"");
        }
    }

    // Only the English Windows names are held to the four style-linked
    // subfamilies: other languages name them in their own words, and the
    // Macintosh names never had the rule.
    void checkStyle(const NameRecord& record) {
        constexpr std::array<std::string_view, 4> kLinkedStyles = {"Regular", "Italic", "Bold",
                                                                   "Bold Italic"};
        if (!isEnglish(record) || std::find(kLinkedStyles.begin(), kLinkedStyles.end(),
                                            record.text) != kLinkedStyles.end()) {
            return;
        }
        if (sibling(record, 16) == nullptr || sibling(record, 17) == nullptr) {
            warn(kSubfamilyStyle, record, "\"" + record.text + "\"");
        }
    }

    void checkFullName(const NameRecord& record) {
        const std::string* family = sibling(record, 1);
        const std::string* typographic = sibling(record, 16);
        const auto begins = [&record](const std::string* prefix) {
            return prefix != nullptr && !prefix->empty() && record.text.starts_with(*prefix);
        };
        if ((family != nullptr && !family->empty()) ||
            (typographic != nullptr && !typographic->empty())) {
            if (!begins(family) && !begins(typographic)) {
                warn(kFullNameFamily, record,
                     "family \"" + (typographic != nullptr ? *typographic : *family) + "\"");
            }
        }
    }

    void checkVersion(const NameRecord& record) {
        const std::optional<std::uint64_t> version = versionThousandths(record.text);
        if (!version) {
            warn(kVersionFormat, record, {});
            return;
        }
        if (!context_.fontRevision || !std::isfinite(*context_.fontRevision)) {
            return;
        }
        const double revision = roundHalfAway(*context_.fontRevision * 1000.0);
        if (revision < 0 || static_cast<double>(*version) != revision) {
            std::array<char, 32> shown{};
            std::snprintf(shown.data(), shown.size(), "%.3f", *context_.fontRevision);
            warn(kVersionRevision, record, std::string("font revision ") + shown.data());
        }
    }

    const NameTable& table_;
    const CheckContext& context_;
    std::map<Key, const NameRecord*> firstOfKey_;
    const NameRecord* firstPostScriptName_ = nullptr;
    std::vector<NameWarning> warnings_;
};

}  // namespace

std::span<const NameRule> nameRules() {
    return kRules;
}

const NameRule* findNameRule(std::string_view id) {
    for (const NameRule& rule : kRules) {
        if (id == rule.id) {
            return &rule;
        }
    }
    return nullptr;
}

CheckContext checkContextOf(TableDirectory& directory) {
    CheckContext context;
    constexpr std::size_t kFontRevisionAt = 4;
    const std::vector<std::uint8_t> head = directory.readTable("head");
    if (head.size() >= kFontRevisionAt + 4) {
        const auto fixed = static_cast<std::int32_t>(filecore::loadU32(head, kFontRevisionAt));
        context.fontRevision = fixed / 65536.0;
    }
    return context;
}

std::vector<NameWarning> checkNames(const NameTable& table, const CheckContext& context) {
    return Checker(table, context).run();
}
