// make: the collection is a 'ttcf' 1.0 header, every font's offset table and
// records back to back, then the first font's tables and each later font's
// unshared tables, in directory order, 4-byte aligned with zero padding.

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "ByteOrder.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"

namespace zelvic {

namespace {

constexpr std::uint32_t kCollectionTag = makeTag('t', 't', 'c', 'f');
constexpr std::uint32_t kCollectionVersion = 0x00010000;
constexpr std::size_t kCollectionHeaderSize = 12;
constexpr std::size_t kCompareChunk = std::size_t{64} * 1024;

// FNV-1a: only narrows down which of several candidates to compare in full.
std::uint64_t hashOf(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3;
    }
    return hash;
}

struct TableEntry {
    TableRecord record;
    std::size_t recordPosition = 0;  // of its table record in the collection
    std::uint64_t dataPosition = 0;  // of its bytes in the collection, once placed
    std::optional<std::uint64_t> hash;
};

struct InputFont {
    std::string name;
    InputFile file;
    FontDirectory directory;
    std::vector<TableEntry> tables;
};

// Tables are candidates for sharing when their records agree in tag, length
// and checksum; only their bytes decide.
using TableKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;

TableKey keyOf(const TableRecord& record) {
    return {record.tag, record.length, record.checksum};
}

struct TableRef {
    std::size_t font = 0;
    std::size_t table = 0;
};

class CollectionMaker {
  public:
    CollectionMaker(const std::string& outputName, const Console& console)
        : outputName_(outputName), console_(console) {}

    int run(std::span<const std::string> fontNames);

  private:
    bool openFont(InputFont& font);
    bool layOutDirectories();
    bool placeTables();
    bool storeTable(InputFont& font, TableEntry& table, bool alreadyRead);
    std::optional<TableRef> findEqualTable(InputFont& font, TableEntry& table, bool& readIntoPlace);
    bool fileRangeEquals(InputFont& font, const TableEntry& table,
                         std::span<const std::uint8_t> stored);
    std::uint64_t storedHash(TableEntry& entry);
    int write();

    const std::string& outputName_;
    const Console& console_;
    std::vector<InputFont> fonts_;
    ImageBuffer image_;
    std::uint64_t writePosition_ = 0;
    std::map<TableKey, std::vector<TableRef>> stored_;
    std::vector<std::uint8_t> chunk_;
    std::string report_;
    int failure_ = kOk;  // set by the step that failed
};

int CollectionMaker::run(std::span<const std::string> fontNames) {
    fonts_.resize(fontNames.size());
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        fonts_[k].name = fontNames[k];
        if (!openFont(fonts_[k])) {
            return kInputFailed;
        }
    }
    // The output is only replaced at the end, but a collection written over
    // one of its own fonts would still lose that font for good.
    if (const auto output = identityOf(outputName_)) {
        for (const InputFont& font : fonts_) {
            if (font.file.identity() == *output) {
                console_.error(outputName_,
                               "is the same file as the input " + font.name + "; nothing written");
                return kOutputFailed;
            }
        }
    }
    if (!layOutDirectories() || !placeTables()) {
        return failure_;
    }
    return write();
}

bool CollectionMaker::openFont(InputFont& font) {
    std::string problem;
    if (!font.file.open(font.name, problem)) {
        console_.error(font.name, problem);
        return false;
    }
    std::array<std::uint8_t, 4> version{};
    if (font.file.size() < kOffsetTableSize || !font.file.readAt(0, version)) {
        console_.error(font.name, "too short to be a font");
        return false;
    }
    if (readU32(version, 0) == kCollectionTag) {
        console_.error(font.name, "is a TrueType Collection, not a single font");
        return false;
    }
    if (!isSingleFontVersion(readU32(version, 0))) {
        console_.error(font.name, "not a TrueType or OpenType font");
        return false;
    }
    if (!readFontDirectory(font.file, 0, font.directory, problem)) {
        console_.error(font.name, problem);
        return false;
    }
    return true;
}

