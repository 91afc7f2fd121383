// What kestrin-names writes: text gathered in memory and, for standard
// output and standard error, written to the descriptor when flushed (or when
// much has gathered). Not a std::ostream on purpose: the streams' locales,
// set up before main, cost the program more start-up than renaming a small
// font costs, and a script runs it once per font.
#pragma once

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>

namespace names {

class TextOut {
  public:
    // Text kept for str().
    TextOut() = default;
    // Text written to `descriptor`, which stays open.
    explicit TextOut(int descriptor) : descriptor_(descriptor) {}
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;
    ~TextOut() { flush(); }

    TextOut& operator<<(std::string_view text);
    TextOut& operator<<(const std::string& text) { return *this << std::string_view(text); }
    TextOut& operator<<(const char* text) { return *this << std::string_view(text); }
    TextOut& operator<<(char c) { return *this << std::string_view(&c, 1); }
    // Numbers in decimal; bool and the character types are not numbers here.
    template <std::integral Number>
    requires(!std::same_as<Number, bool> && !std::same_as<Number, char> &&
             !std::same_as<Number, signed char> && !std::same_as<Number, unsigned char>) TextOut&
    operator<<(Number number) {
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, number);
        return *this << std::string_view(digits, static_cast<std::size_t>(written.ptr - digits));
    }

    // Writes what has gathered, for a descriptor; a kept text stays.
    void flush();
    // A write to the descriptor failed (the output is then incomplete).
    bool failed() const { return failed_; }
    // The text kept, or for a descriptor what is not written yet.
    const std::string& str() const { return text_; }
    bool empty() const { return text_.empty(); }

  private:
    int descriptor_ = -1;
    std::string text_;
    bool failed_ = false;
};

}  // namespace names
