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

// Which file a path leads to, with its size and last write: how a change by another program
// between opening a file for replacing and committing is seen.
struct FileState {
    DWORD volume = 0;
    ULONGLONG index = 0;
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;
    bool operator==(const FileState&) const = default;
};
std::optional<FileState> StateOf(HANDLE file);
// The commit fails with this when the file is no longer as it was opened.
inline constexpr const char* kChangedMeanwhile =
    "The file was changed by another program during the rewrite.";

// A new file of our own beside `target`, or in `directory` when one is given, named after it
// with `tag` so that a leftover says what it was ("~SQPATH.DAT.1f2e3d4c.tmp"). nullopt with the
// system's error code in `failure`.
struct Sibling {
    std::wstring path;
    Handle handle;
};
std::optional<Sibling> CreateSibling(const std::wstring& target, const wchar_t* tag, DWORD& failure,
                                     const std::wstring& directory = {});
// The user's temporary folder, for what cannot go beside the file.
std::wstring TempFolder();

// Writes the contents of the open file `fresh` over `target` in place, keeping its identity and
// so its other links. A synced copy of the old contents is kept beside it (or in the temporary
// folder) until the new ones are on disk; on a failure the old contents are written back.
// Nothing is written, and `overtaken` is set, when the file is no longer as `start` describes.
Status OverwriteInPlace(const std::wstring& target, HANDLE fresh, const FileState& start,
                        bool& overtaken);

} // namespace zelvoset::win32
