// Faults a user's files must survive: a disk that fills up at any byte, a disk that fails to
// sync, directories and files that refuse access, another program writing the file, and the
// program killed in the middle of a rewrite. After each, the file is its old bytes or its
// complete new bytes, never anything in between; an overwrite in place that was cut short
// leaves a backup of the old bytes.
#include "ChildProcess.h"
#include "ConfigFiles.h"
#include "QtPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zelvoset;
using namespace zelvoset::testing;

namespace {

// Called before every fsync and fdatasync, ftruncate and rename of this process: returns an errno
// to fail that call with, or 0. The platform is linked into this program, so its calls come here.
std::function<int(int fd)> onSync, onTruncate;
std::function<int()> onRename;

template <class Call> int Hooked(int error, Call real) {
    if (error == 0)
        return static_cast<int>(real());
    errno = error;
    return -1;
}

} // namespace

extern "C" int fsync(int fd) {
    return Hooked(onSync ? onSync(fd) : 0, [&] { return syscall(SYS_fsync, fd); });
}
extern "C" int fdatasync(int fd) {
    return Hooked(onSync ? onSync(fd) : 0, [&] { return syscall(SYS_fdatasync, fd); });
}
extern "C" int ftruncate(int fd, off_t length) {
    return Hooked(onTruncate ? onTruncate(fd) : 0,
                  [&] { return syscall(SYS_ftruncate, fd, length); });
}
extern "C" int rename(const char* from, const char* to) {
    return Hooked(onRename ? onRename() : 0, [&] { return syscall(SYS_rename, from, to); });
}

namespace {

struct stat StatOf(int fd) {
    struct stat st {};
    fstat(fd, &st);
    return st;
}

// The real platform, with the installation directory standing in for the program's own and a
// user who answers Yes.
class InstallationPlatform : public QtPlatform {
public:
    explicit InstallationPlatform(std::string directory) : directory_(std::move(directory)) {}
    std::string ProgramDirectory() override { return directory_; }
    int ShowMessage(std::string_view text, int style, std::string_view) override {
        messages.emplace_back(text);
        return style == kStyleQuestion ? kAnswerYes : kAnswerOk;
    }
    std::vector<std::string> messages;

private:
    std::string directory_;
};

// Another program that holds the file open and appends a numbered line whenever asked. A
// descriptor of this process writes as another's would: nothing takes a lock on the file.
class Appender {
public:
    explicit Appender(const std::string& path) : fd_(open(path.c_str(), O_WRONLY | O_APPEND)) {}
    ~Appender() { close(fd_); }
    void Append() {
        const std::string line = "APPENDED " + std::to_string(n_++) + "\r\n";
        ASSERT_EQ(write(fd_, line.data(), line.size()), ssize_t(line.size()));
    }

private:
    int fd_;
    int n_ = 0;
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
    // What the user was told.
    std::vector<std::string> Clean() const {
        InstallationPlatform platform(Dir());
        CleanOutSQPATH(platform);
        return platform.messages;
    }
    std::vector<std::string> Recover() const {
        InstallationPlatform platform(Dir());
        RecoverInterruptedRewrites(platform);
        return platform.messages;
    }
    // A second name for the file: it is then rewritten in place.
    bool Link() const { return link(Path("SQPATH.DAT").c_str(), Path("linked").c_str()) == 0; }

private:
    QTemporaryDir dir_;
};

} // namespace

TEST(Faults, EveryFileSizeLimitLeavesOldOrCompleteNewBytes) {
    Installation inst;
    const PathFile file = MakePathFile(12000); // about 280 KB, about half kept
    const long long newSize = static_cast<long long>(file.cleaned.size());
    const long long oldSize = static_cast<long long>(file.old.size());

    // Every 4 KiB boundary and its neighbours covers the writer's blocks.
    std::set<long long> limits = {0,           1,       newSize - 1, newSize,
                                  newSize + 1, oldSize, oldSize - 1, oldSize + 1};
    for (long long edge = 4096; edge <= newSize + 8192; edge += 4096)
        limits.insert({edge - 1, edge, edge + 1});

    int tried = 0;
    // Beside the old file, then in place (a second name shares it), which must also back up
    // the old bytes before overwriting them.
    for (const bool inPlace : {false, true}) {
        std::set<std::string> entries = {"SQPATH.DAT"};
        if (inPlace) {
            ASSERT_TRUE(inst.Link());
            entries.insert("linked");
        }
        for (const long long limit : limits) {
            // In place, the sizes that matter are those of the new contents, the backup and the
            // overwrite; the writer's blocks are already covered.
            if (inPlace && limit % 32768 > 1 && limit % 32768 < 32767 && limit < newSize - 1)
                continue;
            inst.Write("SQPATH.DAT", file.old);
            const ChildEnd end = RunInChild({limit, false}, [&] { inst.Clean(); });
            ASSERT_TRUE(end.exitedNormally && end.exitCode == 0)
                << "limit " << limit << ": " << end.Describe();
            const std::string& expected =
                limit >= (inPlace ? oldSize : newSize) ? file.cleaned : file.old;
            const std::string after = inst.Read("SQPATH.DAT");
            ASSERT_TRUE(after == expected) << "limit " << limit << " of " << newSize << ", "
                                           << inPlace << ": got " << after.size() << " bytes";
            ASSERT_EQ(inst.Entries(), entries) << "limit " << limit;
            ++tried;
        }
    }
    std::cout << "file-size limits tried: " << tried << "\n";
}

