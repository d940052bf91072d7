#include "frmZelIns.h"

#include "Dpi.h"

#include <cstring>

namespace zelvoset {

frmZelIns::frmZelIns(Platform& platform) : installer_(platform) {
    createWindow();
    createControls();
    arrangeTabOrder();
    applyDpi(win32::DpiOf(window_));
    centre();
}

frmZelIns::~frmZelIns() {
    if (window_)
        DestroyWindow(window_);
}

HWND frmZelIns::Control(std::string_view name) const {
    for (const Placed& placed : controls_)
        if (placed.control->name == name)
            return placed.window;
    return nullptr;
}

void frmZelIns::Form_Load() {
    EnableWindow(Control("cmdEmptyFiles"), installer_.Form_Load());
}

void frmZelIns::Show(int showCommand) {
    activeControl_ = firstTabStop();
    // A box answered before the window showed has given the activation back to its owner, this
    // window, while it was hidden and had no control to focus. Showing an active window sends
    // no WM_SETFOCUS again, so the control gets the focus here; otherwise the activation that
    // showing brings gives it.
    const bool activeWhileHidden = GetActiveWindow() == window_;
    ShowWindow(window_, showCommand);
    if (activeWhileHidden)
        SetFocus(activeControl_);
    UpdateWindow(window_);
}

void frmZelIns::cmdDemoData_Click() {
    installer_.cmdDemoData_Click();
}

void frmZelIns::cmdEmptyFiles_Click() {
    installer_.cmdEmptyFiles_Click();
}

void frmZelIns::cmdFinish_Click() {
    // The panel first, then the focus, then the options hidden: the focus never rests on a
    // hidden button.
    for (const bool panel : {true, false}) {
        for (const Placed& placed : controls_) {
            const auto shown = form::AfterFinish(*placed.control);
            if (!shown || shown->visible != panel)
                continue;
            ShowWindow(placed.window, shown->visible ? SW_SHOW : SW_HIDE);
            EnableWindow(placed.window, shown->enabled);
        }
        if (panel) {
            activeControl_ = Control(form::kFocusAfterFinish);
            SetFocus(activeControl_);
        }
    }
}

void frmZelIns::cmdExit_Click() {
    unload();
}

void frmZelIns::unload() {
    ShowWindow(window_, SW_HIDE);
    installer_.cmdExit_Click();
}

bool frmZelIns::HandleDialogKeys(MSG& message) {
    return window_ && IsDialogMessageW(window_, &message);
}

void frmZelIns::onCommand(int id, int code) {
    const Placed* placed = withId(id);
    if (!placed || code != BN_CLICKED)
        return;
    using Click = void (frmZelIns::*)();
    static constexpr struct {
        const char* name;
        Click click;
    } kClicks[] = {
        {"cmdDemoData", &frmZelIns::cmdDemoData_Click},
        {"cmdEmptyFiles", &frmZelIns::cmdEmptyFiles_Click},
        {"cmdFinish", &frmZelIns::cmdFinish_Click},
        {"cmdExit", &frmZelIns::cmdExit_Click},
    };
    for (const auto& [name, click] : kClicks)
        if (std::strcmp(placed->control->name, name) == 0)
            (this->*click)();
}

LRESULT CALLBACK frmZelIns::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<frmZelIns*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmZelIns*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->controls_.clear();
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT frmZelIns::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // By the control's id: Enter on a button inside the frame comes from the dialog
        // keyboard, which names the button by id alone.
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID: {
        // Enter presses the focused button, as in any dialog. The window is no dialog, so the
        // dialog keyboard asks it which button Enter means; no button, no default.
        const HWND focus = GetFocus();
        const Placed* placed = IsChild(window_, focus) ? withId(GetDlgCtrlID(focus)) : nullptr;
        if (placed && placed->control->kind == form::Kind::Button)
            return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(window_, focus))
                activeControl_ = focus;
        }
        break;
    case WM_SETFOCUS:
        // The window itself takes no keys: back to the control that had the focus.
        if (activeControl_ && IsWindowVisible(activeControl_))
            SetFocus(activeControl_);
        return 0;
    case WM_CLOSE:
        // The close box ends the program the way Exit does.
        unload();
        return 0;
    case win32::kGetDpiScaledSize: {
        // A fixed-size window: its new size follows from the twips, not from scaling the old.
        const SIZE size = windowSizeFor(static_cast<UINT>(wParam));
        *reinterpret_cast<SIZE*>(lParam) = size;
        return TRUE;
    }
    case WM_DPICHANGED: {
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                     suggested.right - suggested.left, suggested.bottom - suggested.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        applyDpi(HIWORD(wParam));
        return 0;
    }
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace zelvoset
