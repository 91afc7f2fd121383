// The application framework the name editor is written against: an
// application object, dialogs built from templates, edit and combo box
// controls and data exchange, with the names and calls of the Windows class
// library. The toolkit underneath stays out of sight: windows are opaque
// handles, and no toolkit header is needed to use this one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Resources.h"
#include "platform/MessageBox.h"

class QWidget;

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using UINT = unsigned;
using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using HWND = QWidget*;
using HICON = const IconResource*;

constexpr int IDCANCEL = 2;
constexpr int CB_ERR = -1;
constexpr UINT CBN_SELCHANGE = 1;
constexpr BOOL ICON_SMALL = FALSE;
constexpr BOOL ICON_BIG = TRUE;

class CWnd {
  public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    HWND GetSafeHwnd() const { return m_hWnd; }
    // The child window with the given control ID, or null.
    HWND GetDlgItem(int id) const;
    // Replaces the window's text; null or "" empties it. For an edit
    // control the bytes are kept as given, so reading the field back before
    // the user changes it yields exactly these bytes, valid UTF-8 or not.
    void SetWindowText(const char* text);
    // The window's text as UTF-8 (for a dialog, its caption).
    void GetWindowText(std::string& text) const;
    HICON SetIcon(HICON icon, BOOL bigIcon);
    // Gives the window the keyboard focus.
    void SetFocus();

    HWND m_hWnd = nullptr;
};

class CEdit : public CWnd {
  public:
    // Length in bytes of the text (the field has one line).
    int LineLength(int line = -1) const;
    // Copies up to `maxLength` bytes of the line into `buffer`, without a
    // terminator, and returns how many were copied.
    int GetLine(int index, char* buffer, int maxLength) const;
};

// A drop-down list whose entries are kept sorted without regard to case.
class CComboBox : public CWnd {
  public:
    int GetCount() const;
    // Index of the first entry after `startAfter` (-1: from the start) whose
    // text equals `text` without regard to case, or CB_ERR.
    int FindStringExact(int startAfter, const char* text) const;
    // Inserts the entry at its sorted place and returns its index.
    int AddString(const char* text);
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    // Selects an entry (-1: none) without notifying the dialog.
    int SetCurSel(int index);
    int GetCurSel() const;
    // The entry's text, or "" for an index out of range.
    std::string GetLBText(int index) const;
};

class CDataExchange {
  public:
    CWnd* m_pDlgWnd = nullptr;
    BOOL m_bSaveAndValidate = FALSE;
};

// An icon from the program's resource module, or null.
HICON LoadIcon(UINT id);

// Attaches the dialog's control `id` to `control`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Builds the window from the template and runs it until EndDialog.
    // Returns the value given to EndDialog, or -1 if the window could not be
    // created.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // Notifications from the controls, by control ID and code; the dialog's
    // message map. Returns TRUE if handled.
    virtual BOOL OnCommand(UINT id, UINT code);

  private:
    struct Window;
    friend struct Window;
    friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

    // Members attached to controls, detached again when the window goes.
    std::vector<CWnd*> attached_;

    UINT templateId_;
    CWnd* parent_;
    std::unique_ptr<Window> window_;
};

// The system's chooser for a file to open. The filter is given the Windows
// way, pairs of a description and its patterns separated by '|' and ended by
// "||": "Fonts (*.ttf;*.otf)|*.ttf;*.otf||"; patterns match without regard
// to case. Only the form that opens one existing file is made: the other
// arguments are taken for the calls' shape and not used.
class CFileDialog {
  public:
    explicit CFileDialog(BOOL openFileDialog, const char* defaultExtension = nullptr,
                         const char* fileName = nullptr, std::uint32_t flags = 0,
                         const char* filter = nullptr, CWnd* parent = nullptr);

    // IDOK when a file was chosen, IDCANCEL when the user gave up, -1 when no
    // chooser can be shown because windows can't be seen or answered (no
    // display, or a platform that draws nowhere).
    INT_PTR DoModal();
    // The chosen file's full path, UTF-8.
    std::string GetPathName() const { return pathName_; }

  private:
    std::string filter_;
    CWnd* parent_;
    std::string pathName_;
};

class CWinApp {
  public:
    explicit CWinApp(const char* appName = nullptr);
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    // The exit status: m_nExitCode, unless an override decides otherwise.
    virtual int ExitInstance();
    // Answers a request for information given as the program's only argument
    // ("--help"), before the toolkit starts, so that it needs no display.
    // Returns TRUE when it answered; the program then ends with ExitInstance's
    // status without running InitInstance.
    virtual BOOL ProcessInformationRequest(const char* argument);
    // Kept for the three-dimensional look of the controls, which the toolkit
    // gives anyway.
    BOOL Enable3dControlsStatic() { return TRUE; }

    // The command line after the program's name: the font path, as it came.
    const char* m_lpCmdLine = "";
    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName = nullptr;
    // The status the process ends with; InitInstance sets it to say how the
    // run went. Reset to 0 before each run.
    int m_nExitCode = 0;
};

// The one application object of the process.
CWinApp* AfxGetApp();

// The process entry: builds the command-line tail (the arguments joined by
// single blanks), offers a lone argument to ProcessInformationRequest, starts
// the toolkit when there is a display (and it is not running yet), installs
// the message box when windows can really be shown and the resources'
// translations for the user's language, and runs the application object's
// InitInstance; then ExitInstance gives the exit status. Without a display no
// dialog can be created (DoModal gives -1) and messages stay on standard error.
int AfxWinMain(int argc, char** argv);
