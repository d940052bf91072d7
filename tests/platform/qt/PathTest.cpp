// Directories and paths: what the company check and the browse wrapper build on, and the end.
#include "DataSets.h"
#include "PlatformTesting.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace zelvoset::testing {
namespace {

using PathTest = InTempDir;

TEST_F(PathTest, RealPathsAndTheCompanyDirectory) {
    ScriptedPlatform platform;
    platform.programDirectory = root_;
    MakeDir("DATA/MY CO;1");
    MakeDir("DATA/CO2");
    Write("DATA/MY CO;1/sycmpf.dat", "");
    Write("DATA/CO2/SYCMPF.DAT", "");
    Write("SYCMPF.DAT", "");
    ASSERT_EQ(symlink("DATA/CO2", Path("LINKED").c_str()), 0);

    EXPECT_EQ(platform.RealPath("data\\co2\\..\\CO2\\.\\sycmpf.dat"), Path("DATA/CO2/SYCMPF.DAT"));
    EXPECT_EQ(platform.RealPath("LINKED\\SYCMPF.DAT"), Path("DATA/CO2/SYCMPF.DAT"));
    EXPECT_EQ(platform.RealPath("DATA\\NONE"), std::nullopt);

    EXPECT_EQ(CompanyDirectory(platform, Path("DATA/MY CO;1/sycmpf.dat")), "DATA/MY CO;1");
    EXPECT_EQ(CompanyDirectory(platform, "LINKED\\SYCMPF.DAT"), "DATA/CO2");
    EXPECT_EQ(CompanyDirectory(platform, Path("SYCMPF.DAT")), std::nullopt); // not below
    EXPECT_EQ(platform.NativeSeparators("DATA/CO2"), "DATA/CO2");
}

TEST_F(PathTest, ChangingDirectory) {
    QtPlatform platform;
    MakeDir("Data/Co1");
    Write("file", "");
    EXPECT_TRUE(platform.ChangeDirectory(root_ + "\\DATA\\CO1").ok());
    EXPECT_EQ(QDir::currentPath().toStdString(), Path("Data/Co1"));
    EXPECT_EQ(platform.ChangeDirectory(root_ + "\\NONE").reason(), "No such file or directory");
    EXPECT_EQ(platform.ChangeDirectory(root_ + "\\file").reason(), "Not a directory");

    const std::string program = platform.ProgramDirectory();
    EXPECT_EQ(program, QCoreApplication::applicationDirPath().toStdString());
    EXPECT_FALSE(program.ends_with('/'));
}

TEST(EndProgramTest, ClosesTheWindowsAndLeavesTheEventLoop) {
    QtPlatform platform;
    QWidget window;
    window.show();
    QTimer::singleShot(0, [&] { platform.EndProgram(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(window.isVisible());

    // Before the event loop runs there is none to leave: the process ends right away.
    EXPECT_EQ(InChild([] {
                  QtPlatform().EndProgram();
                  return 1;
              }),
              0);
}

} // namespace
} // namespace zelvoset::testing
