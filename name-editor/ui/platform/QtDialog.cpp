// Windows, controls and dialogs of the framework, made of Qt widgets.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringDecoder>

#include <algorithm>
#include <map>

#include "Afx.h"

namespace {

// The property that carries a control's ID on its widget.
constexpr const char* controlIdProperty = "afxControlId";
// The text an edit control was last given, handed back until the user edits.
constexpr const char* keptTextProperty = "afxKeptText";

// The template's font, or where it is missing (it is a Windows font) the
// first installed gothic face with the same Japanese glyphs, so that the
// halfwidth katakana of the labels show. Font substitution would otherwise
// quietly pick a face without them.
QString fontFamily(const char* face) {
    const QString candidates[] = {QString::fromUtf8(face), QStringLiteral("MS PGothic"),
                                  QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                  QStringLiteral("Noto Sans CJK JP")};
    for (const QString& family : candidates) {
        if (QFontDatabase::hasFamily(family)) {
            return family;
        }
    }
    return candidates[0];
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Text for display: bytes that are not valid UTF-8 show one character per
// byte, as Latin-1, instead of being replaced.
QString displayText(std::string_view bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError()) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return text;
}

// A resource text in the user's language; a text without a translation stays
// as it is.
QString translated(const char* text) {
    return QCoreApplication::translate("Resources", text);
}

QComboBox* asCombo(HWND window) {
    return qobject_cast<QComboBox*>(window);
}

QIcon iconOf(HICON icon) {
    QIcon result;
    if (icon != nullptr) {
        result.addPixmap(QPixmap(icon->large));
        result.addPixmap(QPixmap(icon->small));
    }
    return result;
}

}  // namespace

// ---- CWnd -------------------------------------------------------------------

HWND CWnd::GetDlgItem(int id) const {
    if (m_hWnd == nullptr) {
        return nullptr;
    }
    for (QWidget* child : m_hWnd->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant childId = child->property(controlIdProperty);
        if (childId.isValid() && childId.toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

void CWnd::SetWindowText(std::string_view text) {
    if (m_hWnd == nullptr) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(m_hWnd)) {
        edit->setProperty(keptTextProperty, QVariant::fromValue(std::string(text)));
        edit->setText(displayText(text));  // also clears the modified flag
        edit->setCursorPosition(0);        // show the start of a long name, not its end
    } else if (auto* label = qobject_cast<QLabel*>(m_hWnd)) {
        label->setText(fromUtf8(text));
    } else if (m_hWnd->isWindow()) {
        m_hWnd->setWindowTitle(fromUtf8(text));
    }
}

void CWnd::GetWindowText(std::string& text) const {
    text.clear();
    if (m_hWnd == nullptr) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(m_hWnd)) {
        const QVariant kept = edit->property(keptTextProperty);
        text = !edit->isModified() && kept.isValid() ? kept.value<std::string>()
                                                     : edit->text().toStdString();
    } else if (auto* label = qobject_cast<QLabel*>(m_hWnd)) {
        text = label->text().toStdString();
    } else if (m_hWnd->isWindow()) {
        text = m_hWnd->windowTitle().toStdString();
    }
}

void CWnd::SetFocus() {
    if (m_hWnd != nullptr) {
        m_hWnd->setFocus();
    }
}

void CWnd::SetIcon(HICON icon, BOOL /*bigIcon*/) {
    // Each icon resource holds both sizes; the toolkit picks the one it needs.
    if (m_hWnd != nullptr) {
        m_hWnd->setWindowIcon(iconOf(icon));
    }
}

// ---- CComboBox --------------------------------------------------------------

int CComboBox::GetCount() const {
    QComboBox* combo = asCombo(m_hWnd);
    return combo == nullptr ? 0 : combo->count();
}

int CComboBox::AddString(std::string_view text) {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr) {
        return CB_ERR;
    }
    const QString entry = fromUtf8(text);
    int index = 0;
    while (index < combo->count() &&
           QString::compare(combo->itemText(index), entry, Qt::CaseInsensitive) <= 0) {
        ++index;
    }
    const QSignalBlocker quiet(combo);
    combo->insertItem(index, entry);
    return index;
}

