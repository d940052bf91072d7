// How a script of the installation is started on POSIX systems: under /bin/sh, in a terminal
// window of its own where there is a display and a terminal emulator, otherwise without a window,
// and without one too when the terminal does not confirm from inside that the script runs.
#include "Launch.h"

#include "Fd.h"
#include "Paths.h"
#include "StartedPipe.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <string_view>
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

// How a terminal emulator is told to open a new window, titled, that runs a program with its
// arguments, each passed on as one word. Its command is the program, then `options`, then the
// title appended to the last blank-separated word of `title` ("-T " makes two words, "-p tabtitle="
// one option's value), then `run`, then the program and its arguments.
struct TerminalForm {
    std::string_view name; // the program's own name, every link to it followed
    std::string_view options;
    std::string_view title; // "": the terminal takes its title from the step (an escape sequence)
    std::string_view run;   // "": the program comes last, after the options
    bool waylandOnly = false;
};

// Debian policy's form for every x-terminal-emulator, kept for the terminals not listed below.
constexpr TerminalForm kPolicy{"", "", "-T ", "-e"};

// The terminals that Debian registers as x-terminal-emulator, in the forms they really take.
// Where a terminal offers it, each script gets a new window in a process of its own: a request
// to a running instance would end at once, whatever became of the window.
constexpr TerminalForm kKnownTerminals[] = {
    // The policy's model, listed so that the table names every terminal it was tried with.
    {"xterm", "", "-T ", "-e"},
    // A client of a D-Bus server: --wait keeps it running until the script ends (so its end
    // says something); "--" passes the words whole, where -e would re-split one string.
    {"gnome-terminal", "--window --wait", "--title ", "--"},
    // Without its server it is its own process; -x takes the rest as words, -e one string.
    {"xfce4-terminal", "--disable-server", "-T ", "-x"},
    // GNOME's terminal's ancestor: the same, its server called a factory.
    {"mate-terminal", "--disable-factory --window", "-t ", "-x"},
    // Not a request to a running LXTerminal; its -e takes the rest as words.
    {"lxterminal", "--no-remote", "-t ", "-e"},
    // The policy's own form; a new process unless told otherwise.
    {"alacritty", "", "-T ", "-e"},
    // No -e: its program comes last, after the options.
    {"kitty", "", "--title ", ""},
    // Accepts -T and ignores it: the tab's title, which the window shows, is a profile property.
    // --separate: not a window of a Konsole already running.
    {"konsole", "--separate", "-p tabtitle=", "-e"},
    // Its -t titles a terminal inside the window, whose title shows the terminal's own title.
    {"tilix", "--new-process", "", "-e"},
    // Without D-Bus, not a request to a Terminator already running, which would join the words
    // of -e and re-split them in a shell; -x passes them whole.
    {"terminator", "--no-dbus", "-T ", "-x"},
    // Rejects -T and ends; its window shows the terminal's own title.
    {"qterminal", "", "", "-e"},
    // Wayland only: under X alone it cannot show a window.
    {"foot", "", "-T ", "", true},
};

// A terminal to try: its program and the form it takes.
struct Terminal {
    std::string path;
    const TerminalForm* form;
};

// The form of the terminal at `path`, known by its file's name; null for one not in the table.
const TerminalForm* KnownForm(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    for (const TerminalForm& form : kKnownTerminals)
        if (form.name == name)
            return &form;
    return nullptr;
}

// What `found` really is: its links followed to the program's own file. Debian's NAME.wrapper
// scripts translate the policy's options for the program NAME beside them, not always to the
// ones that title a window (Tilix's): a known program itself is run in their place.
Terminal Identify(const std::string& found) {
    char* real = realpath(found.c_str(), nullptr);
    const std::string path = real ? real : found;
    std::free(real);
    constexpr std::string_view kWrapper = ".wrapper";
    if (path.ends_with(kWrapper)) {
        const std::string program = path.substr(0, path.size() - kWrapper.size());
        if (const TerminalForm* form = KnownForm(program);
            form && access(program.c_str(), X_OK) == 0)
            return {program, form};
    }
    const TerminalForm* form = KnownForm(path);
    return {path, form ? form : &kPolicy};
}

// The terminal emulators that may give a script its window, in the order to try them: the
// desktop's choice (Debian's x-terminal-emulator alternative), then xterm. None without a
// display to show a window on, and none that cannot show one on this display.
std::vector<Terminal> FindTerminals() {
    const bool x11 = IsSet("DISPLAY"), wayland = IsSet("WAYLAND_DISPLAY");
    std::vector<Terminal> terminals;
    if (!x11 && !wayland)
        return terminals;
    for (const char* name : {"x-terminal-emulator", "xterm"}) {
        const std::string found = FindInPath(name);
        if (found.empty() || (name == std::string_view("xterm") && !x11))
            continue;
        Terminal terminal = Identify(found);
        if (terminal.form->waylandOnly && !wayland)
            continue;
        if (std::none_of(terminals.begin(), terminals.end(),
                         [&](const Terminal& tried) { return tried.path == terminal.path; }))
            terminals.push_back(std::move(terminal));
    }
    return terminals;
}

