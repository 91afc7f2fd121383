#include "FontFile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "ByteOrder.h"
#include "Checksum.h"
#include "FileFailures.h"
#include "FontStore.h"
#include "SavePlan.h"
#include "SfntReader.h"

namespace {

constexpr std::uint64_t kSignatureFieldsSize = 12;  // a 2.0 header's DSIG tag, length, offset
// Fonts that share a name table each hold its records. Beyond the file's own
// size plus this, sharing would make a small file take memory without bound.
constexpr std::uint64_t kSharedNamesAllowance = std::uint64_t{1} << 20;

struct Extent {
    std::uint64_t offset = 0, length = 0;
    std::uint64_t end() const { return offset + length; }
    // clang-tidy 14 sees a literal 0 in a defaulted <=>.
    // NOLINTNEXTLINE(modernize-use-nullptr)
    auto operator<=>(const Extent&) const = default;
};

std::string fontNumber(std::size_t index) {
    return std::to_string(index + 1);
}

LoadError invalid(std::string& reason, std::string problem) {
    reason = std::move(problem);
    return LoadError::Invalid;
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

using NameTables = std::map<Extent, std::vector<std::uint8_t>>;

// The name tables of `loaded`, read once each (`tables` holds those read
// already) and given to every font that points at them.
LoadError readNames(const filecore::InputFile& input, FontFile& loaded, NameTables tables,
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
    if (loaded.isCollection()) {
        asLoaded.assign(loaded.members.size(), {});
    }
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
            reason = result == LoadError::Invalid
                         ? "a name record or string lies outside the 'name' table"
                         : "the 'name' table's strings could never be written back in one";
            if (loaded.isCollection()) {
                reason.insert(0, "font #" + fontNumber(i) + ": ");
            }
            reason = filecore::sentenceOf(reason);
            return result;
        }
        // Unedited names write these bytes; a failure shows again at a save.
        if (loaded.isCollection()) {
            (void)member.names.write(asLoaded[i]);
        }
    }
    return LoadError::None;
}

LoadError readSingleFont(const filecore::InputFile& input, FontFile& loaded,
                         std::vector<std::uint64_t>& directoryAt, NameTables& nameTables,
                         std::string& reason) {
    FontMember member;
    std::vector<std::uint8_t> nameTable;
    filecore::SfntError problem;
    if (member.directory.read(input, nameTable, problem) != LoadError::None) {
        return fromSfntError(problem, reason);
    }
    if (const DirectoryEntry* name = member.directory.find("name"); name != nullptr) {
        nameTables.emplace(Extent{name->offset, name->length}, std::move(nameTable));
    }
    loaded.members.push_back(std::move(member));
    directoryAt.assign(1, 0);
    return LoadError::None;
}

