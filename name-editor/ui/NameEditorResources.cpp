// The name editor's resources: the main dialog's template and the program icon.
#include "platform/Resources.h"
#include "resource.h"

#include "platform/Afx.h"
#include "res/kestrin-16.xpm"
#include "res/kestrin-32.xpm"

namespace {

constexpr std::uint32_t child = WS_CHILD | WS_VISIBLE;
constexpr std::uint32_t field = child | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr std::uint32_t label = child | SS_LEFT | WS_GROUP;

// Template order is the tab order: the list, the fields top to bottom, the buttons.
// The texts are English; their translations (context "Resources") are in res/resources_*.ts.
constexpr DialogItemTemplate nameEditorItems[] = {
    {IDC_ENCODE, ControlClass::ComboBox, "", 75, 7, 237, 134,
     child | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP},
    {IDC_FONTNAME, ControlClass::Edit, "", 75, 30, 237, 12, field},
    {IDC_FAMILYNAME, ControlClass::Edit, "", 75, 45, 237, 12, field},
    {IDC_SUBFAMILYNAME, ControlClass::Edit, "", 75, 60, 237, 12, field},
    {IDC_UNIQUEIDENTIFIER, ControlClass::Edit, "", 75, 75, 237, 12, field},
    {IDC_POSTSCRIPTNAME, ControlClass::Edit, "", 75, 90, 237, 12, field},
    {IDC_VERSION, ControlClass::Edit, "", 75, 105, 237, 12, field},
    {IDC_TRADEMARK, ControlClass::Edit, "", 75, 120, 237, 12, field},
    {IDC_COPYRIGHT, ControlClass::Edit, "", 75, 135, 237, 12, field},
    {IDOK, ControlClass::Button, "OK", 92, 158, 50, 14, child | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, ControlClass::Button, "Cancel", 178, 158, 50, 14,
     child | BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_STATIC, ControlClass::Static, "Encode", 47, 7, 22, 8, label},
    {IDC_STATIC, ControlClass::Static, "* FontName", 33, 32, 36, 8, label},
    {IDC_STATIC, ControlClass::Static, "* FamilyName", 26, 47, 43, 8, label},
    {IDC_STATIC, ControlClass::Static, "* SubFamilyName", 15, 62, 54, 8, label},
    {IDC_STATIC, ControlClass::Static, "* UniqueIdentifier", 17, 77, 52, 8, label},
    {IDC_STATIC, ControlClass::Static, "PostscriptName", 22, 92, 47, 8, label},
    {IDC_STATIC, ControlClass::Static, "Version", 46, 107, 23, 8, label},
    {IDC_STATIC, ControlClass::Static, "Trademark", 37, 122, 32, 8, label},
    {IDC_STATIC, ControlClass::Static, "Copyright", 40, 137, 29, 8, label},
    // Empty unless the font can't be saved where it is.
    {IDC_READONLY, ControlClass::Static, "", 75, 149, 237, 8, label},
};

constexpr DialogTemplate nameEditorDialog = {
    "Kestrin",
    0,
    0,
    319,
    179,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW,
    "ＭＳ Ｐゴシック",
    9,
    0,
    false,
    1,  // DEFAULT_CHARSET
    nameEditorItems,
};

constexpr IconResource mainIcon = {kestrinIcon32, kestrinIcon16};

}  // namespace

const DialogTemplate* AfxFindDialogTemplate(unsigned id) {
    return id == IDD_NAMEEDITOR_DIALOG ? &nameEditorDialog : nullptr;
}

const IconResource* AfxFindIconResource(unsigned id) {
    return id == IDR_MAINFRAME ? &mainIcon : nullptr;
}