void CComboBox::SetItemValue(int index, std::any value) {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo != nullptr && index >= 0 && index < combo->count()) {
        combo->setItemData(index, QVariant::fromValue(std::move(value)));
    }
}

std::any CComboBox::GetItemValue(int index) const {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr || index < 0 || index >= combo->count()) {
        return {};
    }
    return combo->itemData(index).value<std::any>();
}

int CComboBox::SetCurSel(int index) {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr) {
        return CB_ERR;
    }
    const QSignalBlocker quiet(combo);
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    combo->setCurrentIndex(index);
    return index;
}

int CComboBox::GetCurSel() const {
    QComboBox* combo = asCombo(m_hWnd);
    return combo == nullptr ? CB_ERR : combo->currentIndex();
}

HICON LoadIcon(UINT id) {
    return AfxFindIconResource(id);
}

// ---- Data exchange ----------------------------------------------------------

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd != nullptr || pDX == nullptr || pDX->m_pDlgWnd == nullptr) {
        return;
    }
    control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
    if (auto* dialog = dynamic_cast<CDialog*>(pDX->m_pDlgWnd)) {
        dialog->attached_.push_back(&control);
    }
}

// ---- CDialog ----------------------------------------------------------------

namespace {

// The dialog's window: OK, Cancel, Escape and the close box all go through
// the dialog object, which decides when the dialog ends.
class DialogWidget final : public QDialog {
  public:
    DialogWidget(CDialog& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}
    void accept() override { owner_.OnOK(); }
    void reject() override { owner_.OnCancel(); }
    void finish(int result) { QDialog::done(result); }

  protected:
    // The control that has the focus at opening shows it, as in a dialog
    // worked from the keyboard: styles draw the focus frame only once the
    // window's focus has moved by keyboard, a state that showing the window
    // clears and the first click clears again.
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        setAttribute(Qt::WA_KeyboardFocusChange);
    }

  private:
    CDialog& owner_;
};

}  // namespace

struct CDialog::Window {
    Window(CDialog& owner, const DialogTemplate& tmpl, QWidget* parent);
    ~Window() {
        // Controls attached to the dialog's members go with the window.
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            child->disconnect();
        }
    }

    std::unique_ptr<DialogWidget> widget;
    QWidget* firstTabStop = nullptr;
    bool ended = false;
    int result = -1;
};

