#include "ConfigFiles.h"
#include "FakePlatform.h"
#include "FileRewrite.h"
#include "LineFile.h"

#include <gtest/gtest.h>

#include <array>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;
using Message = FakePlatform::Message;

namespace {

const std::string kPath = "C:\\APP\\SQPATH.DAT";
const std::string kMenu = "C:\\APP\\SQMENU.DAT";
const std::string kRwBat = "C:\\APP\\RW.BAT";
const std::string kSynrun = "C:\\APP\\SYNRUN.SYN";

const std::string kTitle = "File modification required";
const std::string kRwQuestion =
    "The RW.BAT file needs the line SET COBSW=-F added in order for Zelvo to function "
    "properly.\r\n\r\nDo you want this procedure to automatically add the required line?";
const std::string kRwWarning =
    "You will need to manually add the line SET COBSW=-F to the RW.BAT file in order for Zelvo "
    "to function properly.  Please refer to the installation instructions.";

} // namespace

TEST(CleanOutSQPATH, DropsExactPrefixLinesFromBothFiles) {
    // The path file before and after, the menu file before and after.
    const std::array<std::string, 4> cases[] = {
        // Caught: a prefix a byte short ("00S keep" dropped).
        {"00SV\r\n00SVDATA\r\n00sv keep\r\n 00SV keep\r\n\r\n0SV\r\n00S keep\r\nlast",
         "00sv keep\r\n 00SV keep\r\n\r\n0SV\r\n00S keep\r\nlast\r\n",
         "TB\r\nTBX\r\ntb\r\nXTB\r\nT\r\n", "tb\r\nXTB\r\nT\r\n"},
        {"00SV1\r\n00SV2\r\n", "", "TB1\nTB2", ""}, // every line matches: empty
    };
    for (const auto& [path, cleanPath, menu, cleanMenu] : cases) {
        FakePlatform platform;
        platform.files[kPath].bytes = path;
        platform.files[kMenu].bytes = menu;
        CleanOutSQPATH(platform);
        EXPECT_EQ(platform.files[kPath].bytes, cleanPath);
        EXPECT_EQ(platform.files[kMenu].bytes, cleanMenu);
    }
}

TEST(CleanOutSQPATH, MissingOrUnprobeablePathFileLeavesMenuAlone) {
    for (Probe probe : {Probe::None, Probe::Failed}) {
        FakePlatform platform;
        platform.files[kMenu].bytes = "TB1\r\n";
        platform.probes[kPath] = probe;
        CleanOutSQPATH(platform);
        EXPECT_EQ(platform.files[kMenu].bytes, "TB1\r\n");
        EXPECT_TRUE(platform.EventsOf("replace").empty());
        EXPECT_EQ(platform.EventsOf("probe").size(), 1u);
    }
}

TEST(CleanOutSQPATH, FailedFirstPassStillCleansMenuAndReportsNothing) {
    FakePlatform platform;
    platform.files[kPath] = {"00SV\r\nkeep\r\n", false, /*readOnly*/ true, false};
    platform.files[kMenu].bytes = "TB1\r\nmenu\r\n";
    CleanOutSQPATH(platform);
    EXPECT_EQ(platform.files[kPath].bytes, "00SV\r\nkeep\r\n");
    EXPECT_EQ(platform.files[kMenu].bytes, "menu\r\n");
    EXPECT_TRUE(platform.messages.empty());
}

TEST(addCOBSW, OtherLayoutsReadNothingAndAskNothing) {
    for (const std::optional<Layout> layout :
         {std::optional(Layout::RW), std::optional(Layout::PBS), std::optional<Layout>()}) {
        FakePlatform platform;
        platform.files[kRwBat].bytes = "x\r\n";
        platform.files[kSynrun].bytes = "x\r\n";
        addCOBSW(platform, layout);
        EXPECT_TRUE(platform.events.empty()) << ::testing::PrintToString(layout);
    }
}

TEST(addCOBSW, MissingStartupFileIsNeitherCreatedNorReported) {
    FakePlatform platform;
    addCOBSW(platform, Layout::RW9);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.files.empty());
}

TEST(addCOBSW, PresentLineMeansNoQuestion) {
    for (const char* bytes : {"SET COBSW=-F\r\nrest\r\n", "@echo off\nrun\nSET COBSW=-F"}) {
        FakePlatform platform;
        platform.files[kRwBat].bytes = bytes;
        addCOBSW(platform, Layout::RW9);
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(platform.files[kRwBat].bytes, bytes);
    }
}