// The collection as the file core reads it, and what a save that leaves
// every table where it is needs on top: no table sharing bytes with the
// header, a directory or the signature, and tables of different fonts
// either the very same (shared) or apart.
LoadError readCollection(const filecore::InputFile& input, FontFile& loaded,
                         std::vector<std::uint64_t>& directoryAt,
                         std::array<std::uint32_t, 3>& dsig, std::string& reason) {
    filecore::CollectionHeader header;
    std::vector<filecore::FontDirectory> fonts;
    filecore::SfntError problem;
    if (!filecore::readCollection(input, header, fonts, problem)) {
        return fromSfntError(problem, reason);
    }
    SourceFile::Structure headerBytes{0, std::vector<std::uint8_t>(header.size())};
    filecore::FileError error;
    if (!input.readAt(0, headerBytes.bytes, error)) {
        return fromSfntError(filecore::SfntError::ofRead(error), reason);
    }
    auto source = std::make_shared<SourceFile>();
    if (!source->describe(input, reason)) {
        return LoadError::CannotOpen;
    }
    source->structures.push_back(std::move(headerBytes));
    loaded.collectionVersion = header.version;
    dsig = {header.dsigTag.value(), header.dsigLength, header.dsigOffset};

    // Every structure and table: (extent, font, or a mark for the header,
    // directories and signature).
    constexpr std::size_t kStructure = std::numeric_limits<std::size_t>::max();
    std::vector<std::pair<Extent, std::size_t>> extents{{{0, header.size()}, kStructure}};
    if (header.dsigTag == filecore::Tag("DSIG") && header.dsigLength > 0) {
        extents.push_back({{header.dsigOffset, header.dsigLength}, kStructure});
    }
    directoryAt.clear();
    loaded.members.resize(fonts.size());
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        extents.push_back({{fonts[i].at, fonts[i].bytes.size()}, kStructure});
        for (const filecore::TableRecord& table : fonts[i].tables) {
            if (table.length > 0) {
                extents.push_back({{table.offset, table.length}, i});
            }
        }
        loaded.members[i].directory.assign(fonts[i]);
        directoryAt.push_back(fonts[i].at);
        source->structures.push_back({fonts[i].at, std::move(fonts[i].bytes)});
    }
    std::sort(extents.begin(), extents.end());
    for (std::size_t k = 1; k < extents.size(); ++k) {
        const auto& [before, beforeFont] = extents[k - 1];
        const auto& [after, afterFont] = extents[k];
        if (after.offset >= before.end() || (before == after && beforeFont != kStructure &&
                                             afterFont != kStructure && beforeFont != afterFont)) {
            continue;
        }
        if (beforeFont != kStructure && afterFont != kStructure) {
            return invalid(reason, "Tables of fonts #" + fontNumber(beforeFont) + " and #" +
                                       fontNumber(afterFont) + " overlap.");
        }
        const std::size_t font = beforeFont == kStructure ? afterFont : beforeFont;
        return invalid(reason, font == kStructure
                                   ? "The collection's signature overlaps its header or a "
                                     "table directory."
                                   : "A table of font #" + fontNumber(font) +
                                         " overlaps the collection's header, a table directory "
                                         "or the signature.");
    }
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
                            filecore::Tag(filecore::loadU32(tag, 0)) == filecore::kCollectionTag;
    FontFile loaded;
    std::vector<std::uint64_t> directoryAt;
    std::array<std::uint32_t, 3> dsig{};
    NameTables nameTables;
    LoadError result = collection ? readCollection(input, loaded, directoryAt, dsig, reason)
                                  : readSingleFont(input, loaded, directoryAt, nameTables, reason);
    std::vector<std::vector<std::uint8_t>> asLoaded;
    if (result == LoadError::None) {
        result = readNames(input, loaded, std::move(nameTables), asLoaded, reason);
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
        return writeFont(path, font.directory, font.names, reason);
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
    // A 'name' table's bytes may also be another font's table of another
    // tag: then they stay too.
    std::map<Extent, FreshName*> replacing;
    for (FreshName& name : fresh) {
        if (name.oldPlace) {
            replacing[*name.oldPlace] = &name;
        }
    }
    for (std::size_t i = 0; i < count && !replacing.empty(); ++i) {
        for (const auto& entry : file.members[i].directory.tables) {
            const auto found = replacing.find({entry->offset, entry->length});
            if (found != replacing.end() && !(freshOf[i] && entry->hasTag("name"))) {
                found->second->oldPlace.reset();
            }
        }
    }

    filecore::InputFile input;
    if (const SaveError error = source->reopen(input, reason); error != SaveError::None) {
        return error;
    }
    // 'head' is summed with checkSumAdjustment as zero, as in a single font.
    filecore::FileError error;
    std::map<Extent, std::uint32_t> adjustments;
    for (std::size_t i = 0; i < count; ++i) {
        const DirectoryEntry* head = file.members[i].directory.find("head");
        if (head != nullptr && head->length >= filecore::kHeadChecksumAdjustmentOffset + 4) {
            std::array<std::uint8_t, 4> word{};
            if (!input.readAt(head->offset + filecore::kHeadChecksumAdjustmentOffset, word,
                              error)) {
                return fromSourceError(error, reason);
            }
            adjustments[{head->offset, head->length}] = filecore::loadU32(word, 0);
        }
    }
    // The same bytes may be 'head' in one font and another table in the next.
    const auto adjustmentOf = [&adjustments](const DirectoryEntry& entry) {
        const auto found = adjustments.find({entry.offset, entry.length});
        return found == adjustments.end() || !entry.hasTag("head") ? 0 : found->second;
    };
    // With no name edited, only a checksum that was wrong changes the file;
    // finding out takes a pass over the tables before anything is written.
    bool changed = !fresh.empty();
    if (!changed) {
        saveplan::SourceSums sums(input);
        std::map<Extent, std::uint32_t> checked;
        for (std::size_t i = 0; i < count && !changed; ++i) {
            for (const auto& entry : file.members[i].directory.tables) {
                const Extent extent{entry->offset, entry->length};
                auto found = checked.find(extent);
                if (entry->length > 0 && found == checked.end()) {
                    std::uint32_t checksum = 0;
                    if (!sums.sum(entry->offset, entry->length, checksum, error)) {
                        return fromSourceError(error, reason);
                    }
                    found = checked.emplace(extent, checksum).first;
                }
                changed = changed || (entry->length > 0 &&
                                      found->second - adjustmentOf(*entry) != entry->checksum);
            }
        }
    }
    // A signature over the whole file can't hold once anything changed.
    const bool hasSignature = file.dsigTag_ != 0 || file.dsigLength_ != 0 || file.dsigOffset_ != 0;
    const bool dropSignature = hasSignature && changed;
    // Only a DSIG tag makes the other two fields a place in the file.
    const bool signatureBytes =
        file.dsigTag_ == filecore::Tag("DSIG").value() && file.dsigLength_ > 0;

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
    // A signature kept keeps its place, an empty one too: its offset must
    // still lie within the file, where trailing bytes past every table
    // would otherwise be left out from under it.
    if (file.dsigTag_ == filecore::Tag("DSIG").value() && !dropSignature) {
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
        // Another new table may have grown into this place already.
        const bool taken = next != kept.begin() && std::prev(next)->end() > start;
        if (taken || (next != kept.end() && room > next->offset)) {
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
    if (signatureBytes && dropSignature) {
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
    // Checksums of the tables copied are known once they were copied.
    saveplan::Output out;
    struct Update {
        DirectoryEntry* entry;
        std::uint32_t checksum, offset, length;
        std::optional<std::size_t> sum;  // in `out`
        std::size_t structure, at;       // where the checksum goes
    };
    std::vector<Update> updates;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> bytes = source->structures[i + 1].bytes;
        const auto& tables = file.members[i].directory.tables;
        for (std::size_t j = 0; j < tables.size(); ++j) {
            DirectoryEntry& entry = *tables[j];
            const std::size_t at = filecore::kOffsetTableSize + filecore::kTableRecordSize * j;
            Update update{&entry, 0, entry.offset, entry.length, std::nullopt, i + 1, at + 4};
            if (freshOf[i] && entry.hasTag("name")) {
                const FreshName& name = fresh[*freshOf[i]];
                update.checksum = filecore::tableChecksum(name.bytes);
                update.offset = static_cast<std::uint32_t>(name.offset);
                update.length = static_cast<std::uint32_t>(name.bytes.size());
            } else if (entry.length > 0) {
                update.sum = out.sumSource(entry.offset, entry.length);
            } else if (entry.offset > end) {
                update.offset = static_cast<std::uint32_t>(end);  // nothing there any more
            }
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
    const auto copyUpTo = [&](std::uint64_t to) {
        const std::uint64_t from = out.size();
        if (to <= from) {
            return;
        }
        const std::uint64_t copied = std::min(to, std::max(from, input.size())) - from;
        out.copy(from, copied);
        out.zeros(to - from - copied);
    };
    for (const Patch& patch : patches) {
        // A place zeroed that a new table grew into: the table came first.
        if (patch.bytes.empty() && patch.offset < out.size()) {
            out.zeros(patch.end() - std::min(patch.end(), out.size()));
            continue;
        }
        copyUpTo(patch.offset);
        if (patch.bytes.empty()) {
            out.zeros(patch.zeros);
        } else {
            out.bytes(patch.bytes);
        }
    }
    copyUpTo(end);

    filecore::FileReplacement output;
    if (!output.create(path, error)) {
        return fromFileError(error, reason);
    }
    const bool replacesSource = output.replaced() == source->identity;
    if (!out.write(output, input, error)) {
        return fromSourceError(error, reason);
    }
    for (Update& update : updates) {
        if (update.sum) {
            update.checksum = out.sum(*update.sum) - adjustmentOf(*update.entry);
            filecore::storeU32(structures[update.structure], update.at, update.checksum);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!output.writeAt(file.directoryAt_[i], structures[i + 1], error)) {
            return fromFileError(error, reason);
        }
    }
    if (!output.commit(error)) {
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
