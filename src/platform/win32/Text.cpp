#include "Text.h"

#include <climits>

namespace zelvoset::win32 {
namespace {

std::optional<std::wstring> ToWide(std::string_view utf8, DWORD flags) {
    if (utf8.empty())
        return std::wstring();
    if (utf8.size() > INT_MAX)
        return std::nullopt;
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, wide.data(), length) != length)
        return std::nullopt;
    return wide;
}

} // namespace

std::optional<std::wstring> Widen(std::string_view utf8) {
    return ToWide(utf8, MB_ERR_INVALID_CHARS);
}

std::wstring WidenForDisplay(std::string_view utf8) {
    return ToWide(utf8, 0).value_or(std::wstring());
}

std::optional<std::string> Narrow(std::wstring_view wide) {
    if (wide.empty())
        return std::string();
    if (wide.size() > INT_MAX)
        return std::nullopt;
    const int size = static_cast<int>(wide.size());
    const DWORD flags = WC_ERR_INVALID_CHARS;
    const int length =
        WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::nullopt;
    std::string utf8(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, utf8.data(), length, nullptr,
                            nullptr) != length)
        return std::nullopt;
    return utf8;
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    LocalFree(text);
    // The system ends its messages with CR LF (and sometimes a blank); the sentence's own
    // period stays, so every reason reads the same way.
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    if (message.empty())
        return "Error " + std::to_string(error) + ".";
    return Narrow(message).value_or("Error " + std::to_string(error) + ".");
}

} // namespace zelvoset::win32
