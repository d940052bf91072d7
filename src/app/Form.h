#pragma once

#include "Application.h"

#include <optional>
#include <span>
#include <string_view>

// The main window as designed, once, in plain data: every system's window draws itself from
// this description, so a caption, a box or the tab order cannot drift between them.
namespace zelvoset::form {

// The window's caption is the application's title, the one a box given no title shows.
inline constexpr const char* kCaption = kApplicationTitle;

// A control's box in twips (1440 to the inch at the screen's logical resolution), relative to
// its container.
struct TwipsBox {
    int left;
    int top;
    int width;
    int height;
};

// Rounded to the nearest pixel: 15 twips to a pixel at 96 DPI.
constexpr int TwipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}

enum class Kind { Label, Button, Frame };

// The form's text is "MS Sans Serif" 8 pt; the two headings are bold 12 pt.
struct Font {
    const char* face;
    int points;
    int weight; // 400 normal, 700 bold
};
inline constexpr Font kFormFont{"MS Sans Serif", 8, 400};
inline constexpr Font kHeadingFont{"MS Sans Serif", 12, 700};

struct Control {
    const char* name;
    Kind kind;
    const char* caption;   // '&' marks the accelerator of a button
    const char* container; // nullptr: the window itself
    TwipsBox box;
    bool heading = false;
    bool hiddenAtStart = false;
    // The label whose caption explains this control to a screen reader, heard after its name.
    const char* describedBy = nullptr;
    // The label whose caption names this container to a screen reader, which has no caption of
    // its own to show.
    const char* namedBy = nullptr;
};

inline constexpr const char* kFormName = "frmZelIns";
inline constexpr TwipsBox kClientArea{0, 0, 6630, 4035};

// Every control, containers before what they hold.
std::span<const Control> Controls();
// The tab order, first to last; the first control that takes the focus is active at start.
std::span<const char* const> TabOrder();
// The control called `name`, or nullptr.
const Control* Find(std::string_view name);
// Whether a control is one of the options that the Finish panel covers (and that must then
// become unreachable), as opposed to the panel and what it holds.
bool IsOption(const Control& control);

// What Finish makes of a control. The panel comes up over the options, and the options are
// hidden and disabled: reachable underneath it, Tab would wander onto hidden buttons and Alt+E
// would start the empty data files instead of Exit. nullopt: the control stays as it is.
struct Shown {
    bool visible;
    bool enabled;
};
std::optional<Shown> AfterFinish(const Control& control);
// The control that has the focus once Finish has shown the panel.
inline constexpr const char* kFocusAfterFinish = "cmdExit";

// What assistive technology is told about a control, beyond its kind and caption. Each system's
// window applies it with that system's own means.
// The caption of the label that names the control, "" when its own caption names it.
std::string_view AccessibleName(const Control& control);
// The caption of the label that explains the control, "" when there is none or it is empty.
std::string_view AccessibleDescription(const Control& control);
// Whether a screen reader should meet the control at all: a label without text shows nothing,
// and would be heard as a blank.
bool IsExposed(const Control& control);

} // namespace zelvoset::form
