// Real launches of scripts through /bin/sh: arguments, lookup, failures, how the script runs,
// and the terminal that shows it where there is a display.
#include "PlatformTesting.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <csignal>

namespace zelvoset::testing {
namespace {

class LaunchTest : public InTempDir {
protected:
    // No display for the scripts launched here: they start without a window. (Dialogs that the
    // test program shows on a display are connected to it already.)
    void SetUp() override {
        InTempDir::SetUp();
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    // The file a script writes last, once it is complete; "" when it never came.
    std::string WaitFor(const std::string& relative) const {
        for (int i = 0; i < 500 && !QFile::exists(QString::fromStdString(Path(relative))); ++i)
            QThread::msleep(20);
        return Read(relative);
    }
    QtPlatform platform;
};

// Writes what the script received and how it runs, one fact a line.
constexpr const char* kReportingScript = R"(
{
  echo "$#"
  for a in "$@"; do printf '[%s]\n' "$a"; done
  pwd
  readlink /proc/self/fd/0
  sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status
  cut -d' ' -f6 /proc/$$/stat
} > report.tmp
mv report.tmp report.txt
)";

TEST_F(LaunchTest, EachArgumentArrivesAsOneAndTheScriptRunsOnItsOwn) {
    struct sigaction own {};
    ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &own), 0);
    ASSERT_EQ(own.sa_handler, SIG_IGN) << "the test program ignores SIGXFSZ like the real one";

    Write("Zelvoset.bat", kReportingScript); // no run bit, no #! line
    const std::string tricky = "it's \"$HOME\" `x` * \\";
    ASSERT_TRUE(platform.LaunchCommand("ZELVOSET.BAT", {"DATA/MY CO;1", tricky}).ok());

    const QStringList report =
        QString::fromStdString(WaitFor("report.txt")).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(report.size(), 7) << report.join(u'|').toStdString();
    EXPECT_EQ(report[0], "2");
    EXPECT_EQ(report[1], "[DATA/MY CO;1]");
    EXPECT_EQ(report[2].toStdString(), "[" + tricky + "]");
    EXPECT_EQ(report[3].toStdString(), root_);
    EXPECT_EQ(report[4], "/dev/null");
    const qulonglong ignored = report[5].toULongLong(nullptr, 16);
    EXPECT_EQ(ignored & (1ull << (SIGXFSZ - 1)), 0u) << "SIGXFSZ still ignored in the script";
    EXPECT_NE(report[6].toLongLong(), static_cast<long long>(getsid(0))) << "not a new session";
}

TEST_F(LaunchTest, AScriptThatIsNotThereIsAFailureWithItsReason) {
    const Status missing = platform.LaunchCommand("vlkreset.bat", {"nowarning"});
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.reason(), "No such file or directory");

    MakeDir("svpath.bat");
    EXPECT_EQ(platform.LaunchCommand("svpath.bat", {}).reason(), "Is a directory");

    // Root reads any file: an ordinary user meets the mode, and the shell never starts.
    Write("svreset.bat", "echo ran > ran.txt\n");
    ASSERT_EQ(::chmod(Path("svreset.bat").c_str(), 0), 0);
    EXPECT_EQ(InChild([] {
                  return BecomeNobody() && QtPlatform().LaunchCommand("svreset.bat", {}).reason() ==
                                               "Permission denied";
              }),
              1);
    QThread::msleep(200);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("ran.txt"))));
}

// A stand-in terminal emulator: notes how it was called in NAME.txt, then runs the shell that
// the options lead up to, as a terminal does in its window, which is NAME.out. Shell built-ins
// only: PATH holds nothing else.
constexpr const char* kFakeTerminal = R"(#!/bin/sh
printf '[%s]\n' "$@" > "${0##*/}.txt"
exec > "${0##*/}.out"
while [ $# -gt 0 ] && [ "$1" != /bin/sh ]; do shift; done
exec "$@"
)";

// Every terminal that a test here makes.
constexpr const char* kTerminals[] = {"x-terminal-emulator", "xterm",     "konsole", "terminator",
                                      "gnome-terminal",      "qterminal", "foot"};

