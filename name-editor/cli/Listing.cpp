#include "Listing.h"

#include <array>
#include <cstdio>
#include <optional>

#include "NameTable.h"

namespace names {

namespace {

// Records the font would keep: an emptied record is gone from the saved font.
bool shown(const NameRecord& record, const RecordSelection& filter) {
    return !record.isDropped() && filter.matches(record);
}

}  // namespace

std::string listLine(const NameRecord& record) {
    std::array<char, 48> fields{};
    std::snprintf(fields.data(), fields.size(), "%3u %2u 0x%04X %5u  ", unsigned{record.platformID},
                  unsigned{record.encodingID}, unsigned{record.languageID},
                  unsigned{record.nameID});
    std::string line = fields.data();
    for (const char c : record.text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else if (c == '\\') {
            line += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\x%02X", unsigned{byte});
            line += escape.data();
        } else {
            line += c;
        }
    }
    return line;
}

std::vector<std::string> listLines(NameTable& names, const RecordSelection& filter) {
    std::vector<std::string> lines;
    for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
        if (shown(*record, filter)) {
            lines.push_back(listLine(*record));
        }
    }
    return lines;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04X", unsigned{byte});
            out += escape.data();
        } else {
            out += c;
        }
    }
    return out + '"';
}

void writeJsonFont(TextOut& out, std::string_view file, const std::optional<std::uint32_t>& member,
                   NameTable& names, const RecordSelection& filter) {
    out << "  {\"file\": " << jsonString(file);
    if (member) {
        out << ", \"font\": " << *member;
    }
    out << ", \"names\": [";
    const char* separator = "\n";
    for (NameRecord* record = names.first(); record != nullptr; record = names.next()) {
        if (!shown(*record, filter)) {
            continue;
        }
        out << separator << "    {\"platformID\": " << record->platformID
            << ", \"platEncID\": " << record->encodingID << ", \"langID\": " << record->languageID
            << ", \"nameID\": " << record->nameID << ", \"string\": " << jsonString(record->text)
            << '}';
        separator = ",\n";
    }
    out << (*separator == ',' ? "\n  ]}" : "]}");
}

}  // namespace names
