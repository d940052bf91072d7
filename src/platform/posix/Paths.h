#pragma once

#include "Fd.h"
#include "Platform.h"
#include "Status.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

// Paths as the system spells them, byte for byte: Qt decodes every name as UTF-8 and loses any
// other, so the platform looks names up, resolves links and lists directories itself.
namespace zelvoset::posix {

// The installation's texts separate with '\'; the system takes '/'.
inline std::string ToSlashes(std::string_view path) {
    std::string slashed(path);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return slashed;
}

// A '/'-separated path with every existing component spelled as it is on disk, each found
// without regard to letter case, an exact-case name winning. Components that do not exist are
// kept as given. `failed` when a directory on the way exists but could not be searched.
struct Resolved {
    std::string path;
    bool failed = false;
};
Resolved ResolveCase(std::string_view path);

// Whether `directory` (already resolved) holds an ordinary file matching the DOS-style
// `pattern`: a regular file or a link to one, not hidden.
Probe FindMatch(const std::string& directory, std::string_view pattern);
// Deletes every ordinary file of `directory` matching `pattern`; fails when none matched.
Status DeleteMatches(const std::string& directory, std::string_view pattern);
// The absolute path with every link, "." and ".." resolved; nullopt when it does not exist.
std::optional<std::string> RealPath(const std::string& path);
// Whether anything, a dangling link included, is at the path.
bool Exists(const std::string& path);
// Whether a resolved path names an ordinary file.
Probe IsOrdinaryFile(const std::string& path);
// Removes one file.
Status RemoveFile(const std::string& path);

// The directory of the running program, as the system spells it; nullopt without /proc.
std::optional<std::string> ExecutableDirectory();
Status ChangeDirectory(const std::string& path);
// The folder of a '/'-separated path ("." for a bare name, "/" for the root's own files), and its
// last component.
std::string DirectoryOf(const std::string& file);
std::string NameOf(const std::string& file);

// The directory, opened for reading its entries; closed descriptor when it cannot be.
Fd OpenDirectory(const std::string& path);

} // namespace zelvoset::posix
