// Real launches of scripts through /bin/sh: arguments, lookup, failures and how the script runs.
#include "PlatformTesting.h"

#include <QStringList>
#include <QThread>

#include <csignal>

namespace zelvoset::testing {
namespace {

class LaunchTest : public InTempDir {
protected:
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
    EXPECT_FALSE(platform.LaunchCommand("svpath.bat", {}).ok());
}

TEST_F(LaunchTest, TheScriptOutlivesTheProgramThatStartedIt) {
    Write("slow.bat", "sleep 1\necho finished > slow.txt\n");
    const int code =
        InChild([] { return QtPlatform().LaunchCommand("Slow.Bat", {}).ok() ? 0 : 1; });
    ASSERT_EQ(code, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("slow.txt"))))
        << "the launch waited for the script";
    EXPECT_EQ(WaitFor("slow.txt"), "finished\n");
}

} // namespace
} // namespace zelvoset::testing
