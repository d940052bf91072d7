#pragma once

#include "Handle.h"
#include "Platform.h"
#include "Status.h"

#include <optional>
#include <string>
#include <string_view>

// Whole-file access for the line-file rewrites.
namespace zelvoset::win32 {

Opened<InputFile> OpenInputFile(std::string_view path);
// Refuses a folder or device, a read-only file (also for an administrator), and a file the
// running user may not write.
Opened<ReplacementFile> OpenReplacementFile(std::string_view path);

// --- shared by the two ways of committing new contents ---

// Every byte written, or the reason; a short write is a failure, not a success.
Status WriteAll(HANDLE file, std::string_view bytes);
// On disk, not only in the system's cache.
Status FlushToDisk(HANDLE file);

// A new file of our own beside `target`, named after it with `tag` so that a leftover says what
// it was ("~SQPATH.DAT.1f2e3d4c.tmp").
struct Sibling {
    std::wstring path;
    Handle handle;
};
std::optional<Sibling> CreateSibling(const std::wstring& target, const wchar_t* tag,
                                     std::string& error);

// Writes the contents of the file `fresh` over `target` in place, keeping its identity and so
// its other links. A synced copy of the old contents stays beside it until the new ones are on
// disk; on a failure the old contents are written back.
Status OverwriteInPlace(const std::wstring& target, const std::wstring& fresh);

} // namespace zelvoset::win32
