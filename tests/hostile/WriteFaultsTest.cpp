// Writes that fail part-way or meet a hostile setting: the test mounts a
// small tmpfs (it runs as root in CI), fills it to a chosen level and lets the
// model's save and Zelvic's outputs run into "no space left"; it also runs
// them under a file-size limit, into signals, in append-only folders and on
// FUSE file systems without O_TMPFILE, where the temporary has a name.
// Whatever the point of failure, the original file keeps every byte, nothing
// partial or temporary is left, and the message and status say what happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Files.h"
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

// A FUSE file system on a fresh folder: bindfs over another folder (no
// O_TMPFILE, so temporaries have names), or FAT or exFAT in an image file,
// as USB sticks are mounted through FUSE. Unmounted when the object goes.
class FuseMount {
  public:
    enum class Kind { Bind, Fat, ExFat };

    explicit FuseMount(Kind kind) {
        if (::geteuid() != 0) {
            skip_ = "FUSE mounts need root (CI runs as root)";
            return;
        }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            skip_ = "no /dev/fuse here";
            return;
        }
        const std::string image = testsupport::shellQuote((store_ / "image").string());
        const std::string at = testsupport::shellQuote(dir_.path().string());
        std::string commands;
        switch (kind) {
            case Kind::Bind:
                commands = "bindfs " + testsupport::shellQuote(store_.path().string()) + " " + at;
                break;
            case Kind::Fat:
                commands = "truncate -s 16M " + image + " && mkfs.vfat " + image +
                           " && fusefat -o rw+ " + image + " " + at;
                break;
            case Kind::ExFat:
                // exfat-fuse wants a block device: a loop device over the image,
                // detached at once, which frees it when the mount lets it go.
                commands = "truncate -s 16M " + image + " && mkfs.exfat " + image +
                           " && loop=$(losetup -f --show " + image +
                           ") && { mount.exfat-fuse \"$loop\" " + at +
                           "; status=$?; losetup -d \"$loop\"; [ $status -eq 0 ]; }";
                break;
        }
        const auto result = testsupport::runCommand("{ " + commands + "; } >/dev/null 2>&1");
        if (result.status != 0) {
            skip_ =
                "could not mount (bindfs, fusefat, exfat-fuse, dosfstools, exfatprogs, a "
                "loop device): " +
                commands;
            return;
        }
        mounted_ = true;
    }
    ~FuseMount() {
        if (mounted_) {
            testsupport::runCommand("umount " + testsupport::shellQuote(dir_.path().string()));
        }
    }
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& skipReason() const { return skip_; }
    const TempDir& dir() const { return dir_; }
    fs::path operator/(const std::string& name) const { return dir_ / name; }

  private:
    TempDir store_;  // bindfs's source, or the image file
    TempDir dir_;
    bool mounted_ = false;
    std::string skip_;
};

#define FUSE_OR_SKIP(mount)                       \
    do {                                          \
        if (!(mount).mounted()) {                 \
            GTEST_SKIP() << (mount).skipReason(); \
        }                                         \
    } while (false)

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
    // Summed right, so that a split gives it back byte for byte.
    return testsupport::summedRight(
        testsupport::buildFont({{"glyf", testsupport::patternBytes(120000, seed)},
                                {"head", testsupport::patternBytes(54, seed)},
                                {"name", names}}));
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

// `setting` runs first in the same shell ("ulimit -f 64 && ").
ZelvicRun runZelvic(const fs::path& folder, const std::string& arguments,
                    const std::string& setting = "") {
    TempDir errors;
    const fs::path errorFile = errors / "stderr";
    const auto result =
        testsupport::runCommand("cd " + testsupport::shellQuote(folder.string()) + " && " +
                                setting + testsupport::shellQuote(kZelvic) + " " + arguments +
                                " 2>" + testsupport::shellQuote(errorFile.string()));
    const Bytes bytes = testsupport::readFileBytes(errorFile);
    return {result.status, result.output, std::string(bytes.begin(), bytes.end())};
}

