#pragma once

#include "Status.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvoset::win32 {

// Starts the batch file `script` of the current folder through the system's cmd.exe, in a new
// console window shown normally, with each argument reaching it as one %n. Returns once it
// runs; never waits, and keeps no handle to it.
Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments);

} // namespace zelvoset::win32
