#include "NameEditorApp.h"

#include <cstdio>
#include <cstring>

#include "FontStore.h"
#include "NameEditorDlg.h"

// Defined together so that their construction order is their order here.
CNameEditorApp theApp;
TableDirectory theTableDirectory;
NameTable theNameTable;

BOOL CNameEditorApp::InitInstance() {
    Enable3dControlsStatic();

    if (*m_lpCmdLine == '\0' && !ChooseFontPath()) {
        return FALSE;
    }
    if (!loadFont(m_lpCmdLine, theTableDirectory, theNameTable)) {
        m_nExitCode = 1;
        return FALSE;
    }

    CNameEditorDlg dlg;
    m_pMainWnd = &dlg;
    const INT_PTR result = dlg.DoModal();
    if (result == -1 ||
        (result == IDOK && !saveFont(m_lpCmdLine, theTableDirectory, theNameTable))) {
        m_nExitCode = 1;
    }
    m_pMainWnd = nullptr;

    // No message loop: the program ends once the dialog is done.
    return FALSE;
}

bool CNameEditorApp::ChooseFontPath() {
    CFileDialog chooser(TRUE, "ttf", nullptr, 0,
                        "TrueType/OpenType fonts (*.ttf;*.otf)|*.ttf;*.otf||");
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
