#include "NameRecordsWindow.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>
#include <map>
#include <vector>

#include "NameChecks.h"
#include "NameIds.h"
#include "NameOperationDialogs.h"
#include "NameTable.h"
#include "NameText.h"
#include "NameTextDisplay.h"
#include "TableDirectory.h"

namespace {

struct NameRecordsText {
    Q_DECLARE_TR_FUNCTIONS(NameRecordsWindow)
};

QString tr(const char* text) {
    return NameRecordsText::tr(text);
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

enum Column { kPlatform, kEncoding, kLanguage, kNameID, kText, kWarnings, kColumnCount };

// Sorting by a column orders by its number first and the rest of the key after.
constexpr int kSortRole = Qt::UserRole;

qulonglong packed(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
    return qulonglong{a} << 48 | qulonglong{b} << 32 | qulonglong{c} << 16 | qulonglong{d};
}

// The records still in the font, each with what the checks found.
class RecordsModel : public QAbstractTableModel {
  public:
    RecordsModel(NameTable& names, CheckContext context, NameIdUses uses)
        : names_(names), context_(context), uses_(std::move(uses)) {
        reload();
    }

    // Called with the record and the text when an edit is refused because
    // the record's encoding can't hold it.
    std::function<void(const NameRecord&, const QString&)> refused;
    // Called whenever the warnings may have changed.
    std::function<void()> warningsChanged;

    void reload() {
        beginResetModel();
        rows_.clear();
        for (const auto& record : names_.records) {
            // Records a save leaves out (the main dialog's empty fields
            // without a name) are not the font's.
            if (!record->isDropped()) {
                rows_.push_back(record.get());
            }
        }
        recheck();
        endResetModel();
    }

    NameRecord* recordAt(int row) const {
        return row >= 0 && row < static_cast<int>(rows_.size())
                   ? rows_[static_cast<std::size_t>(row)]
                   : nullptr;
    }
    std::size_t warningCount() const { return warningCount_; }
    std::size_t errorCount() const { return errorCount_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : kColumnCount;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return QAbstractTableModel::headerData(section, orientation, role);
        }
        switch (section) {
            case kPlatform:
                return tr("Platform");
            case kEncoding:
                return tr("Encoding");
            case kLanguage:
                return tr("Language");
            case kNameID:
                return tr("Name ID");
            case kText:
                return tr("Text");
            default:
                return tr("Warnings");
        }
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const NameRecord* record = recordAt(index.row());
        if (record == nullptr) {
            return {};
        }
        const NameTriple triple = tripleOf(*record);
        const auto found = warnings_.find(record);
        const std::vector<NameWarning>* warnings =
            found != warnings_.end() ? &found->second : nullptr;
        if (role == kSortRole) {
            const std::uint16_t p = record->platformID, e = record->encodingID,
                                l = record->languageID, n = record->nameID;
            switch (index.column()) {
                case kPlatform:
                    return packed(p, e, l, n);
                case kEncoding:
                    return packed(e, p, l, n);
                case kLanguage:
                    return packed(l, p, e, n);
                case kNameID:
                    return packed(n, p, e, l);
                case kText:
                    return fromUtf8(record->text);
                default:
                    return warnings != nullptr ? static_cast<int>(warnings->size()) : 0;
            }
        }
        if (role == Qt::DisplayRole) {
            const TripleNames names = namesOf(triple);
            switch (index.column()) {
                case kPlatform:
                    return QStringLiteral("%1 (%2)").arg(names.platform).arg(triple.platformID);
                case kEncoding:
                    return QStringLiteral("%1 (%2)").arg(names.encoding).arg(triple.encodingID);
                case kLanguage:
                    return names.language;
                case kNameID:
                    return fromUtf8(nameIdLabel(record->nameID, uses_));
                case kText:
                    return visibleText(record->text);
                default: {
                    // The rules in plain words; the tooltip adds what was found.
                    QStringList rules;
                    for (const NameWarning& warning :
                         warnings != nullptr ? *warnings : std::vector<NameWarning>{}) {
                        rules << tr(warning.rule->text);
                    }
                    return rules.join(QStringLiteral(" "));
                }
            }
        }
        if (role == Qt::EditRole && index.column() == kText) {
            return fromUtf8(record->text);
        }
        if (role == Qt::ToolTipRole) {
            if (index.column() == kText) {
                return fromUtf8(record->text);
            }
            if (index.column() == kWarnings && warnings != nullptr) {
                QStringList lines;
                for (const NameWarning& warning : *warnings) {
                    QString line = tr(warning.rule->text);
                    if (!warning.detail.empty()) {
                        line += QStringLiteral(" (%1)").arg(fromUtf8(warning.detail));
                    }
                    lines << line + QStringLiteral(" [%1]").arg(warning.rule->id);
                }
                return lines.join('\n');
            }
        }
        if (role == Qt::DecorationRole && index.column() == kWarnings && warnings != nullptr) {
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        }
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        return index.column() == kText ? flags | Qt::ItemIsEditable : flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        NameRecord* record = recordAt(index.row());
        if (record == nullptr || role != Qt::EditRole || index.column() != kText) {
            return false;
        }
        QString text = value.toString();
        // A record's text never holds a zero character.
        text.truncate(text.indexOf(QChar(u'\0')) < 0 ? text.size() : text.indexOf(QChar(u'\0')));
        const std::string utf8 = text.toUtf8().toStdString();
        if (utf8 == record->text) {
            return true;
        }
        if (!record->canStore(utf8)) {
            if (refused) {
                refused(*record, text);
            }
            return false;
        }
        record->text = utf8;
        recheck();
        // A text can change other records' warnings (one PostScript name).
        emit dataChanged(this->index(0, 0), this->index(rowCount({}) - 1, kColumnCount - 1));
        return true;
    }

  private:
    void recheck() {
        warnings_.clear();
        warningCount_ = errorCount_ = 0;
        for (NameWarning& warning : checkNames(names_, context_)) {
            ++(warning.rule->severity == Severity::Error ? errorCount_ : warningCount_);
            warnings_[warning.record].push_back(std::move(warning));
        }
        if (warningsChanged) {
            warningsChanged();
        }
    }

    NameTable& names_;
    CheckContext context_;
    NameIdUses uses_;
    std::vector<NameRecord*> rows_;
    std::map<const NameRecord*, std::vector<NameWarning>> warnings_;
    std::size_t warningCount_ = 0, errorCount_ = 0;
};

// Texts are edited in a box that takes line breaks: Return starts a new
// line, Tab or a click elsewhere keeps the text, Escape drops it.
class TextDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != kText) {
            return QStyledItemDelegate::createEditor(parent, option, index);
        }
        auto* editor = new QPlainTextEdit(parent);
        editor->setTabChangesFocus(true);
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
            text->setPlainText(index.data(Qt::EditRole).toString());
        } else {
            QStyledItemDelegate::setEditorData(editor, index);
        }
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
            model->setData(index, text->toPlainText(), Qt::EditRole);
        } else {
            QStyledItemDelegate::setModelData(editor, model, index);
        }
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& /*index*/) const override {
        // Room for a few lines below the cell.
        QRect area = option.rect;
        area.setHeight(std::max(area.height() * 4, 80));
        editor->setGeometry(area);
    }
};

