// Tables copied from an input into an output, each padded with zeros to 4
// bytes, as few ranges as the input allows: most fonts (and every collection
// make writes) store their tables one after another, zero-padded, so a run of
// them is the same bytes as the tables one by one and costs one copy in the
// kernel instead of a system call, a read or a page fragment each.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "ByteOrder.h"
#include "Files.h"

namespace zelvic {

class TableRuns {
  public:
    TableRuns(filecore::FileReplacement& output, const filecore::InputFile& input)
        : output_(output), input_(input) {}

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
        return (end_ == start_ || output_.appendFrom(input_, start_, end_ - start_, error)) &&
               output_.appendZeros(padding_, error);
    }

  private:
    bool zerosAt(std::uint64_t offset, std::uint64_t count, bool& zeros,
                 filecore::FileError& error) const {
        std::array<std::uint8_t, 3> bytes{};
        const auto range = std::span(bytes).first(static_cast<std::size_t>(count));
        if (!input_.readAt(offset, range, error)) {
            return false;
        }
        zeros = std::all_of(range.begin(), range.end(), [](std::uint8_t b) { return b == 0; });
        return true;
    }

    filecore::FileReplacement& output_;
    const filecore::InputFile& input_;
    bool open_ = false;
    std::uint64_t start_ = 0;    // where the run starts in the input
    std::uint64_t end_ = 0;      // where its last table's bytes end there
    std::uint64_t padding_ = 0;  // the zeros that follow them in the output
};

}  // namespace zelvic
