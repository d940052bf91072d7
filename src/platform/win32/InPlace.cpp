// Rewriting a file in place: where it has other hard links, which a new file in its place would
// leave with the old contents, and where its folder refuses new files.
#include "Files.h"

#include "Paths.h"
#include "Text.h"

#include <vector>

namespace zelvoset::win32 {
namespace {

Status Rewind(HANDLE file) {
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        return Status::Fail(LastErrorMessage());
    return Status::Ok();
}

// `to` gets exactly the contents of `from`, on disk.
Status CopyContents(HANDLE from, HANDLE to) {
    if (Status rewound = Rewind(from); !rewound)
        return rewound;
    if (Status rewound = Rewind(to); !rewound)
        return rewound;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return Status::Fail(LastErrorMessage());
        if (got == 0)
            break;
        if (Status written = WriteAll(to, std::string_view(buffer.data(), got)); !written)
            return written;
    }
    if (!SetEndOfFile(to))
        return Status::Fail(LastErrorMessage());
    return FlushToDisk(to);
}

// A synced copy of `original`'s contents beside `target`, or in the temporary folder where its
// folder refuses new files.
std::optional<Sibling> Backup(const std::wstring& target, HANDLE original, std::string& error) {
    DWORD failure = 0;
    auto backup = CreateSibling(target, L"bak", failure);
    if (!backup)
        backup = CreateSibling(target, L"bak", failure, TempFolder());
    if (!backup) {
        error = SystemMessage(failure);
        return std::nullopt;
    }
    if (Status saved = CopyContents(original, backup->handle.get()); !saved) {
        backup->handle.reset();
        DeleteFileW(backup->path.c_str());
        error = saved.reason();
        return std::nullopt;
    }
    return backup;
}

} // namespace

Status OverwriteInPlace(const std::wstring& target, HANDLE fresh, const FileState& start,
                        bool& overtaken) {
    // Nobody else writes while the file is neither old nor new, nor renames or deletes it: the
    // open fails while another handle may write, and keeps out any that would. Wine enforces
    // this only among its own processes; a Unix program can write all the same.
    const Handle original(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!original)
        return Status::Fail(LastErrorMessage());
    // Checked once the file is ours alone, so that no change can come in after the check.
    if (StateOf(original.get()) != start) {
        overtaken = true;
        return Status::Fail(kChangedMeanwhile);
    }

    std::string error;
    auto backup = Backup(target, original.get(), error);
    if (!backup)
        return Status::Fail("The old contents could not be saved first: " + error);

    const Status written = CopyContents(fresh, original.get());
    // Written and flushed, or the old contents go back from the copy; only when even that
    // fails does the copy stay, as the one place the old contents are still whole.
    const bool keepBackup = !written && !CopyContents(backup->handle.get(), original.get());
    backup->handle.reset();
    if (!keepBackup)
        DeleteFileW(backup->path.c_str());
    if (written)
        return written;
    if (keepBackup)
        return Status::Fail(written.reason() + " The old contents are kept in " +
                            Narrow(WithoutPrefix(backup->path)).value_or("a backup file") + ".");
    return written;
}

} // namespace zelvoset::win32
