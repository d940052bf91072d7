#pragma once

#include "Files.h"
#include "Platform.h"

namespace zelvoset {

// Everything the installer asks of Linux but the boxes and the dialog: real files, probes,
// rewrites and processes, with the path bytes the system gave. A desktop toolkit adds the rest.
class PosixPlatform : public Platform {
public:
    Probe PatternHasFile(std::string_view pattern) override;
    Status DeleteMatching(std::string_view pattern) override;
    Status LaunchCommand(std::string_view script,
                         const std::vector<std::string>& arguments) override;
    Opened<InputFile> OpenForInput(std::string_view path) override;
    FileStore& Files() override { return store_; }
    Status ChangeDirectory(std::string_view path) override;
    std::string ProgramDirectory() override;
    std::string JoinPath(std::string_view base, std::string_view name) override;
    std::optional<Location> LocateBelow(std::string_view file, std::string_view base) override;
    bool MayChange(std::string_view pattern, Change change) override;
    // Linux has no elevation that a program may ask for without a tool of its own.
    Elevation StartElevated(std::string_view) override { return Elevation::Unavailable; }

private:
    posix::Store store_;
};

} // namespace zelvoset
