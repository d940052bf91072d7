// The program ended by force at random moments of an overwrite in place, as a crash or a power
// cut would: the file is its old bytes, its new bytes, or beside a complete backup that the next
// start puts back.
#include "ConfigFiles.h"
#include "PlatformTesting.h"

#include <chrono>
#include <iostream>
#include <random>

namespace zelvoset::testing {
namespace {

constexpr const char* kChildFolder = "ZELVOSET_KILL_CHILD_FOLDER";
constexpr const wchar_t* kReady = L"Local\\zelvoset-kill-loop-ready";

// Waits a number of microseconds: Sleep() counts whole milliseconds, longer than the moments
// that matter here.
void Pause(long microseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    while (std::chrono::steady_clock::now() < until) {
    }
}

// The cleaning, in a process of its own that the loop ends; skipped in a normal run.
TEST(KillLoopChild, Clean) {
    char folder[MAX_PATH * 4];
    if (!GetEnvironmentVariableA(kChildFolder, folder, sizeof folder))
        GTEST_SKIP() << "run by KillLoop.InPlace";
    ScriptedPlatform platform;
    platform.programDirectory = folder;
    // The process is up: the loop counts its moment from here.
    const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, kReady);
    ASSERT_NE(ready, nullptr);
    SetEvent(ready);
    CleanOutSQPATH(platform);
}

// Starts the child on `folder`; its process handle, or null with GetLastError() set. The child
// gets no console: under Wine a console is a conhost.exe process of its own, which outlives a
// killed child by seconds; under load they piled up beside the loop and slowed every start.
HANDLE StartChild(const std::string& folder) {
    SetEnvironmentVariableW(Wide(kChildFolder).c_str(), Wide(folder).c_str());
    // The loop may run as one shard of the suite: a child that kept the shard's number would
    // run no case of its own filter, and never say it is up.
    SetEnvironmentVariableW(L"GTEST_SHARD_INDEX", nullptr);
    SetEnvironmentVariableW(L"GTEST_TOTAL_SHARDS", nullptr);
    std::wstring line = L"\"" + win32::ModuleFileName() + L"\" --gtest_filter=KillLoopChild.Clean";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                                        DETACHED_PROCESS, nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(Wide(kChildFolder).c_str(), nullptr);
    if (!started) {
        SetLastError(error);
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// The child, started again once when the system refuses it for a moment (a loaded machine);
// why it was refused goes to the log.
HANDLE StartChildRetrying(const std::string& folder) {
    if (const HANDLE child = StartChild(folder))
        return child;
    std::cout << "CreateProcessW refused the child (error " << GetLastError()
              << "); starting it once more\n";
    Sleep(1000);
    return StartChild(folder);
}

// Bounds many times the quiet time: a slow machine makes the loop count fewer kills, never fail.
constexpr DWORD kReadyBound = 120000;

// Waits until the child says it is up; false when it ended first or the bound ran out.
bool WaitUntilUp(HANDLE ready, HANDLE child) {
    const HANDLE either[] = {ready, child};
    return WaitForMultipleObjects(2, either, FALSE, kReadyBound) == WAIT_OBJECT_0;
}
constexpr auto kKillBudget = std::chrono::seconds(40);

using KillLoop = InInstallation;

TEST_F(KillLoop, InPlace) {
    std::string old, cleaned;
    for (int i = 0; i < 80000; ++i) { // about 2 MB
        const std::string line = (i % 2 ? "00SV" : "PATH") + std::to_string(i) + "=C:\\ZELVO\\DATA";
        old += line + "\r\n";
        if (i % 2 == 0)
            cleaned += line + "\r\n";
    }
    Write("SQPATH.DAT", old);
    ASSERT_TRUE(
        CreateHardLinkW(Wide(Path("LINKED")).c_str(), Wide(Path("SQPATH.DAT")).c_str(), nullptr));

    // How long the cleaning takes once the process is up decides where kills land.
    const HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, kReady);
    ASSERT_NE(ready, nullptr);
    const HANDLE first = StartChildRetrying(root_);
    ASSERT_NE(first, nullptr) << "CreateProcessW failed twice, error " << GetLastError();
    ASSERT_TRUE(WaitUntilUp(ready, first)) << "the first child ended or never said it was up";
    const auto start = std::chrono::steady_clock::now();
    WaitForSingleObject(first, INFINITE);
    CloseHandle(first);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_EQ(Read("SQPATH.DAT"), cleaned);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<long> moment(0, whole.count());
    int oldSeen = 0, newSeen = 0, backedUp = 0, repaired = 0, scratch = 0, kills = 0;
    // Kills are counted until the budget ends: Wine starts processes slowly on a busy machine.
    const auto deadline = std::chrono::steady_clock::now() + kKillBudget;
    for (; kills < 100 && std::chrono::steady_clock::now() < deadline; ++kills) {
        Write("SQPATH.DAT", old);
        const HANDLE child = StartChildRetrying(root_);
        ASSERT_NE(child, nullptr) << "kill " << kills << ": CreateProcessW failed twice, error "
                                  << GetLastError();
        ASSERT_TRUE(WaitUntilUp(ready, child))
            << "kill " << kills << ": the child ended or never said it was up";
        Pause(moment(random));
        TerminateProcess(child, 9);
        WaitForSingleObject(child, INFINITE);
        CloseHandle(child);

        const std::string after = Read("SQPATH.DAT");
        bool backup = false;
        for (const auto& name : List()) {
            if (name == "SQPATH.DAT" || name == "LINKED")
                continue;
            // The new contents or a backup still being made, under a temporary name that says
            // what it was: never taken for a backup.
            if (name.starts_with("~SQPATH.DAT.") && name.ends_with(".tmp")) {
                ++scratch;
                DeleteFileW(Wide(Path(name)).c_str());
                continue;
            }
            ASSERT_TRUE(name.starts_with("SQPATH.DAT.zelvoset-backup-")) << "left " << name;
            ASSERT_TRUE(Read(name) == old) << "kill " << kills << ": a torn backup";
            backup = true;
        }
        const bool intact = after == old || after == cleaned;
        if (intact)
            (after == old ? oldSeen : newSeen)++;
        else
            ASSERT_TRUE(backup) << "kill " << kills << ": cut short, and no backup";
        backedUp += backup;

        ScriptedPlatform next;
        next.programDirectory = root_;
        RecoverInterruptedRewrites(next);
        EXPECT_TRUE(next.messages.empty());
        ASSERT_TRUE(Read("SQPATH.DAT") == (backup ? old : after)) << "kill " << kills;
        ASSERT_TRUE(Read("LINKED") == Read("SQPATH.DAT"));
        repaired += !intact;
        ASSERT_EQ(List(), (std::vector<std::string>{"LINKED", "SQPATH.DAT"}));
    }
    CloseHandle(ready);
    // Only damage fails the loop; how many kills fit in the budget is the machine's business.
    EXPECT_GE(kills, 1);
    std::cout << "kills survived: " << kills << " (old bytes " << oldSeen << ", new bytes "
              << newSeen << ", cut short and put back at the next start " << repaired
              << ", a complete backup beside " << backedUp
              << ", torn backups 0, temporary files left " << scratch << ")\n";
}

} // namespace
} // namespace zelvoset::testing
