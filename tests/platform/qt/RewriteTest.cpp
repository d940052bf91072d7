// Line-file rewrites through the installer's own procedures, on real files: what reaches the
// disk, what is kept of the old file, and what a failure leaves behind.
#include "ConfigFiles.h"
#include "FileRewrite.h"
#include "Layout.h"
#include "PlatformTesting.h"
#include "Process.h"

#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <tuple>

namespace zelvoset::testing {
namespace {

// A rewrite that writes nothing of its own.
Status Unchanged(InputFile&, OutputFile&) {
    return Status::Ok();
}

class RewriteTest : public InInstallation {
protected:
    struct stat Stat(const std::string& relative) const {
        struct stat st {};
        EXPECT_EQ(lstat(Path(relative).c_str(), &st), 0);
        return st;
    }
    // An extended attribute's value, or "<none>".
    std::string Attribute(const std::string& relative, const char* name) const {
        char value[256];
        const ssize_t size = getxattr(Path(relative).c_str(), name, value, sizeof value);
        return size < 0 ? "<none>" : std::string(value, static_cast<std::size_t>(size));
    }
    // Root may write anything: what a user may not do is tried by a child running as nobody.
    int CleanAsNobody() {
        return InChild([this] {
            if (!BecomeNobody())
                return 99;
            CleanOutSQPATH(platform);
            return 0;
        });
    }
};

TEST_F(RewriteTest, AWriteThatFailsPartWayLeavesTheOldFile) {
    std::string old;
    for (int i = 0; i < 100000; ++i)
        old += "line\n"; // every line grows by one byte when written back
    Write("SQPATH.DAT", old);
    const std::function<int()> works[] = {
        [this] {
            const RewriteResult result =
                RewriteFile(platform.Files(), "SQPATH.DAT", root_, [](InputFile&, OutputFile& out) {
                    (void)out.Write(std::string(600000, 'x'));
                    return Status::Ok();
                });
            return result.status.ok() || !result.backupLeft.empty() ? 2 : 0;
        },
        // The same through the installer's own procedure: nothing to see, nothing lost.
        [this] {
            CleanOutSQPATH(platform);
            return 0;
        },
    };
    for (const auto& work : works) {
        EXPECT_EQ(InChild([&] {
                      PrepareProcess();
                      const rlimit limit{550000, 550000};
                      setrlimit(RLIMIT_FSIZE, &limit);
                      return work();
                  }),
                  0);
        EXPECT_EQ(Read("SQPATH.DAT"), old);
        EXPECT_EQ(Entries(), QStringList({"SQPATH.DAT"}));
    }
}

TEST_F(RewriteTest, ReadOnlyIsReadOnlyAlsoForRoot) {
    Write("SQPATH.DAT", "00SV\r\nkept\n");
    Write("SQMENU.DAT", "TB\r\nmenu\n");
    ASSERT_EQ(chmod(Path("SQPATH.DAT").c_str(), 0444), 0);
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\n");
    EXPECT_EQ(Stat("SQPATH.DAT").st_mode & 07777, 0444u);
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n"); // the next pass still runs

    const RewriteResult refused = RewriteFile(platform.Files(), "SQPATH.DAT", root_, Unchanged);
    EXPECT_FALSE(refused.status.ok());
    EXPECT_FALSE(refused.status.reason().empty());
}

TEST_F(RewriteTest, OwnerModeAndLinksAreKept) {
    Write("real/paths", "00SV\r\nkept\r\n");
    ASSERT_EQ(symlink("real/paths", Path("SQPATH.DAT").c_str()), 0);
    Write("SQMENU.DAT", "TB\r\nmenu\r\n");
    ASSERT_EQ(chmod(Path("SQMENU.DAT").c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(Path("SQMENU.DAT").c_str(), 1234, 5678), 0);
    }

    CleanOutSQPATH(platform);
    EXPECT_TRUE(S_ISLNK(Stat("SQPATH.DAT").st_mode));
    EXPECT_EQ(Read("real/paths"), "kept\r\n");
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n");
    const struct stat menu = Stat("SQMENU.DAT");
    EXPECT_EQ(menu.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(menu.st_uid, 1234u);
        EXPECT_EQ(menu.st_gid, 5678u);
    }
    EXPECT_EQ(Entries(), QStringList({"SQMENU.DAT", "SQPATH.DAT", "real"}));
}

TEST_F(RewriteTest, AclsAndExtendedAttributesAreKept) {
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    Write("SQMENU.DAT", "TB\r\nmenu\r\n");
    const std::string paths = Path("SQPATH.DAT");
    if (setxattr(paths.c_str(), "user.origin", "installer", 9, 0) != 0)
        GTEST_SKIP() << "no extended attributes on " << root_ << ": " << std::strerror(errno);
    // An ACL entry makes the group bits the ACL's mask: dropping it would widen the group.
    ASSERT_EQ(std::system(("setfacl -m u:nobody:rw '" + paths + "'").c_str()), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(setxattr(paths.c_str(), "security.zelvoset", "label", 5, 0), 0);
    }
    // A default ACL of the directory would give a new file an ACL the old one never had.
    ASSERT_EQ(std::system(("setfacl -d -m u:nobody:rwx '" + root_ + "'").c_str()), 0);
    const std::string acl = Attribute("SQPATH.DAT", "system.posix_acl_access");
    const mode_t mode = Stat("SQPATH.DAT").st_mode, menuMode = Stat("SQMENU.DAT").st_mode;
    ASSERT_NE(acl, "<none>");

    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "kept\r\n");
    EXPECT_EQ(Attribute("SQPATH.DAT", "system.posix_acl_access"), acl);
    EXPECT_EQ(Attribute("SQPATH.DAT", "user.origin"), "installer");
    if (root) {
        EXPECT_EQ(Attribute("SQPATH.DAT", "security.zelvoset"), "label");
    }
    EXPECT_EQ(Stat("SQPATH.DAT").st_mode, mode);
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n");
    EXPECT_EQ(Attribute("SQMENU.DAT", "system.posix_acl_access"), "<none>");
    EXPECT_EQ(Stat("SQMENU.DAT").st_mode, menuMode);
    EXPECT_EQ(Entries(), QStringList({"SQMENU.DAT", "SQPATH.DAT"}));
}

// Where a new file could not be the old one, the user's file is overwritten in place.
TEST_F(RewriteTest, InPlaceWhereANewFileCouldNotBeTheSame) {
    // Hard links: every name sees the new contents.
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    ASSERT_EQ(link(Path("SQPATH.DAT").c_str(), Path("other name").c_str()), 0);
    const ino_t inode = Stat("SQPATH.DAT").st_ino;
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("other name"), "kept\r\n");
    EXPECT_EQ(Stat("SQPATH.DAT").st_ino, inode);
    EXPECT_EQ(Entries(), QStringList({"SQPATH.DAT", "other name"})); // no backup left beside

