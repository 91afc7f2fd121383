#include "FontStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "ByteOrder.h"
#include "Checksum.h"
#include "FileFailures.h"
#include "Files.h"
#include "SavePlan.h"
#include "SfntReader.h"

namespace {

using filecore::kOffsetTableSize;
using filecore::kTableRecordSize;

void writeToStandardError(std::string_view message, std::string_view /*path*/,
                          std::string_view /*reason*/) {
    std::fprintf(stderr, "Error: %.*s\n", static_cast<int>(message.size()), message.data());
}

ErrorReporter& currentReporter() {
    static ErrorReporter reporter = writeToStandardError;
    return reporter;
}

// One table as the save writes it: where its bytes come from and where they go.
struct TablePlan {
    DirectoryEntry* entry = nullptr;
    std::span<const std::uint8_t> bytes;  // for 'name' and 'head'; others are copied
    std::uint32_t length = 0;
    std::uint32_t offset = 0;
    std::uint32_t checksum = 0;
    bool copied = false;
    std::size_t sum = 0;  // the copy's checksum in the output plan
};

// The offset table: the number of tables as written, the search fields as read.
void putOffsetTable(std::span<std::uint8_t> out, const TableDirectory& directory) {
    filecore::storeU32(out, 0, directory.sfntVersion);
    filecore::storeU16(out, 4, static_cast<std::uint16_t>(directory.tables.size()));
    filecore::storeU16(out, 6, directory.searchRange);
    filecore::storeU16(out, 8, directory.entrySelector);
    filecore::storeU16(out, 10, directory.rangeShift);
}

}  // namespace

void reportError(std::string_view message, std::string_view path, std::string_view reason) {
    currentReporter()(message, path, reason);
}

ErrorReporter setErrorReporter(ErrorReporter reporter) {
    if (!reporter) {
        reporter = writeToStandardError;
    }
    return std::exchange(currentReporter(), std::move(reporter));
}

const char* messageOf(LoadError error) {
    switch (error) {
        case LoadError::None:
            return "";
        case LoadError::Usage:
            return "usage:";
        case LoadError::CannotOpen:
            return "cannot open file.";
        case LoadError::Invalid:
            return "invalid ttf file.";
        case LoadError::NameTableTooLarge:
            return "name table too large.";
    }
    return "invalid ttf file.";
}

const char* messageOf(SaveError error) {
    switch (error) {
        case SaveError::None:
            return "";
        case SaveError::CannotOpen:
            return "cannot open file.";
        case SaveError::WriteError:
            return "write error.";
        case SaveError::NameTableTooLarge:
            return "name table too large.";
        case SaveError::NameNotEncodable:
            return "name cannot be encoded.";
        case SaveError::SourceChanged:
            return "file changed since it was opened.";
    }
    return "write error.";
}

LoadError readFont(const std::string& path, TableDirectory& directory, NameTable& names,
                   std::string& reason) {
    if (path.empty()) {
        return LoadError::Usage;
    }
    filecore::InputFile input;
    filecore::FileError error;
    if (!input.open(path, error)) {
        reason = error.reason;
        return LoadError::CannotOpen;
    }
    TableDirectory readDirectory;
    NameTable readNames;
    std::vector<std::uint8_t> nameTable;
    filecore::SfntError problem;
    LoadError result = readDirectory.read(input, nameTable, problem);
    input.close();
    if (result == LoadError::CannotOpen || result == LoadError::Invalid) {
        result = fromSfntError(problem, reason);
    }
    if (result == LoadError::None && readDirectory.find("name") != nullptr) {
        result = readNames.read(nameTable);
        if (result == LoadError::Invalid) {
            reason = "A name record or string lies outside the 'name' table.";
        } else if (result == LoadError::NameTableTooLarge) {
            reason = "The 'name' table's strings could never be written back in one.";
        }
    }
    if (result == LoadError::None) {
        directory = std::move(readDirectory);
        names = std::move(readNames);
    }
    return result;
}

