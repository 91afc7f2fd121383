// What the model's tests share: capturing the messages, and font files
// written to a scratch folder so the model can open them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FontStore.h"
#include "SfntBuilder.h"
#include "TestFiles.h"

namespace modeltest {

struct ShownMessage {
    std::string text;
    std::string path;
    std::string reason;
};

// Records every message loadFont and saveFont report while it lives instead
// of printing it.
class MessageCapture {
  public:
    MessageCapture()
        : previous_(setErrorReporter(
              [this](std::string_view text, std::string_view path, std::string_view reason) {
                  shown.push_back({std::string(text), std::string(path), std::string(reason)});
              })) {}
    ~MessageCapture() { setErrorReporter(previous_); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    // The one message shown, or "" when none or more than one was.
    std::string only() const { return shown.size() == 1 ? shown.front().text : std::string(); }

    std::vector<ShownMessage> shown;

  private:
    ErrorReporter previous_;
};

// A loaded font together with the file it came from.
struct LoadedFont {
    TableDirectory directory;
    NameTable names;
    bool loaded = false;
};

inline void loadBytes(const testsupport::TempDir& dir, const testsupport::Bytes& bytes,
                      LoadedFont& font, const std::string& name = "font.ttf") {
    testsupport::writeFileBytes(dir / name, bytes);
    font.loaded = loadFont((dir / name).c_str(), font.directory, font.names);
}

// The bytes of the table tagged `tag` in a single-font file, or an empty vector.
inline testsupport::Bytes tableBytes(const testsupport::Bytes& font, std::string_view tag) {
    const std::size_t numTables = testsupport::getU16(font, 4);
    for (std::size_t i = 0; i < numTables; ++i) {
        const std::size_t record = testsupport::recordOffset(i);
        if (std::string_view(reinterpret_cast<const char*>(&font[record]), 4) == tag) {
            const std::size_t offset = testsupport::getU32(font, record + 8);
            const std::size_t length = testsupport::getU32(font, record + 12);
            return {font.begin() + static_cast<std::ptrdiff_t>(offset),
                    font.begin() + static_cast<std::ptrdiff_t>(offset + length)};
        }
    }
    return {};
}

// One name record of a table as stored: key and string bytes.
struct StoredName {
    std::uint16_t platformID, encodingID, languageID, nameID;
    testsupport::Bytes bytes;
    bool operator==(const StoredName&) const = default;
};

inline std::vector<StoredName> storedNames(const testsupport::Bytes& table) {
    std::vector<StoredName> names;
    const std::size_t count = testsupport::getU16(table, 2);
    const std::size_t storage = testsupport::getU16(table, 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 12 * i;
        const std::size_t length = testsupport::getU16(table, at + 8);
        const std::size_t offset = storage + testsupport::getU16(table, at + 10);
        names.push_back(
            {testsupport::getU16(table, at), testsupport::getU16(table, at + 2),
             testsupport::getU16(table, at + 4), testsupport::getU16(table, at + 6),
             testsupport::Bytes(table.begin() + static_cast<std::ptrdiff_t>(offset),
                                table.begin() + static_cast<std::ptrdiff_t>(offset + length))});
    }
    return names;
}

}  // namespace modeltest
