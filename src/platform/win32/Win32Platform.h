#pragma once

#include "Files.h"
#include "Platform.h"

#include <windows.h>

namespace zelvoset {

// The platform operations on Windows, in plain Win32: UTF-8 inside, wide characters at every
// system call, native paths with '\'.
//
// The window tells it two things:
// - SetOwnerWindow(main window) once the window exists: boxes and the Open dialog are then
//   modal to it. Until then they have no owner and hold the whole program (task modal).
// - SetMessageLoopRunning(true) just before its GetMessage loop, false after it. EndProgram
//   then hides the window and posts WM_QUIT, so the loop ends and main returns; before the
//   loop runs there is nothing to leave, and EndProgram ends the process at once.
class Win32Platform : public Platform {
public:
    Probe PatternHasFile(std::string_view pattern) override;
    Status DeleteMatching(std::string_view pattern) override;
    Status LaunchCommand(std::string_view script,
                         const std::vector<std::string>& arguments) override;
    int ShowMessage(std::string_view text, int style, std::string_view title = {}) override;
    std::optional<std::string> BrowseForFile(const BrowseRequest& request) override;
    Opened<InputFile> OpenForInput(std::string_view path) override;
    FileStore& Files() override { return store_; }
    Status ChangeDirectory(std::string_view path) override;
    std::string ProgramDirectory() override;
    std::string JoinPath(std::string_view base, std::string_view name) override;
    std::optional<Location> LocateBelow(std::string_view file, std::string_view base) override;
    bool MayChange(std::string_view pattern, Change change) override;
    Elevation StartElevated(std::string_view folder) override;
    void EndProgram() override;

    void SetOwnerWindow(HWND owner) { owner_ = owner; }
    void SetMessageLoopRunning(bool running) { loopRunning_ = running; }

private:
    win32::Store store_;
    HWND owner_ = nullptr;
    bool loopRunning_ = false;
};

} // namespace zelvoset
