#include "NameEditorApp.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "FontStore.h"
#include "NameEditorDlg.h"

// Defined together so that their construction order is their order here.
CNameEditorApp theApp;
FontFile theFontFile;

namespace {

constexpr const char* kErrorCaption = QT_TRANSLATE_NOOP("Resources", "Error");

// The font model's messages, which the message box shows in the user's
// language; the model is plain C++, so they are marked for lupdate here.
[[maybe_unused]] constexpr const char* kModelMessages[] = {
    QT_TRANSLATE_NOOP("Resources", "usage:"),
    QT_TRANSLATE_NOOP("Resources", "cannot open file."),
    QT_TRANSLATE_NOOP("Resources", "invalid ttf file."),
    QT_TRANSLATE_NOOP("Resources", "name table too large."),
    QT_TRANSLATE_NOOP("Resources", "write error."),
    QT_TRANSLATE_NOOP("Resources", "name cannot be encoded."),
};

constexpr const char* kSaveAdvice = QT_TRANSLATE_NOOP(
    "Resources",
    "Nothing was written and your edits are kept: put this right and press OK again, or Cancel.");

// The lines below a message of the font model: what went wrong in the
// system's words and what the user can do, by message and by whether the
// font was being saved.
std::string adviceFor(std::string_view message, const std::string& path, std::string_view reason,
                      bool saving) {
    std::string advice;
    const auto is = [message](auto error) { return message == messageOf(error); };
    if (saving) {
        std::string folder, folderReason;
        if (is(SaveError::CannotOpen) && !canReplace(path, folderReason, &folder) &&
            !folder.empty()) {
            // By its name: the file's whole path stands above, shortened
            // where long, and a path here would break across lines.
            advice =
                AfxTranslate(QT_TRANSLATE_NOOP("Resources",
                                               "cannot save: the folder “%1” "
                                               "can't be written (%2)"),
                             {std::filesystem::path(folder).filename().string(), folderReason});
        } else if (is(SaveError::NameTableTooLarge)) {
            advice = AfxTranslate(QT_TRANSLATE_NOOP(
                "Resources",
                "cannot save: the names together no longer fit the name table; shorten a long "
                "one."));
        } else if (!reason.empty()) {
            advice = AfxTranslate(QT_TRANSLATE_NOOP("Resources", "cannot save: %1"),
                                  {std::string(reason)});
        }
        return advice + (advice.empty() ? "" : "\n") + AfxTranslate(kSaveAdvice);
    }
    if (!reason.empty()) {
        advice = std::string(reason) + "\n";
    }
    if (is(LoadError::Usage)) {
        advice += AfxTranslate(QT_TRANSLATE_NOOP(
            "Resources", "Give the path of a TrueType or OpenType font: Kestrin [FONT]"));
    } else if (is(LoadError::CannotOpen)) {
        advice += AfxTranslate(QT_TRANSLATE_NOOP(
            "Resources", "Check that the file is there and that you may read it."));
    } else if (is(LoadError::Invalid)) {
        advice += AfxTranslate(QT_TRANSLATE_NOOP(
            "Resources",
            "Kestrin opens TrueType and OpenType fonts and collections (.ttf, .otf, .ttc, .otc)."));
    }
    return advice;
}

// The line under the fields: why the font can't be saved where it is, and
// that a save gives the new font to this one name of the file only.
std::string noticeFor(const std::string& path) {
    std::string notice, reason, folder;
    if (!canReplace(path, reason, &folder)) {
        notice =
            folder.empty()
                ? AfxTranslate(QT_TRANSLATE_NOOP("Resources", "Read-only: %1"), {reason})
                : AfxTranslate(QT_TRANSLATE_NOOP("Resources", "The folder %1 can't be written: %2"),
                               {folder, reason});
    }
    if (const std::uint64_t links = hardLinkCount(path); links > 1) {
        const char* text =
            links == 2
                ? QT_TRANSLATE_NOOP("Resources", "1 other hard link keeps the old font on save.")
                : QT_TRANSLATE_NOOP("Resources", "%1 other hard links keep the old font on save.");
        if (!notice.empty()) {
            notice += '\n';
        }
        notice += AfxTranslate(text, {std::to_string(links - 1)});
    }
    return notice;
}

// Would a save write names other than those read, in any of the file's
// fonts: a record's text changed or emptied, or a record added with text.
bool namesEdited(const FontFile& file) {
    return std::any_of(file.members.begin(), file.members.end(),
                       [](const FontMember& font) { return font.names.hasEdits(); });
}

}  // namespace

