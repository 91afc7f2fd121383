#include "NameEditorApp.h"

#include "FontStore.h"
#include "NameEditorDlg.h"

#include <string>

// Defined together so that their construction order is their order here.
CNameEditorApp theApp;
TableDirectory theTableDirectory;
NameTable theNameTable;

BOOL CNameEditorApp::InitInstance() {
    Enable3dControlsStatic();

    if (!loadFont(m_lpCmdLine, theTableDirectory, theNameTable)) {
        return FALSE;
    }

    CNameEditorDlg dlg;
    std::string reason;
    if (!canReplace(m_lpCmdLine, reason)) {
        dlg.SetReadOnlyNotice("Read-only: " + reason);
    }
    m_pMainWnd = &dlg;
    // A failed save leaves the model as it was: the dialog opens again with
    // the edits, for the user to fix the cause and press OK again, or Cancel.
    while (dlg.DoModal() == IDOK) {
        if (saveFont(m_lpCmdLine, theTableDirectory, theNameTable)) {
            break;
        }
    }
    m_pMainWnd = nullptr;

    // No message loop: the program ends once the dialog is done.
    return FALSE;
}
