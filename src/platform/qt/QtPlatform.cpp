#include "QtPlatform.h"

#include "FileDialog.h"
#include "Files.h"
#include "MessageBox.h"
#include "Paths.h"
#include "Wildcard.h"
#include "os.h"

#include <QApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

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
    return os::ResolveCase(path).path;
}

// A literal name: the one file it resolves to, exact case first.
Probe ProbeLiteral(std::string_view path) {
    const os::Resolved resolved = os::ResolveCase(path);
    const Probe probe = os::IsOrdinaryFile(resolved.path);
    return probe == Probe::None && resolved.failed ? Probe::Failed : probe;
}

} // namespace

Probe QtPlatform::PatternHasFile(std::string_view pattern) {
    const PatternParts parts = Split(pattern);
    if (!HasWildcard(parts.name))
        return ProbeLiteral(pattern);
    const os::Resolved directory = os::ResolveCase(parts.directory);
    const Probe probe = os::FindMatch(directory.path, parts.name);
    return probe == Probe::None && directory.failed ? Probe::Failed : probe;
}

Status QtPlatform::DeleteMatching(std::string_view pattern) {
    const PatternParts parts = Split(pattern);
    if (HasWildcard(parts.name))
        return os::DeleteMatches(os::ResolveCase(parts.directory).path, parts.name);
    // A literal name deletes the one file it resolves to, not every spelling of it.
    const std::string path = OnDisk(pattern);
    if (os::IsOrdinaryFile(path) != Probe::Found)
        return Status::Fail("No matching file");
    return os::RemoveFile(path);
}

Status QtPlatform::LaunchCommand(std::string_view script,
                                 const std::vector<std::string>& arguments) {
    return os::LaunchScript(ToSlashes(script), arguments);
}

int QtPlatform::ShowMessage(std::string_view text, int style, std::string_view title) {
    return RunMessageBox(text, style, title);
}

std::optional<std::string> QtPlatform::BrowseForFile(const BrowseRequest& request) {
    // "" is the current directory at the time of the call, whatever it is then.
    const std::string start = OnDisk(request.initDir.empty() ? "." : request.initDir);
    BrowseRequest shown = request;
    // The dialog takes a proposed name literally: propose "sycmpf.dat" where that is how the
    // installation spells SYCMPF.DAT, or accepting the proposal finds no file.
    if (!request.fileName.empty()) {
        const std::string proposed = OnDisk(JoinPath(start, request.fileName));
        shown.fileName = proposed.substr(proposed.rfind('/') + 1);
    }
    // The dialog speaks QString, which holds only UTF-8 names. A start directory spelled
    // otherwise (a Latin-1 "é") is shown through the system's name for an open directory, which
    // is plain ASCII, and that name is swapped back for the directory's own in the answer.
    const auto real = os::RealPath(start);
    std::string directory = real.value_or(start);
    os::Fd held;
    const bool aliased = real && !SpelledByQt(*real);
    if (aliased) {
        held = os::Fd(open(real->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (held)
            directory = "/proc/self/fd/" + std::to_string(held.get());
    }
    auto chosen = RunOpenFileDialog(shown, ToQt(directory));
    if (chosen && held && chosen->starts_with(directory + "/"))
        chosen = *real + chosen->substr(directory.size());
    return chosen;
}

Opened<InputFile> QtPlatform::OpenForInput(std::string_view path) {
    return OpenInputFile(OnDisk(path));
}

Opened<ReplacementFile> QtPlatform::OpenForReplace(std::string_view path) {
    // The same resolution as for reading: a "sqpath.dat" is rewritten under its own name.
    return OpenReplacementFile(OnDisk(path));
}

Status QtPlatform::ChangeDirectory(std::string_view path) {
    return os::ChangeDirectory(OnDisk(path));
}

std::string QtPlatform::ProgramDirectory() {
    // The system's own bytes: applicationDirPath() decodes the name as UTF-8 and comes back
    // empty for any other, which made every file "beside the program" a file of "/". Read once:
    // the program does not move, and every file beside it asks again.
    static const std::string directory =
        os::ExecutableDirectory().value_or(FromQt(QCoreApplication::applicationDirPath()));
    return directory;
}

std::string QtPlatform::JoinPath(std::string_view base, std::string_view name) {
    if (base.empty())
        return ToSlashes(name);
    return std::string(base) + (base.ends_with('/') ? "" : "/") + ToSlashes(name);
}

std::optional<Location> QtPlatform::LocateBelow(std::string_view file, std::string_view base) {
    const std::string path = OnDisk(file);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const auto realFolder = os::RealPath(folder);
    const auto realBase = os::RealPath(OnDisk(base));
    if (name.empty() || name == "." || name == ".." || !realFolder || !realBase ||
        !os::Exists(*realFolder + "/" + name))
        return std::nullopt;
    const std::string prefix = realBase->ends_with('/') ? *realBase : *realBase + '/';
    if (realFolder->size() <= prefix.size() || !realFolder->starts_with(prefix))
        return std::nullopt;
    return Location{realFolder->substr(prefix.size()), name};
}

void QtPlatform::EndProgram() {
    QApplication::closeAllWindows();
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::quit();
        return;
    }
    // No event loop yet to leave (still starting up): end here, as the caller expects. No file
    // stays open between procedures, so nothing is lost by skipping the static destructors,
    // which would run while the application object still lives on main's stack.
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace zelvoset
