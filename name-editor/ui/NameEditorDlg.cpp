#include "NameEditorDlg.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "EncodeString.h"
#include "NameRecordsWindow.h"
#include "NameText.h"

namespace {

// The fields' labels, by name ID, as messages name them.
constexpr const char* kFieldNames[] = {"Copyright",        "FamilyName", "SubFamilyName",
                                       "UniqueIdentifier", "FontName",   "Version",
                                       "PostscriptName",   "Trademark"};

// The list finds entries without regard to case; the texts are ASCII where
// they could clash.
std::string foldedCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

CNameEditorDlg::CNameEditorDlg(CWnd* pParent, NameTable& names)
    : CDialog(CNameEditorDlg::IDD, pParent), m_hIcon(LoadIcon(IDR_MAINFRAME)), names_(names) {}

void CNameEditorDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_COPYRIGHT, m_Copyright);
    DDX_Control(pDX, IDC_VERSION, m_Version);
    DDX_Control(pDX, IDC_UNIQUEIDENTIFIER, m_UniqueIdentifier);
    DDX_Control(pDX, IDC_TRADEMARK, m_Trademark);
    DDX_Control(pDX, IDC_SUBFAMILYNAME, m_SubFamilyName);
    DDX_Control(pDX, IDC_POSTSCRIPTNAME, m_PostscriptName);
    DDX_Control(pDX, IDC_FONTNAME, m_FontName);
    DDX_Control(pDX, IDC_FAMILYNAME, m_FamilyName);
    DDX_Control(pDX, IDC_ENCODE, m_Encode);
    DDX_Control(pDX, IDC_READONLY, m_ReadOnly);
    DDX_Control(pDX, IDC_NAMEWARNINGS, m_NameWarnings);
}

BOOL CNameEditorDlg::OnCommand(UINT id, UINT code) {
    if (id == static_cast<UINT>(IDC_ENCODE) && code == CBN_SELCHANGE) {
        OnSelchangeEncode();
        return TRUE;
    }
    if (id == static_cast<UINT>(IDC_NAMES)) {
        OnNames();
        return TRUE;
    }
    return CDialog::OnCommand(id, code);
}

BOOL CNameEditorDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    SetIcon(m_hIcon, ICON_BIG);
    SetIcon(m_hIcon, ICON_SMALL);
    m_ReadOnly.SetWindowText(readOnlyNotice_);

    // The dialog opens again after a failed save: nothing is shown yet.
    shownRecords_ = {};
    shownTriple_ = nullptr;

    // The caption names the font's file, without its folder: "Font.ttf - Kestrin".
    const CWinApp* app = AfxGetApp();
    const std::string path = app != nullptr ? app->m_lpCmdLine : "";
    // After the last slash, or from the start where there is none (npos + 1 is 0).
    const std::string fileName = path.substr(path.find_last_of('/') + 1);
    if (!fileName.empty()) {
        std::string caption;
        GetWindowText(caption);
        SetWindowText(fileName + " - " + caption);
    }

    // One entry per platform / encoding / language triple, holding its first
    // record; the list keeps itself sorted. Triples whose texts would read the
    // same, as the list compares them, are told apart by region and language ID.
    struct Entry {
        NameRecord* record;
        std::string text;
    };
    std::vector<Entry> entries;
    std::set<std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>> triples;
    std::map<std::string, int> timesRead;
    for (NameRecord* record = names_.first(); record != nullptr; record = names_.next()) {
        if (triples.emplace(record->platformID, record->encodingID, record->languageID).second) {
            entries.push_back({record, GetEncodeString(record->platformID, record->encodingID,
                                                       record->languageID)});
            ++timesRead[foldedCase(entries.back().text)];
        }
    }
    for (const Entry& entry : entries) {
        const NameRecord& record = *entry.record;
        const std::string text =
            timesRead[foldedCase(entry.text)] > 1
                ? GetDistinctEncodeString(record.platformID, record.encodingID, record.languageID)
                : entry.text;
        m_Encode.SetItemData(m_Encode.AddString(text), entry.record);
    }
    m_Encode.SetCurSel(0);
    OnSelchangeEncode();
    return TRUE;
}

void CNameEditorDlg::OnSelchangeEncode() {
    const int selection = m_Encode.GetCurSel();
    if (selection == CB_ERR) {
        return;
    }
    const NameRecord* selected = m_Encode.GetItemData<NameRecord>(selection);
    if (selected == nullptr) {
        return;
    }
    // Text typed into a field without a record was typed for the entry shown
    // until now, not for the one just selected. At the first refresh nothing
    // was shown yet, and the fields are empty.
    const NameRecord& typedFor = shownTriple_ != nullptr ? *shownTriple_ : *selected;
    for (std::size_t field = 0; field < shownRecords_.size(); ++field) {
        const auto nameID = static_cast<std::uint16_t>(field);
        shownRecords_[field] =
            ExchangeField(shownRecords_[field], *selected, typedFor, nameID, FieldOf(nameID));
    }
    shownTriple_ = selected;
    ShowNameWarnings();
}

