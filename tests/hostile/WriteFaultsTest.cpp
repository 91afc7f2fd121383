// Writes that fail part-way: the test mounts a small tmpfs (it runs as root in
// CI), fills it to a chosen level and lets the model's save and Zelvic's
// outputs run into "no space left". Whatever the point of failure, the
// original file keeps every byte, nothing partial or temporary is left, and
// the message and status say what happened.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FontStore.h"
#include "SfntBuilder.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::TempDir;

namespace {

const std::string kZelvic = std::string(PROJECT_BINARY_DIR) + "/bin/Zelvic";
constexpr std::size_t kPage = 4096;

// A tmpfs of `size` bytes on a fresh folder, unmounted when the object goes.
class SmallFileSystem {
  public:
    explicit SmallFileSystem(std::size_t size) {
        const std::string options = "size=" + std::to_string(size) + ",mode=0755";
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
            error_ = std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(dir_.path().c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    const TempDir& dir() const { return dir_; }
    fs::path operator/(const std::string& name) const { return dir_ / name; }

    // Fills the file system with a filler file until only `free` bytes are left.
    void leaveFree(std::size_t free) const {
        struct statvfs info {};
        ASSERT_EQ(::statvfs(dir_.path().c_str(), &info), 0);
        const std::size_t available = info.f_bavail * info.f_bsize;
        ASSERT_GE(available, free);
        testsupport::writeFileBytes(dir_ / "filler", Bytes(available - free, 0xAA));
    }

  private:
    TempDir dir_;
    bool mounted_ = false;
    std::string error_;
};

#define MOUNT_OR_SKIP(fileSystem)                                                          \
    do {                                                                                   \
        if (::geteuid() != 0) {                                                            \
            GTEST_SKIP() << "mounting a tmpfs needs root (CI runs as root)";               \
        }                                                                                  \
        ASSERT_TRUE((fileSystem).mounted()) << "mount -t tmpfs: " << (fileSystem).error(); \
    } while (false)

// A font of about 120 KiB, most of it one table, so that a save can run out
// of room before, inside or after that table.
Bytes bigFont(std::uint8_t seed) {
    using testsupport::TestName;
    const Bytes names = testsupport::buildNameTable({
        TestName{3, 1, 0x409, 1, testsupport::utf16be("Faulty")},
        TestName{3, 1, 0x409, 2, testsupport::utf16be("Regular")},
    });
    return testsupport::buildFont({{"glyf", testsupport::patternBytes(120000, seed)},
                                   {"head", testsupport::patternBytes(54, seed)},
                                   {"name", names}});
}

struct Captured {
    std::string text, reason;
};

// Where the save runs out of room: with no page left, inside the big table,
// and a few pages short of the end.
const std::vector<std::size_t> kFreeSpace = {0, kPage, 16 * kPage, 28 * kPage};

TEST(WriteFaults, FailedSaveKeepsTheOriginalFontAndLeavesNoTemporaryFile) {
    for (const std::size_t free : kFreeSpace) {
        SCOPED_TRACE("free bytes: " + std::to_string(free));
        SmallFileSystem disk(512 * 1024);
        MOUNT_OR_SKIP(disk);
        const Bytes original = bigFont(1);
        const std::string path = (disk / "font.ttf").string();
        testsupport::writeFileBytes(path, original);

        Captured message;
        const auto previous = setErrorReporter(
            [&message](std::string_view text, std::string_view, std::string_view reason) {
                message = {std::string(text), std::string(reason)};
            });
        TableDirectory directory;
        NameTable names;
        ASSERT_TRUE(loadFont(path.c_str(), directory, names));
        names.find(3, 1, 0x409, 1)->text = "A much longer family name than before";
        disk.leaveFree(free);

        EXPECT_FALSE(saveFont(path.c_str(), directory, names));
        setErrorReporter(previous);
        EXPECT_EQ(message.text, "write error.");
        EXPECT_EQ(message.reason, "No space left on device");
        EXPECT_EQ(testsupport::readFileBytes(path), original);
        EXPECT_EQ(disk.dir().entries(), (std::vector<std::string>{"filler", "font.ttf"}));
    }
}

// The same save succeeds once there is room: the failure above was the disk's.
TEST(WriteFaults, SaveSucceedsOnTheSameFileSystemWithRoom) {
    SmallFileSystem disk(512 * 1024);
    MOUNT_OR_SKIP(disk);
    const std::string path = (disk / "font.ttf").string();
    testsupport::writeFileBytes(path, bigFont(1));
    TableDirectory directory;
    NameTable names;
    ASSERT_TRUE(loadFont(path.c_str(), directory, names));
    ASSERT_TRUE(saveFont(path.c_str(), directory, names));
    EXPECT_EQ(disk.dir().entries(), std::vector<std::string>{"font.ttf"});
}

struct ZelvicRun {
    int status = -1;
    std::string output, error;
};

ZelvicRun runZelvic(const fs::path& folder, const std::string& arguments) {
    TempDir errors;
    const fs::path errorFile = errors / "stderr";
    const auto result =
        testsupport::runCommand("cd " + testsupport::shellQuote(folder.string()) + " && " +
                                testsupport::shellQuote(kZelvic) + " " + arguments + " 2>" +
                                testsupport::shellQuote(errorFile.string()));
    const Bytes bytes = testsupport::readFileBytes(errorFile);
    return {result.status, result.output, std::string(bytes.begin(), bytes.end())};
}

// make over an existing collection of the same name: the old one stays whole.
TEST(WriteFaults, FailedMakeKeepsTheOldCollectionAndLeavesNoTemporaryFile) {
    TempDir inputs;
    testsupport::writeFileBytes(inputs / "a.ttf", bigFont(1));
    testsupport::writeFileBytes(inputs / "b.ttf", bigFont(2));
    const Bytes oldCollection = testsupport::bytesOf("an older collection, kept as it is");
    for (const std::size_t free : kFreeSpace) {
        SCOPED_TRACE("free bytes: " + std::to_string(free));
        SmallFileSystem disk(512 * 1024);
        MOUNT_OR_SKIP(disk);
        testsupport::writeFileBytes(disk / "out.ttc", oldCollection);
        disk.leaveFree(free);

        const ZelvicRun run = runZelvic(
            disk.dir().path(), "out.ttc " + testsupport::shellQuote((inputs / "a.ttf").string()) +
                                   " " + testsupport::shellQuote((inputs / "b.ttf").string()));
        EXPECT_EQ(run.status, 253);
        EXPECT_EQ(run.error, "Error: out.ttc: write error: No space left on device.\n");
        EXPECT_EQ(run.output.find("Ok."), std::string::npos);
        EXPECT_EQ(testsupport::readFileBytes(disk / "out.ttc"), oldCollection);
        EXPECT_EQ(disk.dir().entries(), (std::vector<std::string>{"filler", "out.ttc"}));
    }
}

// break runs out of room on its second font: the first stays complete, the
// second leaves nothing, and the collection is untouched.
TEST(WriteFaults, FailedBreakStopsAtTheFontThatDidNotFit) {
    TempDir work;
    testsupport::writeFileBytes(work / "a.ttf", bigFont(1));
    testsupport::writeFileBytes(work / "b.ttf", bigFont(2));
    ASSERT_EQ(runZelvic(work.path(), "c.ttc a.ttf b.ttf").status, 0);
    const Bytes collection = testsupport::readFileBytes(work / "c.ttc");

    SmallFileSystem disk(512 * 1024);
    MOUNT_OR_SKIP(disk);
    testsupport::writeFileBytes(disk / "c.ttc", collection);
    // Room for one 120 KiB font and a part of the next.
    disk.leaveFree(40 * kPage);

    const ZelvicRun run = runZelvic(disk.dir().path(), "c.ttc");
    EXPECT_EQ(run.status, 253);
    EXPECT_EQ(run.error, "Error: c002.TTF: write error: No space left on device.\n");
    EXPECT_EQ(run.output.find("Ok."), std::string::npos);
    EXPECT_EQ(testsupport::readFileBytes(disk / "c.ttc"), collection);
    EXPECT_EQ(testsupport::readFileBytes(disk / "c001.TTF"),
              testsupport::readFileBytes(work / "a.ttf"));
    EXPECT_EQ(disk.dir().entries(), (std::vector<std::string>{"c.ttc", "c001.TTF", "filler"}));
}

}  // namespace
