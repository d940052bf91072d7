#include "Files.h"

#include "Paths.h"
#include "Text.h"

#include <algorithm>

namespace zelvoset::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t kMaxChunk = 1u << 30;

const char* const kNotAFile = "Not a regular file.";

std::wstring Hex(unsigned value) {
    std::wstring digits(8, L'0');
    for (std::size_t i = digits.size(); i-- > 0; value >>= 4)
        digits[i] = L"0123456789abcdef"[value & 0xF];
    return digits;
}

// Bytes as they are: the installation's files are 8-bit text in an unknown code page.
class Win32InputFile : public InputFile {
public:
    explicit Win32InputFile(Handle file) : file_(std::move(file)) {}

    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        if (!file_ || size == 0)
            return 0;
        DWORD got = 0;
        if (!ReadFile(file_.get(), buffer, static_cast<DWORD>(std::min(size, kMaxChunk)), &got,
                      nullptr))
            return std::nullopt;
        // Closed at the end already: the rewrite that follows replaces this very file, and on
        // Windows a handle still open on it could hold that up.
        if (got == 0)
            file_.reset();
        return got;
    }

private:
    Handle file_;
};

// Wine 8's ReplaceFileW names a temporary file of its own in the folder with GetTempFileNameW,
// into a buffer of MAX_PATH characters on its stack, and Wine's GetTempFileNameW does not refuse
// a folder longer than MAX_PATH - 14 as documented: a deeper folder overruns that buffer and
// corrupts the caller. Under Wine, such a file is renamed into place instead.
bool BeyondWinesReplace(const std::wstring& target) {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine && SplitPath(target).directory.size() + 14 >= MAX_PATH;
}

FileState ToState(const BY_HANDLE_FILE_INFORMATION& info) {
    const auto join = [](DWORD high, DWORD low) { return (ULONGLONG(high) << 32) | low; };
    return {info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow),
            join(info.nFileSizeHigh, info.nFileSizeLow),
            join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
}

// Reads an open file from its start, at offsets of its own.
class PositionedInput : public InputFile {
public:
    explicit PositionedInput(HANDLE file) : file_(file) {}

    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset_);
        at.OffsetHigh = static_cast<DWORD>(offset_ >> 32);
        DWORD got = 0;
        if (!ReadFile(file_, buffer, static_cast<DWORD>(std::min(size, kMaxChunk)), &got, &at))
            return GetLastError() == ERROR_HANDLE_EOF ? std::optional<std::size_t>(0)
                                                      : std::nullopt;
        offset_ += got;
        return got;
    }

private:
    HANDLE file_;
    ULONGLONG offset_ = 0;
};

std::string Text(const std::wstring& path) {
    return Narrow(WithoutPrefix(path)).value_or("?");
}

std::string Identity(const FileState& state, const std::wstring& path) {
    std::wstring upper = path;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    return std::to_string(state.volume) + ":" + std::to_string(state.index) + ":" +
           Narrow(upper).value_or("");
}

std::string Stamp(const FileState& state) {
    return std::to_string(state.size) + ":" + std::to_string(state.lastWrite);
}

// Whether `path` is `folder` or lies below it, both final paths, letter case aside.
bool Within(std::wstring path, std::wstring folder) {
    path = WithoutPrefix(std::move(path));
    folder = WithoutPrefix(std::move(folder));
    if (!folder.ends_with(L'\\'))
        folder += L'\\';
    return path.size() > folder.size() &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

Status KeepAttributes(const std::wstring& fresh, DWORD attributes) {
    // ReplaceFileW is documented to keep the replaced file's attributes; Wine's gives the result
    // the replacement's own instead, so they are put on the replacement first. The archive bit
    // stays as the write left it: the contents did change.
    constexpr DWORD kKept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD wanted = attributes & kKept;
    if (!wanted)
        return Status::Ok();
    const DWORD now = GetFileAttributesW(fresh.c_str());
    if (now == INVALID_FILE_ATTRIBUTES || !SetFileAttributesW(fresh.c_str(), now | wanted))
        return Status::Fail("The file's attributes could not be kept: " + LastErrorMessage());
    return Status::Ok();
}

} // namespace

