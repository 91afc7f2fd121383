// break: every font of a collection becomes a complete single-font file, its
// tables laid out in directory order, each 4-byte aligned with zero padding,
// and its 'head' checkSumAdjustment set so that the font sums as a single
// font must (a collection can't keep that sum for its members). Nothing else
// of a table changes, so a font that was stored in directory order with a
// right sum comes back byte for byte.
//
// The header and each directory are read once, into memory, and checked
// whole before anything is written; what is written is what was checked.
// Only table bytes are read again, from the collection, so a collection
// changed meanwhile can make a run fail but never make it write a font that
// disagrees with its directory.
//
// A table met for the first time is read once, through a window, and the
// bytes read are both summed and written, so the sum is that of the bytes
// the font holds. Summing it and then copying it in the kernel fetched its
// bytes from the page cache twice, the second time through the kernel's
// copy between pages, which costs more when the table starts at another
// place within a page in the collection than in the font, as it mostly
// does; written from the window, which stays in the processor's cache, the
// split of 20 fonts of 19 MB took 3-12% less. A table shared with a font
// written before already has its sum, and is copied in the kernel. The
// checkSumAdjustment, which needs every sum, is written last, over the
// 'head' bytes in place.
//
// The kernel copies page to page: a table that starts at another place
// within a page in the collection than in the font costs it a third more.
// Fonts that share their large tables mostly list the same tables before
// them, so a shared table lies at the same place within a page in every
// font written: it is copied from the font written just before, where it
// does, rather than from the collection. The ten fonts of Noto Sans CJK
// share a 15 MB 'CFF ' this way. Small tables are read, not copied in the
// kernel, and come from the collection among their neighbours.

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <vector>

#include "ByteOrder.h"
#include "Checksum.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"
#include "InputWindow.h"
#include "TableRuns.h"

namespace zelvic {

namespace {

using filecore::FileError;
using filecore::FileReplacement;

constexpr filecore::Tag kHeadTag("head");
constexpr std::uint64_t kAdjustmentAt = filecore::kHeadChecksumAdjustmentOffset;

// Tables read for the first time go through a window of this size, summed
// and written from it. Twice the comparing window: half the reads and
// writes, and still well inside the processor's second-level cache, from
// which the write takes the bytes back; 20 fonts of 19 MB split 7-12%
// faster than through 64 KiB, and slower again through 256 KiB or more.
constexpr std::size_t kReadWindowSize = std::size_t{128} * 1024;

// A table's bytes in the collection, summed once however many fonts share
// them.
struct DistinctTable {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    auto operator<=>(const DistinctTable& other) const {
        return std::tie(offset, length) <=> std::tie(other.offset, other.length);
    }
    bool operator==(const DistinctTable& other) const {
        return offset == other.offset && length == other.length;
    }
};

// What is known of a distinct table: nothing yet, its bytes waiting in the
// run being gathered, or its sum (and what lies where its padding goes).
enum class Reading : std::uint8_t { NotYet, Gathered, Summed };

// The padding after a distinct table whose length is not a multiple of 4:
// where it lies, how long it is, and which distinct table's place says
// whether it is zeros. The bytes are those whatever table they follow.
struct TablePadding {
    std::uint64_t end = 0;
    std::uint32_t count = 0;
    std::uint32_t place = 0;
    auto operator<=>(const TablePadding& other) const {
        return std::tie(end, count) <=> std::tie(other.end, other.count);
    }
    bool operator==(const TablePadding& other) const {
        return end == other.end && count == other.count;
    }
};

struct MemberFont {
    std::uint32_t offset = 0;
    FontDirectory directory;
};

// Where a distinct table was last written: font 0 is none.
struct WrittenTable {
    std::uint32_t font = 0;
    std::uint64_t offset = 0;
};

class CollectionBreaker {
  public:
    CollectionBreaker(const std::string& collectionName, const Console& console)
        : name_(collectionName), console_(console) {}

    int run();

