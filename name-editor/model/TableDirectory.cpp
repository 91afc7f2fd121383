#include "TableDirectory.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ByteOrder.h"

bool DirectoryEntry::readRecord(FontFile& file) {
    std::array<std::uint8_t, 4> raw{};
    if (!file.read(raw)) {
        return false;
    }
    std::copy(raw.begin(), raw.end(), tag.begin());
    tag[4] = '\0';
    return file.readUInt32(checksum) && file.readUInt32(offset) && file.readUInt32(length);
}

bool DirectoryEntry::writeRecord(FontFile& file) const {
    std::array<std::uint8_t, 4> raw{};
    std::copy(tag.begin(), tag.begin() + 4, raw.begin());
    return file.write(raw) && file.writeUInt32(checksum) && file.writeUInt32(offset) &&
           file.writeUInt32(length);
}

bool DirectoryEntry::readData(FontFile& file) {
    if (length == 0) {
        return true;
    }
    // A hostile record may claim gigabytes; nothing is allocated for bytes
    // the file does not have.
    return file.readAt(offset, length, data);
}

bool DirectoryEntry::writeData(FontFile& file) const {
    if (data.size() < length) {
        return false;
    }
    file.pushPosition();
    const bool ok = file.seek(offset) && file.write(std::span(data).first(length));
    return file.popPosition() && ok;
}

std::uint32_t DirectoryEntry::computeChecksum() {
    if (data.empty()) {
        return 0;
    }
    checksum = tableChecksum(std::span(data).first(std::min<std::size_t>(length, data.size())));
    return checksum;
}

bool DirectoryEntry::hasTag(std::string_view fourBytes) const {
    return fourBytes.size() == 4 && std::memcmp(tag.data(), fourBytes.data(), 4) == 0;
}

std::uint32_t tableChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    const std::size_t whole = bytes.size() & ~std::size_t{3};
    for (std::size_t i = 0; i < whole; i += 4) {
        sum += byteorder::loadU32(bytes.subspan(i).first<4>());
    }
    std::array<std::uint8_t, 4> last{};
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end(), last.begin());
    return sum + byteorder::loadU32(last);
}

bool TableDirectory::read(FontFile& file) {
    if (!file.readUInt32(sfntVersion) || !file.readUInt16(numTables) ||
        !file.readUInt16(searchRange) || !file.readUInt16(entrySelector) ||
        !file.readUInt16(rangeShift)) {
        return false;
    }
    // Records are read one at a time, so a file that claims more than it holds
    // fails at its end without a large allocation up front.
    for (std::uint16_t i = 0; i < numTables; ++i) {
        auto entry = std::make_unique<DirectoryEntry>();
        if (!entry->readRecord(file)) {
            return false;
        }
        tables.push_back(std::move(entry));
    }
    // Records may point at the same bytes, and each holds its own copy: a
    // 128 KB file of 4096 records on one 64 KB table asked for 256 MB. The
    // tables together are held to what a save can write at 32-bit signed
    // offsets; past that the directory is dropped, so nothing is read for it.
    // A table outside the file is left to fail its own read.
    std::int64_t total = 0;
    for (const auto& entry : tables) {
        if (file.contains(entry->offset, entry->length)) {
            total += entry->length;
        }
        if (total > std::numeric_limits<std::int32_t>::max()) {
            tables.clear();
            return false;
        }
    }
    return true;
}

bool TableDirectory::write(FontFile& file) const {
    if (!file.writeUInt32(sfntVersion) || !file.writeUInt16(numTables) ||
        !file.writeUInt16(searchRange) || !file.writeUInt16(entrySelector) ||
        !file.writeUInt16(rangeShift)) {
        return false;
    }
    return std::all_of(tables.begin(), tables.end(),
                       [&file](const auto& entry) { return entry->writeRecord(file); });
}

DirectoryEntry* TableDirectory::first() {
    cursor_ = tables.begin();
    return cursor_ == tables.end() ? nullptr : cursor_->get();
}

DirectoryEntry* TableDirectory::next() {
    if (cursor_ == tables.end()) {
        return nullptr;
    }
    ++cursor_;
    return cursor_ == tables.end() ? nullptr : cursor_->get();
}
