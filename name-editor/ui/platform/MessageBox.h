// The message box service, shaped like the Windows call it stands in for.
// Without a window system it writes to standard error; a user interface
// installs its own handler, and tests install one that records the message.
#pragma once

#include <functional>
#include <string_view>

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr int IDOK = 1;

// What stands below a message's text: the file it concerns (shortened in
// the middle where it is long, never broken) and a line or two on what the
// system said and what to do.
struct MessageDetail {
    std::string_view file;
    std::string_view informative;
};

// Modal, with the error icon and one OK button whatever the type asks,
// centred over the program's dialog.
int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type,
                const MessageDetail& detail = {});

using MessageBoxHandler =
    std::function<int(const char* text, const char* caption, const MessageDetail& detail)>;

// Returns the previous handler; an empty handler restores the default one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
