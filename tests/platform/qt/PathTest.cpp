// Directories and paths: what the company check and the browse wrapper build on, and the end.
#include "DataSets.h"
#include "PlatformTesting.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>

namespace zelvoset::testing {
namespace {

using PathTest = InTempDir;

TEST_F(PathTest, TheCompanyFolderIsWhereTheFileWasChosen) {
    ScriptedPlatform platform;
    platform.programDirectory = Path("inst");
    MakeDir("inst/DATA/CO1");
    Write("inst/DATA/MY CO;1/sycmpf.dat", "");
    Write("inst/DATA/CO2/SYCMPF.DAT", "");
    Write("inst/SYCMPF.DAT", "");
    Write("inst2/CO1/SYCMPF.DAT", "");
    ASSERT_EQ(symlink("DATA/CO2", Path("inst/LINKED").c_str()), 0);
    ASSERT_EQ(symlink("../CO2/SYCMPF.DAT", Path("inst/DATA/CO1/SYCMPF.DAT").c_str()), 0);
    const auto below = [&](const std::string& file) {
        const auto location = platform.LocateBelow(file, Path("inst"));
        return location ? location->folder + "|" + location->name : "outside";
    };

    EXPECT_EQ(below(Path("inst/DATA/MY CO;1/sycmpf.dat")), "DATA/MY CO;1|sycmpf.dat");
    EXPECT_EQ(below(Path("inst/data/co2/../CO2/./sycmpf.dat")), "DATA/CO2|SYCMPF.DAT");
    EXPECT_EQ(below(Path("inst/LINKED/SYCMPF.DAT")), "DATA/CO2|SYCMPF.DAT"); // a linked folder
    // The file's own link is not followed: the user chose company CO1.
    EXPECT_EQ(below(Path("inst/DATA/CO1/SYCMPF.DAT")), "DATA/CO1|SYCMPF.DAT");
    EXPECT_EQ(below(Path("inst2/CO1/SYCMPF.DAT")), "outside"); // a sibling sharing the prefix
    EXPECT_EQ(below(Path("inst/DATA/NONE/SYCMPF.DAT")), "outside");

    EXPECT_EQ(CompanyDirectory(platform, Path("inst/DATA/MY CO;1/sycmpf.dat")), "DATA/MY CO;1");
    EXPECT_EQ(platform.JoinPath(Path("back\\slash"), "SVOBJ\\*.gnt"),
              Path("back\\slash") + "/SVOBJ/*.gnt");
}

TEST_F(PathTest, ChangingDirectory) {
    QtPlatform platform;
    MakeDir("Data/Co1");
    Write("file", "");
    EXPECT_TRUE(platform.ChangeDirectory(root_ + "/DATA/CO1").ok());
    EXPECT_EQ(QDir::currentPath().toStdString(), Path("Data/Co1"));
    EXPECT_EQ(platform.ChangeDirectory(root_ + "/NONE").reason(), "No such file or directory");
    EXPECT_EQ(platform.ChangeDirectory(root_ + "/file").reason(), "Not a directory");

    // A name that is not UTF-8 (Latin-1 "é") reaches the system as its bytes.
    const std::string latin1 = Path("caf\xE9");
    ASSERT_EQ(mkdir(latin1.c_str(), 0755), 0);
    ASSERT_EQ(close(creat((latin1 + "/SQPATH.DAT").c_str(), 0644)), 0);
    EXPECT_TRUE(platform.ChangeDirectory(latin1).ok());
    char current[4096];
    EXPECT_EQ(std::string(getcwd(current, sizeof current)), latin1);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath(latin1, "sqpath.dat")), Probe::Found);
    EXPECT_TRUE(platform.DeleteMatching(platform.JoinPath(latin1, "SQPATH.DAT")).ok());
    EXPECT_EQ(platform.PatternHasFile("SQPATH.DAT"), Probe::None);

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
