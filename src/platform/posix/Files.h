#pragma once

#include "Platform.h"

#include <string>

namespace zelvoset {

// Whole-file access for the line-file rewrites. `path` is '/'-separated and already spelled as
// on disk.
Opened<InputFile> OpenInputFile(const std::string& path);
Opened<ReplacementFile> OpenReplacementFile(const std::string& path);

} // namespace zelvoset
