#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// UTF-8 inside the program, UTF-16 at every system call.
namespace zelvoset::win32 {

// Exact conversion, for what names a file: bytes that are not UTF-8 name no file at all, and
// guessing another name could touch the wrong one.
std::optional<std::wstring> Widen(std::string_view utf8);
// For what is only shown (box texts, titles): an invalid sequence shows as U+FFFD.
std::wstring WidenForDisplay(std::string_view utf8);
// A name the system gives may hold a lone surrogate, which UTF-8 cannot carry: nullopt rather
// than a different name.
std::optional<std::string> Narrow(std::wstring_view wide);

// The system's words for an error code, without the line break that ends them.
std::string SystemMessage(DWORD error);
inline std::string LastErrorMessage() {
    return SystemMessage(GetLastError());
}

} // namespace zelvoset::win32
