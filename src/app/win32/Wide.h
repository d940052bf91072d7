#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zelvoset {

// Text is UTF-8 inside the program and UTF-16 at every call of the system.
inline std::wstring Wide(std::string_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

} // namespace zelvoset
