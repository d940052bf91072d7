// Line-file rewrites on real files: what Windows adds to a file beyond its bytes, and is kept.
#include "ConfigFiles.h"
#include "FileRewrite.h"
#include "Files.h"
#include "PlatformTesting.h"

#include <aclapi.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

IMPORT_SLOT(MoveFileExW);
IMPORT_SLOT(GetFileInformationByHandle);
IMPORT_SLOT(GetSecurityInfo);
IMPORT_SLOT(GetTokenInformation);

namespace zelvoset::testing {
namespace {

// The name under Wine of a folder the shell scripts set up, given by its Unix path.
std::string WineName(const char* unix) {
    std::string name = std::string("Z:") + unix;
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

class RewriteTest : public InInstallation {
protected:
    // Rewrites a file through the core's protocol on this platform, with `bytes` as new contents.
    Status Replace(const std::string& relative, const std::string& bytes) {
        return RewriteFile(platform.Files(), Path(relative), root_,
                           [&](InputFile&, OutputFile& out) {
                               return out.Write(bytes) ? Status::Ok() : Status::Fail("write");
                           })
            .status;
    }
    // Another program's write, through a handle of its own; with `sameTime`, the file's last
    // write time is put back, as a file system of coarse times (FAT: 2 s) would leave it.
    void Append(const std::string& relative, const std::string& bytes,
                bool sameTime = false) const {
        const HANDLE file =
            CreateFileW(System(relative).c_str(),
                        FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        DWORD written = 0;
        FILETIME before{};
        GetFileTime(file, nullptr, nullptr, &before);
        const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        if (sameTime)
            SetFileTime(file, nullptr, nullptr, &before);
        CloseHandle(file);
        ASSERT_TRUE(ok && written == bytes.size());
    }
};

TEST_F(RewriteTest, ReadOnlyIsHonouredAlsoForAnAdministrator) {
    Write("SQPATH.DAT", "00SV\r\nkept\n");
    Write("SQMENU.DAT", "TB\r\nmenu\n");
    SetAttributes("SQPATH.DAT", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\n");
    EXPECT_EQ(Attributes("SQPATH.DAT"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n"); // the next pass still runs

    EXPECT_EQ(Replace("SQPATH.DAT", "x").reason(), "The file is read-only.");
    EXPECT_EQ(List(), (std::vector<std::string>{"SQMENU.DAT", "SQPATH.DAT"}));

    // Made read-only while it is rewritten: the replace fails, and says so. Caught: a failed
    // ReplaceFileW taken for done, with the new contents left beside.
    const auto late = [this](InputFile&, OutputFile& out) {
        SetFileAttributesW(System("SQMENU.DAT").c_str(), FILE_ATTRIBUTE_READONLY);
        return out.Write("new\r\n") ? Status::Ok() : Status::Fail("write");
    };
    EXPECT_FALSE(RewriteFile(platform.Files(), Path("SQMENU.DAT"), root_, late).status.ok());
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n");
    EXPECT_EQ(List(), (std::vector<std::string>{"SQMENU.DAT", "SQPATH.DAT"}));
}

TEST_F(RewriteTest, AttributesAndOtherLinksAreKept) {
    Write("paths.dat", "old\r\n");
    SetAttributes("paths.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(Replace("PATHS.DAT", "new\r\n").ok());
    EXPECT_EQ(Read("paths.dat"), "new\r\n");
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(Attributes("paths.dat") & kept, kept);
    EXPECT_EQ(List(), (std::vector<std::string>{"paths.dat"})); // its own name, no leftovers

    // A file with another link is rewritten in place: both names show the new contents.
    Write("SQMENU.DAT", "TB\r\nmenu\r\n");
    ASSERT_TRUE(
        CreateHardLinkW(Wide(Path("MENU.LNK")).c_str(), Wide(Path("SQMENU.DAT")).c_str(), nullptr));
    Write("SQPATH.DAT", "00SV\r\n");
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n");
    EXPECT_EQ(Read("MENU.LNK"), "menu\r\n");
    EXPECT_EQ(List(),
              (std::vector<std::string>{"MENU.LNK", "SQMENU.DAT", "SQPATH.DAT", "paths.dat"}));

    // Caught: the overwrite not held against other writers. While another program may write
    // the file, it is left as it is.
    Write("SQMENU.DAT", "TB\r\nmenu\r\n");
    const HANDLE writer = CreateFileW(System("MENU.LNK").c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    CleanOutSQPATH(platform);
    CloseHandle(writer);
    EXPECT_EQ(Read("SQMENU.DAT"), "TB\r\nmenu\r\n");
    EXPECT_EQ(List(),
              (std::vector<std::string>{"MENU.LNK", "SQMENU.DAT", "SQPATH.DAT", "paths.dat"}));
}

const auto realMoveFileExW = __imp_MoveFileExW;
std::vector<DWORD> moves; // the flags of each rename, in order
BOOL WINAPI RecordMove(const wchar_t* from, const wchar_t* to, DWORD flags) {
    moves.push_back(flags);
    return realMoveFileExW(from, to, flags);
}

// Both ways to publish a name by a rename, in a deep folder: the new file in place of the old
// (where Wine's ReplaceFileW cannot go) and a backup for an overwrite in place.
TEST_F(RewriteTest, FoldersDeeperThanTheClassicLimit) {
    std::string deep = "DEEP";
    while (deep.size() < MAX_PATH)
        deep += "\\FOLDER" + std::to_string(deep.size());
    MakeDir(deep);
    Write(deep + "\\SQPATH.DAT", "00SV\r\nlong\r\n");
    Write(deep + "\\SQMENU.DAT", "TB\r\nmenu\r\n");
    ASSERT_TRUE(CreateHardLinkW(System(deep + "\\MENU.LNK").c_str(),
                                System(deep + "\\SQMENU.DAT").c_str(), nullptr));
    platform.programDirectory = Path(deep);
    moves.clear();
    {
        const Intercept recording(__imp_MoveFileExW, RecordMove);
        CleanOutSQPATH(platform);
    }
    EXPECT_EQ(Read(deep + "\\SQPATH.DAT"), "long\r\n");
    EXPECT_EQ(Read(deep + "\\MENU.LNK"), "menu\r\n");
    // Caught: either rename not written through, which Wine's file systems cannot show: a power
    // cut after it could lose the new name (the old contents back) or the backup's.
    EXPECT_EQ(moves, (std::vector<DWORD>{MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
                                         MOVEFILE_WRITE_THROUGH}));
}

// Another program's lines must not vanish under the replace. (In place, the file is held
// against other writers during the overwrite, and checked before it.)
TEST_F(RewriteTest, AFileChangedDuringTheRewriteIsLeftAsTheOtherProgramLeftIt) {
    // The new contents made from what was read, without the "00SV" lines; the other program
    // writes while they are being made, in the first `times` passes.
    const auto cleaning = [this](int times) {
        return [this, times, pass = 0](InputFile& old, OutputFile& out) mutable {
            std::string bytes;
            char buffer[4096];
            while (const std::size_t got = old.Read(buffer, sizeof buffer).value_or(0))
                bytes.append(buffer, got);
            for (std::size_t at; (at = bytes.find("00SV\r\n")) != std::string::npos;)
                bytes.erase(at, 6);
            // Caught, in the first pass: a change seen by its time alone, not its size.
            if (pass++ < times)
                Append("SQPATH.DAT", "APPENDED\r\n", pass == 1);
            return out.Write(bytes) ? Status::Ok() : Status::Fail("write");
        };
    };
    // Once: the pass starts again from what the other program left.
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    EXPECT_TRUE(RewriteFile(platform.Files(), Path("SQPATH.DAT"), root_, cleaning(1)).status.ok());
    EXPECT_EQ(Read("SQPATH.DAT"), "kept\r\nAPPENDED\r\n");
    // In both passes: the file is left to it.
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    EXPECT_FALSE(RewriteFile(platform.Files(), Path("SQPATH.DAT"), root_, cleaning(2)).status.ok());
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\nAPPENDED\r\nAPPENDED\r\n");
    EXPECT_EQ(List(), (std::vector<std::string>{"SQPATH.DAT"}));
}

// A program that holds the file open without sharing its deletion: the replace would fail half
// way, and Wine's would leave a temporary file of its own beside it. The file is left as it was,
// with nothing beside it.
TEST_F(RewriteTest, AFileHeldWithoutDeleteSharingIsLeftWithNothingBesideIt) {
    Write("SQPATH.DAT", "00SV\r\nkept\r\n");
    // Caught, the second: a file that may not be written now taken on all the same.
    for (const DWORD sharing :
         {FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE}) {
        const HANDLE held = CreateFileW(System("SQPATH.DAT").c_str(), GENERIC_READ, sharing,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        CleanOutSQPATH(platform);
        CloseHandle(held);
        EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\n");
        EXPECT_EQ(List(), (std::vector<std::string>{"SQPATH.DAT"}));
    }
}

// What the rewrites rely on of the store's primitives, shown directly where no real file fails
// under Wine: a write or a flush that fails (as on a full or failing disk) is a failure, and a
// copy writes from the start of its target (as when the old contents are put back after an
// overwrite that failed half way). Caught: the result of WriteFile or FlushFileBuffers
// ignored; a copy that goes on where the last write stopped.
TEST_F(RewriteTest, TheStoresWritesFailWhenTheSystemsDoAndCopiesStartAtTheStart) {
    Write("SQPATH.DAT", "0123456789");
    Write("OLD", "old");
    const HANDLE reader = CreateFileW(System("OLD").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(win32::WriteAll(reader, "new").reason(), win32::SystemMessage(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(win32::FlushToDisk(reader).ok());
    CloseHandle(reader);

    FileStore& store = platform.Files();
    FileStore::Ref file = 0, old = 0, out = 0;
    StoredFacts facts;
    ASSERT_TRUE(store.Open(Path("SQPATH.DAT"), root_, file, facts).ok());
    ASSERT_TRUE(store.Open(Path("OLD"), root_, old, facts).ok());
    ASSERT_TRUE(store.OpenOverwrite(file, out).ok());
    ASSERT_TRUE(store.Write(out, "abcde").ok());
    EXPECT_TRUE(store.Copy(old, out, 3).ok());
    // Caught: a source that ends before the size asked (cut short by another program) copied
    // for ever, not failed.
    struct Job {
        FileStore& store;
        FileStore::Ref from, to;
        bool copied = true;
    } job{store, old, out};
    const HANDLE copying = CreateThread(
        nullptr, 0,
        [](void* data) -> DWORD {
            auto& copy = *static_cast<Job*>(data);
            copy.copied = copy.store.Copy(copy.from, copy.to, 4).ok();
            return 0;
        },
        &job, 0, nullptr);
    const DWORD waited = WaitForSingleObject(copying, 20000);
    if (waited != WAIT_OBJECT_0)
        TerminateThread(copying, 1);
    CloseHandle(copying);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "a copy past the end of its source did not end in 20 s";
    EXPECT_FALSE(job.copied);
    store.Close(out);
    store.Close(old);
    store.Close(file);
    EXPECT_EQ(Read("SQPATH.DAT"), "oldde56789");
}

// A link planted in the installation must not lead the program, which may run as an
// administrator, to a file elsewhere; a link within it still works. Run on real links by
// planted-links.sh, to a sibling folder whose name begins with the installation's (caught: the
// test of a location without its trailing separator).
TEST_F(RewriteTest, NothingOutsideTheInstallationIsRewrittenOrDeleted) {
    const char* unix = std::getenv("ZELVOSET_PLANTED_LINKS");
    if (!unix)
        GTEST_SKIP() << "needs links made outside Wine: see planted-links.sh";
    const std::string root = WineName(unix);
    const auto read = [](const std::string& path) {
        std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    platform.programDirectory = root + "\\inside";
    CleanOutSQPATH(platform);
    EXPECT_EQ(read(root + "\\inside2\\paths"), "00SV\r\nsecret\r\n");
    EXPECT_EQ(read(root + "\\inside\\within\\menu"), "menu\r\n");

    ASSERT_TRUE(SetCurrentDirectoryW(Wide(root + "\\inside").c_str()));
    EXPECT_FALSE(platform.DeleteMatching("SVOBJ\\*.gnt").ok());
    EXPECT_EQ(read(root + "\\inside2\\a.gnt"), "compiled");
}

const auto realGetFileInformationByHandle = __imp_GetFileInformationByHandle;
const auto realGetSecurityInfo = __imp_GetSecurityInfo;
std::wstring linkName; // a file that the system shows as a reparse point

// As Windows shows a reparse point (a symbolic link or a junction, which Wine does not make).
BOOL WINAPI ReparsePointInfo(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
    wchar_t path[4 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleW(handle, path, std::size(path), 0);
    if (!realGetFileInformationByHandle(handle, info))
        return FALSE;
    if (length > 0 && length < std::size(path) &&
        std::wstring_view(path, length).ends_with(linkName))
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}

DWORD WINAPI OwnedByAdministrators(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what,
                                   PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                   PSECURITY_DESCRIPTOR* security) {
    static BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    const DWORD result =
        realGetSecurityInfo(handle, type, what, owner, group, dacl, sacl, security);
    if (result == ERROR_SUCCESS && owner &&
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size))
        *owner = sid;
    return result;
}

// A file planted under a backup's name, in the temporary folder or in an installation folder
// that others may write, is not copied over the installation's file at the next start. Files of
// another user, and links, are planted by planted-links.sh.
TEST_F(RewriteTest, OnlyABackupOfOurOwnIsPutBack) {
    Write("SQPATH.DAT", "current\r\n");
    FileStore& store = platform.Files();
    FileStore::Ref file = 0;
    StoredFacts facts;
    ASSERT_TRUE(store.Open(Path("SQPATH.DAT"), root_, file, facts).ok());
    store.Close(file);
    const std::string name = BackupName(facts);
    const std::wstring temp = win32::TempFolder() + Wide(name);

    // Caught: a backup with a second name taken (its links not counted).
    Write("OTHER", "planted\r\n");
    ASSERT_TRUE(CreateHardLinkW(System(name).c_str(), System("OTHER").c_str(), nullptr));
    RecoverInterruptedRewrites(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "current\r\n");
    // Caught: a backup named over that file, or taken for named when it could not be. (A second
    // link has the file rewritten in place, behind a backup of that name.)
    ASSERT_TRUE(CreateHardLinkW(System("LINKED").c_str(), System("SQPATH.DAT").c_str(), nullptr));
    EXPECT_FALSE(Replace("SQPATH.DAT", "new\r\n").ok());
    EXPECT_EQ(Read("SQPATH.DAT"), "current\r\n");
    EXPECT_EQ(Read(name), "planted\r\n");
    EXPECT_EQ(List(), (std::vector<std::string>{"LINKED", "OTHER", "SQPATH.DAT", name}));
    ASSERT_TRUE(DeleteFileW(System(name).c_str()));

    // Our own backup is put back, and then removed; not while another program may write it.
    // Caught: the backup not held against writers; one that cannot be removed left unreported.
    Write(name, "backup\r\n");
    const HANDLE writer = CreateFileW(System(name).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    RecoverInterruptedRewrites(platform);
    CloseHandle(writer);
    EXPECT_EQ(Read("SQPATH.DAT"), "current\r\n");
    // What only Windows shows, as it would show it. Caught: a reparse point taken for the
    // backup (Windows would copy what it leads to); a backup owned by the Administrators group
    // taken by a program that is not elevated (Wine runs every program elevated).
    linkName = Wide(name);
    {
        const Intercept reparse(__imp_GetFileInformationByHandle, ReparsePointInfo);
        RecoverInterruptedRewrites(platform);
    }
    EXPECT_EQ(Read("SQPATH.DAT"), "current\r\n");
    const HANDLE held = CreateFileW(System(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    {
        const Intercept administrators(__imp_GetSecurityInfo, OwnedByAdministrators);
        {
            const Intercept notElevated(__imp_GetTokenInformation, NotElevated);
            RecoverInterruptedRewrites(platform);
        }
        EXPECT_EQ(Read("SQPATH.DAT"), "current\r\n");
        RecoverInterruptedRewrites(platform); // elevated: it is ours
    }
    CloseHandle(held);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find(name), std::string::npos);
    EXPECT_NE(platform.messages[0].text.find("were put back, but"), std::string::npos);
    // Caught: the file named by its "\\?\" form.
    EXPECT_NE(platform.messages[0].text.find("file " + Path("SQPATH.DAT") + " "),
              std::string::npos);
    RecoverInterruptedRewrites(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "backup\r\n");
    EXPECT_EQ(Read("LINKED"), "backup\r\n");
    EXPECT_EQ(List(), (std::vector<std::string>{"LINKED", "OTHER", "SQPATH.DAT"}));

    const char* unix = std::getenv("ZELVOSET_PLANTED_LINKS");
    if (!unix)
        GTEST_SKIP() << "files of another user and links: see planted-links.sh";
    const std::string planted = WineName(unix);
    // Caught: a link taken for a backup (the path the handle leads to not checked); it would
    // copy a file from outside into the installation.
    platform.programDirectory = planted + "\\inside";
    ASSERT_TRUE(
        store.Open(planted + "\\inside\\SQMENU.DAT", platform.programDirectory, file, facts).ok());
    FileStore::Ref backup = 0;
    long long size = 0;
    std::string where;
    EXPECT_TRUE(store.FindBackup(file, "own-backup", backup, size, where).ok());
    EXPECT_NE(backup, 0);
    store.Close(backup);
    EXPECT_TRUE(store.FindBackup(file, "link-backup", backup, size, where).ok());
    EXPECT_EQ(backup, 0);
    store.Close(file);

    // Caught: another user's file taken (its owner not checked). Moved, it keeps its owner.
    platform.programDirectory = root_;
    ASSERT_TRUE(MoveFileW(Wide(planted + "\\stranger").c_str(), temp.c_str()));
    RecoverInterruptedRewrites(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "backup\r\n");
    EXPECT_TRUE(DeleteFileW(temp.c_str())) << "the planted file is gone";
}

// Left uncleaned, the file would have the scripts run over stale entries: it is rewritten in
// place, the new contents and the backup waiting in the temporary folder. Run on a real such
// folder by refusing-folder.sh.
TEST_F(RewriteTest, AFolderRefusingNewFiles) {
    const char* unix = std::getenv("ZELVOSET_REFUSING_FOLDER");
    if (!unix)
        GTEST_SKIP() << "needs a folder that refuses new files: see refusing-folder.sh";
    const std::string folder = WineName(unix);
    // The names in a folder that begin with `start`.
    const auto names = [](const std::wstring& in, std::wstring_view start) {
        std::vector<std::wstring> found;
        for (const auto& entry : std::filesystem::directory_iterator(in))
            if (entry.path().filename().wstring().starts_with(start))
                found.push_back(entry.path().filename().wstring());
        std::sort(found.begin(), found.end());
        return found;
    };
    platform.programDirectory = folder;
    // What earlier runs left there (a run cut short) is not this one's.
    const auto before = names(win32::TempFolder(), L"~SQPATH.DAT.");
    CleanOutSQPATH(platform);
    std::ifstream cleaned(std::filesystem::path(Wide(folder + "\\SQPATH.DAT")), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(cleaned), {}), "locked\r\n");
    EXPECT_EQ(names(Wide(folder), L""), std::vector<std::wstring>{L"SQPATH.DAT"});
    EXPECT_EQ(names(win32::TempFolder(), L"~SQPATH.DAT."), before);
}

} // namespace
} // namespace zelvoset::testing
