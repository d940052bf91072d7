// Scripts started through the system's cmd.exe: the command line built for them, and what
// arrives in a real batch file under Wine.
#include "BatchArguments.h"
#include "PlatformTesting.h"

namespace zelvoset::testing {
namespace {

using win32::BatchCommandLine;

constexpr const wchar_t* kCmd = LR"(C:\windows\system32\cmd.exe)";

TEST(BatchCommandLineTest, PlainArgumentsPassAsWrittenAndOthersAreQuoted) {
    const auto command = BatchCommandLine(kCmd, LR"(C:\APP\vlkreset.bat)",
                                          {L"nowarning", LR"(DATA\CO1)", L"a b", L"", L"x&y"});
    EXPECT_EQ(command.refusal, "");
    EXPECT_EQ(command.line, LR"("C:\windows\system32\cmd.exe" /d /e:on /v:off /s /c )"
                            LR"(""C:\APP\vlkreset.bat" nowarning DATA\CO1 "a b" "" "x&y"")");
}

// Wine's cmd.exe expands a script's %1 a second time, so this cannot be proven by a round trip
// under Wine: the command line itself must leave cmd.exe nothing to expand.
TEST(BatchCommandLineTest, NoPercentSignCanExpandAVariable) {
    const auto command =
        BatchCommandLine(kCmd, LR"(C:\100%\Zelvoset.bat)", {L"%PATH%", L"50%", L"%%"});
    EXPECT_EQ(command.line, LR"("C:\windows\system32\cmd.exe" /d /e:on /v:off /s /c )"
                            LR"(""C:\100%%cd:~,%\Zelvoset.bat" "%%cd:~,%PATH%%cd:~,%" )"
                            LR"("50%%cd:~,%" "%%cd:~,%%%cd:~,%"")");

    // The guard needs cmd.exe's own CD, which a variable of the environment would replace.
    const wchar_t block[] = L"A=1\0cd=x\0=C:=C:\\APP\0CDX=2\0";
    const wchar_t kept[] = L"A=1\0=C:=C:\\APP\0CDX=2\0";
    EXPECT_EQ(win32::WithoutVariable(block, L"CD"), std::wstring(kept, std::size(kept)));
}

TEST(BatchCommandLineTest, WhatCmdCannotCarryIsRefused) {
    const std::wstring refusals[] = {L"say \"hi\"", L"a\rb", L"a\nb", std::wstring(L"a\0b", 3)};
    for (const auto& refused : refusals) {
        const auto command = BatchCommandLine(kCmd, LR"(C:\APP\Zelvoset.bat)", {L"ok", refused});
        EXPECT_EQ(command.line, L"");
        EXPECT_NE(command.refusal, "");
    }
    EXPECT_NE(BatchCommandLine(kCmd, L"C:\\APP\\x.bat", {std::wstring(9000, L'a')}).refusal, "");
    // Caught: the limit of what cmd.exe reads off by one either way.
    const std::size_t room =
        8191 - BatchCommandLine(kCmd, L"C:\\APP\\x.bat", {L"a"}).line.size() + 1;
    EXPECT_EQ(BatchCommandLine(kCmd, L"C:\\APP\\x.bat", {std::wstring(room, L'a')}).refusal, "");
    EXPECT_NE(BatchCommandLine(kCmd, L"C:\\APP\\x.bat", {std::wstring(room + 1, L'a')}).refusal,
              "");
}

class LaunchTest : public InTempDir {
protected:
    // The file a script writes last, once it is complete; "" when it never came.
    std::string WaitFor(const std::string& relative) const {
        for (int i = 0; i < 300 && Attributes(relative) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(20);
        const std::string text = Read(relative);
        return text == "<unreadable>" ? "" : text;
    }
    Win32Platform platform;
};

// Writes each of %1 to %9 between brackets, one a line, then moves the report into place.
constexpr const char* kReportingScript =
    "@echo off\r\n"
    ">>report.tmp echo [%1]\r\n>>report.tmp echo [%2]\r\n>>report.tmp echo [%3]\r\n"
    ">>report.tmp echo [%4]\r\n>>report.tmp echo [%5]\r\n>>report.tmp echo [%6]\r\n"
    ">>report.tmp echo [%7]\r\n>>report.tmp echo [%8]\r\n>>report.tmp echo [%9]\r\n"
    "move report.tmp report.txt >nul\r\n";

TEST_F(LaunchTest, EachArgumentReachesTheScriptAsOne) {
    Write("Zelvoset.bat", kReportingScript);
    Write("Refused.bat", "echo ran> refused.txt\r\n");
    const Status refused = platform.LaunchCommand("Refused.bat", {"DATA", "say \"hi\""});
    EXPECT_EQ(refused.reason(), "An argument for a batch script cannot hold a double quote.");

    ASSERT_TRUE(platform
                    .LaunchCommand("ZELVOSET.BAT", {"nowarning", "DATA\\CO1", "MY CO", "x&y", "c^d",
                                                    "e!f", "(g)", "", "a,b;c=d"})
                    .ok());
    EXPECT_EQ(WaitFor("report.txt"),
              "[nowarning]\r\n[DATA\\CO1]\r\n[\"MY CO\"]\r\n[\"x&y\"]\r\n"
              "[\"c^d\"]\r\n[\"e!f\"]\r\n[\"(g)\"]\r\n[\"\"]\r\n[\"a,b;c=d\"]\r\n");
    // By now the refused script would long have run.
    EXPECT_EQ(Attributes("refused.txt"), INVALID_FILE_ATTRIBUTES);
}

// The script gets the program's environment, but for a variable CD, which would stand in for
// cmd.exe's own %CD% that the command line's '%' guard relies on. Caught: the environment passed
// as 8-bit text (the script's variables lost); CD passed on.
TEST_F(LaunchTest, TheScriptGetsTheEnvironmentButCD) {
    Write("env.bat", "@echo off\r\n>env.tmp echo [%CD%][%ZELVOSET_SEEN%]\r\n"
                     "move env.tmp env.txt >nul\r\n");
    SetEnvironmentVariableW(L"CD", L"planted");
    SetEnvironmentVariableW(L"ZELVOSET_SEEN", L"seen");
    const Status launched = platform.LaunchCommand("env.bat", {});
    SetEnvironmentVariableW(L"CD", nullptr);
    SetEnvironmentVariableW(L"ZELVOSET_SEEN", nullptr);
    ASSERT_TRUE(launched.ok());
    EXPECT_EQ(WaitFor("env.txt"), "[" + root_ + "][seen]\r\n");
}

TEST_F(LaunchTest, OnlyAScriptOfTheCurrentFolderIsStarted) {
    EXPECT_EQ(platform.LaunchCommand("svreset.bat", {}).reason(),
              win32::SystemMessage(ERROR_FILE_NOT_FOUND));
    MakeDir("svpath.bat");
    EXPECT_FALSE(platform.LaunchCommand("svpath.bat", {}).ok());

    // Never one found on PATH, as cmd.exe would for a bare name.
    MakeDir("ONPATH");
    Write("ONPATH\\elsewhere.bat", "echo ran> ran.txt\r\n");
    wchar_t path[32768];
    const DWORD length = GetEnvironmentVariableW(L"PATH", path, 32768);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", Wide(Path("ONPATH")).c_str()));
    EXPECT_FALSE(platform.LaunchCommand("elsewhere.bat", {}).ok());
    SetEnvironmentVariableW(L"PATH", length ? path : nullptr);
}

} // namespace
} // namespace zelvoset::testing
