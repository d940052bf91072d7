#pragma once

#include <sys/types.h>

namespace zelvoset::posix {

// Whether process `pid` has a window on the screen of the X display that DISPLAY names: a
// window marked as its own (_NET_WM_PID) that is mapped, with every window above it mapped too.
// False without an X display to ask.
bool ShowsWindow(pid_t pid);

} // namespace zelvoset::posix
