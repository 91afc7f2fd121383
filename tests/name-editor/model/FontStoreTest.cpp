#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "ModelTestSupport.h"

using namespace testsupport;
using modeltest::LoadedFont;
using modeltest::MessageCapture;

namespace fs = std::filesystem;

namespace {

Bytes sampleNameTable() {
    return buildNameTable({{1, 0, 0, 1, bytesOf("Mac Family")},
                           {3, 1, 0x409, 1, utf16be("Win Family")},
                           {3, 1, 0x409, 2, utf16be("Regular")}});
}

// A small font whose head table has a recognisable checkSumAdjustment.
Bytes sampleFont() {
    Bytes head = patternBytes(54, 3);
    setU32(head, 8, 0x12345678);
    return buildFont({{"OS/2", patternBytes(7, 1)},
                      {"head", head},
                      {"name", sampleNameTable()},
                      {"post", patternBytes(32, 9)}});
}

class FontStoreTest : public ::testing::Test {
  protected:
    fs::path path(const std::string& name = "font.ttf") const { return dir / name; }

    TempDir dir;
    MessageCapture messages;
    LoadedFont font;
};

// A name table whose `records` records all point at the same string of
// `stringLength` bytes: small on disk, large once every record holds its copy.
Bytes overlappingNameTable(std::uint16_t records, std::uint16_t stringLength) {
    Bytes table;
    putU16(table, 0);
    putU16(table, records);
    putU16(table, static_cast<std::uint16_t>(6 + 12 * records));
    for (std::uint16_t i = 0; i < records; ++i) {
        for (std::uint16_t field : {std::uint16_t{1}, std::uint16_t{0}, std::uint16_t{0}, i,
                                    stringLength, std::uint16_t{0}}) {
            putU16(table, field);
        }
    }
    const Bytes text = patternBytes(stringLength, 0x41);
    table.insert(table.end(), text.begin(), text.end());
    return table;
}

TEST_F(FontStoreTest, OverlappingStringsAreHeldToWhatASaveCanWrite) {
    // Three records on one string of 60000 bytes: a save stores it once.
    loadBytes(dir, buildFont({{"name", overlappingNameTable(3, 60000)}}), font);
    EXPECT_TRUE(font.loaded);
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    EXPECT_EQ(modeltest::tableBytes(readFileBytes(path()), "name"), overlappingNameTable(3, 60000));

    // 5000 would hold 300 MB for a 60 KB file.
    MessageCapture refused;
    LoadedFont big;
    loadBytes(dir, buildFont({{"name", overlappingNameTable(5000, 60000)}}), big);
    EXPECT_FALSE(big.loaded);
    EXPECT_EQ(refused.only(), "name table too large.");
}

TEST_F(FontStoreTest, LoadFailuresShowTheirMessage) {
    ASSERT_EQ(mkfifo(path("fifo.ttf").c_str(), 0600), 0);  // opened, it would wait for a writer
    EXPECT_FALSE(loadFont(nullptr, font.directory, font.names));
    EXPECT_FALSE(loadFont("", font.directory, font.names));
    EXPECT_FALSE(loadFont(path("missing.ttf").c_str(), font.directory, font.names));
    EXPECT_FALSE(loadFont(dir.path().c_str(), font.directory, font.names));
    EXPECT_FALSE(loadFont(path("fifo.ttf").c_str(), font.directory, font.names));
    ASSERT_EQ(messages.shown.size(), 5u);
    EXPECT_EQ(messages.shown[0].text, "usage:");
    EXPECT_EQ(messages.shown[1].text, "usage:");
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(messages.shown[i].text, "cannot open file.") << i;
        EXPECT_FALSE(messages.shown[i].reason.empty()) << i;
    }
    EXPECT_EQ(messages.shown[2].path, path("missing.ttf").string());
}

