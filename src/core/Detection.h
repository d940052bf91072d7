#pragma once

#include "Platform.h"

#include <string>

namespace zelvoset {

// The layout codes an installation can have; empty when no marker was found.
inline constexpr const char* kVariantRW = "RW";
inline constexpr const char* kVariantRW9 = "RW9";
inline constexpr const char* kVariantPBS = "PBS";
inline constexpr const char* kVariantCP = "CP";

// Works out the layout from the marker files of the current directory. Every probe runs, the
// last hit wins, and a probe that fails counts as a hit.
std::string DetectInstallVariant(Platform& platform);

} // namespace zelvoset
