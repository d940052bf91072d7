#include "Paths.h"

#include "Directory.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelvoset::posix {
namespace {

std::string Join(const std::string& base, std::string_view name) {
    if (base.empty())
        return std::string(name);
    return base.ends_with('/') ? base + std::string(name) : base + '/' + std::string(name);
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

std::string DirectoryOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

std::string NameOf(const std::string& file) {
    return file.substr(file.rfind('/') + 1);
}

Fd OpenDirectory(const std::string& path) {
    return Fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

} // namespace zelvoset::posix