void CNameEditorDlg::OnNames() {
    // The fields' texts go into the records first: the window shows and
    // changes the same records.
    OnSelchangeEncode();
    RunNameRecordsWindow(GetSafeHwnd(), names_, directory_);
    ReloadNames();
}

void CNameEditorDlg::ReloadNames() {
    // The combinations listed, and the plain texts they are listed under.
    std::set<std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>> listed;
    std::set<std::string> texts;
    for (int index = 0; index < m_Encode.GetCount(); ++index) {
        if (const NameRecord* entry = m_Encode.GetItemData<NameRecord>(index)) {
            listed.emplace(entry->platformID, entry->encodingID, entry->languageID);
            texts.insert(foldedCase(
                GetEncodeString(entry->platformID, entry->encodingID, entry->languageID)));
        }
    }
    for (NameRecord* record = names_.first(); record != nullptr; record = names_.next()) {
        if (record->isDropped() ||
            !listed.emplace(record->platformID, record->encodingID, record->languageID).second) {
            continue;
        }
        std::string text =
            GetEncodeString(record->platformID, record->encodingID, record->languageID);
        if (!texts.insert(foldedCase(text)).second) {
            text =
                GetDistinctEncodeString(record->platformID, record->encodingID, record->languageID);
        }
        m_Encode.SetItemData(m_Encode.AddString(text), record);
    }
    // An entry added before the selected one moved it down the sorted list.
    for (int index = 0; index < m_Encode.GetCount(); ++index) {
        if (shownTriple_ != nullptr && m_Encode.GetItemData<NameRecord>(index) == shownTriple_) {
            m_Encode.SetCurSel(index);
            break;
        }
    }
    // The window may have changed, removed or added the shown records.
    if (shownTriple_ != nullptr) {
        const NameRecord& shown = *shownTriple_;
        for (std::size_t field = 0; field < shownRecords_.size(); ++field) {
            const auto nameID = static_cast<std::uint16_t>(field);
            NameRecord* found =
                names_.find(shown.platformID, shown.encodingID, shown.languageID, nameID);
            shownRecords_[field] = found;
            FieldOf(nameID).SetWindowText(found != nullptr ? found->text : std::string());
        }
    }
    ShowNameWarnings();
}

void CNameEditorDlg::ShowNameWarnings() {
    m_NameWarnings.SetWindowText(NameWarningsSummary(names_, directory_));
}

NameRecord* CNameEditorDlg::ExchangeField(NameRecord* shown, const NameRecord& selected,
                                          const NameRecord& typedFor, std::uint16_t nameID,
                                          CEdit& field) {
    // A name never holds a zero byte: the text ends at the first one.
    std::string text;
    field.GetWindowText(text);
    text.resize(std::min(text.size(), text.find('\0')));

    if (shown != nullptr) {
        shown->text = std::move(text);
    } else {
        names_.add(typedFor.platformID, typedFor.encodingID, typedFor.languageID, nameID,
                   text.c_str());
    }

    NameRecord* found =
        names_.find(selected.platformID, selected.encodingID, selected.languageID, nameID);
    field.SetWindowText(found != nullptr ? found->text : std::string());
    return found;
}

void CNameEditorDlg::OnOK() {
    OnSelchangeEncode();
    // A name its encoding can't hold is never stored as something else: the
    // dialog stays open on it, with the text as typed, to be corrected.
    if (const NameRecord* record = names_.firstUnencodable()) {
        ShowRecord(*record);
        const std::string message =
            std::string(record->nameID < 8 ? kFieldNames[record->nameID] : "Name") +
            ": cannot be encoded in " +
            nametext::encodingName(record->platformID, record->encodingID, record->languageID) +
            ".";
        MessageBoxA(nullptr, message.c_str(), "Error", MB_OK | MB_ICONERROR);
        return;
    }
    CDialog::OnOK();
}

void CNameEditorDlg::ShowRecord(const NameRecord& record) {
    for (int index = 0; index < m_Encode.GetCount(); ++index) {
        const NameRecord* entry = m_Encode.GetItemData<NameRecord>(index);
        if (entry != nullptr && entry->platformID == record.platformID &&
            entry->encodingID == record.encodingID && entry->languageID == record.languageID) {
            m_Encode.SetCurSel(index);
            OnSelchangeEncode();
            break;
        }
    }
    if (record.nameID < shownRecords_.size()) {
        FieldOf(record.nameID).SetFocus();
    }
}

CEdit& CNameEditorDlg::FieldOf(std::uint16_t nameID) {
    switch (nameID) {
        case 0:
            return m_Copyright;
        case 1:
            return m_FamilyName;
        case 2:
            return m_SubFamilyName;
        case 3:
            return m_UniqueIdentifier;
        case 4:
            return m_FontName;
        case 5:
            return m_Version;
        case 6:
            return m_PostscriptName;
        default:
            return m_Trademark;
    }
}
