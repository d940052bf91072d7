// Rewriting a file that has other hard links: the new contents must go into the file itself,
// since a new file in its place would leave the other links with the old contents.
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

Handle Open(const std::wstring& path, DWORD access, DWORD share) {
    return Handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

} // namespace

Status OverwriteInPlace(const std::wstring& target, const std::wstring& fresh) {
    // Nobody else writes while the file is neither old nor new.
    const Handle original = Open(target, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    if (!original)
        return Status::Fail(LastErrorMessage());
    const Handle contents = Open(fresh, GENERIC_READ, FILE_SHARE_READ);
    if (!contents)
        return Status::Fail(LastErrorMessage());

    std::string error;
    auto backup = CreateSibling(target, L"bak", error);
    if (!backup)
        return Status::Fail("The old contents could not be saved first: " + error);
    if (Status saved = CopyContents(original.get(), backup->handle.get()); !saved) {
        backup->handle.reset();
        DeleteFileW(backup->path.c_str());
        return Status::Fail("The old contents could not be saved first: " + saved.reason());
    }

    const Status written = CopyContents(contents.get(), original.get());
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
