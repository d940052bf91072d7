#include "Paths.h"

#include "Handle.h"
#include "Text.h"

#include <algorithm>

namespace zelvoset::win32 {
namespace {

// Two spellings of a path, compared the way NTFS compares names.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
    const auto wideA = Widen(a);
    const auto wideB = Widen(b);
    return wideA && wideB &&
           CompareStringOrdinal(wideA->data(), static_cast<int>(wideA->size()), wideB->data(),
                                static_cast<int>(wideB->size()), TRUE) == CSTR_EQUAL;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Calls `get(buffer, size)` with a growing buffer until the whole result fits. `get` returns the
// length written, or the size needed when the buffer was too small, or 0 on failure.
template <class Get> std::optional<std::wstring> Grown(Get get) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = get(buffer.data(), size);
        if (length == 0)
            return std::nullopt;
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(std::max<std::size_t>(length + 1, buffer.size() * 2));
    }
    return std::nullopt;
}

// A folder opened as itself, links on the way resolved: the spelling the system stores.
std::optional<std::wstring> ResolvedFolder(const std::wstring& folder) {
    const Handle handle(CreateFileW(LongPathSafe(folder).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    const auto path = FinalPath(handle.get(), LongPathSafe(folder));
    if (!path)
        return std::nullopt;
    return WithoutPrefix(*path);
}

} // namespace

std::optional<std::wstring> SystemPath(std::string_view path) {
    auto wide = Widen(path);
    if (!wide || wide->find(L'\0') != std::wstring::npos)
        return std::nullopt;
    return LongPathSafe(std::move(*wide));
}

std::wstring LongPathSafe(std::wstring path) {
    // 248 is the shortest of the classic limits (a folder's name must leave room for 8.3).
    constexpr std::size_t kClassicLimit = 248;
    if (path.size() < kClassicLimit || path.starts_with(LR"(\\?\)") || path.starts_with(LR"(\\.\)"))
        return path;
    const std::wstring full = FullPath(path);
    if (full.starts_with(LR"(\\)"))
        return LR"(\\?\UNC\)" + full.substr(2);
    return LR"(\\?\)" + full;
}

std::wstring FullPath(const std::wstring& path) {
    return Grown([&](wchar_t* buffer, DWORD size) {
               return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
           })
        .value_or(path);
}

std::optional<std::wstring> FinalPath(HANDLE handle, const std::wstring& given) {
    auto final = Grown([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    if (final)
        return final;
    // Wine 8 fails here for any path longer than MAX_PATH (ERROR_MORE_DATA, however large the
    // buffer), as do some network file systems. The full path differs from the resolved one
    // only where a link lies on the way; one at the end would be replaced instead of its target.
    const DWORD own = GetFileAttributesW(given.c_str());
    if (own == INVALID_FILE_ATTRIBUTES || (own & FILE_ATTRIBUTE_REPARSE_POINT))
        return std::nullopt;
    return FullPath(given);
}

std::wstring WithoutPrefix(std::wstring path) {
    if (path.starts_with(LR"(\\?\UNC\)"))
        return LR"(\\)" + path.substr(8);
    if (path.starts_with(LR"(\\?\)"))
        return path.substr(4);
    return path;
}

PathParts SplitPath(std::wstring_view path) {
    std::size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring_view::npos) {
        // "C:NAME" is NAME in drive C's current folder.
        if (path.size() >= 2 && path[1] == L':')
            return {std::wstring(path.substr(0, 2)), std::wstring(path.substr(2))};
        return {{}, std::wstring(path)};
    }
    std::wstring directory(path.substr(0, cut));
    // A root keeps its separator: "C:" alone would mean drive C's current folder.
    if (directory.empty() || directory.back() == L':')
        directory = path.substr(0, cut + 1);
    return {std::move(directory), std::wstring(path.substr(cut + 1))};
}

std::wstring JoinNative(std::wstring_view directory, std::wstring_view name) {
    if (directory.empty() || IsSeparator(directory.back()) || directory.back() == L':')
        return std::wstring(directory) + std::wstring(name);
    return std::wstring(directory) + L'\\' + std::wstring(name);
}

std::wstring ModuleFileName() {
    // GetModuleFileNameW truncates silently and returns the buffer's size when it does.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0)
            return {};
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<Location> LocateBelow(std::string_view file, std::string_view base) {
    const auto widePath = Widen(file);
    const auto wideBase = Widen(base);
    if (!widePath || !wideBase)
        return std::nullopt;
    const PathParts parts = SplitPath(*widePath);
    const auto typedName = Narrow(parts.name);
    if (!typedName || !IsPlainFileName(*typedName))
        return std::nullopt;
    const auto folder = ResolvedFolder(parts.directory.empty() ? L"." : parts.directory);
    const auto root = ResolvedFolder(wideBase->empty() ? L"." : *wideBase);
    if (!folder || !root)
        return std::nullopt;

    // The file's own entry, not what a link of it points to; it gives the name as on disk.
    WIN32_FIND_DATAW entry;
    const FindHandle found(FindFirstFileExW(LongPathSafe(JoinNative(*folder, parts.name)).c_str(),
                                            FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                            0));
    const auto narrowFolder = Narrow(*folder);
    const auto narrowRoot = Narrow(*root);
    auto name = Narrow(entry.cFileName);
    if (!found || !narrowFolder || !narrowRoot || !name)
        return std::nullopt;
    // Folder names match without regard to case, as the file system matches them.
    auto relative = FolderBelow(*narrowFolder, *narrowRoot, '\\', SameIgnoringCase);
    if (!relative)
        return std::nullopt;
    return Location{std::move(*relative), std::move(*name)};
}

} // namespace zelvoset::win32
