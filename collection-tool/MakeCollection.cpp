// make: the collection is a 'ttcf' 1.0 header, every font's offset table and
// records back to back, then the first font's tables and each later font's
// unshared tables, in directory order, 4-byte aligned with zero padding.
//
// Two passes over the fonts, one open at a time: the first checks every
// directory and keeps only what the layout needs (name, identity, size,
// where its directory goes); the second reopens each font, makes sure it is
// the file that was checked, and streams its tables into the new file, which
// is where shared tables are compared from. Memory follows the collection's
// directories, never the tables' bytes.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ByteOrder.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"

namespace zelvic {

namespace {

using filecore::FileError;
using filecore::FileReplacement;
using filecore::InputFile;
using filecore::kCollectionTag;
constexpr std::uint32_t kCollectionVersion = filecore::kCollectionVersion1;
constexpr std::size_t kCollectionHeaderSize = 12;
// Tables are read and compared through windows of this size, one over the
// font being placed and one over the collection written so far.
constexpr std::size_t kWindowSize = std::size_t{512} * 1024;
// Smaller tables are copied through the window and written in batches; a
// system call each would cost more than the bytes.
constexpr std::uint32_t kSmallTable = 16 * 1024;
// Small tables lying together in a font are read together, up to this much:
// one read for a font's run of small tables, and none of its big tables,
// which are copied in the kernel and would otherwise be read twice.
constexpr std::uint64_t kSmallReadAhead = std::uint64_t{64} * 1024;
// Small tables this close still count as lying together (padding, gaps).
constexpr std::uint64_t kSmallGap = 64;
constexpr std::uint32_t kNone = UINT32_MAX;

// A word-wise 64-bit hash, fed in pieces of any size. It only narrows down
// which candidates to compare byte by byte, so speed matters more than
// strength; word order counts, so swapped words (equal checksums) differ.
class ContentHash {
  public:
    void add(std::span<const std::uint8_t> bytes) {
        length_ += bytes.size();
        while (carried_ > 0 && carried_ < carry_.size() && !bytes.empty()) {
            carry_[carried_++] = bytes.front();
            bytes = bytes.subspan(1);
        }
        if (carried_ == carry_.size()) {
            mix(word(carry_.data()));
            carried_ = 0;
        }
        std::size_t at = 0;
        for (; bytes.size() - at >= 8; at += 8) {
            mix(word(bytes.data() + at));
        }
        for (; at < bytes.size(); ++at) {
            carry_[carried_++] = bytes[at];
        }
    }

    std::uint64_t finish() {
        std::uint64_t last = 0;
        for (std::size_t i = 0; i < carried_; ++i) {
            last |= std::uint64_t{carry_[i]} << (8 * i);
        }
        mix(last ^ length_);
        hash_ ^= hash_ >> 29;
        return hash_ * 0xBF58476D1CE4E5B9u;
    }

  private:
    static std::uint64_t word(const std::uint8_t* bytes) {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    void mix(std::uint64_t value) {
        hash_ = (hash_ ^ value) * 0x9E3779B97F4A7C15u;
        hash_ ^= hash_ >> 32;
    }

    std::uint64_t hash_ = 0x243F6A8885A308D3u;
    std::uint64_t length_ = 0;
    std::array<std::uint8_t, 8> carry_{};
    std::size_t carried_ = 0;
};

std::uint64_t hashOf(std::span<const std::uint8_t> bytes) {
    ContentHash hash;
    hash.add(bytes);
    return hash.finish();
}

// A byte range [start, end) of a file.
struct Extent {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset >= start && offset <= end && end - offset >= length;
    }
};

// A window of bytes over a file read with readAt(): neighbouring small
// ranges, as a font's small tables are, cost one read per window.
template <class Source>
class Window {
  public:
    void attach(const Source& source) {
        source_ = &source;
        filled_ = 0;
    }

    // The `length` bytes at `offset` (length at most kWindowSize), valid
    // until the next call. A miss reads `fill`, which holds the range, is
    // at most kWindowSize long and lies inside what the source can read;
    // anything else reads just the range.
    bool get(std::uint64_t offset, std::size_t length, Extent fill,
             std::span<const std::uint8_t>& out, FileError& error) {
        if (offset < start_ || offset - start_ > filled_ || filled_ - (offset - start_) < length) {
            if (!fill.holds(offset, length) || fill.end - fill.start > kWindowSize) {
                fill = {offset, offset + length};
            }
            if (!buffer_) {
                buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kWindowSize);
            }
            const auto count = static_cast<std::size_t>(fill.end - fill.start);
            filled_ = 0;
            if (!source_->readAt(fill.start, {buffer_.get(), count}, error)) {
                return false;
            }
            start_ = fill.start;
            filled_ = count;
        }
        out = {buffer_.get() + (offset - start_), length};
        return true;
    }

