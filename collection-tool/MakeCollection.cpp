// make: the collection is a 'ttcf' 1.0 header, every font's offset table and
// records back to back, then the first font's tables and each later font's
// unshared tables, in the order they lie in the font, 4-byte aligned with zero
// padding (a large table after a gap of zeros that puts it at its font's
// offset within a page). Stored tables are copied inside the kernel, a run of them at a time
// where they lie together in the font; only tables with a look-alike are read.
//
// Two passes over the fonts, one open at a time: the first checks every
// directory and keeps only what the layout needs (name, identity, size,
// where its directory goes); the second reopens each font, makes sure it is
// the file that was checked, and streams its tables into the new file, which
// is where shared tables are compared from. Memory follows the collection's
// directories, never the tables' bytes.

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ByteOrder.h"
#include "Collection.h"
#include "Files.h"
#include "FontDirectory.h"
#include "InputWindow.h"
#include "TableRuns.h"

namespace zelvic {

namespace {

using filecore::FileError;
using filecore::FileReplacement;
using filecore::InputFile;
using filecore::kCollectionTag;
constexpr std::uint32_t kCollectionVersion = filecore::kCollectionVersion1;
constexpr std::size_t kCollectionHeaderSize = 12;
using zelvic::kWindowSize;
// Tables up to this size are read for a comparison with their neighbours.
constexpr std::uint32_t kSmallTable = 16 * 1024;
// Small tables lying together in a font are read together, up to this much:
// one read for a font's run of small tables that have look-alikes.
constexpr std::uint64_t kSmallReadAhead = kWindowSize;
// Look-alike tables are compared this much at a time until make has
// compared kCompareWarmup bytes, then a whole window at a time. Each page of
// the two windows costs a page fault the first time it is filled, dearer on
// a virtual machine than a read: whole windows made make 3% slower on small
// fonts, which compare a few hundred kilobytes, and pieces alone 45% slower
// on large ones, which compare megabytes through four times the reads.
constexpr std::size_t kComparePiece = std::size_t{16} * 1024;
constexpr std::uint64_t kCompareWarmup = std::uint64_t{1} << 20;
// Small tables this close still count as lying together (padding, gaps).
constexpr std::uint64_t kSmallGap = 64;
constexpr std::uint32_t kNone = UINT32_MAX;
// Tables from this size start at their font's offset within a page.
constexpr std::uint32_t kAlignedTable = 64 * 1024;

// The key of every hash below, drawn once per run: a font can't know it, so
// it can't choose tables whose hashes agree (as it could with a fixed mix,
// which made make quadratic in such tables) nor keys that crowd one bucket.
struct HashKey {
    std::uint64_t k0 = 0, k1 = 0;
};

const HashKey& hashKey() {
    static const HashKey key = [] {
        HashKey drawn;
        std::array<std::uint64_t, 2> words{};
        if (::getrandom(words.data(), sizeof words, GRND_NONBLOCK) ==
            static_cast<ssize_t>(sizeof words)) {
            drawn = {words[0], words[1]};
        } else {
            // Only before the kernel has its entropy (early boot): the
            // clock and where the stack lies still vary from run to run.
            const auto now = static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count());
            drawn = {now * 0x9E3779B97F4A7C15u, reinterpret_cast<std::uintptr_t>(&words) ^
                                                    static_cast<std::uint64_t>(::getpid())};
        }
        return drawn;
    }();
    return key;
}

// SipHash-1-3 under the run's key, fed in pieces of any size: a keyed hash
// whose outputs a file can't steer, fast enough to run over the bytes of
// every look-alike table once.
class ContentHash {
  public:
    ContentHash() {
        const HashKey& key = hashKey();
        v0_ = key.k0 ^ 0x736F6D6570736575u;
        v1_ = key.k1 ^ 0x646F72616E646F6Du;
        v2_ = key.k0 ^ 0x6C7967656E657261u;
        v3_ = key.k1 ^ 0x7465646279746573u;
    }

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
        std::uint64_t last = length_ << 56;
        for (std::size_t i = 0; i < carried_; ++i) {
            last |= std::uint64_t{carry_[i]} << (8 * i);
        }
        mix(last);
        v2_ ^= 0xFF;
        round();
        round();
        round();
        return v0_ ^ v1_ ^ v2_ ^ v3_;
    }

