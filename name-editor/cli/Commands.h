// The commands of kestrin-names, as a table: each names its operands, says
// whether it writes fonts, and makes the action that runs on every font.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Invocation.h"
#include "TextOut.h"

class NameTable;
class TableDirectory;

namespace names {

// One font: a single-font file, or one member of a collection.
struct FontUnit {
    std::string label;                    // "dir/a.ttf", "dir/b.ttc#2": how messages name it
    std::string file;                     // the file as found
    std::optional<std::uint32_t> member;  // from 1, for a member of a collection
    NameTable& names;
    TableDirectory& directory;
};

enum class UnitResult { Unchanged, Changed, Failed };

class Action {
  public:
    virtual ~Action() = default;
    virtual void begin(TextOut& /*out*/) {}
    // Reports on the font's names (to `out`) or edits them. A failure is
    // reported on `err`, naming the font.
    virtual UnitResult apply(FontUnit& unit, TextOut& out, TextOut& err) = 0;
    virtual void end(TextOut& /*out*/) {}
    // True when the run found what the exit status must tell (check's warnings).
    virtual bool flagged() const { return false; }
};

struct Command {
    std::string_view name;
    std::string_view operands;  // as the usage shows them: "ID TEXT"
    std::size_t operandCount;
    bool writes;
    bool needsFilter;
    std::string_view summary;
    // Null with `error` set when the operands or options don't fit the command.
    std::unique_ptr<Action> (*make)(const Invocation& invocation, std::string& error);
};

std::span<const Command> commands();
const Command* findCommand(std::string_view name);

}  // namespace names
