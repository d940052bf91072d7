#pragma once

#include <functional>
#include <string>

namespace zelvoset::testing {

// How a child process should be constrained before it runs its work.
struct ChildLimits {
    long long fileSizeLimit = -1; // RLIMIT_FSIZE in bytes; -1 leaves it unlimited
    bool unprivileged = false;    // drop to nobody, so that permissions apply even under root
};

// How the child ended.
struct ChildEnd {
    bool exitedNormally = false;
    int exitCode = -1;
    int signal = 0;
    std::string Describe() const;
};

// Runs `work` in a forked child prepared as the program prepares itself, under `limits`.
ChildEnd RunInChild(const ChildLimits& limits, const std::function<void()>& work);

// The uid and gid of the unprivileged account the children drop to (nobody, nogroup).
inline constexpr int kUnprivileged = 65534;

} // namespace zelvoset::testing
