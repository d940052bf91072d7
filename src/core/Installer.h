#pragma once

#include "Layout.h"
#include "Platform.h"

#include <optional>

namespace zelvoset {

// The state and procedures behind the main window, free of any widget so that every decision
// can be tested without a display. The window forwards each event here and applies the result.
class Installer {
public:
    explicit Installer(Platform& platform) : platform_(platform) {}

    // The start-up work, done before the window is shown. Each failing step is skipped and the
    // next one runs; what this user had no right to change is named once at the end. Returns
    // whether the empty data files button stays enabled.
    bool Form_Load();

    void cmdDemoData_Click();
    // The empty data files button: a failure of the action is shown to the user.
    void cmdEmptyFiles_Click();

    // Exit, and the window's close box: the program ends. Ending it may close the window again,
    // which asks again; the program still ends only once.
    void cmdExit_Click();

    std::optional<Layout> InstallVariant() const { return InstallVariant_; }

private:
    // Whether a new start of the program, with the rights this one lacks, took over; this one
    // has then ended.
    bool StartedAgainElevated();

    Platform& platform_;
    std::optional<Layout> InstallVariant_;
    bool ended_ = false;
};

} // namespace zelvoset
