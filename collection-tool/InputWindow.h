// Reading a file's small ranges through one buffer: neighbouring ranges, as
// a font's small tables are, cost one read per window instead of one each.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "Files.h"

namespace zelvic {

// Tables that may be shared are compared through windows of this size, and
// small tables are copied through one: small enough to come from the heap
// and stay in the processor's cache.
constexpr std::size_t kWindowSize = std::size_t{64} * 1024;

// The kernel's page: copies go fastest page to page, and a read of a page or
// less costs about what a read of a few bytes does.
constexpr std::uint64_t kPageSize = 4096;

// A byte range [start, end) of a file.
struct Extent {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset >= start && offset <= end && end - offset >= length;
    }
};

template <class Source, std::size_t Capacity = kWindowSize>
class Window {
  public:
    void attach(const Source& source) {
        source_ = &source;
        filled_ = 0;
    }

    // The `length` bytes at `offset` (length at most Capacity), valid
    // until the next call. A miss reads `fill`, which holds the range, is
    // at most Capacity long and lies inside what the source can read;
    // anything else reads just the range.
    bool get(std::uint64_t offset, std::size_t length, Extent fill,
             std::span<const std::uint8_t>& out, filecore::FileError& error) {
        if (offset < start_ || offset - start_ > filled_ || filled_ - (offset - start_) < length) {
            if (!fill.holds(offset, length) || fill.end - fill.start > Capacity) {
                fill = {offset, offset + length};
            }
            if (!buffer_) {
                buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(Capacity);
            }
            const auto count = static_cast<std::size_t>(fill.end - fill.start);
            filled_ = 0;
            if (!source_->readAt(fill.start, {buffer_.get(), count}, error)) {
                return false;
            }
            start_ = fill.start;
            filled_ = count;
        }
        out = {buffer_.get() + (offset - start_), length};
        return true;
    }

    // As get(), but `out` runs on to the end of what the window holds: a
    // caller walking the file front to back takes all that a fill brought
    // and so reads each byte once.
    bool getHeld(std::uint64_t offset, std::size_t length, Extent fill,
                 std::span<const std::uint8_t>& out, filecore::FileError& error) {
        if (!get(offset, length, fill, out, error)) {
            return false;
        }
        const auto skipped = static_cast<std::size_t>(offset - start_);
        out = {buffer_.get() + skipped, filled_ - skipped};
        return true;
    }

  private:
    const Source* source_ = nullptr;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

}  // namespace zelvic
