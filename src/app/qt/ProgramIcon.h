#pragma once

#include <QIcon>

namespace zelvoset {

// The program's icon in its two drawn sizes, 16 and 32 pixels, from the embedded resources.
QIcon ProgramIcon();

// Gives the running application its name and icon; call right after creating it. Only the name,
// not a display name: Qt would append a display name to every title, and the message boxes must
// show their titles exactly as worded.
void ConfigureApplication();

} // namespace zelvoset