CDialog::Window::Window(CDialog& owner, const DialogTemplate& tmpl, QWidget* parent)
    : widget(std::make_unique<DialogWidget>(owner, parent)) {
    QFont font;
    font.setFamily(fontFamily(tmpl.fontFace));
    font.setPointSize(tmpl.pointSize);
    widget->setFont(font);
    widget->setWindowTitle(translated(tmpl.caption));
    widget->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);

    // Labels right-aligned in the first column, what they name in the second,
    // which takes the width the dialog gains; the buttons in a row below,
    // spread as in the template (margins 5 : gap 2).
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(5);
    auto* layout = new QVBoxLayout(widget.get());
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttonRow);

    std::map<int, QWidget*> fieldOfRow;
    std::map<int, QLabel*> labelOfRow;
    std::vector<QLineEdit*> edits;
    int lastRow = -1;
    // Created in template order, which makes the template order the tab order.
    for (const DialogItemTemplate& item : tmpl.items) {
        QWidget* control = nullptr;
        const auto id = static_cast<UINT>(item.id);
        switch (item.controlClass) {
            case ControlClass::Static: {
                auto* label = new QLabel(translated(item.text), widget.get());
                if (item.place == Place::Label) {
                    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                    labelOfRow[item.row] = label;
                } else {
                    label->setWordWrap(true);
                }
                control = label;
                break;
            }
            case ControlClass::Edit: {
                auto* edit = new QLineEdit(widget.get());
                edits.push_back(edit);
                control = edit;
                break;
            }
            case ControlClass::ComboBox: {
                auto* combo = new QComboBox(widget.get());
                QObject::connect(combo, &QComboBox::currentIndexChanged, widget.get(),
                                 [&owner, id] { owner.OnCommand(id, CBN_SELCHANGE); });
                control = combo;
                break;
            }
            case ControlClass::Button:
            case ControlClass::DefaultButton: {
                auto* button = new QPushButton(translated(item.text), widget.get());
                button->setDefault(item.controlClass == ControlClass::DefaultButton);
                QObject::connect(button, &QPushButton::clicked, widget.get(),
                                 [&owner, id] { owner.OnCommand(id, 0); });
                control = button;
                break;
            }
        }
        control->setProperty(controlIdProperty, item.id);
        if (item.toolTip != nullptr) {
            control->setToolTip(translated(item.toolTip));
        }
        if (item.controlClass != ControlClass::Static && firstTabStop == nullptr) {
            firstTabStop = control;
        }
        switch (item.place) {
            case Place::Label:
                grid->addWidget(control, item.row, 0);
                lastRow = std::max(lastRow, item.row);
                break;
            case Place::Field:
                grid->addWidget(control, item.row, 1);
                fieldOfRow[item.row] = control;
                lastRow = std::max(lastRow, item.row);
                break;
            case Place::Button:
                if (buttonRow->count() > 1) {
                    buttonRow->addStretch(2);
                }
                buttonRow->addWidget(control);
                break;
        }
    }
    buttonRow->addStretch(5);
    // A row the template leaves empty is a gap of half a line.
    for (int row = 0; row < lastRow; ++row) {
        if (fieldOfRow.count(row) == 0 && labelOfRow.count(row) == 0) {
            grid->setRowMinimumHeight(row, widget->fontMetrics().height() / 2);
        }
    }
    // A label's accelerator takes the focus to what it names.
    for (const auto& [row, label] : labelOfRow) {
        if (const auto field = fieldOfRow.find(row); field != fieldOfRow.end()) {
            label->setBuddy(field->second);
            if (field->second->toolTip().isEmpty()) {
                field->second->setToolTip(label->toolTip());
            }
        }
    }
    // The fields open as wide as the template asks and may shrink again later.
    const int fieldWidth = widget->fontMetrics().averageCharWidth() * tmpl.fieldWidth;
    for (QLineEdit* edit : edits) {
        edit->setMinimumWidth(fieldWidth);
    }
    widget->adjustSize();
    for (QLineEdit* edit : edits) {
        edit->setMinimumWidth(0);
    }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    const DialogTemplate* tmpl = AfxFindDialogTemplate(templateId_);
    if (tmpl == nullptr || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return -1;
    }
    window_ =
        std::make_unique<Window>(*this, *tmpl, parent_ == nullptr ? nullptr : parent_->m_hWnd);
    QDialog& widget = *window_->widget;
    m_hWnd = &widget;
    widget.setModal(true);
    if (!lastGeometry_.empty()) {
        widget.restoreGeometry(QByteArray::fromStdString(lastGeometry_));
    }
    if (OnInitDialog() != FALSE && window_->firstTabStop != nullptr) {
        window_->firstTabStop->setFocus();
    }
    if (!window_->ended) {
        widget.exec();
    }
    lastGeometry_ = widget.saveGeometry().toStdString();
    // A modal loop that ended without EndDialog (the application quit) counts as Cancel.
    const int result = window_->ended ? window_->result : IDCANCEL;
    for (CWnd* control : attached_) {
        control->m_hWnd = nullptr;
    }
    attached_.clear();
    window_.reset();
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE) != FALSE) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result) {
    if (!window_) {
        return;
    }
    window_->ended = true;
    window_->result = result;
    window_->widget->finish(result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange;
    exchange.m_pDlgWnd = this;
    exchange.m_bSaveAndValidate = saveAndValidate;
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

BOOL CDialog::OnCommand(UINT id, UINT /*code*/) {
    if (id == static_cast<UINT>(IDOK)) {
        OnOK();
        return TRUE;
    }
    if (id == static_cast<UINT>(IDCANCEL)) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}
