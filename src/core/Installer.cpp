#include "Installer.h"

#include "DataSets.h"
#include "Detection.h"
#include "Rewrites.h"

namespace zelvoset {

bool Installer::Form_Load() {
    InstallVariant_ = DetectInstallVariant(platform_);
    bool emptyFilesEnabled = true;

    const bool initialisesAtOnce = InstallVariant_ == kVariantRW ||
                                   InstallVariant_ == kVariantRW9 || InstallVariant_ == kVariantPBS;
    if (initialisesAtOnce) {
        // Stale compiled programs must be gone before the reset script can rebuild anything.
        // A probe that fails still tries the delete; a delete that fails is skipped.
        const std::string compiled = platform_.JoinPath({}, "SVOBJ\\*.gnt");
        if (InstallVariant_ == kVariantRW9 && platform_.PatternHasFile(compiled) != Probe::None)
            (void)platform_.DeleteMatching(compiled);
        // Start-up goes on whatever the action met; the user can still finish the install.
        (void)zelvoset::cmdEmptyFiles_Click(platform_, InstallVariant_);
        emptyFilesEnabled = false;
    }

    addCOBSW(platform_, InstallVariant_);
    return emptyFilesEnabled;
}

void Installer::cmdDemoData_Click() {
    zelvoset::cmdDemoData_Click(platform_);
}

void Installer::cmdEmptyFiles_Click() {
    const Status done = zelvoset::cmdEmptyFiles_Click(platform_, InstallVariant_);
    if (!done)
        (void)platform_.ShowMessage(done.reason(), kStyleError);
}

} // namespace zelvoset
