#pragma once

#include "Platform.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// The system's message box and Open dialog, modal to `owner` (none: nullptr).
namespace zelvoset::win32 {

// Returns the answer as the core counts it; a question closed without one is a No.
int RunMessageBox(HWND owner, std::string_view text, int style, std::string_view title);
// The chosen file's full path; nullopt on cancel or when the dialog failed.
std::optional<std::string> RunOpenFileDialog(HWND owner, const BrowseRequest& request);

// "description|pattern|..." as the dialog takes it: each part ending in NUL, and one more NUL
// at the end. A description without its pattern is left out.
std::wstring DialogFilter(std::string_view filter);

} // namespace zelvoset::win32
