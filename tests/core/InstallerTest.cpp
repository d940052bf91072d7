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

// Caught: rights looked at only once files have changed (the recovery's included), or not at
// all, or asked of files start-up leaves alone (a switch line already there, a file that is
// missing, SQMENU.DAT without the path file), or not of those it changes; a new start asked for
// more than once, or this one going on after it; the refusal untold, told twice, told before
// start-up's own question, or naming the wrong files; a start-up that does less than it may.
TEST(FormLoad, WithoutTheRightsAsksOnceToStartAgainElseDoesWhatItMayAndSaysWhatIsLeft) {
    struct Case {
        std::map<std::string, Probe> probes;
        std::map<std::string, std::string> files;
        std::set<std::string> refused;
        std::string named; // as the message lists them; empty: start-up changes none of them
    };
    const std::string rwBat = "C:\\APP\\RW.BAT", synrun = "C:\\APP\\SYNRUN.SYN";
    const std::string sqpath = "C:\\APP\\SQPATH.DAT", sqmenu = "C:\\APP\\SQMENU.DAT";
    const std::string backupPattern = sqpath + ".zelvoset-backup-*";
    // "id1": the fake store's first file, which the recovery opens first.
    const std::string backup =
        "C:\\APP\\" + BackupName({.location = sqpath, .identity = "id1", .stamp = {}});
    const std::map<std::string, Probe> rw9 = {{"CLASSIC9.ICO", Probe::Found}},
                                       cp = {{"SV\\*.*", Probe::Found}};
    const Case cases[] = {
        {{{"PBS.BAT", Probe::Found}},
         {{sqpath, "00SVX\r\nKEEP\r\n"}, {sqmenu, "TB1\r\nMENU\r\n"}},
         {sqpath, sqmenu},
         "\r\n    SQPATH.DAT\r\n    SQMENU.DAT"},
        {{{"CLASSIC9.ICO", Probe::Found}, {"SVOBJ\\*.gnt", Probe::Found}},
         {{rwBat, "RUNW\r\n"}},
         {"SVOBJ\\*.gnt", rwBat},
         "\r\n    the .gnt files in SVOBJ\r\n    RW.BAT"},
        {rw9, {{rwBat, "SET COBSW=-F\r\n"}}, {"SVOBJ\\*.gnt", rwBat}, ""},
        {cp, {{synrun, "X\r\n"}}, {synrun}, "\r\n    SYNRUN.SYN"},
        {cp, {{synrun, "COBSW=-F\r\n"}}, {synrun}, ""},
        {{{"PBS.BAT", Probe::Found}}, {{sqmenu, "TB\r\n"}}, {sqmenu}, ""},
        // A backup beside the path file: the recovery writes it, whatever the layout.
        {{{"SV\\*.*", Probe::Found}, {backupPattern, Probe::Found}},
         {{sqpath, "X\r\n"}},
         {sqpath},
         "\r\n    SQPATH.DAT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(*c.refused.begin());
        const auto start = [&](FakePlatform& platform, const std::set<std::string>& refused,
                               Elevation elevation) {
            platform.probes = c.probes;
            for (const auto& [path, bytes] : c.files)
                platform.files[path].bytes = bytes;
            if (c.probes.count(backupPattern))
                platform.files[backup].bytes = "OLD\r\n";
            platform.refused = refused;
            platform.elevation = elevation;
            platform.answers = {kAnswerYes};
            Installer(platform).Form_Load();
        };
        FakePlatform entitled;
        start(entitled, {}, Elevation::Started);
        ASSERT_TRUE(entitled.EventsOf("elevate").empty());
        for (const Elevation elevation :
             {Elevation::Declined, Elevation::Unavailable, Elevation::Started}) {
            FakePlatform platform;
            start(platform, c.refused, elevation);
            if (c.named.empty()) {
                EXPECT_EQ(platform.events, entitled.events);
                continue;
            }
            EXPECT_EQ(platform.EventsOf("elevate"), (std::vector<std::string>{"elevate C:\\APP"}));
            if (elevation == Elevation::Started) {
                // Asked before the first change: this one changes nothing, starts nothing, ends.
                EXPECT_TRUE(platform.EventsOf("delete", "launch", "message").empty());
                EXPECT_EQ(platform.ended, 1);
                for (const auto& [path, bytes] : c.files)
                    EXPECT_EQ(platform.files[path].bytes, bytes) << path;
                EXPECT_EQ(platform.files.count(backup), c.probes.count(backupPattern));
                continue;
            }
            EXPECT_EQ(platform.EventsOf("replace", "launch", "delete", "read"),
                      entitled.EventsOf("replace", "launch", "delete", "read"));
            ASSERT_EQ(platform.messages.size(), entitled.messages.size() + 1);
            EXPECT_EQ(platform.events.back(), "message " + platform.messages.back().text);
            EXPECT_EQ(platform.messages.back(),
                      (FakePlatform::Message{
                          "The installation is not finished: you do not have the right to "
                          "change these files in C:\\APP, so they were left as they were:\r\n" +
                              c.named +
                              "\r\n\r\nTo finish it, start Zelvoset in that folder again as an "
                              "administrator, or as a user who may change these files.",
                          kStyleWarning, ""}));
            EXPECT_EQ(platform.ended, 0);
        }
    }
}