  private:
    const Source* source_ = nullptr;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

// Tables are candidates for sharing when their records agree in tag, length
// and checksum; only their bytes decide.
struct TableKey {
    std::uint32_t tag = 0, length = 0, checksum = 0;
    bool operator==(const TableKey&) const = default;
};

struct HashedKey {
    TableKey key;
    std::uint64_t hash = 0;
    bool operator==(const HashedKey&) const = default;
};

struct KeyHasher {
    std::size_t operator()(const TableKey& key) const {
        return static_cast<std::size_t>(
            (std::uint64_t{key.tag} << 32 ^ std::uint64_t{key.checksum}) * 0x9E3779B97F4A7C15u ^
            key.length);
    }
    std::size_t operator()(const HashedKey& key) const {
        return (*this)(key.key) ^ static_cast<std::size_t>(key.hash);
    }
};

TableKey keyOf(const TableRecord& record) {
    return {record.tag.value(), record.length, record.checksum};
}

// A stored table that later ones may share. Candidates are chained in the
// order they were stored, first the list of those of one key not hashed yet,
// then, once hashed, the list of one key and hash.
struct Candidate {
    std::uint64_t position = 0;
    std::uint32_t next = kNone;
};

struct Chain {
    std::uint32_t first = kNone, last = kNone;
};

struct KeyGroup {
    Chain unhashed;
    std::uint32_t count = 0;
};

// What the second pass needs of each font.
struct FontEntry {
    const std::string* name = nullptr;
    filecore::FileIdentity identity;
    std::uint64_t size = 0;
    std::uint64_t directoryHash = 0;
    std::uint64_t directoryPosition = 0;
    std::uint64_t directorySize = 0;
};

class CollectionMaker {
  public:
    CollectionMaker(const std::string& outputName, const Console& console)
        : outputName_(outputName), console_(console) {}

    int run(std::span<const std::string> fontNames);

  private:
    int fail(int status, const std::string& file, const std::string& problem);
    int failOn(const FileError& error, const std::string& input);
    bool checkFont(const std::string& name, FontEntry& entry, FontDirectory& directory);
    int checkOutput(std::uint64_t headerSize, std::uint64_t leastData);
    int writeHeader(std::uint64_t headerSize);
    int placeFont(std::size_t number);
    int storeTable(const TableRecord& table, std::uint64_t& position);
    int findShared(const TableRecord& table, std::optional<std::uint64_t>& found);
    int hashStored(std::uint32_t index, std::uint32_t length, std::uint64_t& hash);
    int equalBytes(const TableRecord& table, std::uint64_t position, bool& equal);
    void append(Chain& chain, std::uint32_t index);
    void groupSmallTables(const FontDirectory& directory);
    Extent fontFill(std::uint64_t offset, std::uint64_t length) const {
        return currentFill_.holds(offset, length) ? currentFill_ : Extent{offset, offset + length};
    }