SaveError writeFont(const std::string& path, TableDirectory& directory, const NameTable& names,
                    std::string& reason) {
    if (path.empty()) {
        return SaveError::CannotOpen;
    }
    // Everything that can be refused is refused before the file is touched.
    std::vector<std::uint8_t> nameTable;
    std::vector<TablePlan> plan;
    plan.reserve(directory.tables.size());
    std::optional<std::size_t> head;
    bool copies = false;
    std::uint64_t end = kOffsetTableSize + kTableRecordSize * directory.tables.size();
    for (const auto& entry : directory.tables) {
        TablePlan table{entry.get(), {}, entry->length};
        if (entry->hasTag("name")) {
            if (const SaveError error = names.write(nameTable); error != SaveError::None) {
                return error;
            }
            table.bytes = nameTable;
            table.length = static_cast<std::uint32_t>(nameTable.size());
        } else {
            if (entry->hasTag("head")) {
                head = plan.size();
            }
            table.copied = true;
            copies = copies || table.length > 0;
        }
        end = filecore::roundUp4(end);
        if (end + table.length > std::numeric_limits<std::uint32_t>::max()) {
            return SaveError::WriteError;  // offsets are 32-bit
        }
        table.offset = static_cast<std::uint32_t>(end);
        end += table.length;
        plan.push_back(table);
    }
    // Every other table comes from the file the font was read from, which
    // must still be the one that was read.
    filecore::InputFile source;
    if (copies) {
        if (!directory.source) {
            reason = "the font was not read from a file";
            return SaveError::SourceChanged;
        }
        if (const SaveError error = directory.source->reopen(source, reason);
            error != SaveError::None) {
            return error;
        }
    }
    filecore::FileError error;
    // 'head' is summed with checkSumAdjustment as zero; the adjustment then
    // makes the whole font sum to the target. Tables start at 4-byte
    // boundaries with zero padding, so the font's sum is that of the
    // directory plus the tables' sums.
    std::vector<std::uint8_t> newHead;
    if (head) {
        TablePlan& table = plan[*head];
        newHead.resize(table.length);
        if (!source.readAt(table.entry->offset, newHead, error)) {
            return fromSourceError(error, reason);
        }
        filecore::storeU32(newHead, filecore::kHeadChecksumAdjustmentOffset, 0);
        table.bytes = newHead;
        table.copied = false;
    }
    // The directory is filled in once the copies have been summed.
    std::vector<std::uint8_t> header(kOffsetTableSize + kTableRecordSize * plan.size());
    saveplan::Output out;
    out.bytes(header);
    for (TablePlan& table : plan) {
        out.zeros(table.offset - out.size());
        if (table.copied) {
            if (table.length > 0) {
                table.sum = out.sumSource(table.entry->offset, table.length);
                out.copy(table.entry->offset, table.length);
            }
        } else {
            out.bytes(table.bytes);
            table.checksum = filecore::tableChecksum(table.bytes);
        }
    }
    // The font ends at a 4-byte boundary, as every table does.
    out.zeros(filecore::roundUp4(end) - std::min(out.size(), filecore::roundUp4(end)));

    filecore::FileReplacement output;
    if (!output.create(path, error)) {
        return fromFileError(error, reason);
    }
    const bool replacesSource = directory.source && output.replaced() == directory.source->identity;
    std::array<std::uint8_t, 4> adjustment{};
    const auto fillIn = [&] {
        putOffsetTable(header, directory);
        std::uint32_t fontSum = 0;
        for (std::size_t i = 0; i < plan.size(); ++i) {
            TablePlan& table = plan[i];
            if (table.copied) {
                table.checksum = table.length == 0 ? 0 : out.sum(table.sum);
            }
            const std::size_t at = kOffsetTableSize + kTableRecordSize * i;
            filecore::storeU32(header, at, table.entry->tag.value());
            filecore::storeU32(header, at + 4, table.checksum);
            filecore::storeU32(header, at + 8, table.offset);
            filecore::storeU32(header, at + 12, table.length);
            fontSum += table.checksum;
        }
        fontSum += filecore::tableChecksum(header);
        filecore::storeU32(adjustment, 0, filecore::kFontChecksumTarget - fontSum);
        // 'head' was summed with the adjustment as zero, as its checksum is.
        if (head) {
            std::copy(adjustment.begin(), adjustment.end(),
                      newHead.begin() + filecore::kHeadChecksumAdjustmentOffset);
        }
    };
    bool filledInWritten = false;
    if (!out.write(output, source, error, fillIn, filledInWritten)) {
        return fromSourceError(error, reason);
    }
    if ((!filledInWritten &&
         (!output.writeAt(0, header, error) ||
          (head && !output.writeAt(plan[*head].offset + filecore::kHeadChecksumAdjustmentOffset,
                                   adjustment, error)))) ||
        !output.commit(error)) {
        return fromFileError(error, reason);
    }
    if (replacesSource) {
        // The font read is gone: what was written is the font from now on.
        auto written = std::make_shared<SourceFile>();
        filecore::InputFile input;
        if (input.open(path, error) && written->describe(input, reason)) {
            written->structures.push_back({0, header});
        }
        for (const TablePlan& table : plan) {
            table.entry->checksum = table.checksum;
            table.entry->offset = table.offset;
            table.entry->length = table.length;
        }
        directory.source = std::move(written);
        reason.clear();
    }
    return SaveError::None;
}

bool loadFont(const char* path, TableDirectory& directory, NameTable& names) {
    const std::string name = path == nullptr ? std::string() : std::string(path);
    std::string reason;
    const LoadError error = readFont(name, directory, names, reason);
    if (error != LoadError::None) {
        reportError(messageOf(error), name, reason);
        return false;
    }
    return true;
}

bool saveFont(const char* path, TableDirectory& directory, NameTable& names) {
    const std::string name = path == nullptr ? std::string() : std::string(path);
    std::string reason;
    const SaveError error = writeFont(name, directory, names, reason);
    if (error != SaveError::None) {
        reportError(messageOf(error), name, reason);
        return false;
    }
    return true;
}

bool canReplace(const std::string& path, std::string& reason, std::string* folderOut) {
    std::string resolved;
    std::optional<filecore::FileIdentity> existing;
    filecore::FileError error;
    if (filecore::FileReplacement::check(path, resolved, existing, error)) {
        return true;
    }
    reason = error.reason;
    // The check gives the reason, not whether the file or its folder gave
    // it: a folder that can't be written is told as the folder. The new file
    // is made beside the old one, where a link leads, and renamed over it.
    std::error_code failed;
    std::filesystem::path folder = std::filesystem::weakly_canonical(path, failed).parent_path();
    if (failed || folder.empty()) {
        folder = std::filesystem::path(path).parent_path();
    }
    if (folder.empty()) {
        folder = ".";
    }
    if (folderOut != nullptr && access(folder.c_str(), W_OK | X_OK) != 0) {
        reason = std::strerror(errno);
        *folderOut = folder.string();
    }
    return false;
}

std::uint64_t hardLinkCount(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_nlink : 0;
}

bool isCollection(const std::string& path) {
    filecore::InputFile input;
    filecore::FileError error;
    std::array<std::uint8_t, 4> tag{};
    return input.open(path, error) && input.size() >= tag.size() && input.readAt(0, tag, error) &&
           filecore::loadU32(tag, 0) == 0x74746366;  // 'ttcf'
}