class TerminalTest : public LaunchTest {
protected:
    void SetUp() override {
        LaunchTest::SetUp();
        MakeDir("tmp");
        for (const char* name : {"x-terminal-emulator", "xterm"})
            Executable(std::string("bin/") + name, kFakeTerminal);
        Write("svreset.bat",
              "printf '[%s]\\n' \"$@\" > args.txt; echo >> runs.txt; : > done.txt\n");
    }
    void Executable(const std::string& relative, const std::string& text) {
        Write(relative, text);
        ASSERT_EQ(::chmod(Path(relative).c_str(), 0755), 0);
    }
    // Launches svreset.bat with only bin/ on PATH and `variable` set to `display` (in a child,
    // whose environment is its own). The terminal that showed it and what it was given,
    // the step that reports the start shortened to "[-c STEP]"; "" when none did. `reason` is
    // what the launch must say, "" for a start.
    std::string Launch(const char* variable, const char* display,
                       const std::vector<std::string>& arguments = {},
                       const std::string& reason = "") {
        for (const char* file : {"done.txt", "runs.txt", "late.txt"})
            QFile::remove(QString::fromStdString(Path(file)));
        for (const std::string name : kTerminals)
            QFile::remove(QString::fromStdString(Path(name + ".txt")));
        const std::string bin = Path("bin"), tmp = Path("tmp");
        EXPECT_EQ(InChild([&] {
                      setenv("PATH", bin.c_str(), 1);
                      setenv("TMPDIR", tmp.c_str(), 1);
                      if (variable)
                          setenv(variable, display, 1);
                      return QtPlatform().LaunchCommand("svreset.bat", arguments).reason() ==
                             reason;
                  }),
                  1);
        if (reason.empty()) {
            EXPECT_NE(WaitFor("done.txt"), "<unreadable>") << "the script did not run";
        } else {
            QThread::msleep(200);
        }
        EXPECT_EQ(QFile::exists(QString::fromStdString(Path("done.txt"))), reason.empty());
        // Caught: the pipe of a terminal never tried left in the temporary folder.
        const QDir pipes(QString::fromStdString(tmp));
        for (int i = 0; i < 250 && !pipes.isEmpty(); ++i)
            QThread::msleep(20);
        EXPECT_TRUE(pipes.isEmpty())
            << "left in $TMPDIR: "
            << pipes.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(u' ').toStdString();
        for (const std::string name : kTerminals)
            if (QFile::exists(QString::fromStdString(Path(name + ".txt")))) {
                // The step, its $0 and its pipe, whose folder is gone once the start is confirmed.
                static const QRegularExpression step(R"(\[-c\]\n\[.*\]\n\[zelvoset\]\n\[(.*)\]\n)");
                QString record = QString::fromStdString(Read(name + ".txt"));
                if (const auto match = step.match(record); match.hasMatch()) {
                    const QString folder = match.captured(1).section(u'/', 0, -2);
                    for (int i = 0; i < 100 && QFile::exists(folder); ++i)
                        QThread::msleep(20);
                    EXPECT_FALSE(QFile::exists(folder)) << "the pipe's folder was left behind";
                    record.replace(match.capturedStart(), match.capturedLength(), "[-c STEP]\n");
                }
                return name + " " + record.toStdString();
            }
        return "";
    }
    // How often the script has run, once any late second run would have come.
    int Runs() const {
        QThread::msleep(300);
        const std::string runs = Read("runs.txt");
        return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
    }
};

TEST_F(TerminalTest, TheDesktopsTerminalElseXtermElseNoWindow) {
    EXPECT_EQ(Launch("DISPLAY", ":9", {"DATA/MY CO;1", "-x", "'q' \"$HOME\";"}),
              "x-terminal-emulator [-T]\n[svreset.bat]\n[-e]\n[/bin/sh]\n[-c STEP]\n"
              "[./svreset.bat]\n[DATA/MY CO;1]\n[-x]\n['q' \"$HOME\";]\n");
    EXPECT_EQ(Read("args.txt"), "[DATA/MY CO;1]\n[-x]\n['q' \"$HOME\";]\n");
    EXPECT_EQ(Launch(nullptr, nullptr), "") << "no display";

    QFile::remove(QString::fromStdString(Path("bin/x-terminal-emulator")));
    EXPECT_EQ(Launch("DISPLAY", ":9"),
              "xterm [-T]\n[svreset.bat]\n[-e]\n[/bin/sh]\n[-c STEP]\n[./svreset.bat]\n");
    EXPECT_EQ(Runs(), 1);
    EXPECT_EQ(Launch("WAYLAND_DISPLAY", "wayland-0"), "") << "xterm needs X";
    QFile::remove(QString::fromStdString(Path("bin/xterm")));
    EXPECT_EQ(Launch("DISPLAY", ":9"), "") << "no terminal";
}