TEST(Faults, AFailedSyncIsAFailedRewrite) {
    Installation inst;
    const PathFile file = MakePathFile(50);
    const auto failing = [](mode_t kind) {
        return [kind](int fd) { return (StatOf(fd).st_mode & S_IFMT) == kind ? EIO : 0; };
    };

    // The new contents never reached the disk: the old file stays, and nothing beside it.
    inst.Write("SQPATH.DAT", file.old);
    onSync = failing(S_IFREG);
    inst.Clean();
    EXPECT_TRUE(inst.Read("SQPATH.DAT") == file.old);
    EXPECT_EQ(inst.Entries(), std::set<std::string>{"SQPATH.DAT"});

    // Caught: a failed rename counted as done, or its new file left under a hidden name.
    onSync = nullptr;
    onRename = [] { return EIO; };
    inst.Clean();
    onRename = nullptr;
    EXPECT_TRUE(inst.Read("SQPATH.DAT") == file.old);
    EXPECT_EQ(inst.Entries(), std::set<std::string>{"SQPATH.DAT"});

    // After Yes the user is told to add the line by hand, also when only the directory could
    // not be synced after the rename.
    for (const mode_t kind : {S_IFREG, S_IFDIR}) {
        inst.Write("SYNRUN.SYN", "PATH=SV\r\n");
        onSync = failing(kind);
        InstallationPlatform platform(inst.Dir());
        addCOBSW(platform, Layout::CP);
        onSync = nullptr;
        ASSERT_EQ(platform.messages.size(), 2u) << kind;
        EXPECT_TRUE(platform.messages[1].starts_with("You will need to manually add the line"));
        if (kind == S_IFREG) {
            EXPECT_EQ(inst.Read("SYNRUN.SYN"), "PATH=SV\r\n");
        }
    }
    ASSERT_TRUE(QFile::remove(QString::fromStdString(inst.Path("SYNRUN.SYN"))));

    // In place: when the overwrite cannot be synced, the old bytes are put back from the backup,
    // and where even that fails the backup stays beside the file.
    ASSERT_TRUE(inst.Link());
    const ino_t inode = StatOf(open(inst.Path("SQPATH.DAT").c_str(), O_RDONLY)).st_ino;
    for (const int failures : {1, 1000}) {
        inst.Write("SQPATH.DAT", file.old);
        int failed = 0;
        onSync = [&](int fd) {
            return StatOf(fd).st_ino == inode && failed++ < failures ? EIO : 0;
        };
        const std::vector<std::string> messages = inst.Clean();
        if (failures == 1)
            onSync = nullptr;
        EXPECT_GE(failed, 1);
        std::set<std::string> entries = inst.Entries();
        EXPECT_EQ(entries.erase("SQPATH.DAT") + entries.erase("linked"), 2u);
        if (failures == 1) {
            EXPECT_TRUE(inst.Read("SQPATH.DAT") == file.old);
            EXPECT_TRUE(entries.empty());
        } else {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_TRUE(entries.begin()->starts_with("SQPATH.DAT.zelvoset-backup-"));
            EXPECT_TRUE(inst.Read(*entries.begin()) == file.old);
            // Caught: a backup that others may read, as the old contents would be in /tmp.
            EXPECT_EQ(StatOf(open(inst.Path(*entries.begin()).c_str(), O_RDONLY)).st_mode & 0777,
                      0600u);
            // The one fact the user needs: where the old contents are.
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_NE(messages[0].find(inst.Path("SQPATH.DAT")), std::string::npos);
            EXPECT_NE(messages[0].find(inst.Path(*entries.begin())), std::string::npos);

            // Still there at the next start, and still not to be put back: named once more.
            const std::vector<std::string> next = inst.Recover();
            ASSERT_EQ(next.size(), 1u);
            EXPECT_NE(next[0].find(inst.Path(*entries.begin())), std::string::npos);
            onSync = nullptr;
            // Once the disk works again, the next start puts the old bytes back.
            EXPECT_TRUE(inst.Recover().empty());
            EXPECT_TRUE(inst.Read("SQPATH.DAT") == file.old);
            EXPECT_EQ(inst.Entries().size(), 2u);
        }
    }

    // Caught: the folder sync after the backup is named (1), or after it is removed (2), failing
    // unnoticed. The first leaves the file as it was; after the second the user hears of it.
    for (const int nth : {1, 2}) {
        inst.Write("SQPATH.DAT", file.old);
        int syncs = 0;
        onSync = [&](int fd) { return S_ISDIR(StatOf(fd).st_mode) && ++syncs == nth ? EIO : 0; };
        const std::size_t told = inst.Clean().size();
        onSync = nullptr;
        EXPECT_TRUE(inst.Read("SQPATH.DAT") == (nth == 1 ? file.old : file.cleaned)) << nth;
        EXPECT_EQ(told, nth == 1 ? 0u : 1u);
        EXPECT_EQ(inst.Entries().size(), 2u);
    }

    // Caught: a cut to size that fails counted as done, which would leave the old tail.
    inst.Write("SQPATH.DAT", file.old);
    int cuts = 0;
    onTruncate = [&](int) { return cuts++ == 0 ? EIO : 0; };
    inst.Clean();
    onTruncate = nullptr;
    EXPECT_TRUE(inst.Read("SQPATH.DAT") == file.old);
    EXPECT_EQ(inst.Entries().size(), 2u);

    // Caught: a backup that cannot be removed counted as gone, to undo the rewrite at the next
    // start. As nobody, whose folder refuses removals from the moment the backup is named.
    inst.Write("SQPATH.DAT", file.old);
    for (const std::string& name : {inst.Dir(), inst.Path("SQPATH.DAT")})
        ASSERT_EQ(chown(name.c_str(), kUnprivileged, kUnprivileged), 0);
    const ChildEnd end = RunInChild({-1, true}, [&] {
        onSync = [&](int fd) {
            return S_ISDIR(StatOf(fd).st_mode) ? chmod(inst.Dir().c_str(), 0555) : 0;
        };
        _exit(inst.Clean().size() == 1 ? 0 : 3);
    });
    ASSERT_EQ(chmod(inst.Dir().c_str(), 0755), 0);
    EXPECT_EQ(end.exitCode, 0) << end.Describe();
    EXPECT_TRUE(inst.Read("SQPATH.DAT") == file.cleaned);
    EXPECT_EQ(inst.Entries().size(), 3u);
}

