#include "NameTable.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ByteOrder.h"
#include "platform/TextConversion.h"

namespace {

constexpr std::size_t kSixteenBitLimit = std::numeric_limits<std::uint16_t>::max();
constexpr std::size_t kNameRecordSize = 12;
constexpr std::size_t kLanguageTagRecordSize = 4;
// Written without sharing, every string starts within 65535 bytes of string
// storage and is at most 65535 bytes long: more than this can never be saved.
constexpr std::size_t kMostWritableStringBytes = 2 * kSixteenBitLimit;

bool writeBytesAt(FontFile& file, std::int64_t position, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return true;
    }
    file.pushPosition();
    const bool ok = file.seek(position) && file.write(bytes);
    return file.popPosition() && ok;
}

std::string upToFirstZero(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find('\0')));
}

}  // namespace

void swapBytePairs(std::span<std::uint8_t> bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::swap(bytes[i], bytes[i + 1]);
    }
}

bool NameRecord::isUtf16() const {
    // Every pair the standard stores as big-endian UTF-16; Macintosh and the
    // rest stay bytes.
    if (platformID == 0) {
        return true;
    }
    if (platformID == 3) {
        return encodingID == 0 || encodingID == 1 || encodingID == 10;
    }
    return platformID == 2 && encodingID == 1;
}

bool NameRecord::read(FontFile& file, std::int64_t stringBase) {
    if (!file.readUInt16(platformID) || !file.readUInt16(encodingID) ||
        !file.readUInt16(languageID) || !file.readUInt16(nameID) || !file.readUInt16(length) ||
        !file.readUInt16(offset)) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (length != 0 && !file.readAt(stringBase + offset, length, bytes)) {
        return false;
    }
    decodeText(bytes);
    storedBytes_ = std::move(bytes);
    textAsRead_ = text;
    fromFile_ = true;
    return true;
}

void NameRecord::decodeText(std::span<const std::uint8_t> bytes) {
    text.clear();
    if (!isUtf16()) {
        text = upToFirstZero(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return;
    }
    std::vector<char16_t> units(bytes.size() / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = byteorder::loadU16(bytes.subspan(2 * i).first<2>());
    }
    if (units.empty()) {
        return;
    }
    const int unitCount = static_cast<int>(units.size());
    const int size =
        WideCharToMultiByte(CP_ACP, 0, units.data(), unitCount, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return;
    }
    std::string converted(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, units.data(), unitCount, converted.data(), size, nullptr,
                            nullptr) > 0) {
        text = upToFirstZero(converted);
    }
}

std::vector<std::uint8_t> NameRecord::encodeText() const {
    if (keepsStoredBytes()) {
        return storedBytes_;
    }
    if (!isUtf16()) {
        return {text.begin(), text.end()};
    }
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const int textSize = static_cast<int>(text.size());
    const int unitCount = MultiByteToWideChar(CP_ACP, 0, text.data(), textSize, nullptr, 0);
    if (unitCount <= 0) {
        return {};
    }
    std::vector<char16_t> units(static_cast<std::size_t>(unitCount));
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), textSize, units.data(), unitCount) <= 0) {
        return {};
    }
    std::vector<std::uint8_t> bytes(2 * units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        byteorder::storeU16(std::span(bytes).subspan(2 * i).first<2>(), units[i]);
    }
    return bytes;
}

std::size_t NameRecord::encodedSize() const {
    if (keepsStoredBytes()) {
        return storedBytes_.size();
    }
    if (!isUtf16()) {
        return text.size();
    }
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return 0;
    }
    const int units =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    return units > 0 ? 2 * static_cast<std::size_t>(units) : 0;
}

std::uint16_t NameRecord::encodedLength() const {
    return static_cast<std::uint16_t>(std::min(encodedSize(), kSixteenBitLimit));
}

bool NameRecord::write(FontFile& file, std::int64_t stringBase) const {
    if (!file.writeUInt16(platformID) || !file.writeUInt16(encodingID) ||
        !file.writeUInt16(languageID) || !file.writeUInt16(nameID)) {
        return false;
    }
    const std::vector<std::uint8_t> bytes = encodeText();
    if (bytes.size() > kSixteenBitLimit) {
        return false;
    }
    if (!file.writeUInt16(static_cast<std::uint16_t>(bytes.size())) || !file.writeUInt16(offset)) {
        return false;
    }
    return writeBytesAt(file, stringBase + offset, bytes);
}

