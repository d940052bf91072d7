#pragma once

#include <windows.h>

// Where the window comes up: the program is the last step of an installer, so over the
// installer, not wherever the system puts a new window (the top left of the primary monitor).
namespace zelvoset::win32 {

// The work area (the monitor less the taskbar and docked bars) of the monitor the user looks
// at: the one of the window in front, the installer's that started the program, or the one
// under the cursor when no window is in front.
RECT StartWorkArea();
// The top left corner that centres a box of `size` on `area`; a box larger than the area
// starts at its top or left edge, so that the title bar stays within reach.
POINT CentredIn(const RECT& area, SIZE size);

} // namespace zelvoset::win32
