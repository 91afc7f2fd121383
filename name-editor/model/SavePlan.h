// What the model's saves share: the new file as a list of pieces (ranges
// copied from the source file, bytes held in memory, zeros), and the
// checksums of tables that stay in the source file, summed as they are
// copied.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <utility>
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

    // Asks for the checksum of `length` bytes at `from` in the source, which
    // a copy must cover and no other table asked for may overlap (the very
    // same range may be asked for again). The handle is for sum().
    std::size_t sumSource(std::uint64_t from, std::uint64_t length);
    // After write(): the checksum asked for.
    std::uint32_t sum(std::size_t handle) const { return sums_[handle].checksum; }

    // Copies pass through one buffer, read from the source and summed on the
    // way: every byte is copied twice, as by cp or dd, and summed while it
    // is in the cache.
    bool write(filecore::FileReplacement& output, const filecore::InputFile& source,
               filecore::FileError& error);
    // The same, with `sumsKnown` run once every checksum asked for is known.
    // Where the copies all come from one read (a font of up to a few hundred
    // kilobytes), that is before anything is written, so what it fills in
    // (a directory, an adjustment) in the memory of `bytes` pieces goes out
    // with them, and `filledInWritten` is true. Otherwise it runs after the
    // last write, and the caller writes what it filled in itself.
    bool write(filecore::FileReplacement& output, const filecore::InputFile& source,
               filecore::FileError& error, const std::function<void()>& sumsKnown,
               bool& filledInWritten);

  private:
    struct Piece {
        enum class Kind { Copy, Bytes, Zeros };
        Kind kind = Kind::Zeros;
        std::uint64_t from = 0, length = 0;
        std::span<const std::uint8_t> bytes;
    };
    struct Summed {
        std::uint64_t from = 0, length = 0;
        std::uint32_t checksum = 0;
    };
    void sumChunk(std::uint64_t at, std::span<const std::uint8_t> chunk);
    std::uint64_t readAhead(std::size_t k, std::uint64_t start) const;

    std::vector<Piece> pieces_;
    std::vector<Summed> sums_;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> asked_;  // into sums_
    std::vector<std::size_t> byOffset_;  // sums_ in source order, for write()
    std::uint64_t size_ = 0;
    std::size_t chunk_ = 0;  // bytes per read, for write()'s source
};

// Sums tables of the source through one buffer, for a save that must know a
// checksum before it writes anything.
class SourceSums {
  public:
    explicit SourceSums(const filecore::InputFile& source) : source_(source) {}
    bool sum(std::uint64_t offset, std::uint64_t length, std::uint32_t& checksum,
             filecore::FileError& error);

  private:
    const filecore::InputFile& source_;
};

}  // namespace saveplan
