#pragma once

namespace zelvoset {

// The application's title: the main window's caption, and the title of a box given none.
inline constexpr const char* kApplicationTitle = "Zelvo Install";

} // namespace zelvoset
