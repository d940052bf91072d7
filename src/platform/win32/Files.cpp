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

// The file a rewrite is about: where it really is (a link's target) and what it is.
struct Target {
    std::wstring path; // full, as ReplaceFileW needs it (Wine's fails on relative paths)
    DWORD attributes = 0;
    DWORD links = 0;
    // Held open, sharing everything so that nobody is kept out, only so that the file's index
    // cannot pass to a new file while the rewrite runs and make that one look like it.
    Handle original;
    FileState start;
};

std::optional<Target> Identify(const std::wstring& path, std::string& error) {
    Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info)) {
        error = LastErrorMessage();
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileType(file.get()) != FILE_TYPE_DISK) {
        error = kNotAFile;
        return std::nullopt;
    }
    // Checked by hand: Wine lets an administrator (root) open a read-only file for writing.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        error = "The file is read-only.";
        return std::nullopt;
    }
    const auto final = FinalPath(file.get(), path);
    if (!final) {
        error = LastErrorMessage();
        return std::nullopt;
    }
    return Target{*final, info.dwFileAttributes, info.nNumberOfLinks, std::move(file),
                  ToState(info)};
}

// The new contents go to a file of their own beside the old one, which replaces it only once
// everything is written and on disk: a full disk or a crash leaves the old file byte for byte.
class Win32ReplacementFile : public ReplacementFile {
public:
    Win32ReplacementFile(Target target, Sibling temp, bool inPlace)
        : target_(std::move(target)), temp_(std::move(temp)), inPlace_(inPlace) {}
    ~Win32ReplacementFile() override { Discard(); }
    Win32ReplacementFile(const Win32ReplacementFile&) = delete;
    Win32ReplacementFile& operator=(const Win32ReplacementFile&) = delete;

    bool Write(std::string_view bytes) override {
        if (error_.empty() && temp_.handle) {
            if (Status written = WriteAll(temp_.handle.get(), bytes); !written)
                error_ = written.reason();
        }
        return error_.empty();
    }

    Status Commit() override {
        if (!temp_.handle)
            return Status::Fail("The new contents are gone already.");
        if (error_.empty()) {
            if (Status flushed = FlushToDisk(temp_.handle.get()); !flushed)
                error_ = flushed.reason();
        }
        if (!error_.empty()) {
            Discard();
            return Status::Fail("The new contents could not be written: " + error_);
        }
        // Other links share the file's identity: a new file in its place would part them.
        Status done =
            inPlace_ || target_.links > 1
                ? OverwriteInPlace(target_.path, temp_.handle.get(), target_.start, overtaken_)
                : Replace();
        Discard();
        return done;
    }

    bool Overtaken() const override { return overtaken_; }

private:
    Status Replace();
    Status KeepAttributes();

    // Whether the file at the path is no longer the one opened, as it was then. A write that
    // keeps the size within the file system's time resolution (2 s on FAT) is not seen.
    bool ChangedMeanwhile() {
        const Handle now(CreateFileW(target_.path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
        const auto state = now ? StateOf(now.get()) : std::nullopt;
        overtaken_ = !state || *state != target_.start;
        return overtaken_;
    }

    // The temporary file goes unless it now is the file, or holds the only new contents.
    void Discard() {
        temp_.handle.reset();
        if (!temp_.path.empty())
            DeleteFileW(temp_.path.c_str());
        temp_.path.clear();
    }

    Target target_;
    Sibling temp_;
    bool inPlace_;
    std::string error_;
    bool overtaken_ = false;
};

Status Win32ReplacementFile::KeepAttributes() {
    // ReplaceFileW is documented to keep the replaced file's attributes; Wine's gives the result
    // the replacement's own instead, so they are put on the replacement first. The archive bit
    // stays as the write left it: the contents did change.
    constexpr DWORD kKept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD wanted = target_.attributes & kKept;
    if (!wanted)
        return Status::Ok();
    const DWORD now = GetFileAttributesW(temp_.path.c_str());
    if (now == INVALID_FILE_ATTRIBUTES || !SetFileAttributesW(temp_.path.c_str(), now | wanted))
        return Status::Fail("The file's attributes could not be kept: " + LastErrorMessage());
    return Status::Ok();
}

Status Win32ReplacementFile::Replace() {
    temp_.handle.reset(); // ReplaceFileW wants the replacement closed
    if (Status kept = KeepAttributes(); !kept)
        return kept;
    // As late as can be, and still a write between this check and the replace is lost: no
    // handle of ours can keep others from writing without keeping ReplaceFileW out as well, and
    // neither it nor MoveFileExW replaces only on a condition.
    if (ChangedMeanwhile())
        return Status::Fail(kChangedMeanwhile);
    // Windows renames over a file open with FILE_SHARE_DELETE; Wine refuses while any handle is
    // open on it, whatever it shares (Access denied).
    target_.original.reset();
    // Full paths on both sides. ReplaceFileW keeps the old file's security, short name and
    // named streams, which a rename would lose.
    DWORD refused = ERROR_NOT_SUPPORTED;
    if (!BeyondWinesReplace(target_.path)) {
        if (ReplaceFileW(target_.path.c_str(), temp_.path.c_str(), nullptr, 0, nullptr, nullptr)) {
            temp_.path.clear();
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
    if (MoveFileExW(temp_.path.c_str(), target_.path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        temp_.path.clear();
        return Status::Ok();
    }
    const DWORD moveError = GetLastError();
    if (refused == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        const std::string kept = Narrow(temp_.path).value_or("a temporary file");
        temp_.path.clear(); // the only copy of the contents now
        return Status::Fail(SystemMessage(moveError) + " The new contents are in " + kept + ".");
    }
    return Status::Fail(SystemMessage(moveError));
}

} // namespace

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

Opened<ReplacementFile> OpenReplacementFile(std::string_view path) {
    const auto name = SystemPath(path);
    if (!name)
        return {nullptr, SystemMessage(ERROR_INVALID_NAME)};
    std::string error;
    auto target = Identify(*name, error);
    if (!target)
        return {nullptr, error};
    // Whether the running user may write it at all, before any work is done.
    if (!Handle(CreateFileW(target->path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            0, nullptr)))
        return {nullptr, LastErrorMessage()};
    DWORD failure = 0;
    auto temp = CreateSibling(target->path, L"tmp", failure);
    // A folder that refuses new files while the file itself may be written: left uncleaned, the
    // file would have the scripts run over stale entries, so it is overwritten in place, the new
    // contents waiting in the temporary folder meanwhile.
    const bool inPlace = !temp && failure == ERROR_ACCESS_DENIED;
    if (inPlace)
        temp = CreateSibling(target->path, L"tmp", failure, TempFolder());
    if (!temp)
        return {nullptr, SystemMessage(failure)};
    return {std::make_unique<Win32ReplacementFile>(std::move(*target), std::move(*temp), inPlace),
            {}};
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

} // namespace zelvoset::win32
