#include "FontFile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "ByteOrder.h"
#include "Checksum.h"
#include "FontStore.h"
#include "SavePlan.h"

namespace {

constexpr filecore::Tag kCollectionTag("ttcf");
constexpr std::uint64_t kCollectionHeaderSize = 12;
constexpr std::uint64_t kSignatureFieldsSize = 12;  // a 2.0 header's DSIG tag, length, offset
constexpr std::uint64_t kOffsetTableSize = 12;
constexpr std::uint64_t kTableRecordSize = 16;
// Fonts that share a name table each hold its records. Beyond the file's own
// size plus this, sharing would make a small file take memory without bound.
constexpr std::uint64_t kSharedNamesAllowance = std::uint64_t{1} << 20;

struct Extent {
    std::uint64_t offset = 0, length = 0;
    std::uint64_t end() const { return offset + length; }
    auto operator<=>(const Extent&) const = default;
};

std::string fontNumber(std::size_t index) {
    return std::to_string(index + 1);
}

LoadError invalid(std::string& reason, std::string problem) {
    reason = std::move(problem);
    return LoadError::Invalid;
}

SaveError fromFileError(const filecore::FileError& error, std::string& reason) {
    reason = error.reason;
    return error.step == filecore::FileError::Step::Write ? SaveError::WriteError
                                                          : SaveError::CannotOpen;
}

// What a chooser shows of a record: Windows English first, then any Windows
// or Unicode record, then Macintosh English, then anything with text.
int preference(const NameRecord& record) {
    if (record.platformID == 3 && record.languageID == 0x409) {
        return 0;
    }
    if (record.platformID == 3 || record.platformID == 0) {
        return 1;
    }
    if (record.platformID == 1 && record.languageID == 0) {
        return 2;
    }
    return 3;
}

std::string bestName(const NameTable& names, std::uint16_t nameID) {
    const NameRecord* best = nullptr;
    for (const auto& record : names.records) {
        if (record->nameID == nameID && !record->text.empty() &&
            (best == nullptr || preference(*record) < preference(*best))) {
            best = record.get();
        }
    }
    return best == nullptr ? std::string() : best->text;
}

}  // namespace

std::string FontFile::memberLabel(std::size_t index) const {
    std::string label = fontNumber(index);
    if (index >= members.size()) {
        return label;
    }
    const NameTable& names = members[index].names;
    std::string name = bestName(names, 4);
    if (name.empty()) {
        name = bestName(names, 1);
        if (const std::string style = bestName(names, 2); !name.empty() && !style.empty()) {
            name += " " + style;
        }
    }
    if (name.empty()) {
        name = bestName(names, 6);
    }
    return name.empty() ? label : label + ": " + name;
}

