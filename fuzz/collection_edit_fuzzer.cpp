// A font or collection that loads must take a family name in one of its
// fonts (chosen by the input's size) and save; the saved file must load
// again with as many fonts, the new name in that font, and every other table
// of every font byte for byte where the directory says, summing to the
// checksum the directory gives ('head' counted with checkSumAdjustment as
// zero); the other fonts keep their names' bytes. In a single font 'head' may
// differ in checkSumAdjustment only. A saved collection must split with
// Zelvic, each font carrying its member's tables byte for byte (but for the
// edited 'name' and each font's checkSumAdjustment).
#include <cstdint>
#include <span>
#include <string>

#include "ByteOrder.h"
#include "Checksum.h"
#include "FontFile.h"
#include "FuzzSupport.h"
#include "ZelvicConsole.h"

namespace {

const char* const kFamily = "Fuzz Family";

std::span<const std::uint8_t> tableIn(std::span<const std::uint8_t> file,
                                      const DirectoryEntry& entry) {
    if (!filecore::rangeFits(file.size(), entry.offset, entry.length)) {
        fuzzsupport::fail("a directory points outside its file");
    }
    return file.subspan(entry.offset, entry.length);
}

bool isAdjustment(const DirectoryEntry& entry, std::size_t at) {
    return entry.hasTag("head") && at >= filecore::kHeadChecksumAdjustmentOffset &&
           at < filecore::kHeadChecksumAdjustmentOffset + 4;
}

// Zelvic's break of the saved collection: every member comes out as a font
// whose tables, in its directory's order, are the original member's.
void checkSplit(const std::string& saved, const FontFile& original,
                std::span<const std::uint8_t> originalBytes, std::size_t editedMember) {
    const auto& scratch = fuzzsupport::scratch();
    fuzzsupport::CapturedConsole console;
    if (zelvic::breakCollection(saved, console.console()) != zelvic::kOk) {
        fuzzsupport::fail("Zelvic refused to split a saved collection");
    }
    const std::string base = (scratch / "output").string();
    for (std::size_t i = 0; i < original.count(); ++i) {
        const std::string name = zelvic::outputFontName(base, static_cast<std::uint32_t>(i + 1));
        const auto font = fuzzsupport::readFile(name);
        const auto& tables = original.members[i].directory.tables;
        if (font.size() < 12 || filecore::loadU16(font, 4) != tables.size()) {
            fuzzsupport::fail("a split font has other tables than its member");
        }
        for (std::size_t j = 0; j < tables.size(); ++j) {
            if (!filecore::rangeFits(font.size(), 12 + 16 * j, 16)) {
                fuzzsupport::fail("a split font's directory is cut short");
            }
            const DirectoryEntry entry{filecore::Tag(filecore::loadU32(font, 12 + 16 * j)),
                                       filecore::loadU32(font, 12 + 16 * j + 4),
                                       filecore::loadU32(font, 12 + 16 * j + 8),
                                       filecore::loadU32(font, 12 + 16 * j + 12)};
            const DirectoryEntry& old = *tables[j];
            if (entry.tag != old.tag || (old.hasTag("name") && i == editedMember)) {
                if (entry.tag != old.tag) {
                    fuzzsupport::fail("a split font's tables are not its member's");
                }
                continue;
            }
            const auto body = tableIn(font, entry);
            const auto before = tableIn(originalBytes, old);
            if (body.size() != before.size()) {
                fuzzsupport::fail("a split font's table changed length");
            }
            for (std::size_t at = 0; at < body.size(); ++at) {
                if (body[at] != before[at] && !isAdjustment(entry, at)) {
                    fuzzsupport::fail("a split font's table differs from its member's");
                }
            }
        }
        std::filesystem::remove(name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& scratch = fuzzsupport::scratch();
    const std::string input = (scratch / "input.ttc").string();
    const std::string output = (scratch / "output.ttc").string();
    const std::span bytes(data, size);
    fuzzsupport::writeFile(input, bytes);

    FontFile file;
    std::string reason;
    const LoadError loaded = readFontFile(input, file, reason);
    if (loaded != LoadError::None) {
        if (loaded != LoadError::Invalid && loaded != LoadError::NameTableTooLarge) {
            fuzzsupport::fail("a load failed other than as an invalid font");
        }
        if (reason.empty()) {
            fuzzsupport::fail("a refusal does not say what is wrong");
        }
        return 0;
    }
    const std::size_t member = size % file.count();
    NameTable& names = file.members[member].names;
    bool renamed = false;
    for (auto& record : names.records) {
        if (record->nameID == 1) {
            record->text = kFamily;
            renamed = true;
        }
    }
    if (!renamed) {
        names.add(3, 1, 0x409, 1, kFamily);
    }
    const SaveError saved = writeFontFile(output, file, reason);
    if (saved != SaveError::None) {
        if (saved != SaveError::NameTableTooLarge) {
            fuzzsupport::fail("a loaded file could not be saved");
        }
        return 0;
    }

    FontFile reloaded;
    if (readFontFile(output, reloaded, reason) != LoadError::None) {
        fuzzsupport::fail("a saved file does not load");
    }
    if (reloaded.count() != file.count() || reloaded.isCollection() != file.isCollection()) {
        fuzzsupport::fail("a save changed the number of fonts");
    }
    const auto written = fuzzsupport::readFile(output);
    for (std::size_t i = 0; i < file.count(); ++i) {
        const auto& before = file.members[i].directory.tables;
        const auto& after = reloaded.members[i].directory.tables;
        if (before.size() != after.size()) {
            fuzzsupport::fail("a save changed a font's tables");
        }
        for (std::size_t j = 0; j < before.size(); ++j) {
            const DirectoryEntry& old = *before[j];
            const DirectoryEntry& now = *after[j];
            const auto body = tableIn(written, now);
            std::vector<std::uint8_t> summed(body.begin(), body.end());
            if (now.hasTag("head") &&
                summed.size() >= filecore::kHeadChecksumAdjustmentOffset + 4) {
                filecore::storeU32(summed, filecore::kHeadChecksumAdjustmentOffset, 0);
            }
            if (now.tag != old.tag || filecore::tableChecksum(summed) != now.checksum) {
                fuzzsupport::fail("a directory's checksum is not that of its table");
            }
            if (now.hasTag("name") && i == member) {
                continue;
            }
            const auto original = tableIn(bytes, old);
            if (original.size() != body.size()) {
                fuzzsupport::fail("a save changed a table's length");
            }
            for (std::size_t at = 0; at < body.size(); ++at) {
                if (body[at] != original[at] && (file.isCollection() || !isAdjustment(now, at))) {
                    fuzzsupport::fail("a save changed a table that was not edited");
                }
            }
        }
    }
    if (file.isCollection()) {
        checkSplit(output, file, bytes, member);
    }
    const NameRecord* family = nullptr;
    for (const auto& record : reloaded.members[member].names.records) {
        if (record->nameID == 1 && family == nullptr) {
            family = record.get();
        }
    }
    // A font without a 'name' table gets none: only a table there is written.
    const bool hasNames = file.members[member].directory.find("name") != nullptr;
    if (hasNames && (family == nullptr || family->text != kFamily)) {
        fuzzsupport::fail("the edited name did not reach the saved file");
    }
    return 0;
}
