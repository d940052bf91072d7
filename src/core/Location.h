#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelvoset {

// Where a chosen file lies below a directory: its folder relative to that directory, written the
// way the platform's own programs take a relative path, and the file's own name as on disk.
struct Location {
    std::string folder;
    std::string name;
};

// Whether a chosen file's own name can be a file's name at all: not empty, "." or "..", and no
// wildcard, which a lookup would take as a pattern.
bool IsPlainFileName(std::string_view name);
// The part of `folder` below `base`, both already resolved to real paths with `separator`
// between components, when `folder` lies strictly below `base`: the base itself is not below
// it, and "C:\APPX" is not below "C:\APP". `samePrefix` compares two spellings of a path the way
// the system does (letter case counts on Linux, not on Windows).
std::optional<std::string> FolderBelow(std::string_view folder, std::string_view base,
                                       char separator,
                                       bool (*samePrefix)(std::string_view, std::string_view));

} // namespace zelvoset