TEST_F(FontStoreTest, TruncatedAndHostileFilesAreInvalid) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::string reason = {};  // shown below the message, where the case names it
    };
    const Bytes good = sampleFont();
    Bytes cutTable = good;
    cutTable.resize(cutTable.size() - 30);
    Bytes hugeTable = good;
    setU32(hugeTable, recordOffset(0) + 12, 0xFFFFFFF0);
    Bytes farName = good;
    setU32(farName, recordOffset(2) + 8, 0x7FFFFFFF);
    Bytes nameCount = good;
    setU16(nameCount, getU32(good, recordOffset(2) + 8) + 2, 0xFFFF);
    Bytes outsideName = good;  // the string lies in 'post', after the name table
    setU16(outsideName, getU32(good, recordOffset(2) + 8) + 6 + 10,
           static_cast<std::uint16_t>(sampleNameTable().size()));
    Bytes collection = good;
    setU32(collection, 0, 0x74746366);  // 'ttcf'
    Bytes woff = good;
    setU32(woff, 0, 0x774F4646);  // 'wOFF'
    // 11,585 records over the whole file: each would copy 185 KB.
    Bytes spread;
    putU32(spread, 0x00010000);
    putU16(spread, 11585);
    putU16(spread, 0);
    putU32(spread, 0);
    for (std::uint32_t i = 0; i < 11585; ++i) {
        putU32(spread, 0x41414141 + i);
        putU32(spread, 0);
        putU32(spread, 0);
        putU32(spread, 12 + 16 * 11585);
    }
    const Case cases[] = {
        {"shorter than the offset table", Bytes{0, 1, 0, 0}},
        {"directory cut short", Bytes(good.begin(), good.begin() + 40),
         "The table directory (4 tables) runs past the end of the file."},
        {"last table cut short", cutTable},
        {"a 4 GB table in a small file", hugeTable},
        {"name table beyond any 32-bit position", farName},
        {"name records beyond the file", nameCount},
        {"a name string outside the name table", outsideName},
        {"a collection", collection, "This file is a TrueType Collection, not a single font."},
        {"WOFF", woff, "This is a WOFF web font, not a TrueType or OpenType font."},
        {"zeros", Bytes(256, 0)},
        {"text", bytesOf("<?xml version=\"1.0\"?><ttFont/>")},
        {"records overlapping over the whole file", spread},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedFont loaded;
        messages.shown.clear();
        modeltest::loadBytes(dir, c.bytes, loaded);
        EXPECT_FALSE(loaded.loaded);
        EXPECT_EQ(messages.only(), "invalid ttf file.");
        EXPECT_TRUE(loaded.directory.tables.empty());
        if (!c.reason.empty()) {
            EXPECT_EQ(messages.shown[0].reason, c.reason);
        }
        EXPECT_EQ(readFileBytes(path()), c.bytes);
    }
}

TEST_F(FontStoreTest, UnchangedSaveLaysTablesOutAfresh) {
    // Bodies in another physical order than the directory, a gap, trailing
    // bytes, a wrong checksum, and a zero-length table.
    const Bytes os2 = patternBytes(7, 1), post = patternBytes(33, 9);
    Bytes original = buildFont(
        {{"OS/2", os2}, {"zero", {}}, {"name", sampleNameTable()}, {"post", post}}, 0x74727565);
    setU16(original, 6, 0x7777);  // a wrong searchRange is kept as it was
    setU32(original, recordOffset(0) + 4, 0xBADBAD);
    setU32(original, recordOffset(1) + 4, 0xC0FFEE);
    const std::size_t os2At = getU32(original, recordOffset(0) + 8);
    const std::size_t postAt = getU32(original, recordOffset(3) + 8);
    std::rotate(original.begin() + static_cast<std::ptrdiff_t>(os2At),
                original.begin() + static_cast<std::ptrdiff_t>(postAt), original.end());
    setU32(original, recordOffset(3) + 8, static_cast<std::uint32_t>(os2At));
    for (std::size_t i : {0u, 2u}) {
        setU32(original, recordOffset(i) + 8,
               static_cast<std::uint32_t>(getU32(original, recordOffset(i) + 8) + post.size() + 3));
    }
    original.insert(original.end(), {9, 9, 9});
    modeltest::loadBytes(dir, original, font);
    ASSERT_TRUE(font.loaded);

    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    EXPECT_TRUE(messages.shown.empty());
    const Bytes saved = readFileBytes(path());
    const Bytes expectedHeader = {0x74, 0x72, 0x75, 0x65, 0, 4, 0x77, 0x77, 0, 2, 0, 0};
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 12), expectedHeader);
    // OS/2 at the end of the directory, then the zero-length table and name
    // at the next 4-byte boundary, post after name.
    const std::uint32_t nameLength = static_cast<std::uint32_t>(sampleNameTable().size());
    const std::uint32_t savedPostAt = (84 + nameLength + 3) & ~3u;
    const std::uint32_t expectedOffsets[] = {76, 84, 84, savedPostAt};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(getU32(saved, recordOffset(i) + 8), expectedOffsets[i]) << i;
    }
    EXPECT_EQ(Bytes(saved.begin() + 76, saved.begin() + 84), (Bytes{1, 8, 15, 22, 29, 36, 43, 0}));
    EXPECT_EQ(getU32(saved, recordOffset(1) + 4), 0u);  // the checksum of no bytes
    EXPECT_EQ(getU32(saved, recordOffset(1) + 12), 0u);
    EXPECT_EQ(modeltest::tableBytes(saved, "name"), sampleNameTable());
    EXPECT_EQ(modeltest::tableBytes(saved, "post"), post);
    // Ends right after the last table, padded with zeros to 4 bytes.
    EXPECT_EQ(saved.size(), savedPostAt + ((post.size() + 3) & ~std::size_t{3}));
    EXPECT_EQ(Bytes(saved.end() - 3, saved.end()), Bytes(3, 0));
    for (std::size_t i : {0u, 2u, 3u}) {
        const Bytes body(saved.begin() + getU32(saved, recordOffset(i) + 8),
                         saved.begin() + getU32(saved, recordOffset(i) + 8) +
                             getU32(saved, recordOffset(i) + 12));
        EXPECT_EQ(getU32(saved, recordOffset(i) + 4), testsupport::tableChecksum(body)) << i;
    }
}

