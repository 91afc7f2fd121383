// The font's name table as editable records: each record holds its name as
// text in the ANSI code page (UTF-8 here), and keeps the bytes it was read
// with so that an unedited name is written back exactly as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "FontFile.h"

struct NameRecord {
    std::uint16_t platformID = 0, encodingID = 0, languageID = 0, nameID = 0, offset = 0,
                  length = 0;
    // The name as text in the ANSI code page; never holds a zero byte.
    std::string text;

    bool read(FontFile& file, std::int64_t stringBase);
    bool write(FontFile& file, std::int64_t stringBase) const;
    void decodeText(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> encodeText() const;
    std::uint16_t encodedLength() const;
    // The full encoded size, which may exceed what the 16-bit length field can hold.
    std::size_t encodedSize() const;

    // Whether this pair's strings are stored as big-endian UTF-16.
    bool isUtf16() const;
    // True while the record came from the file and its text is still what was read.
    bool keepsStoredBytes() const { return fromFile_ && text == textAsRead_; }

  private:
    std::vector<std::uint8_t> storedBytes_;
    std::string textAsRead_;
    bool fromFile_ = false;
};

// A language-tag record of a format-1 table, carried through unchanged.
struct LanguageTag {
    std::uint16_t length = 0, offset = 0;
    std::vector<std::uint8_t> bytes;
};

class NameTable {
  public:
    bool read(FontFile& file);
    bool write(FontFile& file);
    void layout();
    NameRecord* find(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
                     std::uint16_t nameID);
    // `text` may be null.
    void add(std::uint16_t platformID, std::uint16_t encodingID, std::uint16_t languageID,
             std::uint16_t nameID, const char* text);
    NameRecord* first();
    NameRecord* next();
    void removeEmptyRecords();
    // False if the table as it stands would overflow a 16-bit field when written.
    bool fitsSixteenBitFields() const;
    // True when the last read stopped because the strings, each written out on
    // its own, could never fit the table's 16-bit offsets.
    bool readStoppedTooLarge() const { return readStoppedTooLarge_; }

    std::uint32_t totalLength = 0;
    std::uint16_t format = 0, count = 0, stringOffset = 0;
    // Owned records in table order; adding never moves an existing record.
    std::vector<std::unique_ptr<NameRecord>> records;
    // Format 1 only: the language tags, written after the name records.
    std::vector<LanguageTag> languageTags;

  private:
    std::size_t headerSize() const;
    std::size_t cursor_ = 0;
    bool readStoppedTooLarge_ = false;
};

// Exchanges the bytes of every complete pair; an odd last byte stays.
void swapBytePairs(std::span<std::uint8_t> bytes);
