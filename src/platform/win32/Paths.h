#pragma once

#include "Platform.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// Native paths: '\' separators, drive letters, names without letter case.
namespace zelvoset::win32 {

// A path of the program's as the system takes it: exact, free of NUL, and in the "\\?\" form
// once it is too long for the classic limit, so that a deep installation still works.
// nullopt: no file can have this name.
std::optional<std::wstring> SystemPath(std::string_view path);
std::wstring LongPathSafe(std::wstring path);

// The absolute form: a relative path is taken from the current directory, "." and ".." by name.
std::wstring FullPath(const std::wstring& path);
// The path of an open file or folder with every link on the way resolved, as the system spells
// it ("\\?\C:\..."). `given` is the path it was opened by: where the system cannot tell, its
// full form stands in, unless it is itself a link (then nullopt).
std::optional<std::wstring> FinalPath(HANDLE handle, const std::wstring& given);
// Without the "\\?\" prefix that resolved paths carry.
std::wstring WithoutPrefix(std::wstring path);

// A path's last component and the folder before it. The folder keeps a root's own separator
// ("C:\", "\"), and a bare drive stays drive-relative ("C:").
struct PathParts {
    std::wstring directory;
    std::wstring name;
};
PathParts SplitPath(std::wstring_view path);
// `name` inside `directory`; an empty directory is the current one.
std::wstring JoinNative(std::wstring_view directory, std::wstring_view name);

// The full path of the running program, however long.
std::wstring ModuleFileName();

// Where `file` lies below `base`: see Platform::LocateBelow.
std::optional<Location> LocateBelow(std::string_view file, std::string_view base);

} // namespace zelvoset::win32
