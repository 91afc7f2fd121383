// The name editor's application object: load the font named on the command
// line, run the main dialog, save the font if the dialog ended with OK.
#pragma once

#include "NameTable.h"
#include "TableDirectory.h"
#include "platform/Afx.h"

class CNameEditorApp : public CWinApp {
  public:
    CNameEditorApp() = default;
    ~CNameEditorApp() override = default;

    BOOL InitInstance() override;
};

// The program-wide objects, constructed in this order before the program
// starts: the application, the font's table directory, its name table.
extern CNameEditorApp theApp;
extern TableDirectory theTableDirectory;
extern NameTable theNameTable;
