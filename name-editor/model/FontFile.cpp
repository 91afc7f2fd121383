#include "FontFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <limits>

#include "ByteOrder.h"

namespace {

// Positions are kept to what a signed 32-bit file position can address, as
// font offsets are 32-bit and the format's own readers work that way.
constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int32_t>::max();

}  // namespace

bool FontFile::open(const char* path, const char* mode) {
    close();
    stream_.reset(std::fopen(path, mode));
    return stream_ != nullptr && takeSize();
}

bool FontFile::adopt(int descriptor, const char* mode) {
    close();
    stream_.reset(fdopen(descriptor, mode));
    return stream_ != nullptr && takeSize();
}

bool FontFile::takeSize() {
    struct stat info {};
    if (fstat(fileno(stream_.get()), &info) != 0) {
        stream_.reset();
        return false;
    }
    size_ = info.st_size;
    return true;
}

bool FontFile::close() {
    positions_.clear();
    if (!stream_) {
        return true;
    }
    return std::fclose(stream_.release()) == 0;
}

bool FontFile::read(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return true;
    }
    return stream_ && std::fread(buffer.data(), 1, buffer.size(), stream_.get()) == buffer.size();
}

bool FontFile::write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return true;
    }
    return stream_ && std::fwrite(bytes.data(), 1, bytes.size(), stream_.get()) == bytes.size();
}

bool FontFile::readUInt16(std::uint16_t& value) {
    std::array<std::uint8_t, 2> bytes{};
    if (!read(bytes)) {
        return false;
    }
    value = byteorder::loadU16(bytes);
    return true;
}

bool FontFile::readUInt32(std::uint32_t& value) {
    std::array<std::uint8_t, 4> bytes{};
    if (!read(bytes)) {
        return false;
    }
    value = byteorder::loadU32(bytes);
    return true;
}

bool FontFile::writeUInt16(std::uint16_t value) {
    std::array<std::uint8_t, 2> bytes{};
    byteorder::storeU16(bytes, value);
    return write(bytes);
}

bool FontFile::writeUInt32(std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    byteorder::storeU32(bytes, value);
    return write(bytes);
}

bool FontFile::seek(std::int64_t position) {
    if (!stream_ || position < 0 || position > kMaxPosition) {
        return false;
    }
    return fseeko(stream_.get(), static_cast<off_t>(position), SEEK_SET) == 0;
}

std::int64_t FontFile::tell() {
    return stream_ ? ftello(stream_.get()) : -1;
}

void FontFile::pushPosition() {
    positions_.push_back(tell());
}

bool FontFile::popPosition() {
    if (positions_.empty()) {
        return false;
    }
    const std::int64_t position = positions_.back();
    positions_.pop_back();
    return seek(position);
}

bool FontFile::contains(std::int64_t offset, std::int64_t length) const {
    if (offset < 0 || length < 0) {
        return false;
    }
    if (length > kMaxPosition || offset > kMaxPosition - length) {
        return false;
    }
    return length <= size_ && offset <= size_ - length;
}

bool FontFile::sync() {
    return stream_ && std::fflush(stream_.get()) == 0 && fsync(fileno(stream_.get())) == 0;
}

bool FontFile::readAt(std::int64_t offset, std::size_t length, std::vector<std::uint8_t>& bytes) {
    if (length > static_cast<std::size_t>(kMaxPosition) ||
        !contains(offset, static_cast<std::int64_t>(length))) {
        return false;
    }
    pushPosition();
    bytes.resize(length);
    const bool ok = seek(offset) && read(bytes);
    return popPosition() && ok;
}