// make over an existing collection of the same name: the old one stays whole.
TEST(WriteFaults, FailedMakeKeepsTheOldCollectionAndLeavesNoTemporaryFile) {
    TempDir inputs;
    testsupport::writeFileBytes(inputs / "a.ttf", bigFont(1));
    testsupport::writeFileBytes(inputs / "b.ttf", bigFont(2));
    const Bytes oldCollection = testsupport::bytesOf("ttcf, an older collection, kept as it is");
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

// Where outputs are written: a folder with O_TMPFILE, where the new file has
// no name until it is in place, and (through FUSE) one without, where it has
// a temporary name until then.
std::vector<std::pair<std::string, fs::path>> writePlaces(const TempDir& plain,
                                                          const FuseMount& bind) {
    std::vector<std::pair<std::string, fs::path>> places{{"unnamed temporary", plain.path()}};
    if (bind.mounted()) {
        places.emplace_back("named temporary", bind.dir().path());
    } else {
        std::cout << "named temporaries not tried: " << bind.skipReason() << "\n";
    }
    return places;
}

// Runs `body` in a child process and returns its exit status, or -signal if a
// signal ended it.
template <typename Body>
int inChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// A file-size limit below the output's size is a write error, not the end of
// the process (SIGXFSZ): make and save say "File too large", keep the old
// file and leave no temporary.
TEST(WriteFaults, AFileSizeLimitIsAWriteErrorThatKeepsTheOldFile) {
    TempDir plain, inputs;
    FuseMount bind(FuseMount::Kind::Bind);
    testsupport::writeFileBytes(inputs / "a.ttf", bigFont(1));
    testsupport::writeFileBytes(inputs / "b.ttf", bigFont(2));
    const Bytes oldCollection = testsupport::bytesOf("ttcf, an older collection, kept as it is");
    const Bytes font = bigFont(3);
    for (const auto& [kind, folder] : writePlaces(plain, bind)) {
        SCOPED_TRACE(kind);
        testsupport::writeFileBytes(folder / "out.ttc", oldCollection);
        const ZelvicRun run =
            runZelvic(folder,
                      "out.ttc " + testsupport::shellQuote((inputs / "a.ttf").string()) + " " +
                          testsupport::shellQuote((inputs / "b.ttf").string()),
                      "ulimit -f 64 && ");
        EXPECT_EQ(run.status, 253);
        EXPECT_EQ(run.error, "Error: out.ttc: write error: File too large.\n");
        EXPECT_EQ(testsupport::readFileBytes(folder / "out.ttc"), oldCollection);

        const std::string path = (folder / "font.ttf").string();
        testsupport::writeFileBytes(path, font);
        const int status = inChild([&path] {
            TableDirectory directory;
            NameTable names;
            if (!loadFont(path.c_str(), directory, names)) {
                return 2;
            }
            names.find(3, 1, 0x409, 1)->text = "Edited";
            const rlimit limit{32 * 1024, 32 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            Captured message;
            setErrorReporter(
                [&message](std::string_view text, std::string_view, std::string_view reason) {
                    message = {std::string(text), std::string(reason)};
                });
            const bool saved = saveFont(path.c_str(), directory, names);
            return !saved && message.text == "write error." && message.reason == "File too large"
                       ? 0
                       : 3;
        });
        EXPECT_EQ(status, 0) << "2: not loaded, 3: saved or another message, <0: killed";
        EXPECT_EQ(testsupport::readFileBytes(path), font);
        std::vector<std::string> entries;
        for (const auto& entry : fs::directory_iterator(folder)) {
            entries.push_back(entry.path().filename().string());
        }
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(entries, (std::vector<std::string>{"font.ttf", "out.ttc"}));
    }
}

// Any signal that ends the process takes a named temporary with it.
TEST(WriteFaults, EverySignalThatEndsTheProcessRemovesANamedTemporary) {
    FuseMount bind(FuseMount::Kind::Bind);
    FUSE_OR_SKIP(bind);
    const fs::path old = bind / "old.ttc";
    testsupport::writeFileBytes(old, testsupport::bytesOf("old"));
    for (const int signal : {SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGRTMIN}) {
        SCOPED_TRACE(std::string("signal ") + std::to_string(signal));
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            filecore::FileReplacement out;
            filecore::FileError error;
            if (!out.create(old.string(), error) || !out.append(Bytes(1 << 20, 0x5A), error)) {
                ::_exit(1);
            }
            (void)::write(ready[1], "x", 1);
            for (;;) {
                ::pause();
            }
        }
        ::close(ready[1]);
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(bind.dir().entries().size(), 2u) << "the temporary has a name here";
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ(bind.dir().entries(), std::vector<std::string>{"old.ttc"});
        EXPECT_EQ(testsupport::readFileBytes(old), testsupport::bytesOf("old"));
    }
}

// In an append-only folder a temporary's name could be made but not taken
// away: refused before anything is written.
TEST(WriteFaults, AnAppendOnlyFolderIsRefusedBeforeAnythingIsWritten) {
    TempDir work;
    const fs::path folder = work / "kept";
    fs::create_directory(folder);
    testsupport::writeFileBytes(folder / "font.ttf", bigFont(1));
    testsupport::writeFileBytes(work / "b.ttf", bigFont(2));
    const std::string quoted = testsupport::shellQuote(folder.string());
    if (testsupport::runCommand("chattr +a " + quoted + " 2>/dev/null").status != 0) {
        GTEST_SKIP() << "chattr +a is not possible here (root, and a file system that has it)";
    }
    const ZelvicRun make = runZelvic(folder, "new.ttc font.ttf ../b.ttf");
    Captured message;
    const auto previous = setErrorReporter(
        [&message](std::string_view text, std::string_view, std::string_view reason) {
            message = {std::string(text), std::string(reason)};
        });
    TableDirectory directory;
    NameTable names;
    const std::string path = (folder / "font.ttf").string();
    const bool loaded = loadFont(path.c_str(), directory, names);
    const bool saved = loaded && saveFont(path.c_str(), directory, names);
    setErrorReporter(previous);
    const auto entries = testsupport::runCommand("ls -A " + quoted).output;
    testsupport::runCommand("chattr -a " + quoted);

    EXPECT_EQ(make.status, 253);
    EXPECT_EQ(make.error, "Error: new.ttc: cannot create: the folder is append-only.\n");
    EXPECT_TRUE(loaded);
    EXPECT_FALSE(saved);
    EXPECT_EQ(message.text, "cannot open file.");
    EXPECT_EQ(message.reason, "the folder is append-only");
    EXPECT_EQ(entries, "font.ttf\n");
    EXPECT_EQ(testsupport::readFileBytes(folder / "font.ttf"), bigFont(1));
}

// Captures the model's message for the life of the object.
struct CapturedMessage : Captured {
    CapturedMessage()
        : previous(setErrorReporter(
              [this](std::string_view message, std::string_view, std::string_view why) {
                  text = message;
                  reason = why;
              })) {}
    ~CapturedMessage() { setErrorReporter(previous); }
    CapturedMessage(const CapturedMessage&) = delete;
    CapturedMessage& operator=(const CapturedMessage&) = delete;
    ErrorReporter previous;
};

// An ordinary user who may write a shared folder must not end up owning a
// font of someone else's by saving it: refused before anything is written.
// A new output is theirs, as any file they make.
TEST(WriteFaults, AnotherUsersFileIsRefusedNotTakenOver) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as another user needs root (CI runs as root)";
    }
    TempDir shared;
    fs::permissions(shared.path(), fs::perms(0777));
    const Bytes oldCollection = testsupport::bytesOf("someone else's collection");
    const Bytes font = bigFont(3);
    testsupport::writeFileBytes(shared / "a.ttf", bigFont(1));
    testsupport::writeFileBytes(shared / "b.ttf", bigFont(2));
    testsupport::writeFileBytes(shared / "out.ttc", oldCollection);
    testsupport::writeFileBytes(shared / "font.ttf", font);
    for (const char* name : {"a.ttf", "b.ttf", "out.ttc", "font.ttf"}) {
        ASSERT_EQ(::chown((shared / name).c_str(), 1234, 1234), 0);
        fs::permissions(shared / name, fs::perms(0666));
    }

    const ZelvicRun refused =
        runZelvic(shared.path(), "out.ttc a.ttf b.ttf", "runuser -u nobody -- ");
    EXPECT_EQ(refused.status, 253);
    EXPECT_EQ(refused.error,
              "Error: out.ttc: cannot create: its owner and group can't be kept (Operation not "
              "permitted).\n");
    EXPECT_EQ(testsupport::readFileBytes(shared / "out.ttc"), oldCollection);

    const std::string path = (shared / "font.ttf").string();
    const int status = inChild([&path] {
        TableDirectory directory;
        NameTable names;
        if (!loadFont(path.c_str(), directory, names) || ::setgid(65534) != 0 ||
            ::setuid(65534) != 0) {
            return 2;
        }
        const CapturedMessage message;
        const bool saved = saveFont(path.c_str(), directory, names);
        return !saved && message.text == "cannot open file." &&
                       message.reason ==
                           "its owner and group can't be kept (Operation not "
                           "permitted)"
                   ? 0
                   : 3;
    });
    EXPECT_EQ(status, 0) << "2: not loaded, 3: saved or another message";
    EXPECT_EQ(testsupport::readFileBytes(path), font);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);

    EXPECT_EQ(runZelvic(shared.path(), "new.ttc a.ttf b.ttf", "runuser -u nobody -- ").status, 0);
    ASSERT_EQ(::stat((shared / "new.ttc").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(shared.entries(),
              (std::vector<std::string>{"a.ttf", "b.ttf", "font.ttf", "new.ttc", "out.ttc"}));
}

// FAT and exFAT as USB sticks are mounted through FUSE: no O_TMPFILE, fixed
// modes, owners that can't change (fusefat answers ENOSYS). make, break and
// save work there as cp does, leaving nothing behind; names that differ in
// case are one file there, and an input is never replaced.
TEST(WriteFaults, MakeBreakAndSaveWorkOnFatAndExFatAndKnowOneFileHoweverSpelled) {
    const std::pair<const char*, FuseMount::Kind> kinds[] = {{"FAT", FuseMount::Kind::Fat},
                                                             {"exFAT", FuseMount::Kind::ExFat}};
    int tried = 0;
    for (const auto& [label, kind] : kinds) {
        SCOPED_TRACE(label);
        FuseMount stick(kind);
        if (!stick.mounted()) {
            std::cout << label << " not tried: " << stick.skipReason() << "\n";
            continue;
        }
        ++tried;
        const Bytes a = bigFont(1);
        const Bytes b = bigFont(2);
        testsupport::writeFileBytes(stick / "a.ttf", a);
        testsupport::writeFileBytes(stick / "b.ttf", b);
        const fs::path folder = stick.dir().path();
        EXPECT_EQ(runZelvic(folder, "c.ttc a.ttf b.ttf").error, "");
        const ZelvicRun again = runZelvic(folder, "c.ttc a.ttf b.ttf");
        EXPECT_EQ(again.status, 0) << again.error;
        const ZelvicRun broken = runZelvic(folder, "c.ttc");
        EXPECT_EQ(broken.status, 0) << broken.error;
        EXPECT_EQ(testsupport::readFileBytes(stick / "c001.TTF"), a);
        EXPECT_EQ(testsupport::readFileBytes(stick / "c002.TTF"), b);

        const std::string path = (stick / "a.ttf").string();
        const CapturedMessage message;
        TableDirectory directory;
        NameTable names;
        ASSERT_TRUE(loadFont(path.c_str(), directory, names));
        names.find(3, 1, 0x409, 1)->text = "Saved on a stick";
        EXPECT_TRUE(saveFont(path.c_str(), directory, names)) << message.reason;
        EXPECT_EQ(stick.dir().entries(),
                  (std::vector<std::string>{"a.ttf", "b.ttf", "c.ttc", "c001.TTF", "c002.TTF"}));

        // One file however spelled: an output that is an input in other
        // letters is refused, and so are two outputs of break that links
        // send to one file there.
        const Bytes saved = testsupport::readFileBytes(path);
        const ZelvicRun overInput = runZelvic(folder, "A.TTF a.ttf b.ttf");
        EXPECT_EQ(overInput.status, 253);
        EXPECT_EQ(overInput.error,
                  "Error: A.TTF: is the same file as the input a.ttf; nothing written.\n");
        EXPECT_EQ(testsupport::readFileBytes(path), saved);
        TempDir work;
        fs::copy_file(stick / "c.ttc", work / "c.ttc");
        fs::create_symlink(stick / "X.TTF", work / "c001.TTF");
        fs::create_symlink(stick / "x.ttf", work / "c002.TTF");
        const ZelvicRun twoInOne = runZelvic(work.path(), "c.ttc");
        EXPECT_EQ(twoInOne.status, 253);
        EXPECT_EQ(twoInOne.error,
                  "Error: c002.TTF: is the same file as c001.TTF; nothing written.\n");
        EXPECT_EQ(stick.dir().entries(),
                  (std::vector<std::string>{"a.ttf", "b.ttf", "c.ttc", "c001.TTF", "c002.TTF"}));

        // Bytes overwritten and read back after appends, near the end and
        // further back, as make's directories and break's checksum
        // adjustment are: FUSE's FAT put such writes in the wrong place.
        filecore::FileReplacement output;
        filecore::FileError error;
        Bytes expected = testsupport::patternBytes(70000, 5);
        ASSERT_TRUE(output.create((stick / "patched.bin").string(), error)) << error.describe();
        ASSERT_TRUE(output.append(expected, error)) << error.describe();
        const Bytes patch = {0xAA, 0xBB, 0xCC, 0xDD};
        for (const std::size_t at : {69990, 100, 65000, 69996}) {
            ASSERT_TRUE(output.writeAt(at, patch, error)) << error.describe();
            std::copy(patch.begin(), patch.end(),
                      expected.begin() + static_cast<std::ptrdiff_t>(at));
        }
        Bytes back(4);
        ASSERT_TRUE(output.readAt(69996, back, error)) << error.describe();
        EXPECT_EQ(back, patch);
        ASSERT_TRUE(output.append(patch, error) && output.commit(error)) << error.describe();
        expected.insert(expected.end(), patch.begin(), patch.end());
        EXPECT_EQ(testsupport::readFileBytes(stick / "patched.bin"), expected);
    }
    if (tried == 0) {
        GTEST_SKIP() << "neither FAT nor exFAT could be mounted";
    }
}

}  // namespace
