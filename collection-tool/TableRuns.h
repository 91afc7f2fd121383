// Tables copied from an input into an output, each padded with zeros to 4
// bytes, as few ranges as the input allows: most fonts (and every collection
// make writes) store their tables one after another, zero-padded, so a run of
// them is the same bytes as the tables one by one and costs one copy in the
// kernel instead of a system call, a read or a page fragment each.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "ByteOrder.h"
#include "Files.h"
#include "InputWindow.h"

namespace zelvic {

class TableRuns {
  public:
    // Smaller runs are read among their neighbours rather than copied in
    // the kernel, which costs a system call each however small.
    static constexpr std::uint64_t kSmallRun = std::uint64_t{16} * 1024;

    // What a caller knows, without a read, of the `count` bytes (1 to 3)
    // at `end`, a table's padding in the input.
    enum class Padding { Zeros, NotZeros, Unknown };
    using PaddingCheck = std::function<Padding(std::uint64_t end, std::uint64_t count)>;

    // Runs of up to kSmallRun bytes, and the padding checked, are read
    // through `window`, which must be attached to `input`.
    TableRuns(filecore::FileReplacement& output, const filecore::InputFile& input,
              Window<filecore::InputFile>& window, PaddingCheck knownPadding = {})
        : output_(output), input_(input), window_(window), knownPadding_(std::move(knownPadding)) {}

    // Appends the `length` bytes at `offset` of the input and zero padding to
    // a multiple of 4. They join the run before when they start where its
    // padding ends and that padding is zeros in the input too; else the run
    // is written first. The range must lie inside the input as opened.
    bool add(std::uint64_t offset, std::uint64_t length, filecore::FileError& error) {
        bool joined = false;
        if (open_ && offset == end_ + padding_ && !zerosAt(end_, padding_, joined, error)) {
            return false;
        }
        if (!joined) {
            if (!flush(error)) {
                return false;
            }
            open_ = true;
            start_ = offset;
        }
        end_ = offset + length;
        padding_ = filecore::roundUp4(length) - length;
        return true;
    }

    // Bytes added and not written yet: the output is this much longer than
    // its size() says once they are.
    std::uint64_t pending() const { return open_ ? end_ - start_ + padding_ : 0; }

    bool flush(filecore::FileError& error) {
        if (!open_) {
            return true;
        }
        open_ = false;
        const std::uint64_t length = end_ - start_;
        if (length > kSmallRun) {
            return output_.appendFrom(input_, start_, length, error) &&
                   output_.appendZeros(padding_, error);
        }
        std::span<const std::uint8_t> bytes;
        return window_.get(start_, static_cast<std::size_t>(length), {start_, end_}, bytes,
                           error) &&
               output_.append(bytes, error) && output_.appendZeros(padding_, error);
    }

  private:
    bool zerosAt(std::uint64_t offset, std::uint64_t count, bool& zeros,
                 filecore::FileError& error) const {
        if (count == 0) {
            zeros = true;
            return true;
        }
        if (knownPadding_) {
            switch (knownPadding_(offset, count)) {
                case Padding::Zeros:
                    zeros = true;
                    return true;
                case Padding::NotZeros:
                    zeros = false;
                    return true;
                case Padding::Unknown:
                    break;
            }
        }
        std::span<const std::uint8_t> bytes;
        if (!window_.get(offset, static_cast<std::size_t>(count), fillFor(offset, count), bytes,
                         error)) {
            return false;
        }
        zeros = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
        return true;
    }

    // What to read for the padding at `offset`: from the start of the run it
    // would join, when that run is small enough to be read at its flush, to
    // the end of the page, where the next small tables' padding often lies
    // too. Every byte read is copied into the process, so no more than that:
    // a whole window per check cost a split as much again as the copy itself.
    Extent fillFor(std::uint64_t offset, std::uint64_t count) const {
        const std::uint64_t from = open_ && offset - start_ <= kSmallRun ? start_ : offset;
        const std::uint64_t pageEnd = (offset + count + kPageSize - 1) / kPageSize * kPageSize;
        return {from, std::max(offset + count, std::min(pageEnd, input_.size()))};
    }

    filecore::FileReplacement& output_;
    const filecore::InputFile& input_;
    Window<filecore::InputFile>& window_;
    PaddingCheck knownPadding_;
    bool open_ = false;
    std::uint64_t start_ = 0;    // where the run starts in the input
    std::uint64_t end_ = 0;      // where its last table's bytes end there
    std::uint64_t padding_ = 0;  // the zeros that follow them in the output
};

}  // namespace zelvic
