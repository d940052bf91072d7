// How a script of the installation is started on POSIX systems.
#include "os.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace zelvoset::os {
namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

// Signals the program ignores for itself (SIGXFSZ, and whatever it inherited) would stay
// ignored across exec. Qt 6.4's startDetached() does not run the child process modifier, so
// the dispositions are set back to default around the start, on the one thread that launches.
class DefaultSignals {
public:
    DefaultSignals() {
        for (int sig = 1; sig < NSIG; ++sig) {
            struct sigaction old {};
            if (sig == SIGKILL || sig == SIGSTOP || sigaction(sig, nullptr, &old) != 0)
                continue;
            if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN) {
                std::signal(sig, SIG_DFL);
                ignored_.push_back(sig);
            }
        }
    }
    ~DefaultSignals() {
        for (int sig : ignored_)
            std::signal(sig, SIG_IGN);
    }
    DefaultSignals(const DefaultSignals&) = delete;
    DefaultSignals& operator=(const DefaultSignals&) = delete;

private:
    std::vector<int> ignored_;
};

} // namespace

Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments) {
    const Resolved found = ResolveCase(script);
    struct stat st;
    if (stat(found.path.c_str(), &st) != 0)
        return Status::Fail(Reason(errno));
    if (!S_ISREG(st.st_mode))
        return Status::Fail(Reason(S_ISDIR(st.st_mode) ? EISDIR : EACCES));

    // Through /bin/sh, so a script needs neither a run bit nor a "#!" line; "./" keeps a name
    // starting with '-' from being read as an option of the shell.
    QStringList shellArguments{QFile::decodeName(
        QByteArray::fromStdString(found.path.starts_with('/') ? found.path : "./" + found.path))};
    for (const auto& argument : arguments)
        shellArguments << QFile::decodeName(QByteArray::fromStdString(argument));

    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments(shellArguments);
    process.setWorkingDirectory(QDir::currentPath());
    process.setStandardInputFile(QProcess::nullDevice());
    // startDetached() forks twice and calls setsid(): the script is in its own session and
    // outlives the program, and the call returns without waiting for it.
    const DefaultSignals defaults;
    if (!process.startDetached())
        return Status::Fail(process.errorString().toStdString());
    return Status::Ok();
}

} // namespace zelvoset::os
