#pragma once

#include "Layout.h"
#include "Platform.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvoset {

// The path of one of the installation's configuration files, which always lie beside the program.
std::string ProgramFile(Platform& platform, std::string_view name);

// Removes the "00SV" lines from SQPATH.DAT and then the "TB" lines from SQMENU.DAT. A missing
// SQPATH.DAT ends the whole procedure. Reports nothing, unless a pass ends with a backup of the
// old contents left: a pass that cannot be done otherwise leaves its file as it was.
void CleanOutSQPATH(Platform& platform);

// Puts back the old contents of every installation file whose rewrite was cut short, from the
// backup it left, before anything else reads them. A backup that cannot be put back is named to
// the user.
void RecoverInterruptedRewrites(Platform& platform);

// The names of the files that RecoverInterruptedRewrites would write: those with a backup of an
// interrupted rewrite beside them.
std::vector<std::string> FilesToRecover(Platform& platform);
// The names of the files that start-up's rewrites would change for the layout: the path and
// menu files for PBS, the start-up file that lacks its line for CP and RW9; those that exist.
std::vector<std::string> FilesToRewrite(Platform& platform, std::optional<Layout> InstallVariant);

// The compiled programs RW9's start-up removes before its reset script rebuilds them.
inline constexpr const char* kCompiledPrograms = "SVOBJ\\*.gnt";
// Their pattern, when start-up removes them for the layout: a probe that fails still tries.
std::optional<std::string> CompiledProgramsToRemove(Platform& platform,
                                                    std::optional<Layout> InstallVariant);

// Makes sure the layout's start-up file sets COBSW, asking the user before editing it.
void addCOBSW(Platform& platform, std::optional<Layout> InstallVariant);

} // namespace zelvoset
