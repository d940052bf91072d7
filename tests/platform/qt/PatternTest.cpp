// Wildcard probes and deletion on real directories, and detection built on them.
#include "Layout.h"
#include "PlatformTesting.h"

#include <sys/stat.h>

namespace zelvoset::testing {
namespace {

using PatternTest = InTempDir;

TEST_F(PatternTest, OnlyOrdinaryFilesCount) {
    QtPlatform platform;
    Write("SV/.hidden", "x");
    Write("SV/SUB/inner.dat", "x");
    ASSERT_EQ(mkfifo(Path("SV/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("SUB", Path("SV/dirlink").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", Path("SV/dangling").c_str()), 0);
    EXPECT_EQ(platform.PatternHasFile("SV/*.*"), Probe::None);
    EXPECT_EQ(platform.PatternHasFile("SV/.hidden"), Probe::None);

    ASSERT_EQ(symlink("SUB/inner.dat", Path("SV/filelink").c_str()), 0);
    EXPECT_EQ(platform.PatternHasFile("SV/*.*"), Probe::Found);
    EXPECT_EQ(platform.PatternHasFile("SV/FILELINK"), Probe::Found);
}

// Caught: of several spellings of a name, the first that the folder lists taken, so that which
// file is read depends on the folder's order; made in both orders, in two folders.
TEST_F(PatternTest, OfSeveralSpellingsTheSmallestInByteOrderIsRead) {
    QtPlatform platform;
    // The first bytes of the file a name opens.
    const auto opened = [&](const std::string& name) {
        char bytes[16] = {};
        const auto input = platform.OpenForInput(name);
        return input.file ? std::string(bytes, input.file->Read(bytes, sizeof bytes).value_or(0))
                          : "<not opened>";
    };
    const std::vector<std::string> names = {"sqpath.dat", "Sqpath.dat", "SQPATH.DAT", "sqPATH.dat"};
    for (const std::string folder : {"made", "reversed"}) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& name = names[folder == "made" ? i : names.size() - 1 - i];
            Write(folder + "/" + name, name);
        }
        EXPECT_EQ(opened(folder + "/SqPath.Dat"), "SQPATH.DAT") << folder;
    }
    // Caught: the exact spelling not read first.
    EXPECT_EQ(opened("made/sqpath.dat"), "sqpath.dat");
}

TEST_F(PatternTest, UnreadableDirectoryIsAFailedProbe) {
    Write("SVOBJ/a.gnt", "x");
    MakeDir("SV");
    ASSERT_EQ(symlink("../SVOBJ/a.gnt", Path("SV/link").c_str()), 0);
    // Searched but not listed: a name is found as spelled, and no other spelling can be looked for.
    Write("LISTLESS/Classic9.ico", "");
    Write("LISTLESS/SVOBJ/a.gnt", "x");
    ASSERT_EQ(chmod(Path("SVOBJ").c_str(), 0), 0);
    ASSERT_EQ(chmod(Path("LISTLESS").c_str(), 0111), 0);
    const int code = InChild([] {
        if (!BecomeNobody())
            return 99;
        QtPlatform platform;
        // Caught (SV/link): a link that leads where this user may not look counted as no file.
        // Caught (LISTLESS): a literal marker, or a pattern's folder, whose other spellings could
        // not be looked for counted as missing, which start-up must take as present.
        const char* patterns[] = {"SVOBJ/*.*", "svobj/A.GNT", "SV/link", "LISTLESS/CLASSIC9.ICO",
                                  "LISTLESS/svobj/*.*"};
        for (int i = 0; i < int(std::size(patterns)); ++i)
            if (platform.PatternHasFile(patterns[i]) != Probe::Failed)
                return 10 + i;
        if (platform.DeleteMatching("SVOBJ/*.gnt"))
            return 3;
        // Detection takes the failed probe as a hit.
        return DetectInstallVariant(platform) == Layout::RW ? 0 : 4;
    });
    chmod(Path("SVOBJ").c_str(), 0755);
    chmod(Path("LISTLESS").c_str(), 0755);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read("SVOBJ/a.gnt"), "x");
}

TEST_F(PatternTest, DeletesOnlyTheDirectorysOwnMatchingFiles) {
    QtPlatform platform;
    Write("SVOBJ/SUB.GNT/inner.gnt", "x");
    for (const char* name : {"A.GNT", "b.gnt", "C.Gnt", "keep.txt", "gnt", ".hidden.gnt"})
        Write(std::string("SVOBJ/") + name, "x");
    Write("top.gnt", "x");

    EXPECT_TRUE(platform.DeleteMatching("svobj/*.GNT").ok());
    EXPECT_EQ(Entries("SVOBJ"), QStringList({".hidden.gnt", "SUB.GNT", "gnt", "keep.txt"}));
    EXPECT_EQ(Entries("SVOBJ/SUB.GNT"), QStringList({"inner.gnt"}));
    EXPECT_EQ(Read("top.gnt"), "x");

    EXPECT_FALSE(platform.DeleteMatching("SVOBJ/*.gnt").ok());
    EXPECT_FALSE(platform.DeleteMatching("NOWHERE/*.gnt").ok());
    EXPECT_TRUE(platform.DeleteMatching("SVOBJ/KEEP.TXT").ok());
    EXPECT_FALSE(platform.DeleteMatching("SVOBJ/KEEP.TXT").ok());
}

TEST_F(PatternTest, DetectionOnRealDirectories) {
    QtPlatform platform;
    EXPECT_EQ(DetectInstallVariant(platform), std::nullopt);

    MakeDir("SV/EMPTYSUB");
    Write("SV/.profile", "x"); // an SV holding only a subdirectory and a hidden file
    EXPECT_EQ(DetectInstallVariant(platform), std::nullopt);

    Write("svobj/prog.gnt", "x");
    EXPECT_EQ(DetectInstallVariant(platform), Layout::RW);
    Write("Classic9.ico", "");
    EXPECT_EQ(DetectInstallVariant(platform), Layout::RW9);
    Write("pbs.bat", "");
    EXPECT_EQ(DetectInstallVariant(platform), Layout::PBS);
    Write("SV/SVFILE", "x");
    EXPECT_EQ(DetectInstallVariant(platform), Layout::CP);
}

} // namespace
} // namespace zelvoset::testing