  private:
    static std::uint64_t word(const std::uint8_t* bytes) {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    void round() {
        v0_ += v1_;
        v1_ = std::rotl(v1_, 13) ^ v0_;
        v0_ = std::rotl(v0_, 32);
        v2_ += v3_;
        v3_ = std::rotl(v3_, 16) ^ v2_;
        v0_ += v3_;
        v3_ = std::rotl(v3_, 21) ^ v0_;
        v2_ += v1_;
        v1_ = std::rotl(v1_, 17) ^ v2_;
        v2_ = std::rotl(v2_, 32);
    }
    void mix(std::uint64_t value) {
        v3_ ^= value;
        round();
        v0_ ^= value;
    }

    std::uint64_t v0_, v1_, v2_, v3_;
    std::uint64_t length_ = 0;
    std::array<std::uint8_t, 8> carry_{};
    std::size_t carried_ = 0;
};

std::uint64_t hashOf(std::span<const std::uint8_t> bytes) {
    ContentHash hash;
    hash.add(bytes);
    return hash.finish();
}

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

// Tags, lengths and checksums are the file's to choose: keyed, so that no
// choice of them piles the tables into one bucket.
struct KeyHasher {
    std::size_t operator()(const TableKey& key) const {
        std::array<std::uint8_t, 12> bytes{};
        filecore::storeU32(bytes, 0, key.tag);
        filecore::storeU32(bytes, 4, key.length);
        filecore::storeU32(bytes, 8, key.checksum);
        return static_cast<std::size_t>(hashOf(bytes));
    }
    // The content hash is keyed already.
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
    int checkReplaceable(const std::string& resolved);
    int writeHeader(std::uint64_t headerSize);
    int placeFont(std::size_t number);
    int storeTable(const TableRecord& table, std::uint64_t placeInFont, std::uint64_t& position);
    int findShared(const TableRecord& table, std::optional<std::uint64_t>& found);
    int hashStored(std::uint32_t index, std::uint32_t length, std::uint64_t& hash);
    int equalBytes(const TableRecord& table, std::uint64_t position, bool& equal);
    void append(Chain& chain, std::uint32_t index);
    void groupSmallTables(const FontDirectory& directory);
    std::size_t comparePiece(std::uint64_t left) {
        const std::size_t most = compared_ < kCompareWarmup ? kComparePiece : kWindowSize;
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, most));
        compared_ += piece;
        return piece;
    }
    Extent fontFill(std::uint64_t offset, std::uint64_t length) const {
        return currentFill_.holds(offset, length) ? currentFill_ : Extent{offset, offset + length};
    }

    const std::string& outputName_;
    const Console& console_;
    std::vector<FontEntry> fonts_;
    FileReplacement output_;
    InputFile font_;  // the font being placed
    // Its stored tables, copied in the kernel as runs where they lie
    // together; never read in user space but to compare them.
    TableRuns runs_{output_, font_, fontWindow_};
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
    std::uint64_t compared_ = 0;  // bytes of look-alikes read for comparisons
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
    if (existing) {
        if (const int status = checkReplaceable(resolved); status != kOk) {
            return status;
        }
    }
    if (!output_.create(outputName_, error)) {
        return fail(kOutputFailed, outputName_, error.describe());
    }
    outputWindow_.attach(output_);
    return kOk;
}

