// break: every font of a collection becomes a complete single-font file, its
// tables laid out in directory order, each 4-byte aligned with zero padding,
// and its 'head' checkSumAdjustment set so that the font sums as a single
// font must (a collection can't keep that sum for its members). Nothing else
// of a table changes, so a font that was stored in directory order with a
// right sum comes back byte for byte.
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
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "ByteOrder.h"
#include "Checksum.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"
#include "TableRuns.h"

namespace zelvic {

namespace {

using filecore::FileError;
using filecore::FileReplacement;

constexpr filecore::Tag kHeadTag("head");
// Table bytes are summed through a buffer of this size: a multiple of 4, so
// every piece of a table starts on one of its words, and small enough to stay
// in the processor's cache between the read and the sum.
constexpr std::size_t kSumBuffer = std::size_t{64} * 1024;

// A table's bytes in the collection and their checksum, computed once
// however many fonts share them.
struct TableSum {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t sum = 0;
    auto operator<=>(const TableSum& other) const {
        return std::tie(offset, length) <=> std::tie(other.offset, other.length);
    }
    bool operator==(const TableSum& other) const {
        return offset == other.offset && length == other.length;
    }
};

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
    bool sumTables();
    std::uint32_t sumOf(const TableRecord& table) const;
    bool adjustment(const FontDirectory& directory, std::optional<std::size_t>& head,
                    std::array<std::uint8_t, 4>& value, FileError& error) const;
    int writeFont(std::uint32_t number, MemberFont& member);
    bool fail(const std::string& problem) {
        console_.error(name_, problem);
        return false;
    }

    const std::string& name_;
    const Console& console_;
    filecore::InputFile file_;
    std::vector<MemberFont> members_;
    std::vector<std::string> outputNames_;
    std::vector<TableSum> sums_;  // sorted, one per distinct table
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
    if (!sumTables()) {
        return kInputFailed;
    }
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

// Every distinct table's checksum from its real bytes (the directories'
// checksums may be stale or zero), read in file order, each byte once per
// table that names it however many fonts share the table.
bool CollectionBreaker::sumTables() {
    for (const MemberFont& member : members_) {
        for (const TableRecord& table : member.directory.tables) {
            sums_.push_back({table.offset, table.length, 0});
        }
    }
    std::sort(sums_.begin(), sums_.end());
    sums_.erase(std::unique(sums_.begin(), sums_.end()), sums_.end());
    const auto capacity =
        static_cast<std::size_t>(std::min<std::uint64_t>(kSumBuffer, file_.size()));
    const auto storage = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    const std::span<std::uint8_t> buffer(storage.get(), capacity);
    std::uint64_t bufferStart = 0;
    std::size_t filled = 0;
    FileError error;
    for (TableSum& table : sums_) {
        std::uint32_t sum = 0;
        for (std::uint64_t done = 0; done < table.length;) {
            const std::uint64_t at = table.offset + done;
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(table.length - done, kSumBuffer));
            if (at < bufferStart || at - bufferStart > filled ||
                filled - (at - bufferStart) < piece) {
                // The directories were checked against the file's size:
                // what remains from `at` holds at least this piece.
                filled = static_cast<std::size_t>(
                    std::min<std::uint64_t>(buffer.size(), file_.size() - at));
                if (!file_.readAt(at, buffer.first(filled), error)) {
                    return fail(readProblem(error));
                }
                bufferStart = at;
            }
            sum += filecore::tableChecksum(
                buffer.subspan(static_cast<std::size_t>(at - bufferStart), piece));
            done += piece;
        }
        table.sum = sum;
    }
    return true;
}

std::uint32_t CollectionBreaker::sumOf(const TableRecord& table) const {
    const TableSum key{table.offset, table.length, 0};
    return std::lower_bound(sums_.begin(), sums_.end(), key)->sum;
}

// The checkSumAdjustment that makes the font, its directory as it will be
// written, sum to the target; `head` is the index of the table that takes
// it, none for a font without a 'head' long enough to hold it.
bool CollectionBreaker::adjustment(const FontDirectory& directory, std::optional<std::size_t>& head,
                                   std::array<std::uint8_t, 4>& value, FileError& error) const {
    head.reset();
    std::uint32_t total = filecore::tableChecksum(directory.bytes);
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        total += sumOf(table);
        if (!head && table.tag == kHeadTag &&
            table.length >= filecore::kHeadChecksumAdjustmentOffset + value.size()) {
            head = j;
        }
    }
    if (!head) {
        return true;
    }
    const TableRecord& table = directory.tables[*head];
    if (!file_.readAt(table.offset + filecore::kHeadChecksumAdjustmentOffset, value, error)) {
        return false;
    }
    // The field is a whole word of the table: the sum without it is the sum
    // with it, less its value.
    total -= filecore::loadU32(value, 0);
    filecore::storeU32(value, 0, filecore::kFontChecksumTarget - total);
    return true;
}

// The font's directory as read, its offsets moved to where its tables go,
// then each table copied from the collection and padded with zeros, the
// 'head' table's checkSumAdjustment replaced on the way.
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
    std::optional<std::size_t> head;
    std::array<std::uint8_t, 4> adjusted{};
    bool written = adjustment(directory, head, adjusted, error) && output.create(outputName, error);
    // Tables that lie together in the collection, as make writes them, are
    // copied as one range; 'head' is copied around its new field.
    TableRuns runs(output, file_);
    written = written && output.append(directory.bytes, error);
    for (std::size_t j = 0; written && j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        if (head == j) {
            constexpr std::uint64_t kAt = filecore::kHeadChecksumAdjustmentOffset;
            const std::uint64_t rest = kAt + adjusted.size();
            written = runs.add(table.offset, kAt, error) && runs.flush(error) &&
                      output.append(adjusted, error) &&
                      runs.add(table.offset + rest, table.length - rest, error);
        } else {
            written = runs.add(table.offset, table.length, error);
        }
    }
    written = written && runs.flush(error);
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
