#include "Rights.h"

#include "ConfigFiles.h"

namespace zelvoset {
namespace {

void KeepRefused(Platform& platform, const std::vector<std::string>& names,
                 std::vector<std::string>& refused) {
    for (const std::string& name : names)
        if (!platform.MayChange(ProgramFile(platform, name), Change::Rewrite))
            refused.push_back(name);
}

} // namespace

std::vector<std::string> RecoveryRefused(Platform& platform) {
    std::vector<std::string> refused;
    KeepRefused(platform, FilesToRecover(platform), refused);
    return refused;
}

std::vector<std::string> StartupRefused(Platform& platform, std::optional<Layout> InstallVariant) {
    std::vector<std::string> refused;
    if (const auto compiled = CompiledProgramsToRemove(platform, InstallVariant);
        compiled && !platform.MayChange(*compiled, Change::Remove))
        refused.emplace_back(kCompiledPrograms);
    KeepRefused(platform, FilesToRewrite(platform, InstallVariant), refused);
    return refused;
}

void TellOfRefusal(Platform& platform, const std::vector<std::string>& names) {
    if (names.empty())
        return;
    std::string list;
    for (const std::string& name : names)
        list += "\r\n    " + (name == kCompiledPrograms ? "the .gnt files in SVOBJ" : name);
    (void)platform.ShowMessage("The installation is not finished: you do not have the right to "
                               "change these files in " +
                                   platform.ProgramDirectory() +
                                   ", so they were left as they were:\r\n" + list +
                                   "\r\n\r\nTo finish it, start Zelvoset in that folder again "
                                   "as an administrator, or as a user who may change these files.",
                               kStyleWarning);
}

} // namespace zelvoset