// Every table's checksum is that of its bytes, 'head' counted with
// checkSumAdjustment as zero, and the adjustment makes the font sum to the target.
// The dialog may stay open while another program changes the font. The save
// copies the tables from the file, so it refuses rather than mix two fonts,
// however the file changed; a save over the font's own file, though, leaves
// the model reading from the file it wrote.
TEST_F(FontStoreTest, SaveRefusesAFileChangedSinceTheLoad) {
    const Bytes original = sampleFont();
    Bytes otherTables = original;  // same size and directory, other bytes
    otherTables[otherTables.size() - 5] ^= 0xFF;
    Bytes otherDirectory = original;
    setU32(otherDirectory, recordOffset(3) + 4, 0xBADBAD);
    const auto rewrite = [&](const Bytes& bytes, bool keepTime) {
        struct stat before {};
        ASSERT_EQ(stat(path().c_str(), &before), 0);
        writeFileBytes(path(), bytes);
        if (keepTime) {
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ASSERT_EQ(utimensat(AT_FDCWD, path().c_str(), times, 0), 0);
        }
    };
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"rewritten in place", [&] { rewrite(otherTables, false); }},
        {"directory changed, time kept", [&] { rewrite(otherDirectory, true); }},
        {"cut short", [&] { fs::resize_file(path(), original.size() - 8); }},
        {"replaced",
         [&] {
             writeFileBytes(path("other.ttf"), original);
             fs::rename(path("other.ttf"), path());
         }},
        {"removed", [&] { fs::remove(path()); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        MessageCapture shown;
        modeltest::loadBytes(dir, original, font);
        ASSERT_TRUE(font.loaded);
        change();
        EXPECT_FALSE(saveFont(path("saved.ttf").c_str(), font.directory, font.names));
        EXPECT_EQ(shown.only(), "file changed since it was opened.");
        EXPECT_FALSE(fs::exists(path("saved.ttf")));
    }

    // Saved over itself, twice: the second save copies from the first's file.
    modeltest::loadBytes(dir, original, font);
    font.names.find(3, 1, 0x409, 1)->text = "Once";
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    const Bytes once = readFileBytes(path());
    font.names.find(3, 1, 0x409, 1)->text = "Twice";
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    font.names.find(3, 1, 0x409, 1)->text = "Once";
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    EXPECT_EQ(readFileBytes(path()), once);
}

