// A cursor over a byte range whose every read is checked against what is
// really there, by subtraction, so that no check can overflow. A parse reads
// as a flat list of fields: `if (!reader.u16(count)) return fail(...)`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "ByteOrder.h"
#include "Tag.h"

namespace filecore {

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, std::size_t at = 0)
        : bytes_(bytes), at_(at <= bytes.size() ? at : bytes.size()) {}

    std::size_t position() const { return at_; }
    std::size_t remaining() const { return bytes_.size() - at_; }
    std::span<const std::uint8_t> whole() const { return bytes_; }

    bool u16(std::uint16_t& value) {
        if (remaining() < 2) {
            return false;
        }
        value = loadU16(bytes_, at_);
        at_ += 2;
        return true;
    }

    bool u32(std::uint32_t& value) {
        if (remaining() < 4) {
            return false;
        }
        value = loadU32(bytes_, at_);
        at_ += 4;
        return true;
    }

    bool tag(Tag& value) {
        std::uint32_t raw = 0;
        if (!u32(raw)) {
            return false;
        }
        value = Tag(raw);
        return true;
    }

    // The next `count` bytes, which the reader then moves past.
    bool bytes(std::size_t count, std::span<const std::uint8_t>& out) {
        if (remaining() < count) {
            return false;
        }
        out = bytes_.subspan(at_, count);
        at_ += count;
        return true;
    }

    bool skip(std::size_t count) {
        if (remaining() < count) {
            return false;
        }
        at_ += count;
        return true;
    }

    // Moves to an absolute position inside the range (the end included).
    bool seek(std::size_t at) {
        if (at > bytes_.size()) {
            return false;
        }
        at_ = at;
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// The `length` bytes at `offset` of `bytes`, or nothing when they don't all lie inside.
inline std::optional<std::span<const std::uint8_t>> subrange(std::span<const std::uint8_t> bytes,
                                                             std::uint64_t offset,
                                                             std::uint64_t length) {
    if (!rangeFits(bytes.size(), offset, length)) {
        return std::nullopt;
    }
    return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

}  // namespace filecore
