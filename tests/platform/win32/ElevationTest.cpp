// A program without the rights to its installation's files: what Wine never shows, as Windows
// would show it. Wine runs every program elevated and lets it write everything, so the token,
// the refusal and the prompt are stand-ins for the system calls.
#include "Installer.h"
#include "PlatformTesting.h"

#include <shellapi.h>

#include <array>

IMPORT_SLOT(CreateFileW);
IMPORT_SLOT(GetTokenInformation);
IMPORT_SLOT(RegGetValueW);
IMPORT_SLOT(ShellExecuteExW);

namespace zelvoset::testing {
namespace {

const auto realCreateFileW = __imp_CreateFileW;

// A token that is not elevated, of the kind given: an administrator's in Admin Approval Mode
// (Limited, the full token a consent away), or a standard user's (Default, no other token).
TOKEN_ELEVATION_TYPE tokenType;
BOOL WINAPI Unelevated(HANDLE token, TOKEN_INFORMATION_CLASS what, void* out, DWORD size,
                       DWORD* needed) {
    if (!NotElevated(token, what, out, size, needed))
        return FALSE;
    if (what == TokenElevationType)
        *static_cast<TOKEN_ELEVATION_TYPE*>(out) = tokenType;
    return TRUE;
}

// User Account Control on, as Windows has it unless told otherwise (Wine's registry says off).
LSTATUS WINAPI AccountControlOn(HKEY, const wchar_t*, const wchar_t* value, DWORD, DWORD* type,
                                void* data, DWORD* size) {
    if (std::wstring(value) != L"EnableLUA" || !data || !size || *size < sizeof(DWORD))
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = REG_DWORD;
    *static_cast<DWORD*>(data) = 1;
    *size = sizeof(DWORD);
    return ERROR_SUCCESS;
}

// Files whose name ends so refuse writing and deletion, as Program Files does a standard token.
std::wstring refusedName;
HANDLE WINAPI Refusing(const wchar_t* name, DWORD access, DWORD share,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE pattern) {
    const std::wstring path = name;
    if ((access & (GENERIC_WRITE | DELETE)) && !refusedName.empty() &&
        path.ends_with(refusedName)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return realCreateFileW(name, access, share, security, disposition, flags, pattern);
}

// What the program asked the shell to start (verb, program, parameters, folder), and the answer
// the user gives at the prompt.
std::vector<std::array<std::wstring, 4>> starts;
DWORD promptAnswer;
BOOL WINAPI Prompting(SHELLEXECUTEINFOW* info) {
    const auto text = [](const wchar_t* s) { return std::wstring(s ? s : L""); };
    starts.push_back({text(info->lpVerb), text(info->lpFile), text(info->lpParameters),
                      text(info->lpDirectory)});
    if (promptAnswer == ERROR_SUCCESS)
        return TRUE;
    SetLastError(promptAnswer);
    return FALSE;
}

// Ending the program ends the test's instead: counted.
struct EndingPlatform : ScriptedPlatform {
    int ended = 0;
    void EndProgram() override { ++ended; }
};

class ElevationTest : public InInstallationOf<InTempDir, EndingPlatform> {
protected:
    void SetUp() override {
        InInstallationOf::SetUp();
        starts.clear();
        refusedName.clear();
        tokenType = TokenElevationTypeLimited;
        promptAnswer = ERROR_SUCCESS;
        Write("PBS.BAT", "RUN\r\n");
        Write("SQPATH.DAT", "00SVX\r\nKEEP\r\n");
        Write("SQMENU.DAT", "TB1\r\nMENU\r\n");
    }
};

// Caught: a refused file taken for a changeable one, or a read-only one taken for refused; a
// prompt put to an elevated program, or where none can elevate, or not to a standard user; the new
// start asked with another verb, program or folder, or more than once; this one going on after
// it; a declined prompt taken for a new start (the installation left as it was, in silence), or
// for the end of start-up; the refusal untold.
TEST_F(ElevationTest, AProgramRefusedItsFilesStartsAgainElevatedElseSaysWhatIsLeft) {
    const Intercept prompt(__imp_ShellExecuteExW, Prompting);
    // Elevated, as under Wine: the rights are there, and nobody is asked.
    EXPECT_TRUE(platform.MayChange(Path("SQPATH.DAT"), Change::Rewrite));
    {
        const Intercept accountControl(__imp_RegGetValueW, AccountControlOn);
        EXPECT_EQ(platform.StartElevated(root_), Elevation::Unavailable);
    }
    // A standard user: with User Account Control on, Windows asks for an administrator's
    // password; with it off, as Wine's registry has it, "runas" would start the program with the
    // same token, which would find itself refused and start yet another.
    {
        tokenType = TokenElevationTypeDefault;
        const Intercept token(__imp_GetTokenInformation, Unelevated);
        EXPECT_EQ(platform.StartElevated(root_), Elevation::Unavailable);
        const Intercept accountControl(__imp_RegGetValueW, AccountControlOn);
        EXPECT_EQ(platform.StartElevated(root_), Elevation::Started);
        tokenType = TokenElevationTypeLimited;
    }
    EXPECT_EQ(starts.size(), 1u);

    const Intercept token(__imp_GetTokenInformation, Unelevated);
    const Intercept refusing(__imp_CreateFileW, Refusing);
    refusedName = L"\\SQMENU.DAT";
    EXPECT_FALSE(platform.MayChange(Path("SQMENU.DAT"), Change::Rewrite));
    EXPECT_TRUE(platform.MayChange(Path("SQPATH.DAT"), Change::Rewrite));
    MakeDir("SVOBJ");
    Write("SVOBJ\\A.gnt", "gnt");
    Write("SVOBJ\\B.GNT", "gnt");
    // Each in turn: whichever the folder lists first, the other is asked too.
    for (const wchar_t* name : {L"\\A.gnt", L"\\B.GNT"}) {
        refusedName = name;
        EXPECT_FALSE(platform.MayChange(Path("SVOBJ\\*.gnt"), Change::Remove));
    }
    EXPECT_TRUE(platform.MayChange(Path("SVOBJ\\*.lbr"), Change::Remove));
    refusedName = L"\\SQMENU.DAT";
    MakeReadOnly("SQMENU.DAT"); // kept as it is by every rewrite: no right is missing
    EXPECT_TRUE(platform.MayChange(Path("SQMENU.DAT"), Change::Rewrite));
    SetAttributes("SQMENU.DAT", FILE_ATTRIBUTE_NORMAL);

    wchar_t program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    for (const DWORD answer : {DWORD(ERROR_SUCCESS), DWORD(ERROR_CANCELLED)}) {
        starts.clear();
        promptAnswer = answer;
        Installer(platform).Form_Load();
        EXPECT_EQ(starts, (decltype(starts){{L"runas", program, L"", Wide(root_)}}));
        if (answer == ERROR_SUCCESS) {
            EXPECT_EQ(platform.ended, 1);
            EXPECT_EQ(Read("SQPATH.DAT"), "00SVX\r\nKEEP\r\n"); // nothing changed before it
            EXPECT_TRUE(platform.messages.empty());
            continue;
        }
        EXPECT_EQ(platform.ended, 1); // not once more
        EXPECT_EQ(Read("SQPATH.DAT"), "KEEP\r\n");
        EXPECT_EQ(Read("SQMENU.DAT"), "TB1\r\nMENU\r\n");
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].text.find("these files in " + root_ + ", so"),
                  std::string::npos);
        EXPECT_NE(platform.messages[0].text.find("\r\n    SQMENU.DAT\r\n"), std::string::npos);
        EXPECT_EQ(platform.messages[0].text.find("SQPATH.DAT"), std::string::npos);
    }
}

} // namespace
} // namespace zelvoset::testing
