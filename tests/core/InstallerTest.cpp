#include "Installer.h"
#include "FakePlatform.h"
#include "FileRewrite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;

TEST(FormLoad, Rw9DeletesCompiledFilesBeforeTheResetScriptAndDisablesButton) {
    FakePlatform platform;
    platform.probes = {{"CLASSIC9.ICO", Probe::Found}, {"SVOBJ\\*.gnt", Probe::Found}};
    Installer installer(platform);
    EXPECT_FALSE(installer.Form_Load());
    EXPECT_EQ(installer.InstallVariant(), Layout::RW9);
    EXPECT_EQ(platform.EventsOf("delete", "launch"),
              (std::vector<std::string>{"delete SVOBJ\\*.gnt", "launch vlkreset.bat [nowarning]"}));
    // The switch-line check runs last.
    EXPECT_EQ(platform.events.back(), "probe C:\\APP\\RW.BAT");
}

TEST(FormLoad, GntProbeRulesOnlyForRw9) {
    // The probes, and how many deletes they lead to. A failed probe still tries the delete; a
    // failed delete is skipped.
    const std::pair<std::map<std::string, Probe>, std::size_t> cases[] = {
        {{{"CLASSIC9.ICO", Probe::Found}}, 0},
        {{{"CLASSIC9.ICO", Probe::Found}, {"SVOBJ\\*.gnt", Probe::Failed}}, 1},
        {{{"SVOBJ\\*.*", Probe::Found}, {"SVOBJ\\*.gnt", Probe::Found}}, 0}};
    for (const auto& [probes, deletes] : cases) {
        FakePlatform platform;
        platform.probes = probes;
        platform.failDeletes = true;
        Installer(platform).Form_Load();
        EXPECT_EQ(platform.EventsOf("delete").size(), deletes);
        EXPECT_EQ(platform.launches.size(), 1u);
    }
}

TEST(FormLoad, PbsStartsEverythingAndSurvivesAFailingScript) {
    FakePlatform platform;
    platform.probes = {{"PBS.BAT", Probe::Found}};
    platform.launchFailures["svpath.bat"] = "No such file or directory";
    Installer installer(platform);
    EXPECT_FALSE(installer.Form_Load());
    EXPECT_TRUE(platform.messages.empty()); // start-up reports nothing of it
    EXPECT_EQ(platform.EventsOf("launch").size(), 1u);
}

TEST(FormLoad, CpAndNoLayoutDoNothingAutomatically) {
    FakePlatform cp;
    cp.probes = {{"SV\\*.*", Probe::Found}};
    cp.files["C:\\APP\\SYNRUN.SYN"].bytes = "X\r\n";
    cp.answers = {kAnswerYes};
    Installer installer(cp);
    EXPECT_TRUE(installer.Form_Load());
    EXPECT_TRUE(cp.launches.empty());
    EXPECT_EQ(cp.files["C:\\APP\\SYNRUN.SYN"].bytes, "COBSW=-F\r\nX\r\n");

    FakePlatform nothing;
    Installer empty(nothing);
    EXPECT_TRUE(empty.Form_Load());
    EXPECT_TRUE(nothing.launches.empty());
    EXPECT_TRUE(nothing.messages.empty());
    empty.cmdEmptyFiles_Click();
    ASSERT_EQ(nothing.messages.size(), 1u);
    EXPECT_EQ(nothing.messages[0].text, "Required file missing, empty files cannot be initialized");
}

TEST(EmptyFilesButton, ReportsAFailedLaunchByName) {
    FakePlatform platform;
    platform.probes = {{"SVOBJ\\*.*", Probe::Found}};
    Installer installer(platform);
    installer.Form_Load();
    platform.launchFailures["vlkreset.bat"] = "No such file or directory";
    installer.cmdEmptyFiles_Click();
    EXPECT_EQ(platform.messages,
              (std::vector{FakePlatform::Message{
                  "vlkreset.bat could not be started: No such file or directory", 16, ""}}));
}

TEST(Exit, EndsTheProgramOnceHoweverOftenItIsAsked) {
    FakePlatform platform;
    Installer installer(platform);
    installer.cmdExit_Click();
    installer.cmdExit_Click(); // the window's close box, as the ending closes the window
    EXPECT_EQ(platform.ended, 1);
}

