// The checks and the planned edits over whatever name table comes, as
// `kestrin-names check` and the renaming commands meet a hostile font: every
// rule runs on the table, one operation is planned and applied, the table is
// written, read back and checked again. The checks may name only records of
// the table; applying carries out every change the plan calls applicable;
// the edited table writes (or is refused as too large) and reads back.
//
// Input: an operation byte (its top bit: no font revision), the font revision
// as a big-endian Fixed, a name ID, two texts each led by its length, then the
// name table.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "FuzzSupport.h"
#include "NameChecks.h"
#include "NameOperations.h"
#include "NameTable.h"

namespace {

// Up to 40 bytes led by their length; zero bytes dropped, as a name never
// holds one.
std::string takeText(std::span<const std::uint8_t>& input) {
    if (input.empty()) {
        return {};
    }
    const std::size_t length = std::min<std::size_t>(input[0] % 41, input.size() - 1);
    std::string text;
    for (const std::uint8_t byte : input.subspan(1, length)) {
        if (byte != 0) {
            text += static_cast<char>(byte);
        }
    }
    input = input.subspan(1 + length);
    return text;
}

void checkWarnings(const NameTable& table, const CheckContext& context) {
    for (const NameWarning& warning : checkNames(table, context)) {
        const bool ofTable =
            std::any_of(table.records.begin(), table.records.end(),
                        [&](const auto& record) { return record.get() == warning.record; });
        if (warning.rule == nullptr || !ofTable) {
            fuzzsupport::fail("a check named no rule or a record the table doesn't hold");
        }
    }
}

NamePlan planOne(std::uint8_t operation, NameTable& table, std::uint16_t nameID,
                 const std::string& text, const std::string& other) {
    const RecordFilter onlyThatID{{nameID}, {}, {}};
    const NameRecord* first = table.first();
    const NameTriple firstTriple = first != nullptr ? tripleOf(*first) : NameTriple{3, 1, 0x409};
    switch (operation % 7) {
        case 0:
            return planRenameFamily(table, currentFamily(table), text);
        case 1:
            return planRenameFamily(table, other, text);
        case 2:
            return other.empty() ? NamePlan{} : planFindReplace(table, other, text, onlyThatID);
        case 3:
            return planSetName(table, nameID, text, {}, (operation & 0x40) != 0);
        case 4:
            return planRemove(table, onlyThatID);
        case 5:
            return planAddRecord(table, firstTriple, nameID, text);
        default:
            return planAddLanguage(table, firstTriple, NameTriple{3, 1, nameID});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) {
        return 0;
    }
    std::span<const std::uint8_t> input(data, size);
    const std::uint8_t operation = input[0];
    CheckContext context;
    if ((operation & 0x80) == 0) {
        context.fontRevision = static_cast<std::int32_t>(filecore::loadU32(input, 1)) / 65536.0;
    }
    const std::uint16_t nameID = filecore::loadU16(input, 5);
    input = input.subspan(7);
    const std::string text = takeText(input);
    const std::string other = takeText(input);

    NameTable table;
    if (table.read(input) != LoadError::None) {
        return 0;
    }
    checkWarnings(table, context);

    const NamePlan plan = planOne(operation, table, nameID, text, other);
    if (apply(plan) != plan.applicableCount()) {
        fuzzsupport::fail("applying a plan left out a change it called applicable");
    }
    checkWarnings(table, context);

    std::vector<std::uint8_t> written;
    if (const SaveError error = table.write(written); error != SaveError::None) {
        // Only encodable changes were applied, so the one refusal left is size.
        if (error != SaveError::NameTableTooLarge) {
            fuzzsupport::fail("an edited name table was refused for no reason");
        }
        return 0;
    }
    NameTable reread;
    if (reread.read(written) != LoadError::None) {
        fuzzsupport::fail("an edited name table does not read back");
    }
    checkWarnings(reread, context);
    return 0;
}
