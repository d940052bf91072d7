#include "Installer.h"

#include "ConfigFiles.h"
#include "DataSets.h"

namespace zelvoset {
namespace {

// The layouts whose empty data files need no answer from the user, set up at every start.
bool InitialisesAtOnce(std::optional<Layout> layout) {
    if (!layout)
        return false;
    switch (*layout) {
    case Layout::RW:
    case Layout::RW9:
    case Layout::PBS:
        return true;
    case Layout::CP:
        return false;
    }
    return false;
}

} // namespace

bool Installer::Form_Load() {
    // The program lies in the installation it finishes, wherever its starter left the current
    // folder (an installer's last output folder, its own, another installation): the markers,
    // the deletion and the scripts must belong to the folder whose files are rewritten. A folder
    // that cannot be entered is a failed step like any other, and the rest runs where it is.
    (void)platform_.ChangeDirectory(platform_.ProgramDirectory());
    // Then: a file a crash left mixed must not be read, by the detection or anyone.
    RecoverInterruptedRewrites(platform_);
    InstallVariant_ = DetectInstallVariant(platform_);
    bool emptyFilesEnabled = true;

    if (InitialisesAtOnce(InstallVariant_)) {
        // Stale compiled programs must be gone before the reset script can rebuild anything.
        // A probe that fails still tries the delete; a delete that fails is skipped.
        const std::string compiled = platform_.JoinPath({}, "SVOBJ\\*.gnt");
        if (InstallVariant_ == Layout::RW9 && platform_.PatternHasFile(compiled) != Probe::None)
            (void)platform_.DeleteMatching(compiled);
        // Start-up goes on whatever the action met; the user can still finish the install.
        (void)InstallEmptyDataFiles(platform_, InstallVariant_);
        emptyFilesEnabled = false;
    }

    addCOBSW(platform_, InstallVariant_);
    return emptyFilesEnabled;
}

void Installer::cmdDemoData_Click() {
    InstallDemoData(platform_);
}

void Installer::cmdEmptyFiles_Click() {
    const Status done = InstallEmptyDataFiles(platform_, InstallVariant_);
    if (!done)
        (void)platform_.ShowMessage(done.reason(), kStyleError);
}

void Installer::cmdExit_Click() {
    if (ended_)
        return;
    ended_ = true;
    platform_.EndProgram();
}

} // namespace zelvoset
