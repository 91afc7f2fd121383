// break: every font of a collection becomes a complete single-font file, its
// tables laid out in directory order, each 4-byte aligned.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"

namespace zelvic {

namespace {

constexpr std::uint32_t kCollectionTag = makeTag('t', 't', 'c', 'f');
constexpr std::size_t kCollectionHeaderSize = 12;

// What is kept of each font between the check and the write: not its
// directory, which is read again when the font is written. Holding every
// directory at once let a small collection whose thousands of fonts share
// one large directory take memory in proportion to fonts times tables.
struct MemberFont {
    std::uint32_t offset = 0;
    std::uint64_t directorySize = 0;
    std::uint64_t size = 0;  // of its single-font file
    std::string outputName;
};

class CollectionBreaker {
  public:
    CollectionBreaker(const std::string& collectionName, const Console& console)
        : name_(collectionName), console_(console) {}

    int run();

  private:
    bool readHeader(std::vector<std::uint32_t>& offsets);
    bool readMember(std::uint32_t number, std::uint32_t offset, MemberFont& member);
    bool directoriesApart(const std::vector<MemberFont>& members);
    int extractFont(std::uint32_t number, const MemberFont& member);

    const std::string& name_;
    const Console& console_;
    InputFile file_;
    ImageBuffer image_;
};

// Everything is checked before the first font is written, so a damaged
// collection leaves no font files behind.
int CollectionBreaker::run() {
    const std::string baseName = baseNameOf(name_);
    std::string problem;
    if (!file_.open(name_, problem)) {
        console_.error(name_, problem);
        return kInputFailed;
    }
    std::vector<std::uint32_t> offsets;
    if (!readHeader(offsets)) {
        return kInputFailed;
    }
    std::vector<MemberFont> members(offsets.size());
    for (std::size_t k = 0; k < members.size(); ++k) {
        const auto number = static_cast<std::uint32_t>(k + 1);
        if (!readMember(number, offsets[k], members[k])) {
            return kInputFailed;
        }
        members[k].outputName = outputFontName(baseName, number);
        if (identityOf(members[k].outputName) == file_.identity()) {
            console_.error(members[k].outputName,
                           "is the collection itself and would be replaced by font #" +
                               std::to_string(number) + "; nothing written");
            return kOutputFailed;
        }
    }
    if (!directoriesApart(members)) {
        return kInputFailed;
    }
    for (std::size_t k = 0; k < members.size(); ++k) {
        std::fprintf(console_.out, "Font #%u: ", static_cast<unsigned>(k + 1));
        const int status = extractFont(static_cast<std::uint32_t>(k + 1), members[k]);
        if (status != kOk) {
            return status;
        }
        std::fputs("\n", console_.out);
    }
    std::fputs("Ok.\n\n", console_.out);
    return kOk;
}

bool CollectionBreaker::readHeader(std::vector<std::uint32_t>& offsets) {
    std::array<std::uint8_t, kCollectionHeaderSize> header{};
    if (file_.size() < header.size() || !file_.readAt(0, header)) {
        console_.error(name_, "too short to be a TrueType Collection");
        return false;
    }
    if (readU32(header, 0) != kCollectionTag) {
        console_.error(name_, "not a TrueType Collection (no 'ttcf' tag)");
        return false;
    }
    // Version 2.0 adds signature fields after the offsets; they are not needed.
    const std::uint32_t numFonts = readU32(header, 8);
    if ((file_.size() - header.size()) / 4 < numFonts) {
        console_.error(name_, "the header names " + std::to_string(numFonts) +
                                  " fonts but the file ends before their offsets");
        return false;
    }
    std::vector<std::uint8_t> bytes(std::size_t{numFonts} * 4);
    if (!file_.readAt(header.size(), bytes)) {
        console_.error(name_, "cannot read the collection header");
        return false;
    }
    offsets.resize(numFonts);
    for (std::size_t k = 0; k < numFonts; ++k) {
        offsets[k] = readU32(bytes, 4 * k);
    }
    return true;
}

bool CollectionBreaker::readMember(std::uint32_t number, std::uint32_t offset, MemberFont& member) {
    std::string problem;
    FontDirectory directory;
    if (!readFontDirectory(file_, offset, directory, problem)) {
        console_.error(name_, "font #" + std::to_string(number) + ": " + problem);
        return false;
    }
    member.offset = offset;
    member.directorySize = directory.bytes.size();
    std::uint64_t size = directory.bytes.size();
    for (const TableRecord& table : directory.tables) {
        size += roundUp4(table.length);
    }
    if (size > kMaxFileSize) {
        console_.error(name_, "font #" + std::to_string(number) + " would be larger than 4 GiB");
        return false;
    }
    member.size = size;
    return true;
}

// Fonts whose directories share bytes (or are the same directory) are not
// found in well-formed collections, and they let a few kilobytes claim
// thousands of fonts whose output runs to gigabytes; each font needs its own.
bool CollectionBreaker::directoriesApart(const std::vector<MemberFont>& members) {
    std::vector<std::size_t> byOffset(members.size());
    for (std::size_t k = 0; k < byOffset.size(); ++k) {
        byOffset[k] = k;
    }
    std::sort(byOffset.begin(), byOffset.end(), [&members](std::size_t a, std::size_t b) {
        return members[a].offset < members[b].offset;
    });
    for (std::size_t i = 1; i < byOffset.size(); ++i) {
        const MemberFont& previous = members[byOffset[i - 1]];
        if (previous.offset + previous.directorySize > members[byOffset[i]].offset) {
            const std::size_t first = std::min(byOffset[i - 1], byOffset[i]) + 1;
            const std::size_t second = std::max(byOffset[i - 1], byOffset[i]) + 1;
            console_.error(name_, "the table directories of fonts #" + std::to_string(first) +
                                      " and #" + std::to_string(second) + " overlap");
            return false;
        }
    }
    return true;
}

// Assembles the font in the image buffer, each table followed by the 0 to 3
// bytes after it in the collection (its padding), and writes it in one go.
int CollectionBreaker::extractFont(std::uint32_t number, const MemberFont& member) {
    FontDirectory directory;
    std::string problem;
    if (!readFontDirectory(file_, member.offset, directory, problem)) {
        std::fputs("\n", console_.out);
        console_.error(name_, "font #" + std::to_string(number) + ": " + problem);
        return kInputFailed;
    }
    const auto size = static_cast<std::size_t>(member.size);
    image_.reserve(size, 0);
    const std::size_t directorySize = directory.bytes.size();
    std::memcpy(image_.bytes(0, directorySize).data(), directory.bytes.data(), directorySize);
    std::size_t position = directorySize;
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        const auto span = static_cast<std::size_t>(roundUp4(table.length));
        writeU32(image_.bytes(kOffsetTableSize + kTableRecordSize * j + 8, 4), 0,
                 static_cast<std::uint32_t>(position));
        // Only the padding of a table at the very end may be missing.
        const std::size_t present =
            static_cast<std::size_t>(std::min<std::uint64_t>(span, file_.size() - table.offset));
        const auto data = image_.bytes(position, span);
        if (!file_.readAt(table.offset, data.first(present))) {
            std::fputs("\n", console_.out);
            console_.error(name_, "font #" + std::to_string(number) + ": cannot read table " +
                                      quotedTag(table.tag));
            return kInputFailed;
        }
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(present), data.end(), std::uint8_t{0});
        position += span;
    }

    std::fputs(member.outputName.c_str(), console_.out);
    OutputFile output;
    if (!output.create(member.outputName, problem) ||
        !output.write(image_.bytes(0, size), problem) || !output.commit(problem)) {
        std::fputs("\n", console_.out);
        console_.error(member.outputName, problem);
        return kOutputFailed;
    }
    return kOk;
}

}  // namespace

std::string baseNameOf(std::string_view collectionName) {
    return std::string(collectionName.substr(0, collectionName.find('.')));
}

std::string outputFontName(std::string_view baseName, std::uint32_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    return std::string(baseName) + digits + ".TTF";
}

int breakCollection(const std::string& collectionName, const Console& console) {
    CollectionBreaker breaker(collectionName, console);
    return breaker.run();
}

}  // namespace zelvic
