#include "StartedPipe.h"

#include "ShownWindow.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
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
// The bound for a terminal that, when the first runs out, is still running with its window on
// the screen: it is not hanging but slow to start what it shows (kitty draws through OpenGL and
// starts its program 1.7 to 3.7 s after it was started, on this busy machine). Giving up on it
// would flash its window and run the script without one.
constexpr int kShownMilliseconds = 20000;
// How long the look at the screen may take before it counts as "no window".
constexpr int kLookMilliseconds = 2000;
// How often the watcher looks whether the terminal has ended.
constexpr int kTickMilliseconds = 20;

int MillisecondsSince(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int>((now.tv_sec - start.tv_sec) * 1000 +
                            (now.tv_nsec - start.tv_nsec) / 1000000);
}

// Whether `terminal` shows a window. The X library allocates and may take locks, which a process
// forked off a program with threads may find held for ever: so it runs in a process of its own,
// given up (as "no window") when it does not answer in time.
bool WindowShown(pid_t terminal) {
    const pid_t look = fork();
    if (look == 0)
        _exit(ShowsWindow(terminal) ? 0 : 1);
    if (look < 0)
        return false;
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int status;
    while (waitpid(look, &status, WNOHANG) == 0) {
        if (MillisecondsSince(start) >= kLookMilliseconds) {
            kill(look, SIGKILL);
            waitpid(look, nullptr, 0);
            return false;
        }
        (void)poll(nullptr, 0, kTickMilliseconds);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

StartedPipe::StartedPipe(std::size_t count) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder =
        std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/zelvoset-launch.XXXXXX";
    owned_ = true;
    for (std::size_t i = 0; i < count; ++i) {
        folders_.push_back(folder);
        if (!mkdtemp(folders_.back().data())) {
            folders_.pop_back();
            return;
        }
        paths_.push_back(folders_.back() + "/started");
        if (mkfifo(paths_.back().c_str(), 0600) != 0)
            return;
        fds_.emplace_back(open(paths_.back().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fds_.back())
            return;
    }
    made_ = true;
}

StartedPipe::~StartedPipe() {
    if (owned_)
        Remove();
}

void StartedPipe::Remove() const {
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        if (i < paths_.size())
            unlink(paths_[i].c_str());
        rmdir(folders_[i].c_str());
    }
}

std::string StartedPipe::Step(const char* shell, bool setTitle) {
    return std::string("{ printf 'started\\n' >\"$1\"; } 2>/dev/null || exit 1; ") +
           (setTitle ? "printf '\\033]0;%s\\007' \"${2##*/}\"; " : "") + "shift; exec " + shell +
           " \"$@\"";
}

StartedPipe::Outcome StartedPipe::WaitForStart(std::size_t index, pid_t terminal,
                                               const timespec& start) const {
    pollfd word{fds_[index].get(), POLLIN, 0};
    bool running = true, failed = false;
    for (int bound = kConfirmMilliseconds, left;;) {
        if ((left = bound - MillisecondsSince(start)) <= 0) {
            if (running && bound == kConfirmMilliseconds && WindowShown(terminal)) {
                bound = kShownMilliseconds;
                continue;
            }
            break;
        }
        const int ready = poll(&word, 1, running ? std::min(left, kTickMilliseconds) : left);
        if (ready > 0)
            break; // a word, or a step that left without one: told apart below
        int status;
        if (running && waitpid(terminal, &status, WNOHANG) == terminal) {
            running = false;
            // Ending with success may mean the command went to a server: its word may come yet.
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                failed = true;
                break;
            }
        }
    }
    // From here on no step can open the pipe: one that comes later fails to write its word.
    unlink(paths_[index].c_str());
    char buffer[16];
    ssize_t got = read(word.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EAGAIN) {
        // A step opened the pipe in time and writes the word next. It runs the script unless it
        // dies first, which ends its hold on the pipe without a word.
        (void)poll(&word, 1, kConfirmMilliseconds);
        got = read(word.fd, buffer, sizeof buffer);
    }
    // A step that came between the pipe's going and now made a plain file of its name, wrote
    // the word into it and runs the script. Once the folder is gone, no step can.
    if (rmdir(folders_[index].c_str()) != 0 && errno == ENOTEMPTY) {
        unlink(paths_[index].c_str());
        rmdir(folders_[index].c_str());
        return Outcome::kStarted;
    }
    if (got != 0)
        return Outcome::kStarted;
    return failed ? Outcome::kFailed : Outcome::kSilent;
}

} // namespace zelvoset::posix
