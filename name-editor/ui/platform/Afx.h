// The application framework the name editor is written against: an
// application object, dialogs built from templates, edit and combo box
// controls and data exchange, with the names and calls of the Windows class
// library, cut to what the dialog asks of them. The toolkit underneath stays
// out of sight: windows are opaque handles, and no toolkit header is needed
// to use this one.
#pragma once

#include <any>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Resources.h"
#include "platform/MessageBox.h"

class QWidget;

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using UINT = unsigned;
using INT_PTR = std::intptr_t;
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
    // Replaces the window's text (UTF-8). For an edit control the text is
    // kept as given, so reading the field back before the user changes it
    // yields exactly this text, valid UTF-8 or not.
    void SetWindowText(std::string_view text);
    // The window's text as UTF-8 (for a dialog, its caption).
    void GetWindowText(std::string& text) const;
    void SetIcon(HICON icon, BOOL bigIcon);
    // Gives the window the keyboard focus.
    void SetFocus();

    HWND m_hWnd = nullptr;
};

// A one-line edit field.
class CEdit : public CWnd {};

// A drop-down list whose entries are kept sorted without regard to case,
// each with a value of the caller's type attached.
class CComboBox : public CWnd {
  public:
    int GetCount() const;
    // Inserts the entry at its sorted place and returns its index.
    int AddString(std::string_view text);
    template <typename T>
    void SetItemData(int index, T* data) {
        SetItemValue(index, std::any(data));
    }
    // The value attached to the entry, or null where there is none of type T.
    template <typename T>
    T* GetItemData(int index) const {
        const std::any value = GetItemValue(index);
        T* const* data = std::any_cast<T*>(&value);
        return data == nullptr ? nullptr : *data;
    }
    // Selects an entry (-1: none) without notifying the dialog.
    int SetCurSel(int index);
    int GetCurSel() const;

  private:
    void SetItemValue(int index, std::any value);
    std::any GetItemValue(int index) const;
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
    // created. A dialog run again opens where it was last closed.
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
    friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

    // Members attached to controls, detached again when the window goes.
    std::vector<CWnd*> attached_;

    UINT templateId_;
    CWnd* parent_;
    std::unique_ptr<Window> window_;
    // Where the window was when it last closed, in the toolkit's own form.
    std::string lastGeometry_;
};

// The chooser for one existing file to open. The title and the filters are
// resource texts, shown translated. Each filter is a description with its
// patterns in parentheses, "Fonts (*.ttf *.otf)"; patterns match without
// regard to case. The folder it opens in is the one of the last
// file chosen in this process.
class CFileDialog {
  public:
    CFileDialog(std::string title, std::vector<std::string> filters, CWnd* parent = nullptr);

    // IDOK when a file was chosen, IDCANCEL when the user gave up, -1 when no
    // chooser can be shown because windows can't be seen or answered (no
    // display, or a platform that draws nowhere).
    INT_PTR DoModal();
    // The chosen file's full path, UTF-8.
    std::string GetPathName() const { return pathName_; }

  private:
    std::string title_;
    std::vector<std::string> filters_;
    CWnd* parent_;
    std::string pathName_;
};

class CWinApp {
  public:
    CWinApp();
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

    // The command line after the program's name: the font path, as it came.
    const char* m_lpCmdLine = "";
    CWnd* m_pMainWnd = nullptr;
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
// InitInstance; then ExitInstance gives the exit status. Without a display
// no dialog can be created (DoModal gives -1) and messages stay on standard
// error.
int AfxWinMain(int argc, char** argv);