// Near misses ask, and Yes puts the line on top: under "@echo off" in RW.BAT (an empty one
// too), and without it in SYNRUN.SYN.
TEST(addCOBSW, NearMissesAskAndYesPutsTheLineOnTop) {
    const struct {
        std::string path, bytes, question, after;
    } cases[] = {
        {kRwBat, "@echo off\r\nset cobsw=-f\nSET COBSW=-F \r\n", kRwQuestion,
         "@echo off\r\nSET COBSW=-F\r\n@echo off\r\nset cobsw=-f\r\nSET COBSW=-F \r\n"},
        {kRwBat, "", kRwQuestion, "@echo off\r\nSET COBSW=-F\r\n"},
        {kSynrun, "PATH=X\r\n",
         "The SYNRUN.SYN file needs the line COBSW=-F added in order for Zelvo to function "
         "properly.\r\n\r\nDo you want this procedure to automatically add the required line?",
         "COBSW=-F\r\nPATH=X\r\n"},
    };
    for (const auto& [path, bytes, question, after] : cases) {
        FakePlatform platform;
        platform.files[path].bytes = bytes;
        platform.answers = {kAnswerYes};
        addCOBSW(platform, path == kRwBat ? Layout::RW9 : Layout::CP);
        EXPECT_EQ(platform.messages, (std::vector{Message{question, 36, kTitle}})) << path;
        EXPECT_EQ(platform.files[path].bytes, after);
    }
}

TEST(addCOBSW, NoLeavesTheFileAndWarns) {
    FakePlatform platform;
    platform.files[kRwBat].bytes = "echo hi\n";
    platform.answers = {kAnswerNo};
    addCOBSW(platform, Layout::RW9);
    EXPECT_EQ(platform.files[kRwBat].bytes, "echo hi\n");
    EXPECT_TRUE(platform.EventsOf("replace").empty());
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1], (Message{kRwWarning, 48, kTitle}));
}

// A read-only file, and an unreadable one: that can't prove the line is there, so the user is
// asked, and it is never emptied.
TEST(addCOBSW, FailedWriteAfterYesWarnsLikeNo) {
    for (const bool unreadable : {false, true}) {
        FakePlatform platform;
        platform.files[kRwBat] = {"echo hi\r\n", unreadable, !unreadable, false};
        platform.answers = {kAnswerYes};
        addCOBSW(platform, Layout::RW9);
        EXPECT_EQ(platform.files[kRwBat].bytes, "echo hi\r\n");
        ASSERT_EQ(platform.messages.size(), 2u);
        EXPECT_EQ(platform.messages[1], (Message{kRwWarning, 48, kTitle}));
    }
}

TEST(CleanOutSQPATH, ABackupLeftIsNamedAndPutBackAtTheNextStart) {
    // In place, the overwrite fails and so does putting the old bytes back: the user learns
    // where they are, once, by the file's name and the backup's.
    FakePlatform platform;
    platform.files[kPath].bytes = "00SV\r\nkeep\r\n";
    platform.files[kPath].shared = true;
    platform.files[kPath].failCommit = true;
    CleanOutSQPATH(platform);
    const std::string backup =
        "C:\\APP\\" + BackupName({.location = kPath, .identity = "id1", .stamp = {}});
    EXPECT_EQ(platform.files[backup].bytes, "00SV\r\nkeep\r\n");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find(kPath), std::string::npos);
    EXPECT_NE(platform.messages[0].text.find(backup), std::string::npos);
    EXPECT_EQ(platform.messages[0].style, kStyleWarning);
    // Caught: a failed rewrite told as a done one whose backup stayed.
    EXPECT_TRUE(platform.messages[0].text.starts_with("The file " + kPath + " could not be"));

    // At the next start, still not to be put back: named again, during start-up too.
    platform.messages.clear();
    RecoverInterruptedRewrites(platform);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find(backup), std::string::npos);

    // Put back, but kept: caught, the old bytes told as lost.
    platform.messages.clear();
    platform.files[kPath].failCommit = false;
    platform.files[backup].undeletable = true;
    RecoverInterruptedRewrites(platform);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("were put back, but the copy of them in " + backup),
              std::string::npos);

    // Then the old bytes come back silently and the backup goes.
    platform.messages.clear();
    platform.files[backup].undeletable = false;
    platform.files[kPath].bytes = "mixed";
    RecoverInterruptedRewrites(platform);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(platform.files[kPath].bytes, "00SV\r\nkeep\r\n");
    EXPECT_EQ(platform.files.count(backup), 0u);

    // Caught: RW.BAT left out of the recovery, or the recovery ending at the first missing file
    // (no SQPATH.DAT, as in an RW9 installation).
    platform.files.erase(kPath);
    platform.files[kRwBat] = {"echo\r\n", false, false, /*failCommit*/ true};
    platform.files[kRwBat].shared = true;
    (void)RewriteLines(platform.Files(), kRwBat, "C:\\APP", {"x"}, {});
    platform.files[kRwBat].failCommit = false;
    platform.files[kRwBat].bytes = "mixed";
    RecoverInterruptedRewrites(platform);
    EXPECT_EQ(platform.files[kRwBat].bytes, "echo\r\n");
}