TEST(Faults, AnotherProgramsLinesAreNeverLost) {
    Installation inst;
    const PathFile file = MakePathFile(20000);
    for (const bool inPlace : {false, true}) {
        if (inPlace) {
            ASSERT_TRUE(inst.Link());
        }
        // It writes just before the commit: the sync of new contents or of the backup while no
        // name leads to them yet.
        for (const int times : {1, 2}) {
            inst.Write("SQPATH.DAT", file.old);
            Appender other(inst.Path("SQPATH.DAT"));
            int asked = 0;
            onSync = [&](int fd) {
                const struct stat st = StatOf(fd);
                if (S_ISREG(st.st_mode) && st.st_nlink == 0 && asked < times) {
                    ++asked;
                    other.Append();
                }
                return 0;
            };
            inst.Clean();
            onSync = nullptr;
            // Once: the pass starts over and keeps the line. Twice: the file is left to it.
            const std::string expected = times == 1 ? file.cleaned + "APPENDED 0\r\n"
                                                    : file.old + "APPENDED 0\r\nAPPENDED 1\r\n";
            EXPECT_TRUE(inst.Read("SQPATH.DAT") == expected) << inPlace << " " << times;
            EXPECT_EQ(inst.Entries().size(), inPlace ? 2u : 1u);
        }
    }
}

