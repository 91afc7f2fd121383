// Every file of corpus/ (written by make_corpus.py) through Kestrin's model and
// through both modes of Zelvic: each must give exactly the message and status
// that corpus/expected.tsv lists, and leave every file in its folder as it was
// except the outputs it was asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FontFile.h"
#include "FontStore.h"
#include "SfntBuilder.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

const fs::path kCorpus = fs::path(TEST_SOURCE_DIR) / "corpus";
const std::string kZelvic = std::string(PROJECT_BINARY_DIR) + "/bin/Zelvic";

struct Expected {
    std::string file;
    std::string kestrin;  // "-": the font loads
    int makeStatus = 0;
    std::string makeError;
    int breakStatus = 0;
    std::string breakError;
};

std::vector<Expected> readManifest() {
    std::ifstream in(kCorpus / "expected.tsv");
    std::vector<Expected> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) {
            fields.push_back(field == "-" ? "" : field);
        }
        if (fields.size() != 6) {
            ADD_FAILURE() << "malformed line in expected.tsv: " << line;
            continue;
        }
        cases.push_back({fields[0], fields[1], std::stoi(fields[2]), fields[3],
                         std::stoi(fields[4]), fields[5]});
    }
    return cases;
}

using Snapshot = std::map<std::string, std::vector<std::uint8_t>>;

Snapshot snapshot(const TempDir& dir) {
    Snapshot files;
    for (const std::string& name : dir.entries()) {
        files[name] = testsupport::readFileBytes(dir / name);
    }
    return files;
}

// The folder after a run: what was there before, unchanged, plus exactly `added`.
void expectOnlyAdded(const Snapshot& before, const Snapshot& after,
                     const std::vector<std::string>& added) {
    Snapshot withoutAdded = after;
    for (const std::string& name : added) {
        EXPECT_EQ(withoutAdded.erase(name), 1u) << name << " was not written";
    }
    EXPECT_EQ(withoutAdded, before) << "files other than the outputs were created or changed";
}

struct Message {
    std::string text;
    int count = 0;
};

// Records the messages the model reports while it lives.
class MessageCapture {
  public:
    MessageCapture() {
        previous_ = setErrorReporter(
            [this](std::string_view text, std::string_view, std::string_view reason) {
                // As the manifest writes it: the message, then the reason below it.
                std::string shown(text);
                if (!reason.empty()) {
                    shown.append(" / ").append(reason);
                }
                message_ = {std::move(shown), message_.count + 1};
            });
    }
    ~MessageCapture() { setErrorReporter(previous_); }
    const Message& message() const { return message_; }

  private:
    Message message_;
    ErrorReporter previous_;
};

struct ZelvicRun {
    int status = -1;
    std::string error;
    std::string output;
};

// Nothing a file holds may reach the terminal as a control byte.
bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || byte == '\n' || (byte >= 0x20 && byte != 0x7F);
    });
}

ZelvicRun runZelvic(const TempDir& dir, const std::string& arguments) {
    TempDir errors;
    const fs::path errorFile = errors / "stderr";
    const auto result =
        testsupport::runCommand("cd " + testsupport::shellQuote(dir.path().string()) + " && " +
                                testsupport::shellQuote(kZelvic) + " " + arguments + " 2>" +
                                testsupport::shellQuote(errorFile.string()));
    const auto bytes = testsupport::readFileBytes(errorFile);
    return {result.status, std::string(bytes.begin(), bytes.end()), result.output};
}

std::string errorLine(const std::string& message) {
    return message.empty() ? "" : message + "\n";
}

TEST(HostileCorpus, ListsEveryFileOfTheCorpus) {
    std::vector<std::string> listed;
    for (const Expected& expected : readManifest()) {
        listed.push_back(expected.file);
    }
    std::vector<std::string> present;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        if (entry.path().filename() != "expected.tsv") {
            present.push_back(entry.path().filename().string());
        }
    }
    std::sort(listed.begin(), listed.end());
    std::sort(present.begin(), present.end());
    EXPECT_EQ(listed, present);
    EXPECT_GE(listed.size(), 40u);
}

// A file that loads (a collection too, as Kestrin opens it) must also save
// in place and load again; one that doesn't must show exactly its message
// and touch nothing.
TEST(HostileCorpus, KestrinModelLoadsOrRefusesWithItsMessage) {
    for (const Expected& expected : readManifest()) {
        SCOPED_TRACE(expected.file);
        TempDir dir;
        fs::copy_file(kCorpus / expected.file, dir / expected.file);
        const Snapshot before = snapshot(dir);
        const std::string path = (dir / expected.file).string();

        MessageCapture capture;
        FontFile file;
        const bool loaded = loadFontFile(path.c_str(), file);
        if (!expected.kestrin.empty()) {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(capture.message().text, expected.kestrin);
            EXPECT_EQ(capture.message().count, 1);
            EXPECT_EQ(snapshot(dir), before);
            continue;
        }
        ASSERT_TRUE(loaded) << capture.message().text;
        ASSERT_TRUE(saveFontFile(path.c_str(), file)) << capture.message().text;
        EXPECT_EQ(capture.message().count, 0);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{expected.file})
            << "the save left a temporary file";
        FontFile reloaded;
        ASSERT_TRUE(loadFontFile(path.c_str(), reloaded));
        ASSERT_EQ(reloaded.count(), file.count());
        for (std::size_t i = 0; i < file.count(); ++i) {
            EXPECT_EQ(reloaded.members[i].names.records.size(),
                      file.members[i].names.records.size());
        }
    }
}

