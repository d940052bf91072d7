#pragma once

namespace zelvoset {

// Sets up the process before anything else runs: a file-size limit must make a write fail (and
// the rewrite keep the old file) instead of killing the program half-way. Call first in main.
void PrepareProcess();

} // namespace zelvoset
