#include "ChildProcess.h"

#include "Process.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvoset::testing {

std::string ChildEnd::Describe() const {
    if (exitedNormally)
        return "exit code " + std::to_string(exitCode);
    return "killed by signal " + std::to_string(signal);
}

ChildEnd RunInChild(const ChildLimits& limits, const std::function<void()>& work) {
    const pid_t pid = fork();
    if (pid == 0) {
        PrepareProcess();
        if (limits.fileSizeLimit >= 0) {
            const rlim_t limit = static_cast<rlim_t>(limits.fileSizeLimit);
            const rlimit bound{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &bound) != 0)
                _exit(90);
        }
        if (limits.unprivileged && (setgid(kUnprivileged) != 0 || setuid(kUnprivileged) != 0))
            _exit(91);
        work();
        _exit(0);
    }
    ChildEnd end;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return end;
    if (WIFEXITED(status)) {
        end.exitedNormally = true;
        end.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    return end;
}

} // namespace zelvoset::testing