TEST_F(FontStoreTest, ChangedNamesGiveTrueChecksumsAndAdjustment) {
    const Bytes original = sampleFont();
    modeltest::loadBytes(dir, original, font);
    ASSERT_TRUE(font.loaded);
    font.names.find(3, 1, 0x409, 1)->text = "Renamed";
    font.names.add(3, 1, 0x409, 4, "Renamed Regular");
    font.names.find(1, 0, 0, 1)->text =
        "\xC3\x87"
        "a \xC3\xA9t\xC3\xA9 \xE2\x80\x98"
        "fini\xE2\x80\x99 \xC2\xA9";
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    const Bytes saved = readFileBytes(path());
    EXPECT_EQ(testsupport::tableChecksum(saved), 0xB1B0AFBAu);
    Bytes head = modeltest::tableBytes(saved, "head");
    Bytes originalHead = modeltest::tableBytes(original, "head");
    setU32(head, 8, 0);
    setU32(originalHead, 8, 0);
    EXPECT_EQ(head, originalHead);  // only the adjustment changed
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string tag(reinterpret_cast<const char*>(&saved[recordOffset(i)]), 4);
        const Bytes body = tag == "head" ? head : modeltest::tableBytes(saved, tag);
        EXPECT_EQ(getU32(saved, recordOffset(i) + 4), testsupport::tableChecksum(body)) << tag;
    }

    LoadedFont again;
    ASSERT_TRUE(loadFont(path().c_str(), again.directory, again.names));
    EXPECT_EQ(again.names.find(3, 1, 0x409, 1)->text, "Renamed");
    EXPECT_EQ(again.names.find(3, 1, 0x409, 4)->text, "Renamed Regular");
    // fontTools reads the Mac OS Roman name back as typed, and finds the checksums true.
    const CommandResult check =
        runCommand(std::string(FONTTOOLS_PYTHON) + " -c " +
                   shellQuote("import sys; from fontTools.ttLib import TTFont; "
                              "f = TTFont(sys.argv[1], checkChecksums=2); "
                              "sys.stdout.write(f['name'].getName(1, 1, 0, 0).toUnicode())") +
                   " " + shellQuote(path().string()) + " 2>&1");
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output,
              "\xC3\x87"
              "a \xC3\xA9t\xC3\xA9 \xE2\x80\x98"
              "fini\xE2\x80\x99 \xC2\xA9");
}

