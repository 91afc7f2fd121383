#include "SavePlan.h"

#include <algorithm>
#include <array>

#include "ByteOrder.h"
#include "Checksum.h"

namespace saveplan {

namespace {

// Large enough that a 16 MB font is summed in a few dozen reads, small enough
// to stay in the processor's cache between the read and the sum.
constexpr std::size_t kSumChunk = std::size_t{256} * 1024;

}  // namespace

void Output::copy(std::uint64_t from, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    size_ += length;
    if (!pieces_.empty() && pieces_.back().kind == Piece::Kind::Copy &&
        pieces_.back().from + pieces_.back().length == from) {
        pieces_.back().length += length;
        return;
    }
    pieces_.push_back({Piece::Kind::Copy, from, length, {}});
}

void Output::bytes(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) {
        size_ += bytes.size();
        pieces_.push_back({Piece::Kind::Bytes, 0, bytes.size(), bytes});
    }
}

void Output::zeros(std::uint64_t count) {
    if (count == 0) {
        return;
    }
    size_ += count;
    if (!pieces_.empty() && pieces_.back().kind == Piece::Kind::Zeros) {
        pieces_.back().length += count;
        return;
    }
    pieces_.push_back({Piece::Kind::Zeros, 0, count, {}});
}

bool Output::write(filecore::FileReplacement& output, const filecore::InputFile& source,
                   filecore::FileError& error) const {
    // Copies go out as gathered writes straight from a mapping of the source:
    // on this kernel a copy_file_range between offsets that differ within a
    // page (a table that moves by a few bytes) is the slowest way there is.
    filecore::FileView mapping;
    const bool mapped = source.map(mapping);
    static const std::array<std::uint8_t, 4096> kZeros{};
    std::vector<std::span<const std::uint8_t>> gathered;
    const auto flush = [&] {
        const bool written =
            gathered.empty() || output.appendMapped(gathered, mapping, source, error);
        gathered.clear();
        return written;
    };
    for (const Piece& piece : pieces_) {
        bool written = true;
        switch (piece.kind) {
            case Piece::Kind::Copy:
                if (mapped) {
                    gathered.push_back(
                        mapping.bytes().subspan(static_cast<std::size_t>(piece.from),
                                                static_cast<std::size_t>(piece.length)));
                } else {
                    written = output.appendFrom(source, piece.from, piece.length, error);
                }
                break;
            case Piece::Kind::Bytes:
                if (mapped) {
                    gathered.push_back(piece.bytes);
                } else {
                    written = output.append(piece.bytes, error);
                }
                break;
            case Piece::Kind::Zeros:
                if (mapped && piece.length <= kZeros.size()) {
                    gathered.push_back(
                        std::span(kZeros).first(static_cast<std::size_t>(piece.length)));
                } else {
                    written = flush() && output.appendZeros(piece.length, error);
                }
                break;
        }
        if (!written) {
            return false;
        }
    }
    return flush();
}

bool SourceSums::sum(std::uint64_t offset, std::uint64_t length, std::uint32_t& checksum,
                     bool& zeroPadded, filecore::FileError& error) {
    const std::uint64_t padding = filecore::roundUp4(length) - length;
    const std::uint64_t available = source_.size() - std::min(source_.size(), offset + length);
    const std::uint64_t total = length + std::min(padding, available);
    checksum = 0;
    zeroPadded = padding <= available;
    std::uint64_t done = 0;
    while (done < total) {
        // Whole words per read, so that each read's sum adds to the table's.
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(total - done, kSumChunk));
        buffer_.resize(piece);
        if (!source_.readAt(offset + done, buffer_, error)) {
            return false;
        }
        const auto tableBytes = static_cast<std::size_t>(
            std::min<std::uint64_t>(piece, length - std::min(length, done)));
        checksum += filecore::tableChecksum(std::span(buffer_).first(tableBytes));
        for (std::size_t i = tableBytes; i < piece; ++i) {
            zeroPadded = zeroPadded && buffer_[i] == 0;
        }
        done += piece;
    }
    return true;
}

}  // namespace saveplan
