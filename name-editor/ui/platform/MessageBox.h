// The message box service, shaped like the Windows call it stands in for.
// Without a window system it writes to standard error; a user interface
// installs its own handler, and tests install one that records the message.
#pragma once

#include <functional>

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONSTOP = MB_ICONERROR;
constexpr int IDOK = 1;

int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type);

using MessageBoxHandler =
    std::function<int(void* owner, const char* text, const char* caption, unsigned type)>;

// Returns the previous handler; an empty handler restores the default one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
