// Drives the real dialog inside its modal loop: a script runs once the
// window is up, and a watchdog closes whatever modal window is still open
// after a while, so a test that forgets to end the dialog fails instead of
// hanging.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "platform/Afx.h"

namespace testsupport {

inline constexpr int watchdogMilliseconds = 15000;

// Arms the watchdog for as long as the object lives.
class ModalWatchdog {
  public:
    ModalWatchdog() {
        QTimer::singleShot(watchdogMilliseconds, &context_, [] {
            ADD_FAILURE() << "a modal window was still open; the watchdog closed it";
            while (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
    }

  private:
    QObject context_;
};

// Runs `script` from inside the modal loop of whatever is started next.
class ModalScript {
  public:
    explicit ModalScript(std::function<void()> script) {
        QTimer::singleShot(0, &context_, std::move(script));
    }

  private:
    QObject context_;
};

inline INT_PTR runDialog(CDialog& dialog, std::function<void()> script) {
    ModalWatchdog watchdog;
    ModalScript run(std::move(script));
    return dialog.DoModal();
}

inline QLineEdit* editOf(const CWnd& dialog, int id) {
    return qobject_cast<QLineEdit*>(dialog.GetDlgItem(id));
}

inline QComboBox* comboOf(const CWnd& dialog, int id) {
    return qobject_cast<QComboBox*>(dialog.GetDlgItem(id));
}

inline std::vector<std::string> entriesOf(QComboBox* combo) {
    std::vector<std::string> entries;
    for (int i = 0; combo != nullptr && i < combo->count(); ++i) {
        entries.push_back(combo->itemText(i).toStdString());
    }
    return entries;
}

inline std::string textOf(QLineEdit* edit) {
    return edit == nullptr ? "<no field>" : edit->text().toStdString();
}

}  // namespace testsupport