TEST(FormLoad, PutsBackWhatAnInterruptedRewriteLeftBeforeAnythingElse) {
    FakePlatform platform;
    const std::string path = "C:\\APP\\SQPATH.DAT";
    platform.files[path].bytes = "mixed";
    // "id1": the fake store's first file.
    const std::string backup =
        "C:\\APP\\" + BackupName({.location = path, .identity = "id1", .stamp = {}});
    platform.files[backup].bytes = "00SV\r\nold\r\n";
    platform.probes = {{"CLASSIC9.ICO", Probe::Found}};

    Installer(platform).Form_Load();
    EXPECT_EQ(platform.files[path].bytes, "00SV\r\nold\r\n");
    EXPECT_EQ(platform.files.count(backup), 0u);
    EXPECT_TRUE(platform.messages.empty());
    // Put back before the layout is even looked for.
    const auto first = [&](std::string_view event) {
        return std::find(platform.events.begin(), platform.events.end(), event) -
               platform.events.begin();
    };
    EXPECT_LT(first("replace " + path), first("probe CLASSIC9.ICO"));
}

// Caught: start-up working in the folder it was started from rather than its own, entering its
// own folder only after something has been read, or giving up when that folder cannot be entered.
TEST(FormLoad, WorksInTheProgramsOwnFolderWhereverItWasStarted) {
    for (const bool enters : {true, false}) {
        FakePlatform platform; // started in C:\START
        if (!enters)
            platform.chdirFailure = "No such file or directory";
        platform.probes = {{"PBS.BAT", Probe::Found}};
        Installer(platform).Form_Load();
        ASSERT_FALSE(platform.events.empty());
        EXPECT_EQ(platform.events.front(), "chdir C:\\APP");
        EXPECT_EQ(platform.currentDirectory, enters ? "C:\\APP" : "C:\\START");
        EXPECT_EQ(platform.launches.size(), 2u);
        EXPECT_TRUE(platform.messages.empty());
    }
}

namespace {

FakePlatform Pbs() {
    FakePlatform platform;
    platform.probes = {{"PBS.BAT", Probe::Found}};
    platform.files["C:\\APP\\SQPATH.DAT"].bytes = "00SVX\r\nKEEP\r\n";
    platform.files["C:\\APP\\SQMENU.DAT"].bytes = "TB1\r\nMENU\r\n";
    return platform;
}

} // namespace

// Caught: rights looked at only once files have changed, or not at all; a new start asked for
// more than once, or this one going on after it; the refusal untold, told twice, told before
// start-up's own question, or naming the wrong files; a start-up that does less than it may.
TEST(FormLoad, WithoutTheRightsAsksOnceToStartAgainElseDoesWhatItMayAndSaysWhatIsLeft) {
    FakePlatform entitled = Pbs();
    Installer(entitled).Form_Load();
    EXPECT_TRUE(entitled.messages.empty());
    EXPECT_TRUE(entitled.EventsOf("elevate").empty());
    const auto done = entitled.EventsOf("replace", "launch", "delete", "read");

    for (const Elevation elevation : {Elevation::Declined, Elevation::Unavailable}) {
        FakePlatform refused = Pbs();
        refused.refused = {"C:\\APP\\SQPATH.DAT", "C:\\APP\\SQMENU.DAT"};
        refused.elevation = elevation;
        Installer(refused).Form_Load();
        EXPECT_EQ(refused.EventsOf("elevate"), (std::vector<std::string>{"elevate C:\\APP"}));
        EXPECT_EQ(refused.EventsOf("replace", "launch", "delete", "read"), done);
        ASSERT_EQ(refused.messages.size(), 1u);
        EXPECT_EQ(refused.events.back(), "message " + refused.messages[0].text);
        EXPECT_EQ(refused.messages[0].text,
                  "The installation is not finished: you do not have the right to change these "
                  "files in C:\\APP, so they were left as they were:\r\n\r\n    SQPATH.DAT\r\n"
                  "    SQMENU.DAT\r\n\r\nTo finish it, start Zelvoset in that folder again as an "
                  "administrator, or as a user who may change these files.");
        EXPECT_EQ(refused.messages[0].style, kStyleWarning);
        EXPECT_EQ(refused.ended, 0);
    }

    // Started again with the rights: this one changes nothing, starts nothing and ends.
    FakePlatform elevated = Pbs();
    elevated.refused = {"C:\\APP\\SQMENU.DAT"};
    elevated.elevation = Elevation::Started;
    Installer(elevated).Form_Load();
    EXPECT_EQ(elevated.files["C:\\APP\\SQPATH.DAT"].bytes, "00SVX\r\nKEEP\r\n");
    EXPECT_TRUE(elevated.EventsOf("launch", "delete", "message").empty());
    EXPECT_EQ(elevated.ended, 1);
}

