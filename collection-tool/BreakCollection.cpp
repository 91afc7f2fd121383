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
//
// Every distinct table is read once to sum it, just before the first font
// that has it is written, so that its bytes are still in the processor's
// cache when the kernel copies them; the fonts' tables are copied in the
// kernel (small ones through a window). Summing the whole collection first
// made the copies fetch every byte from memory again, which cost about 7% of
// the run on 20 fonts of 19 MB. Summing on a second thread beside the copying was
// slower on four corpora of five and no faster on the fifth: on a virtual
// machine's two cores, the hand-overs between the threads cost more than the
// overlap saved.

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

// A table's bytes in the collection, summed once however many fonts share
// them.
struct DistinctTable {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t font = 0;  // the first font that has it
    auto operator<=>(const DistinctTable& other) const {
        return std::tie(offset, length) <=> std::tie(other.offset, other.length);
    }
    bool operator==(const DistinctTable& other) const {
        return offset == other.offset && length == other.length;
    }
};

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

class CollectionBreaker {
  public:
    CollectionBreaker(const std::string& collectionName, const Console& console)
        : name_(collectionName), console_(console) {}

    int run();

  private:
    bool readDirectories();
    int checkOutputs();
    void planSums();
    bool bytesFrom(std::uint64_t at, std::size_t wanted, std::span<const std::uint8_t>& out,
                   FileError& error);
    bool sumTables(std::uint32_t font);
    TableRuns::Padding knownPadding(std::uint64_t end, std::uint64_t count) const;
    std::uint32_t sumOf(const TableRecord& table) const;
    void adjust(const FontDirectory& directory, std::span<std::uint8_t> adjustment) const;
    int writeFont(std::uint32_t number, MemberFont& member);
    bool fail(const std::string& problem) {
        console_.error(name_, problem);
        return false;
    }
    // A read of the collection that failed after its directories were
    // checked: the file changed or its medium failed under the run.
    void failedReading(std::uint32_t number, const FileError& error) {
        console_.error(name_, "font #" + std::to_string(number) + ": " + readProblem(error));
    }

