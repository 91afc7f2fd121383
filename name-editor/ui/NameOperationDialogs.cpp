#include "NameOperationDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <set>
#include <string>

#include "EncodeString.h"
#include "NameIds.h"
#include "NameText.h"
#include "NameTextDisplay.h"

namespace {

// The translation context of these dialogs.
struct NameDialogs {
    Q_DECLARE_TR_FUNCTIONS(NameDialogs)
};

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// A dialog with a form above OK and Cancel.
struct FormDialog {
    explicit FormDialog(QWidget* parent, const QString& title) : dialog(parent) {
        dialog.setWindowTitle(title);
        auto* layout = new QVBoxLayout(&dialog);
        form = new QFormLayout;
        layout->addLayout(form);
        buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        layout->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    }
    // The buttons were made before the fields: the focus goes to the first
    // field explicitly, not to the first-made widget.
    bool run() {
        if (QLayoutItem* first = form->itemAt(0, QFormLayout::FieldRole);
            first != nullptr && first->widget() != nullptr) {
            first->widget()->setFocus();
        }
        return dialog.exec() == QDialog::Accepted;
    }

    QDialog dialog;
    QFormLayout* form;
    QDialogButtonBox* buttons;
};

QSpinBox* idBox(std::uint16_t value) {
    auto* box = new QSpinBox;
    box->setRange(0, 0xFFFF);
    box->setValue(value);
    return box;
}

// Platform, encoding and language as numbers, with their names beside.
struct TripleFields {
    TripleFields(QFormLayout& form, NameTriple triple)
        : platform(idBox(triple.platformID)),
          encoding(idBox(triple.encodingID)),
          language(idBox(triple.languageID)),
          shown(new QLabel) {
        form.addRow(NameDialogs::tr("Platform ID"), platform);
        form.addRow(NameDialogs::tr("Encoding ID"), encoding);
        form.addRow(NameDialogs::tr("Language ID"), language);
        form.addRow(QString(), shown);
        for (QSpinBox* box : {platform, encoding, language}) {
            QObject::connect(box, &QSpinBox::valueChanged, shown, [this] { update(); });
        }
        update();
    }
    NameTriple value() const {
        return {static_cast<std::uint16_t>(platform->value()),
                static_cast<std::uint16_t>(encoding->value()),
                static_cast<std::uint16_t>(language->value())};
    }
    void update() { shown->setText(tripleText(value())); }

    QSpinBox* platform;
    QSpinBox* encoding;
    QSpinBox* language;
    QLabel* shown;
};

std::vector<NameTriple> triplesOf(const NameTable& table) {
    std::set<NameTriple> triples;
    for (const auto& record : table.records) {
        if (!record->isRemoved()) {
            triples.insert(tripleOf(*record));
        }
    }
    return {triples.begin(), triples.end()};
}

QString kindText(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::Add:
            return NameDialogs::tr("add");
        case ChangeKind::Remove:
            return NameDialogs::tr("delete");
        case ChangeKind::Edit:
            break;
    }
    return NameDialogs::tr("change");
}

}  // namespace

TripleNames namesOf(NameTriple triple) {
    // The Encode list's text, "platform=..., encode=..., lang=...", taken apart.
    const std::string text =
        GetDistinctEncodeString(triple.platformID, triple.encodingID, triple.languageID);
    constexpr std::string_view kPlatform = "platform=", kEncoding = ", encode=",
                               kLanguage = ", lang=";
    const std::size_t encodingAt = text.find(kEncoding);
    const std::size_t languageAt = text.find(kLanguage, encodingAt);
    if (encodingAt == std::string::npos || languageAt == std::string::npos) {
        return {fromUtf8(text), {}, {}};
    }
    return {fromUtf8(text.substr(kPlatform.size(), encodingAt - kPlatform.size())),
            fromUtf8(text.substr(encodingAt + kEncoding.size(),
                                 languageAt - encodingAt - kEncoding.size())),
            fromUtf8(text.substr(languageAt + kLanguage.size()))};
}

QString tripleText(NameTriple triple) {
    const TripleNames names = namesOf(triple);
    return names.platform + ", " + names.encoding + ", " + names.language;
}