    // For a user who may write the file: a directory that refuses new files, and a
    // group-writable file of another owner, to whom a new file cannot be given.
    MakeDir("scratch");
    Write("locked/SQPATH.DAT", "00SV\r\nlocked\r\n");
    Write("shared/SQPATH.DAT", "00SV\r\nshared\r\n");
    ASSERT_EQ(chown(Path("locked/SQPATH.DAT").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(Path("locked").c_str(), 0555), 0);
    ASSERT_EQ(chown(Path("shared/SQPATH.DAT").c_str(), 0, kNobody), 0);
    ASSERT_EQ(chmod(Path("shared/SQPATH.DAT").c_str(), 0664), 0);
    ASSERT_EQ(chmod(Path("shared").c_str(), 0777), 0);
    ASSERT_EQ(chmod(Path("scratch").c_str(), 0777), 0);
    const struct stat locked = Stat("locked/SQPATH.DAT"), shared = Stat("shared/SQPATH.DAT");
    const int code = InChild([this] {
        setenv("TMPDIR", Path("scratch").c_str(), 1); // where a backup goes when not beside
        if (!BecomeNobody())
            return 99;
        for (const char* directory : {"locked", "shared"}) {
            ScriptedPlatform user;
            user.programDirectory = Path(directory);
            CleanOutSQPATH(user);
        }
        return 0;
    });
    EXPECT_EQ(code, 0);
    for (const auto& [folder, before] :
         {std::pair{std::string("locked"), locked}, {"shared", shared}}) {
        EXPECT_EQ(Read(folder + "/SQPATH.DAT"), folder + "\r\n");
        const struct stat after = Stat(folder + "/SQPATH.DAT");
        EXPECT_EQ(std::tie(after.st_ino, after.st_uid, after.st_gid, after.st_mode),
                  std::tie(before.st_ino, before.st_uid, before.st_gid, before.st_mode))
            << folder;
        EXPECT_EQ(Entries(folder), QStringList({"SQPATH.DAT"}));
    }
    EXPECT_EQ(Entries("scratch"), QStringList());
}

// Another program's lines must not vanish under a rename. (In place, the check comes before
// the overwrite starts, which the fault suite drives.)
TEST_F(RewriteTest, AFileChangedDuringTheRewriteIsLeftAsTheOtherProgramLeftIt) {
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    // It writes during both passes: the file is then left to it.
    const RewriteResult changed =
        RewriteFile(platform.Files(), "SQPATH.DAT", root_, [&](InputFile&, OutputFile& out) {
            (void)out.Write("kept\r\n");
            Write("SQPATH.DAT", Read("SQPATH.DAT") + "APPENDED\r\n");
            return Status::Ok();
        });
    EXPECT_FALSE(changed.status.ok());
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\nAPPENDED\r\nAPPENDED\r\n");
    EXPECT_EQ(Entries(), QStringList({"SQPATH.DAT"}));

    // A new file put in its place: that one stays.
    const RewriteResult result =
        RewriteFile(platform.Files(), "SQPATH.DAT", root_, [&](InputFile&, OutputFile& out) {
            (void)out.Write("kept\r\n");
            Write("newer", "NEWER\r\n");
            EXPECT_EQ(rename(Path("newer").c_str(), Path("SQPATH.DAT").c_str()), 0);
            return Status::Ok();
        });
    EXPECT_FALSE(result.status.ok());
    EXPECT_EQ(Read("SQPATH.DAT"), "NEWER\r\n");
}

// A link planted in the installation must not lead the program, which may run as root, to a
// file elsewhere; a link within it still works (OwnerModeAndLinksAreKept).
TEST_F(RewriteTest, NothingOutsideTheInstallationIsRewrittenOrDeleted) {
    QTemporaryDir elsewhere;
    const std::string outside = elsewhere.path().toStdString();
    // The same folder, reached from the installation's.
    const std::string there =
        QDir(QString::fromStdString(root_)).relativeFilePath(elsewhere.path()).toStdString();
    Write(there + "/passwd", "00SV\nroot:x:0:0\n");
    Write(there + "/run.bat", "echo elsewhere\n");
    Write(there + "/a.gnt", "compiled");
    ASSERT_EQ(symlink((outside + "/passwd").c_str(), Path("SQPATH.DAT").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/run.bat").c_str(), Path("RW.BAT").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), Path("SVOBJ").c_str()), 0);

    CleanOutSQPATH(platform);
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::RW9);
    EXPECT_FALSE(platform.DeleteMatching("SVOBJ/*.gnt").ok());

    EXPECT_EQ(Read(there + "/passwd"), "00SV\nroot:x:0:0\n");
    EXPECT_EQ(Read(there + "/run.bat"), "echo elsewhere\n");
    EXPECT_EQ(Read(there + "/a.gnt"), "compiled");
    EXPECT_EQ(Entries(there).size(), 3);

    // Caught: the boundary without its trailing separator, so "zelvo2" counts as inside "zelvo",
    // for the rewrite and for the deletion in the installation, the current folder.
    MakeDir("zelvo");
    Write("zelvo2/paths", "00SV\r\n");
    Write("zelvo2/SVOBJ/a.gnt", "compiled");
    ASSERT_EQ(symlink(Path("zelvo2/paths").c_str(), Path("zelvo/SQPATH.DAT").c_str()), 0);
    ASSERT_EQ(symlink(Path("zelvo2/SVOBJ").c_str(), Path("zelvo/SVOBJ").c_str()), 0);
    ScriptedPlatform zelvo;
    zelvo.programDirectory = Path("zelvo");
    CleanOutSQPATH(zelvo);
    EXPECT_EQ(Read("zelvo2/paths"), "00SV\r\n");
    ASSERT_TRUE(zelvo.ChangeDirectory(Path("zelvo")).ok());
    EXPECT_FALSE(zelvo.DeleteMatching("SVOBJ/*.gnt").ok());
    EXPECT_EQ(Read("zelvo2/SVOBJ/a.gnt"), "compiled");
}

// At a start, possibly as root, a file under the backup's name in a shared temporary folder is
// copied over the installation's: only one that can be this user's own backup of this file.
// Caught: each check of a found backup deleted (its owner, its links, others or its group may
// write it, a link followed, no plain file), the name made from the path alone, and a backup
// under an earlier version's name taken from the temporary folder, or not from beside the file.
TEST_F(RewriteTest, RecoveryTakesOnlyTheFilesOwnBackup) {
    MakeDir("tmp");
    const char* tmpdir = std::getenv("TMPDIR");
    const std::optional<std::string> previous =
        tmpdir ? std::make_optional<std::string>(tmpdir) : std::nullopt;
    setenv("TMPDIR", Path("tmp").c_str(), 1);
    // Named as this version names it, or as earlier ones did.
    const auto backupOf = [&](const char* name, bool earlierNaming = false) {
        FileStore::Ref ref = 0;
        StoredFacts facts;
        EXPECT_TRUE(platform.Files().Open(name, root_, ref, facts).ok());
        platform.Files().Close(ref);
        if (earlierNaming)
            facts.identity = facts.earlierIdentity;
        return "tmp/" + BackupName(facts);
    };
    // An earlier file at the same path left its backup.
    Write("SQPATH.DAT", "earlier\r\n");
    const std::string earlier = backupOf("SQPATH.DAT");
    ASSERT_EQ(rename(Path("SQPATH.DAT").c_str(), Path("earlier").c_str()), 0);
    Write("SQPATH.DAT", "now\r\n");
    const std::string backup = backupOf("SQPATH.DAT");
    const std::string earlierNamed = backupOf("SQPATH.DAT", true);
    ASSERT_NE(earlierNamed, backup);
    Write("mine", "mine\r\n");
    // Each turns the file under the backup's name, this user's own of mode 0600, into a fake.
    const std::vector<std::function<int(const char* at)>> plants = {
        [&](const char* at) {
            const int removed = unlink(at); // first: under a fault the two names may be one
            Write(earlier, "planted\r\n");  // the backup of the file once at this path
            return removed;
        },
        [&](const char* at) {
            const int removed = unlink(at);
            Write(earlierNamed, "planted\r\n"); // an earlier version's name is no proof here
            return removed;
        },
        [](const char* at) { return chown(at, kNobody, kNobody); },
        [](const char* at) { return chmod(at, 0602); },
        [](const char* at) { return chmod(at, 0620); },
        [&](const char* at) { return link(at, Path("tmp/second").c_str()); },
        [&](const char* at) { return unlink(at) || symlink(Path("mine").c_str(), at); },
        [](const char* at) { return unlink(at) || mkfifo(at, 0600); },
    };
    for (std::size_t i = 0; i < plants.size(); ++i) {
        Write(backup, "planted\r\n");
        ASSERT_EQ(chmod(Path(backup).c_str(), 0600), 0);
        ASSERT_EQ(plants[i](Path(backup).c_str()), 0) << i;
        const std::vector<std::string> planted = List("tmp");
        RecoverInterruptedRewrites(platform);
        EXPECT_EQ(Read("SQPATH.DAT"), "now\r\n") << i;
        EXPECT_EQ(List("tmp"), planted) << i;
        EXPECT_TRUE(platform.messages.empty()) << i;
        ASSERT_TRUE(QDir(QString::fromStdString(Path("tmp"))).removeRecursively());
    }
    // Its own backup is put back, and goes.
    Write(backup, "old\r\n");
    RecoverInterruptedRewrites(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "old\r\n");
    EXPECT_EQ(List("tmp"), std::vector<std::string>());
    // Beside the file, where no other installation's file can be, an earlier version's is too.
    const std::string besideName = earlierNamed.substr(4);
    Write(besideName, "older\r\n");
    RecoverInterruptedRewrites(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "older\r\n");
    EXPECT_EQ(Read(besideName), "<unreadable>");
    previous ? setenv("TMPDIR", previous->c_str(), 1) : unsetenv("TMPDIR");
}

// Writing a file one does not own clears its set-id bits, which only the owner gets back: such a
// file is not overwritten in place at all.
TEST_F(RewriteTest, AnOverwriteThatWouldLoseSetIdBitsDoesNotStart) {
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    ASSERT_EQ(link(Path("SQPATH.DAT").c_str(), Path("linked").c_str()), 0); // in place
    ASSERT_EQ(chmod(Path("SQPATH.DAT").c_str(), 06666), 0);
    EXPECT_EQ(CleanAsNobody(), 0);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\n");
    EXPECT_EQ(Stat("SQPATH.DAT").st_mode & 07777, 06666u);
    EXPECT_EQ(Entries(), QStringList({"SQPATH.DAT", "linked"}));

    // Its owner writes it in place and keeps the bits.
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("linked"), "kept\r\n");
    EXPECT_EQ(Stat("SQPATH.DAT").st_mode & 07777, 06666u);

    // Caught: the set-user-ID bit of another user's file counted as lost when root writes it (root
    // keeps it), and not put back for an owner without root's privilege to keep it.
    for (const bool asRoot : {true, false}) {
        Write("SQPATH.DAT", "00SV\r\nkept\r\n");
        ASSERT_EQ(chown(Path("SQPATH.DAT").c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(chmod(Path("SQPATH.DAT").c_str(), 04644), 0);
        if (asRoot)
            CleanOutSQPATH(platform);
        else
            EXPECT_EQ(CleanAsNobody(), 0);
        EXPECT_EQ(Read("linked"), "kept\r\n") << asRoot;
        EXPECT_EQ(Stat("SQPATH.DAT").st_mode & 07777, 04644u) << asRoot;
    }
}

// Caught: a folder that cannot be opened to be flushed counted as flushed, so that the switch line
// seems added for good. Such a folder (write and search only) takes new files all the same.
TEST_F(RewriteTest, AFolderThatCannotBeFlushedFailsTheRewrite) {
    Write("SYNRUN.SYN", "PATH=SV\r\n");
    for (const std::string& name : {root_, Path("SYNRUN.SYN")})
        ASSERT_EQ(chown(name.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(root_.c_str(), 0333), 0);
    const int messages = InChild([this] {
        if (!BecomeNobody())
            return 99;
        platform.answers = {kAnswerYes};
        addCOBSW(platform, Layout::CP);
        return int(platform.messages.size());
    });
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    EXPECT_EQ(messages, 2); // the question, then the line to add by hand
    EXPECT_EQ(Read("SYNRUN.SYN"), "COBSW=-F\r\nPATH=SV\r\n");
}

TEST_F(RewriteTest, WhatCannotBeReadOrIsNoFileIsLeftAlone) {
    Write("SQMENU.DAT", "TB\r\n");
    ASSERT_EQ(mkfifo(Path("FIFO").c_str(), 0666), 0);
    EXPECT_FALSE(RewriteFile(platform.Files(), "FIFO", root_, Unchanged).status.ok());
    EXPECT_EQ(platform.OpenForInput("fifo").file, nullptr); // would block without a writer
    ASSERT_TRUE(QFile::remove(QString::fromStdString(Path("FIFO"))));

    // Unreadable for the user running it: root reads everything, so the check runs as nobody.
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    ASSERT_EQ(chmod(Path("SQPATH.DAT").c_str(), 0222), 0);
    ASSERT_EQ(chown(root_.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(CleanAsNobody(), 0);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\n");
    EXPECT_EQ(Entries(), QStringList({"SQMENU.DAT", "SQPATH.DAT"}));
}

} // namespace
} // namespace zelvoset::testing
