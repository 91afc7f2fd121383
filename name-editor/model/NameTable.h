// The font's name table as editable records: each record holds its name as
// UTF-8 text, read from and written in the record's own encoding (see
// NameText.h), and keeps the bytes it was read with, so that a name nobody
// edited is written back exactly as it was. The table's on-disk fields
// (count, offsets, lengths, stringOffset) are worked out when it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FontErrors.h"

struct NameRecord {
    std::uint16_t platformID = 0, encodingID = 0, languageID = 0, nameID = 0;
    // The name as UTF-8 text; never holds a zero byte. The dialog assigns it.
    std::string text;

    // True while the record came from the file and its text is still what was read.
    bool keepsStoredBytes() const { return fromFile_ && text == textAsRead_; }
    // A save leaves the record out: the user emptied it, or it was added empty.
    // A record that was empty in the file and is untouched stays.
    bool isDropped() const { return text.empty() && !keepsStoredBytes(); }
    // The bytes a save writes: those read while unedited, else the text in
    // the record's encoding; nothing when the encoding can't hold the text.
    std::optional<std::vector<std::uint8_t>> bytesToWrite() const;
    // The bytes as read (empty for an added record).
    const std::vector<std::uint8_t>& storedBytes() const { return storedBytes_; }

  private:
    friend class NameTable;
    std::vector<std::uint8_t> storedBytes_;
    std::string textAsRead_;
    bool fromFile_ = false;
};

// A language-tag string of a format-1 table, carried through unchanged.
struct LanguageTag {
    std::vector<std::uint8_t> bytes;
};

class NameTable {
  public:
    // Reads the name table `table` (exactly the table's bytes per the
    // directory). A string outside the table is refused as Invalid; strings
    // and tags that, each written out on its own, could never fit the
    // 16-bit offsets are refused as NameTableTooLarge before they are copied.
    LoadError read(std::span<const std::uint8_t> table);
    // The table as a save writes it, records in their order without the
    // dropped ones, each string once after the records, then the language
    // tags. Leaves the records as they are, whatever the outcome.
    SaveError write(std::vector<std::uint8_t>& out) const;

    NameRecord* find(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                     std::uint16_t nameID);
    // A new record, put where its (platform, encoding, language, name ID) sorts:
    // after the records with the same key, so find keeps returning the older
    // one. `text` may be null. Existing records keep their order and address.
    NameRecord* add(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                    std::uint16_t nameID, const char* text);
    NameRecord* first();
    NameRecord* next();
    // The first record a save would write whose text its encoding can't
    // hold (or has no converter for), or null.
    const NameRecord* firstUnencodable() const;
    // Would a save write names other than those read: a record's text
    // changed or emptied, or a record added with text.
    bool hasEdits() const;

    std::uint16_t format = 0;
    // Owned records in table order.
    std::vector<std::unique_ptr<NameRecord>> records;
    // Format 1 only: the language tags, written after the name strings.
    std::vector<LanguageTag> languageTags;

  private:
    std::size_t cursor_ = 0;
};
