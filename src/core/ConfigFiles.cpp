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

// Every file a rewrite may have been cut short on, whatever the layout: the layout itself is told
// by files that such a crash may have left mixed.
constexpr const char* kRewrittenFiles[] = {"SQPATH.DAT", "SQMENU.DAT", "SYNRUN.SYN", "RW.BAT"};

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

// A backup that still holds a file's old contents is the one thing the user must hear of, even
// where a failure would otherwise pass in silence.
void TellOfBackup(Platform& platform, const RewriteResult& result, bool recovering = false) {
    if (result.backupLeft.empty())
        return;
    const std::string& file = result.location;
    const std::string& backup = result.backupLeft;
    const std::string restore = "; copy that file over it to restore them.";
    std::string text;
    if (result.status)
        text = "The file " + file + " was rewritten, but the copy of its old contents in " +
               backup + " could not be removed.";
    else if (recovering && result.restored)
        text = "A rewrite of the file " + file +
               " was interrupted. Its old contents were put back, but the copy of them in " +
               backup + " could not be removed (" + result.status.reason() + ").";
    else if (recovering)
        text = "A rewrite of the file " + file +
               " was interrupted, and its old contents could not be put back (" +
               result.status.reason() + "). They are kept in " + backup + restore;
    else
        text = "The file " + file + " could not be rewritten (" + result.status.reason() +
               "). Its old contents are kept in " + backup + restore;
    (void)platform.ShowMessage(text, kStyleWarning, kModificationTitle);
}

// A rewrite of one of the installation's files, with the user told of a backup left.
Status Rewrite(Platform& platform, const std::string& path, const std::vector<std::string>& head,
               std::string_view dropPrefix) {
    RewriteResult result =
        RewriteLines(platform.Files(), path, platform.ProgramDirectory(), head, dropPrefix);
    TellOfBackup(platform, result);
    return std::move(result.status);
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
        (void)Rewrite(platform, path, {}, pass.prefix);
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
    const Status written = Rewrite(platform, path, head, /*dropPrefix*/ {});
    // Silence here would leave the user believing the line is in place.
    if (!written)
        WarnManualEdit(platform, *file);
}

std::vector<std::string> FilesToRecover(Platform& platform) {
    std::vector<std::string> names;
    for (const char* name : kRewrittenFiles) {
        // A backup kept in the temporary folder is not looked for: it was made where the file's
        // own folder took no new file, and its recovery writes the file as a rewrite would.
        if (platform.PatternHasFile(ProgramFile(platform, name)) == Probe::Found &&
            platform.PatternHasFile(ProgramFile(platform, BackupPattern(name))) == Probe::Found)
            names.emplace_back(name);
    }
    return names;
}

std::vector<std::string> FilesToRewrite(Platform& platform, std::optional<Layout> InstallVariant) {
    std::vector<std::string> names;
    const auto exists = [&](const char* name) {
        return platform.PatternHasFile(ProgramFile(platform, name)) == Probe::Found;
    };
    // As CleanOutSQPATH: no path file, no pass at all.
    if (InstallVariant == Layout::PBS && exists("SQPATH.DAT")) {
        names.emplace_back("SQPATH.DAT");
        if (exists("SQMENU.DAT"))
            names.emplace_back("SQMENU.DAT");
    }
    // As addCOBSW: a file that holds the line is left alone, one that cannot be read is not.
    if (const StartupFile* file = StartupFileFor(InstallVariant);
        file && exists(file->name) &&
        !FindLine(platform, ProgramFile(platform, file->name), file->line).found)
        names.emplace_back(file->name);
    return names;
}

std::optional<std::string> CompiledProgramsToRemove(Platform& platform,
                                                    std::optional<Layout> InstallVariant) {
    if (InstallVariant != Layout::RW9)
        return std::nullopt;
    std::string compiled = platform.JoinPath({}, kCompiledPrograms);
    if (platform.PatternHasFile(compiled) == Probe::None)
        return std::nullopt;
    return compiled;
}

void RecoverInterruptedRewrites(Platform& platform) {
    for (const char* name : kRewrittenFiles) {
        const std::string path = ProgramFile(platform, name);
        if (platform.PatternHasFile(path) != Probe::Found)
            continue;
        TellOfBackup(platform, RecoverFile(platform.Files(), path, platform.ProgramDirectory()),
                     /*recovering*/ true);
    }
}

} // namespace zelvoset