// Header, then each font's offset table and records, copied as read; the
// record offsets are filled in as the tables are placed.
bool CollectionMaker::layOutDirectories() {
    std::uint64_t headerSize = kCollectionHeaderSize + 4 * std::uint64_t{fonts_.size()};
    std::uint64_t mostData = 0;
    for (const InputFont& font : fonts_) {
        headerSize += font.directory.bytes.size();
        for (const TableRecord& record : font.directory.tables) {
            mostData += roundUp4(record.length);
        }
    }
    // Tables whose key no earlier font has can't be shared: if they alone
    // overflow 32-bit offsets, say so before reading any of them.
    std::uint64_t leastData = 0;
    std::set<TableKey> seen;
    for (const InputFont& font : fonts_) {
        for (const TableRecord& record : font.directory.tables) {
            if (&font == &fonts_.front() || !seen.contains(keyOf(record))) {
                leastData += roundUp4(record.length);
            }
        }
        for (const TableRecord& record : font.directory.tables) {
            seen.insert(keyOf(record));
        }
    }
    if (headerSize > kMaxFileSize || leastData > kMaxFileSize - headerSize) {
        console_.error(outputName_, "the collection would be larger than 4 GiB");
        failure_ = kOutputFailed;
        return false;
    }
    // Room for every table stored once: what the collection can need at most,
    // never more than the inputs hold. Pages not written are never touched.
    image_.reserve(static_cast<std::size_t>(std::min(headerSize + mostData, kMaxFileSize)), 0);

    const auto header = image_.bytes(0, kCollectionHeaderSize);
    writeU32(header, 0, kCollectionTag);
    writeU32(header, 4, kCollectionVersion);
    writeU32(header, 8, static_cast<std::uint32_t>(fonts_.size()));
    std::size_t position = kCollectionHeaderSize + 4 * fonts_.size();
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        InputFont& font = fonts_[k];
        writeU32(image_.bytes(kCollectionHeaderSize + 4 * k, 4), 0,
                 static_cast<std::uint32_t>(position));
        const std::size_t size = font.directory.bytes.size();
        std::memcpy(image_.bytes(position, size).data(), font.directory.bytes.data(), size);
        font.tables.resize(font.directory.tables.size());
        for (std::size_t j = 0; j < font.tables.size(); ++j) {
            font.tables[j].record = font.directory.tables[j];
            font.tables[j].recordPosition = position + kOffsetTableSize + kTableRecordSize * j;
        }
        position += size;
    }
    writePosition_ = position;
    return true;
}

bool CollectionMaker::placeTables() {
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        InputFont& font = fonts_[k];
        report_ += font.name;
        report_ += ":\t";
        std::vector<TableRef> storedHere;
        for (std::size_t j = 0; j < font.tables.size(); ++j) {
            TableEntry& table = font.tables[j];
            for (int i = 0; i < 4; ++i) {
                report_ += static_cast<char>(tagByte(table.record.tag, i));
            }
            // The first font is stored whole, duplicates included.
            if (k == 0) {
                report_ += "(unique)\t";
                if (!storeTable(font, table, false)) {
                    return false;
                }
                storedHere.push_back({k, j});
                continue;
            }
            report_ += '(';
            bool readIntoPlace = false;
            const auto equal = findEqualTable(font, table, readIntoPlace);
            if (failure_ != kOk || (!equal && !storeTable(font, table, readIntoPlace))) {
                return false;
            }
            if (equal) {
                report_ += "shared)\t";
                table.dataPosition = fonts_[equal->font].tables[equal->table].dataPosition;
                writeU32(image_.bytes(table.recordPosition + 8, 4), 0,
                         static_cast<std::uint32_t>(table.dataPosition));
            } else {
                report_ += "unique)\t";
                storedHere.push_back({k, j});
            }
        }
        report_ += "\n\n";
        // A font's own tables are never searched for its later tables.
        for (const TableRef& ref : storedHere) {
            stored_[keyOf(fonts_[ref.font].tables[ref.table].record)].push_back(ref);
        }
    }
    return true;
}

// Puts the table's bytes at the write position (read there now unless
// `alreadyRead`), zero-pads to 4 bytes and points its record there.
bool CollectionMaker::storeTable(InputFont& font, TableEntry& table, bool alreadyRead) {
    const std::uint64_t length = table.record.length;
    const std::uint64_t span = roundUp4(length);
    if (writePosition_ > kMaxFileSize - span) {
        console_.error(outputName_, "the collection would be larger than 4 GiB");
        failure_ = kOutputFailed;
        return false;
    }
    const auto position = static_cast<std::size_t>(writePosition_);
    image_.reserve(position + static_cast<std::size_t>(span), position);
    const auto data = image_.bytes(position, static_cast<std::size_t>(span));
    if (!alreadyRead && !font.file.readAt(table.record.offset, data.first(length))) {
        console_.error(font.name, "cannot read table " + quotedTag(table.record.tag));
        failure_ = kInputFailed;
        return false;
    }
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(length), data.end(), std::uint8_t{0});
    table.dataPosition = writePosition_;
    writeU32(image_.bytes(table.recordPosition + 8, 4), 0, static_cast<std::uint32_t>(position));
    writePosition_ += span;
    return true;
}

