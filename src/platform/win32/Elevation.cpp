#include "Elevation.h"

#include "Handle.h"
#include "Paths.h"
#include "Patterns.h"
#include "Text.h"

#include <objbase.h>
#include <shellapi.h>

namespace zelvoset::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether opening the file for `access` is refused for want of rights.
bool Refused(const std::wstring& path, DWORD access) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    // Nothing is changed: the handle only asks the security check.
    const Handle file(CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !file && GetLastError() == ERROR_ACCESS_DENIED;
}

// Whether a "runas" start can give this program more rights than it has: not when it has them
// already, nor where User Account Control is off, which runs such a start with the same token,
// so that the new program would find itself refused and start yet another.
bool CanElevate() {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return false;
    const Handle token(opened);
    TOKEN_ELEVATION elevation{};
    DWORD size = sizeof elevation;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, size, &size) ||
        elevation.TokenIsElevated)
        return false;
    // An administrator's split token: the full one is a consent away.
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    size = sizeof type;
    if (GetTokenInformation(token.get(), TokenElevationType, &type, size, &size) &&
        type == TokenElevationTypeLimited)
        return true;
    // A standard user: Windows asks for an administrator's password, but only with User Account
    // Control on, as it is unless the policy says 0.
    DWORD lua = 1;
    size = sizeof lua;
    if (RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                     L"EnableLUA", RRF_RT_REG_DWORD, nullptr, &lua, &size) != ERROR_SUCCESS)
        lua = 1;
    return lua != 0;
}

} // namespace

bool MayRewrite(std::string_view path) {
    const auto name = SystemPath(path);
    return !name || !Refused(*name, GENERIC_WRITE);
}

bool MayRemoveMatches(std::string_view pattern) {
    bool may = true;
    (void)ForEachFile(pattern, [&](const std::wstring& file) {
        may = !Refused(file, DELETE);
        return may;
    });
    return may;
}

Elevation StartElevated(HWND owner, std::string_view folder) {
    const auto directory = Widen(folder);
    if (!directory || !CanElevate())
        return Elevation::Unavailable;
    const std::wstring program = ModuleFileName();
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof start;
    // The caller ends right after: the start must be done before this returns. Its failure is
    // told by the caller, in its own words.
    start.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    start.hwnd = owner;
    start.lpVerb = L"runas";
    start.lpFile = program.c_str();
    start.lpDirectory = directory->c_str();
    start.nShow = SW_SHOWNORMAL;
    // The shell may hand the start to an extension of its own, which wants COM on this thread.
    const HRESULT apartment =
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const bool started = ShellExecuteExW(&start);
    const DWORD error = started ? ERROR_SUCCESS : GetLastError();
    if (SUCCEEDED(apartment))
        CoUninitialize();
    if (started)
        return Elevation::Started;
    return error == ERROR_CANCELLED ? Elevation::Declined : Elevation::Unavailable;
}

} // namespace zelvoset::win32
