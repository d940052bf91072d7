#include "Process.h"

#include <csignal>

namespace zelvoset {

void PrepareProcess() {
    // Without this a file-size limit kills the program in the middle of a rewrite; ignored, the
    // write fails with EFBIG and the old file stays.
    std::signal(SIGXFSZ, SIG_IGN);
    // Started as `Zelvoset 2>&1 | true`, Qt's first warning would end the program; ignored,
    // the write to the closed pipe fails quietly and the program goes on.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace zelvoset
