// The main dialog: the Encode list of the font's platform / encoding /
// language combinations and the eight principal names of the one selected;
// for a collection, above them, the list of its fonts to choose the one shown.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "FontFile.h"
#include "NameTable.h"
#include "TableDirectory.h"
#include "platform/Afx.h"
#include "resource.h"

class CNameEditorDlg : public CDialog {
  public:
    // The dialog reads and changes the names of `file`'s fonts directly,
    // one font at a time; the font list shows only for a collection.
    explicit CNameEditorDlg(FontFile& file, CWnd* pParent = nullptr);
    // One table of names, without a font list.
    CNameEditorDlg(CWnd* pParent, NameTable& names);
    ~CNameEditorDlg() override = default;

    enum { IDD = IDD_NAMEEDITOR_DIALOG };

    // The refresh: stores every field's text into its shown record, then
    // shows the selected combination's names.
    void OnSelchangeEncode();
    // Stores the fields into the shown font's names, then shows the names
    // of the font selected in the font list.
    void OnSelchangeFont();
    // Shown in the dialog when the font can't be saved where it is (read-only),
    // so the user knows before editing; the names can still be viewed.
    void SetReadOnlyNotice(std::string notice) { readOnlyNotice_ = std::move(notice); }
    // The font's other tables, which the name checks and the records window
    // read (the font revision, 'fvar' and 'STAT'); for a file, those of the
    // font shown; none unless given.
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
    // Shows font `index` of the file: its Encode list, its first entry's
    // names in the fields, and its number in the caption.
    void ShowFont(std::size_t index);
    void FillEncodeList();
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
    CComboBox m_Font;
    CWnd m_FontLabel;
    CWnd m_ReadOnly;
    CWnd m_NameWarnings;
    HICON m_hIcon;

    // Null when the dialog edits one table given on its own.
    FontFile* file_ = nullptr;
    // The font shown, kept when the dialog opens again after a failed save.
    std::size_t font_ = 0;
    NameTable* names_;
    // The caption as the template gives it, before the file's name is added.
    std::string caption_;
    // Per name ID 0 to 7, the record whose text the field shows, or null.
    std::array<NameRecord*, 8> shownRecords_{};
    // The triple the fields' contents were shown for: the selection as of
    // the last refresh. Text typed into a field without a record belongs to it.
    const NameRecord* shownTriple_ = nullptr;
    std::string readOnlyNotice_;
    TableDirectory* directory_ = nullptr;
};
