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
#include <string_view>
#include <utility>
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
    // A removed record is dropped whatever its text.
    bool isDropped() const { return removed_ || (text.empty() && !keepsStoredBytes()); }
    // Taken out of the font by NameTable::remove; it stays in memory until
    // the table goes, so pointers to it stay valid.
    bool isRemoved() const { return removed_; }
    // The bytes a save writes: those read while unedited, else the text in
    // the record's encoding; nothing when the encoding can't hold the text.
    std::optional<std::vector<std::uint8_t>> bytesToWrite() const;
    // Could a save write the record with `newText`: either it is the text as
    // read, whose bytes are kept, or the record's encoding holds it.
    bool canStore(std::string_view newText) const;
    // The bytes as read (empty for an added record).
    const std::vector<std::uint8_t>& storedBytes() const { return storedBytes_; }

  private:
    friend class NameTable;
    std::vector<std::uint8_t> storedBytes_;
    std::string textAsRead_;
    bool fromFile_ = false;
    bool removed_ = false;
};

// A language-tag string of a format-1 table, carried through unchanged.
struct LanguageTag {
    std::vector<std::uint8_t> bytes;
};

class NameTable {
  public:
    // Reads the name table `table` (exactly the table's bytes per the
    // directory). A string outside the table is refused as Invalid; a table
    // that could not be written back unedited (16-bit counts and offsets),
    // or whose records repeat more than a few megabytes of strings, is
    // refused as NameTableTooLarge.
    LoadError read(std::span<const std::uint8_t> table);
    // The table as a save writes it: records in their order without the
    // dropped ones, then the language tags; identical strings stored once,
    // in the order first met, the longest moved last where only that lets
    // every string start within a 16-bit offset. NameTableTooLarge only when
    // no layout fits. Leaves the records as they are, whatever the outcome.
    SaveError write(std::vector<std::uint8_t>& out) const;

    // find, first and next pass over removed records.
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

    // Takes the record out of the font. It is not freed, so that pointers to
    // it (a window's, a plan's) stay valid; a save leaves it out.
    void remove(NameRecord& record);

    // The records as they stand, to go back to: a window that can be
    // cancelled takes one when it opens.
    struct Snapshot {
        std::vector<std::pair<NameRecord*, NameRecord>> records;
    };
    Snapshot snapshot() const;
    // Every record of the snapshot back as it was, in its place and at its
    // address; records added since are freed.
    void restore(const Snapshot& snapshot);

    std::uint16_t format = 0;
    // Owned records in table order.
    std::vector<std::unique_ptr<NameRecord>> records;
    // Format 1 only: the language tags, written after the name strings.
    std::vector<LanguageTag> languageTags;

  private:
    // The record at the cursor or the first one after it still in the font.
    NameRecord* current();
    // Right after read(): whether the table as read can be written back,
    // its records' and tags' strings taking `stringBytes` together.
    LoadError fitsWhenWritten(std::size_t stringBytes) const;

    std::size_t cursor_ = 0;
};