// Caught: rights asked of files start-up leaves alone (a switch line already there, a file that
// is missing), or not of those it changes: the compiled programs it removes, a start-up file
// without its line, the file a recovery writes back before anything else.
TEST(FormLoad, LooksOnlyAtTheRightsOfWhatStartUpChanges) {
    struct Case {
        std::map<std::string, Probe> probes;
        std::map<std::string, std::string> files;
        std::set<std::string> refused;
        std::vector<std::string> named; // in the message, in turn
    };
    const std::string rwBat = "C:\\APP\\RW.BAT", synrun = "C:\\APP\\SYNRUN.SYN";
    const std::string sqpath = "C:\\APP\\SQPATH.DAT";
    const std::string backupPattern = sqpath + ".zelvoset-backup-*";
    // "id1": the fake store's first file, which the recovery opens first.
    const std::string backup =
        "C:\\APP\\" + BackupName({.location = sqpath, .identity = "id1", .stamp = {}});
    const Case cases[] = {
        {{{"CLASSIC9.ICO", Probe::Found}, {"SVOBJ\\*.gnt", Probe::Found}},
         {{rwBat, "RUNW\r\n"}},
         {"SVOBJ\\*.gnt", rwBat},
         {"the .gnt files in SVOBJ", "RW.BAT"}},
        {{{"CLASSIC9.ICO", Probe::Found}},
         {{rwBat, "SET COBSW=-F\r\n"}},
         {"SVOBJ\\*.gnt", rwBat},
         {}},
        {{{"SV\\*.*", Probe::Found}}, {{synrun, "X\r\n"}}, {synrun}, {"SYNRUN.SYN"}},
        {{{"SV\\*.*", Probe::Found}}, {{synrun, "COBSW=-F\r\n"}}, {synrun}, {}},
        // SQMENU.DAT alone is never cleaned: no path file, no pass.
        {{{"PBS.BAT", Probe::Found}},
         {{"C:\\APP\\SQMENU.DAT", "TB\r\n"}},
         {"C:\\APP\\SQMENU.DAT"},
         {}},
        // A backup beside the path file: the recovery writes it, whatever the layout.
        {{{"SV\\*.*", Probe::Found}, {backupPattern, Probe::Found}},
         {{sqpath, "X\r\n"}},
         {sqpath},
         {"SQPATH.DAT"}},
    };
    for (const Case& c : cases) {
        for (const Elevation elevation : {Elevation::Declined, Elevation::Started}) {
            FakePlatform platform;
            platform.probes = c.probes;
            for (const auto& [path, bytes] : c.files)
                platform.files[path].bytes = bytes;
            if (c.probes.count(backupPattern))
                platform.files[backup].bytes = "OLD\r\n";
            const auto before = platform.files;
            platform.refused = c.refused;
            platform.elevation = elevation;
            Installer(platform).Form_Load();
            if (c.named.empty()) {
                EXPECT_TRUE(platform.EventsOf("elevate").empty()) << *c.refused.begin();
                EXPECT_TRUE(platform.messages.empty()) << platform.messages.front();
                continue;
            }
            EXPECT_EQ(platform.EventsOf("elevate").size(), 1u) << c.named[0];
            if (elevation == Elevation::Started) {
                // Asked before the first change, the recovery's included.
                EXPECT_TRUE(platform.EventsOf("delete", "launch", "message").empty());
                for (const auto& [path, file] : before)
                    EXPECT_EQ(platform.files[path].bytes, file.bytes) << path;
                continue;
            }
            std::string named;
            for (const std::string& name : c.named)
                named += "\r\n    " + name;
            ASSERT_FALSE(platform.messages.empty());
            EXPECT_NE(platform.messages.back().text.find(":\r\n" + named + "\r\n\r\n"),
                      std::string::npos)
                << platform.messages.back().text;
        }
    }
}
