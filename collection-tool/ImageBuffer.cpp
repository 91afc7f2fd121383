#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Collection.h"

namespace zelvic {

void Console::error(std::string_view file, std::string_view problem) const {
    std::fflush(out);
    std::fprintf(err, "Error: %.*s: %.*s.\n", static_cast<int>(file.size()), file.data(),
                 static_cast<int>(problem.size()), problem.data());
}

// Filling tens of megabytes of fresh 4 KiB pages costs a fault each, more
// than copying the data; huge pages, where the system offers them, cut that
// to a few. Only a hint: failure changes nothing.
static void adviseHugePages(std::uint8_t* data, std::size_t size) {
    constexpr std::uintptr_t kPage = 4096;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    // Offsets from `data`, so the advised range stays a pointer into the buffer.
    const std::uintptr_t firstPage = (kPage - start % kPage) % kPage;
    const std::uintptr_t lastPage =
        firstPage + (size - std::min<std::size_t>(size, firstPage)) / kPage * kPage;
    if (lastPage > firstPage) {
        ::madvise(data + firstPage, lastPage - firstPage, MADV_HUGEPAGE);
    }
}

void ImageBuffer::reserve(std::size_t capacity, std::size_t keep) {
    if (capacity <= capacity_) {
        return;
    }
    // Left uninitialised: the pages are only touched as tables land in them.
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    adviseHugePages(grown.get(), capacity);
    if (keep > 0) {
        std::memcpy(grown.get(), data_.get(), std::min(keep, capacity_));
    }
    data_ = std::move(grown);
    capacity_ = capacity;
}

// A range outside the reserved room is a fault in Zelvic itself, never in a
// file it reads (those are checked before anything is placed); stop rather
// than write outside the buffer.
static void checkRange(std::size_t capacity, std::size_t from, std::size_t count) {
    if (capacity < count || from > capacity - count) {
        std::abort();
    }
}

std::span<std::uint8_t> ImageBuffer::bytes(std::size_t from, std::size_t count) {
    checkRange(capacity_, from, count);
    return {data_.get() + from, count};
}

std::span<const std::uint8_t> ImageBuffer::bytes(std::size_t from, std::size_t count) const {
    checkRange(capacity_, from, count);
    return {data_.get() + from, count};
}

}  // namespace zelvic