namespace {

// The name tables of `loaded`, read once each and given to every font that
// points at them.
LoadError readNames(const filecore::InputFile& input, FontFile& loaded,
                    std::vector<std::vector<std::uint8_t>>& asLoaded, std::string& reason) {
    std::uint64_t total = 0;
    for (const FontMember& member : loaded.members) {
        if (const DirectoryEntry* name = member.directory.find("name"); name != nullptr) {
            total += name->length;
        }
    }
    if (total > input.size() + kSharedNamesAllowance) {
        reason = "The fonts share name tables that would take far more memory than the file.";
        return LoadError::NameTableTooLarge;
    }
    std::map<Extent, std::vector<std::uint8_t>> tables;
    asLoaded.assign(loaded.members.size(), {});
    for (std::size_t i = 0; i < loaded.members.size(); ++i) {
        FontMember& member = loaded.members[i];
        const DirectoryEntry* name = member.directory.find("name");
        if (name == nullptr) {
            continue;
        }
        const Extent extent{name->offset, name->length};
        auto found = tables.find(extent);
        if (found == tables.end()) {
            std::vector<std::uint8_t> bytes(name->length);
            filecore::FileError error;
            if (!input.readAt(name->offset, bytes, error)) {
                reason = error.reason;
                return LoadError::CannotOpen;
            }
            found = tables.emplace(extent, std::move(bytes)).first;
        }
        if (const LoadError result = member.names.read(found->second); result != LoadError::None) {
            if (loaded.isCollection()) {
                reason = "Font " + fontNumber(i) + " has a name table that can't be read.";
            }
            return result;
        }
        // Unedited names write these bytes; a failure shows again at a save.
        (void)member.names.write(asLoaded[i]);
    }
    return LoadError::None;
}

LoadError readSingleFont(const filecore::InputFile& input, FontFile& loaded,
                         std::vector<std::uint64_t>& directoryAt, std::string& reason) {
    FontMember member;
    std::vector<std::uint8_t> nameTable;
    filecore::FileError error;
    const LoadError result = member.directory.read(input, nameTable, error);
    if (result == LoadError::CannotOpen) {
        reason = error.reason;
    }
    if (result != LoadError::None) {
        return result;
    }
    loaded.members.push_back(std::move(member));
    directoryAt.assign(1, 0);
    return LoadError::None;
}

// The collection header, every font's directory, and the rules a collection
// must keep on top of each font's: fonts apart from the header and from one
// another, tables either the very same (shared) or apart.
LoadError readCollection(const filecore::InputFile& input, FontFile& loaded,
                         std::vector<std::uint64_t>& directoryAt,
                         std::array<std::uint32_t, 3>& dsig, std::string& reason) {
    const std::uint64_t fileSize = input.size();
    filecore::FileError error;
    std::array<std::uint8_t, kCollectionHeaderSize> fixed{};
    if (fileSize < kCollectionHeaderSize) {
        return invalid(reason, "The collection header is cut short.");
    }
    if (!input.readAt(0, fixed, error)) {
        reason = error.reason;
        return LoadError::CannotOpen;
    }
    const std::uint32_t version = filecore::loadU32(fixed, 4);
    const std::uint32_t numFonts = filecore::loadU32(fixed, 8);
    if (version >> 16 != 1 && version >> 16 != 2) {
        return invalid(reason, "The collection header's version is neither 1.0 nor 2.0.");
    }
    if (numFonts == 0) {
        return invalid(reason, "The collection holds no fonts.");
    }
    const std::uint64_t headerSize = kCollectionHeaderSize + std::uint64_t{4} * numFonts +
                                     (version >> 16 == 2 ? kSignatureFieldsSize : 0);
    if (headerSize > fileSize) {
        return invalid(reason, "The collection's list of fonts runs past the end of the file.");
    }
    SourceFile::Structure header{0, std::vector<std::uint8_t>(headerSize)};
    if (!input.readAt(0, header.bytes, error)) {
        reason = error.reason;
        return LoadError::CannotOpen;
    }
    auto source = std::make_shared<SourceFile>();
    if (!source->describe(input, reason)) {
        return LoadError::CannotOpen;
    }
    loaded.collectionVersion = version;
    if (version >> 16 == 2) {
        const std::size_t at = kCollectionHeaderSize + std::size_t{4} * numFonts;
        dsig = {filecore::loadU32(header.bytes, at), filecore::loadU32(header.bytes, at + 4),
                filecore::loadU32(header.bytes, at + 8)};
    }

    // Every structure and table, to check they lie apart: (extent, font or
    // a mark for the header, directories and the signature).
    constexpr std::size_t kStructure = std::numeric_limits<std::size_t>::max();
    std::vector<std::pair<Extent, std::size_t>> extents{{{0, headerSize}, kStructure}};
    directoryAt.clear();
    loaded.members.reserve(numFonts);
    for (std::uint32_t i = 0; i < numFonts; ++i) {
        const std::uint64_t at = filecore::loadU32(header.bytes, kCollectionHeaderSize + 4 * i);
        FontMember member;
        SourceFile::Structure directory{at, {}};
        const LoadError result = member.directory.readAt(input, at, directory.bytes, error);
        if (result == LoadError::CannotOpen) {
            reason = error.reason;
            return result;
        }
        if (result != LoadError::None) {
            return invalid(reason, "Font " + fontNumber(i) +
                                       " is not a well-formed font or lies outside the file.");
        }
        for (std::size_t k = 0; k < directoryAt.size(); ++k) {
            if (directoryAt[k] == at) {
                return invalid(reason, "Fonts " + fontNumber(k) + " and " + fontNumber(i) +
                                           " share one table directory.");
            }
        }
        extents.push_back({{at, directory.bytes.size()}, kStructure});
        for (const auto& entry : member.directory.tables) {
            if (entry->length > 0) {
                extents.push_back({{entry->offset, entry->length}, i});
            }
        }
        directoryAt.push_back(at);
        source->structures.push_back(std::move(directory));
        loaded.members.push_back(std::move(member));
    }
    if (dsig[1] > 0) {
        if (!filecore::rangeFits(fileSize, dsig[2], dsig[1])) {
            return invalid(reason, "The collection's signature lies outside the file.");
        }
        extents.push_back({{dsig[2], dsig[1]}, kStructure});
    }
    // Shared tables are the very same extent; anything else that overlaps
    // would be written twice or lose bytes.
    std::sort(extents.begin(), extents.end());
    for (std::size_t k = 1; k < extents.size(); ++k) {
        const auto& [before, beforeFont] = extents[k - 1];
        const auto& [after, afterFont] = extents[k];
        const bool shared = before == after && beforeFont != kStructure &&
                            afterFont != kStructure && beforeFont != afterFont;
        if (!shared && after.offset < before.end()) {
            if (beforeFont == kStructure || afterFont == kStructure) {
                const std::size_t font = beforeFont == kStructure ? afterFont : beforeFont;
                return invalid(reason, font == kStructure
                                           ? "The collection's header, directories or signature "
                                             "overlap."
                                           : "A table of font " + fontNumber(font) +
                                                 " overlaps the collection's header, directories "
                                                 "or signature.");
            }
            return invalid(reason, "Tables of fonts " + fontNumber(beforeFont) + " and " +
                                       fontNumber(afterFont) + " overlap.");
        }
    }
    source->structures.insert(source->structures.begin(), std::move(header));
    std::shared_ptr<const SourceFile> shared = std::move(source);
    for (FontMember& member : loaded.members) {
        member.directory.source = shared;
    }
    return LoadError::None;
}

}  // namespace