// The odd last byte of an unedited UTF-16 name survives the save.
TEST(HostileCorpus, OddLengthUtf16NameKeepsItsBytesThroughASave) {
    TempDir dir;
    const std::string path = (dir / "odd.ttf").string();
    fs::copy_file(kCorpus / "name-odd-utf16.ttf", path);
    TableDirectory directory;
    NameTable names;
    ASSERT_TRUE(loadFont(path.c_str(), directory, names));
    ASSERT_TRUE(saveFont(path.c_str(), directory, names));
    TableDirectory reloaded;
    NameTable reloadedNames;
    ASSERT_TRUE(loadFont(path.c_str(), reloaded, reloadedNames));
    const NameRecord* record = reloadedNames.find(3, 1, 0x409, 2);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->storedBytes(), (std::vector<std::uint8_t>{0, 'R', 0, 'e', 0}));
}

// A font whose `count` records all point at one table of `length` bytes.
std::vector<std::uint8_t> recordsOnOneTable(std::uint16_t count, std::uint32_t length) {
    testsupport::Bytes font;
    testsupport::putU32(font, 0x00010000);
    testsupport::putU16(font, count);
    for (int i = 0; i < 3; ++i) {
        testsupport::putU16(font, 0);
    }
    const std::uint32_t offset = 12 + 16u * count;
    for (std::uint16_t i = 0; i < count; ++i) {
        font.insert(font.end(), {'t', 'b', static_cast<std::uint8_t>('A' + i / 26 % 26),
                                 static_cast<std::uint8_t>('A' + i % 26)});
        testsupport::putU32(font, 0);
        testsupport::putU32(font, offset);
        testsupport::putU32(font, length);
    }
    font.resize(font.size() + length, 0x5A);
    return font;
}

// Records that share bytes are no font: each would hold its own copy once
// loaded, and 32768 records on one 64 KiB table (a 576 KiB file) would ask
// for 2 GiB.
TEST(HostileCorpus, RecordsSharingOneTableAreRefused) {
    TempDir dir;
    MessageCapture capture;
    const std::string shared = (dir / "shared.ttf").string();
    testsupport::writeFileBytes(shared, recordsOnOneTable(2, 1000));
    TableDirectory directory;
    NameTable names;
    EXPECT_FALSE(loadFont(shared.c_str(), directory, names));
    EXPECT_EQ(capture.message().text, "invalid ttf file. / Tables 'tbAA' and 'tbAB' overlap.");

    const std::string bomb = (dir / "bomb.ttf").string();
    testsupport::writeFileBytes(bomb, recordsOnOneTable(32768, 65537));
    TableDirectory bombDirectory;
    NameTable bombNames;
    EXPECT_FALSE(loadFont(bomb.c_str(), bombDirectory, bombNames));
    EXPECT_EQ(capture.message().text, "invalid ttf file. / Tables 'tbAA' and 'tbAB' overlap.");
    EXPECT_TRUE(bombDirectory.tables.empty());
}

TEST(HostileCorpus, ZelvicMakeTakesEachFileAsAFontOrRefusesIt) {
    for (const Expected& expected : readManifest()) {
        SCOPED_TRACE(expected.file);
        TempDir dir;
        fs::copy_file(kCorpus / expected.file, dir / expected.file);
        if (expected.file != "base.ttf") {
            fs::copy_file(kCorpus / "base.ttf", dir / "base.ttf");
        }
        const Snapshot before = snapshot(dir);
        const ZelvicRun run =
            runZelvic(dir, "out.ttc " + testsupport::shellQuote(expected.file) + " base.ttf");
        EXPECT_EQ(run.status, expected.makeStatus);
        EXPECT_EQ(run.error, errorLine(expected.makeError));
        EXPECT_TRUE(printable(run.output + run.error)) << run.output;
        expectOnlyAdded(
            before, snapshot(dir),
            run.status == 0 ? std::vector<std::string>{"out.ttc"} : std::vector<std::string>{});
    }
}

TEST(HostileCorpus, ZelvicBreakTakesEachFileAsACollectionOrRefusesIt) {
    for (const Expected& expected : readManifest()) {
        SCOPED_TRACE(expected.file);
        TempDir dir;
        fs::copy_file(kCorpus / expected.file, dir / expected.file);
        const Snapshot before = snapshot(dir);
        const ZelvicRun run = runZelvic(dir, testsupport::shellQuote(expected.file));
        EXPECT_EQ(run.status, expected.breakStatus);
        EXPECT_EQ(run.error, errorLine(expected.breakError));
        EXPECT_TRUE(printable(run.output + run.error)) << run.output;
        std::vector<std::string> outputs;
        if (run.status == 0) {
            const std::string base = expected.file.substr(0, expected.file.find('.'));
            outputs = {base + "001.TTF", base + "002.TTF"};
        }
        expectOnlyAdded(before, snapshot(dir), outputs);
    }
}

}  // namespace
