// The file chooser of the framework, made of Qt's file dialog.
#include <QApplication>
#include <QFileDialog>
#include <QStringList>

#include "Afx.h"

namespace {

// The folder of the last file chosen, where the next chooser opens.
QString& lastFolder() {
    static QString folder;
    return folder;
}

QString translated(const std::string& text) {
    return QCoreApplication::translate("Resources", text.c_str());
}

}  // namespace

CFileDialog::CFileDialog(std::string title, std::vector<std::string> filters, CWnd* parent)
    : title_(std::move(title)), filters_(std::move(filters)), parent_(parent) {}

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
    QStringList filters;
    for (const std::string& filter : filters_) {
        filters.append(translated(filter));
    }
    chooser.setNameFilters(filters);
    chooser.setWindowTitle(translated(title_));
    if (!lastFolder().isEmpty()) {
        chooser.setDirectory(lastFolder());
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return IDCANCEL;
    }
    pathName_ = chooser.selectedFiles().constFirst().toStdString();
    lastFolder() = chooser.directory().absolutePath();
    return IDOK;
}
