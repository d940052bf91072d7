#include "DataSets.h"

#include "ConfigFiles.h"
#include "Wildcard.h"

namespace zelvoset {
namespace {

constexpr const char* kCompanyFile = "SYCMPF.DAT";

// Starts a script, turning a failure into the words the user will read.
Status Launch(Platform& platform, std::string_view script,
              std::vector<std::string> arguments = {}) {
    Status started = platform.LaunchCommand(script, arguments);
    if (started)
        return started;
    return Status::Fail(std::string(script) + " could not be started: " + started.reason());
}

Status SetUpCompany(Platform& platform) {
    const std::string chosen =
        GenericBrowse(platform, ".\\", kCompanyFile, "DAT", "Browse for Company File",
                      "Company file (SYCMPF.DAT)|SYCMPF.DAT");
    if (chosen.empty())
        return Status::Ok();
    const auto directory = CompanyDirectory(platform, chosen);
    if (!directory)
        return Status::Fail("The company file must be SYCMPF.DAT in a folder below the "
                            "installation folder, empty files cannot be initialized");
    return Launch(platform, "Zelvoset.bat", {*directory});
}

} // namespace

void InstallDemoData(Platform& platform) {
    if (!platform.LaunchCommand("svreset.bat", {}))
        (void)platform.ShowMessage("Svreset batch file missing, demo data cannot be installed",
                                   kStyleError);
}

Status InstallEmptyDataFiles(Platform& platform, std::optional<Layout> layout) {
    if (!layout) {
        (void)platform.ShowMessage("Required file missing, empty files cannot be initialized",
                                   kStyleError);
        return Status::Ok();
    }
    switch (*layout) {
    case Layout::CP:
        return SetUpCompany(platform);
    case Layout::PBS:
        CleanOutSQPATH(platform);
        if (Status started = Launch(platform, "svpath.bat"); !started)
            return started;
        return Launch(platform, "vlkreset.bat", {"nowarning"});
    case Layout::RW:
    case Layout::RW9:
        return Launch(platform, "vlkreset.bat", {"nowarning"});
    }
    return Status::Ok();
}

std::string GenericBrowse(Platform& platform, std::string_view InitDir,
                          std::string_view theFileName, std::string_view fileExtension,
                          std::string_view theTitle, std::string_view theFilter) {
    // ".\" is written the installation's way: the current directory at the time of the call.
    const auto chosen = platform.BrowseForFile(
        {std::string(theTitle), platform.JoinPath({}, InitDir), std::string(theFileName),
         std::string(fileExtension), std::string(theFilter)});
    // Browsing may have moved the current directory; the scripts expect the installation's.
    (void)platform.ChangeDirectory(platform.ProgramDirectory());
    return chosen.value_or("");
}

std::optional<std::string> CompanyDirectory(Platform& platform, std::string_view chosenFile) {
    // Real folders, not character counts: links, "." and ".." must not fool the comparison.
    const auto location = platform.LocateBelow(chosenFile, platform.ProgramDirectory());
    // A pattern without wildcards matches exactly that name, in any letter case.
    if (!location || !WildcardMatch(kCompanyFile, location->name))
        return std::nullopt;
    return location->folder;
}

} // namespace zelvoset
