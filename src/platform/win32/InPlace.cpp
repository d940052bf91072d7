// The primitives of an overwrite in place: the backup that holds the old contents meanwhile, and
// the handle that writes the file itself.
#include "Files.h"

#include "Paths.h"
#include "Text.h"

#include <aclapi.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace zelvoset::win32 {
namespace {

// One class of the token's information, however large; empty when it cannot be had.
std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what) {
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, what, buffer.data(), size, &size))
        return {};
    return buffer;
}

// Whether the open file belongs to the user this program runs as or, elevated, to the
// Administrators group, which Windows makes the owner of what an elevated program creates.
bool OwnedByThisUser(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &security) != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<void, HLOCAL (*)(HLOCAL)> held(security, LocalFree);
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return false;
    const Handle token(opened);
    const auto user = TokenInformation(token.get(), TokenUser);
    if (!user.empty() &&
        EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid))
        return true;
    TOKEN_ELEVATION elevation{};
    DWORD size = sizeof elevation;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof administrators;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, size, &size) &&
           elevation.TokenIsElevated &&
           CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) &&
           EqualSid(owner, administrators);
}

Status MoveTo(HANDLE file, ULONGLONG offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN))
        return Status::Fail(LastErrorMessage());
    return Status::Ok();
}

} // namespace

// A file of ours named after the rewritten one, beside it or else in the temporary folder.
Status Store::CreateOwn(Ref file, Ref& own) {
    const std::wstring& target = At(file).path;
    DWORD failure = 0;
    for (const std::wstring& folder : {SplitPath(target).directory, TempFolder()}) {
        if (folder.empty())
            continue;
        auto sibling = CreateSibling(target, L"tmp", failure, folder);
        if (sibling) {
            own = Add({std::move(sibling->handle), sibling->path, true, folder});
            return Status::Ok();
        }
    }
    return Status::Fail(SystemMessage(failure));
}

Status Store::CreateBackup(Ref file, Ref& backup) {
    // Beside the file, where whoever looks after the installation finds it, or else in the
    // temporary folder; under a temporary name until it is complete.
    return CreateOwn(file, backup);
}

Status Store::CreateScratch(Ref file, Ref& scratch) {
    return CreateOwn(file, scratch);
}

Status Store::NameBackup(Ref backup, std::string_view name, std::string& where) {
    Entry& entry = At(backup);
    const auto wide = Widen(name);
    if (!wide)
        return Status::Fail(SystemMessage(ERROR_INVALID_NAME));
    const std::wstring final = JoinNative(entry.folder, *wide);
    where = Narrow(WithoutPrefix(final)).value_or("a backup file");
    entry.handle.reset();
    // Never over an existing file: a backup found there stays as it is.
    if (!MoveFileExW(entry.path.c_str(), final.c_str(), MOVEFILE_WRITE_THROUGH))
        return Status::Fail(LastErrorMessage());
    entry.path = final;
    entry.handle.reset(CreateFileW(final.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!entry.handle)
        return Status::Fail(LastErrorMessage());
    return Status::Ok();
}

Status Store::FindBackup(Ref file, std::string_view name, Ref& backup, long long& size,
                         std::string& where) {
    const auto wide = Widen(name);
    backup = 0;
    if (!wide)
        return Status::Ok();
    for (const std::wstring& folder : {SplitPath(At(file).path).directory, TempFolder()}) {
        if (folder.empty())
            continue;
        const std::wstring path = JoinNative(folder, *wide);
        // A link is not followed: only a plain file of that name is a backup. Held so that
        // nobody writes it while it is looked at and put back.
        Handle handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!handle || !GetFileInformationByHandle(handle.get(), &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            GetFileType(handle.get()) != FILE_TYPE_DISK)
            continue;
        // Only a file that this user made, as a backup is made: one planted under the name in
        // the temporary folder, or in an installation folder that others may write, is not put
        // back. It has one name, through which nobody else could change it; it is what its
        // name holds, not another file that a link the system followed leads to (Wine follows
        // Unix links whatever it is asked, and shows them as plain files); and its owner is
        // this user.
        const auto final = FinalPath(handle.get(), path);
        const auto there = FinalFolder(folder);
        if (info.nNumberOfLinks != 1 || !final || !there ||
            !SamePath(*final, JoinNative(*there, *wide)) || !OwnedByThisUser(handle.get()))
            continue;
        size = static_cast<long long>((ULONGLONG(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        where = Narrow(WithoutPrefix(path)).value_or("a backup file");
        backup = Add({std::move(handle), path, false, folder});
        return Status::Ok();
    }
    return Status::Ok();
}

Status Store::RemoveBackup(Ref backup) {
    Entry& entry = At(backup);
    entry.handle.reset();
    if (!DeleteFileW(entry.path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return Status::Fail(LastErrorMessage());
    return Status::Ok();
}

Status Store::OpenOverwrite(Ref file, Ref& out) {
    const Entry& entry = At(file);
    // Nobody else writes while the file is neither old nor new, nor renames or deletes it: the
    // open fails while another handle may write, and keeps out any that would. Wine enforces
    // this only among its own processes; a Unix program can write all the same.
    Handle handle(CreateFileW(entry.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle)
        return Status::Fail(LastErrorMessage());
    const auto state = StateOf(handle.get());
    if (!state || !state->SameFile(entry.start))
        return Status::Fail("The file was changed by another program during the rewrite.");
    out = Add({std::move(handle), entry.path, false, {}, entry.start, entry.attributes});
    return Status::Ok();
}

Status Store::Copy(Ref from, Ref to, long long size) {
    const HANDLE source = At(from).handle.get();
    const HANDLE target = At(to).handle.get();
    if (Status moved = MoveTo(target, 0); !moved)
        return moved;
    std::vector<char> buffer(1 << 20);
    for (ULONGLONG at = 0; at < static_cast<ULONGLONG>(size);) {
        OVERLAPPED offset{};
        offset.Offset = static_cast<DWORD>(at);
        offset.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto want = static_cast<DWORD>(
            std::min<ULONGLONG>(buffer.size(), static_cast<ULONGLONG>(size) - at));
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), want, &got, &offset) &&
            GetLastError() != ERROR_HANDLE_EOF)
            return Status::Fail(LastErrorMessage());
        if (got == 0)
            return Status::Fail("The file ended early.");
        if (Status written = WriteAll(target, std::string_view(buffer.data(), got)); !written)
            return written;
        at += got;
    }
    return Status::Ok();
}

Status Store::Truncate(Ref file, long long size) {
    const HANDLE handle = At(file).handle.get();
    if (Status moved = MoveTo(handle, static_cast<ULONGLONG>(size)); !moved)
        return moved;
    if (!SetEndOfFile(handle))
        return Status::Fail(LastErrorMessage());
    return Status::Ok();
}

} // namespace zelvoset::win32
