// The message box service, shaped like the Windows call it stands in for.
// Without a window system it writes to standard error; a user interface
// installs its own handler, and tests install one that records the message.
#pragma once

#include <functional>
#include <string_view>

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr int IDOK = 1;

// `informative`, when not empty, stands below the text: what the message
// concerns, what the system said, what to do.
int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type,
                std::string_view informative = {});

using MessageBoxHandler = std::function<int(void* owner, const char* text, const char* caption,
                                            unsigned type, std::string_view informative)>;
// A handler that doesn't take the informative text.
using PlainMessageBoxHandler =
    std::function<int(void* owner, const char* text, const char* caption, unsigned type)>;

// Returns the previous handler; an empty handler restores the default one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
MessageBoxHandler setMessageBoxHandler(PlainMessageBoxHandler handler);