std::optional<std::wstring> FinalFolder(const std::wstring& folder) {
    const std::wstring name = LongPathSafe(FullPath(folder.empty() ? L"." : folder));
    const Handle handle(CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return std::nullopt;
    return FinalPath(handle.get(), name);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(WithoutPrefix(a).c_str(), -1, WithoutPrefix(b).c_str(), -1, TRUE) ==
           CSTR_EQUAL;
}

Opened<InputFile> OpenInputFile(std::string_view path) {
    const auto name = SystemPath(path);
    if (!name)
        return {nullptr, SystemMessage(ERROR_INVALID_NAME)};
    Handle file(CreateFileW(name->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return {nullptr, LastErrorMessage()};
    // A device or a pipe could block or never end; no line file is one.
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return {nullptr, kNotAFile};
    return {std::make_unique<Win32InputFile>(std::move(file)), {}};
}

std::optional<FileState> StateOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return std::nullopt;
    return ToState(info);
}

std::wstring TempFolder() {
    // GetTempPathW's result fits in MAX_PATH + 1 characters by its own definition.
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

Status WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMaxChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return Status::Fail(LastErrorMessage());
        if (written == 0)
            return Status::Fail(SystemMessage(ERROR_DISK_FULL));
        bytes.remove_prefix(written);
    }
    return Status::Ok();
}

Status FlushToDisk(HANDLE file) {
    if (!FlushFileBuffers(file))
        return Status::Fail(LastErrorMessage());
    return Status::Ok();
}

std::optional<Sibling> CreateSibling(const std::wstring& target, const wchar_t* tag, DWORD& failure,
                                     const std::wstring& directory) {
    const PathParts parts = SplitPath(target);
    const std::wstring& folder = directory.empty() ? parts.directory : directory;
    // Room for the additions within the 255 characters a name may have.
    const std::wstring stem = L"~" + parts.name.substr(0, 200) + L".";
    static unsigned counter = 0;
    failure = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && failure == ERROR_FILE_EXISTS; ++attempt) {
        const auto seed = static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 16);
        const std::wstring path =
            JoinNative(folder, stem + Hex(seed + ++counter * 0x9E3779B9u) + L"." + tag);
        // CREATE_NEW: a name that exists, whoever made it, is never taken over.
        Handle handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle)
            return Sibling{path, std::move(handle)};
        failure = GetLastError();
        if (failure == ERROR_ALREADY_EXISTS)
            failure = ERROR_FILE_EXISTS;
    }
    return std::nullopt;
}

bool WithinCurrentFolder(const std::wstring& folder) {
    const auto here = FinalFolder(L".");
    const auto there = FinalFolder(folder);
    if (!here || !there)
        return false;
    return SamePath(*here, *there) || Within(*there, *here);
}

FileStore::Ref Store::Add(Entry entry) {
    entries_.emplace(++next_, std::move(entry));
    return next_;
}

Status Store::Open(std::string_view path, std::string_view root, Ref& file, StoredFacts& facts) {
    const auto name = SystemPath(path);
    if (!name)
        return Status::Fail(SystemMessage(ERROR_INVALID_NAME));
    // Held open, sharing everything so that nobody is kept out: the file read, whose changes
    // are watched for, and whose index cannot pass to a new file meanwhile.
    Handle handle(CreateFileW(name->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.get(), &info))
        return Status::Fail(LastErrorMessage());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileType(handle.get()) != FILE_TYPE_DISK)
        return Status::Fail(kNotAFile);
    // Checked by hand: Wine lets an administrator (root) open a read-only file for writing.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return Status::Fail("The file is read-only.");
    // Where the open handle really leads, not where the name seems to: a link or junction
    // planted in the installation must not have a file elsewhere rewritten.
    const auto final = FinalPath(handle.get(), *name);
    const auto base = Widen(root);
    const auto folder = base ? FinalFolder(*base) : std::nullopt;
    if (!final || !folder)
        return Status::Fail(LastErrorMessage());
    if (!Within(*final, *folder))
        return Status::Fail("The file lies outside the installation folder.");
    // Whether the running user may write it at all, before any work is done.
    if (!Handle(CreateFileW(final->c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0,
                            nullptr)))
        return Status::Fail(LastErrorMessage());
    const FileState start = ToState(info);
    facts.location = Text(*final);
    facts.identity = Identity(start, *final);
    facts.stamp = Stamp(start);
    facts.size = static_cast<long long>(start.size);
    // Other links share the file's identity: a new file in its place would part them.
    facts.shared = info.nNumberOfLinks > 1;
    facts.modeLostInPlace = false;
    file = Add({std::move(handle), *final, false, {}, start, info.dwFileAttributes});
    return Status::Ok();
}