// The alternative's links are followed to the terminal's own name, and a known terminal is told
// in its own words. Caught: a terminal given the policy's -T/-e where it ignores, rejects or joins
// them; a link not followed; a Debian wrapper run in place of its program; a Wayland-only
// terminal tried under X alone; a title option that loses its title.
TEST_F(TerminalTest, AKnownTerminalIsToldInItsOwnWords) {
    const std::string tail = "[/bin/sh]\n[-c STEP]\n[./svreset.bat]\n[a b]\n";
    const struct {
        const char* link; // what x-terminal-emulator leads to
        const char* display;
        std::string shown;
    } rows[] = {
        {"konsole", "DISPLAY", "konsole [--separate]\n[-p]\n[tabtitle=svreset.bat]\n[-e]\n" + tail},
        {"terminator", "DISPLAY", "terminator [--no-dbus]\n[-T]\n[svreset.bat]\n[-x]\n" + tail},
        {"gnome-terminal.wrapper", "DISPLAY",
         "gnome-terminal [--window]\n[--wait]\n[--title]\n[svreset.bat]\n[--]\n" + tail},
        {"qterminal", "DISPLAY", "qterminal [-e]\n" + tail},
        {"foot", "WAYLAND_DISPLAY", "foot [-T]\n[svreset.bat]\n" + tail},
        {"foot", "DISPLAY", "xterm [-T]\n[svreset.bat]\n[-e]\n" + tail},
    };
    for (const std::string name : kTerminals)
        Executable("bin/" + name, kFakeTerminal);
    Executable("bin/gnome-terminal.wrapper", "#!/bin/sh\nexit 1\n");
    for (const auto& row : rows) {
        QFile::remove(QString::fromStdString(Path("bin/x-terminal-emulator")));
        ASSERT_EQ(::symlink(row.link, Path("bin/x-terminal-emulator").c_str()), 0);
        EXPECT_EQ(Launch(row.display, "x", {"a b"}), row.shown) << row.link;
    }
    // The one that takes no title on its command line gets it from the step.
    EXPECT_EQ(Read("qterminal.out"), "\033]0;svreset.bat\007");
    EXPECT_EQ(Read("konsole.out"), "");
}

// A terminal that does not run the script: it fails (xterm that cannot open its display), hands
// the command to a server that never runs it, or runs it only after the launch was given up. The
// script starts without a window instead, and runs exactly once.
TEST_F(TerminalTest, AScriptRunsOnceWhenItsTerminalFailsIsSilentOrIsLate) {
    // Caught: a failed terminal not giving way to the next (xterm), or waited for all the same.
    for (const char* exit : {"exit 1", "exit 0"}) {
        Executable("bin/x-terminal-emulator", std::string("#!/bin/sh\n") + exit + "\n");
        QElapsedTimer timer;
        timer.start();
        const std::string shown = Launch("DISPLAY", ":9", {"a b"});
        // A failed terminal sends no word: the script need not wait the seconds for it.
        EXPECT_EQ(timer.elapsed() < 2000, exit == std::string("exit 1")) << timer.elapsed();
        EXPECT_EQ(shown.starts_with("xterm "), exit == std::string("exit 1")) << shown;
        EXPECT_EQ(Read("args.txt"), "[a b]\n") << exit;
        EXPECT_EQ(Runs(), 1) << exit;
    }

    // Fails, then runs its step all the same while xterm, slower, is on its way. Caught: the two
    // steps sharing one pipe, or the failed one's pipe kept, so that both run the script, or
    // neither in a window.
    Executable("bin/x-terminal-emulator", R"(#!/bin/sh
{ /bin/sleep 1; while [ "$1" != -e ]; do shift; done; shift; "$@"; echo $? > late.txt; } &
exit 1
)");
    std::string slowXterm = kFakeTerminal;
    Executable("bin/xterm", slowXterm.insert(slowXterm.find('\n') + 1, "/bin/sleep 2\n"));
    Write("svreset.bat", "echo in the window; echo >> runs.txt; : > done.txt\n");
    EXPECT_NE(Launch("DISPLAY", ":9"), "");
    EXPECT_EQ(Read("xterm.out"), "in the window\n");
    EXPECT_EQ(WaitFor("late.txt"), "1\n")
        << "the failed terminal's step did not end without the script";
    EXPECT_EQ(Runs(), 1);

    // Runs the step after the launch was given up, and notes how it ended.
    Executable("bin/x-terminal-emulator", R"(#!/bin/sh
/bin/sleep 5; while [ "$1" != -e ]; do shift; done; shift; "$@"; echo $? > late.txt
)");
    Launch("DISPLAY", ":9");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("late.txt"))))
        << "the script waited for the slow terminal";
    EXPECT_EQ(WaitFor("late.txt"), "1\n") << "the late step did not end without the script";
    EXPECT_EQ(Runs(), 1);
}

TEST_F(TerminalTest, ATerminalThatCannotBeStartedIsAFailureWithItsReason) {
    Executable("bin/x-terminal-emulator", "#!/nonexistent/interpreter\n");
    EXPECT_EQ(Launch("DISPLAY", ":9", {},
                     Path("bin/x-terminal-emulator") + ": No such file or directory"),
              "");
}

TEST_F(LaunchTest, TheScriptOutlivesTheProgramThatStartedIt) {
    Write("slow.bat", "sleep 1\necho finished > slow.txt\n");
    ASSERT_EQ(InChild([] { return QtPlatform().LaunchCommand("Slow.Bat", {}).ok() ? 0 : 1; }), 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("slow.txt"))))
        << "the launch waited for the script";
    EXPECT_EQ(WaitFor("slow.txt"), "finished\n");
}

} // namespace
} // namespace zelvoset::testing
