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
}

}  // namespace
