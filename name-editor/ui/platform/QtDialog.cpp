// Windows, controls and dialogs of the framework, made of Qt widgets.
#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "Afx.h"

namespace {

// The property that carries a control's ID on its widget.
constexpr const char* controlIdProperty = "afxControlId";
// The bytes an edit control was last given, handed back until the user edits.
constexpr const char* keptBytesProperty = "afxKeptBytes";

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

// Text for display: bytes that are not valid UTF-8 show one character per
// byte, as Latin-1, instead of being replaced.
QString displayText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return QString::fromLatin1(bytes);
    }
    return text;
}

// A resource text in the user's language: the translations installed by the
// process entry look texts up in the context "Resources"; a text without a
// translation stays as it is.
QString translated(const char* text) {
    return QCoreApplication::translate("Resources", text);
}

QLineEdit* asEdit(HWND window) {
    return qobject_cast<QLineEdit*>(window);
}
QComboBox* asCombo(HWND window) {
    return qobject_cast<QComboBox*>(window);
}

QByteArray editBytes(HWND window) {
    QLineEdit* edit = asEdit(window);
    if (edit == nullptr) {
        return {};
    }
    const QVariant kept = edit->property(keptBytesProperty);
    if (!edit->isModified() && kept.isValid()) {
        return kept.toByteArray();
    }
    return edit->text().toUtf8();
}

QIcon iconOf(HICON icon) {
    QIcon result;
    if (icon != nullptr) {
        result.addPixmap(QPixmap(icon->large));
        result.addPixmap(QPixmap(icon->small));
    }
    return result;
}

// Dialog base units of a font: the average width of the Latin letters and
// the line height, as the dialog manager measures them.
struct BaseUnits {
    int x, y;
};

BaseUnits baseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int toPixelsX(int units, BaseUnits base) {
    return (units * base.x + 2) / 4;
}
int toPixelsY(int units, BaseUnits base) {
    return (units * base.y + 4) / 8;
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

void CWnd::SetWindowText(const char* text) {
    if (m_hWnd == nullptr) {
        return;
    }
    const QByteArray bytes(text == nullptr ? "" : text);
    if (QLineEdit* edit = asEdit(m_hWnd)) {
        edit->setProperty(keptBytesProperty, bytes);
        edit->setText(displayText(bytes));  // also clears the modified flag
        edit->setCursorPosition(0);         // show the start of a long name, not its end
    } else if (auto* label = qobject_cast<QLabel*>(m_hWnd)) {
        label->setText(QString::fromUtf8(bytes));
    } else if (auto* button = qobject_cast<QPushButton*>(m_hWnd)) {
        button->setText(QString::fromUtf8(bytes));
    } else if (m_hWnd->isWindow()) {
        m_hWnd->setWindowTitle(QString::fromUtf8(bytes));
    }
}

void CWnd::GetWindowText(std::string& text) const {
    text.clear();
    if (m_hWnd == nullptr) {
        return;
    }
    if (asEdit(m_hWnd) != nullptr) {
        text = editBytes(m_hWnd).toStdString();
    } else if (auto* label = qobject_cast<QLabel*>(m_hWnd)) {
        text = label->text().toStdString();
    } else if (auto* button = qobject_cast<QPushButton*>(m_hWnd)) {
        text = button->text().toStdString();
    } else if (m_hWnd->isWindow()) {
        text = m_hWnd->windowTitle().toStdString();
    }
}

void CWnd::SetFocus() {
    if (m_hWnd != nullptr) {
        m_hWnd->setFocus();
    }
}

HICON CWnd::SetIcon(HICON icon, BOOL /*bigIcon*/) {
    // Each icon resource holds both sizes; the toolkit picks the one it needs.
    if (m_hWnd != nullptr) {
        m_hWnd->setWindowIcon(iconOf(icon));
    }
    return nullptr;
}

// ---- CEdit ------------------------------------------------------------------

int CEdit::LineLength(int /*line*/) const {
    return static_cast<int>(editBytes(m_hWnd).size());
}

int CEdit::GetLine(int index, char* buffer, int maxLength) const {
    if (index != 0 || buffer == nullptr || maxLength <= 0) {
        return 0;
    }
    const QByteArray bytes = editBytes(m_hWnd);
    const auto count = static_cast<std::size_t>(std::min<qsizetype>(bytes.size(), maxLength));
    std::memcpy(buffer, bytes.constData(), count);
    return static_cast<int>(count);
}

// ---- CComboBox --------------------------------------------------------------

int CComboBox::GetCount() const {
    QComboBox* combo = asCombo(m_hWnd);
    return combo == nullptr ? 0 : combo->count();
}

int CComboBox::FindStringExact(int startAfter, const char* text) const {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr || text == nullptr) {
        return CB_ERR;
    }
    const QString wanted = QString::fromUtf8(text);
    const int count = combo->count();
    // The search starts after `startAfter` and wraps round to it.
    const int first = startAfter < 0 || startAfter >= count ? 0 : startAfter + 1;
    for (int step = 0; step < count; ++step) {
        const int index = (first + step) % count;
        if (QString::compare(combo->itemText(index), wanted, Qt::CaseInsensitive) == 0) {
            return index;
        }
    }
    return CB_ERR;
}

