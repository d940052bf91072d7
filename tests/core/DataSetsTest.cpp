#include "DataSets.h"
#include "FakePlatform.h"

#include <gtest/gtest.h>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;
using Message = FakePlatform::Message;

namespace {

const char* kCompanyRule = "The company file must be SYCMPF.DAT in a folder below the "
                           "installation folder, empty files cannot be initialized";

// A CP installation where the user picks `chosen`, which the platform finds at `where` below
// the installation, or outside it.
FakePlatform CompanyChoice(const std::string& chosen, std::optional<Location> where) {
    FakePlatform platform;
    platform.browseAnswer = chosen;
    if (where)
        platform.locations[chosen] = *where;
    return platform;
}

} // namespace

TEST(DemoData, LaunchesResetScriptOrSaysItIsMissing) {
    FakePlatform platform;
    InstallDemoData(platform);
    EXPECT_EQ(platform.EventsOf("launch"), std::vector<std::string>{"launch svreset.bat"});
    EXPECT_TRUE(platform.messages.empty());

    FakePlatform missing;
    missing.launchFailures["svreset.bat"] = "No such file or directory";
    InstallDemoData(missing);
    EXPECT_EQ(missing.messages,
              (std::vector{
                  Message{"Svreset batch file missing, demo data cannot be installed", 16, ""}}));
}

TEST(EmptyFiles, PbsCleansBothFilesBeforeStartingTheScripts) {
    FakePlatform platform;
    platform.files["C:\\APP\\SQPATH.DAT"].bytes = "00SV\r\nkeep\r\n";
    platform.files["C:\\APP\\SQMENU.DAT"].bytes = "TB\r\nmenu\r\n";
    EXPECT_TRUE(InstallEmptyDataFiles(platform, Layout::PBS).ok());
    EXPECT_EQ(
        platform.EventsOf("replace", "launch"),
        (std::vector<std::string>{"replace C:\\APP\\SQPATH.DAT", "replace C:\\APP\\SQMENU.DAT",
                                  "launch svpath.bat", "launch vlkreset.bat [nowarning]"}));
    EXPECT_EQ(platform.files["C:\\APP\\SQPATH.DAT"].bytes, "keep\r\n");
}

TEST(EmptyFiles, RwLayoutsOnlyStartTheResetScript) {
    for (const Layout variant : {Layout::RW, Layout::RW9}) {
        FakePlatform platform;
        EXPECT_TRUE(InstallEmptyDataFiles(platform, variant).ok());
        EXPECT_EQ(platform.EventsOf("launch"),
                  std::vector<std::string>{"launch vlkreset.bat [nowarning]"});
        EXPECT_TRUE(platform.EventsOf("probe").empty()); // no cleaning
    }
}

TEST(EmptyFiles, NoLayoutSaysRequiredFileMissing) {
    FakePlatform platform;
    EXPECT_TRUE(InstallEmptyDataFiles(platform, std::nullopt).ok());
    EXPECT_TRUE(platform.launches.empty());
    EXPECT_EQ(
        platform.messages,
        (std::vector{Message{"Required file missing, empty files cannot be initialized", 16, ""}}));
}

TEST(EmptyFiles, FirstFailedLaunchEndsTheActionAndNamesTheScript) {
    FakePlatform platform;
    platform.launchFailures["svpath.bat"] = "No such file or directory";
    const Status status = InstallEmptyDataFiles(platform, Layout::PBS);
    EXPECT_EQ(status.reason(), "svpath.bat could not be started: No such file or directory");
    EXPECT_TRUE(platform.launches.empty()); // vlkreset.bat not tried
    EXPECT_TRUE(platform.messages.empty()); // the caller decides how to report
}

TEST(EmptyFiles, CompanyDirectoryIsRelativeToTheInstallation) {
    auto direct = CompanyChoice("C:\\APP\\CO1\\SYCMPF.DAT", Location{"CO1", "SYCMPF.DAT"});
    EXPECT_TRUE(InstallEmptyDataFiles(direct, Layout::CP).ok());
    ASSERT_EQ(direct.launches.size(), 1u);
    EXPECT_EQ(direct.launches[0].script, "Zelvoset.bat");
    EXPECT_EQ(direct.launches[0].arguments, std::vector<std::string>{"CO1"});
    EXPECT_EQ(direct.EventsOf("locate"),
              std::vector<std::string>{"locate C:\\APP\\CO1\\SYCMPF.DAT below C:\\APP"});

    auto nested =
        CompanyChoice("C:\\APP\\DATA\\.\\CO2\\sycmpf.dat", Location{"DATA\\CO2", "sycmpf.dat"});
    EXPECT_TRUE(InstallEmptyDataFiles(nested, Layout::CP).ok());
    ASSERT_EQ(nested.launches.size(), 1u);
    EXPECT_EQ(nested.launches[0].arguments, std::vector<std::string>{"DATA\\CO2"});

    const BrowseRequest& request = nested.browses.at(0);
    EXPECT_EQ(request.title, "Browse for Company File");
    EXPECT_EQ(request.initDir, ".\\");
    EXPECT_EQ(request.fileName, "SYCMPF.DAT");
    EXPECT_EQ(request.defaultExt, "DAT");
    EXPECT_EQ(request.filter, "Company file (SYCMPF.DAT)|SYCMPF.DAT");
}

TEST(EmptyFiles, CompanyFileInTheWrongPlaceLaunchesNothing) {
    // Where the file lies is the platform's to find (its tests cover links, prefixes and "..");
    // the name is the core's to check.
    const std::pair<const char*, std::optional<Location>> cases[] = {
        {"C:\\APP\\SYCMPF.DAT", std::nullopt},                         // not below the installation
        {"C:\\APP\\CO1\\OTHER.DAT", Location{"CO1", "OTHER.DAT"}},     // not the company file
        {"C:\\APP\\CO1\\XSYCMPF.DAT", Location{"CO1", "XSYCMPF.DAT"}}, // only ends like it
    };
    for (const auto& [chosen, where] : cases) {
        auto platform = CompanyChoice(chosen, where);
        const Status status = InstallEmptyDataFiles(platform, Layout::CP);
        EXPECT_EQ(status.reason(), kCompanyRule) << chosen;
        EXPECT_TRUE(platform.launches.empty()) << chosen;
    }
}

TEST(EmptyFiles, CancelledBrowseDoesNothing) {
    FakePlatform platform;
    EXPECT_TRUE(InstallEmptyDataFiles(platform, Layout::CP).ok());
    EXPECT_TRUE(platform.launches.empty());
    EXPECT_TRUE(platform.messages.empty());
}

TEST(GenericBrowse, ReturnsToProgramDirectoryEitherWay) {
    FakePlatform platform;
    EXPECT_EQ(GenericBrowse(platform, ".\\", "A", "B", "C", "D|E"), "");
    EXPECT_EQ(platform.currentDirectory, "C:\\APP");
    platform.browseAnswer = "C:\\APP\\X\\A";
    platform.currentDirectory = "C:\\START";
    EXPECT_EQ(GenericBrowse(platform, ".\\", "A", "B", "C", "D|E"), "C:\\APP\\X\\A");
    EXPECT_EQ(platform.currentDirectory, "C:\\APP");
}
