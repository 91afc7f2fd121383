// Kestrin's start-up from the command line to the saved file: the process
// entry with real arguments, the program-wide model objects, load, dialog
// and save. Message boxes are captured, never shown.
#include "NameEditorApp.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QtTest/QTest>

#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "DialogDriver.h"
#include "FontStore.h"
#include "SfntBuilder.h"
#include "TestFiles.h"
#include "resource.h"

namespace {

using testsupport::Bytes;
using testsupport::getU16;
using testsupport::getU32;
using testsupport::TestName;

struct Message {
    std::string caption, text, file, informative;
};

// A name record as stored: its key and its string's bytes.
using StoredName = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t, Bytes>;

// The arguments as the program takes them: one path, words joined by blanks.
std::string joined(const std::vector<std::string>& words) {
    std::string path;
    for (const std::string& word : words) {
        path += (path.empty() ? "" : " ") + word;
    }
    return path;
}

std::map<std::string, Bytes> tablesOf(const Bytes& font) {
    std::map<std::string, Bytes> tables;
    const std::uint16_t count = getU16(font, 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = testsupport::recordOffset(i);
        const std::uint32_t offset = getU32(font, record + 8);
        const std::uint32_t length = getU32(font, record + 12);
        tables[std::string(font.begin() + static_cast<std::ptrdiff_t>(record),
                           font.begin() + static_cast<std::ptrdiff_t>(record + 4))] =
            Bytes(font.begin() + offset, font.begin() + offset + length);
    }
    return tables;
}

std::vector<StoredName> namesOf(const Bytes& font) {
    const Bytes table = tablesOf(font).at("name");
    std::vector<StoredName> names;
    const std::size_t storage = getU16(table, 4);
    for (std::size_t i = 0; i < getU16(table, 2); ++i) {
        const std::size_t at = 6 + 12 * i;
        const std::size_t start = storage + getU16(table, at + 10);
        names.emplace_back(
            getU16(table, at), getU16(table, at + 2), getU16(table, at + 4), getU16(table, at + 6),
            Bytes(table.begin() + static_cast<std::ptrdiff_t>(start),
                  table.begin() + static_cast<std::ptrdiff_t>(start + getU16(table, at + 8))));
    }
    return names;
}

class KestrinStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        // Each case starts the program afresh, as a process would.
        theFontFile = FontFile{};
        previous_ = setMessageBoxHandler(
            [this](const char* text, const char* caption, const MessageDetail& detail) {
                messages_.push_back(
                    {caption, text, std::string(detail.file), std::string(detail.informative)});
                return IDOK;
            });
    }
    void TearDown() override { setMessageBoxHandler(previous_); }

    // Runs the program's entry with these arguments; `script` drives the
    // dialog if one opens.
    int run(
        std::vector<std::string> arguments, std::function<void()> script = [] {}) {
        arguments.insert(arguments.begin(), "Kestrin");
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        testsupport::ModalWatchdog watchdog;
        testsupport::ModalScript driver([&] {
            dialogOpened_ = true;
            script();
        });
        // The script's timer goes with `driver` if no dialog ever ran it.
        return AfxWinMain(static_cast<int>(arguments.size()), argv.data());
    }

    // The dialog of the running program.
    static CWnd& dialog() { return *AfxGetApp()->m_pMainWnd; }

    static Bytes sampleFont() {
        const std::vector<TestName> names = {
            {1, 0, 0, 1, testsupport::bytesOf("Caf\x8E Sans")},  // Mac OS Roman
            {1, 0, 0, 2, testsupport::bytesOf("Regular")},
            {3, 1, 1033, 1, testsupport::utf16be("Sample")},
            {3, 1, 1033, 2, testsupport::utf16be("Regular")},
            {3, 1, 1033, 5, testsupport::utf16be("Version 1.0")},
            {3, 1, 1033, 256, testsupport::utf16be("Feature name")},
        };
        return testsupport::buildFont({{"head", testsupport::patternBytes(54, 1)},
                                       {"name", testsupport::buildNameTable(names)},
                                       {"post", testsupport::patternBytes(32, 2)}});
    }

    testsupport::TempDir dir_;
    std::vector<Message> messages_;
    bool dialogOpened_ = false;

  private:
    MessageBoxHandler previous_;
};