int CComboBox::AddString(const char* text) {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr || text == nullptr) {
        return CB_ERR;
    }
    const QString entry = QString::fromUtf8(text);
    int index = 0;
    while (index < combo->count() &&
           QString::compare(combo->itemText(index), entry, Qt::CaseInsensitive) <= 0) {
        ++index;
    }
    const QSignalBlocker quiet(combo);
    combo->insertItem(index, entry, QVariant::fromValue<qulonglong>(0));
    return index;
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr || index < 0 || index >= combo->count()) {
        return CB_ERR;
    }
    combo->setItemData(index, QVariant::fromValue<qulonglong>(data));
    return 0;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr || index < 0 || index >= combo->count()) {
        return 0;
    }
    return static_cast<DWORD_PTR>(combo->itemData(index).toULongLong());
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

std::string CComboBox::GetLBText(int index) const {
    QComboBox* combo = asCombo(m_hWnd);
    if (combo == nullptr || index < 0 || index >= combo->count()) {
        return {};
    }
    return combo->itemText(index).toStdString();
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
    font.setItalic(tmpl.italic);
    widget->setFont(font);
    const BaseUnits base = baseUnits(font);

    widget->setWindowTitle(translated(tmpl.caption));
    widget->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    widget->setFixedSize(toPixelsX(tmpl.cx, base), toPixelsY(tmpl.cy, base));
    widget->move(toPixelsX(tmpl.x, base), toPixelsY(tmpl.y, base));

    // Created in template order, which makes the template order the tab order.
    for (const DialogItemTemplate& item : tmpl.items) {
        QWidget* control = nullptr;
        int height = toPixelsY(item.cy, base);
        const auto id = static_cast<UINT>(item.id);
        switch (item.controlClass) {
            case ControlClass::Static: {
                auto* label = new QLabel(translated(item.text), widget.get());
                label->setAlignment(Qt::AlignRight | Qt::AlignTop);
                control = label;
                break;
            }
            case ControlClass::Edit: {
                auto* edit = new QLineEdit(widget.get());
                edit->setFrame((item.style & WS_BORDER) != 0);
                control = edit;
                break;
            }
            case ControlClass::ComboBox: {
                auto* combo = new QComboBox(widget.get());
                combo->setEditable(false);
                // The template's height is that of the dropped-down list; the
                // closed box is as high as the toolkit draws it.
                const int closed = combo->sizeHint().height();
                const int line = QFontMetrics(font).height() + 2;
                combo->setMaxVisibleItems(std::max(1, (height - closed) / line));
                height = closed;
                QObject::connect(combo, &QComboBox::currentIndexChanged, widget.get(),
                                 [&owner, id] { owner.OnCommand(id, CBN_SELCHANGE); });
                control = combo;
                break;
            }
            case ControlClass::Button: {
                auto* button = new QPushButton(translated(item.text), widget.get());
                button->setDefault((item.style & 0xF) == BS_DEFPUSHBUTTON);
                QObject::connect(button, &QPushButton::clicked, widget.get(),
                                 [&owner, id] { owner.OnCommand(id, 0); });
                control = button;
                break;
            }
        }
        control->setProperty(controlIdProperty, item.id);
        control->setGeometry(toPixelsX(item.x, base), toPixelsY(item.y, base),
                             toPixelsX(item.cx, base), height);
        if (item.controlClass != ControlClass::Static) {
            control->setFocusPolicy((item.style & WS_TABSTOP) != 0 ? Qt::StrongFocus
                                                                   : Qt::ClickFocus);
            if (firstTabStop == nullptr && (item.style & WS_TABSTOP) != 0) {
                firstTabStop = control;
            }
        }
        if (item.controlClass == ControlClass::Static) {
            // Our fallback font may set a label wider than its template
            // allows; it then grows to the left, keeping its right edge.
            const QRect box = control->geometry();
            const int wanted = control->sizeHint().width();
            if (wanted > box.width()) {
                const int left = std::max(0, box.right() + 1 - wanted);
                control->setGeometry(left, box.y(), box.right() + 1 - left, box.height());
            }
        }
        control->setVisible((item.style & WS_VISIBLE) != 0);
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
    m_hWnd = window_->widget.get();
    window_->widget->setModal(true);
    if (OnInitDialog() != FALSE && window_->firstTabStop != nullptr) {
        window_->firstTabStop->setFocus();
    }
    if (!window_->ended) {
        window_->widget->exec();
    }
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
