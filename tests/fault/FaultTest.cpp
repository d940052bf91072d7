// Faults a user's files must survive: a disk that fills up at any byte, directories and files
// that refuse access, and the program killed in the middle of a rewrite. After each, the file is
// its old bytes or its complete new bytes, never anything in between.
#include "ChildProcess.h"
#include "QtPlatform.h"
#include "Rewrites.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zelvoset;
using namespace zelvoset::testing;

namespace {

// The real platform, with the installation directory standing in for the program's own.
class InstallationPlatform : public QtPlatform {
public:
    explicit InstallationPlatform(std::string directory) : directory_(std::move(directory)) {}
    std::string ProgramDirectory() override { return directory_; }

private:
    std::string directory_;
};

struct PathFile {
    std::string old;
    std::string cleaned;
};

// A path file of `lines` lines, every other one an entry the cleaning removes.
PathFile MakePathFile(int lines) {
    PathFile file;
    for (int i = 0; i < lines; ++i) {
        const std::string line = (i % 2 ? "00SV" : "PATH") + std::to_string(i) + "=C:\\ZELVO\\DATA";
        file.old += line + "\r\n";
        if (i % 2 == 0)
            file.cleaned += line + "\r\n";
    }
    return file;
}

class Installation {
public:
    Installation() {
        // Others than root must reach it for the unprivileged cases.
        chmod(dir_.path().toLocal8Bit().constData(), 0755);
    }
    std::string Dir() const { return dir_.path().toStdString(); }
    std::string Path(const std::string& name) const { return Dir() + "/" + name; }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Everything in the directory: a leftover temporary file shows up here.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& name :
             QDir(dir_.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            names.insert(name.toStdString());
        return names;
    }
    void Clean() const {
        InstallationPlatform platform(Dir());
        CleanOutSQPATH(platform);
    }

private:
    QTemporaryDir dir_;
};

} // namespace

TEST(Faults, EveryFileSizeLimitLeavesOldOrCompleteNewBytes) {
    Installation inst;
    const PathFile file = MakePathFile(12000); // about 280 KB, about half kept
    const long long newSize = static_cast<long long>(file.cleaned.size());

    // Every 4 KiB boundary and its neighbours covers the writer's blocks and Qt's buffer.
    std::set<long long> limits = {0, 1, newSize - 1, newSize, newSize + 1};
    for (long long edge = 4096; edge <= newSize + 8192; edge += 4096)
        limits.insert({edge - 1, edge, edge + 1});

    int tried = 0;
    for (const long long limit : limits) {
        inst.Write("SQPATH.DAT", file.old);
        const ChildEnd end = RunInChild({limit, false}, [&] { inst.Clean(); });
        ASSERT_TRUE(end.exitedNormally && end.exitCode == 0)
            << "limit " << limit << ": " << end.Describe();
        const std::string& expected = limit >= newSize ? file.cleaned : file.old;
        const std::string after = inst.Read("SQPATH.DAT");
        ASSERT_TRUE(after == expected)
            << "limit " << limit << " of " << newSize << ": got " << after.size() << " bytes";
        ASSERT_EQ(inst.Entries(), std::set<std::string>{"SQPATH.DAT"}) << "limit " << limit;
        ++tried;
    }
    std::cout << "file-size limits tried: " << tried << "\n";
}

TEST(Faults, RefusedAccessLeavesFilesAlone) {
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to hand files to another user";
    const PathFile file = MakePathFile(50);
    const auto asNobody = [](const std::string& path, mode_t mode) {
        ASSERT_EQ(chown(path.c_str(), UnprivilegedUid(), UnprivilegedGid()), 0);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };

    // A directory that refuses new files: the replacement cannot even be started.
    Installation locked;
    locked.Write("SQPATH.DAT", file.old);
    asNobody(locked.Path("SQPATH.DAT"), 0644);
    // An unreadable file, and a read-only one.
    Installation unreadable;
    unreadable.Write("SQPATH.DAT", file.old);
    asNobody(unreadable.Path("SQPATH.DAT"), 0200);
    Installation readOnly;
    readOnly.Write("SQPATH.DAT", file.old);
    asNobody(readOnly.Path("SQPATH.DAT"), 0444);

    for (const Installation* inst : {&locked, &unreadable, &readOnly}) {
        const ChildEnd end = RunInChild({-1, true}, [&] { inst->Clean(); });
        EXPECT_TRUE(end.exitedNormally && end.exitCode == 0) << end.Describe();
        EXPECT_TRUE(inst->Read("SQPATH.DAT") == file.old) << inst->Dir();
        EXPECT_EQ(inst->Entries(), std::set<std::string>{"SQPATH.DAT"});
    }
}

TEST(Faults, FileReplacedByDirectoryIsLeftAlone) {
    Installation inst;
    ASSERT_TRUE(QDir(QString::fromStdString(inst.Dir())).mkdir("SQPATH.DAT"));
    inst.Write("SQPATH.DAT/inner", "00SV\r\n");
    inst.Write("SQMENU.DAT", "TB\r\n");
    const ChildEnd end = RunInChild({}, [&] { inst.Clean(); });
    EXPECT_TRUE(end.exitedNormally && end.exitCode == 0) << end.Describe();
    EXPECT_EQ(inst.Read("SQPATH.DAT/inner"), "00SV\r\n");
    EXPECT_EQ(inst.Read("SQMENU.DAT"), "TB\r\n");
    EXPECT_EQ(inst.Entries(), (std::set<std::string>{"SQMENU.DAT", "SQPATH.DAT"}));
}

TEST(Faults, KilledAtAnyMomentLeavesOldOrNewBytes) {
    Installation inst;
    const PathFile file = MakePathFile(80000); // about 2 MB
    inst.Write("SQPATH.DAT", file.old);

    // How long one whole rewrite takes decides where the kills may land.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunInChild({}, [&] { inst.Clean(); }).exitedNormally);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(inst.Read("SQPATH.DAT") == file.cleaned);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<long> moment(0, whole.count() * 12 / 10);
    int oldSeen = 0, newSeen = 0;
    for (int kill = 0; kill < 200; ++kill) {
        inst.Write("SQPATH.DAT", file.old);
        const pid_t pid = fork();
        if (pid == 0) {
            inst.Clean();
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);

        const std::string after = inst.Read("SQPATH.DAT");
        ASSERT_TRUE(after == file.old || after == file.cleaned) << "kill " << kill;
        (after == file.old ? oldSeen : newSeen)++;
        // A kill may leave the half-written temporary file beside it: never the real one.
        for (const auto& name : inst.Entries())
            if (name != "SQPATH.DAT")
                QFile::remove(QString::fromStdString(inst.Path(name)));
    }
    std::cout << "kills survived: 200 (old bytes " << oldSeen << ", new bytes " << newSeen << ")\n";
}
