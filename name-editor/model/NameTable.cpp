#include "NameTable.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "ByteOrder.h"
#include "ByteReader.h"
#include "NameText.h"

namespace {

constexpr std::size_t kSixteenBitLimit = std::numeric_limits<std::uint16_t>::max();
constexpr std::size_t kNameRecordSize = 12;
constexpr std::size_t kLanguageTagRecordSize = 4;
// Each record holds its own copy of its string (and its text), also where
// the file lets many records share one. No real font comes near this (the
// largest name tables hold some 100 KB of strings); a few hundred kilobytes
// of records on one string would otherwise claim gigabytes.
constexpr std::size_t kMostHeldStringBytes = std::size_t{4} << 20;

auto keyOf(const NameRecord& record) {
    return std::tie(record.platformID, record.encodingID, record.languageID, record.nameID);
}

// Strings may overlap in the file, so a small table could make every record
// hold the same 64 KiB again; what records and tags hold together is bounded.
class StringBudget {
  public:
    bool take(std::size_t length) {
        used_ += length;
        return used_ <= kMostHeldStringBytes;
    }
    std::size_t used() const { return used_; }

  private:
    std::size_t used_ = 0;
};

bool bytesLess(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

// Where each string starts in string storage, which takes `storage` bytes.
// Identical strings are stored once, as fontTools stores them, in the order
// they are first met, which keeps a table's own layout where it can. When a
// string would then start beyond a 16-bit offset, the longest goes last:
// every other string then starts before it, so whatever can be stored is.
std::optional<std::vector<std::size_t>> layOut(
    std::span<const std::span<const std::uint8_t>> strings, std::size_t& storage) {
    if (std::any_of(strings.begin(), strings.end(),
                    [](auto string) { return string.size() > kSixteenBitLimit; })) {
        return std::nullopt;
    }
    // Equal strings side by side, each run led by the one met first (the
    // sort is stable); sorting indices spares a map's node per string.
    std::vector<std::size_t> byBytes(strings.size());
    std::iota(byBytes.begin(), byBytes.end(), std::size_t{0});
    std::stable_sort(byBytes.begin(), byBytes.end(), [strings](std::size_t a, std::size_t b) {
        return bytesLess(strings[a], strings[b]);
    });
    std::vector<std::size_t> firstMet(strings.size());
    for (std::size_t k = 0; k < byBytes.size(); ++k) {
        const bool likeTheOneBefore =
            k > 0 && std::ranges::equal(strings[byBytes[k]], strings[byBytes[k - 1]]);
        firstMet[byBytes[k]] = likeTheOneBefore ? firstMet[byBytes[k - 1]] : byBytes[k];
    }
    std::vector<std::span<const std::uint8_t>> unique;
    std::vector<std::size_t> uniqueOf(strings.size());
    for (std::size_t i = 0; i < strings.size(); ++i) {
        if (firstMet[i] == i) {
            uniqueOf[i] = unique.size();
            unique.push_back(strings[i]);
        } else {
            uniqueOf[i] = uniqueOf[firstMet[i]];  // met earlier, so already placed
        }
    }
    std::vector<std::size_t> order(unique.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<std::size_t> starts(unique.size());
    const auto place = [&] {
        storage = 0;
        bool fits = true;
        for (const std::size_t index : order) {
            fits = fits && storage <= kSixteenBitLimit;
            starts[index] = storage;
            storage += unique[index].size();
        }
        return fits;
    };
    if (!place()) {
        const auto longest = std::max_element(order.begin(), order.end(), [&](auto a, auto b) {
            return unique[a].size() < unique[b].size();
        });
        std::rotate(longest, longest + 1, order.end());
        if (!place()) {
            return std::nullopt;
        }
    }
    std::vector<std::size_t> offsets(strings.size());
    for (std::size_t i = 0; i < strings.size(); ++i) {
        offsets[i] = starts[uniqueOf[i]];
    }
    return offsets;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> NameRecord::bytesToWrite() const {
    if (keepsStoredBytes()) {
        return storedBytes_;
    }
    return nametext::encode(platformID, encodingID, languageID, text);
}

bool NameRecord::canStore(std::string_view newText) const {
    if (fromFile_ && newText == textAsRead_) {
        return true;
    }
    return nametext::encode(platformID, encodingID, languageID, newText).has_value();
}

LoadError NameTable::read(std::span<const std::uint8_t> table) {
    filecore::ByteReader reader(table);
    std::uint16_t count = 0, stringOffset = 0;
    if (!reader.u16(format) || !reader.u16(count) || !reader.u16(stringOffset)) {
        return LoadError::Invalid;
    }
    // Every record is there before room is made for them.
    if (reader.remaining() / kNameRecordSize < count) {
        return LoadError::Invalid;
    }
    // The string of each record, inside the table or it is no name.
    const auto stringAt = [&table, stringOffset](std::uint16_t offset, std::uint16_t length,
                                                 std::span<const std::uint8_t>& out) {
        const auto found = filecore::subrange(table, std::uint64_t{stringOffset} + offset, length);
        out = found.value_or(std::span<const std::uint8_t>{});
        return length == 0 || found.has_value();
    };
    StringBudget budget;
    records.clear();
    records.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        auto record = std::make_unique<NameRecord>();
        std::uint16_t length = 0, offset = 0;
        std::span<const std::uint8_t> bytes;
        if (!reader.u16(record->platformID) || !reader.u16(record->encodingID) ||
            !reader.u16(record->languageID) || !reader.u16(record->nameID) || !reader.u16(length) ||
            !reader.u16(offset) || !stringAt(offset, length, bytes)) {
            return LoadError::Invalid;
        }
        if (!budget.take(length)) {
            return LoadError::NameTableTooLarge;
        }
        record->storedBytes_.assign(bytes.begin(), bytes.end());
        record->text =
            nametext::decode(record->platformID, record->encodingID, record->languageID, bytes);
        record->textAsRead_ = record->text;
        record->fromFile_ = true;
        records.push_back(std::move(record));
    }
    languageTags.clear();
    if (format != 1) {
        return fitsWhenWritten(budget.used());
    }
    // Format 1 goes on with language tags that languageIDs from 0x8000 up
    // refer to by index; they are carried through unchanged.
    std::uint16_t tagCount = 0;
    if (!reader.u16(tagCount) || reader.remaining() / kLanguageTagRecordSize < tagCount) {
        return LoadError::Invalid;
    }
    languageTags.reserve(tagCount);
    for (std::uint16_t i = 0; i < tagCount; ++i) {
        std::uint16_t length = 0, offset = 0;
        std::span<const std::uint8_t> bytes;
        if (!reader.u16(length) || !reader.u16(offset) || !stringAt(offset, length, bytes)) {
            return LoadError::Invalid;
        }
        if (!budget.take(length)) {
            return LoadError::NameTableTooLarge;
        }
        languageTags.push_back({{bytes.begin(), bytes.end()}});
    }
    return fitsWhenWritten(budget.used());
}

LoadError NameTable::fitsWhenWritten(std::size_t stringBytes) const {
    // Unedited, the table is written from the bytes just read: a table that
    // can't be is refused now, before anyone edits it in vain. Where the
    // header and all strings together stay within 16-bit offsets, every
    // string starts within reach however they are laid out, and a font's
    // table nearly always does: no need to build it.
    const std::size_t header = 6 + kNameRecordSize * records.size() +
                               (format == 1 ? 2 + kLanguageTagRecordSize * languageTags.size() : 0);
    if (header <= kSixteenBitLimit && stringBytes <= kSixteenBitLimit) {
        return LoadError::None;
    }
    std::vector<std::uint8_t> scratch;
    return write(scratch) == SaveError::NameTableTooLarge ? LoadError::NameTableTooLarge
                                                          : LoadError::None;
}

SaveError NameTable::write(std::vector<std::uint8_t>& out) const {
    std::vector<const NameRecord*> kept;
    // Unedited records are written from the bytes they hold; only edited
    // ones are encoded, into bytes of their own. Moving a vector keeps its
    // bytes where they are, so the spans stay good as `encoded` grows.
    std::vector<std::span<const std::uint8_t>> all;
    std::vector<std::vector<std::uint8_t>> encoded;
    kept.reserve(records.size());
    all.reserve(records.size() + languageTags.size());
    for (const auto& record : records) {
        if (record->isDropped()) {
            continue;
        }
        if (record->keepsStoredBytes()) {
            all.emplace_back(record->storedBytes_);
        } else {
            std::optional<std::vector<std::uint8_t>> bytes = nametext::encode(
                record->platformID, record->encodingID, record->languageID, record->text);
            if (!bytes) {
                return SaveError::NameNotEncodable;
            }
            encoded.push_back(std::move(*bytes));
            all.emplace_back(encoded.back());
        }
        kept.push_back(record.get());
    }
    std::size_t header = 6 + kNameRecordSize * kept.size();
    if (format == 1) {
        header += 2 + kLanguageTagRecordSize * languageTags.size();
    }
    if (kept.size() > kSixteenBitLimit || languageTags.size() > kSixteenBitLimit ||
        header > kSixteenBitLimit) {
        return SaveError::NameTableTooLarge;
    }
    for (const LanguageTag& tag : languageTags) {
        all.emplace_back(tag.bytes);
    }
    std::size_t storage = 0;
    const std::optional<std::vector<std::size_t>> offsets = layOut(all, storage);
    if (!offsets) {
        return SaveError::NameTableTooLarge;
    }

    out.assign(header + storage, 0);
    const std::span<std::uint8_t> bytes(out);
    filecore::storeU16(bytes, 0, format);
    filecore::storeU16(bytes, 2, static_cast<std::uint16_t>(kept.size()));
    filecore::storeU16(bytes, 4, static_cast<std::uint16_t>(header));
    std::size_t at = 6;
    std::size_t next = 0;
    const auto putString = [&](std::span<const std::uint8_t> string) {
        const std::size_t offset = (*offsets)[next++];
        filecore::storeU16(bytes, at, static_cast<std::uint16_t>(string.size()));
        filecore::storeU16(bytes, at + 2, static_cast<std::uint16_t>(offset));
        std::copy(string.begin(), string.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(header + offset));
        at += 4;
    };
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const NameRecord& record = *kept[i];
        filecore::storeU16(bytes, at, record.platformID);
        filecore::storeU16(bytes, at + 2, record.encodingID);
        filecore::storeU16(bytes, at + 4, record.languageID);
        filecore::storeU16(bytes, at + 6, record.nameID);
        at += 8;
        putString(all[i]);
    }
    if (format == 1) {
        filecore::storeU16(bytes, at, static_cast<std::uint16_t>(languageTags.size()));
        at += 2;
        for (const LanguageTag& tag : languageTags) {
            putString(tag.bytes);
        }
    }
    return SaveError::None;
}

NameRecord* NameTable::find(std::uint16_t platformID, std::uint16_t encodingID,
                            std::uint16_t languageID, std::uint16_t nameID) {
    for (const auto& record : records) {
        if (!record->removed_ && record->platformID == platformID &&
            record->encodingID == encodingID && record->languageID == languageID &&
            record->nameID == nameID) {
            return record.get();
        }
    }
    return nullptr;
}

NameRecord* NameTable::add(std::uint16_t platformID, std::uint16_t encodingID,
                           std::uint16_t languageID, std::uint16_t nameID, const char* text) {
    auto record = std::make_unique<NameRecord>();
    record->platformID = platformID;
    record->encodingID = encodingID;
    record->languageID = languageID;
    record->nameID = nameID;
    if (text != nullptr) {
        record->text = text;
    }
    // After the last record whose key is not greater: a sorted table stays
    // sorted, and an unsorted one gets the record next to its kin.
    const auto place = std::find_if(records.rbegin(), records.rend(), [&record](const auto& other) {
        return keyOf(*other) <= keyOf(*record);
    });
    NameRecord* added = record.get();
    records.insert(place.base(), std::move(record));
    return added;
}

NameRecord* NameTable::first() {
    cursor_ = 0;
    return current();
}

NameRecord* NameTable::next() {
    if (cursor_ >= records.size()) {
        return nullptr;
    }
    ++cursor_;
    return current();
}

NameRecord* NameTable::current() {
    while (cursor_ < records.size() && records[cursor_]->removed_) {
        ++cursor_;
    }
    return cursor_ < records.size() ? records[cursor_].get() : nullptr;
}

bool NameTable::hasEdits() const {
    return std::any_of(records.begin(), records.end(), [](const auto& record) {
        return record->fromFile_ ? !record->keepsStoredBytes() || record->isDropped()
                                 : !record->isDropped();
    });
}

const NameRecord* NameTable::firstUnencodable() const {
    for (const auto& record : records) {
        if (!record->isDropped() && !record->keepsStoredBytes() &&
            !nametext::encode(record->platformID, record->encodingID, record->languageID,
                              record->text)) {
            return record.get();
        }
    }
    return nullptr;
}

void NameTable::remove(NameRecord& record) {
    record.removed_ = true;
}

NameTable::Snapshot NameTable::snapshot() const {
    Snapshot taken;
    taken.records.reserve(records.size());
    for (const auto& record : records) {
        taken.records.emplace_back(record.get(), *record);
    }
    return taken;
}

void NameTable::restore(const Snapshot& snapshot) {
    std::unordered_map<const NameRecord*, std::unique_ptr<NameRecord>> owned;
    owned.reserve(records.size());
    for (auto& record : records) {
        NameRecord* address = record.get();
        owned.emplace(address, std::move(record));
    }
    records.clear();
    for (const auto& [address, value] : snapshot.records) {
        const auto found = owned.find(address);
        if (found == owned.end()) {
            continue;  // not a record of this table: nothing to give back
        }
        *found->second = value;
        records.push_back(std::move(found->second));
        owned.erase(found);
    }
    cursor_ = 0;
}
