#pragma once

#include <QIcon>

namespace zelvoset {

// The program's icon in its two drawn sizes, 16 and 32 pixels, from the embedded resources.
QIcon ProgramIcon();

} // namespace zelvoset