LoadError readFontFile(const std::string& path, FontFile& file, std::string& reason) {
    if (path.empty()) {
        return LoadError::Usage;
    }
    filecore::InputFile input;
    filecore::FileError error;
    if (!input.open(path, error)) {
        reason = error.reason;
        return LoadError::CannotOpen;
    }
    std::array<std::uint8_t, 4> tag{};
    const bool collection = input.size() >= tag.size() && input.readAt(0, tag, error) &&
                            filecore::Tag(filecore::loadU32(tag, 0)) == kCollectionTag;
    FontFile loaded;
    std::vector<std::uint64_t> directoryAt;
    std::array<std::uint32_t, 3> dsig{};
    LoadError result = collection ? readCollection(input, loaded, directoryAt, dsig, reason)
                                  : readSingleFont(input, loaded, directoryAt, reason);
    std::vector<std::vector<std::uint8_t>> asLoaded;
    if (result == LoadError::None) {
        result = readNames(input, loaded, asLoaded, reason);
    }
    if (result != LoadError::None) {
        return result;
    }
    loaded.namesAsLoaded_ = std::move(asLoaded);
    loaded.directoryAt_ = std::move(directoryAt);
    loaded.dsigTag_ = dsig[0];
    loaded.dsigLength_ = dsig[1];
    loaded.dsigOffset_ = dsig[2];
    file = std::move(loaded);
    reason.clear();
    return LoadError::None;
}

