#include "QtPlatform.h"

#include "FileDialog.h"
#include "MessageBox.h"
#include "Paths.h"
#include "QtPaths.h"

#include <QApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace zelvoset {
namespace {

// A name as it is spelled on disk, found without regard to case.
std::string OnDisk(std::string_view path) {
    return posix::ResolveCase(path).path;
}

} // namespace

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
    const auto real = posix::RealPath(start);
    std::string directory = real.value_or(start);
    posix::Fd held;
    const bool aliased = real && !SpelledByQt(*real);
    if (aliased) {
        held = posix::OpenDirectory(*real);
        if (held)
            directory = "/proc/self/fd/" + std::to_string(held.get());
    }
    auto chosen = RunOpenFileDialog(shown, ToQt(directory));
    if (chosen && held && chosen->starts_with(directory + "/"))
        chosen = *real + chosen->substr(directory.size());
    return chosen;
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
