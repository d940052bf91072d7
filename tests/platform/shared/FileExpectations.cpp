// What every system's platform must do alike with real files: compiled into each system's suite,
// against that suite's own fixture (PlatformTesting.h: InTempDir, ScriptedPlatform).
#include "ConfigFiles.h"
#include "FileRewrite.h"
#include "Layout.h"
#include "PlatformTesting.h"

namespace zelvoset::testing {
namespace {

using LineFileRewriteTest = InInstallation;

TEST_F(LineFileRewriteTest, EveryKindOfLineEndIsALineEnd) {
    Write("SQPATH.DAT", "00SV1\nKEEP\rA\r\n00SVx\r\n\nlast");
    Write("SQMENU.DAT", "TB1\rMENU\rTBx\r");
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "KEEP\r\nA\r\n\r\nlast\r\n");
    EXPECT_EQ(Read("SQMENU.DAT"), "MENU\r\n");
}

TEST_F(LineFileRewriteTest, LongFilesAndAllByteValuesAreKept) {
    std::string old, expected;
    for (int i = 0; i < 80000; ++i) {
        const std::string line = "L" + std::to_string(i) + std::string("\0\xE9\xFF", 3);
        old += line + "\n";
        expected += line + "\r\n";
        if (i % 1000 == 0)
            old += "00SV dropped\n";
    }
    Write("SQPATH.DAT", old);
    // Caught: the start of a line longer than a block, carried from a few bytes before the
    // block's end, lost when the next block holds no line end.
    const std::string first((256 << 10) - 5, 'f'), rest(300000, 'x');
    Write("SQMENU.DAT", first + "\nLONG" + rest);
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), expected);
    EXPECT_TRUE(Read("SQMENU.DAT") == first + "\r\nLONG" + rest + "\r\n");
}

TEST_F(LineFileRewriteTest, LowerCaseFilesAreRewrittenUnderTheirOwnNames) {
    Write("sqpath.dat", "00SV\r\nkept\r\n");
    Write("Sqmenu.Dat", "TB\r\nmenu\r\n");
    CleanOutSQPATH(platform);
    EXPECT_EQ(List(), (std::vector<std::string>{"Sqmenu.Dat", "sqpath.dat"}));
    EXPECT_EQ(Read("sqpath.dat"), "kept\r\n");
    EXPECT_EQ(Read("Sqmenu.Dat"), "menu\r\n");
}

TEST_F(LineFileRewriteTest, AFolderInTheFilesPlaceIsLeftAlone) {
    MakeDir("SQPATH.DAT");
    Write("SQMENU.DAT", "TB\r\n");
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQMENU.DAT"), "TB\r\n");
    EXPECT_EQ(platform.OpenForInput("SQPATH.DAT").file, nullptr);
    EXPECT_FALSE(RewriteFile(platform.Files(), "sqpath.dat", platform.ProgramDirectory(),
                             [](InputFile&, OutputFile&) { return Status::Ok(); })
                     .status.ok());
}

TEST_F(LineFileRewriteTest, ARuntimeSwitchLineThatCannotBeWrittenIsReported) {
    Write("synrun.syn", "X=1\n");
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::CP);
    EXPECT_EQ(Read("synrun.syn"), "COBSW=-F\r\nX=1\r\n");
    ASSERT_EQ(platform.messages.size(), 1u);

    Write("RW.BAT", "call prog\r\n");
    MakeReadOnly("RW.BAT");
    platform.answers = {kAnswerYes};
    addCOBSW(platform, Layout::RW9);
    EXPECT_EQ(Read("RW.BAT"), "call prog\r\n");
    ASSERT_EQ(platform.messages.size(), 3u);
    EXPECT_EQ(platform.messages[2],
              (ScriptedPlatform::Message{
                  "You will need to manually add the line SET COBSW=-F to the RW.BAT file in order "
                  "for Zelvo to function properly.  Please refer to the installation instructions.",
                  kStyleWarning, "File modification required"}));

    // Caught: the end of a line longer than a block taken for the wanted line: asked all the same.
    Write("synrun.syn", std::string(256 << 10, 'x') + "COBSW=-F\r\n");
    addCOBSW(platform, Layout::CP);
    EXPECT_EQ(platform.messages.size(), 5u);
}

using ProbeTest = InTempDir;

TEST_F(ProbeTest, FindsOrdinaryFilesWithoutRegardToCase) {
    ScriptedPlatform platform;
    MakeDir("svobj");
    Write("svobj/readme", "x"); // no dot, still matched by *.*
    Write("classic9.ico", "");
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath({}, "SVOBJ\\*.*")), Probe::Found);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath({}, "SvObj\\READ?E")), Probe::Found);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath({}, "CLASSIC9.ICO")), Probe::Found);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath(root_, "SVOBJ\\*.*")), Probe::Found);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath({}, "SVOBJ\\*.gnt")), Probe::None);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath({}, "PBS.BAT")), Probe::None);
    EXPECT_EQ(platform.PatternHasFile(platform.JoinPath({}, "MISSING\\*.*")), Probe::None);
    EXPECT_EQ(DetectInstallVariant(platform), Layout::RW9);
}

} // namespace
} // namespace zelvoset::testing
