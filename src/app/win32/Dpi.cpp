#include "Dpi.h"

namespace zelvoset::win32 {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// A USER32 function of a later Windows, or nullptr where this one lacks it.
template <typename Function> Function Later(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(user32, name)))
                  : nullptr;
}

UINT SystemDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

} // namespace

UINT DpiOf(HWND window) {
    static const auto getDpiForWindow = Later<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    return SystemDpi();
}

void AdjustForDpi(RECT& box, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi = Later<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    if (adjustForDpi && adjustForDpi(&box, style, FALSE, exStyle, dpi))
        return;
    // Before Windows 10 the title bar and borders keep the system's size on every monitor
    // (Windows 8.1 scales only the client area of a per-monitor window).
    AdjustWindowRectEx(&box, style, FALSE, exStyle);
}

} // namespace zelvoset::win32
