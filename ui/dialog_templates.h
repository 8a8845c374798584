// The dialog templates as data: for each dialog and language, the caption,
// the size and the controls in template order (which is the tab order), each
// with its id, kind, text (with its mnemonic as "&"), position and size in
// dialog units and its style marks. The tables are in res/dialog_*.inc.
#pragma once

#include <cstddef>
#include <span>

#include "app/strings.h"

namespace morvel {

enum class ControlKind {
    kPushButton,
    kDefPushButton,  // the dialog's default button
    kIconButton,     // a push button that shows an icon instead of its text
    kRadioButton,
    kCheckBox,
    kGroupBox,
    kLabel,          // a static text
    kComboBox,       // a drop-down list with an edit field
    kStaticIcon,
};

// Style marks of a control.
enum ControlStyle : unsigned {
    kNoStyle = 0,
    kGroup = 1u << 0,        // starts a new group (of radio buttons, check boxes)
    kTabStop = 1u << 1,
    kNotify = 1u << 2,
    kNoPrefix = 1u << 3,     // "&" shown as it is, no mnemonic
    kVCenter = 1u << 4,
    kAcceptFiles = 1u << 5,  // a drop target for files
    kDrawnDefault = 1u << 6, // drawn like the default button
};

constexpr int IDC_STATIC = -1;

struct ControlTemplate {
    int id;               // IDC_STATIC for controls without one
    ControlKind kind;
    const char* text;     // UTF-8; "&x" marks a mnemonic
    int x, y, cx, cy;     // dialog units
    unsigned style;       // ControlStyle marks
    const char* name;     // accessible name where the text does not serve, else ""
    int icon;             // icon id shown by the control, else 0
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontFace;  // the face the template names (see DialogFont)
    int pointSize;
    int cx, cy;            // dialog units
    std::span<const ControlTemplate> controls;
};

// Template 102 (main dialog) in `language`; template 100 (about box), which
// exists in Japanese only.
const DialogTemplate& MainDialogTemplate(Language language);
const DialogTemplate& AboutDialogTemplate();

}  // namespace morvel
