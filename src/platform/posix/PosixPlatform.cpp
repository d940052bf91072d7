#include "PosixPlatform.h"

#include "Directory.h"
#include "Files.h"
#include "Launch.h"
#include "Paths.h"
#include "Rewrite.h"
#include "Wildcard.h"

namespace zelvoset {
namespace {

// A pattern's directory and its last component, which alone may hold wildcards.
struct PatternParts {
    std::string directory;
    std::string name;
};

PatternParts Split(std::string_view pattern) {
    const std::string path(pattern);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {{}, path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A name as it is spelled on disk, found without regard to case.
std::string OnDisk(std::string_view path) {
    return posix::ResolveCase(path).path;
}

// A literal name: the one file it resolves to, exact case first.
Probe ProbeLiteral(std::string_view path) {
    const posix::Resolved resolved = posix::ResolveCase(path);
    const Probe probe = posix::IsOrdinaryFile(resolved.path);
    return probe == Probe::None && resolved.failed ? Probe::Failed : probe;
}

// Whether a folder, every link on the way resolved, is the current folder or lies below it.
bool WithinCurrentFolder(const std::string& directory) {
    const auto real = posix::RealPath(directory.empty() ? "." : directory);
    const auto here = posix::RealPath(".");
    if (!real || !here)
        return false;
    return *real == *here || real->starts_with(here->ends_with('/') ? *here : *here + '/');
}

} // namespace

Probe PosixPlatform::PatternHasFile(std::string_view pattern) {
    const PatternParts parts = Split(pattern);
    if (!HasWildcard(parts.name))
        return ProbeLiteral(pattern);
    const posix::Resolved directory = posix::ResolveCase(parts.directory);
    const Probe probe = posix::FindMatch(directory.path, parts.name);
    return probe == Probe::None && directory.failed ? Probe::Failed : probe;
}

Status PosixPlatform::DeleteMatching(std::string_view pattern) {
    const PatternParts parts = Split(pattern);
    // A folder of the installation that is a link to one elsewhere keeps that one's files: the
    // program may run with more rights than whoever could plant the link.
    const std::string directory = posix::ResolveCase(parts.directory).path;
    if (!WithinCurrentFolder(directory))
        return Status::Fail("The folder lies outside the installation folder");
    if (HasWildcard(parts.name))
        return posix::DeleteMatches(directory, parts.name);
    // A literal name deletes the one file it resolves to, not every spelling of it.
    const std::string path = OnDisk(pattern);
    if (posix::IsOrdinaryFile(path) != Probe::Found)
        return Status::Fail("No matching file");
    return posix::RemoveFile(path);
}

bool PosixPlatform::MayChange(std::string_view pattern, Change change) {
    const PatternParts parts = Split(pattern);
    const std::string directory = posix::ResolveCase(parts.directory).path;
    if (change == Change::Remove)
        return posix::MayRemoveMatches(directory, parts.name);
    // The rewrite replaces the file it resolves to; a name with wildcards is none of its.
    return HasWildcard(parts.name) || posix::MayRewrite(OnDisk(pattern));
}

Status PosixPlatform::LaunchCommand(std::string_view script,
                                    const std::vector<std::string>& arguments) {
    return posix::LaunchScript(posix::ToSlashes(script), arguments);
}

Opened<InputFile> PosixPlatform::OpenForInput(std::string_view path) {
    return OpenInputFile(OnDisk(path));
}

Status PosixPlatform::ChangeDirectory(std::string_view path) {
    return posix::ChangeDirectory(OnDisk(path));
}

std::string PosixPlatform::ProgramDirectory() {
    // The system's own bytes: a toolkit's idea of it decodes the name as UTF-8 and comes back
    // empty for any other, which made every file "beside the program" a file of "/". Read once:
    // the program does not move, and every file beside it asks again.
    static const std::string directory = posix::ExecutableDirectory().value_or(".");
    return directory;
}

std::string PosixPlatform::JoinPath(std::string_view base, std::string_view name) {
    if (base.empty())
        return posix::ToSlashes(name);
    return std::string(base) + (base.ends_with('/') ? "" : "/") + posix::ToSlashes(name);
}

std::optional<Location> PosixPlatform::LocateBelow(std::string_view file, std::string_view base) {
    const std::string path = OnDisk(file);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (!IsPlainFileName(name))
        return std::nullopt;
    const auto realFolder = posix::RealPath(folder);
    const auto realBase = posix::RealPath(OnDisk(base));
    if (!realFolder || !realBase || !posix::Exists(*realFolder + "/" + name))
        return std::nullopt;
    // Names are bytes here: a folder spelled in other letters is another folder.
    auto below = FolderBelow(*realFolder, *realBase, '/',
                             [](std::string_view a, std::string_view b) { return a == b; });
    if (!below)
        return std::nullopt;
    return Location{std::move(*below), name};
}

} // namespace zelvoset
