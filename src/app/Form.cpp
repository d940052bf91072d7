#include "Form.h"

#include <algorithm>

namespace zelvoset::form {
namespace {

// One row a control, as a form file lists them: name, kind, caption, container (nullptr: the
// window), twips box, heading, hidden at start, the label that describes it, the label that
// names it.
// clang-format off
constexpr Control kControls[] = {
    {"Label1",        Kind::Label,  "Select an option to continue.", nullptr, {480, 360, 4575, 375}, true, false, nullptr, nullptr},
    {"cmdDemoData",   Kind::Button, "Install &demo data", nullptr, {360, 1200, 2175, 615}, false, false, "lblDemoData", nullptr},
    {"lblDemoData",   Kind::Label,  "Install Zelvo demonstration data", nullptr, {2880, 1320, 3015, 495}, false, false, nullptr, nullptr},
    {"cmdEmptyFiles", Kind::Button, "Install &empty data files", nullptr, {360, 2160, 2175, 615}, false, false, "lblEmptyFiles", nullptr},
    {"lblEmptyFiles", Kind::Label,  "Install an initialized set of Zelvo data files for use in a new company setup", nullptr, {2880, 2280, 3495, 495}, false, false, nullptr, nullptr},
    {"cmdFinish",     Kind::Button, "&Finish", nullptr, {360, 3120, 2175, 615}, false, false, "lblFinish", nullptr},
    {"lblFinish",     Kind::Label,  "", nullptr, {2880, 3240, 3015, 495}, false, false, nullptr, nullptr},
    // Its heading names the panel, so that moving into it says "Installation Complete".
    {"fraFinish",     Kind::Frame,  "", nullptr, {120, 120, 6495, 3855}, false, true, nullptr, "Label2"},
    {"Label2",        Kind::Label,  "Installation Complete", "fraFinish", {360, 360, 3975, 615}, true, false, nullptr, nullptr},
    {"Label3",        Kind::Label,  "The installation process has finished.  To quit this program, click Exit.", "fraFinish", {360, 1080, 5295, 975}, false, false, nullptr, nullptr},
    {"cmdExit",       Kind::Button, "&Exit", "fraFinish", {240, 3000, 2175, 615}, false, false, nullptr, nullptr},
};
// clang-format on

constexpr const char* kTabOrder[] = {
    "Label1",    "cmdDemoData", "cmdEmptyFiles", "cmdFinish", "lblDemoData", "lblEmptyFiles",
    "lblFinish", "fraFinish",   "cmdExit",       "Label2",    "Label3",
};

} // namespace

std::span<const Control> Controls() {
    return kControls;
}

std::span<const char* const> TabOrder() {
    return kTabOrder;
}

const Control* Find(std::string_view name) {
    const auto* found = std::find_if(std::begin(kControls), std::end(kControls),
                                     [&](const Control& control) { return control.name == name; });
    return found == std::end(kControls) ? nullptr : found;
}

bool IsOption(const Control& control) {
    return control.container == nullptr && control.kind != Kind::Frame;
}

std::optional<Shown> AfterFinish(const Control& control) {
    if (IsOption(control))
        return Shown{false, false};
    if (control.kind == Kind::Frame && control.hiddenAtStart)
        return Shown{true, true};
    return std::nullopt;
}

std::string_view AccessibleName(const Control& control) {
    return control.namedBy ? Find(control.namedBy)->caption : "";
}

std::string_view AccessibleDescription(const Control& control) {
    return control.describedBy ? Find(control.describedBy)->caption : "";
}

bool IsExposed(const Control& control) {
    return control.kind != Kind::Label || *control.caption != '\0';
}

} // namespace zelvoset::form
