#pragma once

#include "Platform.h"
#include "Status.h"

#include <string_view>

// Wildcard probes and deletion, matched by the program's own rules on the long names only.
namespace zelvoset::win32 {

// Whether an ordinary file matches: not a folder, not hidden, not a system file.
Probe FindMatch(std::string_view pattern);
// Deletes every ordinary file that matches; fails when none matched or one could not go.
Status DeleteMatches(std::string_view pattern);

} // namespace zelvoset::win32
