#include "Win32Platform.h"

#include "Dialogs.h"
#include "Elevation.h"
#include "Files.h"
#include "Launch.h"
#include "Paths.h"
#include "Patterns.h"
#include "Text.h"

namespace zelvoset {

Probe Win32Platform::PatternHasFile(std::string_view pattern) {
    return win32::FindMatch(pattern);
}

Status Win32Platform::DeleteMatching(std::string_view pattern) {
    // A folder of the installation that is a link or junction to one elsewhere keeps that one's
    // files: the program may run with more rights than whoever could plant the link.
    const auto wide = win32::Widen(pattern);
    if (!wide)
        return Status::Fail(win32::SystemMessage(ERROR_INVALID_NAME));
    if (!win32::WithinCurrentFolder(win32::SplitPath(*wide).directory))
        return Status::Fail("The folder lies outside the installation folder.");
    return win32::DeleteMatches(pattern);
}

Status Win32Platform::LaunchCommand(std::string_view script,
                                    const std::vector<std::string>& arguments) {
    return win32::LaunchScript(script, arguments);
}

int Win32Platform::ShowMessage(std::string_view text, int style, std::string_view title) {
    return win32::RunMessageBox(owner_, text, style, title);
}

std::optional<std::string> Win32Platform::BrowseForFile(const BrowseRequest& request) {
    return win32::RunOpenFileDialog(owner_, request);
}

Opened<InputFile> Win32Platform::OpenForInput(std::string_view path) {
    return win32::OpenInputFile(path);
}

Status Win32Platform::ChangeDirectory(std::string_view path) {
    const auto folder = win32::Widen(path);
    if (!folder || folder->find(L'\0') != std::wstring::npos)
        return Status::Fail(win32::SystemMessage(ERROR_INVALID_NAME));
    if (!SetCurrentDirectoryW(folder->c_str()))
        return Status::Fail(win32::LastErrorMessage());
    return Status::Ok();
}

std::string Win32Platform::ProgramDirectory() {
    // A folder whose name UTF-8 cannot carry (a lone surrogate) comes back empty, which the
    // program takes as the current folder, where it is expected to have been started, rather
    // than as some other folder's name.
    return win32::Narrow(win32::SplitPath(win32::ModuleFileName()).directory).value_or("");
}

std::string Win32Platform::JoinPath(std::string_view base, std::string_view name) {
    // The installation's names already separate with '\', the system's own separator. A root
    // keeps its separator ("C:\" + "X" is "C:\X"), and "C:" stays drive-relative.
    if (base.empty() || base.ends_with('\\') || base.ends_with('/') || base.ends_with(':'))
        return std::string(base) + std::string(name);
    return std::string(base) + '\\' + std::string(name);
}

std::optional<Location> Win32Platform::LocateBelow(std::string_view file, std::string_view base) {
    return win32::LocateBelow(file, base);
}

bool Win32Platform::MayChange(std::string_view pattern, Change change) {
    return change == Change::Remove ? win32::MayRemoveMatches(pattern) : win32::MayRewrite(pattern);
}

Elevation Win32Platform::StartElevated(std::string_view folder) {
    return win32::StartElevated(owner_, folder);
}

void Win32Platform::EndProgram() {
    if (owner_)
        ShowWindow(owner_, SW_HIDE);
    if (loopRunning_) {
        PostQuitMessage(0);
        return;
    }
    // No loop yet to leave (still starting up): end here, as the caller expects. No file stays
    // open between procedures, so nothing is lost.
    ExitProcess(0);
}

} // namespace zelvoset
