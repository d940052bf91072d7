#pragma once

#include <windows.h>

// The resolution the window is drawn at. The program runs from Windows 7 SP1 on, built against
// that version's headers; the per-monitor calls of Windows 10 (1607) are looked up at run time.
namespace zelvoset::win32 {

// Sent before a per-monitor window moves to a monitor of another DPI (Windows 10 1703 on);
// named only by the headers of that version.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// The DPI of the window's monitor where the system tells it per window, else the system's.
UINT DpiOf(HWND window);
// Grows a client box to the window's outer box at `dpi`.
void AdjustForDpi(RECT& box, DWORD style, DWORD exStyle, UINT dpi);

} // namespace zelvoset::win32
