#include "SfntReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <numeric>

#include "ByteOrder.h"

namespace filecore {

namespace {

constexpr std::size_t kCollectionHeaderSize = 12;  // tag, version, numFonts
constexpr std::size_t kSignatureFieldsSize = 12;   // 2.0: DSIG tag, length, offset

bool fail(SfntError& error, std::string problem) {
    error.kind = SfntError::Kind::Format;
    error.problem = std::move(problem);
    return false;
}

bool failRead(SfntError& error, const FileError& fileError) {
    error = SfntError::ofRead(fileError);
    return false;
}

std::string versionProblem(std::uint32_t version) {
    if (version == kCollectionTag.value()) {
        return "is a TrueType Collection, not a single font";
    }
    if (version == Tag("wOFF").value()) {
        return "this is a WOFF web font, not a TrueType or OpenType font";
    }
    if (version == Tag("wOF2").value()) {
        return "this is a WOFF2 web font, not a TrueType or OpenType font";
    }
    return "not a TrueType or OpenType font";
}

// Tables that share bytes would each be held or written as a copy: a 185 KB
// file of 11,585 records over its whole length would make 2 GB. No font
// needs that. Empty tables overlap nothing.
bool checkApart(const std::vector<TableRecord>& tables, SfntError& error) {
    std::vector<std::size_t> byOffset;
    byOffset.reserve(tables.size());
    for (std::size_t i = 0; i < tables.size(); ++i) {
        if (tables[i].length != 0) {
            byOffset.push_back(i);
        }
    }
    std::stable_sort(byOffset.begin(), byOffset.end(), [&](std::size_t a, std::size_t b) {
        return tables[a].offset < tables[b].offset;
    });
    for (std::size_t i = 1; i < byOffset.size(); ++i) {
        const TableRecord& previous = tables[byOffset[i - 1]];
        const TableRecord& table = tables[byOffset[i]];
        if (table.offset - previous.offset < previous.length) {
            return fail(error, "tables " + previous.tag.quoted() + " and " + table.tag.quoted() +
                                   " overlap");
        }
    }
    return true;
}

}  // namespace

SfntError SfntError::ofRead(const FileError& error) {
    // Every range was checked against the file's size before it was read: a
    // short read means the file was cut or rewritten since it was opened.
    return {Kind::File,
            error.step == FileError::Step::Read && error.error == 0
                ? "the file changed during the run"
                : error.describe(),
            error};
}

std::string sentenceOf(const std::string& problem) {
    std::string sentence = problem.starts_with("is ") ? "This file " + problem : problem;
    if (!sentence.empty()) {
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
        if (sentence.back() != '.') {
            sentence += '.';
        }
    }
    return sentence;
}

std::uint32_t FontDirectory::sfntVersion() const {
    return loadU32(bytes, 0);
}
std::uint16_t FontDirectory::numTables() const {
    return loadU16(bytes, 4);
}
std::uint16_t FontDirectory::searchRange() const {
    return loadU16(bytes, 6);
}
std::uint16_t FontDirectory::entrySelector() const {
    return loadU16(bytes, 8);
}
std::uint16_t FontDirectory::rangeShift() const {
    return loadU16(bytes, 10);
}

std::optional<std::size_t> FontDirectory::find(Tag tag) const {
    for (std::size_t i = 0; i < tables.size(); ++i) {
        if (tables[i].tag == tag) {
            return i;
        }
    }
    return std::nullopt;
}

bool isSingleFontVersion(std::uint32_t version) {
    return version == 0x00010000 || version == Tag("OTTO").value() ||
           version == Tag("true").value() || version == Tag("typ1").value();
}

bool readOffsetTable(const InputFile& file, std::uint64_t at, FontDirectory& directory,
                     SfntError& error) {
    const std::uint64_t size = file.size();
    directory.at = at;
    directory.tables.clear();
    directory.bytes.clear();
    if (!rangeFits(size, at, kOffsetTableSize)) {
        // A short file's version alone still says what it is, if it is no font.
        std::array<std::uint8_t, 4> version{};
        FileError readError;
        if (at == 0 && size >= version.size() && file.readAt(at, version, readError) &&
            !isSingleFontVersion(loadU32(version, 0))) {
            return fail(error, versionProblem(loadU32(version, 0)));
        }
        return fail(error, at == 0 ? "too short to be a font"
                                   : "the offset table runs past the end of the file");
    }
    directory.bytes.resize(kOffsetTableSize);
    FileError readError;
    if (!file.readAt(at, directory.bytes, readError)) {
        return failRead(error, readError);
    }
    if (!isSingleFontVersion(directory.sfntVersion())) {
        return fail(error, versionProblem(directory.sfntVersion()));
    }
    const std::uint16_t numTables = directory.numTables();
    // Four fonts of a Debian package hold no table at all: written back,
    // they would be twelve bytes that no program takes for a font.
    if (numTables == 0) {
        return fail(error, "the font has no tables");
    }
    if (!rangeFits(size - at - kOffsetTableSize, 0, std::uint64_t{numTables} * kTableRecordSize)) {
        return fail(error, "the table directory (" + std::to_string(numTables) +
                               " tables) runs past the end of the file");
    }
    return true;
}

bool readTableRecords(const InputFile& file, FontDirectory& directory, SfntError& error,
                      const SfntRules& rules) {
    const std::uint64_t size = file.size();
    const std::uint16_t numTables = directory.numTables();
    directory.bytes.resize(kOffsetTableSize + std::size_t{numTables} * kTableRecordSize);
    FileError readError;
    if (!file.readAt(directory.at + kOffsetTableSize,
                     std::span(directory.bytes).subspan(kOffsetTableSize), readError)) {
        return failRead(error, readError);
    }
    directory.tables.clear();
    directory.tables.reserve(numTables);
    int heads = 0, names = 0;
    for (std::size_t i = 0; i < numTables; ++i) {
        const std::size_t record = kOffsetTableSize + kTableRecordSize * i;
        const TableRecord table{
            Tag(loadU32(directory.bytes, record)), loadU32(directory.bytes, record + 4),
            loadU32(directory.bytes, record + 8), loadU32(directory.bytes, record + 12)};
        if (!rangeFits(size, table.offset, table.length)) {
            return fail(error, "table " + table.tag.quoted() + " runs past the end of the file");
        }
        heads += table.tag == Tag("head") ? 1 : 0;
        names += table.tag == Tag("name") ? 1 : 0;
        if (table.tag == Tag("head") && rules.headAdjusted && table.length < kHeadAdjustedMinimum) {
            return fail(error, "table 'head' is too short to hold its checksum adjustment");
        }
        directory.tables.push_back(table);
    }
    // A second 'name' would be read into the same records and a second
    // 'head' would miss its adjustment; other tags may stand twice.
    if (heads > 1 || names > 1) {
        return fail(error, std::string("the font has two ") + (heads > 1 ? "'head'" : "'name'") +
                               " tables");
    }
    return checkApart(directory.tables, error);
}

bool readFontDirectory(const InputFile& file, std::uint64_t at, FontDirectory& directory,
                       SfntError& error, const SfntRules& rules) {
    return readOffsetTable(file, at, directory, error) &&
           readTableRecords(file, directory, error, rules);
}

std::uint64_t CollectionHeader::size() const {
    return kCollectionHeaderSize + 4 * std::uint64_t{fontOffsets.size()} +
           (version == kCollectionVersion2 ? kSignatureFieldsSize : 0);
}

bool readCollectionHeader(const InputFile& file, CollectionHeader& header, SfntError& error) {
    const std::uint64_t size = file.size();
    std::array<std::uint8_t, kCollectionHeaderSize> fixed{};
    FileError readError;
    if (size < fixed.size()) {
        return fail(error, "too short to be a TrueType Collection");
    }
    if (!file.readAt(0, fixed, readError)) {
        return failRead(error, readError);
    }
    if (loadU32(fixed, 0) != kCollectionTag.value()) {
        return fail(error, "not a TrueType Collection (no 'ttcf' tag)");
    }
    header = {};
    header.version = loadU32(fixed, 4);
    if (header.version != kCollectionVersion1 && header.version != kCollectionVersion2) {
        return fail(error, "unknown TrueType Collection version " +
                               std::to_string(header.version >> 16) + "." +
                               std::to_string(header.version & 0xFFFF));
    }
    const std::uint32_t numFonts = loadU32(fixed, 8);
    if (numFonts == 0) {
        return fail(error, "the collection holds no fonts");
    }
    if ((size - fixed.size()) / 4 < numFonts) {
        return fail(error, "the header names " + std::to_string(numFonts) +
                               " fonts but the file ends before their offsets");
    }
    const std::uint64_t offsetsSize = 4 * std::uint64_t{numFonts};
    const std::uint64_t extra = header.version == kCollectionVersion2 ? kSignatureFieldsSize : 0;
    if (!rangeFits(size, fixed.size(), offsetsSize + extra)) {
        return fail(error, "the header's signature fields run past the end of the file");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(offsetsSize + extra));
    if (!file.readAt(fixed.size(), bytes, readError)) {
        return failRead(error, readError);
    }
    header.fontOffsets.resize(numFonts);
    for (std::size_t k = 0; k < numFonts; ++k) {
        header.fontOffsets[k] = loadU32(bytes, 4 * k);
    }
    if (extra != 0) {
        const auto at = static_cast<std::size_t>(offsetsSize);
        header.dsigTag = Tag(loadU32(bytes, at));
        header.dsigLength = loadU32(bytes, at + 4);
        header.dsigOffset = loadU32(bytes, at + 8);
        // Without a signature the other two fields mean nothing.
        if (header.dsigTag == Tag("DSIG") &&
            !rangeFits(size, header.dsigOffset, header.dsigLength)) {
            return fail(error, "the collection's signature runs past the end of the file");
        }
    }
    return true;
}

bool readCollection(const InputFile& file, CollectionHeader& header,
                    std::vector<FontDirectory>& fonts, SfntError& error, const SfntRules& rules) {
    if (!readCollectionHeader(file, header, error)) {
        return false;
    }
    // A member's problem names the member; a file that can't be read is the
    // whole file's.
    const auto fail = [&error](std::size_t k) {
        if (error.kind == SfntError::Kind::Format) {
            error.problem.insert(0, "font #" + std::to_string(k + 1) + ": ");
        }
        return false;
    };
    // First only each offset table, so that fonts claiming one directory are
    // refused before any directory is held in memory.
    fonts.clear();
    fonts.resize(header.fontOffsets.size());
    for (std::size_t k = 0; k < fonts.size(); ++k) {
        if (!readOffsetTable(file, header.fontOffsets[k], fonts[k], error)) {
            return fail(k);
        }
    }
    // Directories that share bytes (or are one directory) are not found in
    // well-formed collections, and let a few kilobytes claim thousands of
    // fonts whose tables run to gigabytes: each font has its own.
    std::vector<std::size_t> byOffset(fonts.size());
    std::iota(byOffset.begin(), byOffset.end(), std::size_t{0});
    std::stable_sort(byOffset.begin(), byOffset.end(),
                     [&](std::size_t a, std::size_t b) { return fonts[a].at < fonts[b].at; });
    for (std::size_t i = 1; i < byOffset.size(); ++i) {
        const FontDirectory& previous = fonts[byOffset[i - 1]];
        const std::uint64_t previousSize =
            kOffsetTableSize + std::uint64_t{previous.numTables()} * kTableRecordSize;
        if (fonts[byOffset[i]].at - previous.at < previousSize) {
            const std::size_t first = std::min(byOffset[i - 1], byOffset[i]) + 1;
            const std::size_t second = std::max(byOffset[i - 1], byOffset[i]) + 1;
            return filecore::fail(error, "the table directories of fonts #" +
                                             std::to_string(first) + " and #" +
                                             std::to_string(second) + " overlap");
        }
    }
    for (std::size_t k = 0; k < fonts.size(); ++k) {
        if (!readTableRecords(file, fonts[k], error, rules)) {
            return fail(k);
        }
    }
    return true;
}

}  // namespace filecore
