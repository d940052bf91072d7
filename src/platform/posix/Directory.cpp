#include "Directory.h"

#include "Fd.h"
#include "Wildcard.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvoset::posix {
namespace {

// Regular files and links to them count; hidden names, directories and devices never do. The
// entry's own type spares a stat for the common case of a plain file.
bool IsOrdinary(const Directory& dir, const dirent& entry) {
    if (entry.d_name[0] == '.')
        return false;
    if (entry.d_type == DT_REG)
        return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return fstatat(dir.fd(), entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

// Calls `visit(name)` for each ordinary file of `directory` matching `pattern`, until it
// returns false. Returns the errno of a directory that could not be read to its end, or 0.
template <class Visit>
int ForEachMatch(const std::string& directory, std::string_view pattern, Visit visit) {
    Directory dir(directory);
    if (dir.error())
        return dir.error();
    while (const dirent* entry = dir.Next()) {
        if (entry->d_type == DT_DIR || !WildcardMatch(pattern, entry->d_name))
            continue;
        if (IsOrdinary(dir, *entry) && !visit(dir.fd(), entry->d_name))
            return 0;
    }
    return dir.error();
}

} // namespace

bool IsMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

bool IsRefusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// The entry of `directory` equal to `name` without regard to case; the smallest in byte order
// when there are several, so the choice does not depend on the order of the directory.
std::optional<std::string> FindIgnoringCase(const std::string& directory, const std::string& name,
                                            bool& failed) {
    Directory dir(directory);
    std::optional<std::string> best;
    while (const dirent* entry = dir.Next()) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0 && (!best || *best > entry->d_name))
            best = entry->d_name;
    }
    if (dir.error() && !IsMissing(dir.error()))
        failed = true;
    return best;
}

Probe FindMatch(const std::string& directory, std::string_view pattern) {
    bool found = false;
    const int error = ForEachMatch(directory, pattern, [&](int, const char*) {
        found = true;
        return false;
    });
    if (found)
        return Probe::Found;
    return error && !IsMissing(error) ? Probe::Failed : Probe::None;
}

Status DeleteMatches(const std::string& directory, std::string_view pattern) {
    bool matched = false;
    int failure = 0;
    const int error = ForEachMatch(directory, pattern, [&](int fd, const char* name) {
        matched = true;
        if (unlinkat(fd, name, 0) != 0 && !failure)
            failure = errno;
        return true;
    });
    if (failure)
        return Status::Fail(Reason(failure));
    if (error && (matched || !IsMissing(error)))
        return Status::Fail(Reason(error));
    if (!matched)
        return Status::Fail("No matching file");
    return Status::Ok();
}

bool MayRemoveMatches(const std::string& directory, std::string_view pattern) {
    const std::string folder = directory.empty() ? "." : directory;
    struct stat dir;
    if (stat(folder.c_str(), &dir) != 0)
        return true;
    const bool mayEnter = access(folder.c_str(), W_OK | X_OK) == 0 || !IsRefusal(errno);
    const uid_t user = geteuid();
    bool may = true;
    (void)ForEachMatch(folder, pattern, [&](int fd, const char* name) {
        struct stat st;
        // Root passes the sticky bit; anyone else must own the file or the directory.
        const bool sticky = (dir.st_mode & S_ISVTX) && user != 0 && dir.st_uid != user &&
                            fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_uid != user;
        may = mayEnter && !sticky;
        return may;
    });
    return may;
}

} // namespace zelvoset::posix
