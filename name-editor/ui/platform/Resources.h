// The program's resources as data: dialog templates and icons, looked up by
// their resource number the way a resource script's compiled form is. A
// template gives each control its place in the dialog's grid rather than
// coordinates; the toolkit's layouts size them from the font.
#pragma once

#include <cstdint>
#include <span>

// Marks a resource text for translation, always in the context "Resources",
// where the framework looks it up when it shows the text; lupdate finds the
// texts by this macro. The definition is Qt's own, so the two can meet in
// one file.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

constexpr int IDC_STATIC = -1;

enum class ControlClass { Button, DefaultButton, Edit, Static, ComboBox };

// Where a control goes: a label stands right-aligned left of the control of
// its row and names it; a field takes the rest of the row and grows with the
// dialog; buttons stand side by side, centred, under everything.
enum class Place { Label, Field, Button };

// One control of a dialog template. Controls are created in template order,
// which is the tab order.
struct DialogItemTemplate {
    int id;
    ControlClass controlClass;
    const char* text;  // UTF-8; '&' marks the label's Alt+letter accelerator
    Place place;
    int row;              // for labels and fields
    const char* toolTip;  // null for none
};

struct DialogTemplate {
    const char* caption;   // UTF-8
    const char* fontFace;  // UTF-8
    int pointSize;
    // How many average characters wide the fields are at opening.
    int fieldWidth;
    std::span<const DialogItemTemplate> items;
};

// An icon resource with its images, each in XPM form.
struct IconResource {
    const char* const* large;  // 32 x 32
    const char* const* small;  // 16 x 16
};

// Supplied by the program's resource module; null when the number is unknown.
const DialogTemplate* AfxFindDialogTemplate(unsigned id);
const IconResource* AfxFindIconResource(unsigned id);