TEST_F(KestrinStartup, FailedLoadsShowTheirMessageWithWhatToDoAndNoDialog) {
    const auto garbage = dir_ / "garbage.ttf";
    testsupport::writeFileBytes(garbage, Bytes{0, 1, 0, 0, 0, 9});
    const auto collection = dir_ / "fonts.ttc";
    testsupport::writeFileBytes(collection, Bytes{'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 0});
    const std::string missing = (dir_ / "missing.ttf").string();
    // A shell's quotes stay part of the path, so the quoted name is not found.
    const std::string quoted = "\"" + (dir_ / "garbage.ttf").string() + "\"";

    struct Case {
        std::vector<std::string> arguments;
        std::string text, informative;
    };
    const std::vector<Case> cases = {
        {{missing}, "cannot open file.", "No such file or directory\nCheck that the file"},
        {{quoted}, "cannot open file.", "No such file or directory"},
        {{garbage.string()}, "invalid ttf file.", "fonts and collections (.ttf, .otf, .ttc, .otc)"},
        // A collection opens, unless its structures are at fault: here it has no fonts.
        {{collection.string()}, "invalid ttf file.", "holds no fonts"},
        // A second word becomes part of the path.
        {{garbage.string(), "extra"}, "cannot open file.", "No such file or directory"},
    };
    for (const Case& c : cases) {
        messages_.clear();
        dialogOpened_ = false;
        EXPECT_EQ(run(c.arguments), 1) << c.text;
        ASSERT_EQ(messages_.size(), 1u) << c.text;
        EXPECT_EQ(messages_[0].caption, "Error");
        EXPECT_EQ(messages_[0].text, c.text);
        EXPECT_NE(messages_[0].informative.find(c.informative), std::string::npos)
            << messages_[0].informative;
        EXPECT_EQ(messages_[0].file, joined(c.arguments));
        EXPECT_FALSE(dialogOpened_) << c.text;
        theFontFile = FontFile{};
    }
    EXPECT_EQ(testsupport::readFileBytes(garbage), (Bytes{0, 1, 0, 0, 0, 9}));
}

TEST_F(KestrinStartup, CancelLeavesTheFileByteIdenticalEvenForAPathWithBlanks) {
    const auto path = dir_ / "a font with blanks.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    // The shell splits the unquoted path into words; they are joined again.
    const int status = run({(dir_ / "a").string(), "font", "with", "blanks.ttf"}, [] {
        // The caption names the file, not its folder.
        EXPECT_EQ(dialog().GetSafeHwnd()->windowTitle(),
                  QStringLiteral("a font with blanks.ttf - Kestrin"));
        auto* family = testsupport::editOf(dialog(), IDC_FAMILYNAME);
        QTest::keyClicks(family, "Changed");
        testsupport::comboOf(dialog(), IDC_ENCODE)->setCurrentIndex(1);
        QTest::keyClick(dialog().GetSafeHwnd(), Qt::Key_Escape);
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(dialogOpened_);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(testsupport::readFileBytes(path), sampleFont());
}

// Run by CTest once per locale (LANG set, the other locale variables
// empty), with the text the Cancel button must then read; skipped in the
// suite's ordinary run, whose locale is whatever the caller has.
TEST_F(KestrinStartup, CancelButtonReadsInTheLanguageOfTheLocale) {
    const char* expected = std::getenv("KESTRIN_EXPECTED_CANCEL");
    if (expected == nullptr) {
        GTEST_SKIP() << "needs KESTRIN_EXPECTED_CANCEL and a locale, as CTest runs it";
    }
    const auto path = dir_ / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    run({path.string()}, [expected] {
        auto* cancel = qobject_cast<QPushButton*>(dialog().GetDlgItem(IDCANCEL));
        EXPECT_EQ(cancel->text(), QString::fromUtf8(expected))
            << qEnvironmentVariable("LANG").toStdString();
        // Only the button has a translation; the labels read the same everywhere.
        EXPECT_EQ(dialog().GetSafeHwnd()->windowTitle(), QStringLiteral("sample.ttf - Kestrin"));
        cancel->click();
    });
}

TEST_F(KestrinStartup, FailedSaveEndsWithStatusOne) {
    const auto path = dir_ / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    const int status = run({path.string()}, [] {
        testsupport::comboOf(dialog(), IDC_ENCODE)->setCurrentIndex(1);  // Windows, UTF-16
        // Two fields at their longest no longer fit the table's 16-bit offsets.
        for (const int id : {IDC_COPYRIGHT, IDC_TRADEMARK}) {
            auto* field = testsupport::editOf(dialog(), id);
            field->insert(QString(field->maxLength(), QLatin1Char('x')));
        }
        // The failed save brings the dialog back; leaving it ends the program.
        QTimer::singleShot(300, [] { QTest::keyClick(dialog().GetSafeHwnd(), Qt::Key_Escape); });
        QTest::keyClick(testsupport::editOf(dialog(), IDC_VERSION), Qt::Key_Return);
    });
    EXPECT_EQ(status, 1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "name table too large.");
    EXPECT_EQ(testsupport::readFileBytes(path), sampleFont());
}

// The real program without a display: the options that only inform work,
// each as the one argument; anything else is the path as before, and a font
// that loads is refused with the reason the dialog can't be shown.
TEST(KestrinCommandLine, HelpAndVersionAloneAnswerWithoutADisplay) {
    testsupport::TempDir dir;
    testsupport::writeFileBytes(
        dir.path() / "font.ttf",
        testsupport::buildFont({{"head", testsupport::patternBytes(54, 1)},
                                {"name", testsupport::buildNameTable({})}}));
    struct Case {
        std::string arguments;
        int status;
        std::string output, errors;
    };
    const std::vector<Case> cases = {
        {"--version", 0, "Kestrin " FONTTOOLS_VERSION "\n", ""},
        {"--help", 0, "usage: Kestrin [FONT]\n", ""},
        // A file named like the option is given with its folder.
        {"./--help", 1, "", "Error: cannot open file.\n  ./--help\n  No such file or directory\n"},
        {"--help --version", 1, "", "Error: cannot open file.\n"},
        {"--Version", 1, "", "Error: cannot open file.\n"},
        {"", 1, "", "usage: Kestrin [FONT]\n"},
        {"font.ttf", 1, "", "Error: cannot show the dialog: no display (DISPLAY is not set).\n"},
    };
    for (const Case& c : cases) {
        const auto errors = dir.path() / "stderr";
        const testsupport::CommandResult result =
            testsupport::runCommand("cd " + testsupport::shellQuote(dir.path().string()) +
                                    " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                    testsupport::shellQuote(KESTRIN_BINARY) + " " + c.arguments +
                                    " 2>" + testsupport::shellQuote(errors.string()));
        EXPECT_EQ(result.status, c.status) << c.arguments;
        // Only the first line of the help: the rest is prose. Only the
        // message's first lines: the advice below them is prose too.
        EXPECT_EQ(result.output.substr(0, result.output.find('\n') + 1), c.output) << c.arguments;
        const Bytes errorBytes = testsupport::readFileBytes(errors);
        EXPECT_EQ(std::string(errorBytes.begin(), errorBytes.end()).substr(0, c.errors.size()),
                  c.errors)
            << c.arguments;
        EXPECT_EQ(errorBytes.empty(), c.errors.empty()) << c.arguments;
    }
}

// A display that doesn't answer (a stale DISPLAY) ends the program with a
// message and status 1 before the font is touched, never with a core dump.
TEST_F(KestrinStartup, DisplayThatDoesNotAnswerEndsWithStatusOne) {
    testsupport::TempDir dir;
    const auto font = dir.path() / "font.ttf";
    testsupport::writeFileBytes(font, sampleFont());
    const testsupport::CommandResult result =
        testsupport::runCommand("env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:65000 " +
                                testsupport::shellQuote(KESTRIN_BINARY) + " " +
                                testsupport::shellQuote(font.string()) + " 2>&1");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.output.ends_with("Error: cannot connect to the display.\n"))
        << result.output;
    EXPECT_EQ(testsupport::readFileBytes(font), sampleFont());
}

// A font opened and closed with Enter is not rewritten: OK after no edit,
// or after a name typed back as it was, leaves the file's bytes and time.
TEST_F(KestrinStartup, OkWithoutEditsLeavesTheFileAndItsTimeAsTheyWere) {
    const auto path = dir_ / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    const auto lastWeek = std::filesystem::last_write_time(path) - std::chrono::hours(24 * 7);
    std::filesystem::last_write_time(path, lastWeek);
    const int status = run({path.string()}, [] {
        EXPECT_EQ(testsupport::entriesOf(testsupport::comboOf(dialog(), IDC_ENCODE)),
                  (std::vector<std::string>{"platform=Macintosh, encode=Roman, lang=English",
                                            "platform=Microsft, encode=Unicode, lang=English"}));
        EXPECT_EQ(testsupport::editOf(dialog(), IDC_FAMILYNAME)->text(),
                  QString::fromUtf8("Caf\xC3\xA9 Sans"));
        testsupport::comboOf(dialog(), IDC_ENCODE)->setCurrentIndex(1);
        auto* family = testsupport::editOf(dialog(), IDC_FAMILYNAME);
        family->end(false);
        QTest::keyClick(family, Qt::Key_Backspace);
        QTest::keyClicks(family, "e");  // "Sample" again
        QTest::keyClick(testsupport::editOf(dialog(), IDC_VERSION), Qt::Key_Return);
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(testsupport::readFileBytes(path), sampleFont());
    EXPECT_EQ(std::filesystem::last_write_time(path), lastWeek);
}

TEST_F(KestrinStartup, OkSavesTypedNamesAddsMissingOnesAndDropsEmptiedOnes) {
    const auto path = dir_ / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    run({path.string()}, [] {
        testsupport::comboOf(dialog(), IDC_ENCODE)->setCurrentIndex(1);  // Windows English
        auto* family = testsupport::editOf(dialog(), IDC_FAMILYNAME);
        family->selectAll();
        QTest::keyClicks(family, "Renamed");
        QTest::keyClicks(testsupport::editOf(dialog(), IDC_TRADEMARK), "A mark");
        auto* version = testsupport::editOf(dialog(), IDC_VERSION);
        version->selectAll();
        QTest::keyClick(version, Qt::Key_Backspace);
        QTest::keyClick(family, Qt::Key_Return);
    });
    EXPECT_TRUE(messages_.empty());
    const std::vector<StoredName> saved = namesOf(testsupport::readFileBytes(path));
    const std::vector<StoredName> expected = {
        {1, 0, 0, 1, testsupport::bytesOf("Caf\x8E Sans")},
        {1, 0, 0, 2, testsupport::bytesOf("Regular")},
        {3, 1, 1033, 1, testsupport::utf16be("Renamed")},
        {3, 1, 1033, 2, testsupport::utf16be("Regular")},
        // Added records go where they sort.
        {3, 1, 1033, 7, testsupport::utf16be("A mark")},
        {3, 1, 1033, 256, testsupport::utf16be("Feature name")},
    };
    EXPECT_EQ(saved, expected);
}

// A save that fails brings the dialog back where it was, with the edits, for
// another try or Cancel; the read-only file and its second name were
// announced in the dialog from the start.
TEST_F(KestrinStartup, FailedSaveReopensTheDialogWhereItWasWithTheEdits) {
    const auto path = dir_ / "read-only.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    std::filesystem::create_hard_link(path, dir_ / "second name.ttf");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    int reopened = 0;
    const QPoint movedTo(140, 90);
    run({path.string()}, [&] {
        auto* notice = qobject_cast<QLabel*>(dialog().GetDlgItem(IDC_READONLY));
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->text().toStdString(),
                  "Read-only: Permission denied\n1 other hard link keeps the old font on save.");
        dialog().GetSafeHwnd()->move(movedTo);
        auto* family = testsupport::editOf(dialog(), IDC_FAMILYNAME);
        family->selectAll();
        QTest::keyClicks(family, "Edited");
        // Runs in the modal loop of the dialog that opens after the failed save.
        QTimer::singleShot(300, [&] {
            ++reopened;
            EXPECT_EQ(testsupport::textOf(testsupport::editOf(dialog(), IDC_FAMILYNAME)), "Edited");
            EXPECT_EQ(dialog().GetSafeHwnd()->pos(), movedTo);
            QTest::keyClick(dialog().GetSafeHwnd(), Qt::Key_Escape);
        });
        QTest::keyClick(family, Qt::Key_Return);
    });
    EXPECT_EQ(reopened, 1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "cannot open file.");
    EXPECT_EQ(messages_[0].file, path.string());
    EXPECT_TRUE(messages_[0].informative.starts_with("cannot save: Permission denied\n"))
        << messages_[0].informative;
    EXPECT_EQ(testsupport::readFileBytes(path), sampleFont());
}

// A folder that can't be written is named as the folder, in the line under
// the fields and in the failed save's message. Root may write any folder
// without the immutable flag, so root's run needs a file system that has it.
TEST_F(KestrinStartup, AFolderThatCantBeWrittenIsNamedAsTheFolder) {
    const auto folder = dir_ / "locked";
    std::filesystem::create_directory(folder);
    const auto path = folder / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    const std::string lock = geteuid() == 0 ? "chattr +i " : "chmod a-w ";
    const std::string unlock = geteuid() == 0 ? "chattr -i " : "chmod u+w ";
    const std::string quoted = testsupport::shellQuote(folder.string());
    if (testsupport::runCommand(lock + quoted + " 2>/dev/null").status != 0) {
        GTEST_SKIP() << "this file system can't lock a folder against root";
    }
    const int status = run({path.string()}, [&] {
        auto* notice = qobject_cast<QLabel*>(dialog().GetDlgItem(IDC_READONLY));
        EXPECT_TRUE(notice->text().startsWith(
            QString::fromStdString("The folder " + folder.string() + " can't be written: ")))
            << notice->text().toStdString();
        QTest::keyClicks(testsupport::editOf(dialog(), IDC_TRADEMARK), "A mark");
        QTimer::singleShot(300, [] { QTest::keyClick(dialog().GetSafeHwnd(), Qt::Key_Escape); });
        QTest::keyClick(testsupport::editOf(dialog(), IDC_TRADEMARK), Qt::Key_Return);
    });
    testsupport::runCommand(unlock + quoted);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(
        messages_[0].informative.starts_with("cannot save: the folder “locked” can't be written ("))
        << messages_[0].informative;
    EXPECT_EQ(testsupport::readFileBytes(path), sampleFont());
}

// Without a path the chooser asks for a font, offering fonts and all files,
// and opens the next time in the folder of the file chosen.
TEST_F(KestrinStartup, ChooserOffersFontsAndAllFilesAndRemembersTheFolder) {
    const auto path = dir_ / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    const auto chooser = [] {
        return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    };
    const int status = run({}, [&] {
        ASSERT_NE(chooser(), nullptr);
        // The English texts; a Japanese session sees them translated.
        if (QLocale().language() != QLocale::Japanese) {
            EXPECT_EQ(chooser()->windowTitle(), QStringLiteral("Open Font - Kestrin"));
            EXPECT_EQ(chooser()->nameFilters(),
                      (QStringList{QStringLiteral("Fonts (*.ttf *.otf *.ttc *.otc)"),
                                   QStringLiteral("All files (*)")}));
        }
        EXPECT_EQ(chooser()->nameFilters().size(), 2);
        chooser()->selectFile(QString::fromStdString(path.string()));
        QTimer::singleShot(300, [] { QTest::keyClick(dialog().GetSafeHwnd(), Qt::Key_Escape); });
        static_cast<QDialog*>(chooser())->accept();  // as the Open button does
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(messages_.empty());
    run({}, [&] {
        ASSERT_NE(chooser(), nullptr);
        EXPECT_EQ(chooser()->directory().absolutePath().toStdString(), dir_.path().string());
        chooser()->reject();
    });
}

// Japanese typed into a Mac OS Roman name is never saved as something else:
// OK names the field and the encoding, and the dialog stays open on the text.
TEST_F(KestrinStartup, TextItsEncodingCantHoldKeepsTheDialogOpen) {
    const auto path = dir_ / "sample.ttf";
    testsupport::writeFileBytes(path, sampleFont());
    const QString japanese = QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC");
    run({path.string()}, [&] {
        auto* family = testsupport::editOf(dialog(), IDC_FAMILYNAME);  // Macintosh Roman
        family->selectAll();
        family->insert(japanese);  // as an input method would commit it
        family->setModified(true);
        auto* combo = testsupport::comboOf(dialog(), IDC_ENCODE);
        combo->setCurrentIndex(1);  // the text is stored; Windows English is shown
        QTest::keyClick(testsupport::editOf(dialog(), IDC_VERSION), Qt::Key_Return);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, "FamilyName: cannot be encoded in Mac OS Roman.");
        EXPECT_EQ(combo->currentIndex(), 0);  // back on the Macintosh entry
        EXPECT_EQ(family->text(), japanese);
        QTest::keyClick(dialog().GetSafeHwnd(), Qt::Key_Escape);
    });
    EXPECT_EQ(testsupport::readFileBytes(path), sampleFont());
}

}  // namespace