TEST(Faults, RefusedAccessLeavesFilesAlone) {
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to hand files to another user";
    const PathFile file = MakePathFile(50);
    // A directory that refuses new files: the user's own file is cleaned in place all the same;
    // an unreadable file, and a read-only one, are left alone.
    for (const auto& [mode, cleaned] : {std::pair{0644, true}, {0200, false}, {0444, false}}) {
        Installation inst;
        inst.Write("SQPATH.DAT", file.old);
        ASSERT_EQ(chown(inst.Path("SQPATH.DAT").c_str(), kUnprivileged, kUnprivileged), 0);
        ASSERT_EQ(chmod(inst.Path("SQPATH.DAT").c_str(), mode_t(mode)), 0);
        const ChildEnd end = RunInChild({-1, true}, [&] { inst.Clean(); });
        EXPECT_TRUE(end.exitedNormally && end.exitCode == 0) << end.Describe();
        EXPECT_TRUE(inst.Read("SQPATH.DAT") == (cleaned ? file.cleaned : file.old)) << mode;
        EXPECT_EQ(inst.Entries(), std::set<std::string>{"SQPATH.DAT"});
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

// Kills the cleaning at random moments of its run, up to 1.2 times its length.
void KillWhileCleaning(const Installation& inst, const PathFile& file, int kills) {

    // How long one whole rewrite takes decides where the kills may land.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunInChild({}, [&] { inst.Clean(); }).exitedNormally);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(inst.Read("SQPATH.DAT") == file.cleaned);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<long> moment(0, whole.count() * 12 / 10);
    int oldSeen = 0, newSeen = 0, backedUp = 0, repaired = 0, hidden = 0;
    // Kills are counted until the budget ends: a busy machine makes fewer, never a failure.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int kill = 0;
    for (; kill < kills && std::chrono::steady_clock::now() < deadline; ++kill) {
        inst.Write("SQPATH.DAT", file.old);
        pid_t pid = fork();
        if (pid < 0) { // the system may refuse a process for a moment: once more
            std::cout << "fork failed: " << std::strerror(errno) << "; trying once more\n";
            std::this_thread::sleep_for(std::chrono::seconds(1));
            pid = fork();
        }
        // Never kill(-1): that would end every process of ours.
        ASSERT_GE(pid, 0) << "kill " << kill << ": fork failed twice: " << std::strerror(errno);
        if (pid == 0) {
            inst.Clean();
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);

        const std::string after = inst.Read("SQPATH.DAT");
        // Whatever carries a backup's name is complete: a user may copy it over the file.
        bool backup = false;
        for (const auto& name : inst.Entries()) {
            if (name == "SQPATH.DAT" || name == "linked")
                continue;
            // Killed between naming the new file and renaming it over the old one: a hidden
            // name that no probe counts.
            if (name.starts_with(".SQPATH.DAT.")) {
                ++hidden;
                QFile::remove(QString::fromStdString(inst.Path(name)));
                continue;
            }
            ASSERT_TRUE(name.starts_with("SQPATH.DAT.zelvoset-backup-"))
                << "kill " << kill << ": left " << name;
            ASSERT_TRUE(inst.Read(name) == file.old) << "kill " << kill << ": a torn backup";
            backup = true;
        }
        const bool intact = after == file.old || after == file.cleaned;
        if (intact)
            (after == file.old ? oldSeen : newSeen)++;
        else
            ASSERT_TRUE(backup) << "kill " << kill << ": cut short, and no backup of the old bytes";
        backedUp += backup;

        // The next start puts the old bytes back from a backup, silently, and leaves nothing
        // beside the file. (Both rewrites are safe to run again.)
        EXPECT_TRUE(inst.Recover().empty());
        const std::string recovered = inst.Read("SQPATH.DAT");
        ASSERT_TRUE(recovered == (backup ? file.old : after)) << "kill " << kill;
        repaired += !intact;
        std::set<std::string> entries = inst.Entries();
        entries.erase("linked");
        ASSERT_EQ(entries, std::set<std::string>{"SQPATH.DAT"}) << "kill " << kill;
    }
    EXPECT_GE(kill, 1);
    std::cout << "kills survived: " << kill << " (old bytes " << oldSeen << ", new bytes "
              << newSeen << ", cut short and put back at the next start " << repaired
              << ", a complete backup beside " << backedUp
              << ", torn backups 0, hidden new files left " << hidden << ")\n";
}

TEST(Faults, KilledAtAnyMomentLeavesOldOrNewBytes) {
    // Beside the old file, then in place, where a kill during the overwrite leaves the backup.
    for (const bool inPlace : {false, true}) {
        Installation inst;
        const PathFile file = MakePathFile(80000); // about 2 MB
        inst.Write("SQPATH.DAT", file.old);
        if (inPlace) {
            ASSERT_TRUE(inst.Link());
        }
        KillWhileCleaning(inst, file, inPlace ? 100 : 200);
        if (inPlace) {
            EXPECT_TRUE(inst.Read("linked") == inst.Read("SQPATH.DAT"));
        }
    }
}