bool NameTable::read(FontFile& file) {
    const std::int64_t start = file.tell();
    if (start < 0 || !file.readUInt16(format) || !file.readUInt16(count) ||
        !file.readUInt16(stringOffset)) {
        return false;
    }
    const std::int64_t stringBase = start + stringOffset;
    // Records are read one by one from the file, so a count larger than the
    // file fails at its end instead of reserving room for 65535 records.
    // Strings may overlap, so a small file could make every record hold the
    // same 64 KiB again; the strings' total is held to what a save can write.
    std::size_t stringBytes = 0;
    readStoppedTooLarge_ = false;
    for (std::uint16_t i = 0; i < count; ++i) {
        auto record = std::make_unique<NameRecord>();
        if (!record->read(file, stringBase)) {
            return false;
        }
        stringBytes += record->length;
        if (stringBytes > kMostWritableStringBytes) {
            readStoppedTooLarge_ = true;
            return false;
        }
        records.push_back(std::move(record));
    }
    if (format != 1) {
        return true;
    }
    // Format 1 goes on with language tags that languageIDs from 0x8000 up
    // refer to by index; they are carried through unchanged.
    std::uint16_t tagCount = 0;
    if (!file.readUInt16(tagCount)) {
        return false;
    }
    for (std::uint16_t i = 0; i < tagCount; ++i) {
        LanguageTag tag;
        if (!file.readUInt16(tag.length) || !file.readUInt16(tag.offset) ||
            !file.readAt(stringBase + tag.offset, tag.length, tag.bytes)) {
            return false;
        }
        languageTags.push_back(std::move(tag));
    }
    return true;
}

std::size_t NameTable::headerSize() const {
    std::size_t size = 6 + kNameRecordSize * records.size();
    if (format == 1) {
        size += 2 + kLanguageTagRecordSize * languageTags.size();
    }
    return size;
}

void NameTable::layout() {
    stringOffset = static_cast<std::uint16_t>(std::min(headerSize(), kSixteenBitLimit));
    std::size_t running = 0;
    for (const auto& record : records) {
        record->offset = static_cast<std::uint16_t>(running);
        running += record->encodedSize();
    }
    for (LanguageTag& tag : languageTags) {
        tag.offset = static_cast<std::uint16_t>(running);
        running += tag.bytes.size();
    }
    totalLength = static_cast<std::uint32_t>(headerSize() + running);
}

bool NameTable::fitsSixteenBitFields() const {
    if (headerSize() > kSixteenBitLimit || languageTags.size() > kSixteenBitLimit) {
        return false;
    }
    std::size_t running = 0;
    const auto fits = [&running](std::size_t size) {
        const bool ok = running <= kSixteenBitLimit && size <= kSixteenBitLimit;
        running += size;
        return ok;
    };
    const bool recordsFit =
        std::all_of(records.begin(), records.end(),
                    [&fits](const auto& record) { return fits(record->encodedSize()); });
    return recordsFit &&
           std::all_of(languageTags.begin(), languageTags.end(),
                       [&fits](const LanguageTag& tag) { return fits(tag.bytes.size()); });
}

bool NameTable::write(FontFile& file) {
    removeEmptyRecords();
    layout();
    if (!fitsSixteenBitFields()) {
        return false;
    }
    const std::int64_t start = file.tell();
    if (start < 0 || !file.writeUInt16(format) ||
        !file.writeUInt16(static_cast<std::uint16_t>(records.size())) ||
        !file.writeUInt16(stringOffset)) {
        return false;
    }
    const std::int64_t stringBase = start + stringOffset;
    for (const auto& record : records) {
        if (!record->write(file, stringBase)) {
            return false;
        }
    }
    if (format != 1) {
        return true;
    }
    if (!file.writeUInt16(static_cast<std::uint16_t>(languageTags.size()))) {
        return false;
    }
    for (const LanguageTag& tag : languageTags) {
        if (!file.writeUInt16(static_cast<std::uint16_t>(tag.bytes.size())) ||
            !file.writeUInt16(tag.offset) ||
            !writeBytesAt(file, stringBase + tag.offset, tag.bytes)) {
            return false;
        }
    }
    return true;
}

NameRecord* NameTable::find(std::uint16_t platformID, std::uint16_t encodingID,
                            std::uint16_t languageID, std::uint16_t nameID) {
    for (const auto& record : records) {
        if (record->platformID == platformID && record->encodingID == encodingID &&
            record->languageID == languageID && record->nameID == nameID) {
            return record.get();
        }
    }
    return nullptr;
}

void NameTable::add(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                    std::uint16_t nameID, const char* text) {
    auto record = std::make_unique<NameRecord>();
    record->platformID = platformID;
    record->encodingID = encodingID;
    record->languageID = languageID;
    record->nameID = nameID;
    if (text != nullptr) {
        record->text = text;
    }
    records.push_back(std::move(record));
}

NameRecord* NameTable::first() {
    cursor_ = 0;
    return records.empty() ? nullptr : records.front().get();
}

NameRecord* NameTable::next() {
    if (cursor_ >= records.size()) {
        return nullptr;
    }
    ++cursor_;
    return cursor_ < records.size() ? records[cursor_].get() : nullptr;
}

void NameTable::removeEmptyRecords() {
    // Judged by what would be written: an unedited record keeps its stored
    // bytes even when they decode to no text.
    std::erase_if(records, [](const auto& record) { return record->encodedSize() == 0; });
}