// A process's first save reads through a buffer sized to its font, later
// ones through the largest: on a fresh thread both, over tables that span
// many reads and end mid-word, sum true.
TEST_F(FontStoreTest, ChecksumsHoldWhateverTheReadsSize) {
    Bytes head = patternBytes(54, 3);
    const Bytes original = buildFont({{"glyf", patternBytes(1'300'003, 5)},
                                      {"head", head},
                                      {"name", sampleNameTable()},
                                      {"post", patternBytes(300'001, 9)}});
    std::thread([&] {
        for (int save = 0; save < 2; ++save) {
            LoadedFont loaded;
            modeltest::loadBytes(dir, original, loaded);
            ASSERT_TRUE(loaded.loaded);
            loaded.names.find(3, 1, 0x409, 1)->text = "Renamed " + std::to_string(save);
            ASSERT_TRUE(saveFont(path().c_str(), loaded.directory, loaded.names));
            const Bytes saved = readFileBytes(path());
            EXPECT_EQ(testsupport::tableChecksum(saved), 0xB1B0AFBAu) << save;
            for (const char* tag : {"glyf", "name", "post"}) {
                EXPECT_EQ(modeltest::tableBytes(saved, tag) == modeltest::tableBytes(original, tag),
                          std::string(tag) != "name");
            }
            for (std::size_t i = 0; i < 4; ++i) {
                const std::string tag(reinterpret_cast<const char*>(&saved[recordOffset(i)]), 4);
                Bytes body = modeltest::tableBytes(saved, tag);
                if (tag == "head") {
                    setU32(body, 8, 0);
                }
                EXPECT_EQ(getU32(saved, recordOffset(i) + 4), testsupport::tableChecksum(body))
                    << tag << " in save " << save;
            }
        }
    }).join();
}

TEST_F(FontStoreTest, FontsWithoutNameTable) {
    const Bytes noName = buildFont({{"cmap", patternBytes(12, 4)}, {"glyf", patternBytes(8, 6)}});
    LoadedFont other;
    modeltest::loadBytes(dir, noName, other, "other.ttf");
    ASSERT_TRUE(other.loaded);
    other.names.add(3, 1, 0x409, 1, "never written");
    ASSERT_TRUE(saveFont(path("other.ttf").c_str(), other.directory, other.names));
    EXPECT_EQ(readFileBytes(path("other.ttf")), noName);
}

// The original must survive every failed save byte for byte, with no
// temporary file left behind.
class FailedSaveTest : public FontStoreTest {
  protected:
    void SetUp() override {
        original = sampleFont();
        modeltest::loadBytes(dir, original, font);
        ASSERT_TRUE(font.loaded);
        font.names.find(3, 1, 0x409, 1)->text = "Changed";
        font.names.find(3, 1, 0x409, 2)->text.clear();  // dropped only by a save that works
        recordsBefore = font.names.records.size();
    }
    void expectUntouched(const std::string& message) {
        EXPECT_EQ(messages.only(), message);
        // The edits are all still there for another try.
        EXPECT_EQ(font.names.find(3, 1, 0x409, 1)->text, "Changed");
        EXPECT_EQ(font.names.records.size(), recordsBefore);
        EXPECT_EQ(readFileBytes(path()), original);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"font.ttf"});
    }
    Bytes original;
    std::size_t recordsBefore = 0;
};

TEST_F(FailedSaveTest, ReadOnlyTargetIsRefused) {
    fs::permissions(path(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(saveFont(path().c_str(), font.directory, font.names));
    expectUntouched("cannot open file.");
    EXPECT_EQ(messages.shown[0].reason, "Permission denied");
    std::string reason;
    EXPECT_FALSE(canReplace(path().string(), reason));
    EXPECT_EQ(reason, "Permission denied");
}

TEST_F(FailedSaveTest, TextItsEncodingCantHoldIsRefused) {
    font.names.add(1, 0, 0, 4, "\xE6\x97\xA5\xE6\x9C\xAC");  // Japanese in Mac OS Roman
    ++recordsBefore;
    EXPECT_FALSE(saveFont(path().c_str(), font.directory, font.names));
    expectUntouched("name cannot be encoded.");
}

TEST_F(FailedSaveTest, MissingFolderIsRefused) {
    EXPECT_FALSE(
        saveFont((dir / "no-such-folder" / "font.ttf").c_str(), font.directory, font.names));
    expectUntouched("cannot open file.");
}

TEST_F(FailedSaveTest, NameTableTooLargeIsRefusedBeforeTouchingTheFile) {
    for (int i = 0; i < 5461; ++i) {
        font.names.add(1, 0, 0, 1, "x");
    }
    recordsBefore = font.names.records.size();
    EXPECT_FALSE(saveFont(path().c_str(), font.directory, font.names));
    expectUntouched("name table too large.");
}

TEST_F(FailedSaveTest, WriteErrorKeepsTheOriginal) {
    // The child may write at most 100 bytes per file: the save's writes fail
    // the way they would on a full disk.
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = saveFont(path().c_str(), font.directory, font.names);
        _exit(!saved && messages.only() == "write error." ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's save did not fail with \"write error.\"";
    messages.shown.push_back({"write error.", "", ""});  // seen by the child
    expectUntouched("write error.");
}

TEST_F(FontStoreTest, SaveKeepsPermissionsAndFollowsLinks) {
    modeltest::loadBytes(dir, sampleFont(), font);
    ASSERT_TRUE(font.loaded);
    fs::permissions(path(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("font.ttf", path("link.ttf"));
    font.names.find(3, 1, 0x409, 1)->text = "Through the link";
    std::string reason;
    EXPECT_TRUE(canReplace(path("link.ttf").string(), reason)) << reason;
    ASSERT_TRUE(saveFont(path("link.ttf").c_str(), font.directory, font.names));

    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path("link.ttf"))));
    EXPECT_EQ(fs::status(path()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"font.ttf", "link.ttf"}));
    LoadedFont again;
    ASSERT_TRUE(loadFont(path().c_str(), again.directory, again.names));
    EXPECT_EQ(again.names.find(3, 1, 0x409, 1)->text, "Through the link");
}

TEST_F(FontStoreTest, SaveCreatesAMissingTargetWithDefaultPermissions) {
    modeltest::loadBytes(dir, sampleFont(), font);
    ASSERT_TRUE(font.loaded);
    const mode_t mask = umask(022);
    ASSERT_TRUE(saveFont(path("new.ttf").c_str(), font.directory, font.names));
    umask(mask);
    EXPECT_EQ(fs::status(path("new.ttf")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    const Bytes saved = readFileBytes(path("new.ttf"));
    EXPECT_EQ(modeltest::tableBytes(saved, "name"), sampleNameTable());
    EXPECT_EQ(testsupport::tableChecksum(saved), 0xB1B0AFBAu);
}

TEST(ErrorReporter, DefaultWritesTheMessageToStandardError) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(loadFont("/no/such/font.ttf", *std::make_unique<TableDirectory>(),
                          *std::make_unique<NameTable>()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: cannot open file.\n");
}

}  // namespace
