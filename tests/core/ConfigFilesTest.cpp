#include "ConfigFiles.h"
#include "FakePlatform.h"
#include "LineFile.h"

#include <gtest/gtest.h>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;

namespace {

const std::string kPath = "C:\\APP\\SQPATH.DAT";
const std::string kMenu = "C:\\APP\\SQMENU.DAT";
const std::string kRwBat = "C:\\APP\\RW.BAT";
const std::string kSynrun = "C:\\APP\\SYNRUN.SYN";

const std::string kRwQuestion =
    "The RW.BAT file needs the line SET COBSW=-F added in order for Zelvo to function "
    "properly.\r\n\r\nDo you want this procedure to automatically add the required line?";
const std::string kRwWarning =
    "You will need to manually add the line SET COBSW=-F to the RW.BAT file in order for Zelvo "
    "to function properly.  Please refer to the installation instructions.";

} // namespace

TEST(CleanOutSQPATH, DropsExactPrefixLinesFromBothFiles) {
    FakePlatform platform;
    // Caught: a prefix a byte short ("00S keep" dropped).
    platform.files[kPath].bytes =
        "00SV\r\n00SVDATA\r\n00sv keep\r\n 00SV keep\r\n\r\n0SV\r\n00S keep\r\nlast";
    platform.files[kMenu].bytes = "TB\r\nTBX\r\ntb\r\nXTB\r\nT\r\n";
    CleanOutSQPATH(platform);
    EXPECT_EQ(platform.files[kPath].bytes,
              "00sv keep\r\n 00SV keep\r\n\r\n0SV\r\n00S keep\r\nlast\r\n");
    EXPECT_EQ(platform.files[kMenu].bytes, "tb\r\nXTB\r\nT\r\n");
}

TEST(CleanOutSQPATH, FileWhoseEveryLineMatchesBecomesEmpty) {
    FakePlatform platform;
    platform.files[kPath].bytes = "00SV1\r\n00SV2\r\n";
    platform.files[kMenu].bytes = "TB1\nTB2";
    CleanOutSQPATH(platform);
    EXPECT_EQ(platform.files[kPath].bytes, "");
    EXPECT_EQ(platform.files[kMenu].bytes, "");
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

TEST(addCOBSW, NearMissesAskAndYesPutsTheLineOnTop) {
    FakePlatform platform;
    platform.files[kRwBat].bytes = "@echo off\r\nset cobsw=-f\nSET COBSW=-F \r\n";
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::RW9);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kRwQuestion);
    EXPECT_EQ(platform.messages[0].style, 36);
    EXPECT_EQ(platform.messages[0].title, "File modification required");
    EXPECT_EQ(platform.files[kRwBat].bytes,
              "@echo off\r\nSET COBSW=-F\r\n@echo off\r\nset cobsw=-f\r\nSET COBSW=-F \r\n");
}

TEST(addCOBSW, EmptyBatchFileAnsweredYes) {
    FakePlatform platform;
    platform.files[kRwBat].bytes = "";
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::RW9);
    EXPECT_EQ(platform.files[kRwBat].bytes, "@echo off\r\nSET COBSW=-F\r\n");
}

TEST(addCOBSW, SynrunGetsItsLineWithoutEchoOff) {
    FakePlatform platform;
    platform.files[kSynrun].bytes = "PATH=X\r\n";
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::CP);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "The SYNRUN.SYN file needs the line COBSW=-F added in order for Zelvo to function "
              "properly.\r\n\r\nDo you want this procedure to automatically add the required "
              "line?");
    EXPECT_EQ(platform.files[kSynrun].bytes, "COBSW=-F\r\nPATH=X\r\n");
}

TEST(addCOBSW, NoLeavesTheFileAndWarns) {
    FakePlatform platform;
    platform.files[kRwBat].bytes = "echo hi\n";
    platform.answers = {kAnswerNo};
    addCOBSW(platform, Layout::RW9);
    EXPECT_EQ(platform.files[kRwBat].bytes, "echo hi\n");
    EXPECT_TRUE(platform.EventsOf("replace").empty());
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, kRwWarning);
    EXPECT_EQ(platform.messages[1].style, 48);
    EXPECT_EQ(platform.messages[1].title, "File modification required");
}

TEST(addCOBSW, FailedWriteAfterYesWarnsLikeNo) {
    FakePlatform platform;
    platform.files[kRwBat] = {"echo hi\r\n", false, /*readOnly*/ true, false};
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::RW9);
    EXPECT_EQ(platform.files[kRwBat].bytes, "echo hi\r\n");
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, kRwWarning);
    EXPECT_EQ(platform.messages[1].style, 48);

    // An unreadable file can't prove the line is there: ask, and never empty it.
    FakePlatform unreadable;
    unreadable.files[kRwBat] = {"echo hi\r\n", /*unreadable*/ true, false, false};
    unreadable.answers = {kAnswerYes};
    addCOBSW(unreadable, Layout::RW9);
    EXPECT_EQ(unreadable.files[kRwBat].bytes, "echo hi\r\n");
    ASSERT_EQ(unreadable.messages.size(), 2u);
    EXPECT_EQ(unreadable.messages[1].text, kRwWarning);
}

TEST(CleanOutSQPATH, ABackupLeftIsNamedAndPutBackAtTheNextStart) {
    // In place, the overwrite fails and so does putting the old bytes back: the user learns
    // where they are, once, by the file's name and the backup's.
    FakePlatform platform;
    platform.files[kPath].bytes = "00SV\r\nkeep\r\n";
    platform.files[kPath].shared = true;
    platform.files[kPath].failCommit = true;
    CleanOutSQPATH(platform);
    std::string backup;
    for (const auto& [name, file] : platform.files)
        if (name.starts_with(kPath + ".zelvoset-backup-"))
            backup = name;
    ASSERT_FALSE(backup.empty());
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
