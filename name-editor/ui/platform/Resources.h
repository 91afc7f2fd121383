// The program's resources as data: dialog templates and icons, looked up by
// their resource number the way a resource script's compiled form is.
#pragma once

#include <cstdint>
#include <span>

// Window and control styles that the templates use.
constexpr std::uint32_t WS_POPUP = 0x80000000;
constexpr std::uint32_t WS_CHILD = 0x40000000;
constexpr std::uint32_t WS_VISIBLE = 0x10000000;
constexpr std::uint32_t WS_CAPTION = 0x00C00000;
constexpr std::uint32_t WS_BORDER = 0x00800000;
constexpr std::uint32_t WS_VSCROLL = 0x00200000;
constexpr std::uint32_t WS_SYSMENU = 0x00080000;
constexpr std::uint32_t WS_GROUP = 0x00020000;
constexpr std::uint32_t WS_TABSTOP = 0x00010000;
constexpr std::uint32_t WS_EX_APPWINDOW = 0x00040000;
constexpr std::uint32_t DS_MODALFRAME = 0x80;
constexpr std::uint32_t DS_SETFONT = 0x40;
constexpr std::uint32_t CBS_DROPDOWNLIST = 0x3;
constexpr std::uint32_t CBS_SORT = 0x100;
constexpr std::uint32_t ES_AUTOHSCROLL = 0x80;
constexpr std::uint32_t BS_PUSHBUTTON = 0x0;
constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1;
constexpr std::uint32_t SS_LEFT = 0x0;

constexpr int IDC_STATIC = -1;

enum class ControlClass { Button, Edit, Static, ComboBox };

// One control of a dialog template; position and size in dialog units.
struct DialogItemTemplate {
    int id;
    ControlClass controlClass;
    const char* text;  // UTF-8
    int x, y, cx, cy;
    std::uint32_t style;
};

struct DialogTemplate {
    const char* caption;  // UTF-8
    int x, y, cx, cy;
    std::uint32_t style;
    std::uint32_t exStyle;
    const char* fontFace;  // UTF-8
    int pointSize;
    int weight;
    bool italic;
    int charset;
    std::span<const DialogItemTemplate> items;  // template order, which is the tab order
};

// An icon resource with its images, each in XPM form.
struct IconResource {
    const char* const* large;  // 32 x 32
    const char* const* small;  // 16 x 16
};

// Supplied by the program's resource module; null when the number is unknown.
const DialogTemplate* AfxFindDialogTemplate(unsigned id);
const IconResource* AfxFindIconResource(unsigned id);
