#include "ConfigFiles.h"

#include "LineFile.h"

namespace zelvoset {
namespace {

constexpr const char* kModificationTitle = "File modification required";

struct StartupFile {
    const char* name;
    const char* line;
    bool echoOff; // a batch file must keep "@echo off" on top
};

const StartupFile* StartupFileFor(std::optional<Layout> layout) {
    static constexpr StartupFile kSynrun{"SYNRUN.SYN", "COBSW=-F", false};
    static constexpr StartupFile kRwBat{"RW.BAT", "SET COBSW=-F", true};
    if (!layout)
        return nullptr;
    switch (*layout) {
    case Layout::CP:
        return &kSynrun;
    case Layout::RW9:
        return &kRwBat;
    case Layout::RW:
    case Layout::PBS:
        return nullptr;
    }
    return nullptr;
}

void WarnManualEdit(Platform& platform, const StartupFile& file) {
    (void)platform.ShowMessage(std::string("You will need to manually add the line ") + file.line +
                                   " to the " + file.name +
                                   " file in order for Zelvo to function properly.  Please refer "
                                   "to the installation instructions.",
                               kStyleWarning, kModificationTitle);
}

} // namespace

std::string ProgramFile(Platform& platform, std::string_view name) {
    return platform.JoinPath(platform.ProgramDirectory(), name);
}

void CleanOutSQPATH(Platform& platform) {
    struct Pass {
        const char* name;
        std::string_view prefix;
    };
    static constexpr Pass kPasses[] = {{"SQPATH.DAT", "00SV"}, {"SQMENU.DAT", "TB"}};
    for (const auto& pass : kPasses) {
        const std::string path = ProgramFile(platform, pass.name);
        // A path file that is missing, or cannot even be probed, means there is nothing to clean.
        if (platform.PatternHasFile(path) != Probe::Found)
            return;
        // Compared from the first byte and case included: " 00SV" and "00sv" lines are kept.
        // A pass that fails leaves its file untouched and the next pass still runs.
        (void)RewriteLines(platform, path, {}, pass.prefix);
    }
}

void addCOBSW(Platform& platform, std::optional<Layout> InstallVariant) {
    const StartupFile* file = StartupFileFor(InstallVariant);
    if (!file)
        return;
    const std::string path = ProgramFile(platform, file->name);
    if (platform.PatternHasFile(path) != Probe::Found)
        return;

    // A file that cannot be read gives no proof that the line is there, so the user is asked.
    if (FindLine(platform, path, file->line).found)
        return;

    const int answer = platform.ShowMessage(
        std::string("The ") + file->name + " file needs the line " + file->line +
            " added in order for Zelvo to function properly.\r\n\r\n"
            "Do you want this procedure to automatically add the required line?",
        kStyleQuestion, kModificationTitle);
    if (answer == kAnswerNo) {
        WarnManualEdit(platform, *file);
        return;
    }

    std::vector<std::string> head;
    if (file->echoOff)
        head.emplace_back("@echo off");
    head.emplace_back(file->line);
    // The line goes on top, ahead of the file's own lines, even an existing "@echo off".
    const Status written = RewriteLines(platform, path, head, /*dropPrefix*/ {});
    // Silence here would leave the user believing the line is in place.
    if (!written)
        WarnManualEdit(platform, *file);
}

} // namespace zelvoset
