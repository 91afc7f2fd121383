// The main dialog: the Encode list of the font's platform / encoding /
// language combinations and the eight principal names of the one selected.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "NameTable.h"
#include "TableDirectory.h"
#include "platform/Afx.h"
#include "resource.h"

extern NameTable theNameTable;

class CNameEditorDlg : public CDialog {
  public:
    // The dialog reads and changes `names` directly; the program's own
    // table unless another is given.
    explicit CNameEditorDlg(CWnd* pParent = nullptr, NameTable& names = theNameTable);
    ~CNameEditorDlg() override = default;

    enum { IDD = IDD_NAMEEDITOR_DIALOG };

    // The refresh: stores every field's text into its shown record, then
    // shows the selected combination's names.
    void OnSelchangeEncode();
    // Shown in the dialog when the font can't be saved where it is (read-only),
    // so the user knows before editing; the names can still be viewed.
    void SetReadOnlyNotice(std::string notice) { readOnlyNotice_ = std::move(notice); }
    // The font's other tables, which the name checks and the records window
    // read (the font revision, 'fvar' and 'STAT'); none unless given.
    void SetTableDirectory(TableDirectory* directory) { directory_ = directory; }
    // "Names…": the records window over the same names, then the fields and
    // the Encode list brought up to date with what it changed.
    void OnNames();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(UINT id, UINT code) override;

  private:
    // Stores the field's text into its shown record (or a new record of the
    // triple `typedFor` when it has none), then shows the selected triple's
    // record of `nameID` and returns it, or empties the field and returns null.
    NameRecord* ExchangeField(NameRecord* shown, const NameRecord& selected,
                              const NameRecord& typedFor, std::uint16_t nameID, CEdit& field);
    CEdit& FieldOf(std::uint16_t nameID);
    // Shows the Encode entry of `record`'s combination with its field focused.
    void ShowRecord(const NameRecord& record);
    // After the records window: entries for the combinations it added, and
    // the fields bound afresh to the shown combination's records, whose texts
    // or existence it may have changed.
    void ReloadNames();
    void ShowNameWarnings();

    CEdit m_Copyright;
    CEdit m_Version;
    CEdit m_UniqueIdentifier;
    CEdit m_Trademark;
    CEdit m_SubFamilyName;
    CEdit m_PostscriptName;
    CEdit m_FontName;
    CEdit m_FamilyName;
    CComboBox m_Encode;
    CWnd m_ReadOnly;
    CWnd m_NameWarnings;
    HICON m_hIcon;

    NameTable& names_;
    // Per name ID 0 to 7, the record whose text the field shows, or null.
    std::array<NameRecord*, 8> shownRecords_{};
    // The triple the fields' contents were shown for: the selection as of
    // the last refresh. Text typed into a field without a record belongs to it.
    const NameRecord* shownTriple_ = nullptr;
    std::string readOnlyNotice_;
    TableDirectory* directory_ = nullptr;
};
