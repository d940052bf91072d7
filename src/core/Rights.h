#pragma once

#include "Layout.h"
#include "Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvoset {

// The names of the installation's files, as its texts write them, that start-up would change and
// this user may not: the files a recovery would write back, those a rewrite of the layout would
// change and, for RW9, the compiled programs it would remove. Found before any of it is done, so
// that a program without the rights can be started again with them before it has changed a byte.
std::vector<std::string> RecoveryRefused(Platform& platform);
std::vector<std::string> StartupRefused(Platform& platform, std::optional<Layout> InstallVariant);

// Tells the user, once start-up is over, what it could not change and how to finish.
void TellOfRefusal(Platform& platform, const std::vector<std::string>& names);

} // namespace zelvoset
