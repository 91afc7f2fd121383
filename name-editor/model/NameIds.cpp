#include "NameIds.h"

#include <array>
#include <span>

#include "ByteReader.h"

namespace {

// The standard names, after the OpenType 'name' table chapter's list of name IDs.
constexpr std::array<const char*, 26> kStandardNames = {
    "Copyright",
    "Family",
    "Subfamily",
    "Unique Identifier",
    "Full Name",
    "Version",
    "PostScript Name",
    "Trademark",
    "Manufacturer",
    "Designer",
    "Description",
    "Vendor URL",
    "Designer URL",
    "License Description",
    "License Info URL",
    "Reserved",
    "Typographic Family",
    "Typographic Subfamily",
    "Compatible Full (Macintosh)",
    "Sample Text",
    "PostScript CID findfont Name",
    "WWS Family",
    "WWS Subfamily",
    "Light Background Palette",
    "Dark Background Palette",
    "Variations PostScript Name Prefix",
};

constexpr std::uint16_t kFirstFontSpecific = 256, kLastFontSpecific = 32767;

std::vector<std::uint8_t> bytesOf(const TableDirectory& directory, std::string_view tag) {
    return directory.readTable(tag);
}

// The first use found is kept: a name ID that several records point at is
// named after the first.
void note(NameIdUses& uses, std::uint16_t nameID, std::string use) {
    if (nameID >= kFirstFontSpecific) {
        uses.emplace(nameID, std::move(use));
    }
}

// 'fvar': each axis's name, each instance's subfamily and PostScript name.
void readFvar(std::span<const std::uint8_t> fvar, NameIdUses& uses) {
    filecore::ByteReader header(fvar);
    std::uint16_t major = 0, minor = 0, axesOffset = 0, reserved = 0, axisCount = 0, axisSize = 0,
                  instanceCount = 0, instanceSize = 0;
    if (!header.u16(major) || !header.u16(minor) || !header.u16(axesOffset) ||
        !header.u16(reserved) || !header.u16(axisCount) || !header.u16(axisSize) ||
        !header.u16(instanceCount) || !header.u16(instanceSize) || major != 1) {
        return;
    }
    constexpr std::size_t kAxisNameAt = 18, kLeastAxisSize = 20;
    if (axisSize < kLeastAxisSize) {
        return;
    }
    filecore::ByteReader axes(fvar, axesOffset);
    for (std::uint16_t i = 0; i < axisCount; ++i) {
        filecore::Tag tag;
        std::uint16_t nameID = 0;
        const std::size_t start = axes.position();
        if (axes.position() != axesOffset + std::size_t{i} * axisSize || !axes.tag(tag) ||
            !axes.seek(start + kAxisNameAt) || !axes.u16(nameID) || !axes.seek(start + axisSize)) {
            return;
        }
        note(uses, nameID, "fvar axis '" + tag.printable() + "'");
    }
    // An instance is its subfamily ID, flags, a coordinate per axis and,
    // when the record is two bytes longer, its PostScript name ID.
    const std::size_t coordinates = 4 * std::size_t{axisCount};
    const std::size_t withoutPostScript = 4 + coordinates;
    if (instanceSize != withoutPostScript && instanceSize != withoutPostScript + 2) {
        return;
    }
    for (std::uint16_t i = 0; i < instanceCount; ++i) {
        std::uint16_t subfamilyID = 0, flags = 0, postScriptID = 0;
        const std::size_t start = axes.position();
        if (!axes.u16(subfamilyID) || !axes.u16(flags) || !axes.skip(coordinates)) {
            return;
        }
        note(uses, subfamilyID, "fvar instance subfamily");
        if (instanceSize > withoutPostScript) {
            if (!axes.u16(postScriptID)) {
                return;
            }
            // 0xFFFF says the instance has no PostScript name.
            if (postScriptID != 0xFFFF) {
                note(uses, postScriptID, "fvar instance PostScript name");
            }
        }
        if (axes.position() != start + instanceSize) {
            return;
        }
    }
}

// 'STAT': each design axis's name, each axis value's name, the elided
// fallback name.
void readStat(std::span<const std::uint8_t> stat, NameIdUses& uses) {
    filecore::ByteReader header(stat);
    std::uint16_t major = 0, minor = 0, axisSize = 0, axisCount = 0, valueCount = 0,
                  elidedFallback = 0;
    std::uint32_t axesOffset = 0, valuesOffset = 0;
    if (!header.u16(major) || !header.u16(minor) || !header.u16(axisSize) ||
        !header.u16(axisCount) || !header.u32(axesOffset) || !header.u16(valueCount) ||
        !header.u32(valuesOffset) || major != 1) {
        return;
    }
    if (minor >= 1 && header.u16(elidedFallback)) {
        note(uses, elidedFallback, "STAT elided fallback name");
    }
    constexpr std::size_t kLeastAxisSize = 8;
    if (axisSize >= kLeastAxisSize) {
        for (std::uint16_t i = 0; i < axisCount; ++i) {
            filecore::ByteReader axis(stat);
            filecore::Tag tag;
            std::uint16_t nameID = 0;
            if (!axis.seek(std::size_t{axesOffset} + std::size_t{i} * axisSize) || !axis.tag(tag) ||
                !axis.u16(nameID)) {
                break;
            }
            note(uses, nameID, "STAT axis '" + tag.printable() + "'");
        }
    }
    // Each axis value table holds its name ID at byte 6, in all four formats.
    constexpr std::size_t kValueNameAt = 6;
    filecore::ByteReader offsets(stat);
    if (!offsets.seek(valuesOffset)) {
        return;
    }
    for (std::uint16_t i = 0; i < valueCount; ++i) {
        std::uint16_t offset = 0, nameID = 0;
        if (!offsets.u16(offset)) {
            return;
        }
        filecore::ByteReader value(stat);
        if (value.seek(std::size_t{valuesOffset} + offset + kValueNameAt) && value.u16(nameID)) {
            note(uses, nameID, "STAT axis value");
        }
    }
}

}  // namespace

NameIdUses nameIdUsesOf(TableDirectory& directory) {
    NameIdUses uses;
    readFvar(bytesOf(directory, "fvar"), uses);
    readStat(bytesOf(directory, "STAT"), uses);
    return uses;
}

const char* standardNameOf(std::uint16_t nameID) {
    return nameID < kStandardNames.size() ? kStandardNames[nameID] : "";
}

std::string nameIdLabel(std::uint16_t nameID, const NameIdUses& uses) {
    std::string label = std::to_string(nameID) + ' ';
    if (nameID < kStandardNames.size()) {
        return label + kStandardNames[nameID];
    }
    if (nameID < kFirstFontSpecific || nameID > kLastFontSpecific) {
        return label + "reserved";
    }
    label += "font-specific";
    if (const auto use = uses.find(nameID); use != uses.end()) {
        label += ": " + use->second;
    }
    return label;
}
