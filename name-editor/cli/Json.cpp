#include "Json.h"

#include <charconv>
#include <cstddef>
#include <utility>

namespace json {

namespace {

constexpr int kMaximumDepth = 64;

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool document(Value& value) {
        if (!parseValue(value, 0)) {
            return false;
        }
        skipBlanks();
        return at_ == text_.size() || fail("unexpected text after the document");
    }

    std::string error() const { return "line " + std::to_string(line()) + ": " + problem_; }

  private:
    std::size_t line() const {
        std::size_t count = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            count += text_[i] == '\n' ? std::size_t{1} : std::size_t{0};
        }
        return count;
    }

    bool fail(std::string problem) {
        if (problem_.empty()) {
            problem_ = std::move(problem);
        }
        return false;
    }

    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool take(char c) {
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool expect(char c) { return take(c) || fail(std::string("expected '") + c + "'"); }

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return fail("unexpected character");
        }
        at_ += word.size();
        return true;
    }

    bool parseValue(Value& value, int depth) {
        if (depth > kMaximumDepth) {
            return fail("nested too deeply");
        }
        skipBlanks();
        if (at_ == text_.size()) {
            return fail("unexpected end of the document");
        }
        switch (text_[at_]) {
            case '{':
                value.kind = Value::Kind::Object;
                return parseObject(value, depth);
            case '[':
                value.kind = Value::Kind::Array;
                return parseArray(value, depth);
            case '"':
                value.kind = Value::Kind::String;
                return parseString(value.text);
            case 't':
                value.kind = Value::Kind::Boolean;
                value.boolean = true;
                return literal("true");
            case 'f':
                value.kind = Value::Kind::Boolean;
                return literal("false");
            case 'n':
                return literal("null");
            default:
                value.kind = Value::Kind::Number;
                return parseNumber(value.text);
        }
    }

    bool parseObject(Value& value, int depth) {
        ++at_;
        if (take('}')) {
            return true;
        }
        do {
            Member member;
            skipBlanks();
            if (at_ == text_.size() || text_[at_] != '"') {
                return fail("expected a member name");
            }
            if (!parseString(member.name) || !expect(':') || !parseValue(member.value, depth + 1)) {
                return false;
            }
            value.members.push_back(std::move(member));
        } while (take(','));
        return expect('}');
    }

    bool parseArray(Value& value, int depth) {
        ++at_;
        if (take(']')) {
            return true;
        }
        do {
            value.items.emplace_back();
            if (!parseValue(value.items.back(), depth + 1)) {
                return false;
            }
        } while (take(','));
        return expect(']');
    }

    bool parseNumber(std::string& out) {
        const std::size_t start = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            return at_ > from;
        };
        if (at_ < text_.size() && text_[at_] == '-') {
            ++at_;
        }
        if (!digits()) {
            return fail("unexpected character");
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits()) {
                return fail("a number without digits after its point");
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            if (!digits()) {
                return fail("a number without digits in its exponent");
            }
        }
        out.assign(text_.substr(start, at_ - start));
        return true;
    }

    bool hex4(std::uint32_t& unit) {
        if (text_.size() - at_ < 4) {
            return fail("a \\u escape cut short");
        }
        const char* begin = text_.data() + at_;
        const auto [stop, problem] = std::from_chars(begin, begin + 4, unit, 16);
        if (problem != std::errc() || stop != begin + 4) {
            return fail("a \\u escape without four hexadecimal digits");
        }
        at_ += 4;
        return true;
    }

    static void appendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool escape(std::string& out) {
        if (at_ == text_.size()) {
            return fail("a string cut short");
        }
        const char c = text_[at_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return fail("an unknown escape");
        }
        std::uint32_t code = 0;
        if (!hex4(code)) {
            return false;
        }
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return fail("a low surrogate without its high one");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.substr(at_, 2) != "\\u" || (at_ += 2, !hex4(low)) || low < 0xDC00 ||
                low > 0xDFFF) {
                return fail("a high surrogate without its low one");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, code);
        return true;
    }

    // The text must be UTF-8 already: the model takes names as UTF-8 and
    // refuses what isn't, so a broken sequence is caught here with its line.
    bool utf8Sequence(std::string& out) {
        const auto lead = static_cast<unsigned char>(text_[at_]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return fail("text that is not UTF-8");
        }
        if (text_.size() - at_ < length) {
            return fail("text that is not UTF-8");
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text_[at_ + k]);
            if ((next & 0xC0) != 0x80) {
                return fail("text that is not UTF-8");
            }
            code = code << 6 | (next & 0x3Fu);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return fail("text that is not UTF-8");
        }
        out.append(text_.substr(at_, length));
        at_ += length;
        return true;
    }

    bool parseString(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                ++at_;
                if (!escape(out)) {
                    return false;
                }
            } else if (static_cast<unsigned char>(c) < 0x20) {
                return fail("a control character inside a string");
            } else if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
                ++at_;
            } else if (!utf8Sequence(out)) {
                return false;
            }
        }
        return fail("a string cut short");
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string problem_;
};

}  // namespace

const Value* Value::find(std::string_view key) const {
    for (const auto& [name, value] : members) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<std::uint32_t> Value::unsignedValue(std::uint32_t maximum) const {
    if (kind != Kind::Number) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    if (problem != std::errc() || stop != end || value > maximum) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<Value> parse(std::string_view text, std::string& error) {
    Parser parser(text);
    Value value;
    if (!parser.document(value)) {
        error = parser.error();
        return std::nullopt;
    }
    return value;
}

}  // namespace json
