#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

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
    // Two copies of 60000 bytes can still be written one after the other.
    loadBytes(dir, buildFont({{"name", overlappingNameTable(2, 60000)}}), font);
    EXPECT_TRUE(font.loaded);
    EXPECT_TRUE(messages.shown.empty());

    // Three can't, and 5000 would hold 300 MB for a 60 KB file.
    for (const std::uint16_t records : {3, 5000}) {
        MessageCapture refused;
        LoadedFont big;
        loadBytes(dir, buildFont({{"name", overlappingNameTable(records, 60000)}}), big);
        EXPECT_FALSE(big.loaded);
        EXPECT_EQ(refused.only(), "name table too large.") << records << " records";
    }
}

TEST_F(FontStoreTest, LoadFailuresShowTheirMessage) {
    EXPECT_FALSE(loadFont(nullptr, font.directory, font.names));
    EXPECT_FALSE(loadFont("", font.directory, font.names));
    EXPECT_FALSE(loadFont(path("missing.ttf").c_str(), font.directory, font.names));
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].text, "usage:");
    EXPECT_EQ(messages.shown[1].text, "usage:");
    EXPECT_EQ(messages.shown[2].text, "cannot open file.");
    for (const auto& shown : messages.shown) {
        EXPECT_EQ(shown.caption, "Error");
        EXPECT_EQ(shown.type, MB_OK | MB_ICONERROR);
    }
}

TEST_F(FontStoreTest, TruncatedAndHostileFilesAreInvalid) {
    struct Case {
        const char* what;
        Bytes bytes;
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
    const Case cases[] = {
        {"shorter than the offset table", Bytes{0, 1, 0, 0}},
        {"directory cut short", Bytes(good.begin(), good.begin() + 40)},
        {"last table cut short", cutTable},
        {"a 4 GB table in a small file", hugeTable},
        {"name table beyond any 32-bit position", farName},
        {"name records beyond the file", nameCount},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedFont loaded;
        messages.shown.clear();
        modeltest::loadBytes(dir, c.bytes, loaded);
        EXPECT_FALSE(loaded.loaded);
        EXPECT_EQ(messages.only(), "invalid ttf file.");
    }
}

TEST_F(FontStoreTest, UnchangedSaveLaysTablesOutAfresh) {
    // Bodies in another physical order than the directory, a gap, trailing
    // bytes, a wrong checksum, and a zero-length table.
    const Bytes os2 = patternBytes(7, 1), post = patternBytes(33, 9);
    Bytes original = buildFont(
        {{"OS/2", os2}, {"zero", {}}, {"name", sampleNameTable()}, {"post", post}}, 0x74727565);
    setU16(original, 6, 0x7777);  // searchRange kept as it stands
    setU32(original, recordOffset(0) + 4, 0xBADBAD);
    const std::uint32_t zeroChecksum = 0xC0FFEE;
    setU32(original, recordOffset(1) + 4, zeroChecksum);
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
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 12),
              Bytes(original.begin(), original.begin() + 12));
    // OS/2 at the end of the directory, then the zero-length table and name
    // at the next 4-byte boundary, post after name.
    const std::uint32_t nameLength = static_cast<std::uint32_t>(sampleNameTable().size());
    const std::uint32_t savedPostAt = (84 + nameLength + 3) & ~3u;
    const std::uint32_t expectedOffsets[] = {76, 84, 84, savedPostAt};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(getU32(saved, recordOffset(i) + 8), expectedOffsets[i]) << i;
    }
    EXPECT_EQ(Bytes(saved.begin() + 76, saved.begin() + 84), (Bytes{1, 8, 15, 22, 29, 36, 43, 0}));
    EXPECT_EQ(getU32(saved, recordOffset(1) + 4), zeroChecksum);
    EXPECT_EQ(getU32(saved, recordOffset(1) + 12), 0u);
    EXPECT_EQ(modeltest::tableBytes(saved, "name"), sampleNameTable());
    EXPECT_EQ(modeltest::tableBytes(saved, "post"), post);
    EXPECT_EQ(saved.size(), savedPostAt + post.size());  // ends right after the last table
    for (std::size_t i : {0u, 2u, 3u}) {
        const Bytes body(saved.begin() + getU32(saved, recordOffset(i) + 8),
                         saved.begin() + getU32(saved, recordOffset(i) + 8) +
                             getU32(saved, recordOffset(i) + 12));
        EXPECT_EQ(getU32(saved, recordOffset(i) + 4), testsupport::tableChecksum(body)) << i;
    }
}

TEST_F(FontStoreTest, ChangedNamesKeepHeadAsLoaded) {
    const Bytes original = sampleFont();
    modeltest::loadBytes(dir, original, font);
    ASSERT_TRUE(font.loaded);
    font.names.find(3, 1, 0x409, 1)->text = "Renamed";
    font.names.add(3, 1, 0x409, 4, "Renamed Regular");
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    const Bytes saved = readFileBytes(path());
    EXPECT_EQ(modeltest::tableBytes(saved, "head"), modeltest::tableBytes(original, "head"));
    EXPECT_EQ(getU32(saved, recordOffset(1) + 4),
              testsupport::tableChecksum(modeltest::tableBytes(original, "head")));

    LoadedFont again;
    ASSERT_TRUE(loadFont(path().c_str(), again.directory, again.names));
    EXPECT_EQ(again.names.find(3, 1, 0x409, 1)->text, "Renamed");
    EXPECT_EQ(again.names.find(3, 1, 0x409, 4)->text, "Renamed Regular");
    EXPECT_EQ(again.names.find(1, 0, 0, 1)->text, "Mac Family");
}

TEST_F(FontStoreTest, FontsWithoutNameTableOrTables) {
    const Bytes empty = buildFont({});
    modeltest::loadBytes(dir, empty, font);
    ASSERT_TRUE(font.loaded);
    font.names.add(3, 1, 0x409, 1, "never written");
    ASSERT_TRUE(saveFont(path().c_str(), font.directory, font.names));
    EXPECT_EQ(readFileBytes(path()), empty);

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
    }
    void expectUntouched(const std::string& message) {
        EXPECT_EQ(messages.only(), message);
        EXPECT_EQ(readFileBytes(path()), original);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"font.ttf"});
    }
    Bytes original;
};

TEST_F(FailedSaveTest, ReadOnlyTargetIsRefused) {
    fs::permissions(path(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(saveFont(path().c_str(), font.directory, font.names));
    expectUntouched("cannot open file.");
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
    messages.shown.push_back({"write error.", "Error", 0});  // seen by the child
    expectUntouched("write error.");
}

TEST_F(FontStoreTest, SaveKeepsPermissionsAndFollowsLinks) {
    modeltest::loadBytes(dir, sampleFont(), font);
    ASSERT_TRUE(font.loaded);
    fs::permissions(path(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("font.ttf", path("link.ttf"));
    font.names.find(3, 1, 0x409, 1)->text = "Through the link";
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
    EXPECT_EQ(readFileBytes(path("new.ttf")), sampleFont());
}

TEST(MessageBoxService, DefaultWritesCaptionAndTextToStandardError) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "write error.", "Error", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: write error.\n");
}

}  // namespace
