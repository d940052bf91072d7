// Native paths: drive roots, the program's folder, and where a chosen company file lies.
#include "DataSets.h"
#include "PlatformTesting.h"

namespace zelvoset::testing {
namespace {

using PathTest = InTempDir;

TEST(PathJoinTest, ARootKeepsItsOwnSeparator) {
    Win32Platform platform;
    EXPECT_EQ(platform.JoinPath("C:\\", "SQPATH.DAT"), "C:\\SQPATH.DAT");
    EXPECT_EQ(platform.JoinPath("C:\\APP", "SVOBJ\\*.gnt"), "C:\\APP\\SVOBJ\\*.gnt");
    EXPECT_EQ(platform.JoinPath("\\\\server\\share", "RW.BAT"), "\\\\server\\share\\RW.BAT");
    EXPECT_EQ(platform.JoinPath("C:", "RW.BAT"), "C:RW.BAT"); // drive C's current folder
    EXPECT_EQ(platform.JoinPath("", ".\\"), ".\\");

    // The program's folder is its executable's, cut the same way: "C:\" for one at the root.
    EXPECT_EQ(win32::SplitPath(L"C:\\Zelvoset.exe").directory, L"C:\\");
    EXPECT_EQ(win32::SplitPath(L"C:\\APP\\Zelvoset.exe").directory, L"C:\\APP");
    // Caught: a second separator after a root's (not collapsed in the "\\?\" form).
    EXPECT_EQ(win32::JoinNative(LR"(\\?\C:\)", L"RW.BAT"), LR"(\\?\C:\RW.BAT)");
    const std::string program = platform.ProgramDirectory();
    EXPECT_EQ(program + "\\platform_win32_tests.exe", win32::Narrow(win32::ModuleFileName()));
}

TEST_F(PathTest, TheCompanyFolderIsWhereTheFileWasChosen) {
    ScriptedPlatform platform;
    platform.programDirectory = Path("Inst");
    MakeDir("Inst\\DATA\\MY CO;1");
    MakeDir("Inst\\DATA\\CO2");
    MakeDir("Inst2\\CO1");
    Write("Inst\\DATA\\MY CO;1\\sycmpf.dat", "");
    Write("Inst\\DATA\\CO2\\SYCMPF.DAT", "");
    Write("Inst\\SYCMPF.DAT", "");
    Write("Inst2\\CO1\\SYCMPF.DAT", "");
    const auto below = [&](const std::string& file, const std::string& base) {
        const auto location = platform.LocateBelow(file, base);
        return location ? location->folder + "|" + location->name : "outside";
    };

    EXPECT_EQ(below(Path("inst\\data\\my co;1\\SYCMPF.DAT"), Path("INST")),
              "DATA\\MY CO;1|sycmpf.dat");
    EXPECT_EQ(below(Path("Inst\\data\\co2\\..\\CO2\\.\\sycmpf.dat"), Path("Inst\\")),
              "DATA\\CO2|SYCMPF.DAT");
    EXPECT_EQ(below(Path("Inst2\\CO1\\SYCMPF.DAT"), Path("Inst")), "outside"); // a sibling
    EXPECT_EQ(below(Path("Inst\\DATA\\NONE\\SYCMPF.DAT"), Path("Inst")), "outside");
    // Caught: a typed name that is no plain name (the system would take it as a pattern).
    EXPECT_EQ(below(Path("Inst\\DATA\\CO2\\SYCMPF.*"), Path("Inst")), "outside");
    // A drive root as the installation folder.
    const std::string drive = root_.substr(0, 3);
    EXPECT_EQ(below(Path("Inst\\DATA\\CO2\\SYCMPF.DAT"), drive),
              root_.substr(3) + "\\Inst\\DATA\\CO2|SYCMPF.DAT");

    EXPECT_EQ(CompanyDirectory(platform, Path("Inst\\DATA\\CO2\\SYCMPF.DAT")), "DATA\\CO2");

    EXPECT_TRUE(platform.ChangeDirectory(Path("Inst\\DATA")).ok());
    EXPECT_EQ(std::filesystem::current_path().wstring(), Wide(Path("Inst\\DATA")));
    EXPECT_EQ(platform.ChangeDirectory(Path("NONE")).reason(),
              win32::SystemMessage(ERROR_FILE_NOT_FOUND));
}

} // namespace
} // namespace zelvoset::testing
