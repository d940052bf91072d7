// How a script of the installation is started on POSIX systems: under /bin/sh, in a terminal
// window of its own where there is a display and a terminal emulator, otherwise without a window.
#include "Launch.h"

#include "Fd.h"
#include "Paths.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zelvoset::posix {
namespace {

constexpr const char* kShell = "/bin/sh";

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The executable file `name` in the first directory of PATH that holds one, or "". Relative
// entries are skipped: a terminal is never taken from the installation being finished.
std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string_view directories = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= directories.size();) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        const std::string directory(directories.substr(start, end - start));
        start = end + 1;
        if (!directory.starts_with('/'))
            continue;
        const std::string candidate = directory + '/' + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// The terminal emulator that gives a script its window: the desktop's choice (Debian's
// x-terminal-emulator alternative), else xterm. "" without a display to show a window on.
std::string FindTerminal() {
    const bool x11 = IsSet("DISPLAY");
    if (!x11 && !IsSet("WAYLAND_DISPLAY"))
        return {};
    if (std::string terminal = FindInPath("x-terminal-emulator"); !terminal.empty())
        return terminal;
    return x11 ? FindInPath("xterm") : std::string();
}

// Whether the shell, running as this process does, will be able to read the script: it is
// opened for reading here, as the shell will open it, instead of being judged by its mode bits.
Status CheckReadable(const std::string& path) {
    // O_NONBLOCK: a FIFO in the script's place must not hold the program up.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Status::Fail(Reason(errno));
    struct stat st;
    const bool statted = fstat(fd, &st) == 0;
    const int error = errno;
    close(fd);
    if (!statted)
        return Status::Fail(Reason(error));
    if (S_ISDIR(st.st_mode))
        return Status::Fail(Reason(EISDIR));
    if (!S_ISREG(st.st_mode))
        return Status::Fail("Not a regular file");
    return Status::Ok();
}

// How long a terminal has to run the step inside it, counted from its start, before the script
// is started without a window instead. A terminal that fails (xterm that cannot open its display)
// ends long before, with a failure, and its script starts at once; one that works reports within
// a fraction of a second (0.2 to 0.5 s for xterm on a busy machine). Only a terminal that hands
// the command on and ends with success (GNOME's and Xfce's clients) waits the whole time for a
// server that may need a second or two for a cold start. Nobody waits for it but the watcher.
constexpr int kConfirmMilliseconds = 4000;
// How often the watcher looks whether the terminal has ended.
constexpr int kTickMilliseconds = 20;

// What the terminal runs: the word through the named pipe ($1), then the script under the shell,
// with its arguments as positional parameters. Once the watcher has given up, the pipe is gone:
// the word cannot be written, and the step ends without running the script.
std::string Step() {
    return std::string("{ printf 'started\\n' >\"$1\"; } 2>/dev/null || exit 1; shift; exec ") +
           kShell + " \"$@\"";
}

