#pragma once

#include "Platform.h"
#include "Status.h"

#include <dirent.h>
#include <optional>
#include <string>
#include <string_view>

// Listing a directory the way the probes need it.
namespace zelvoset::posix {

// Missing is "nothing there"; any other error means the directory could not be looked at.
bool IsMissing(int error);
// What the system says when the user lacks the right, or the file system takes no change.
bool IsRefusal(int error);

// QDir and QDirIterator neither report a directory that cannot be read nor skip the stat of a
// plain file, and they list before they filter; the probes need all three (a failed probe is a
// hit for detection, and a directory of 100,000 files must cost no more than it has to).
class Directory {
public:
    explicit Directory(const std::string& path) : dir_(opendir(path.empty() ? "." : path.c_str())) {
        error_ = dir_ ? 0 : errno;
    }
    ~Directory() {
        if (dir_)
            closedir(dir_);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    int error() const { return error_; }
    int fd() const { return dirfd(dir_); }
    // The next entry, or nullptr at the end or on an error (then error() tells which).
    const dirent* Next() {
        if (!dir_)
            return nullptr;
        errno = 0;
        const dirent* entry = readdir(dir_);
        if (!entry)
            error_ = errno;
        return entry;
    }

private:
    DIR* dir_;
    int error_;
};

// Whether `directory` (already resolved) holds an ordinary file matching the DOS-style
// `pattern`: a regular file or a link to one, not hidden.
Probe FindMatch(const std::string& directory, std::string_view pattern);
// Deletes every ordinary file of `directory` matching `pattern`; fails when none matched.
Status DeleteMatches(const std::string& directory, std::string_view pattern);

// Whether this user's rights let them remove every ordinary file of `directory` that matches
// `pattern`: write and search in the directory, and in a sticky one, the file or the directory
// their own. True when nothing matches or the directory cannot be looked at.
bool MayRemoveMatches(const std::string& directory, std::string_view pattern);

// The entry of `directory` equal to `name` without regard to case; the smallest in byte order
// when there are several, so the choice does not depend on the order of the directory.
std::optional<std::string> FindIgnoringCase(const std::string& directory, const std::string& name,
                                            bool& failed);

} // namespace zelvoset::posix
