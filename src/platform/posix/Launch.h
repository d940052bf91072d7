#pragma once

#include "Status.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvoset::posix {

// Starts `script` of the current directory (found without regard to case) under /bin/sh with
// each argument passed as exactly one, detached, and returns once it runs: in a terminal window
// of its own where there is a display and a terminal emulator, otherwise without a window.
Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments);

} // namespace zelvoset::posix
