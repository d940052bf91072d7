#pragma once

#include "Platform.h"
#include "Status.h"

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

// Wildcard probes and deletion, matched by the program's own rules on the long names only.
namespace zelvoset::win32 {

// Whether an ordinary file matches: not a folder, not hidden, not a system file.
Probe FindMatch(std::string_view pattern);
// Calls `visit` with the full path of each ordinary file that matches, until it returns false.
// Returns the error of a listing that could not be read to its end, or 0.
DWORD ForEachFile(std::string_view pattern, const std::function<bool(const std::wstring&)>& visit);
// Deletes every ordinary file that matches; fails when none matched or one could not go.
Status DeleteMatches(std::string_view pattern);

} // namespace zelvoset::win32
