// Dialog templates as data: every window of the program is built from one of these by whichever
// host runs it, so the console, the Qt window and the Windows dialog share IDs, texts, tab order
// and layout.
// Positions and sizes are dialog units, as the templates were designed.
#pragma once

#include <span>
#include <string_view>

namespace omblor::resources {

enum class ControlKind { PushButton, DefPushButton, Edit, Static, CheckBox, Tree, Progress, Icon };

// Style bits of a control; only those the hosts act on.
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleNumber = 1U << 0,  // edit: digits only
    kStyleBorder = 1U << 1,
    kStyleAutoHScroll = 1U << 2,
    kStylePassword = 1U << 3,  // edit: characters hidden
    kStyleTabStop = 1U << 4,
    kStyleTreeButtons = 1U << 5,
    kStyleTreeLines = 1U << 6,
    kStyleTreeLinesAtRoot = 1U << 7,
    kStyleTreeShowSelAlways = 1U << 8,
};

// Style bits of a dialog window.
enum DialogStyle : unsigned {
    kDialogNone = 0,
    kDialogCaption = 1U << 0,
    kDialogSysMenu = 1U << 1,
    kDialogModalFrame = 1U << 2,
    kDialogAppWindow = 1U << 3,  // has a task-bar button
    kDialogResizable = 1U << 4,  // sizing border; the template's size is the smallest
};

// Controls without an ID (labels) carry this one.
inline constexpr int kNoControlId = -1;

struct ControlTemplate {
    int id = kNoControlId;
    ControlKind kind = ControlKind::Static;
    std::string_view text;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    unsigned style = kStyleNone;
};

struct DialogTemplate {
    int id = 0;
    std::string_view title;
    int cx = 0;
    int cy = 0;
    std::string_view font;
    int pointSize = 8;
    unsigned style = kDialogNone;
    std::span<const ControlTemplate> controls;  // in tab order
};

// The template with that resource ID, or nullptr when there is none.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace omblor::resources
