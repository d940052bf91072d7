#pragma once

#include <string_view>

namespace zelvoset {

// A modal message box in one of the classic styles (16, 48, 36); returns the classic answer
// value (OK 1, Yes 6, No 7). No title shows the application's.
int RunMessageBox(std::string_view text, int style, std::string_view title);

} // namespace zelvoset