// The blank-separated words of `text`, an empty last one where it ends with a blank.
std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        words.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (start == text.size())
            words.emplace_back();
    }
    return words;
}

// `terminal` told in its own form to run `program` in a new window titled `title`.
std::vector<std::string> TerminalCommand(const Terminal& terminal, const std::string& title,
                                         const std::vector<std::string>& program) {
    std::vector<std::string> command = {terminal.path};
    for (const std::string& word : Words(terminal.form->options))
        command.push_back(word);
    if (std::vector<std::string> titled = Words(terminal.form->title); !titled.empty()) {
        titled.back() += title;
        command.insert(command.end(), titled.begin(), titled.end());
    }
    if (!terminal.form->run.empty())
        command.emplace_back(terminal.form->run);
    command.insert(command.end(), program.begin(), program.end());
    return command;
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
             const std::vector<std::vector<std::string>>& terminalCommands)
        : script(Pointers(scriptCommand)) {
        for (const std::vector<std::string>& command : terminalCommands)
            terminals.push_back(Pointers(command));
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

    std::vector<char*> script;
    std::vector<std::vector<char*>> terminals;
    struct sigaction defaults {};
    sigset_t unblocked;
    Fd null{open("/dev/null", O_RDWR | O_CLOEXEC)};
};

// In the watcher: starts terminal `index`, its output to /dev/null. Its process, or -1 with
// errno set when it could not be started.
pid_t StartTerminal(const Detached& with, std::size_t index) {
    int exec[2];
    if (pipe2(exec, O_CLOEXEC) != 0)
        return -1;
    const pid_t terminal = fork();
    if (terminal == 0) {
        if (dup2(with.null.get(), STDOUT_FILENO) < 0 || dup2(with.null.get(), STDERR_FILENO) < 0)
            ReportAndExit(exec[1], errno);
        execve(with.terminals[index][0], with.terminals[index].data(), environ);
        ReportAndExit(exec[1], errno);
    }
    close(exec[1]);
    int error = terminal < 0 ? errno : 0;
    if (terminal > 0)
        while (read(exec[0], &error, sizeof error) < 0 && errno == EINTR) {
        }
    close(exec[0]);
    if (error == 0)
        return terminal;
    if (terminal > 0)
        waitpid(terminal, nullptr, 0);
    errno = error;
    return -1;
}

// In the watcher: starts the first terminal, passes a failure to start it on through `report`,
// and once the terminal runs lets the program go on. Then waits for the step's word; a terminal
// that fails first gives way to the next. Without the word, the script starts without a window,
// as with no terminal at all.
[[noreturn]] void Watch(const Detached& with, const StartedPipe& started, int report) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t terminal = StartTerminal(with, 0);
    if (terminal < 0)
        ReportAndExit(report, errno);
    close(report); // the pipes' folder is the watcher's from here on
    for (std::size_t index = 0;; ++index) {
        const StartedPipe::Outcome outcome = started.WaitForStart(index, terminal, start);
        if (outcome == StartedPipe::Outcome::kStarted) {
            started.Remove();
            _exit(0);
        }
        if (outcome == StartedPipe::Outcome::kSilent || index + 1 == with.terminals.size())
            break;
        clock_gettime(CLOCK_MONOTONIC, &start);
        if ((terminal = StartTerminal(with, index + 1)) < 0)
            break;
    }
    started.Remove();
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
                     const std::vector<std::vector<std::string>>& terminals = {},
                     const StartedPipe* started = nullptr) {
    const Detached with(script, terminals);
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
        return Status::Fail((started ? terminals.front() : script).front() + ": " + Reason(error));
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

    const std::vector<Terminal> terminals = FindTerminals();
    if (terminals.empty())
        return StartDetached(command);
    // The terminal starts the shell itself, where the report cannot see it fail: whether it can
    // is checked here, as the script's readability was.
    if (access(kShell, X_OK) != 0)
        return Status::Fail(std::string(kShell) + ": " + Reason(errno));
    // Without pipes to confirm the start through, the script starts without a window rather than
    // perhaps not at all.
    StartedPipe started(terminals.size());
    if (!started)
        return StartDetached(command);
    // Each terminal runs the step, through a pipe of its own, which becomes the script. The
    // window closes when the script ends.
    std::vector<std::vector<std::string>> inTerminals;
    for (std::size_t i = 0; i < terminals.size(); ++i) {
        std::vector<std::string> step = {
            kShell, "-c", StartedPipe::Step(kShell, terminals[i].form->title.empty()), "zelvoset",
            started.path(i)};
        step.insert(step.end(), command.begin() + 1, command.end());
        inTerminals.push_back(TerminalCommand(terminals[i], found, step));
    }
    Status status = StartDetached(command, inTerminals, &started);
    if (status)
        started.Release();
    return status;
}

} // namespace zelvoset::posix
