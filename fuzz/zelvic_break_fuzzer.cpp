// break over a fuzzed collection. Every font it writes must be laid out as
// its directory says (each table at a 4-byte boundary, zero padding, nothing
// else), sum to the single-font target when it has a 'head' to hold the
// adjustment, and be a font that make accepts; a refusal leaves the folder as
// it was.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Checksum.h"
#include "Collection.h"
#include "FuzzSupport.h"
#include "ZelvicConsole.h"

namespace {

// The directory, then every table in directory order, each padded with
// zeros to 4 bytes: exactly the file's bytes.
void checkLayout(std::span<const std::uint8_t> font) {
    if (font.size() < 12) {
        fuzzsupport::fail("a written font is shorter than its offset table");
    }
    const std::uint16_t numTables = filecore::loadU16(font, 4);
    std::uint64_t position = 12 + std::uint64_t{numTables} * 16;
    bool adjustable = false;
    for (std::size_t j = 0; j < numTables; ++j) {
        if (font.size() < 12 + 16 * (j + 1)) {
            fuzzsupport::fail("a written font's directory is cut short");
        }
        const std::uint32_t offset = filecore::loadU32(font, 12 + 16 * j + 8);
        const std::uint32_t length = filecore::loadU32(font, 12 + 16 * j + 12);
        const std::uint64_t end = std::uint64_t{offset} + filecore::roundUp4(length);
        if (offset != position || end > font.size()) {
            fuzzsupport::fail("a written font's table is not where its directory says");
        }
        for (std::uint64_t at = std::uint64_t{offset} + length; at < end; ++at) {
            if (font[static_cast<std::size_t>(at)] != 0) {
                fuzzsupport::fail("a written font's table is padded with something but zeros");
            }
        }
        position = end;
        adjustable = adjustable || (filecore::loadU32(font, 12 + 16 * j) == 0x68656164 &&
                                    length >= filecore::kHeadChecksumAdjustmentOffset + 4);
    }
    if (position != font.size()) {
        fuzzsupport::fail("a written font holds bytes its directory does not name");
    }
    if (adjustable && filecore::tableChecksum(font) != filecore::kFontChecksumTarget) {
        fuzzsupport::fail("a written font with a 'head' does not sum to 0xB1B0AFBA");
    }
}

// Every table of the written font holds the bytes that the collection's
// font `number` (from 1) lists for it, but for the adjustment word of the
// 'head' that takes it. The collection was accepted, so its header and
// directories lie inside it.
void checkTables(std::span<const std::uint8_t> collection, std::uint32_t number,
                 std::span<const std::uint8_t> font) {
    const std::uint32_t member = filecore::loadU32(collection, 12 + 4 * (std::size_t{number} - 1));
    const std::uint16_t numTables = filecore::loadU16(collection, member + std::size_t{4});
    if (filecore::loadU16(font, 4) != numTables) {
        fuzzsupport::fail("a written font lists another number of tables");
    }
    bool adjusted = false;
    for (std::size_t j = 0; j < numTables; ++j) {
        const std::size_t record = member + 12 + 16 * j;
        const std::uint32_t tag = filecore::loadU32(collection, record);
        const std::uint32_t offset = filecore::loadU32(collection, record + 8);
        const std::uint32_t length = filecore::loadU32(collection, record + 12);
        const std::uint32_t written = filecore::loadU32(font, 12 + 16 * j + 8);
        if (filecore::loadU32(font, 12 + 16 * j) != tag ||
            filecore::loadU32(font, 12 + 16 * j + 12) != length) {
            fuzzsupport::fail("a written font's table record differs from the collection's");
        }
        std::vector<std::uint8_t> expected(collection.begin() + offset,
                                           collection.begin() + offset + length);
        const std::vector<std::uint8_t> actual(font.begin() + written,
                                               font.begin() + written + length);
        constexpr std::size_t kAt = filecore::kHeadChecksumAdjustmentOffset;
        if (!adjusted && tag == 0x68656164 && length >= kAt + 4) {
            adjusted = true;
            std::copy_n(actual.begin() + kAt, 4, expected.begin() + kAt);
        }
        if (actual != expected) {
            fuzzsupport::fail("a written font's table holds other bytes than the collection's");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& scratch = fuzzsupport::scratch();
    scratch.clear();
    fuzzsupport::writeFile(scratch / "in.ttc", std::span(data, size));
    const std::string collection = (scratch / "in.ttc").string();

    fuzzsupport::CapturedConsole console;
    const int status = zelvic::breakCollection(collection, console.console());
    fuzzsupport::checkErrors(status, console.errors());

    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        if (entry.path().filename() != "in.ttc") {
            written.push_back(entry.path().string());
        }
    }
    std::sort(written.begin(), written.end());
    if (status != zelvic::kOk) {
        if (status != zelvic::kInputFailed || !written.empty()) {
            fuzzsupport::fail("a refused break failed on output or left files behind");
        }
        return 0;
    }
    // The fonts are numbered from 1 without gaps: nothing else was written.
    for (std::size_t k = 0; k < written.size(); ++k) {
        if (written[k] !=
            zelvic::outputFontName((scratch / "in").string(), static_cast<std::uint32_t>(k + 1))) {
            fuzzsupport::fail("break wrote a file it was not asked for");
        }
    }
    for (std::size_t k = 0; k < written.size(); ++k) {
        const auto font = fuzzsupport::readFile(written[k]);
        checkLayout(font);
        checkTables(std::span(data, size), static_cast<std::uint32_t>(k + 1), font);
    }
    // Each written font, joined with itself, must make a collection.
    for (std::size_t k = 0; k < std::min<std::size_t>(written.size(), 4); ++k) {
        const std::vector<std::string> pair{written[k], written[k]};
        fuzzsupport::CapturedConsole makeConsole;
        const int made =
            zelvic::makeCollection((scratch / "check.ttc").string(), pair, makeConsole.console());
        if (made != zelvic::kOk) {
            fuzzsupport::fail("a font break wrote is refused by make");
        }
    }
    return 0;
}
