// The POSIX side of the platform's file work: directory scanning, case-blind lookups, the
// program's and the current directory as bytes, and the read-only rule of a rewrite. The
// rewrite itself is in rewrite_posix.cpp, starting scripts in launch_posix.cpp.
#include "Process.h"
#include "os.h"

#include "Wildcard.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelvoset {

void PrepareProcess() {
    // Without this a file-size limit kills the program in the middle of a rewrite; ignored, the
    // write fails with EFBIG and the old file stays.
    std::signal(SIGXFSZ, SIG_IGN);
    // Started as `Zelvoset 2>&1 | true`, Qt's first warning would end the program; ignored,
    // the write to the closed pipe fails quietly and the program goes on.
    std::signal(SIGPIPE, SIG_IGN);
}

namespace os {

std::string Reason(int error) {
    return std::strerror(error);
}

namespace {

// Missing is "nothing there"; any other error means the directory could not be looked at.
bool IsMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

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

std::string Join(const std::string& base, std::string_view name) {
    if (base.empty())
        return std::string(name);
    return base.ends_with('/') ? base + std::string(name) : base + '/' + std::string(name);
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

} // namespace

Resolved ResolveCase(std::string_view path) {
    Resolved out;
    if (path.starts_with('/'))
        out.path = "/";
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = std::min(path.find('/', pos), path.size());
        const std::string part(path.substr(pos, slash - pos));
        pos = slash + 1;
        if (part.empty())
            continue;
        const std::string exact = Join(out.path, part);
        struct stat st;
        if (part == "." || part == ".." || lstat(exact.c_str(), &st) == 0) {
            out.path = exact;
            continue;
        }
        const auto found = FindIgnoringCase(out.path, part, out.failed);
        out.path = Join(out.path, found ? *found : part);
        if (!found) {
            // Nothing further can exist below a missing name: keep the rest as it was given.
            if (pos < path.size())
                out.path = Join(out.path, path.substr(pos));
            break;
        }
    }
    return out;
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

std::optional<std::string> RealPath(const std::string& path) {
    // realpath() rather than Qt's canonical paths: those decode the bytes of a name, which need
    // not be UTF-8, and come back empty for such a name.
    char* real = realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (!real)
        return std::nullopt;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

Status RemoveFile(const std::string& path) {
    if (unlink(path.c_str()) != 0)
        return Status::Fail(Reason(errno));
    return Status::Ok();
}

std::optional<std::string> ExecutableDirectory() {
    std::string link(256, '\0');
    for (;;) {
        const ssize_t size = readlink("/proc/self/exe", link.data(), link.size());
        if (size < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(size) < link.size()) {
            link.resize(static_cast<std::size_t>(size));
            break;
        }
        link.resize(link.size() * 2);
    }
    const std::size_t slash = link.rfind('/');
    if (slash == std::string::npos)
        return std::nullopt;
    return slash == 0 ? "/" : link.substr(0, slash);
}

std::optional<std::string> CurrentDirectory() {
    char* current = getcwd(nullptr, 0);
    if (!current)
        return std::nullopt;
    std::string path(current);
    std::free(current);
    return path;
}

Status ChangeDirectory(const std::string& path) {
    if (chdir(path.empty() ? "." : path.c_str()) != 0)
        return Status::Fail(Reason(errno));
    return Status::Ok();
}

Probe IsOrdinaryFile(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name =
        slash == std::string::npos ? path : std::string_view(path).substr(slash + 1);
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return IsMissing(errno) ? Probe::None : Probe::Failed;
    return S_ISREG(st.st_mode) && !name.starts_with('.') ? Probe::Found : Probe::None;
}

Status CheckReplaceable(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return Status::Fail(Reason(errno));
    if (S_ISDIR(st.st_mode))
        return Status::Fail(Reason(EISDIR));
    if (!S_ISREG(st.st_mode))
        return Status::Fail("Not a regular file");
    // The owner write bit is the POSIX read-only attribute; root would otherwise write anyway.
    if (!(st.st_mode & S_IWUSR))
        return Status::Fail("The file is read-only");
    if (access(path.c_str(), W_OK) != 0)
        return Status::Fail(Reason(errno));
    return Status::Ok();
}

} // namespace os
} // namespace zelvoset