class NameRecordsWindow {
  public:
    NameRecordsWindow(QWidget* parent, NameTable& names, TableDirectory* directory,
                      const std::vector<NameTable*>& otherFonts)
        : dialog_(parent),
          names_(names),
          otherFonts_(otherFonts),
          model_(names, directory != nullptr ? checkContextOf(*directory) : CheckContext{},
                 directory != nullptr ? nameIdUsesOf(*directory) : NameIdUses{}),
          delegate_(&dialog_) {
        dialog_.setWindowTitle(tr("Name records"));
        auto* layout = new QVBoxLayout(&dialog_);

        auto* actions = new QHBoxLayout;
        const auto button = [&](const char* text, auto slot) {
            auto* pushButton = new QPushButton(tr(text));
            pushButton->setAutoDefault(false);
            QObject::connect(pushButton, &QPushButton::clicked, &dialog_, slot);
            actions->addWidget(pushButton);
        };
        button("&Add record…", [this] { addRecord(); });
        button("&Delete", [this] { deleteSelected(); });
        button("Add &language…", [this] { addLanguage(); });
        button("&Rename family…", [this] { renameFamily(); });
        button("&Find and replace…", [this] { findReplace(); });
        button("&Set name everywhere…", [this] { setName(); });
        actions->addStretch();
        layout->addLayout(actions);

        proxy_.setSourceModel(&model_);
        proxy_.setSortRole(kSortRole);
        view_ = new QTableView;
        view_->setModel(&proxy_);
        view_->setItemDelegate(&delegate_);
        view_->setSortingEnabled(true);
        view_->sortByColumn(kPlatform, Qt::AscendingOrder);
        view_->setSelectionBehavior(QAbstractItemView::SelectRows);
        view_->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
        view_->verticalHeader()->hide();
        view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
        view_->horizontalHeader()->setSectionResizeMode(kText, QHeaderView::Stretch);
        layout->addWidget(view_);
        auto* remove = new QShortcut(QKeySequence::Delete, view_);
        QObject::connect(remove, &QShortcut::activated, &dialog_, [this] { deleteSelected(); });

        summary_ = new QLabel;
        layout->addWidget(summary_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        layout->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog_, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);

        model_.warningsChanged = [this] { showSummary(); };
        model_.refused = [this](const NameRecord& record, const QString&) {
            QMessageBox::warning(
                &dialog_, tr("Name records"),
                tr("The text cannot be encoded in %1; the record keeps its text.")
                    .arg(fromUtf8(nametext::encodingName(record.platformID, record.encodingID,
                                                         record.languageID))));
        };
        showSummary();
        view_->resizeColumnsToContents();
        dialog_.resize(1000, 600);
    }