// A forgotten output name ("Zelvic a.ttf b.ttf c.ttf") must not cost the
// first font: only a collection is replaced, or an empty file, which holds
// nothing to lose (a name reserved with touch, or left by a failed tool).
int CollectionMaker::checkReplaceable(const std::string& resolved) {
    InputFile existing;
    FileError error;
    if (!existing.open(resolved, error)) {
        return fail(kOutputFailed, outputName_,
                    "cannot tell whether it is a collection (" + error.describe() +
                        "); a collection is written only over a collection or under a new name");
    }
    if (existing.size() == 0) {
        return kOk;
    }
    std::array<std::uint8_t, 4> tag{};
    if (existing.size() >= tag.size() && existing.readAt(0, tag, error)) {
        if (filecore::loadU32(tag, 0) == kCollectionTag.value()) {
            return kOk;
        }
        if (isSingleFontVersion(filecore::loadU32(tag, 0))) {
            return fail(kOutputFailed, outputName_,
                        "is a font, not a TrueType Collection: a collection is written only over "
                        "a collection or under a new name; nothing written");
        }
    }
    return fail(kOutputFailed, outputName_,
                "is not a TrueType Collection: a collection is written only over a collection "
                "or under a new name; nothing written");
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
    groupSmallTables(directory);

    report_ += name;
    report_ += ":\t";
    // Which tables an earlier font has, in directory order as the report
    // names them; the first font is stored whole, duplicates included.
    std::vector<std::optional<std::uint64_t>> positions(directory.tables.size());
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        const TableRecord& table = directory.tables[j];
        report_ += table.tag.printable();
        currentFill_ = smallRuns_[j];
        if (number > 0) {
            if (const int status = findShared(table, positions[j]); status != kOk) {
                return status;
            }
        }
        report_ += positions[j] ? "(shared)\t" : "(unique)\t";
    }
    // The others are stored in the order they lie in the font, which keeps
    // them together where the font has them together (the directory's order
    // is often another), so that they are copied as one range.
    std::vector<std::size_t> inFile(directory.tables.size());
    std::iota(inFile.begin(), inFile.end(), std::size_t{0});
    std::stable_sort(inFile.begin(), inFile.end(), [&directory](std::size_t a, std::size_t b) {
        return directory.tables[a].offset < directory.tables[b].offset;
    });
    // Where each table lies in the font as break writes it (and as most
    // fonts are stored): in directory order after the directory.
    std::vector<std::uint64_t> placesInFont(directory.tables.size());
    std::uint64_t place = directory.bytes.size();
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        placesInFont[j] = place;
        place += filecore::roundUp4(directory.tables[j].length);
    }
    std::vector<bool> stored(directory.tables.size(), false);
    for (const std::size_t j : inFile) {
        if (!positions[j]) {
            std::uint64_t position = 0;
            if (const int status = storeTable(directory.tables[j], placesInFont[j], position);
                status != kOk) {
                return status;
            }
            positions[j] = position;
            stored[j] = true;
        }
    }
    std::vector<std::pair<TableKey, std::uint32_t>> storedHere;
    for (std::size_t j = 0; j < directory.tables.size(); ++j) {
        if (stored[j]) {
            candidates_.push_back({*positions[j], kNone});
            storedHere.emplace_back(keyOf(directory.tables[j]),
                                    static_cast<std::uint32_t>(candidates_.size() - 1));
        }
        filecore::storeU32(directory.bytes, kOffsetTableSize + kTableRecordSize * j + 8,
                           static_cast<std::uint32_t>(*positions[j]));
    }
    report_ += "\n\n";
    if (!runs_.flush(error)) {
        return failOn(error, font_.path());
    }
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
//
// A large table starts at the same offset within a page as it has in its
// font (`placeInFont`), zeros filling the gap: the kernel copies a range
// page to page when both ends agree so, and at about half the speed when
// they don't. Make's copy from the font and break's copy back into a font
// both gain; the collection grows by less than a page per large table.
int CollectionMaker::storeTable(const TableRecord& table, std::uint64_t placeInFont,
                                std::uint64_t& position) {
    const std::uint64_t span = filecore::roundUp4(table.length);
    position = output_.size() + runs_.pending();
    std::uint64_t gap = 0;
    if (table.length >= kAlignedTable) {
        gap = (placeInFont - position) % kPageSize;
    }
    if (position >= kMaxFileSize || gap > kMaxFileSize - position ||
        span > kMaxFileSize - position - gap) {
        return fail(kOutputFailed, outputName_, "the collection would be larger than 4 GiB");
    }
    FileError error;
    if (gap > 0 && !(runs_.flush(error) && output_.appendZeros(gap, error))) {
        return failOn(error, font_.path());
    }
    position += gap;
    if (!runs_.add(table.offset, table.length, error)) {
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
        const std::size_t piece = comparePiece(table.length - done);
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
        const std::size_t piece = comparePiece(length - done);
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
        const std::size_t piece = comparePiece(table.length - done);
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
