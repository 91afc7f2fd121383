#include "NameEditorApp.h"

#include "FontStore.h"
#include "NameEditorDlg.h"

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
    m_pMainWnd = &dlg;
    if (dlg.DoModal() == IDOK) {
        saveFont(m_lpCmdLine, theTableDirectory, theNameTable);
    }
    m_pMainWnd = nullptr;

    // No message loop: the program ends once the dialog is done.
    return FALSE;
}
