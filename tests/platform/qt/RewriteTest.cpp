// Line-file rewrites through the installer's own procedures, on real files: what reaches the
// disk, what is kept of the old file, and what a failure leaves behind.
#include "PlatformTesting.h"
#include "Process.h"
#include "Rewrites.h"

#include <sys/resource.h>
#include <sys/stat.h>

namespace zelvoset::testing {
namespace {

class RewriteTest : public InTempDir {
protected:
    void SetUp() override {
        InTempDir::SetUp();
        platform.programDirectory = root_;
    }
    struct stat Stat(const std::string& relative) const {
        struct stat st {};
        EXPECT_EQ(lstat(Path(relative).c_str(), &st), 0);
        return st;
    }
    ScriptedPlatform platform;
};

TEST_F(RewriteTest, AWriteThatFailsPartWayLeavesTheOldFile) {
    std::string old;
    for (int i = 0; i < 100000; ++i)
        old += "line\n"; // every line grows by one byte when written back
    Write("SQPATH.DAT", old);
    const int code = InChild([this] {
        PrepareProcess();
        const rlimit limit{550000, 550000};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto input = platform.OpenForInput("SQPATH.DAT");
        auto output = platform.OpenForReplace("SQPATH.DAT");
        if (!input.file || !output.file)
            return 1;
        (void)output.file->Write(std::string(600000, 'x'));
        return output.file->Commit().ok() ? 2 : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read("SQPATH.DAT"), old);
    EXPECT_EQ(Entries(), QStringList({"SQPATH.DAT"}));

    // The same through the installer's own procedure: nothing to see, nothing lost.
    const int cleaned = InChild([this] {
        PrepareProcess();
        const rlimit limit{550000, 550000};
        setrlimit(RLIMIT_FSIZE, &limit);
        CleanOutSQPATH(platform);
        return 0;
    });
    EXPECT_EQ(cleaned, 0);
    EXPECT_EQ(Read("SQPATH.DAT"), old);
    EXPECT_EQ(Entries(), QStringList({"SQPATH.DAT"}));
}

TEST_F(RewriteTest, ReadOnlyIsReadOnlyAlsoForRoot) {
    Write("SQPATH.DAT", "00SV\r\nkept\n");
    Write("SQMENU.DAT", "TB\r\nmenu\n");
    ASSERT_EQ(chmod(Path("SQPATH.DAT").c_str(), 0444), 0);
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\n");
    EXPECT_EQ(Stat("SQPATH.DAT").st_mode & 07777, 0444u);
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n"); // the next pass still runs

    const auto refused = platform.OpenForReplace("SQPATH.DAT");
    EXPECT_EQ(refused.file, nullptr);
    EXPECT_FALSE(refused.error.empty());
}

TEST_F(RewriteTest, OwnerModeAndLinksAreKept) {
    MakeDir("real");
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

TEST_F(RewriteTest, WhatCannotBeReadOrIsNoFileIsLeftAlone) {
    Write("SQMENU.DAT", "TB\r\n");
    ASSERT_EQ(mkfifo(Path("FIFO").c_str(), 0666), 0);
    EXPECT_EQ(platform.OpenForReplace("FIFO").file, nullptr);
    EXPECT_EQ(platform.OpenForInput("fifo").file, nullptr); // would block without a writer
    ASSERT_TRUE(QFile::remove(QString::fromStdString(Path("FIFO"))));

    // Unreadable for the user running it: root reads everything, so the check runs as nobody.
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    ASSERT_EQ(chmod(Path("SQPATH.DAT").c_str(), 0222), 0);
    ASSERT_EQ(chown(root_.c_str(), kNobody, kNobody), 0);
    const int code = InChild([this] {
        if (!BecomeNobody())
            return 99;
        CleanOutSQPATH(platform);
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\n");
    EXPECT_EQ(Entries(), QStringList({"SQMENU.DAT", "SQPATH.DAT"}));
}

} // namespace
} // namespace zelvoset::testing
