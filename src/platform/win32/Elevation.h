#pragma once

#include "Platform.h"

#include <windows.h>

#include <string_view>

// Rights: whether this user may change the installation's files, and a start of the program
// with an administrator's rights where Windows can give them.
namespace zelvoset::win32 {

// Whether the system's security lets this user open the file for writing. A read-only file,
// which no rewrite touches, is no refusal; nor is one that is missing or held by another program.
bool MayRewrite(std::string_view path);
// Whether this user may delete every ordinary file that matches (read-only ones aside, which
// are never deleted).
bool MayRemoveMatches(std::string_view pattern);

// Starts the program's own executable again with the verb "runas" in `folder`, so that Windows
// asks for consent or an administrator's password; owned by `owner` while it asks.
Elevation StartElevated(HWND owner, std::string_view folder);

} // namespace zelvoset::win32
