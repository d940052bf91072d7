#pragma once

#include "Layout.h"
#include "Platform.h"
#include "Status.h"

#include <optional>
#include <string>
#include <string_view>

namespace zelvoset {

// Launches the demonstration data script; a failure is reported to the user right here.
void InstallDemoData(Platform& platform);

// The empty data files action for the layout. A failure (a script that cannot be started, a
// company file in the wrong place) ends the action and is passed on, its reason worded for the
// user; the action itself only reports a missing layout.
Status InstallEmptyDataFiles(Platform& platform, std::optional<Layout> layout);

// Asks for one existing file. Returns its full path, or "" on cancel or any failure; either way
// the program's directory is the current directory afterwards.
std::string GenericBrowse(Platform& platform, std::string_view InitDir,
                          std::string_view theFileName, std::string_view fileExtension,
                          std::string_view theTitle, std::string_view theFilter);

// The directory of a chosen company file relative to the program's directory, in the
// platform's form ("DATA/CO2"); nullopt unless the file is SYCMPF.DAT (any letter case) in a
// directory strictly below the program's directory.
std::optional<std::string> CompanyDirectory(Platform& platform, std::string_view chosenFile);

} // namespace zelvoset
