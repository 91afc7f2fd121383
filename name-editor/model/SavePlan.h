// What the model's saves share: the new file as a list of pieces (ranges
// copied from the source file, bytes held in memory, zeros), written with
// ranges that follow one another in the source copied as one; and the
// checksums of tables that stay in the source file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "Files.h"

namespace saveplan {

class Output {
  public:
    // `length` bytes at `from` in the source.
    void copy(std::uint64_t from, std::uint64_t length);
    // Bytes that outlive the write.
    void bytes(std::span<const std::uint8_t> bytes);
    void zeros(std::uint64_t count);
    std::uint64_t size() const { return size_; }

    bool write(filecore::FileReplacement& output, const filecore::InputFile& source,
               filecore::FileError& error) const;

  private:
    struct Piece {
        enum class Kind { Copy, Bytes, Zeros };
        Kind kind = Kind::Zeros;
        std::uint64_t from = 0, length = 0;
        std::span<const std::uint8_t> bytes;
    };
    std::vector<Piece> pieces_;
    std::uint64_t size_ = 0;
};

// Reads tables of the source through one buffer to sum them.
class SourceSums {
  public:
    explicit SourceSums(const filecore::InputFile& source) : source_(source) {}
    // The checksum of `length` bytes at `offset`; `zeroPadded` tells whether
    // the file holds zeros after them up to the next multiple of 4 (from
    // `offset`), so that table and padding can be copied together.
    bool sum(std::uint64_t offset, std::uint64_t length, std::uint32_t& checksum, bool& zeroPadded,
             filecore::FileError& error);

  private:
    const filecore::InputFile& source_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace saveplan
