// How a script of the installation is started on POSIX systems: under /bin/sh, in a terminal
// window of its own where there is a display and a terminal emulator, otherwise without a window,
// and without one too when the terminal does not confirm from inside that the script runs.
#include "Launch.h"

#include "Fd.h"
#include "Paths.h"
#include "StartedPipe.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
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

// In a forked child: tells the parent why the start failed, and ends.
[[noreturn]] void ReportAndExit(int pipe, int error) {
    (void)!write(pipe, &error, sizeof error);
    _exit(127);
}

// What the detached processes need, made before fork(): after it only async-signal-safe calls
// are allowed, since the program has other threads (Qt's).
struct Detached {
    Detached(const std::vector<std::string>& scriptCommand,
             const std::vector<std::string>& terminalCommand)
        : script(Pointers(scriptCommand)), terminal(Pointers(terminalCommand)) {
        defaults.sa_handler = SIG_DFL;
        sigemptyset(&defaults.sa_mask);
        sigemptyset(&unblocked);
    }
    static std::vector<char*> Pointers(const std::vector<std::string>& words) {
        std::vector<char*> argv;
        for (const std::string& word : words)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        return argv;
    }

    std::vector<char*> script, terminal;
    struct sigaction defaults {};
    sigset_t unblocked;
    Fd null{open("/dev/null", O_RDWR | O_CLOEXEC)};
};

// In the watcher: starts the terminal, passes a failure to start it on through `report`, and
// once the terminal runs lets the program go on. Then waits for the step's word; without it, the
// script starts without a window, as with no terminal at all.
[[noreturn]] void Watch(const Detached& with, const StartedPipe& started, int report) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int exec[2];
    if (pipe2(exec, O_CLOEXEC) != 0)
        ReportAndExit(report, errno);
    const pid_t terminal = fork();
    if (terminal == 0) {
        if (dup2(with.null.get(), STDOUT_FILENO) < 0 || dup2(with.null.get(), STDERR_FILENO) < 0)
            ReportAndExit(exec[1], errno);
        execve(with.terminal[0], with.terminal.data(), environ);
        ReportAndExit(exec[1], errno);
    }
    close(exec[1]);
    int error = terminal < 0 ? errno : 0;
    if (terminal > 0)
        while (read(exec[0], &error, sizeof error) < 0 && errno == EINTR) {
        }
    if (error != 0)
        ReportAndExit(report, error);
    close(report); // the pipe's folder is the watcher's from here on
    if (started.WaitForStart(terminal, start))
        _exit(0);
    // In a process of its own: the script is not to inherit a terminal still running as a child.
    if (fork() > 0)
        _exit(0);
    execve(with.script[0], with.script.data(), environ);
    _exit(127);
}

// Starts `script` (its first word an absolute path) with standard input at /dev/null, in a
// session of its own, in a process that init adopts: nothing waits for it and it outlives the
// program. Returns once its exec has succeeded, or with the reason it failed.
//
// With `started`, the `terminal` command (which runs the step that reports through it) is
// started instead, by a watcher that outlives the program as well. The script runs exactly
// once: in the terminal, or else without a window, started by the watcher.
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
    const Detached with(script, terminal);
    if (!with.null)
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
            (void)sigaction(sig, &with.defaults, nullptr);
        (void)sigprocmask(SIG_SETMASK, &with.unblocked, nullptr);
        if (dup2(with.null.get(), STDIN_FILENO) < 0)
            ReportAndExit(report[1], errno);
        if (started)
            Watch(with, *started, report[1]);
        execve(with.script[0], with.script.data(), environ);
        ReportAndExit(report[1], errno);
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
    // Without a pipe to confirm the start through, the script starts without a window rather than
    // perhaps not at all.
    StartedPipe started;
    if (!started)
        return StartDetached(command);
    // Debian policy's form for every x-terminal-emulator: -T TITLE, and -e PROGRAM ARGS...
    // passed on to exec word for word. The window closes when the script ends.
    std::vector<std::string> inTerminal = {
        terminal,   "-T",          found, "-e", kShell, "-c", StartedPipe::Step(kShell),
        "zelvoset", started.path()};
    inTerminal.insert(inTerminal.end(), command.begin() + 1, command.end());
    Status status = StartDetached(command, inTerminal, &started);
    if (status)
        started.Release();
    return status;
}

} // namespace zelvoset::posix
