// The name editor's application object: load the font named on the command
// line, run the main dialog, save the font if the dialog ended with OK.
#pragma once

#include <string>

#include "NameTable.h"
#include "TableDirectory.h"
#include "platform/Afx.h"

class CNameEditorApp : public CWinApp {
  public:
    CNameEditorApp() = default;
    ~CNameEditorApp() override = default;

    BOOL InitInstance() override;
    // "--help" and "--version", answered on standard output.
    BOOL ProcessInformationRequest(const char* argument) override;

  private:
    // Loads the font, runs the dialog until it ends and saves on OK.
    void RunFontEditor();
    // Started without a path: asks for a font with the file chooser and
    // points m_lpCmdLine at the chosen path. False when the user cancelled.
    bool ChooseFontPath();

    std::string m_strChosenPath;
};

// The program-wide objects, constructed in this order before the program
// starts: the application, the font's table directory, its name table.
extern CNameEditorApp theApp;
extern TableDirectory theTableDirectory;
extern NameTable theNameTable;
