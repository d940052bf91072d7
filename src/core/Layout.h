#pragma once

#include "Platform.h"

#include <optional>

namespace zelvoset {

// The four installation layouts. An installation shows none of them when no marker was found,
// so a layout is held as std::optional<Layout>.
enum class Layout { RW, RW9, PBS, CP };

// Works out the layout from the marker files of the current directory. Every probe runs, the
// last hit wins, and a probe that fails counts as a hit.
std::optional<Layout> DetectInstallVariant(Platform& platform);

} // namespace zelvoset
