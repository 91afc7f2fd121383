#include "SavePlan.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "ByteOrder.h"
#include "Checksum.h"

namespace saveplan {

namespace {

// Bytes moved per read and write. Every page of the buffer costs a page
// fault the first time it is filled, and on a virtual machine a fault costs
// more than a read or a write: saving a 400 KB font through a 256 KiB buffer
// took 15% longer than through a 16 KiB one, while a 16 MB font wants the
// large buffer's fewer calls. So a process's first save gets a buffer of
// about a 64th of its font; later ones (a folder of fonts) get the largest,
// whose faults they pay once between them.
constexpr std::size_t kSmallestChunk = std::size_t{16} * 1024;
constexpr std::size_t kLargestChunk = std::size_t{256} * 1024;

thread_local bool savedBefore = false;

std::size_t chunkFor(std::uint64_t sourceSize) {
    if (savedBefore) {
        return kLargestChunk;
    }
    std::size_t chunk = kSmallestChunk;
    while (chunk < kLargestChunk && std::uint64_t{chunk} * 64 < sourceSize) {
        chunk *= 2;
    }
    return chunk;
}

// One buffer for every save the process makes, grown to the largest chunk
// asked for: over a folder of fonts, a fresh one per font cost more than the
// copy through it. Never zeroed, so a page is only faulted in when a read
// first fills it.
std::span<std::uint8_t> chunkBuffer(std::uint64_t wanted, std::size_t chunk) {
    static thread_local std::unique_ptr<std::uint8_t[]> buffer;
    static thread_local std::size_t allocated = 0;
    if (allocated < chunk) {
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(chunk);
        allocated = chunk;
    }
    return {buffer.get(), static_cast<std::size_t>(std::min<std::uint64_t>(wanted, chunk))};
}

// The checksum contribution of `bytes` that start `phase` bytes (0-3) into
// a 32-bit word of their table.
std::uint32_t checksumAt(std::span<const std::uint8_t> bytes, std::size_t phase) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; phase % 4 != 0 && i < bytes.size(); ++i, ++phase) {
        sum += std::uint32_t{bytes[i]} << (24 - 8 * (phase % 4));
    }
    return sum + filecore::tableChecksum(bytes.subspan(i));
}

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

std::size_t Output::sumSource(std::uint64_t from, std::uint64_t length) {
    const auto [at, added] = asked_.try_emplace({from, length}, sums_.size());
    if (added) {
        sums_.push_back({from, length, 0});
    }
    return at->second;
}

void Output::sumChunk(std::uint64_t at, std::span<const std::uint8_t> chunk) {
    const std::uint64_t end = at + chunk.size();
    // The first table that ends after the chunk's start; tables don't overlap.
    auto k = std::partition_point(byOffset_.begin(), byOffset_.end(), [&](std::size_t index) {
        return sums_[index].from + sums_[index].length <= at;
    });
    for (; k != byOffset_.end() && sums_[*k].from < end; ++k) {
        Summed& table = sums_[*k];
        const std::uint64_t start = std::max(at, table.from);
        const std::uint64_t stop = std::min(end, table.from + table.length);
        if (start < stop) {
            table.checksum += checksumAt(chunk.subspan(static_cast<std::size_t>(start - at),
                                                       static_cast<std::size_t>(stop - start)),
                                         static_cast<std::size_t>((start - table.from) % 4));
        }
    }
}

// How much to read for the copy `k` from `start` in it: to its end, and on
// to the end of the copies after it that follow it in the source, within
// one chunk.
std::uint64_t Output::readAhead(std::size_t k, std::uint64_t start) const {
    std::uint64_t end = pieces_[k].from + pieces_[k].length;
    for (std::size_t next = k + 1; next < pieces_.size(); ++next) {
        const Piece& piece = pieces_[next];
        if (piece.kind != Piece::Kind::Copy) {
            continue;
        }
        if (piece.from < end || piece.from + piece.length - start > chunk_) {
            break;
        }
        end = piece.from + piece.length;
    }
    return end - start;
}

bool Output::write(filecore::FileReplacement& output, const filecore::InputFile& source,
                   filecore::FileError& error) {
    bool filledInWritten = false;
    return write(output, source, error, {}, filledInWritten);
}

