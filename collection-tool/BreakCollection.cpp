// break: every font of a collection becomes a complete single-font file, its
// tables laid out in directory order, each 4-byte aligned with zero padding.
//
// The header and each directory are read once, into memory, and checked
// whole before anything is written; what is written is what was checked.
// Only table bytes are read again, copied straight from the collection, so a
// collection changed meanwhile can make a run fail but never make it write a
// font that disagrees with its directory.

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <tuple>
#include <vector>

#include "ByteOrder.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"

namespace zelvic {

namespace {

using filecore::FileError;
using filecore::FileReplacement;

struct MemberFont {
    std::uint32_t offset = 0;
    FontDirectory directory;
};

class CollectionBreaker {
  public:
    CollectionBreaker(const std::string& collectionName, const Console& console)
        : name_(collectionName), console_(console) {}

    int run();

  private:
    bool readDirectories();
    int checkOutputs();
    int writeFont(std::uint32_t number, MemberFont& member);
    bool fail(const std::string& problem) {
        console_.error(name_, problem);
        return false;
    }

    const std::string& name_;
    const Console& console_;
    filecore::InputFile file_;
    // The collection mapped, when it can be: tables are written straight
    // from it, never read in user space. Empty means copying instead.
    filecore::FileView mapped_;
    std::vector<MemberFont> members_;
    std::vector<std::string> outputNames_;
};

int CollectionBreaker::run() {
    FileError error;
    if (!file_.open(name_, error)) {
        console_.error(name_, error.describe());
        return kInputFailed;
    }
    if (!readDirectories()) {
        return kInputFailed;
    }
    if (const int status = checkOutputs(); status != kOk) {
        return status;
    }
    file_.map(mapped_);
    for (std::size_t k = 0; k < members_.size(); ++k) {
        const auto number = static_cast<std::uint32_t>(k + 1);
        if (const int status = writeFont(number, members_[k]); status != kOk) {
            return status;
        }
        members_[k].directory = {};
    }
    std::fputs("Ok.\n\n", console_.out);
    return kOk;
}

// The header and every directory, read whole and kept: together they are
// no larger than the collection, since no two overlap.
bool CollectionBreaker::readDirectories() {
    filecore::CollectionHeader header;
    std::vector<FontDirectory> directories;
    filecore::SfntError error;
    if (!filecore::readCollection(file_, header, directories, error)) {
        return fail(error.problem);
    }
    members_.resize(directories.size());
    for (std::size_t k = 0; k < members_.size(); ++k) {
        MemberFont& member = members_[k];
        member.offset = header.fontOffsets[k];
        member.directory = std::move(directories[k]);
        std::uint64_t size = member.directory.bytes.size();
        for (const TableRecord& table : member.directory.tables) {
            size += filecore::roundUp4(table.length);
        }
        if (size > kMaxFileSize) {
            return fail("font #" + std::to_string(k + 1) + " would be larger than 4 GiB");
        }
    }
    return true;
}

// Every output is checked before the first is written: a font that can't be
// written, or two fonts that would land in one file, fail the run with
// nothing written at all.
int CollectionBreaker::checkOutputs() {
    const std::string baseName = baseNameOf(name_);
    // Label 0 is the collection, k + 1 the output of font #k + 1.
    filecore::SameFiles files;
    files.add(name_, 0);
    outputNames_.resize(members_.size());
    for (std::size_t k = 0; k < members_.size(); ++k) {
        const auto number = static_cast<std::uint32_t>(k + 1);
        const std::string name = outputFontName(baseName, number);
        std::string resolved;
        std::optional<filecore::FileIdentity> existing;
        FileError error;
        if (!FileReplacement::check(name, resolved, existing, error)) {
            console_.error(name, error.describe());
            return kOutputFailed;
        }
        if (const auto earlier = files.add(resolved, number)) {
            console_.error(name, *earlier == 0
                                     ? "is the collection itself and would be replaced by font #" +
                                           std::to_string(number) + "; nothing written"
                                     : "is the same file as " + outputNames_[*earlier - 1] +
                                           "; nothing written");
            return kOutputFailed;
        }
        outputNames_[k] = name;
    }
    return kOk;
}

// The font's directory as read, its offsets moved to where its tables go,
// then each table copied from the collection and padded with zeros.
int CollectionBreaker::writeFont(std::uint32_t number, MemberFont& member) {
    const std::string& outputName = outputNames_[number - 1];
    std::fprintf(console_.out, "Font #%u: %s", static_cast<unsigned>(number), outputName.c_str());
    FontDirectory& directory = member.directory;
    std::uint64_t position = directory.bytes.size();
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        filecore::storeU32(directory.bytes, kOffsetTableSize + kTableRecordSize * j + 8,
                           static_cast<std::uint32_t>(position));
        position += filecore::roundUp4(directory.tables[j].length);
    }
    FileReplacement output;
    FileError error;
    bool written = output.create(outputName, error);
    const auto collection = mapped_.bytes();
    if (written && !collection.empty()) {
        // One gathered write of directory, tables and padding: where the
        // output's pages and the collection's don't line up, copying in the
        // kernel moves page fragments and costs more than this.
        static constexpr std::array<std::uint8_t, 3> kZeros{};
        std::vector<std::span<const std::uint8_t>> pieces;
        pieces.reserve(1 + 2 * directory.tables.size());
        pieces.emplace_back(directory.bytes);
        for (const TableRecord& table : directory.tables) {
            // The directory was checked against the size at open; a file
            // cut short since then fails the write, it is never touched.
            if (table.offset > collection.size() ||
                table.length > collection.size() - table.offset) {
                error = {FileError::Step::Read, 0, "the file ended early", file_.path()};
                written = false;
                break;
            }
            pieces.push_back(collection.subspan(table.offset, table.length));
            pieces.push_back(std::span(kZeros).first(
                static_cast<std::size_t>(filecore::roundUp4(table.length) - table.length)));
        }
        written = written && output.appendMapped(pieces, mapped_, file_, error);
    } else {
        written = written && output.append(directory.bytes, error);
        for (std::size_t j = 0; written && j < directory.tables.size(); ++j) {
            const TableRecord& table = directory.tables[j];
            written = output.appendFrom(file_, table.offset, table.length, error) &&
                      output.appendZeros(filecore::roundUp4(table.length) - table.length, error);
        }
    }
    written = written && output.commit(error);
    std::fputs("\n", console_.out);
    if (written) {
        return kOk;
    }
    if (error.step == FileError::Step::Read) {
        console_.error(name_, "font #" + std::to_string(number) + ": " + readProblem(error));
        return kInputFailed;
    }
    console_.error(outputName, error.describe());
    return kOutputFailed;
}

}  // namespace

std::string baseNameOf(std::string_view collectionName) {
    const std::size_t slash = collectionName.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = collectionName.find('.', nameStart);
    return std::string(collectionName.substr(0, dot));
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