BOOL CNameEditorApp::InitInstance() {
    const ErrorReporter previousReporter = setErrorReporter(
        [this](std::string_view message, std::string_view path, std::string_view reason) {
            const std::string file(path);
            const std::string advice = adviceFor(message, file, reason, saving_);
            MessageBoxA(nullptr, std::string(message).c_str(), kErrorCaption, MB_OK | MB_ICONERROR,
                        {file, advice});
        });
    RunFontEditor();
    setErrorReporter(previousReporter);
    // No message loop: the program ends once the dialog is done.
    return FALSE;
}

void CNameEditorApp::RunFontEditor() {
    if (*m_lpCmdLine == '\0' && AfxDisplayProblem() != nullptr) {
        std::fputs("usage: Kestrin [FONT]\n", stderr);
        m_nExitCode = 1;
        return;
    }
    if (*m_lpCmdLine == '\0' && !ChooseFontPath()) {
        return;
    }
    saving_ = false;
    if (!loadFontFile(m_lpCmdLine, theFontFile)) {
        m_nExitCode = 1;
        return;
    }
    if (const char* problem = AfxDisplayProblem()) {
        const std::string message = std::string("cannot show the dialog: ") + problem + ".";
        MessageBoxA(nullptr, message.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
        m_nExitCode = 1;
        return;
    }

    CNameEditorDlg dlg(theFontFile);
    dlg.SetReadOnlyNotice(noticeFor(m_lpCmdLine));
    m_pMainWnd = &dlg;
    // A failed save leaves the model as it was: the dialog opens again with
    // the edits, for the user to fix the cause and press OK again, or Cancel.
    // The status tells whether the last save the user asked for was made.
    INT_PTR result = IDCANCEL;
    saving_ = true;
    while ((result = dlg.DoModal()) == IDOK) {
        // OK without an edit (a font opened by a double-click and closed
        // with Enter) leaves the file as it was, its time stamps included.
        if (!namesEdited(theFontFile) || saveFontFile(m_lpCmdLine, theFontFile)) {
            m_nExitCode = 0;
            break;
        }
        m_nExitCode = 1;
    }
    if (result == -1) {
        m_nExitCode = 1;
    }
    m_pMainWnd = nullptr;
}

bool CNameEditorApp::ChooseFontPath() {
    CFileDialog chooser(QT_TRANSLATE_NOOP("Resources", "Open Font - Kestrin"),
                        {QT_TRANSLATE_NOOP("Resources", "Fonts (*.ttf *.otf *.ttc *.otc)"),
                         QT_TRANSLATE_NOOP("Resources", "All files (*)")});
    switch (chooser.DoModal()) {
        case IDOK:
            m_strChosenPath = chooser.GetPathName();
            m_lpCmdLine = m_strChosenPath.c_str();
            return true;
        case IDCANCEL:
            return false;
        default:
            // No chooser can be shown: the load reports the missing path.
            return true;
    }
}

BOOL CNameEditorApp::ProcessInformationRequest(const char* argument) {
    if (std::strcmp(argument, "--help") == 0) {
        std::fputs(
            "usage: Kestrin [FONT]\n"
            "Edits the eight principal names (copyright, family, subfamily, unique\n"
            "identifier, full name, version, PostScript name, trademark) of a TrueType or\n"
            "OpenType font in a dialog; OK writes the font back to the same path.\n"
            "In a collection (.ttc, .otc) a list chooses the font to edit; every other\n"
            "byte of the collection is kept.\n"
            "Without FONT a file chooser asks for one. The whole rest of the command line\n"
            "is the path, blanks and all; a file named like an option is given as ./--help.\n"
            "\n"
            "  --help     show this text and exit\n"
            "  --version  show the version and exit\n"
            "\n"
            "Exit status: 0 when the font was saved or the dialog cancelled, 1 when the\n"
            "font could not be loaded or saved.\n",
            stdout);
        return TRUE;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::fputs("Kestrin " FONTTOOLS_VERSION "\n", stdout);
        return TRUE;
    }
    return FALSE;
}
