#pragma once

#include "Status.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvoset::posix {

// Starts `script` of the current directory (found without regard to case) under /bin/sh with
// each argument passed as exactly one, detached: in a terminal window of its own where there is
// a display and a terminal emulator, otherwise without a window. Returns once the script or its
// terminal runs. A terminal that fails, or does not run the script within a few seconds, is
// given up and the script started without a window instead, exactly once in every case.
Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments);

} // namespace zelvoset::posix
