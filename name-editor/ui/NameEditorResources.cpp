// The name editor's resources: the main dialog's template and the program icon.
#include "platform/Resources.h"
#include "resource.h"

#include "platform/Afx.h"
#include "res/kestrin-16.xpm"
#include "res/kestrin-32.xpm"

namespace {

constexpr auto label = ControlClass::Static;
constexpr auto edit = ControlClass::Edit;

// Template order is the tab order: the list, the fields top to bottom, the
// buttons. Each label stands on its control's row; row 1 is a gap. The texts
// are English; their translations (context "Resources") are in res/resources_*.ts.
constexpr DialogItemTemplate nameEditorItems[] = {
    {IDC_ENCODE, ControlClass::ComboBox, "", Place::Field, 0, nullptr},
    {IDC_FONTNAME, edit, "", Place::Field, 2, nullptr},
    {IDC_FAMILYNAME, edit, "", Place::Field, 3, nullptr},
    {IDC_SUBFAMILYNAME, edit, "", Place::Field, 4, nullptr},
    {IDC_UNIQUEIDENTIFIER, edit, "", Place::Field, 5, nullptr},
    {IDC_POSTSCRIPTNAME, edit, "", Place::Field, 6, nullptr},
    {IDC_VERSION, edit, "", Place::Field, 7, nullptr},
    {IDC_TRADEMARK, edit, "", Place::Field, 8, nullptr},
    {IDC_COPYRIGHT, edit, "", Place::Field, 9, nullptr},
    {IDOK, ControlClass::DefaultButton, QT_TRANSLATE_NOOP("Resources", "OK"), Place::Button, 0,
     nullptr},
    {IDCANCEL, ControlClass::Button, QT_TRANSLATE_NOOP("Resources", "Cancel"), Place::Button, 0,
     nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "Encode"), Place::Label, 0, nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* FontName"), Place::Label, 2, nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* FamilyName"), Place::Label, 3, nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* SubFamilyName"), Place::Label, 4,
     nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "* UniqueIdentifier"), Place::Label, 5,
     nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "PostscriptName"), Place::Label, 6, nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "Version"), Place::Label, 7, nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "Trademark"), Place::Label, 8, nullptr},
    {IDC_STATIC, label, QT_TRANSLATE_NOOP("Resources", "Copyright"), Place::Label, 9, nullptr},
    // Empty unless the font can't be saved where it is.
    {IDC_READONLY, label, "", Place::Field, 10, nullptr},
    // After the template's own controls, so that they keep their tab order:
    // the records window, and how many warnings the names have (empty when none).
    {IDC_NAMES, ControlClass::Button, QT_TRANSLATE_NOOP("Resources", "Names…"), Place::Button, 0,
     nullptr},
    {IDC_NAMEWARNINGS, label, "", Place::Field, 11, nullptr},
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
