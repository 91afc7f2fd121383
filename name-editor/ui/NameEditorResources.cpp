// The name editor's resources: the main dialog's template and the program icon.
#include "platform/Resources.h"
#include "resource.h"

#include "platform/Afx.h"
#include "res/kestrin-16.xpm"
#include "res/kestrin-32.xpm"

namespace {

constexpr auto label = ControlClass::Static;
constexpr auto edit = ControlClass::Edit;

// The tooltips of a label and its field: the name ID and what it is for.
constexpr const char* encodeTip = QT_TRANSLATE_NOOP(
    "Resources", "The platform, encoding and language of the names below; each has its own set.");
constexpr const char* fontNameTip = QT_TRANSLATE_NOOP(
    "Resources",
    "Name ID 4: Full font name, shown in font menus"
    "\n* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.");
constexpr const char* familyNameTip = QT_TRANSLATE_NOOP(
    "Resources",
    "Name ID 1: Font family name, shared by the family's styles"
    "\n* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.");
constexpr const char* subFamilyNameTip = QT_TRANSLATE_NOOP(
    "Resources",
    "Name ID 2: Font subfamily (style) name: Regular, Italic, Bold or Bold Italic"
    "\n* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.");
constexpr const char* uniqueIdentifierTip = QT_TRANSLATE_NOOP(
    "Resources",
    "Name ID 3: Unique font identifier, telling this font from every other"
    "\n* marks a name every font has (IDs 1 to 4): systems list and tell fonts apart by it.");
constexpr const char* postscriptNameTip = QT_TRANSLATE_NOOP(
    "Resources", "Name ID 6: PostScript name, used by printers and in PDF files; no blanks");
constexpr const char* versionTip =
    QT_TRANSLATE_NOOP("Resources", "Name ID 5: Version string, \"Version 1.000\" and so on");
constexpr const char* trademarkTip = QT_TRANSLATE_NOOP("Resources", "Name ID 7: Trademark notice");
constexpr const char* fontChooserTip =
    QT_TRANSLATE_NOOP("Resources", "The font of the collection whose names are shown below.");
constexpr const char* copyrightTip = QT_TRANSLATE_NOOP("Resources", "Name ID 0: Copyright notice");

// Template order is the tab order: the lists, the fields top to bottom, the
// buttons. Each label stands on its control's row, its '&' marking the Alt
// key that takes the focus there; row 2 is a gap. The texts are English;
// their translations (context "Resources") are in res/resources_*.ts.
constexpr DialogItemTemplate nameEditorItems[] = {
    // Shown only for a collection, to choose which of its fonts to edit.
    {IDC_FONTCHOOSER, ControlClass::ComboBox, "", Place::Field, 0, nullptr},
    {IDC_ENCODE, ControlClass::ComboBox, "", Place::Field, 1, nullptr},
    {IDC_FONTNAME, edit, "", Place::Field, 3, nullptr},
    {IDC_FAMILYNAME, edit, "", Place::Field, 4, nullptr},
    {IDC_SUBFAMILYNAME, edit, "", Place::Field, 5, nullptr},
    {IDC_UNIQUEIDENTIFIER, edit, "", Place::Field, 6, nullptr},
    {IDC_POSTSCRIPTNAME, edit, "", Place::Field, 7, nullptr},
    {IDC_VERSION, edit, "", Place::Field, 8, nullptr},
    {IDC_TRADEMARK, edit, "", Place::Field, 9, nullptr},
    {IDC_COPYRIGHT, edit, "", Place::Field, 10, nullptr},
    {IDOK, ControlClass::DefaultButton, QT_TRANSLATE_NOOP("Resources", "OK"), Place::Button, 0,
     nullptr},
    {IDCANCEL, ControlClass::Button, QT_TRANSLATE_NOOP("Resources", "Cancel"), Place::Button, 0,
     nullptr},
    {IDC_FONTCHOOSERLABEL, label, QT_TRANSLATE_NOOP("Resources", "F&ont"), Place::Label, 0,
     fontChooserTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "&Encode"), Place::Label, 1, encodeTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* &FontName"), Place::Label, 3,
     fontNameTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* F&amilyName"), Place::Label, 4,
     familyNameTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* &SubFamilyName"), Place::Label, 5,
     subFamilyNameTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* &UniqueIdentifier"), Place::Label, 6,
     uniqueIdentifierTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "&PostscriptName"), Place::Label, 7,
     postscriptNameTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "&Version"), Place::Label, 8, versionTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "&Trademark"), Place::Label, 9,
     trademarkTip},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "&Copyright"), Place::Label, 10,
     copyrightTip},
    // Empty unless the font can't be saved where it is or has other names.
    {IDC_READONLY, label, "", Place::Field, 11, nullptr},
    // After the template's own controls, so that they keep their tab order:
    // the records window, and how many warnings the names have (empty when none).
    {IDC_NAMES, ControlClass::Button, QT_TRANSLATE_NOOP("Resources", "Names…"), Place::Button, 0,
     nullptr},
    {IDC_NAMEWARNINGS, label, "", Place::Field, 12, nullptr},
};

constexpr DialogTemplate nameEditorDialog = {
    QT_TRANSLATE_NOOP("Resources", "Kestrin"), "ＭＳ Ｐゴシック", 9, 68, nameEditorItems,
};

constexpr IconResource mainIcon = {kestrinIcon32, kestrinIcon16};

}  // namespace

const DialogTemplate* AfxFindDialogTemplate(unsigned id) {
    return id == IDD_NAMEEDITOR_DIALOG ? &nameEditorDialog : nullptr;
}

const IconResource* AfxFindIconResource(unsigned id) {
    return id == IDR_MAINFRAME ? &mainIcon : nullptr;
}
