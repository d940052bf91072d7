#pragma once

#include "Platform.h"

namespace zelvoset {

// The platform operations on a desktop with Qt: real files, real processes, real dialogs.
class QtPlatform : public Platform {
public:
    Probe PatternHasFile(std::string_view pattern) override;
    Status DeleteMatching(std::string_view pattern) override;
    Status LaunchCommand(std::string_view script,
                         const std::vector<std::string>& arguments) override;
    int ShowMessage(std::string_view text, int style, std::string_view title = {}) override;
    std::optional<std::string> BrowseForFile(const BrowseRequest& request) override;
    Opened<InputFile> OpenForInput(std::string_view path) override;
    Opened<ReplacementFile> OpenForReplace(std::string_view path) override;
    Status ChangeDirectory(std::string_view path) override;
    std::string ProgramDirectory() override;
    std::string JoinPath(std::string_view base, std::string_view name) override;
    std::optional<Location> LocateBelow(std::string_view file, std::string_view base) override;
    void EndProgram() override;
};

} // namespace zelvoset