namespace {

// A 'name' table written anew, and the fonts that point at it.
struct FreshName {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> fonts;
    std::optional<Extent> oldPlace;  // the table it replaces, which no font keeps
    std::uint64_t offset = 0;
};

// A stretch of the new file written from memory rather than copied.
struct Patch {
    std::uint64_t offset = 0;
    std::span<const std::uint8_t> bytes;
    std::uint64_t zeros = 0;  // when `bytes` is empty
    std::uint64_t end() const { return offset + (bytes.empty() ? zeros : bytes.size()); }
};

}  // namespace

SaveError writeFontFile(const std::string& path, FontFile& file, std::string& reason) {
    if (!file.isCollection()) {
        if (file.members.size() != 1) {
            return SaveError::WriteError;
        }
        FontMember& font = file.members.front();
        const auto before = font.directory.source;
        const SaveError result = writeFont(path, font.directory, font.names, reason);
        if (result == SaveError::None && font.directory.source != before) {
            file.namesAsLoaded_.assign(1, {});
            (void)font.names.write(file.namesAsLoaded_.front());
        }
        return result;
    }
    if (path.empty()) {
        return SaveError::CannotOpen;
    }
    const std::size_t count = file.members.size();
    const std::shared_ptr<const SourceFile> source = file.members.front().directory.source;
    if (!source || file.directoryAt_.size() != count || file.namesAsLoaded_.size() != count) {
        reason = "the collection was not read from a file";
        return SaveError::SourceChanged;
    }

    // Which 'name' tables are written anew, refused before anything is touched.
    std::vector<std::vector<std::uint8_t>> written(count);
    std::map<Extent, std::vector<std::size_t>> sharers;
    for (std::size_t i = 0; i < count; ++i) {
        if (const DirectoryEntry* name = file.members[i].directory.find("name"); name != nullptr) {
            if (const SaveError error = file.members[i].names.write(written[i]);
                error != SaveError::None) {
                return error;
            }
            sharers[{name->offset, name->length}].push_back(i);
        }
    }
    std::vector<FreshName> fresh;
    std::vector<std::optional<std::size_t>> freshOf(count);
    for (const auto& [extent, fonts] : sharers) {
        std::vector<std::size_t> edited;
        for (const std::size_t i : fonts) {
            if (written[i] != file.namesAsLoaded_[i]) {
                edited.push_back(i);
            }
        }
        if (edited.empty()) {
            continue;
        }
        const bool oldKept = edited.size() < fonts.size();
        // Fonts of one group edited alike share their new table.
        const std::size_t first = fresh.size();
        for (const std::size_t i : edited) {
            std::size_t k = first;
            while (k < fresh.size() && fresh[k].bytes != written[i]) {
                ++k;
            }
            if (k == fresh.size()) {
                fresh.push_back({written[i], {}, std::nullopt, 0});
            }
            fresh[k].fonts.push_back(i);
            freshOf[i] = k;
        }
        if (!oldKept) {
            fresh[first].oldPlace = extent;
        }
    }

    filecore::InputFile input;
    if (const SaveError error = source->reopen(input, reason); error != SaveError::None) {
        return error;
    }
    // The checksum of every table that stays, once per table however shared.
    filecore::FileError error;
    saveplan::SourceSums sums(input);
    std::map<Extent, std::uint32_t> checksums;
    bool changed = !fresh.empty();
    for (std::size_t i = 0; i < count; ++i) {
        for (const auto& entry : file.members[i].directory.tables) {
            if ((freshOf[i] && entry->hasTag("name")) || entry->length == 0) {
                continue;
            }
            const Extent extent{entry->offset, entry->length};
            auto found = checksums.find(extent);
            if (found == checksums.end()) {
                std::uint32_t checksum = 0;
                bool zeroPadded = false;
                if (!sums.sum(entry->offset, entry->length, checksum, zeroPadded, error)) {
                    return fromFileError(error, reason);
                }
                if (entry->hasTag("head")) {
                    // Summed with checkSumAdjustment as zero, as in a single font.
                    std::array<std::uint8_t, 4> adjustment{};
                    if (!input.readAt(entry->offset + filecore::kHeadChecksumAdjustmentOffset,
                                      adjustment, error)) {
                        return fromFileError(error, reason);
                    }
                    checksum -= filecore::loadU32(adjustment, 0);
                }
                found = checksums.emplace(extent, checksum).first;
            }
            changed = changed || found->second != entry->checksum;
        }
    }
    // A signature over the whole file can't hold once anything changed.
    const bool hasSignature = file.dsigTag_ != 0 || file.dsigLength_ != 0 || file.dsigOffset_ != 0;
    const bool dropSignature = hasSignature && changed;

    // Everything that stays where it is: header, directories, tables kept.
    std::vector<Extent> kept;
    const std::uint64_t headerSize = source->structures.front().bytes.size();
    kept.push_back({0, headerSize});
    for (std::size_t i = 0; i < count; ++i) {
        kept.push_back({file.directoryAt_[i], source->structures[i + 1].bytes.size()});
        for (const auto& entry : file.members[i].directory.tables) {
            if (entry->length > 0 && !(freshOf[i] && entry->hasTag("name"))) {
                kept.push_back({entry->offset, entry->length});
            }
        }
    }
    if (hasSignature && !dropSignature && file.dsigLength_ > 0) {
        kept.push_back({file.dsigOffset_, file.dsigLength_});
    }
    std::sort(kept.begin(), kept.end());
    std::uint64_t end = 0;
    for (const Extent& extent : kept) {
        end = std::max(end, extent.end());
    }
    // A new table goes where the one it replaces was, if it fits before
    // whatever follows; else at the end.
    std::vector<Patch> patches;
    std::vector<FreshName*> appended;
    for (FreshName& name : fresh) {
        if (!name.oldPlace) {
            appended.push_back(&name);
            continue;
        }
        const Extent old = *name.oldPlace;
        const auto next =
            std::upper_bound(kept.begin(), kept.end(), Extent{old.offset, 0},
                             [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
        const std::uint64_t start = filecore::roundUp4(old.offset);
        const std::uint64_t room = filecore::roundUp4(start + name.bytes.size());
        if (next != kept.end() && room > next->offset) {
            appended.push_back(&name);
            patches.push_back({old.offset, {}, old.length});
            continue;
        }
        name.offset = start;
        patches.push_back({old.offset, {}, start - old.offset});
        patches.push_back({start, name.bytes, 0});
        // Last in the file, it takes just the room it needs.
        const std::uint64_t zeroedTo = next == kept.end() ? room : std::max(old.end(), room);
        patches.push_back({start + name.bytes.size(), {}, zeroedTo - start - name.bytes.size()});
        kept.insert(next, Extent{old.offset, zeroedTo - old.offset});
        end = std::max(end, zeroedTo);
    }
    if (dropSignature && file.dsigLength_ > 0) {
        patches.push_back({file.dsigOffset_, {}, file.dsigLength_});
    }
    end = filecore::roundUp4(end);
    // What was zeroed past the last byte kept is simply left out.
    for (Patch& patch : patches) {
        patch.zeros = std::min(patch.zeros, end - std::min(end, patch.offset));
    }
    for (FreshName* name : appended) {
        name->offset = end;
        patches.push_back({end, name->bytes, 0});
        const std::uint64_t tableEnd = end + name->bytes.size();
        end = filecore::roundUp4(tableEnd);
        patches.push_back({tableEnd, {}, end - tableEnd});
    }
    if (end > std::numeric_limits<std::uint32_t>::max()) {
        return SaveError::WriteError;  // offsets are 32-bit
    }

    // The header and every directory, as they are to be written.
    std::vector<std::vector<std::uint8_t>> structures;
    structures.push_back(source->structures.front().bytes);
    if (dropSignature) {
        const std::size_t at = headerSize - kSignatureFieldsSize;
        std::fill(structures.front().begin() + static_cast<std::ptrdiff_t>(at),
                  structures.front().end(), std::uint8_t{0});
    }
    struct Update {
        DirectoryEntry* entry;
        std::uint32_t checksum, offset, length;
    };
    std::vector<Update> updates;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> bytes = source->structures[i + 1].bytes;
        const auto& tables = file.members[i].directory.tables;
        for (std::size_t j = 0; j < tables.size(); ++j) {
            DirectoryEntry& entry = *tables[j];
            Update update{&entry, 0, entry.offset, entry.length};
            if (freshOf[i] && entry.hasTag("name")) {
                const FreshName& name = fresh[*freshOf[i]];
                update = {&entry, filecore::tableChecksum(name.bytes),
                          static_cast<std::uint32_t>(name.offset),
                          static_cast<std::uint32_t>(name.bytes.size())};
            } else if (entry.length > 0) {
                update.checksum = checksums.at({entry.offset, entry.length});
            } else if (entry.offset > end) {
                update.offset = static_cast<std::uint32_t>(end);  // nothing there any more
            }
            const std::size_t at = kOffsetTableSize + kTableRecordSize * j;
            filecore::storeU32(bytes, at + 4, update.checksum);
            filecore::storeU32(bytes, at + 8, update.offset);
            filecore::storeU32(bytes, at + 12, update.length);
            updates.push_back(update);
        }
        structures.push_back(std::move(bytes));
    }
    patches.push_back({0, structures.front(), 0});
    for (std::size_t i = 0; i < count; ++i) {
        patches.push_back({file.directoryAt_[i], structures[i + 1], 0});
    }

    // The new file: the patches in place, everything between them copied.
    std::erase_if(patches, [](const Patch& patch) { return patch.end() == patch.offset; });
    std::sort(patches.begin(), patches.end(),
              [](const Patch& a, const Patch& b) { return a.offset < b.offset; });
    saveplan::Output out;
    const auto copyUpTo = [&](std::uint64_t to) {
        const std::uint64_t from = out.size();
        const std::uint64_t copied = std::min(to, std::max(from, input.size())) - from;
        out.copy(from, copied);
        out.zeros(to - from - copied);
    };
    for (const Patch& patch : patches) {
        copyUpTo(patch.offset);
        if (patch.bytes.empty()) {
            out.zeros(patch.zeros);
        } else {
            out.bytes(patch.bytes);
        }
    }
    copyUpTo(end);

    const bool replacesSource = filecore::identityOf(path) == source->identity;
    filecore::FileReplacement output;
    if (!output.create(path, error) || !out.write(output, input, error) || !output.commit(error)) {
        return fromFileError(error, reason);
    }
    if (replacesSource) {
        // The collection read is gone: what was written is the one from now on.
        auto now = std::make_shared<SourceFile>();
        filecore::InputFile reopened;
        if (reopened.open(path, error) && now->describe(reopened, reason)) {
            now->structures.push_back({0, structures.front()});
            for (std::size_t i = 0; i < count; ++i) {
                now->structures.push_back({file.directoryAt_[i], structures[i + 1]});
            }
        }
        for (const Update& update : updates) {
            update.entry->checksum = update.checksum;
            update.entry->offset = update.offset;
            update.entry->length = update.length;
        }
        const std::shared_ptr<const SourceFile> shared = std::move(now);
        for (std::size_t i = 0; i < count; ++i) {
            file.members[i].directory.source = shared;
            if (freshOf[i]) {
                file.namesAsLoaded_[i] = std::move(written[i]);
            }
        }
        if (dropSignature) {
            file.dsigTag_ = file.dsigLength_ = file.dsigOffset_ = 0;
        }
        reason.clear();
    }
    return SaveError::None;
}

bool loadFontFile(const char* path, FontFile& file) {
    const std::string name = path == nullptr ? std::string() : std::string(path);
    std::string reason;
    const LoadError error = readFontFile(name, file, reason);
    if (error != LoadError::None) {
        reportError(messageOf(error), name, reason);
        return false;
    }
    return true;
}

bool saveFontFile(const char* path, FontFile& file) {
    const std::string name = path == nullptr ? std::string() : std::string(path);
    std::string reason;
    const SaveError error = writeFontFile(name, file, reason);
    if (error != SaveError::None) {
        reportError(messageOf(error), name, reason);
        return false;
    }
    return true;
}