    const std::string& outputName_;
    const Console& console_;
    std::vector<FontEntry> fonts_;
    FileReplacement output_;
    InputFile font_;  // the font being placed
    // font_ mapped, when it can be: big tables are written straight from
    // it, never read in user space. Empty means copying instead.
    filecore::FileView fontMap_;
    Window<InputFile> fontWindow_;
    Window<FileReplacement> outputWindow_;
    // Per table of the font being placed: the run of small tables to read
    // with it (empty for big tables); currentFill_ is the table's.
    std::vector<Extent> smallRuns_;
    Extent currentFill_;
    std::vector<Candidate> candidates_;
    std::unordered_map<TableKey, KeyGroup, KeyHasher> groups_;
    std::unordered_map<HashedKey, Chain, KeyHasher> hashed_;
    std::string report_;
};

int CollectionMaker::fail(int status, const std::string& file, const std::string& problem) {
    console_.error(file, problem);
    return status;
}

// A failed read is the input's fault, anything else the collection's.
int CollectionMaker::failOn(const FileError& error, const std::string& input) {
    if (error.step == FileError::Step::Read || error.step == FileError::Step::Open) {
        return fail(kInputFailed, input, readProblem(error));
    }
    return fail(kOutputFailed, outputName_, error.describe());
}

int CollectionMaker::run(std::span<const std::string> fontNames) {
    fonts_.resize(fontNames.size());
    std::uint64_t headerSize = kCollectionHeaderSize + 4 * std::uint64_t{fonts_.size()};
    // Tables whose key no earlier font has can't be shared: if they alone
    // overflow 32-bit offsets, say so before copying any of them.
    std::uint64_t leastData = 0;
    std::unordered_set<TableKey, KeyHasher> seen;
    FontDirectory directory;
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        if (!checkFont(fontNames[k], fonts_[k], directory)) {
            return kInputFailed;
        }
        fonts_[k].directoryPosition = headerSize;
        headerSize += directory.bytes.size();
        for (const TableRecord& record : directory.tables) {
            if (k == 0 || !seen.contains(keyOf(record))) {
                leastData += filecore::roundUp4(record.length);
            }
        }
        for (const TableRecord& record : directory.tables) {
            seen.insert(keyOf(record));
        }
    }
    seen = {};
    if (const int status = checkOutput(headerSize, leastData); status != kOk) {
        return status;
    }
    if (const int status = writeHeader(headerSize); status != kOk) {
        return status;
    }
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        if (const int status = placeFont(k); status != kOk) {
            return status;
        }
    }
    std::fwrite(report_.data(), 1, report_.size(), console_.out);
    std::fprintf(console_.out, "%s:\t", outputName_.c_str());
    FileError error;
    if (!output_.commit(error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    std::fputs("Ok.\n\n", console_.out);
    return kOk;
}

// Opens the font, checks it and its directory, keeps what identifies it;
// the file is closed again on return.
bool CollectionMaker::checkFont(const std::string& name, FontEntry& entry,
                                FontDirectory& directory) {
    InputFile file;
    FileError error;
    if (!file.open(name, error)) {
        console_.error(name, error.describe());
        return false;
    }
    std::string problem;
    if (!readFontDirectory(file, 0, directory, problem)) {
        console_.error(name, problem);
        return false;
    }
    entry.name = &name;
    entry.identity = file.identity();
    entry.size = file.size();
    entry.directoryHash = hashOf(directory.bytes);
    entry.directorySize = directory.bytes.size();
    return true;
}

int CollectionMaker::checkOutput(std::uint64_t headerSize, std::uint64_t leastData) {
    std::string resolved;
    std::optional<filecore::FileIdentity> existing;
    FileError error;
    if (!FileReplacement::check(outputName_, resolved, existing, error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    // The output is only replaced at the end, but a collection written over
    // one of its own fonts would still lose that font for good.
    filecore::SameFiles inputs;
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        inputs.add(*fonts_[k].name, k);
    }
    if (const auto input = inputs.find(resolved)) {
        return fail(kOutputFailed, outputName_,
                    "is the same file as the input " + *fonts_[*input].name + "; nothing written");
    }
    if (headerSize > kMaxFileSize || leastData > kMaxFileSize - headerSize) {
        return fail(kOutputFailed, outputName_, "the collection would be larger than 4 GiB");
    }
    if (!output_.create(outputName_, error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    outputWindow_.attach(output_);
    return kOk;
}

// The header with every font's offset, then room for the directories, which
// are written as each font's tables find their places.
int CollectionMaker::writeHeader(std::uint64_t headerSize) {
    std::array<std::uint8_t, kCollectionHeaderSize> header{};
    filecore::storeU32(header, 0, kCollectionTag.value());
    filecore::storeU32(header, 4, kCollectionVersion);
    filecore::storeU32(header, 8, static_cast<std::uint32_t>(fonts_.size()));
    FileError error;
    if (!output_.append(header, error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    for (const FontEntry& font : fonts_) {
        std::array<std::uint8_t, 4> offset{};
        filecore::storeU32(offset, 0, static_cast<std::uint32_t>(font.directoryPosition));
        if (!output_.append(offset, error)) {
            return fail(kOutputFailed, outputName_, error.describe());
        }
    }
    if (!output_.appendZeros(headerSize - output_.size(), error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    return kOk;
}

int CollectionMaker::placeFont(std::size_t number) {
    const FontEntry& entry = fonts_[number];
    const std::string& name = *entry.name;
    FileError error;
    if (!font_.open(name, error)) {
        return fail(kInputFailed, name, error.describe());
    }
    // The font must be the very file that was checked, unchanged: its
    // directory was laid out from what it held then.
    FontDirectory directory;
    std::string problem;
    if (font_.identity() != entry.identity || font_.size() != entry.size ||
        !readFontDirectory(font_, 0, directory, problem) ||
        directory.bytes.size() != entry.directorySize ||
        hashOf(directory.bytes) != entry.directoryHash) {
        return fail(kInputFailed, name, "the file changed during the run");
    }
    fontWindow_.attach(font_);
    font_.map(fontMap_);
    groupSmallTables(directory);

    report_ += name;
    report_ += ":\t";
    std::vector<std::pair<TableKey, std::uint32_t>> storedHere;
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        report_ += table.tag.printable();
        currentFill_ = smallRuns_[j];
        // The first font is stored whole, duplicates included.
        std::optional<std::uint64_t> shared;
        if (number > 0) {
            if (const int status = findShared(table, shared); status != kOk) {
                return status;
            }
        }
        std::uint64_t position = 0;
        if (shared) {
            report_ += "(shared)\t";
            position = *shared;
        } else {
            report_ += "(unique)\t";
            if (const int status = storeTable(table, position); status != kOk) {
                return status;
            }
            candidates_.push_back({position, kNone});
            storedHere.emplace_back(keyOf(table),
                                    static_cast<std::uint32_t>(candidates_.size() - 1));
        }
        filecore::storeU32(directory.bytes, kOffsetTableSize + kTableRecordSize * j + 8,
                           static_cast<std::uint32_t>(position));
    }
    report_ += "\n\n";
    // A font's own tables are never searched for its later tables.
    for (const auto& [key, index] : storedHere) {
        KeyGroup& group = groups_[key];
        append(group.unhashed, index);
        ++group.count;
    }
    if (!output_.writeAt(entry.directoryPosition, directory.bytes, error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    font_.close();
    fontMap_ = filecore::FileView{};
    return kOk;
}

// Small tables that lie together, in file order, form runs no longer than
// kSmallReadAhead; each small table reads its whole run on a miss.
void CollectionMaker::groupSmallTables(const FontDirectory& directory) {
    const std::vector<TableRecord>& tables = directory.tables;
    smallRuns_.assign(tables.size(), Extent{});
    std::vector<std::size_t> small;
    for (std::size_t j = 0; j < tables.size(); ++j) {
        const std::uint64_t end = std::uint64_t{tables[j].offset} + tables[j].length;
        if (tables[j].length <= kSmallTable && end <= font_.size()) {
            small.push_back(j);
        }
    }
    std::sort(small.begin(), small.end(), [&tables](std::size_t a, std::size_t b) {
        return tables[a].offset < tables[b].offset;
    });
    for (std::size_t first = 0; first < small.size();) {
        Extent run{tables[small[first]].offset,
                   std::uint64_t{tables[small[first]].offset} + tables[small[first]].length};
        std::size_t last = first + 1;
        for (; last < small.size(); ++last) {
            const TableRecord& next = tables[small[last]];
            const std::uint64_t end = std::max(run.end, std::uint64_t{next.offset} + next.length);
            if (next.offset > run.end + kSmallGap || end - run.start > kSmallReadAhead) {
                break;
            }
            run.end = end;
        }
        for (std::size_t k = first; k < last; ++k) {
            smallRuns_[small[k]] = run;
        }
        first = last;
    }
}

void CollectionMaker::append(Chain& chain, std::uint32_t index) {
    candidates_[index].next = kNone;
    if (chain.last == kNone) {
        chain.first = index;
    } else {
        candidates_[chain.last].next = index;
    }
    chain.last = index;
}

// Puts the table's bytes at the end of the collection, zero-padded to 4
// bytes; `position` is where they start.
int CollectionMaker::storeTable(const TableRecord& table, std::uint64_t& position) {
    const std::uint64_t span = filecore::roundUp4(table.length);
    position = output_.size();
    if (position >= kMaxFileSize || span > kMaxFileSize - position) {
        return fail(kOutputFailed, outputName_, "the collection would be larger than 4 GiB");
    }
    FileError error;
    if (table.length <= kSmallTable) {
        std::span<const std::uint8_t> bytes;
        if (!fontWindow_.get(table.offset, table.length, fontFill(table.offset, table.length),
                             bytes, error)) {
            return failOn(error, font_.path());
        }
        if (!output_.append(bytes, error)) {
            return failOn(error, font_.path());
        }
    } else if (const auto mapped = fontMap_.bytes(); !mapped.empty() &&
                                                     table.offset <= mapped.size() &&
                                                     table.length <= mapped.size() - table.offset) {
        // With the bytes gathered so far and the padding, in one write that
        // never touches the mapped bytes in user space: copying in the kernel
        // between offsets that differ in their page moves page fragments and
        // costs more than this.
        static constexpr std::array<std::uint8_t, 3> kZeros{};
        const std::array<std::span<const std::uint8_t>, 2> pieces{
            mapped.subspan(table.offset, table.length),
            std::span(kZeros).first(static_cast<std::size_t>(span - table.length))};
        if (!output_.appendMapped(pieces, fontMap_, font_, error)) {
            return failOn(error, font_.path());
        }
        return kOk;
    } else if (!output_.appendFrom(font_, table.offset, table.length, error)) {
        return failOn(error, font_.path());
    }
    if (!output_.appendZeros(span - table.length, error)) {
        return failOn(error, font_.path());
    }
    return kOk;
}

// The first stored table of an earlier font with the same key and the same
// bytes. Only stored tables need looking at: a shared one has the bytes and
// the place of a stored one before it.
int CollectionMaker::findShared(const TableRecord& table, std::optional<std::uint64_t>& found) {
    found.reset();
    const TableKey key = keyOf(table);
    const auto group = groups_.find(key);
    if (group == groups_.end()) {
        return kOk;
    }
    KeyGroup& candidates = group->second;
    bool equal = false;
    if (candidates.count == 1 && candidates.unhashed.first != kNone) {
        // One candidate, the usual case: compare without hashing either.
        const std::uint64_t position = candidates_[candidates.unhashed.first].position;
        if (const int status = equalBytes(table, position, equal); status != kOk) {
            return status;
        }
        if (equal) {
            found = position;
        }
        return kOk;
    }
    // Several stored tables share the key and differ in their bytes: hash
    // this one and each stored one once, and compare only where the hashes
    // agree, so that many look-alikes cost one pass each, not one per pair.
    ContentHash hash;
    FileError error;
    for (std::uint64_t done = 0; done < table.length;) {
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(table.length - done, kWindowSize));
        std::span<const std::uint8_t> bytes;
        if (!fontWindow_.get(table.offset + done, piece, fontFill(table.offset + done, piece),
                             bytes, error)) {
            return failOn(error, font_.path());
        }
        hash.add(bytes);
        done += piece;
    }
    const std::uint64_t tableHash = hash.finish();
    for (std::uint32_t index = candidates.unhashed.first; index != kNone;) {
        const std::uint32_t next = candidates_[index].next;
        std::uint64_t storedHash = 0;
        if (const int status = hashStored(index, table.length, storedHash); status != kOk) {
            return status;
        }
        append(hashed_[{key, storedHash}], index);
        index = next;
    }
    candidates.unhashed = {};
    const auto same = hashed_.find({key, tableHash});
    if (same == hashed_.end()) {
        return kOk;
    }
    for (std::uint32_t index = same->second.first; index != kNone;
         index = candidates_[index].next) {
        if (const int status = equalBytes(table, candidates_[index].position, equal);
            status != kOk) {
            return status;
        }
        if (equal) {
            found = candidates_[index].position;
            return kOk;
        }
    }
    return kOk;
}

int CollectionMaker::hashStored(std::uint32_t index, std::uint32_t length, std::uint64_t& hash) {
    ContentHash content;
    FileError error;
    const std::uint64_t position = candidates_[index].position;
    for (std::uint64_t done = 0; done < length;) {
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kWindowSize));
        std::span<const std::uint8_t> bytes;
        if (!outputWindow_.get(position + done, piece, {position + done, position + done + piece},
                               bytes, error)) {
            return fail(kOutputFailed, outputName_, error.describe());
        }
        content.add(bytes);
        done += piece;
    }
    hash = content.finish();
    return kOk;
}

// Compares the table in the font with the bytes stored at `position`, a
// window of each at a time.
int CollectionMaker::equalBytes(const TableRecord& table, std::uint64_t position, bool& equal) {
    equal = false;
    FileError error;
    for (std::uint64_t done = 0; done < table.length;) {
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(table.length - done, kWindowSize));
        std::span<const std::uint8_t> mine;
        std::span<const std::uint8_t> stored;
        if (!fontWindow_.get(table.offset + done, piece, fontFill(table.offset + done, piece), mine,
                             error)) {
            return failOn(error, font_.path());
        }
        if (!outputWindow_.get(position + done, piece, {position + done, position + done + piece},
                               stored, error)) {
            return fail(kOutputFailed, outputName_, error.describe());
        }
        if (std::memcmp(mine.data(), stored.data(), piece) != 0) {
            return kOk;
        }
        done += piece;
    }
    equal = true;
    return kOk;
}

}  // namespace

int makeCollection(const std::string& outputName, std::span<const std::string> fontNames,
                   const Console& console) {
    CollectionMaker maker(outputName, console);
    return maker.run(fontNames);
}

}  // namespace zelvic
