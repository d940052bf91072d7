// Native paths: drive roots, the program's folder, and where a chosen company file lies.
#include "DataSets.h"
#include "PlatformTesting.h"

IMPORT_SLOT(GetFinalPathNameByHandleW);
IMPORT_SLOT(GetFileAttributesW);

namespace zelvoset::testing {
namespace {

using PathTest = InTempDir;

const auto realGetFileAttributesW = __imp_GetFileAttributesW;

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
    // Caught: a deep path not given the "\\?\" form, which Wine does not need but Windows
    // does, from 248 characters on (a folder's name must leave room for an 8.3 name).
    const std::wstring limit = L"C:\\" + std::wstring(245, L'A');
    EXPECT_EQ(win32::LongPathSafe(limit.substr(0, 247)), limit.substr(0, 247));
    EXPECT_EQ(win32::LongPathSafe(limit), LR"(\\?\)" + limit);
    EXPECT_EQ(win32::LongPathSafe(LR"(\\server\share\)" + limit.substr(3)),
              LR"(\\?\UNC\server\share\)" + limit.substr(3));
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

// Some file systems, and Wine past MAX_PATH, give no final path: the full path given stands in
// for it, but never when the name is itself a link (a reparse point, which Wine does not make),
// whose target would then be taken for the file. Caught: that name taken all the same.
TEST_F(PathTest, WithoutAFinalPathOnlyAPlainNameStandsInForIt) {
    Write("SQPATH.DAT", "");
    const win32::Handle file(CreateFileW(System("SQPATH.DAT").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const Intercept unresolved(__imp_GetFinalPathNameByHandleW,
                               [](HANDLE, wchar_t*, DWORD, DWORD) -> DWORD {
                                   SetLastError(ERROR_NOT_SUPPORTED);
                                   return 0;
                               });
    EXPECT_EQ(win32::FinalPath(file.get(), System("SQPATH.DAT")), Wide(Path("SQPATH.DAT")));
    const Intercept link(__imp_GetFileAttributesW, [](const wchar_t* path) -> DWORD {
        return realGetFileAttributesW(path) | FILE_ATTRIBUTE_REPARSE_POINT;
    });
    EXPECT_EQ(win32::FinalPath(file.get(), System("SQPATH.DAT")), std::nullopt);
}

} // namespace
} // namespace zelvoset::testing
