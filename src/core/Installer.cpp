#include "Installer.h"

#include "ConfigFiles.h"
#include "DataSets.h"
#include "Rights.h"

#include <algorithm>

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
    // What this user may not change is known before anything is: started without the rights
    // (an MSI's last action runs unelevated, even in a per-machine install), the program asks
    // to start again with them rather than fail step after step in silence. The recovery writes
    // too, so its files are looked at before it runs, and the rest once the layout is known.
    std::vector<std::string> refused = RecoveryRefused(platform_);
    const bool asked = !refused.empty();
    if (asked && StartedAgainElevated())
        return true;
    // Then: a file a crash left mixed must not be read, by the detection or anyone.
    RecoverInterruptedRewrites(platform_);
    InstallVariant_ = DetectInstallVariant(platform_);
    for (std::string& name : StartupRefused(platform_, InstallVariant_))
        if (std::find(refused.begin(), refused.end(), name) == refused.end())
            refused.push_back(std::move(name));
    // The user is asked once: a prompt declined is not put again.
    if (!asked && !refused.empty() && StartedAgainElevated())
        return true;
    bool emptyFilesEnabled = true;

    if (InitialisesAtOnce(InstallVariant_)) {
        // Stale compiled programs must be gone before the reset script can rebuild anything.
        // A probe that fails still tries the delete; a delete that fails is skipped.
        const auto compiled = CompiledProgramsToRemove(platform_, InstallVariant_);
        if (compiled)
            (void)platform_.DeleteMatching(*compiled);
        // Start-up goes on whatever the action met; the user can still finish the install.
        (void)InstallEmptyDataFiles(platform_, InstallVariant_);
        emptyFilesEnabled = false;
    }

    addCOBSW(platform_, InstallVariant_);
    // Without the rights, and without a new start that has them (declined, or elevated
    // already), what could be done is done; the window must not say "complete" unchallenged.
    TellOfRefusal(platform_, refused);
    return emptyFilesEnabled;
}

bool Installer::StartedAgainElevated() {
    if (platform_.StartElevated(platform_.ProgramDirectory()) != Elevation::Started)
        return false;
    cmdExit_Click();
    return true;
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
