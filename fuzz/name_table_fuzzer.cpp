// The name table alone: read whatever bytes come, write the table back, read
// that again. What was read must come back record for record, and writing
// the re-read table must give the same bytes. The input's first byte, when
// odd, also edits one record and adds one, so the encode side is exercised
// on text that did not come from a file.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "FontFile.h"
#include "FuzzSupport.h"
#include "NameTable.h"

namespace {

bool readTable(const std::string& path, NameTable& table) {
    FontFile file;
    return file.open(path.c_str(), "rb") && table.read(file);
}

bool writeTable(const std::string& path, NameTable& table) {
    FontFile file;
    if (!file.open(path.c_str(), "w+b")) {
        fuzzsupport::fail("cannot create a scratch file");
    }
    const bool written = table.write(file);
    return file.close() && written;
}

bool sameRecords(NameTable& a, NameTable& b) {
    if (a.records.size() != b.records.size() || a.format != b.format ||
        a.languageTags.size() != b.languageTags.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.records.size(); ++i) {
        const NameRecord& x = *a.records[i];
        const NameRecord& y = *b.records[i];
        if (x.platformID != y.platformID || x.encodingID != y.encodingID ||
            x.languageID != y.languageID || x.nameID != y.nameID || x.text != y.text ||
            x.encodeText() != y.encodeText()) {
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
    const auto& scratch = fuzzsupport::scratch();
    const std::string input = (scratch / "name.bin").string();
    const std::string first = (scratch / "first.bin").string();
    const std::string second = (scratch / "second.bin").string();
    const bool edit = (data[0] & 1) != 0;
    const std::span bytes(data + 1, size - 1);
    fuzzsupport::writeFile(input, bytes);

    NameTable table;
    if (!readTable(input, table)) {
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
    // A table that does not fit its 16-bit fields is refused, not truncated.
    table.removeEmptyRecords();
    const bool fits = table.fitsSixteenBitFields();
    if (!writeTable(first, table)) {
        if (fits) {
            fuzzsupport::fail("a table that fits its fields could not be written");
        }
        return 0;
    }

    NameTable reread;
    if (!readTable(first, reread)) {
        fuzzsupport::fail("a written name table does not read back");
    }
    if (!edit && !sameRecords(table, reread)) {
        fuzzsupport::fail("a name table changed on its way through write and read");
    }
    table.layout();
    if (table.totalLength != fuzzsupport::readFile(first).size()) {
        fuzzsupport::fail("totalLength is not the length written");
    }
    if (!writeTable(second, reread) ||
        fuzzsupport::readFile(first) != fuzzsupport::readFile(second)) {
        fuzzsupport::fail("writing a re-read name table changed its bytes");
    }
    return 0;
}