// The first stored table of an earlier font with the same key and the same
// bytes. Only stored tables need looking at: a shared one has the bytes and
// the place of a stored one before it.
std::optional<TableRef> CollectionMaker::findEqualTable(InputFont& font, TableEntry& table,
                                                        bool& readIntoPlace) {
    readIntoPlace = false;
    const auto found = stored_.find(keyOf(table.record));
    if (found == stored_.end()) {
        return std::nullopt;
    }
    const std::vector<TableRef>& candidates = found->second;
    const std::size_t length = table.record.length;
    if (candidates.size() == 1) {
        // One candidate, the usual case: compare straight from the file.
        const TableEntry& other = fonts_[candidates[0].font].tables[candidates[0].table];
        const auto stored = image_.bytes(static_cast<std::size_t>(other.dataPosition), length);
        if (fileRangeEquals(font, table, stored)) {
            return candidates[0];
        }
        return std::nullopt;
    }
    // Several stored tables share the key and differ in their bytes: read
    // this one to where it would be stored and let a hash pick the one to
    // compare, so that many look-alikes cost one pass each, not one per pair.
    const std::uint64_t span = roundUp4(length);
    if (writePosition_ > kMaxFileSize - span) {
        console_.error(outputName_, "the collection would be larger than 4 GiB");
        failure_ = kOutputFailed;
        return std::nullopt;
    }
    const auto position = static_cast<std::size_t>(writePosition_);
    image_.reserve(position + static_cast<std::size_t>(span), position);
    const auto data = image_.bytes(position, length);
    if (!font.file.readAt(table.record.offset, data)) {
        console_.error(font.name, "cannot read table " + quotedTag(table.record.tag));
        failure_ = kInputFailed;
        return std::nullopt;
    }
    readIntoPlace = true;
    const std::uint64_t hash = hashOf(data);
    for (const TableRef& ref : candidates) {
        TableEntry& other = fonts_[ref.font].tables[ref.table];
        if (storedHash(other) == hash &&
            std::memcmp(image_.bytes(static_cast<std::size_t>(other.dataPosition), length).data(),
                        data.data(), length) == 0) {
            return ref;
        }
    }
    return std::nullopt;
}

bool CollectionMaker::fileRangeEquals(InputFont& font, const TableEntry& table,
                                      std::span<const std::uint8_t> stored) {
    chunk_.resize(kCompareChunk);
    std::uint64_t offset = table.record.offset;
    while (!stored.empty()) {
        const std::size_t count = std::min(stored.size(), chunk_.size());
        const auto piece = std::span(chunk_).first(count);
        if (!font.file.readAt(offset, piece)) {
            console_.error(font.name, "cannot read table " + quotedTag(table.record.tag));
            failure_ = kInputFailed;
            return false;
        }
        if (std::memcmp(piece.data(), stored.data(), count) != 0) {
            return false;
        }
        stored = stored.subspan(count);
        offset += count;
    }
    return true;
}

std::uint64_t CollectionMaker::storedHash(TableEntry& entry) {
    if (!entry.hash) {
        entry.hash =
            hashOf(image_.bytes(static_cast<std::size_t>(entry.dataPosition), entry.record.length));
    }
    return *entry.hash;
}

int CollectionMaker::write() {
    std::fwrite(report_.data(), 1, report_.size(), console_.out);
    std::fprintf(console_.out, "%s:\t", outputName_.c_str());
    OutputFile output;
    std::string problem;
    if (!output.create(outputName_, problem) ||
        !output.write(image_.bytes(0, static_cast<std::size_t>(writePosition_)), problem) ||
        !output.commit(problem)) {
        console_.error(outputName_, problem);
        return kOutputFailed;
    }
    std::fputs("Ok.\n\n", console_.out);
    return kOk;
}

}  // namespace

int makeCollection(const std::string& outputName, std::span<const std::string> fontNames,
                   const Console& console) {
    CollectionMaker maker(outputName, console);
    return maker.run(fontNames);
}

}  // namespace zelvic