  private:
    bool readDirectories();
    int checkOutputs();
    void planTables();
    std::size_t placeOf(const TableRecord& table) const;
    bool gather(std::size_t place, FileReplacement& output, FileError& error);
    bool writeGathered(FileReplacement& output, FileError& error);
    bool sumPiece(std::uint64_t at, std::span<const std::uint8_t> held, std::size_t length,
                  std::uint64_t outputAt, FileReplacement& output, FileError& error);
    TableRuns::Padding knownPadding(std::uint64_t end, std::uint64_t count) const;
    int writeFont(std::uint32_t number, MemberFont& member);
    bool fail(const std::string& problem) {
        console_.error(name_, problem);
        return false;
    }
    // A read of the collection that failed after its directories were
    // checked: the file changed or its medium failed under the run.
    // A copy from the font written before fails the same way, and names it.
    void failedReading(std::uint32_t number, const FileError& error) {
        console_.error(error.file.empty() ? name_ : error.file,
                       "font #" + std::to_string(number) + ": " + readProblem(error));
    }

    const std::string& name_;
    const Console& console_;
    filecore::InputFile file_;
    std::vector<MemberFont> members_;
    std::vector<std::string> outputNames_;
    std::vector<DistinctTable> known_;    // distinct tables, sorted by place in the file
    std::vector<TablePadding> paddings_;  // sorted
    Window<filecore::InputFile> window_;  // for the copying of shared tables
    // For the tables read, summed and written.
    Window<filecore::InputFile, kReadWindowSize> readWindow_;
    // By place in known_: how far the table has been read, its sum, the
    // word where a 'head' keeps its checkSumAdjustment, and what the input
    // holds where its padding goes.
    std::vector<Reading> reading_;
    std::vector<std::uint32_t> sums_;
    std::vector<std::uint32_t> adjustments_;
    std::vector<TableRuns::Padding> padding_;
    // The run being gathered: distinct tables, not read yet, that lie one
    // after another in the collection, each where the one before ends
    // rounded up to 4. They are read and written together.
    std::vector<std::uint32_t> gathered_;
    std::size_t open_ = 0;  // the first gathered table not summed whole yet
    // The font written last, read from for the shared tables it holds where
    // they go in the next, and where each distinct table lies in it (by
    // place in known_). The 'head' whose adjustment was written lies
    // nowhere: its bytes there are not the collection's.
    filecore::InputFile previous_;
    Window<filecore::InputFile> previousWindow_;
    std::vector<WrittenTable> written_;
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
    window_.attach(file_);
    readWindow_.attach(file_);
    if (const int status = checkOutputs(); status != kOk) {
        return status;
    }
    planTables();
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

// Every distinct table once, in the order of the file, and the paddings
// after those whose length is not a multiple of 4.
void CollectionBreaker::planTables() {
    for (const MemberFont& member : members_) {
        for (const TableRecord& table : member.directory.tables) {
            known_.push_back({table.offset, table.length});
        }
    }
    std::sort(known_.begin(), known_.end());
    known_.erase(std::unique(known_.begin(), known_.end()), known_.end());
    for (std::size_t k = 0; k < known_.size(); ++k) {
        const DistinctTable& table = known_[k];
        const auto count =
            static_cast<std::uint32_t>(filecore::roundUp4(table.length) - table.length);
        if (count > 0) {
            paddings_.push_back(
                {std::uint64_t{table.offset} + table.length, count, static_cast<std::uint32_t>(k)});
        }
    }
    std::sort(paddings_.begin(), paddings_.end());
    reading_.assign(known_.size(), Reading::NotYet);
    sums_.assign(known_.size(), 0);
    adjustments_.assign(known_.size(), 0);
    padding_.assign(known_.size(), TableRuns::Padding::Unknown);
    written_.assign(known_.size(), {});
}

std::size_t CollectionBreaker::placeOf(const TableRecord& table) const {
    const DistinctTable key{table.offset, table.length};
    return static_cast<std::size_t>(std::lower_bound(known_.begin(), known_.end(), key) -
                                    known_.begin());
}

TableRuns::Padding CollectionBreaker::knownPadding(std::uint64_t end, std::uint64_t count) const {
    const TablePadding key{end, static_cast<std::uint32_t>(count), 0};
    const auto found = std::lower_bound(paddings_.begin(), paddings_.end(), key);
    if (found == paddings_.end() || *found != key) {
        return TableRuns::Padding::Unknown;
    }
    return padding_[found->place];
}

// Adds a table not read yet to the run being gathered, which is written
// first when the table doesn't start where the run's padding ends.
bool CollectionBreaker::gather(std::size_t place, FileReplacement& output, FileError& error) {
    if (!gathered_.empty()) {
        const DistinctTable& last = known_[gathered_.back()];
        if (known_[place].offset != std::uint64_t{last.offset} + filecore::roundUp4(last.length) &&
            !writeGathered(output, error)) {
            return false;
        }
    }
    gathered_.push_back(static_cast<std::uint32_t>(place));
    reading_[place] = Reading::Gathered;
    return true;
}

// Sums what of the gathered tables the `length` bytes at `at` hold, the
// start of `held`, and keeps each 'head'-sized table's adjustment word. The
// piece starts on a word of every table it holds part of, and ends on one
// but at the run's end, so a table's padding lies in one piece: where it is
// not zeros in the input, it is set to zeros where the piece was written,
// from `outputAt` on. The bytes held past the run say whether the last
// table's padding is zeros.
bool CollectionBreaker::sumPiece(std::uint64_t at, std::span<const std::uint8_t> held,
                                 std::size_t length, std::uint64_t outputAt,
                                 FileReplacement& output, FileError& error) {
    static constexpr std::array<std::uint8_t, 3> kZeros{};
    const std::uint64_t pieceEnd = at + length;
    for (; open_ < gathered_.size(); ++open_) {
        const std::uint32_t place = gathered_[open_];
        const DistinctTable& table = known_[place];
        const std::uint64_t start = table.offset;
        const std::uint64_t end = start + table.length;
        if (start >= pieceEnd) {
            return true;
        }
        if (end > at) {
            const std::uint64_t from = std::max(start, at);
            const std::uint64_t to = std::min(end, pieceEnd);
            sums_[place] += filecore::tableChecksum(held.subspan(
                static_cast<std::size_t>(from - at), static_cast<std::size_t>(to - from)));
            if (table.length >= kAdjustmentAt + 4 && from <= start + kAdjustmentAt &&
                to >= start + kAdjustmentAt + 4) {
                adjustments_[place] =
                    filecore::loadU32(held, static_cast<std::size_t>(start + kAdjustmentAt - at));
            }
        }
        const std::uint64_t count = filecore::roundUp4(table.length) - table.length;
        const bool last = open_ + 1 == gathered_.size();
        const std::uint64_t reach = last ? at + held.size() : pieceEnd;
        if (end > pieceEnd || (count > 0 && end + count > reach)) {
            // The table, or its padding, goes on in the next piece.
            return true;
        }
        if (count > 0) {
            const auto bytes =
                held.subspan(static_cast<std::size_t>(end - at), static_cast<std::size_t>(count));
            const bool zeros = std::ranges::all_of(bytes, [](std::uint8_t b) { return b == 0; });
            padding_[place] = zeros ? TableRuns::Padding::Zeros : TableRuns::Padding::NotZeros;
            if (!zeros && !last &&
                !output.writeAt(outputAt + (end - at), std::span(kZeros).first(bytes.size()),
                                error)) {
                return false;
            }
        }
    }
    return true;
}

// The gathered run, read through the window front to back, each piece
// summed and then written as read; the last table's padding is zeros.
bool CollectionBreaker::writeGathered(FileReplacement& output, FileError& error) {
    if (gathered_.empty()) {
        return true;
    }
    const DistinctTable& first = known_[gathered_.front()];
    const DistinctTable& last = known_[gathered_.back()];
    const std::uint64_t runEnd = std::uint64_t{last.offset} + last.length;
    // The directories were checked against the file's size: the file holds
    // every byte of every table. A fill reads no further than the run and
    // its padding: a font whose tables lie in another order than its
    // directory's is read in pieces, out of order, and reading past each
    // piece read most of the font twice.
    const std::uint64_t readEnd = std::min<std::uint64_t>(
        file_.size(), std::uint64_t{last.offset} + filecore::roundUp4(last.length));
    for (std::uint64_t at = first.offset; at < runEnd;) {
        const std::uint64_t left = runEnd - at;
        const Extent fill{at, at + std::min<std::uint64_t>(kReadWindowSize, readEnd - at)};
        std::span<const std::uint8_t> held;
        if (!readWindow_.getHeld(at, static_cast<std::size_t>(std::min<std::uint64_t>(left, 4)),
                                 fill, held, error)) {
            return false;
        }
        // Pieces but the last are whole words, so that every table's part
        // in a piece starts on one of its words. The bytes held past the
        // run say whether the last table's padding is zeros.
        const std::size_t piece =
            held.size() >= left ? static_cast<std::size_t>(left) : held.size() & ~std::size_t{3};
        const std::uint64_t outputAt = output.size();
        if (!output.append(held.first(piece), error) ||
            !sumPiece(at, held, piece, outputAt, output, error)) {
            return false;
        }
        at += piece;
    }
    for (const std::uint32_t place : gathered_) {
        reading_[place] = Reading::Summed;
    }
    gathered_.clear();
    open_ = 0;
    return output.appendZeros(filecore::roundUp4(last.length) - last.length, error);
}

// The font's directory as read, its offsets moved to where its tables go,
// then each table from the collection, padded with zeros, and last the
// checkSumAdjustment, over the 'head' bytes written.
int CollectionBreaker::writeFont(std::uint32_t number, MemberFont& member) {
    const std::string& outputName = outputNames_[number - 1];
    std::fprintf(console_.out, "Font #%u: %s", static_cast<unsigned>(number), outputName.c_str());
    FontDirectory& directory = member.directory;
    // The table that takes the checkSumAdjustment: the first 'head' long
    // enough to hold one, if any; and where that word goes.
    std::optional<std::size_t> head;
    std::uint64_t adjustmentAt = 0;
    std::uint64_t position = directory.bytes.size();
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        filecore::storeU32(directory.bytes, kOffsetTableSize + kTableRecordSize * j + 8,
                           static_cast<std::uint32_t>(position));
        if (!head && table.tag == kHeadTag && table.length >= kAdjustmentAt + 4) {
            head = j;
            adjustmentAt = position + kAdjustmentAt;
        }
        position += filecore::roundUp4(table.length);
    }
    FileReplacement output;
    FileError error;
    bool written = output.create(outputName, error) && output.append(directory.bytes, error);
    // Shared tables that lie together in the collection, as make writes
    // them, are copied as one range.
    TableRuns runs(output, file_, window_, [this](std::uint64_t end, std::uint64_t count) {
        return knownPadding(end, count);
    });
    // Every table the font before holds is padded with zeros there.
    TableRuns fromPrevious(output, previous_, previousWindow_,
                           [](std::uint64_t, std::uint64_t) { return TableRuns::Padding::Zeros; });
    position = directory.bytes.size();
    for (std::size_t j = 0; written && j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        const std::size_t place = placeOf(table);
        const WrittenTable before = written_[place];
        if (reading_[place] == Reading::NotYet) {
            written =
                runs.flush(error) && fromPrevious.flush(error) && gather(place, output, error);
        } else if (table.length > TableRuns::kSmallRun && previous_.isOpen() && before.font != 0 &&
                   before.font + 1 == number && before.offset % kPageSize == position % kPageSize) {
            written = writeGathered(output, error) && runs.flush(error) &&
                      fromPrevious.add(before.offset, table.length, error);
        } else {
            // A table the font lists twice is read once, before its second
            // copy.
            written = writeGathered(output, error) && fromPrevious.flush(error) &&
                      runs.add(table.offset, table.length, error);
        }
        written_[place] = {number, position};
        position += filecore::roundUp4(table.length);
    }
    written =
        written && writeGathered(output, error) && runs.flush(error) && fromPrevious.flush(error);
    if (written && head) {
        std::uint32_t total = filecore::tableChecksum(directory.bytes);
        for (const TableRecord& table : directory.tables) {
            total += sums_[placeOf(table)];
        }
        // The field is a whole word of the table: the font's sum without it
        // is its sum with it, less its value.
        total -= adjustments_[placeOf(directory.tables[*head])];
        std::array<std::uint8_t, 4> adjustment{};
        filecore::storeU32(adjustment, 0, filecore::kFontChecksumTarget - total);
        written = output.writeAt(adjustmentAt, adjustment, error);
        written_[placeOf(directory.tables[*head])] = {};
    }
    if (written) {
        // Without a second descriptor the next font copies from the
        // collection alone.
        FileError reopening;
        if (!output.openForReading(previous_, reopening)) {
            previous_.close();
            if (reopening.step == FileError::Step::Write) {
                error = reopening;
                written = false;
            }
        }
        previousWindow_.attach(previous_);
    }
    written = written && output.commit(error);
    std::fputs("\n", console_.out);
    if (written) {
        return kOk;
    }
    if (error.step == FileError::Step::Read) {
        failedReading(number, error);
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
