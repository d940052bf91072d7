#pragma once

#include "Form.h"
#include "Installer.h"
#include "Platform.h"

#include <windows.h>

#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zelvoset {

// The program's one window, drawn from the form's description with plain Win32 controls. It
// holds the controls, hands every event to the Installer and applies what comes back; the
// decisions themselves live in the Installer.
class frmZelIns {
public:
    // Creates the window and its controls, hidden: Form_Load runs before it is shown.
    explicit frmZelIns(Platform& platform);
    ~frmZelIns();
    frmZelIns(const frmZelIns&) = delete;
    frmZelIns& operator=(const frmZelIns&) = delete;

    HWND Handle() const { return window_; }
    // The control called `name` in the form's description, or nullptr.
    HWND Control(std::string_view name) const;

    // The start-up work; runs before the window is first shown, so that any question it asks
    // comes before the window.
    void Form_Load();
    // Shows the window the first time, with the first control of the tab order active.
    void Show(int showCommand);

    void cmdDemoData_Click();
    void cmdEmptyFiles_Click();
    void cmdFinish_Click();
    void cmdExit_Click();

    std::optional<Layout> InstallVariant() const { return installer_.InstallVariant(); }

    // The keyboard of a dialog for a message taken from the queue: Tab, Enter on the focused
    // button, Alt+letter. True when the message was handled and must not be dispatched.
    bool HandleDialogKeys(MSG& message);

private:
    struct FontDeleter {
        void operator()(HFONT font) const { DeleteObject(font); }
    };
    using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

    struct Placed {
        const form::Control* control;
        HWND window;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code);
    void unload();

    // frmZelInsControls.cpp: the description drawn with Win32 controls.
    void createWindow();
    void createControls();
    void arrangeTabOrder();
    // Places every control and sizes its text for a resolution of `dpi` dots per inch.
    void applyDpi(UINT dpi);
    SIZE windowSizeFor(UINT dpi) const;
    // Centres the window on the work area it was made on.
    void centre();
    // The control with a control id, or nullptr for any other id.
    const Placed* withId(int id) const;
    HWND firstTabStop() const;

    Installer installer_;
    HWND window_ = nullptr;
    std::vector<Placed> controls_; // in the description's order
    RECT workArea_{};              // of the monitor the window comes up on
    Font formFont_;
    Font headingFont_;
    // The control that has the focus while the window is active, given it back on return.
    HWND activeControl_ = nullptr;
};

} // namespace zelvoset