    const std::string& name_;
    const Console& console_;
    filecore::InputFile file_;
    std::vector<MemberFont> members_;
    std::vector<std::string> outputNames_;
    std::vector<DistinctTable> known_;    // distinct tables, sorted by place in the file
    std::vector<TablePadding> paddings_;  // sorted
    // Places in known_, by first font and, for each, by place in the file;
    // the tables up to summed_ have their sums.
    std::vector<std::uint32_t> sumOrder_;
    std::size_t summed_ = 0;
    Window<filecore::InputFile> window_;     // for the copying
    Window<filecore::InputFile> sumWindow_;  // for the summing
    // By place in known_: each table's sum, and whether the input has zeros
    // where its padding goes.
    std::vector<std::uint32_t> sums_;
    std::vector<std::uint8_t> zeroPadding_;
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
    sumWindow_.attach(file_);
    if (const int status = checkOutputs(); status != kOk) {
        return status;
    }
    planSums();
    for (std::size_t k = 0; k < members_.size(); ++k) {
        const auto number = static_cast<std::uint32_t>(k + 1);
        if (!sumTables(static_cast<std::uint32_t>(k))) {
            return kInputFailed;
        }
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
void CollectionBreaker::planSums() {
    for (std::size_t k = 0; k < members_.size(); ++k) {
        for (const TableRecord& table : members_[k].directory.tables) {
            known_.push_back({table.offset, table.length, static_cast<std::uint32_t>(k)});
        }
    }
    // Sorted by place and, for one table, font: the first of each is the
    // first font that has it.
    std::sort(known_.begin(), known_.end(), [](const DistinctTable& a, const DistinctTable& b) {
        return std::tie(a.offset, a.length, a.font) < std::tie(b.offset, b.length, b.font);
    });
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
    sumOrder_.resize(known_.size());
    for (std::size_t k = 0; k < known_.size(); ++k) {
        sumOrder_[k] = static_cast<std::uint32_t>(k);
    }
    std::stable_sort(sumOrder_.begin(), sumOrder_.end(), [this](std::uint32_t a, std::uint32_t b) {
        return known_[a].font < known_[b].font;
    });
    sums_.assign(known_.size(), 0);
    zeroPadding_.assign(known_.size(), 0);
}

// All the summing window holds from `at` on, at least `wanted` bytes. The
// window is filled again, from `at` on, only when it holds fewer: the tables
// lie one after another, so each byte is read once, and what a fill holds
// past one font's tables serves the next font's.
bool CollectionBreaker::bytesFrom(std::uint64_t at, std::size_t wanted,
                                  std::span<const std::uint8_t>& out, FileError& error) {
    const Extent fill{at, at + std::min<std::uint64_t>(kWindowSize, file_.size() - at)};
    return sumWindow_.getHeld(at, wanted, fill, out, error);
}

// The checksum of every distinct table that `font` is the first to have,
// from its real bytes (the directories' checksums may be stale or zero);
// and whether the bytes where its padding goes are zeros, which saves the
// copying a read.
bool CollectionBreaker::sumTables(std::uint32_t font) {
    FileError error;
    for (; summed_ < sumOrder_.size() && known_[sumOrder_[summed_]].font == font; ++summed_) {
        const std::size_t k = sumOrder_[summed_];
        const DistinctTable& table = known_[k];
        std::uint32_t sum = 0;
        std::span<const std::uint8_t> bytes;
        bool read = true;
        // The directories were checked against the file's size: the file
        // holds every byte of every table. Every piece but the last is whole
        // words, so each starts on one of the table's words.
        for (std::uint64_t done = 0; read && done < table.length;) {
            const std::uint64_t left = table.length - done;
            read =
                bytesFrom(table.offset + done,
                          static_cast<std::size_t>(std::min<std::uint64_t>(left, 4)), bytes, error);
            if (read) {
                const std::size_t piece = bytes.size() >= left ? static_cast<std::size_t>(left)
                                                               : bytes.size() & ~std::size_t{3};
                sum += filecore::tableChecksum(bytes.first(piece));
                done += piece;
            }
        }
        const std::uint64_t end = std::uint64_t{table.offset} + table.length;
        const auto padding =
            static_cast<std::size_t>(filecore::roundUp4(table.length) - table.length);
        bool zeros = false;
        if (read && padding > 0 && file_.size() - end >= padding) {
            read = bytesFrom(end, padding, bytes, error);
            zeros = read && std::ranges::all_of(bytes.first(padding),
                                                [](std::uint8_t b) { return b == 0; });
        }
        if (!read) {
            failedReading(table.font + 1, error);
            return false;
        }
        sums_[k] = sum;
        zeroPadding_[k] = zeros ? 1 : 0;
    }
    return true;
}

TableRuns::Padding CollectionBreaker::knownPadding(std::uint64_t end, std::uint64_t count) const {
    const TablePadding key{end, static_cast<std::uint32_t>(count), 0};
    const auto found = std::lower_bound(paddings_.begin(), paddings_.end(), key);
    if (found == paddings_.end() || *found != key) {
        return TableRuns::Padding::Unknown;
    }
    return zeroPadding_[found->place] != 0 ? TableRuns::Padding::Zeros
                                           : TableRuns::Padding::NotZeros;
}

std::uint32_t CollectionBreaker::sumOf(const TableRecord& table) const {
    const DistinctTable key{table.offset, table.length, 0};
    const auto found = std::lower_bound(known_.begin(), known_.end(), key);
    return sums_[static_cast<std::size_t>(found - known_.begin())];
}

// Sets the checkSumAdjustment, read from the 'head' table into `adjustment`,
// to what makes the font, its directory as it will be written, sum to the
// target.
void CollectionBreaker::adjust(const FontDirectory& directory,
                               std::span<std::uint8_t> adjustment) const {
    std::uint32_t total = filecore::tableChecksum(directory.bytes);
    for (const TableRecord& table : directory.tables) {
        total += sumOf(table);
    }
    // The field is a whole word of the table: the sum without it is the sum
    // with it, less its value.
    total -= filecore::loadU32(adjustment, 0);
    filecore::storeU32(adjustment, 0, filecore::kFontChecksumTarget - total);
}

// The font's directory as read, its offsets moved to where its tables go,
// then each table copied from the collection and padded with zeros, 'head'
// with its checkSumAdjustment set.
int CollectionBreaker::writeFont(std::uint32_t number, MemberFont& member) {
    const std::string& outputName = outputNames_[number - 1];
    std::fprintf(console_.out, "Font #%u: %s", static_cast<unsigned>(number), outputName.c_str());
    FontDirectory& directory = member.directory;
    // The table that takes the checkSumAdjustment: the first 'head' long
    // enough to hold one, if any.
    std::optional<std::size_t> head;
    std::uint64_t position = directory.bytes.size();
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        filecore::storeU32(directory.bytes, kOffsetTableSize + kTableRecordSize * j + 8,
                           static_cast<std::uint32_t>(position));
        if (!head && table.tag == kHeadTag &&
            table.length >= filecore::kHeadChecksumAdjustmentOffset + 4) {
            head = j;
        }
        position += filecore::roundUp4(table.length);
    }
    FileReplacement output;
    FileError error;
    bool written = output.create(outputName, error) && output.append(directory.bytes, error);
    // Tables that lie together in the collection, as make writes them, are
    // copied as one range. The output is written front to back only: 'head'
    // is copied around its new field.
    TableRuns runs(output, file_, window_, [this](std::uint64_t end, std::uint64_t count) {
        return knownPadding(end, count);
    });
    for (std::size_t j = 0; written && j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        if (head == j) {
            // The table's start, up to and with the field, is read and
            // written with the field set; the rest is copied as any table.
            constexpr std::uint64_t kAt = filecore::kHeadChecksumAdjustmentOffset;
            std::array<std::uint8_t, kAt + 4> start{};
            written = runs.flush(error) && file_.readAt(table.offset, start, error);
            if (written) {
                adjust(directory, std::span(start).subspan(kAt));
                written = output.append(start, error) &&
                          runs.add(table.offset + start.size(), table.length - start.size(), error);
            }
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
