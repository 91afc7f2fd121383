// The name table alone: read whatever bytes come, write the table back, read
// that again. What was read must come back record for record, and writing
// the re-read table must give the same bytes. The input's first byte, when
// odd, also edits one record and adds two, so the encode side is exercised
// on text that did not come from a file.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "NameTable.h"

namespace {

bool sameRecords(const NameTable& a, const NameTable& b) {
    if (a.format != b.format || a.languageTags.size() != b.languageTags.size()) {
        return false;
    }
    std::vector<const NameRecord*> kept;
    for (const auto& record : a.records) {
        if (!record->isDropped()) {
            kept.push_back(record.get());
        }
    }
    if (kept.size() != b.records.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const NameRecord& x = *kept[i];
        const NameRecord& y = *b.records[i];
        if (x.platformID != y.platformID || x.encodingID != y.encodingID ||
            x.languageID != y.languageID || x.nameID != y.nameID || x.text != y.text ||
            x.bytesToWrite() != y.storedBytes()) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a.languageTags.size(); ++i) {
        if (a.languageTags[i].bytes != b.languageTags[i].bytes) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool edit = (data[0] & 1) != 0;
    const std::span bytes(data + 1, size - 1);

    NameTable table;
    if (table.read(bytes) != LoadError::None) {
        return 0;
    }
    if (edit) {
        // The tail of the input up to its first zero byte becomes new text.
        const auto tail = bytes.last(std::min<std::size_t>(bytes.size(), 24));
        const auto end = std::find(tail.begin(), tail.end(), std::uint8_t{0});
        const std::string text(tail.begin(), end);
        if (NameRecord* record = table.first()) {
            record->text = text;
        }
        table.add(3, 1, 0x409, 1, text.c_str());
        table.add(1, 0, 0, 4, text.c_str());
    }
    std::vector<std::uint8_t> first;
    const SaveError written = table.write(first);
    if (written != SaveError::None) {
        // Refused, never cut short: too large, or edited text its encoding lacks.
        if (written == SaveError::NameNotEncodable ? !edit || table.firstUnencodable() == nullptr
                                                   : written != SaveError::NameTableTooLarge) {
            fuzzsupport::fail("a name table was refused for no reason");
        }
        return 0;
    }
    NameTable reread;
    if (reread.read(first) != LoadError::None) {
        fuzzsupport::fail("a written name table does not read back");
    }
    if (!edit && !sameRecords(table, reread)) {
        fuzzsupport::fail("a name table changed on its way through write and read");
    }
    std::vector<std::uint8_t> second;
    if (reread.write(second) != SaveError::None || first != second) {
        fuzzsupport::fail("writing a re-read name table changed its bytes");
    }
    return 0;
}
