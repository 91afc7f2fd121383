// A small JSON reader for the documents kestrin-names writes and reads back:
// the whole grammar of RFC 8259, values held as a tree. Nesting is limited,
// so no document can exhaust the stack.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace json {

struct Member;

struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a string's UTF-8, or a number as written
    std::vector<Value> items;
    // Member is completed below: std::pair<std::string, Value> here would ask
    // whether Value is default-constructible while Value is still incomplete.
    std::vector<Member> members;

    // The member named `key` (the first, if there are several), or null.
    const Value* find(std::string_view key) const;
    // A number that is a whole value from 0 to `maximum`, or nothing.
    std::optional<std::uint32_t> unsignedValue(std::uint32_t maximum) const;
};

// An object's member, in the order of the document.
struct Member {
    std::string name;
    Value value;
};

// The document `text`, or nothing with `error` saying what is wrong where
// ("line 3: expected ':'").
std::optional<Value> parse(std::string_view text, std::string& error);

}  // namespace json
