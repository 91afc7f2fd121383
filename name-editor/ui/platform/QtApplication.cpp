// The application object, the process entry and the Qt form of the message box.
#include <QApplication>
#include <QByteArray>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLocale>
#include <QMessageBox>
#include <QRect>
#include <QSpacerItem>
#include <QString>
#include <QTranslator>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Afx.h"

namespace {

CWinApp* currentApp = nullptr;

// A display to connect to; without one the toolkit would abort at start.
bool displayAvailable() {
    return !qgetenv("QT_QPA_PLATFORM").isEmpty() || !qgetenv("DISPLAY").isEmpty() ||
           !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

QtMessageHandler toolkitMessageHandler = nullptr;

// The toolkit ends the process with abort() when the display it was given
// doesn't answer (a server that is gone, a stale DISPLAY after ssh, a server
// resetting as we connect): a core dump and a text that advises reinstalling.
// Nothing is loaded yet at that point, so the plain message and the status
// of a font that could not be shown lose nothing.
void endWhereTheDisplayFails(QtMsgType type, const QMessageLogContext& context,
                             const QString& text) {
    if (type != QtFatalMsg) {
        if (toolkitMessageHandler != nullptr) {
            toolkitMessageHandler(type, context, text);
        }
        return;
    }
    std::fputs("Error: cannot connect to the display.\n", stderr);
    std::_Exit(1);
}

// The toolkit started on the display the environment names, or the process
// ended with the message above.
std::unique_ptr<QApplication> startToolkit(int& argc, char** argv) {
    toolkitMessageHandler = qInstallMessageHandler(endWhereTheDisplayFails);
    auto toolkit = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(toolkitMessageHandler);
    // One name for the window however the program was started (it is also
    // installed as "kestrin"), so that the desktop puts it under its entry.
    QCoreApplication::setApplicationName(QStringLiteral("Kestrin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrin"));
    return toolkit;
}

// Platforms that draw nowhere can't take an answer to a message box: it
// would wait for ever.
bool windowsCanBeShown() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Over the dialog: the one open, or where the last one closed (a failed save
// shows its message between two runs of the dialog).
int showMessageBox(const char* text, const char* caption, const MessageDetail& detail) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("Resources", caption),
                    QCoreApplication::translate("Resources", text), QMessageBox::Ok,
                    QApplication::activeModalWidget());
    // The file on a line of its own, shortened in the middle; the box is made
    // wide enough that the line never breaks.
    const QFontMetrics metrics(box.font());
    const QString file =
        metrics.elidedText(fromUtf8(detail.file), Qt::ElideMiddle, 50 * metrics.averageCharWidth());
    QString informative = QStringLiteral("<nobr>%1</nobr>").arg(file.toHtmlEscaped());
    if (!detail.informative.empty()) {
        informative += QStringLiteral("<p>%1</p>")
                           .arg(fromUtf8(detail.informative)
                                    .toHtmlEscaped()
                                    .replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    }
    box.setInformativeText(informative);  // rich text: it begins with a tag
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int textColumn = grid->columnCount() - 1;
        grid->addItem(new QSpacerItem(metrics.horizontalAdvance(file) + metrics.averageCharWidth(),
                                      0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), textColumn);
    }
    const QRect dialog = box.parentWidget() != nullptr
                             ? box.parentWidget()->frameGeometry()
                             : qApp->property(kLastDialogFrameProperty).toRect();
    if (dialog.isValid()) {
        box.adjustSize();
        box.move(dialog.center() - box.rect().center());
    }
    box.exec();
    return IDOK;
}

// The command line after the program's name. The shell has already split it
// into words; joining them again with single blanks gives back the text as
// typed for any path without quotes, blanks and all.
std::string commandLineTail(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            tail += ' ';
        }
        tail += argv[i];
    }
    const auto start = tail.find_first_not_of(
        "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16"
        "\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f ");
    return start == std::string::npos ? std::string() : tail.substr(start);
}

}  // namespace

CWinApp::CWinApp() {
    currentApp = this;
}

CWinApp::~CWinApp() {
    if (currentApp == this) {
        currentApp = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return m_nExitCode;
}

BOOL CWinApp::ProcessInformationRequest(const char* /*argument*/) {
    return FALSE;
}

CWinApp* AfxGetApp() {
    return currentApp;
}

std::string AfxTranslate(const char* text, std::initializer_list<std::string> arguments) {
    // One pass, so that an argument holding "%2" (a folder's name) stays as it is.
    const QString translated = QCoreApplication::translate("Resources", text);
    const std::vector<std::string> values(arguments);
    QString result;
    for (qsizetype i = 0; i < translated.size(); ++i) {
        const int number = i + 1 < translated.size() ? translated[i + 1].digitValue() : -1;
        if (translated[i] == QLatin1Char('%') && number >= 1 &&
            static_cast<std::size_t>(number) <= values.size()) {
            result += QString::fromStdString(values[static_cast<std::size_t>(number) - 1]);
            ++i;
        } else {
            result += translated[i];
        }
    }
    return result.toStdString();
}

const char* AfxDisplayProblem() {
    // The toolkit is started whenever a display is named, and ends the
    // process when that display doesn't answer.
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr
               ? nullptr
               : "no display (DISPLAY is not set)";
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return -1;
    }
    const std::string tail = commandLineTail(argc, argv);
    app->m_lpCmdLine = tail.c_str();
    app->m_nExitCode = 0;
    if (argc == 2 && app->ProcessInformationRequest(argv[1]) != FALSE) {
        app->m_lpCmdLine = "";
        return app->ExitInstance();
    }

    // The toolkit sees only the program's name: every argument is the font
    // path's, never a toolkit option.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    std::unique_ptr<QApplication> toolkit;
    if (QApplication::instance() == nullptr && displayAvailable()) {
        toolkit = startToolkit(toolkitArgc, toolkitArgv);
    }
    MessageBoxHandler previous;
    const bool ownMessageBox = QApplication::instance() != nullptr && windowsCanBeShown();
    if (ownMessageBox) {
        previous = setMessageBoxHandler(showMessageBox);
    }
    // The resources' texts in the user's language (LC_ALL, LC_MESSAGES, LANG),
    // where the program has a translation for it built in.
    QTranslator translator;
    const bool translated = QApplication::instance() != nullptr &&
                            translator.load(QLocale(), QStringLiteral("resources"),
                                            QStringLiteral("_"), QStringLiteral(":/i18n")) &&
                            QCoreApplication::installTranslator(&translator);
    // A dialog-based program runs its dialog inside InitInstance; there is no
    // message loop after it, whatever InitInstance returns.
    app->InitInstance();
    const int status = app->ExitInstance();
    if (ownMessageBox) {
        setMessageBoxHandler(previous);
    }
    if (translated) {
        QCoreApplication::removeTranslator(&translator);
    }
    app->m_lpCmdLine = "";
    return status;
}