    bool run() { return dialog_.exec() == QDialog::Accepted; }

  private:
    void showSummary() {
        summary_->setText(tr("%1 warning(s), %2 error(s); hover over a warning to read its rule.")
                              .arg(model_.warningCount())
                              .arg(model_.errorCount()));
    }

    NameRecord* currentRecord() const {
        return model_.recordAt(proxy_.mapToSource(view_->currentIndex()).row());
    }

    void carryOut(const QString& title, std::optional<NamePlan> plan) {
        if (plan && confirmPlan(&dialog_, title, *plan)) {
            apply(*plan);
            model_.reload();
        }
    }

    void addRecord() {
        const NameRecord* current = currentRecord();
        const NameTriple triple = current != nullptr ? tripleOf(*current) : NameTriple{3, 1, 0x409};
        const std::uint16_t nameID = current != nullptr ? current->nameID : 0;
        carryOut(tr("Add record"), askAddRecord(&dialog_, names_, triple, nameID));
    }

    void addLanguage() {
        const NameRecord* current = currentRecord();
        const NameTriple triple = current != nullptr ? tripleOf(*current) : NameTriple{3, 1, 0x409};
        carryOut(tr("Add language"), askAddLanguage(&dialog_, names_, triple));
    }

    void renameFamily() {
        carryOut(tr("Rename family"), askRenameFamily(&dialog_, names_, otherFonts_));
    }

    void setName() {
        const NameRecord* current = currentRecord();
        carryOut(tr("Set name everywhere"),
                 askSetName(&dialog_, names_, current != nullptr ? current->nameID : 1));
    }

    void findReplace() { carryOut(tr("Find and replace"), askFindReplace(&dialog_, names_)); }

    // Deleting needs no preview: the records are in sight, and Cancel brings
    // them back.
    void deleteSelected() {
        NamePlan plan;
        for (const QModelIndex& row : view_->selectionModel()->selectedRows()) {
            NameRecord* record = model_.recordAt(proxy_.mapToSource(row).row());
            if (record == nullptr) {
                continue;
            }
            NameChange change;
            change.kind = ChangeKind::Remove;
            change.table = &names_;
            change.record = record;
            plan.changes.push_back(change);
        }
        if (!plan.empty()) {
            apply(plan);
            model_.reload();
        }
    }

    QDialog dialog_;
    NameTable& names_;
    const std::vector<NameTable*>& otherFonts_;
    RecordsModel model_;
    QSortFilterProxyModel proxy_;
    TextDelegate delegate_;
    QTableView* view_ = nullptr;
    QLabel* summary_ = nullptr;
};

}  // namespace

bool RunNameRecordsWindow(QWidget* parent, NameTable& names, TableDirectory* directory,
                          const std::vector<NameTable*>& otherFonts) {
    const NameTable::Snapshot before = names.snapshot();
    std::vector<NameTable::Snapshot> othersBefore;
    othersBefore.reserve(otherFonts.size());
    for (const NameTable* other : otherFonts) {
        othersBefore.push_back(other->snapshot());
    }
    bool kept = false;
    {
        NameRecordsWindow window(parent, names, directory, otherFonts);
        kept = window.run();
    }
    if (!kept) {
        names.restore(before);
        for (std::size_t i = 0; i < otherFonts.size(); ++i) {
            otherFonts[i]->restore(othersBefore[i]);
        }
    }
    return kept;
}

std::string NameWarningsSummary(const NameTable& names, TableDirectory* directory) {
    const std::size_t count =
        checkNames(names, directory != nullptr ? checkContextOf(*directory) : CheckContext{})
            .size();
    if (count == 0) {
        return {};
    }
    return NameRecordsText::tr("%n name warning(s)", nullptr, static_cast<int>(count))
        .toUtf8()
        .toStdString();
}
