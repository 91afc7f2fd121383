// The main dialog driven as a user would: selections, typing, OK and Cancel,
// over name tables built in memory.
#include "NameEditorDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QtTest/QTest>

#include <functional>
#include <string>
#include <vector>

#include "DialogDriver.h"

namespace {

using testsupport::comboOf;
using testsupport::editOf;
using testsupport::entriesOf;
using testsupport::runDialog;
using testsupport::textOf;

constexpr const char* macEnglish = "platform=Macintosh, encode=Roman, lang=English";
constexpr const char* windowsUs =
    "platform=Microsft, encode=Unicode, lang=English (United States, 1033)";
constexpr const char* windowsUk =
    "platform=Microsft, encode=Unicode, lang=English (United Kingdom, 2057)";

struct Key {
    std::uint16_t platformID, encodingID, languageID, nameID;
};

const NameRecord* findRecord(NameTable& names, Key key) {
    return names.find(key.platformID, key.encodingID, key.languageID, key.nameID);
}

std::string textAt(NameTable& names, Key key) {
    const NameRecord* record = findRecord(names, key);
    return record == nullptr ? "<none>" : record->text;
}

// Windows English names 0 to 6 first in table order, then a Macintosh set
// without a copyright, then a British English family, which the list tells
// apart from American English by region. Entries: Macintosh, British, American.
NameTable typicalNames() {
    NameTable names;
    const char* windows[] = {"(c) Foundry",    "Sample",      "Regular",       "Foundry: Sample",
                             "Sample Regular", "Version 1.0", "Sample-Regular"};
    for (std::uint16_t id = 0; id < 7; ++id) {
        names.add(3, 1, 1033, id, windows[id]);
    }
    names.add(1, 0, 0, 1, "Mac Sample");
    names.add(1, 0, 0, 2, "Mac Regular");
    names.add(1, 0, 0, 4, "Mac Sample Regular");
    names.add(3, 1, 2057, 1, "British Sample");
    return names;
}

void selectEntry(CDialog& dialog, int index) {
    // What a user's pick in the list does: the selection changes and the
    // dialog hears of it.
    comboOf(dialog, IDC_ENCODE)->setCurrentIndex(index);
}

void retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void press(CDialog& dialog, int buttonId) {
    qobject_cast<QPushButton*>(dialog.GetDlgItem(buttonId))->click();
}

TEST(NameEditorDlg, ListsEachTripleOnceSortedWithTheFirstTripleSelected) {
    NameTable names = typicalNames();
    CNameEditorDlg dialog(nullptr, names);
    const INT_PTR result = runDialog(dialog, [&] {
        EXPECT_EQ(entriesOf(comboOf(dialog, IDC_ENCODE)),
                  (std::vector<std::string>{macEnglish, windowsUk, windowsUs}));
        EXPECT_EQ(comboOf(dialog, IDC_ENCODE)->currentIndex(), 0);
        // Macintosh sorts first although its records come later in the table.
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "Mac Sample");
        EXPECT_EQ(textOf(editOf(dialog, IDC_FONTNAME)), "Mac Sample Regular");
        EXPECT_EQ(textOf(editOf(dialog, IDC_COPYRIGHT)), "");
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    // The first refresh added an empty record for every name the triple lacked.
    EXPECT_EQ(textAt(names, {1, 0, 0, 0}), "");
    EXPECT_EQ(textAt(names, {1, 0, 0, 7}), "");
    EXPECT_EQ(names.records.size(), 11u + 8u);
}

TEST(NameEditorDlg, SortsWithoutRegardToCaseAndEachEntryKeepsItsOwnTriple) {
    NameTable names;
    names.add(3, 1, 2057, 1, "British first");
    names.add(1, 8, 0, 1, "Symbol");  // "RSymbol" sorts after "Roman" only when case is ignored
    names.add(1, 0, 0, 1, "Roman");
    names.add(3, 1, 1033, 1, "American");
    CNameEditorDlg dialog(nullptr, names);
    runDialog(dialog, [&] {
        EXPECT_EQ(entriesOf(comboOf(dialog, IDC_ENCODE)),
                  (std::vector<std::string>{macEnglish,
                                            "platform=Macintosh, encode=RSymbol, lang=English",
                                            windowsUk, windowsUs}));
        selectEntry(dialog, 2);
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "British first");
        retype(editOf(dialog, IDC_FAMILYNAME), "British edited");
        // Stored by the refresh alone: Cancel then ends without a save.
        dialog.OnSelchangeEncode();
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(textAt(names, {3, 1, 2057, 1}), "British edited");
    EXPECT_EQ(textAt(names, {3, 1, 1033, 1}), "American");
}

TEST(NameEditorDlg, RegionalVariantsAreSeparateEntriesEachEditingItsOwnRecords) {
    NameTable names;
    const std::uint16_t languages[] = {1031, 2055, 1034, 3082, 1042};
    for (const std::uint16_t language : languages) {
        names.add(3, 1, language, 1, "Family");
    }
    names.add(3, 1, 1031, 2, "Regular");  // a second record of a triple adds no entry
    CNameEditorDlg dialog(nullptr, names);
    runDialog(dialog, [&] {
        const std::string prefix = "platform=Microsft, encode=Unicode, lang=";
        EXPECT_EQ(entriesOf(comboOf(dialog, IDC_ENCODE)),
                  (std::vector<std::string>{
                      prefix + "German (Germany, 1031)", prefix + "German (Switzerland, 2055)",
                      prefix + "Korean (South Korea)", prefix + "Spanish (Spain, 1034)",
                      prefix + "Spanish (Spain, 3082)"}));
        for (int entry = 0; entry < 5; ++entry) {
            selectEntry(dialog, entry);
            retype(editOf(dialog, IDC_FAMILYNAME), QStringLiteral("Family %1").arg(entry));
        }
        press(dialog, IDOK);
    });
    // In list order: 1031, 2055, 1042, 1034, 3082.
    const std::uint16_t listed[] = {1031, 2055, 1042, 1034, 3082};
    for (std::size_t entry = 0; entry < std::size(listed); ++entry) {
        EXPECT_EQ(textAt(names, {3, 1, listed[entry], 1}), "Family " + std::to_string(entry))
            << listed[entry];
    }
    EXPECT_EQ(textAt(names, {3, 1, 1031, 2}), "Regular");
}

TEST(NameEditorDlg, KeepsTypedTextsAcrossSelectionChangesAndEmptiesMissingNames) {
    NameTable names = typicalNames();
    CNameEditorDlg dialog(nullptr, names);
    const INT_PTR result = runDialog(dialog, [&] {
        retype(editOf(dialog, IDC_FAMILYNAME), "Mac Edited");
        selectEntry(dialog, 2);  // American English
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "Sample");
        EXPECT_EQ(textOf(editOf(dialog, IDC_VERSION)), "Version 1.0");
        // Windows English has no trademark: the field is emptied and unbound.
        EXPECT_EQ(textOf(editOf(dialog, IDC_TRADEMARK)), "");
        retype(editOf(dialog, IDC_FAMILYNAME), "Windows Edited");
        retype(editOf(dialog, IDC_TRADEMARK), "Sample is a mark");

        selectEntry(dialog, 0);
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "Mac Edited");
        // The empty record added for the Macintosh trademark at opening.
        EXPECT_EQ(textOf(editOf(dialog, IDC_TRADEMARK)), "");

        selectEntry(dialog, 2);  // American English
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "Windows Edited");
        EXPECT_EQ(textOf(editOf(dialog, IDC_TRADEMARK)), "Sample is a mark");
        QTest::keyClick(editOf(dialog, IDC_TRADEMARK), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(textAt(names, {1, 0, 0, 1}), "Mac Edited");
    EXPECT_EQ(textAt(names, {3, 1, 1033, 1}), "Windows Edited");
    // Typed while Windows English was shown, so stored under its triple,
    // although the refresh that stored it was for the Macintosh entry.
    EXPECT_EQ(textAt(names, {3, 1, 1033, 7}), "Sample is a mark");
    EXPECT_EQ(textAt(names, {1, 0, 0, 7}), "");
}

TEST(NameEditorDlg, CancelAndEscapeStoreNothingTypedSinceTheLastRefresh) {
    for (const bool useEscape : {false, true}) {
        NameTable names = typicalNames();
        CNameEditorDlg dialog(nullptr, names);
        const INT_PTR result = runDialog(dialog, [&] {
            retype(editOf(dialog, IDC_FAMILYNAME), "Never stored");
            if (useEscape) {
                QTest::keyClick(dialog.GetSafeHwnd(), Qt::Key_Escape);
            } else {
                dialog.GetSafeHwnd()->close();  // the caption's close box
            }
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(textAt(names, {1, 0, 0, 1}), "Mac Sample");
    }
}

TEST(NameEditorDlg, GivesBackUneditedBytesThatAreNotUtf8) {
    NameTable names;
    names.add(1, 0, 0, 1, "Caf\xE9");      // Mac Roman bytes, not UTF-8
    names.add(1, 0, 0, 4, "Caf\xC3\xA9");  // valid UTF-8
    CNameEditorDlg dialog(nullptr, names);
    runDialog(dialog, [&] {
        EXPECT_EQ(editOf(dialog, IDC_FAMILYNAME)->text(), QString::fromUtf8("Caf\xC3\xA9"));
        EXPECT_EQ(editOf(dialog, IDC_FONTNAME)->text(), QString::fromUtf8("Caf\xC3\xA9"));
        // Stored by the refresh; OK would refuse the bytes, which no encoding holds.
        dialog.OnSelchangeEncode();
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(textAt(names, {1, 0, 0, 1}), "Caf\xE9");
    EXPECT_EQ(textAt(names, {1, 0, 0, 4}), "Caf\xC3\xA9");
}

TEST(NameEditorDlg, WithoutNamesTheListIsEmptyAndOkStillEnds) {
    NameTable names;
    CNameEditorDlg dialog(nullptr, names);
    const INT_PTR result = runDialog(dialog, [&] {
        EXPECT_EQ(comboOf(dialog, IDC_ENCODE)->count(), 0);
        QTest::keyClicks(editOf(dialog, IDC_FAMILYNAME), "Nowhere");
        press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(names.records.empty());
}

TEST(NameEditorDlg, LaysOutTheTemplateInTabOrder) {
    NameTable names = typicalNames();
    CNameEditorDlg dialog(nullptr, names);
    runDialog(dialog, [&] {
        QWidget* window = dialog.GetSafeHwnd();
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrin"));
        // The Encode list has the focus at opening, and the style is told to
        // draw it: without the keyboard-focus state Fusion and others draw none.
        QComboBox* list = comboOf(dialog, IDC_ENCODE);
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        EXPECT_EQ(QApplication::focusWidget(), list);
        QStyleOptionComboBox look;
        look.initFrom(list);
        EXPECT_TRUE(look.state.testFlag(QStyle::State_HasFocus));
        EXPECT_TRUE(look.state.testFlag(QStyle::State_KeyboardFocusChange));
        EXPECT_FALSE(window->windowIcon().isNull());
        const int order[] = {IDC_ENCODE,
                             IDC_FONTNAME,
                             IDC_FAMILYNAME,
                             IDC_SUBFAMILYNAME,
                             IDC_UNIQUEIDENTIFIER,
                             IDC_POSTSCRIPTNAME,
                             IDC_VERSION,
                             IDC_TRADEMARK,
                             IDC_COPYRIGHT,
                             IDOK,
                             IDCANCEL};
        for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
            EXPECT_EQ(dialog.GetDlgItem(order[i])->nextInFocusChain(),
                      dialog.GetDlgItem(order[i + 1]))
                << "after control " << order[i];
        }
        // Fields stack downwards, 15 dialog units apart, all as wide as the list.
        for (int id = IDC_FONTNAME; id < IDC_COPYRIGHT; ++id) {
            EXPECT_LT(dialog.GetDlgItem(id)->y(), dialog.GetDlgItem(id + 1)->y());
            EXPECT_EQ(dialog.GetDlgItem(id)->width(), dialog.GetDlgItem(IDC_ENCODE)->width());
        }
        auto* ok = qobject_cast<QPushButton*>(dialog.GetDlgItem(IDOK));
        auto* cancel = qobject_cast<QPushButton*>(dialog.GetDlgItem(IDCANCEL));
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
        EXPECT_LT(ok->x(), cancel->x());
        press(dialog, IDCANCEL);
    });
}

// Runs `inWindow` inside the records window, opened with the dialog's Names… button.
void throughNamesWindow(CDialog& dialog, std::function<void(QDialog&)> inWindow) {
    testsupport::ModalScript script([inWindow = std::move(inWindow)] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        inWindow(*window);
    });
    press(dialog, IDC_NAMES);
}

void deleteRowReading(QDialog& window, const QString& text) {
    auto* view = window.findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, 4).data().toString() == text) {
            view->selectRow(row);
        }
    }
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == "&Delete") {
            button->click();
        }
    }
}

TEST(NameEditorDlg, NamesWindowEditsTheSameNamesAndItsCancelTakesItsEditsBack) {
    NameTable names = typicalNames();
    CNameEditorDlg dialog(nullptr, names);
    const INT_PTR result = runDialog(dialog, [&] {
        // The Macintosh entry is shown.
        throughNamesWindow(dialog, [](QDialog& window) {
            deleteRowReading(window, "Mac Sample");
            window.reject();
        });
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "Mac Sample");
        EXPECT_NE(findRecord(names, {1, 0, 0, 1}), nullptr);
        throughNamesWindow(dialog, [](QDialog& window) {
            deleteRowReading(window, "Mac Sample");
            window.accept();
        });
        EXPECT_EQ(textOf(editOf(dialog, IDC_FAMILYNAME)), "");
        press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    // OK's refresh didn't bring the deleted name back.
    std::vector<std::uint8_t> table;
    ASSERT_EQ(names.write(table), SaveError::None);
    NameTable saved;
    ASSERT_EQ(saved.read(table), LoadError::None);
    EXPECT_EQ(findRecord(saved, {1, 0, 0, 1}), nullptr);
    EXPECT_EQ(textAt(saved, {1, 0, 0, 4}), "Mac Sample Regular");
}

}  // namespace