// A named pipe alone in a folder of its own (mode 0700), through which the step in the terminal
// reports that it runs. Open for reading from the start, so that the step's opening for writing
// never blocks while the pipe is still there. Removed by its owner; Release() hands that over.
class StartedPipe {
public:
    StartedPipe() {
        const char* tmp = std::getenv("TMPDIR");
        folder_ = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/zelvoset-launch.XXXXXX";
        if (!mkdtemp(folder_.data())) {
            folder_.clear();
            return;
        }
        path_ = folder_ + "/started";
        if (mkfifo(path_.c_str(), 0600) == 0)
            fd_ = Fd(open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    }
    ~StartedPipe() {
        if (!folder_.empty()) {
            unlink(path_.c_str());
            rmdir(folder_.c_str());
        }
    }
    StartedPipe(const StartedPipe&) = delete;
    StartedPipe& operator=(const StartedPipe&) = delete;
    explicit operator bool() const { return static_cast<bool>(fd_); }
    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    int fd() const { return fd_.get(); }
    void Release() { folder_.clear(); }

private:
    std::string folder_, path_;
    Fd fd_;
};

// In a forked child: tells the parent why the start failed, and ends.
[[noreturn]] void ReportAndExit(int pipe, int error) {
    (void)!write(pipe, &error, sizeof error);
    _exit(127);
}

int MillisecondsSince(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int>((now.tv_sec - start.tv_sec) * 1000 +
                            (now.tv_nsec - start.tv_nsec) / 1000000);
}

// In the watcher, after fork(): async-signal-safe calls only. Whether the step in `terminal` ran
// (or can no longer be kept from running) the script. Waits for the word until the terminal
// fails or the time is up; then removes the pipe, so that a late step's word finds no pipe and
// the step ends, and looks once more for a word that came meanwhile.
bool Confirmed(const StartedPipe& started, pid_t terminal, const timespec& start) {
    pollfd word{started.fd(), POLLIN, 0};
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
    unlink(started.path().c_str());
    char buffer[16];
    ssize_t got = read(started.fd(), buffer, sizeof buffer);
    if (got < 0 && errno == EAGAIN) {
        // A step has the pipe open: it writes the word next. It runs the script unless it dies
        // first, which ends its hold on the pipe without a word.
        (void)poll(&word, 1, kConfirmMilliseconds);
        got = read(started.fd(), buffer, sizeof buffer);
    }
    rmdir(started.folder().c_str());
    return got != 0;
}

// Starts `script` (its first word an absolute path) with standard input at /dev/null, in a
// session of its own, in a process that init adopts: nothing waits for it and it outlives the
// program. Returns once its exec has succeeded, or with the reason it failed.
//
// With `terminal` (a terminal's command line that runs the step, and the pipe the step reports
// through), the terminal is started instead, by a watcher process that outlives the program as
// well. The watcher waits for the step's word and, when the terminal fails or the time is up
// without it, starts the script without a window itself: the script runs exactly once either
// way, and the program never waits for the terminal.
//
// Not QProcess::startDetached(): in Qt 6.4 it neither runs the child process modifier (signals
// that the program ignores, SIGXFSZ among them, would stay ignored in the script) nor reliably
// reports a failed exec of a detached child. Here the process reports it through a close-on-exec
// pipe, which a successful exec closes unwritten.
//
// A terminal's own output goes to /dev/null: the script writes to the terminal's window, and
// what is left (a terminal's warnings) must not reach the program's output, which may be a pipe
// nobody reads, where the first warning would kill the terminal with SIGPIPE.
Status StartDetached(const std::vector<std::string>& script,
                     const std::vector<std::string>& terminal = {},
                     const StartedPipe* started = nullptr) {
    // Everything the children need is made now: after fork() only async-signal-safe calls are
    // allowed, since the program has other threads (Qt's).
    const auto pointers = [](const std::vector<std::string>& words) {
        std::vector<char*> argv;
        for (const std::string& word : words)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        return argv;
    };
    std::vector<char*> scriptArgv = pointers(script), terminalArgv = pointers(terminal);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigset_t unblocked;
    sigemptyset(&unblocked);

    const Fd null(open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null)
        return Status::Fail("/dev/null: " + Reason(errno));
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return Status::Fail(Reason(errno));

    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        if (setsid() < 0)
            ReportAndExit(report[1], errno);
        const pid_t detached = fork();
        if (detached < 0)
            ReportAndExit(report[1], errno);
        if (detached > 0)
            _exit(0);
        // Signals the program ignores (SIGXFSZ) would stay ignored across exec: the script gets
        // them at their defaults, as a program started from a shell does. SIGKILL, SIGSTOP and
        // the C library's own signals refuse the change, unharmed.
        for (int sig = 1; sig < NSIG; ++sig)
            (void)sigaction(sig, &defaults, nullptr);
        (void)sigprocmask(SIG_SETMASK, &unblocked, nullptr);
        if (dup2(null.get(), STDIN_FILENO) < 0)
            ReportAndExit(report[1], errno);
        if (!started) {
            execve(scriptArgv[0], scriptArgv.data(), environ);
            ReportAndExit(report[1], errno);
        }

        // The watcher. The terminal's exec is reported to it first; it passes a failure on.
        const timespec start = [] {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            return now;
        }();
        int exec[2];
        if (pipe2(exec, O_CLOEXEC) != 0)
            ReportAndExit(report[1], errno);
        const pid_t shown = fork();
        if (shown == 0) {
            if (dup2(null.get(), STDOUT_FILENO) < 0 || dup2(null.get(), STDERR_FILENO) < 0)
                ReportAndExit(exec[1], errno);
            execve(terminalArgv[0], terminalArgv.data(), environ);
            ReportAndExit(exec[1], errno);
        }
        close(exec[1]);
        int error = shown < 0 ? errno : 0;
        if (shown > 0)
            while (read(exec[0], &error, sizeof error) < 0 && errno == EINTR) {
            }
        if (error != 0)
            ReportAndExit(report[1], error);
        // The terminal runs: the program may go on, and the pipe's folder is the watcher's.
        close(report[1]);
        if (Confirmed(*started, shown, start))
            _exit(0);
        // Without a window, as with no terminal at all. In a process of its own: the script is
        // not to inherit a terminal that still runs as its child.
        if (fork() > 0)
            _exit(0);
        execve(scriptArgv[0], scriptArgv.data(), environ);
        _exit(127);
    }

    const int forkError = errno;
    close(report[1]);
    if (child < 0) {
        close(report[0]);
        return Status::Fail(Reason(forkError));
    }
    // The child only forks and ends at once: reaping it is no wait for the script.
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error))
        return Status::Fail((started ? terminal : script).front() + ": " + Reason(error));
    return Status::Ok();
}

} // namespace

Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments) {
    const std::string found = ResolveCase(script).path;
    if (Status readable = CheckReadable(found); !readable)
        return readable;
    // Through /bin/sh, so a script needs neither a run bit nor a "#!" line; "./" keeps a name
    // starting with '-' from being read as an option of the shell.
    const std::string path = found.starts_with('/') ? found : "./" + found;
    std::vector<std::string> command = {kShell, path};
    command.insert(command.end(), arguments.begin(), arguments.end());

    const std::string terminal = FindTerminal();
    if (terminal.empty())
        return StartDetached(command);
    // The terminal starts the shell itself, where the report cannot see it fail: whether it can
    // is checked here, as the script's readability was.
    if (access(kShell, X_OK) != 0)
        return Status::Fail(std::string(kShell) + ": " + Reason(errno));
    // A terminal may start and then fail to open its window, or hand the command to a server
    // process that runs it later or never, passing no descriptor on. So the script's start is
    // confirmed from inside the window, through a named pipe that any process of the user can
    // open; without one, the script starts without a window rather than perhaps not at all.
    StartedPipe started;
    if (!started)
        return StartDetached(command);
    // Debian policy's form for every x-terminal-emulator: -T TITLE, and -e PROGRAM ARGS...
    // passed on to exec word for word. The window closes when the script ends.
    std::vector<std::string> inTerminal = {terminal, "-T",   found,      "-e",          kShell,
                                           "-c",     Step(), "zelvoset", started.path()};
    inTerminal.insert(inTerminal.end(), command.begin() + 1, command.end());
    Status status = StartDetached(command, inTerminal, &started);
    if (status)
        started.Release();
    return status;
}

} // namespace zelvoset::posix