bool confirmPlan(QWidget* parent, const QString& title, const NamePlan& plan) {
    if (plan.empty()) {
        QMessageBox::information(parent, title, NameDialogs::tr("No record would change."));
        return false;
    }
    QDialog dialog(parent);
    dialog.setWindowTitle(NameDialogs::tr("%1: preview").arg(title));
    auto* layout = new QVBoxLayout(&dialog);
    QString summary = NameDialogs::tr("%n record(s) will change.", nullptr,
                                      static_cast<int>(plan.applicableCount()));
    if (plan.unencodableCount() > 0) {
        summary += ' ' + NameDialogs::tr(
                             "%n record(s) can't hold the new text in their "
                             "encoding and will be left as they are.",
                             nullptr, static_cast<int>(plan.unencodableCount()));
    }
    layout->addWidget(new QLabel(summary));

    auto* table = new QTableWidget(static_cast<int>(plan.changes.size()), 5);
    table->setHorizontalHeaderLabels({NameDialogs::tr("Record"), NameDialogs::tr("Name ID"),
                                      NameDialogs::tr("Before"), NameDialogs::tr("After"),
                                      NameDialogs::tr("Note")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    int row = 0;
    for (const NameChange& change : plan.changes) {
        const NameTriple triple{change.platformID, change.encodingID, change.languageID};
        QString note = kindText(change.kind);
        if (!change.encodable) {
            note = NameDialogs::tr("not stored: %1 can't hold this text")
                       .arg(fromUtf8(nametext::encodingName(change.platformID, change.encodingID,
                                                            change.languageID)));
        }
        const std::array<QString, 5> cells = {
            tripleText(triple), fromUtf8(nameIdLabel(change.nameID)), visibleText(change.before),
            visibleText(change.after), note};
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(cells[static_cast<std::size_t>(column)]);
            if (!change.encodable) {
                item->setForeground(QColor(Qt::red));
            }
            table->setItem(row, column, item);
        }
        ++row;
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(NameDialogs::tr("Apply"));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(plan.applicableCount() > 0);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.resize(900, 400);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<NamePlan> askRenameFamily(QWidget* parent, NameTable& table) {
    FormDialog ask(parent, NameDialogs::tr("Rename family"));
    auto* oldFamily = new QLineEdit(fromUtf8(currentFamily(table)));
    auto* newFamily = new QLineEdit;
    // The new family first: it is what the user came to type.
    ask.form->addRow(NameDialogs::tr("New family"), newFamily);
    ask.form->addRow(NameDialogs::tr("Family now"), oldFamily);
    ask.form->addRow(QString(),
                     new QLabel(NameDialogs::tr("Changes IDs 1, 3, 4, 16, 18 and 21 where the "
                                                "family stands in them, and its PostScript form "
                                                "in IDs 3, 6, 20 and 25.")));
    QPushButton* ok = ask.buttons->button(QDialogButtonBox::Ok);
    const auto enable = [ok, oldFamily, newFamily] {
        ok->setEnabled(!oldFamily->text().isEmpty() && !newFamily->text().isEmpty());
    };
    QObject::connect(oldFamily, &QLineEdit::textChanged, ok, enable);
    QObject::connect(newFamily, &QLineEdit::textChanged, ok, enable);
    enable();
    if (!ask.run()) {
        return std::nullopt;
    }
    return planRenameFamily(table, toUtf8(oldFamily->text()), toUtf8(newFamily->text()));
}

std::optional<NamePlan> askFindReplace(QWidget* parent, NameTable& table) {
    FormDialog ask(parent, NameDialogs::tr("Find and replace"));
    auto* find = new QLineEdit;
    auto* replacement = new QLineEdit;
    auto* nameIDs = new QLineEdit;
    nameIDs->setPlaceholderText(NameDialogs::tr("all; or for instance 1, 4, 16"));
    nameIDs->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9 ,]*"), nameIDs));
    ask.form->addRow(NameDialogs::tr("Find"), find);
    ask.form->addRow(NameDialogs::tr("Replace with"), replacement);
    ask.form->addRow(NameDialogs::tr("Name IDs"), nameIDs);
    const std::array<QString, 4> platformNames = {
        NameDialogs::tr("Unicode (0)"), NameDialogs::tr("Macintosh (1)"),
        NameDialogs::tr("ISO (2)"), NameDialogs::tr("Windows (3)")};
    std::array<QCheckBox*, 4> platforms{};
    auto* platformRow = new QHBoxLayout;
    for (std::size_t i = 0; i < platforms.size(); ++i) {
        platforms[i] = new QCheckBox(platformNames[i]);
        platforms[i]->setChecked(true);
        platformRow->addWidget(platforms[i]);
    }
    ask.form->addRow(NameDialogs::tr("Platforms"), platformRow);
    if (!ask.run()) {
        return std::nullopt;
    }
    RecordFilter filter;
    for (const QString& id :
         nameIDs->text().split(QRegularExpression("[ ,]+"), Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint value = id.toUInt(&ok);
        if (ok && value <= 0xFFFF) {
            filter.nameIDs.push_back(static_cast<std::uint16_t>(value));
        }
    }
    bool every = true;
    for (std::size_t i = 0; i < platforms.size(); ++i) {
        if (platforms[i]->isChecked()) {
            filter.platformIDs.push_back(static_cast<std::uint16_t>(i));
        } else {
            every = false;
        }
    }
    if (every) {
        filter.platformIDs.clear();  // platforms beyond 3 too
    } else if (filter.platformIDs.empty()) {
        return NamePlan{};
    }
    return planFindReplace(table, toUtf8(find->text()), toUtf8(replacement->text()), filter);
}

std::optional<NamePlan> askAddRecord(QWidget* parent, NameTable& table, NameTriple suggested,
                                     std::uint16_t suggestedNameID) {
    FormDialog ask(parent, NameDialogs::tr("Add record"));
    TripleFields triple(*ask.form, suggested);
    auto* nameID = idBox(suggestedNameID);
    auto* nameLabel = new QLabel(fromUtf8(nameIdLabel(suggestedNameID)));
    QObject::connect(nameID, &QSpinBox::valueChanged, nameLabel, [nameLabel](int value) {
        nameLabel->setText(fromUtf8(nameIdLabel(static_cast<std::uint16_t>(value))));
    });
    auto* text = new QLineEdit;
    ask.form->addRow(NameDialogs::tr("Name ID"), nameID);
    ask.form->addRow(QString(), nameLabel);
    ask.form->addRow(NameDialogs::tr("Text"), text);
    if (!ask.run()) {
        return std::nullopt;
    }
    return planAddRecord(table, triple.value(), static_cast<std::uint16_t>(nameID->value()),
                         toUtf8(text->text()));
}

std::optional<NamePlan> askSetName(QWidget* parent, NameTable& table,
                                   std::uint16_t suggestedNameID) {
    FormDialog ask(parent, NameDialogs::tr("Set name everywhere"));
    auto* text = new QLineEdit;
    auto* nameID = idBox(suggestedNameID);
    auto* nameLabel = new QLabel(fromUtf8(nameIdLabel(suggestedNameID)));
    QObject::connect(nameID, &QSpinBox::valueChanged, nameLabel, [nameLabel](int value) {
        nameLabel->setText(fromUtf8(nameIdLabel(static_cast<std::uint16_t>(value))));
    });
    auto* addWhereMissing = new QCheckBox(NameDialogs::tr("Add it to the languages that lack it"));
    addWhereMissing->setChecked(true);
    ask.form->addRow(NameDialogs::tr("Text"), text);
    ask.form->addRow(NameDialogs::tr("Name ID"), nameID);
    ask.form->addRow(QString(), nameLabel);
    ask.form->addRow(QString(), addWhereMissing);
    if (!ask.run()) {
        return std::nullopt;
    }
    return planSetName(table, static_cast<std::uint16_t>(nameID->value()), toUtf8(text->text()), {},
                       addWhereMissing->isChecked());
}

std::optional<NamePlan> askAddLanguage(QWidget* parent, NameTable& table, NameTriple suggested) {
    FormDialog ask(parent, NameDialogs::tr("Add language"));
    auto* from = new QComboBox;
    const std::vector<NameTriple> triples = triplesOf(table);
    for (const NameTriple& triple : triples) {
        from->addItem(tripleText(triple));
        if (triple == suggested) {
            from->setCurrentIndex(from->count() - 1);
        }
    }
    ask.form->addRow(NameDialogs::tr("Copy the records of"), from);
    ask.form->addRow(new QLabel(NameDialogs::tr("to the new language")));
    TripleFields to(*ask.form, suggested);
    if (!ask.run() || from->currentIndex() < 0) {
        return std::nullopt;
    }
    return planAddLanguage(table, triples[static_cast<std::size_t>(from->currentIndex())],
                           to.value());
}
