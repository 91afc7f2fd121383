// The file chooser of the framework, made of Qt's file dialog.
#include <QApplication>
#include <QFileDialog>
#include <QStringList>

#include <string>

#include "Afx.h"

namespace {

// "Fonts (*.ttf;*.otf)|*.ttf;*.otf||" becomes Qt's "Fonts (*.ttf *.otf)":
// the description as it reads, with the patterns it stands for in the
// parentheses that Qt takes them from.
QStringList qtFilters(const std::string& filter) {
    const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString description = parts[i];
        const qsizetype open = description.lastIndexOf(QLatin1String(" ("));
        if (open >= 0) {
            description.truncate(open);
        }
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters.append(description + QLatin1String(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

}  // namespace

CFileDialog::CFileDialog(BOOL /*openFileDialog*/, const char* /*defaultExtension*/,
                         const char* /*fileName*/, std::uint32_t /*flags*/, const char* filter,
                         CWnd* parent)
    : filter_(filter == nullptr ? "" : filter), parent_(parent) {}

INT_PTR CFileDialog::DoModal() {
    // Only where a user can see the chooser and answer it; elsewhere it
    // would wait for ever.
    const QString platform = QGuiApplication::platformName();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
        platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        return -1;
    }
    // Qt's own chooser, the same on every desktop: its patterns match
    // without regard to case, which a desktop's native one need not do.
    QFileDialog chooser(parent_ == nullptr ? nullptr : parent_->m_hWnd);
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilters(qtFilters(filter_));
    chooser.setWindowTitle(QCoreApplication::translate("Resources", "Open"));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return IDCANCEL;
    }
    pathName_ = chooser.selectedFiles().constFirst().toStdString();
    return IDOK;
}