bool Output::write(filecore::FileReplacement& output, const filecore::InputFile& source,
                   filecore::FileError& error, const std::function<void()>& sumsKnown,
                   bool& filledInWritten) {
    filledInWritten = false;
    byOffset_.resize(sums_.size());
    for (std::size_t k = 0; k < sums_.size(); ++k) {
        byOffset_[k] = k;
        sums_[k].checksum = 0;
    }
    std::sort(byOffset_.begin(), byOffset_.end(),
              [this](std::size_t a, std::size_t b) { return sums_[a].from < sums_[b].from; });
    // Source bytes come through one window: the copies of a font's tables,
    // which lie close together in order, take one read between them. Where
    // every copy lies within one window's reach (a font of up to a few
    // hundred kilobytes), one read at the start serves them all, in
    // whatever order the tables lie.
    chunk_ = chunkFor(source.size());
    savedBefore = true;
    std::span<std::uint8_t> window;
    std::uint64_t windowStart = 0;
    std::uint64_t lowest = std::numeric_limits<std::uint64_t>::max(), highest = 0;
    for (const Piece& piece : pieces_) {
        if (piece.kind == Piece::Kind::Copy) {
            lowest = std::min(lowest, piece.from);
            highest = std::max(highest, piece.from + piece.length);
        }
    }
    const bool oneRead = lowest >= highest || highest - lowest <= chunk_;
    if (lowest < highest && oneRead) {
        window = chunkBuffer(highest - lowest, chunk_);
        windowStart = lowest;
        if (!source.readAt(lowest, window, error)) {
            return false;
        }
    }
    // With every copy in the window, the sums come first and the whole file
    // in one write, filled in.
    if (oneRead) {
        for (const Piece& piece : pieces_) {
            if (piece.kind == Piece::Kind::Copy) {
                sumChunk(piece.from, std::span(window).subspan(
                                         static_cast<std::size_t>(piece.from - windowStart),
                                         static_cast<std::size_t>(piece.length)));
            }
        }
        if (sumsKnown) {
            sumsKnown();
        }
        filledInWritten = true;
    }
    // Everything goes out in gathered writes straight from the window and
    // the callers' bytes, one for a font that fits the window; the window is
    // only read again once what it holds is written.
    static constexpr std::array<std::uint8_t, 4096> kZeros{};
    std::vector<std::span<const std::uint8_t>> gathered;
    const auto writeGathered = [&] {
        const bool written = output.appendGathered(gathered, error);
        gathered.clear();
        return written;
    };
    // A long run of zeros (a collection's gap) is many pieces: they go out
    // a thousand at a time.
    const auto gather = [&](std::span<const std::uint8_t> bytes) {
        gathered.push_back(bytes);
        return gathered.size() < 1024 || writeGathered();
    };
    for (std::size_t k = 0; k < pieces_.size(); ++k) {
        const Piece& piece = pieces_[k];
        switch (piece.kind) {
            case Piece::Kind::Copy:
                for (std::uint64_t done = 0; done < piece.length;) {
                    const std::uint64_t at = piece.from + done;
                    if (at < windowStart || at - windowStart >= window.size()) {
                        if (!writeGathered()) {
                            return false;
                        }
                        window = chunkBuffer(readAhead(k, at), chunk_);
                        windowStart = at;
                        if (!source.readAt(at, window, error)) {
                            return false;
                        }
                    }
                    const auto inWindow = static_cast<std::size_t>(at - windowStart);
                    const std::span<const std::uint8_t> chunk = std::span(window).subspan(
                        inWindow, static_cast<std::size_t>(std::min<std::uint64_t>(
                                      piece.length - done, window.size() - inWindow)));
                    if (!oneRead) {
                        sumChunk(at, chunk);
                    }
                    if (!gather(chunk)) {
                        return false;
                    }
                    done += chunk.size();
                }
                break;
            case Piece::Kind::Bytes:
                if (!gather(piece.bytes)) {
                    return false;
                }
                break;
            case Piece::Kind::Zeros:
                for (std::uint64_t left = piece.length; left > 0;) {
                    const auto count =
                        static_cast<std::size_t>(std::min<std::uint64_t>(left, kZeros.size()));
                    if (!gather(std::span(kZeros).first(count))) {
                        return false;
                    }
                    left -= count;
                }
                break;
        }
    }
    if (!writeGathered()) {
        return false;
    }
    if (!oneRead && sumsKnown) {
        sumsKnown();
    }
    return true;
}

bool SourceSums::sum(std::uint64_t offset, std::uint64_t length, std::uint32_t& checksum,
                     filecore::FileError& error) {
    checksum = 0;
    for (std::uint64_t done = 0; done < length;) {
        // Whole words per read, so that each read's sum adds to the table's.
        const std::span<std::uint8_t> buffer = chunkBuffer(length - done, chunkFor(source_.size()));
        if (!source_.readAt(offset + done, buffer, error)) {
            return false;
        }
        checksum += filecore::tableChecksum(buffer);
        done += buffer.size();
    }
    return true;
}

}  // namespace saveplan
