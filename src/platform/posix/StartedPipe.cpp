#include "StartedPipe.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvoset::posix {
namespace {

// How long a terminal has to run the step, counted from its start, before the script is started
// without a window instead. A terminal that fails (xterm that cannot open its display) ends long
// before, with a failure, and its script starts at once; one that works reports within a
// fraction of a second (0.2 to 0.5 s for xterm on a busy machine). Only a terminal that neither
// runs the step nor fails waits all of it: one that hangs, or a client (GNOME's, Xfce's) that
// handed the command to a server, which may need a second or two for a cold start. Nobody waits
// for it but the watcher: the program goes on as soon as the terminal runs.
constexpr int kConfirmMilliseconds = 4000;
// How often the watcher looks whether the terminal has ended.
constexpr int kTickMilliseconds = 20;

int MillisecondsSince(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int>((now.tv_sec - start.tv_sec) * 1000 +
                            (now.tv_nsec - start.tv_nsec) / 1000000);
}

} // namespace

StartedPipe::StartedPipe() {
    const char* tmp = std::getenv("TMPDIR");
    folder_ = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/zelvoset-launch.XXXXXX";
    if (!mkdtemp(folder_.data()))
        return;
    owned_ = true;
    path_ = folder_ + "/started";
    if (mkfifo(path_.c_str(), 0600) == 0)
        fd_ = Fd(open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

StartedPipe::~StartedPipe() {
    if (owned_) {
        unlink(path_.c_str());
        rmdir(folder_.c_str());
    }
}

std::string StartedPipe::Step(const char* shell) {
    return std::string("{ printf 'started\\n' >\"$1\"; } 2>/dev/null || exit 1; shift; exec ") +
           shell + " \"$@\"";
}

bool StartedPipe::WaitForStart(pid_t terminal, const timespec& start) const {
    pollfd word{fd_.get(), POLLIN, 0};
    bool running = true;
    for (int left; (left = kConfirmMilliseconds - MillisecondsSince(start)) > 0;) {
        const int ready = poll(&word, 1, running ? std::min(left, kTickMilliseconds) : left);
        if (ready > 0)
            break; // a word, or a step that left without one: told apart below
        int status;
        if (running && waitpid(terminal, &status, WNOHANG) == terminal) {
            running = false;
            // Ending with success may mean the command went to a server: its word may come yet.
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                break;
        }
    }
    // From here on no step can open the pipe: one that comes later fails to write its word.
    unlink(path_.c_str());
    char buffer[16];
    ssize_t got = read(fd_.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EAGAIN) {
        // A step opened the pipe in time and writes the word next. It runs the script unless it
        // dies first, which ends its hold on the pipe without a word.
        (void)poll(&word, 1, kConfirmMilliseconds);
        got = read(fd_.get(), buffer, sizeof buffer);
    }
    rmdir(folder_.c_str());
    return got != 0;
}

} // namespace zelvoset::posix
