#include "NameEditorApp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "FontStore.h"
#include "NameEditorDlg.h"

// Defined together so that their construction order is their order here.
CNameEditorApp theApp;
TableDirectory theTableDirectory;
NameTable theNameTable;

namespace {

// The font model's messages, in a message box with the file and the system's
// reason (where there is one) below the text.
void reportInMessageBox(std::string_view message, std::string_view path, std::string_view reason) {
    std::string detail(path);
    if (!reason.empty()) {
        detail.append("\n").append(reason);
    }
    MessageBoxA(nullptr, std::string(message).c_str(), "Error", MB_OK | MB_ICONERROR, detail);
}

}  // namespace

BOOL CNameEditorApp::InitInstance() {
    const ErrorReporter previousReporter = setErrorReporter(reportInMessageBox);
    RunFontEditor();
    setErrorReporter(previousReporter);
    // No message loop: the program ends once the dialog is done.
    return FALSE;
}

void CNameEditorApp::RunFontEditor() {
    if (*m_lpCmdLine == '\0' && !ChooseFontPath()) {
        return;
    }
    if (!loadFont(m_lpCmdLine, theTableDirectory, theNameTable)) {
        m_nExitCode = 1;
        return;
    }

    CNameEditorDlg dlg;
    dlg.SetTableDirectory(&theTableDirectory);
    std::string reason;
    if (!canReplace(m_lpCmdLine, reason)) {
        dlg.SetReadOnlyNotice("Read-only: " + reason);
    }
    m_pMainWnd = &dlg;
    // A failed save leaves the model as it was: the dialog opens again with
    // the edits, for the user to fix the cause and press OK again, or Cancel.
    // The status tells whether the last save the user asked for was made.
    INT_PTR result = IDCANCEL;
    while ((result = dlg.DoModal()) == IDOK) {
        if (saveFont(m_lpCmdLine, theTableDirectory, theNameTable)) {
            m_nExitCode = 0;
            break;
        }
        m_nExitCode = 1;
    }
    if (result == -1) {
        m_nExitCode = 1;
    }
    m_pMainWnd = nullptr;
}

bool CNameEditorApp::ChooseFontPath() {
    CFileDialog chooser(QT_TRANSLATE_NOOP("Resources", "Open"),
                        {QT_TRANSLATE_NOOP("Resources", "TrueType/OpenType fonts (*.ttf *.otf)")});
    switch (chooser.DoModal()) {
        case IDOK:
            m_strChosenPath = chooser.GetPathName();
            m_lpCmdLine = m_strChosenPath.c_str();
            return true;
        case IDCANCEL:
            return false;
        default:
            // No chooser can be shown: the load reports the missing path.
            return true;
    }
}

BOOL CNameEditorApp::ProcessInformationRequest(const char* argument) {
    if (std::strcmp(argument, "--help") == 0) {
        std::fputs(
            "usage: Kestrin [FONT]\n"
            "Edits the eight principal names (copyright, family, subfamily, unique\n"
            "identifier, full name, version, PostScript name, trademark) of a TrueType or\n"
            "OpenType font in a dialog; OK writes the font back to the same path.\n"
            "Without FONT a file chooser asks for one. The whole rest of the command line\n"
            "is the path, blanks and all; a file named like an option is given as ./--help.\n"
            "\n"
            "  --help     show this text and exit\n"
            "  --version  show the version and exit\n"
            "\n"
            "Exit status: 0 when the font was saved or the dialog cancelled, 1 when the\n"
            "font could not be loaded or saved.\n",
            stdout);
        return TRUE;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::fputs("Kestrin " FONTTOOLS_VERSION "\n", stdout);
        return TRUE;
    }
    return FALSE;
}
