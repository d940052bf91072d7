// Wildcard probes and deletion on real folders: what counts as a file on Windows.
#include "Layout.h"
#include "PlatformTesting.h"

namespace zelvoset::testing {
namespace {

using PatternTest = InTempDir;

TEST_F(PatternTest, HiddenAndSystemFilesAndFoldersNeverCount) {
    Win32Platform platform;
    MakeDir("SV\\SUB.DAT");
    Write("SV\\hidden.dat", "x");
    Write("SV\\system.dat", "x");
    SetAttributes("SV\\hidden.dat", FILE_ATTRIBUTE_HIDDEN);
    SetAttributes("SV\\system.dat", FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(platform.PatternHasFile("SV\\*.*"), Probe::None);
    EXPECT_EQ(platform.PatternHasFile("SV\\HIDDEN.DAT"), Probe::None);
    EXPECT_FALSE(platform.DeleteMatching("SV\\*.dat").ok());
    EXPECT_EQ(List("SV"), (std::vector<std::string>{"SUB.DAT", "hidden.dat", "system.dat"}));

    Write("SV\\plain.dat", "x");
    SetAttributes("SV\\plain.dat", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    EXPECT_EQ(platform.PatternHasFile("sv\\*.*"), Probe::Found);
    EXPECT_EQ(platform.PatternHasFile(Path("SV\\PLAIN.DAT")), Probe::Found);
    EXPECT_EQ(DetectInstallVariant(platform), Layout::CP);
}

// The system matches a pattern against 8.3 short names too: "*.gnt" finds "a.gntx" (A~1.GNT).
TEST_F(PatternTest, ShortNamesNeverMatch) {
    Win32Platform platform;
    MakeDir("SVOBJ");
    Write("SVOBJ\\a.gntx", "x");
    Write("SVOBJ\\longname.gntsource", "x");
    EXPECT_EQ(platform.PatternHasFile("SVOBJ\\*.gnt"), Probe::None);
    // Nor does a literal name that is only the short name of another.
    wchar_t alias[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(Wide(Path("SVOBJ\\longname.gntsource")).c_str(), alias, MAX_PATH),
              0u);
    EXPECT_EQ(platform.PatternHasFile(win32::Narrow(alias).value()), Probe::None);
    EXPECT_FALSE(platform.DeleteMatching("SVOBJ\\*.gnt").ok());

    Write("SVOBJ\\b.GNT", "x");
    Write("SVOBJ\\c.gnt", "x");
    EXPECT_TRUE(platform.DeleteMatching(Path("svobj\\*.gnt")).ok());
    EXPECT_EQ(List("SVOBJ"), (std::vector<std::string>{"a.gntx", "longname.gntsource"}));

    // Caught: a file that could not be deleted passed over, the deletion counted as done.
    Write("SVOBJ\\d.gnt", "x");
    Write("SVOBJ\\e.gnt", "x");
    MakeReadOnly("SVOBJ\\d.gnt");
    EXPECT_FALSE(platform.DeleteMatching("SVOBJ\\*.gnt").ok());
    EXPECT_EQ(List("SVOBJ"), (std::vector<std::string>{"a.gntx", "d.gnt", "longname.gntsource"}));
}

TEST_F(PatternTest, AListingThatIsRefusedIsAFailedProbe) {
    Win32Platform platform;
    MakeDir("SVOBJ");
    Write("SVOBJ\\a.gnt", "x");
    // Held open without sharing, the folder cannot be listed by anyone else.
    const HANDLE held = CreateFileW(Wide(Path("SVOBJ")).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.PatternHasFile("SVOBJ\\*.*"), Probe::Failed);
    EXPECT_FALSE(platform.DeleteMatching("SVOBJ\\*.gnt").ok());
    // Detection takes the failed probe as a hit.
    EXPECT_EQ(DetectInstallVariant(platform), Layout::RW);
    CloseHandle(held);
    EXPECT_EQ(Read("SVOBJ\\a.gnt"), "x");
    EXPECT_EQ(platform.PatternHasFile("NOWHERE\\*.*"), Probe::None);
    EXPECT_EQ(platform.PatternHasFile("SVOBJ\\a.gnt\\*.*"), Probe::None);
}

} // namespace
} // namespace zelvoset::testing
