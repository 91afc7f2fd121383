#include <gtest/gtest.h>

#include "ZelvicTestSupport.h"

using namespace testsupport;
using namespace zelvictest;

namespace {

const std::string kUsage =
    "make .TTC:  Zelvic [.TTC] [1.TTF] [2.TTF] ...\n"
    "break .TTC: Zelvic [.TTC]\n\n";

TEST(ZelvicDriver, NoArgumentsOrTwoGiveTheUsageAndTouchNothing) {
    TempDir dir;
    CapturedConsole none;
    EXPECT_EQ(zelvic::runZelvic({}, none.console()), -1);
    EXPECT_EQ(none.output(), kBanner + kUsage);

    const auto out = (dir / "out.ttc").string();
    CapturedConsole two;
    const std::vector<std::string> arguments{out, (dir / "a.ttf").string()};
    EXPECT_EQ(zelvic::runZelvic(arguments, two.console()), -1);
    EXPECT_EQ(two.output(), kBanner + kUsage);
    EXPECT_TRUE(dir.entries().empty());
}

const std::string kHelp =
    "make .TTC:  Zelvic [.TTC] [1.TTF] [2.TTF] ...\n"
    "break .TTC: Zelvic [.TTC]\n"
    "--help:     show this text\n"
    "--version:  show the version\n\n";

// --help and --version are options only when alone; anywhere else they are
// file names, as is ./--help, and the mode follows from the count as ever.
TEST(ZelvicDriver, HelpAndVersionOnlyWhenAlone) {
    TempDir dir;
    InFolder in(dir.path());
    writeFileBytes("--help", buildFont({{"head", patternBytes(54, 1)}}));
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string output;
        std::string error;  // a part of the error stream; empty: nothing there
    };
    const Case cases[] = {
        {{"--version"}, 0, "Zelvic " FONTTOOLS_VERSION "\n", ""},
        {{"--help"}, 0, kBanner + kHelp, ""},
        {{"./--help"}, -2, kBanner, "./--help: not a TrueType Collection"},
        {{"--help", "a.ttf"}, -1, kBanner + kUsage, ""},
        {{"--version", "a.ttf", "b.ttf"}, -2, kBanner, "a.ttf: cannot open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " and " + std::to_string(c.arguments.size() - 1));
        CapturedConsole captured;
        EXPECT_EQ(zelvic::runZelvic(c.arguments, captured.console()), c.status);
        EXPECT_EQ(captured.output(), c.output);
        const std::string errors = captured.errors();
        if (c.error.empty()) {
            EXPECT_EQ(errors, "");
        } else {
            EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
        }
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"--help"});
}

TEST(ZelvicDriver, OneArgumentBreaksWhateverItsName) {
    TempDir dir;
    const auto font = dir / "a.ttf";
    writeFileBytes(font, buildFont({{"head", patternBytes(54, 1)}}));
    const auto result = runBreak(font.string());
    EXPECT_EQ(result.status, -2);
    EXPECT_NE(result.errors.find("not a TrueType Collection"), std::string::npos);
}

TEST(ZelvicDriver, TheProgramExitsWithTheStatusAShellSees) {
    EXPECT_EQ(runCommand(shellQuote(zelvicProgram()) + " >/dev/null").status, 255);
    EXPECT_EQ(runCommand(shellQuote(zelvicProgram()) + " /nonexistent.ttc 2>/dev/null").status,
              254);
    const auto usage = runCommand(shellQuote(zelvicProgram()) + " 2>&1");
    EXPECT_EQ(usage.output, kBanner + kUsage);
    const auto version = runCommand(shellQuote(zelvicProgram()) + " --version 2>&1");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "Zelvic " FONTTOOLS_VERSION "\n");
    EXPECT_EQ(runCommand(shellQuote(zelvicProgram()) + " --help 2>&1").output, kBanner + kHelp);
}

}  // namespace
