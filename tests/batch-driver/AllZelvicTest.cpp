#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "SfntBuilder.h"
#include "TestFiles.h"

using namespace testsupport;

namespace {

const std::string kBinDir = std::string(PROJECT_BINARY_DIR) + "/bin";

// Runs AllZelvic in `folder` with both output streams caught together;
// `environment` (or a command such as timeout) goes before the program.
CommandResult runIn(const std::filesystem::path& folder, const std::string& program,
                    const std::string& environment = "") {
    return runCommand("cd " + shellQuote(folder.string()) + " && " + environment + " " +
                      shellQuote(program) + " 2>&1");
}

class AllZelvic : public ::testing::Test {
  protected:
    void font(const std::string& name, std::uint8_t seed) {
        writeFileBytes(dir / name, buildFont({{"head", patternBytes(54, seed)},
                                              {"glyf", patternBytes(33, seed)}}));
    }
    std::string program = kBinDir + "/AllZelvic";
    TempDir dir;
};

TEST_F(AllZelvic, NoTtfFileIsAnErrorEvenBesideACollection) {
    writeFileBytes(dir / "Fonts.TTC", bytesOf("ttcf"));
    writeFileBytes(dir / "a.otf", bytesOf("OTTO"));
    // The message is the program's report, on standard output like Zelvic's.
    const auto result = runCommand("cd " + shellQuote(dir.path().string()) + " && " +
                                   shellQuote(program) + " 2>/dev/null");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output, "Error: no .ttf file.\n");
}

// --help and --version answer on standard output with status 0 when alone and
// start nothing; with anything beside them the arguments are ignored as ever.
TEST_F(AllZelvic, HelpAndVersionOnlyWhenAlone) {
    font("a.ttf", 1);
    struct Case {
        std::string arguments;
        int status;
        std::string output;  // the start of what is printed
    };
    const Case cases[] = {
        {"--version", 0, "AllZelvic " FONTTOOLS_VERSION "\n"},
        {"--help", 0, "AllZelvic: joins every .ttf file of the current folder into Fonts.TTC"},
        {"--help --help", 255, "Zelvic: TrueType Collection maker and splitter\n\nmake .TTC:"},
        {"./--version", 255, "Zelvic: TrueType Collection maker and splitter\n\nmake .TTC:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto result = runCommand("cd " + shellQuote(dir.path().string()) + " && " +
                                       shellQuote(program) + " " + c.arguments + " 2>&1");
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.output.substr(0, c.output.size()), c.output) << result.output;
    }
    EXPECT_EQ(runCommand(shellQuote(program) + " --version").output,
              "AllZelvic " FONTTOOLS_VERSION "\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.ttf"});
}

TEST_F(AllZelvic, PassesEveryTtfSortedWithoutRegardToCase) {
    font("b.TTF", 2);
    font("A.ttf", 1);
    font("c d;e.Ttf", 3);
    font("skip.otf", 4);
    const auto result = runIn(dir.path(), program);
    ASSERT_EQ(result.status, 0) << result.output;
    const auto a = result.output.find("\nA.ttf:\t");
    const auto b = result.output.find("\nb.TTF:\t");
    const auto c = result.output.find("\nc d;e.Ttf:\t");
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_NE(c, std::string::npos);
    EXPECT_NE(result.output.find("Fonts.TTC:\tOk.\n\n"), std::string::npos);
    EXPECT_EQ(getU32(readFileBytes(dir / "Fonts.TTC"), 8), 3u);

    // A second run finds the same fonts: the collection is not among them.
    EXPECT_EQ(runIn(dir.path(), program).output, result.output);
}

TEST_F(AllZelvic, ExitsWithTheCollectionToolsStatus) {
    font("only.ttf", 1);
    const auto single = runIn(dir.path(), program);
    EXPECT_EQ(single.status, 255);
    EXPECT_NE(single.output.find("make .TTC:  Zelvic"), std::string::npos);

    std::filesystem::create_directory(dir / "folder.ttf");
    const auto broken = runIn(dir.path(), program);
    EXPECT_EQ(broken.status, 254);
    EXPECT_NE(broken.output.find("Error: folder.ttf: cannot open"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "Fonts.TTC"));

    // A FIFO nobody writes to: refused at once, not waited on.
    std::filesystem::remove(dir / "folder.ttf");
    ASSERT_EQ(::mkfifo((dir / "x.ttf").c_str(), 0644), 0);
    const auto fifo = runIn(dir.path(), program, "timeout 20");
    EXPECT_EQ(fifo.status, 254);
    EXPECT_NE(fifo.output.find("Error: x.ttf: cannot open: not a regular file."), std::string::npos)
        << fifo.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "Fonts.TTC"));
}

TEST_F(AllZelvic, AFolderItCannotListOrNamesThatDoNotFitOneCommandLine) {
    // Readable only by its owner's write and search bits: listing fails.
    // root may list anything, so the program runs as nobody then.
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0711));
    const auto unlisted = dir / "unlisted";
    std::filesystem::create_directory(unlisted);
    font("unlisted/a.ttf", 1);
    std::filesystem::permissions(unlisted, std::filesystem::perms(0333));
    const std::string asNobody =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const auto result = runIn(unlisted, program, asNobody);
    EXPECT_EQ(result.status, 254);
    EXPECT_EQ(result.output, "Error: cannot read the folder: Permission denied.\n");
    std::filesystem::permissions(unlisted, std::filesystem::perms(0755));

    // A 256 KiB stack allows 128 KiB of arguments; 600 names of 250 bytes
    // are more.
    const auto crowded = dir / "crowded";
    std::filesystem::create_directory(crowded);
    for (int k = 0; k < 600; ++k) {
        const std::string number = std::to_string(1000 + k);
        writeFileBytes(crowded / (std::string(242, 'n') + number + ".ttf"), {});
    }
    const auto tooLong = runCommand("cd " + shellQuote(crowded.string()) + " && ulimit -s 256 && " +
                                    shellQuote(program) + " 2>&1");
    EXPECT_EQ(tooLong.status, 254);
    EXPECT_EQ(tooLong.output,
              "Error: the names of the .ttf files are too long together for one command line.\n");
}

TEST_F(AllZelvic, FindsTheToolAlongPathButNeverInTheFontFolder) {
    font("a.ttf", 1);
    font("b.ttf", 2);
    // Alone in a folder, AllZelvic must look along PATH; a "Zelvic" in the
    // current folder is not to be run even when PATH names that folder.
    TempDir alone;
    std::filesystem::copy_file(program, alone / "AllZelvic");
    const std::string lone = (alone / "AllZelvic").string();
    writeFileBytes(dir / "Zelvic", bytesOf("#!/bin/sh\ntouch ran\n"));
    std::filesystem::permissions(dir / "Zelvic", std::filesystem::perms::owner_all);

    const auto missing = runIn(dir.path(), lone, "PATH=.:/nonexistent");
    EXPECT_EQ(missing.status, 127);
    EXPECT_NE(missing.output.find("Error: Zelvic: not found"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "ran"));

    const auto found = runIn(dir.path(), lone, "PATH=/nonexistent:" + shellQuote(kBinDir));
    EXPECT_EQ(found.status, 0) << found.output;
    EXPECT_TRUE(std::filesystem::exists(dir / "Fonts.TTC"));
}

}  // namespace
