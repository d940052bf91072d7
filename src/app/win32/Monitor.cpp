#include "Monitor.h"

#include <algorithm>

namespace zelvoset::win32 {

RECT StartWorkArea() {
    HMONITOR monitor = nullptr;
    if (const HWND front = GetForegroundWindow())
        monitor = MonitorFromWindow(front, MONITOR_DEFAULTTONEAREST);
    POINT cursor{};
    if (!monitor && GetCursorPos(&cursor))
        monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    return info.rcWork;
}

POINT CentredIn(const RECT& area, SIZE size) {
    return {std::max(area.left, area.left + (area.right - area.left - size.cx) / 2),
            std::max(area.top, area.top + (area.bottom - area.top - size.cy) / 2)};
}

} // namespace zelvoset::win32
