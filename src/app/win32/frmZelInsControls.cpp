// How the Win32 window draws the form's description: its controls, places, fonts and tab order.
#include "Accessible.h"
#include "Dpi.h"
#include "Monitor.h"
#include "Resources.h"
#include "Text.h"
#include "frmZelIns.h"

#include <map>

namespace zelvoset {
namespace {

// A fixed-size window: a title bar with the system menu, minimize and close, no sizing border
// and no maximize box.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;
constexpr wchar_t kFrameClass[] = L"ZelvosetFrame";
// Clear of IDOK and IDCANCEL, which the dialog keyboard sends for Enter and Esc when no button
// is meant.
constexpr int kFirstControlId = 100;

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

const wchar_t* WindowClass() {
    static const std::wstring name = win32::WidenForDisplay(form::kFormName);
    return name.c_str();
}

int Pixels(int twips, UINT dpi) {
    return form::TwipsToPixels(twips, static_cast<int>(dpi));
}

// The frame: a panel that holds controls, with an etched border and no caption. Its buttons
// report to it; it passes that on to the window, which handles every control's events.
LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return SendMessageW(GetParent(frame), message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(frame, &paint);
        RECT border;
        GetClientRect(frame, &border);
        DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
        EndPaint(frame, &paint);
        return 0;
    }
    }
    return DefWindowProcW(frame, message, wParam, lParam);
}

HICON ProgramIcon(int metricX, int metricY) {
    return static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_ZELVOSET), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY),
                                         LR_SHARED));
}

void RegisterClasses(WNDPROC windowProc) {
    WNDCLASSEXW window{};
    window.cbSize = sizeof window;
    window.lpfnWndProc = windowProc;
    window.hInstance = Instance();
    window.hIcon = ProgramIcon(SM_CXICON, SM_CYICON);
    window.hIconSm = ProgramIcon(SM_CXSMICON, SM_CYSMICON);
    window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window.lpszClassName = WindowClass();
    RegisterClassExW(&window);

    WNDCLASSEXW frame = window;
    frame.lpfnWndProc = FrameProc;
    frame.hIcon = frame.hIconSm = nullptr;
    frame.lpszClassName = kFrameClass;
    RegisterClassExW(&frame);
}

HFONT NewFont(const form::Font& designed, UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(designed.points, static_cast<int>(dpi), 72);
    font.lfWeight = designed.weight;
    font.lfCharSet = DEFAULT_CHARSET;
    win32::WidenForDisplay(designed.face).copy(font.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

// Shown as far as its own style and its containers' go, whether or not the window is yet.
bool Shown(HWND control, HWND window) {
    for (; control && control != window; control = GetParent(control))
        if (!(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE))
            return false;
    return true;
}

} // namespace

void frmZelIns::createWindow() {
    static const bool registered = (RegisterClasses(&frmZelIns::WindowProc), true);
    (void)registered;
    // Made on the monitor where it will show, so that it is sized once the controls exist at
    // that monitor's resolution; centred there once it has its size.
    workArea_ = win32::StartWorkArea();
    CreateWindowExW(kWindowExStyle, WindowClass(), win32::WidenForDisplay(form::kCaption).c_str(),
                    kWindowStyle, workArea_.left, workArea_.top, 0, 0, nullptr, nullptr, Instance(),
                    this);
}

void frmZelIns::centre() {
    if (!window_)
        return;
    RECT frame;
    GetWindowRect(window_, &frame);
    const POINT corner =
        win32::CentredIn(workArea_, {frame.right - frame.left, frame.bottom - frame.top});
    SetWindowPos(window_, nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmZelIns::createControls() {
    if (!window_)
        return;
    int id = kFirstControlId;
    for (const form::Control& control : form::Controls()) {
        const HWND container = control.container ? Control(control.container) : window_;
        // The frame lies over the options: siblings must not draw over one another. An empty
        // label, which shows nothing, stays hidden, so that a screen reader does not meet it.
        const bool shown = !control.hiddenAtStart && form::IsExposed(control);
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (shown ? WS_VISIBLE : 0);
        DWORD exStyle = 0;
        const wchar_t* windowClass = nullptr;
        switch (control.kind) {
        case form::Kind::Label:
            windowClass = L"Static";
            // Captions are shown as written: a '&' in a label is no accelerator.
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case form::Kind::Button:
            windowClass = L"Button";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case form::Kind::Frame:
            windowClass = kFrameClass;
            // Tab and the accelerators look inside the frame for the controls it holds.
            exStyle |= WS_EX_CONTROLPARENT;
            style |= WS_CLIPCHILDREN;
            break;
        }
        const HWND window = CreateWindowExW(
            exStyle, windowClass, win32::WidenForDisplay(control.caption).c_str(), style, 0, 0, 0,
            0, container, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), Instance(), nullptr);
        controls_.push_back({&control, window});
    }
    std::vector<Annotation> annotations;
    for (const Placed& placed : controls_) {
        std::vector<Annotation> more = AnnotationsFor(*placed.control, placed.window);
        annotations.insert(annotations.end(), more.begin(), more.end());
    }
    // Where the system takes no annotations, the window still works; a screen reader then hears
    // the standard controls alone.
    Annotate(annotations);
}

void frmZelIns::arrangeTabOrder() {
    // Tab goes through a container's controls in their Z order, first to last: stack them the
    // way the tab order lists them.
    std::map<HWND, HWND> placedLast; // container -> its control stacked last so far
    for (const char* name : form::TabOrder()) {
        const HWND control = Control(name);
        const HWND container = GetParent(control);
        const auto previous = placedLast.find(container);
        SetWindowPos(control, previous == placedLast.end() ? HWND_TOP : previous->second, 0, 0, 0,
                     0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        placedLast[container] = control;
    }
}

void frmZelIns::applyDpi(UINT dpi) {
    if (!window_)
        return;
    const SIZE size = windowSizeFor(dpi);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    Font formFont(NewFont(form::kFormFont, dpi));
    Font headingFont(NewFont(form::kHeadingFont, dpi));
    for (const Placed& placed : controls_) {
        const form::TwipsBox& box = placed.control->box;
        MoveWindow(placed.window, Pixels(box.left, dpi), Pixels(box.top, dpi),
                   Pixels(box.width, dpi), Pixels(box.height, dpi), TRUE);
        const HFONT font = placed.control->heading ? headingFont.get() : formFont.get();
        SendMessageW(placed.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    // The old fonts go only now that no control draws with them.
    formFont_ = std::move(formFont);
    headingFont_ = std::move(headingFont);
}

SIZE frmZelIns::windowSizeFor(UINT dpi) const {
    RECT frame{0, 0, Pixels(form::kClientArea.width, dpi), Pixels(form::kClientArea.height, dpi)};
    win32::AdjustForDpi(frame, kWindowStyle, kWindowExStyle, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

const frmZelIns::Placed* frmZelIns::withId(int id) const {
    const auto index = static_cast<std::size_t>(id - kFirstControlId);
    return id >= kFirstControlId && index < controls_.size() ? &controls_[index] : nullptr;
}

HWND frmZelIns::firstTabStop() const {
    for (const char* name : form::TabOrder()) {
        const HWND control = Control(name);
        const LONG style = GetWindowLongW(control, GWL_STYLE);
        if ((style & WS_TABSTOP) && !(style & WS_DISABLED) && Shown(control, window_))
            return control;
    }
    return nullptr;
}

} // namespace zelvoset