Status Store::Look(Ref file, std::string& stamp, std::string& identityAtPath) {
    const Entry& entry = At(file);
    const auto now = StateOf(entry.handle.get());
    if (!now)
        return Status::Fail(LastErrorMessage());
    stamp = Stamp(*now);
    const Handle there(CreateFileW(entry.path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    const auto state = there ? StateOf(there.get()) : std::nullopt;
    identityAtPath = state ? Identity(*state, entry.path) : std::string();
    return Status::Ok();
}

std::unique_ptr<InputFile> Store::Reader(Ref file) {
    return std::make_unique<PositionedInput>(At(file).handle.get());
}

Status Store::CreateBeside(Ref file, Ref& fresh) {
    DWORD failure = 0;
    auto sibling = CreateSibling(At(file).path, L"tmp", failure);
    if (!sibling)
        return Status::Fail(SystemMessage(failure));
    fresh = Add({std::move(sibling->handle), sibling->path, true});
    return Status::Ok();
}

Status Store::CopyAttributes(Ref, Ref) {
    // What ReplaceFileW does not keep is put on the new file when it is published.
    return Status::Ok();
}

Status Store::Publish(Ref fresh, Ref file) {
    Entry& entry = At(fresh);
    Entry& target = At(file);
    entry.handle.reset(); // ReplaceFileW wants the replacement closed
    if (Status kept = KeepAttributes(entry.path, target.attributes); !kept)
        return kept;
    // A program holding the file open without sharing its deletion makes the replace fail half
    // way, and Wine's then leaves a temporary file of its own beside it for good: such a file
    // is left as it is, before anything is done.
    {
        const Handle probe(CreateFileW(target.path.c_str(), DELETE, kShareAll, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        if (!probe)
            return Status::Fail(LastErrorMessage());
    }
    // Windows renames over a file open with FILE_SHARE_DELETE; Wine refuses while any handle is
    // open on it, whatever it shares (Access denied).
    target.handle.reset();
    // Full paths on both sides. ReplaceFileW keeps the old file's security, short name and
    // named streams, which a rename would lose.
    DWORD refused = ERROR_NOT_SUPPORTED;
    if (!BeyondWinesReplace(target.path)) {
        if (ReplaceFileW(target.path.c_str(), entry.path.c_str(), nullptr, 0, nullptr, nullptr)) {
            entries_.erase(fresh);
            return Status::Ok();
        }
        refused = GetLastError();
    }
    // File systems that cannot replace (some network and virtual ones) say so with these; 1176
    // means the old file is gone already and the new one still waits under its own name.
    const bool fallBack = refused == ERROR_INVALID_FUNCTION || refused == ERROR_NOT_SUPPORTED ||
                          refused == ERROR_INVALID_PARAMETER ||
                          refused == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    if (!fallBack)
        return Status::Fail(SystemMessage(refused));
    // A rename keeps the contents and the attributes set above, but not the old file's security.
    if (MoveFileExW(entry.path.c_str(), target.path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        entries_.erase(fresh);
        return Status::Ok();
    }
    const DWORD moveError = GetLastError();
    if (refused == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        entry.ours = false; // the only copy of the contents now
        return Status::Fail(SystemMessage(moveError) + " The new contents are in " +
                            Text(entry.path) + ".");
    }
    return Status::Fail(SystemMessage(moveError));
}

Status Store::SyncFolder(Ref) {
    // Windows keeps a folder's names on disk with the file system's own journal.
    return Status::Ok();
}

void Store::Discard(Ref fresh) {
    Entry& entry = At(fresh);
    entry.handle.reset();
    if (entry.ours)
        DeleteFileW(entry.path.c_str());
    entries_.erase(fresh);
}

Status Store::Write(Ref file, std::string_view bytes) {
    return WriteAll(At(file).handle.get(), bytes);
}

Status Store::Sync(Ref file) {
    return FlushToDisk(At(file).handle.get());
}

Status Store::KeepMode(Ref, Ref) {
    // Writing changes no attribute but the archive bit, which says just that.
    return Status::Ok();
}

void Store::Close(Ref file) {
    entries_.erase(file);
}

} // namespace zelvoset::win32
