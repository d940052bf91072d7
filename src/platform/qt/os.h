#pragma once

#include "Platform.h"
#include "Status.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The POSIX calls behind the Qt platform, where Qt hides what the program needs: exact path
// bytes, directory errors, owners and modes, syncs, and the way a script is started.
namespace zelvoset::os {

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

// Refuses a file that may not be replaced: not a regular file, read-only (also for a
// privileged user), or not writable by the running user.
Status CheckReplaceable(const std::string& path);
// Gives the open temporary file `fd` the owner and mode of `original`, or fails.
Status KeepIdentity(const std::string& original, int fd);
// Makes a rename within `directory` durable.
void SyncDirectory(const std::string& directory);
// Asks the system to start writing a range of an open file to disk now, without waiting, so
// that the final sync before the rename finds little left to do. A hint: it may do nothing.
void StartWriteback(int fd, long long offset, long long length);

// Starts `script` of the current directory (found without regard to case) under /bin/sh with
// each argument passed as exactly one, detached, and returns once it runs: in a terminal window
// of its own where there is a display and a terminal emulator, otherwise without a window.
Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments);

} // namespace zelvoset::os
