#pragma once

#include "Fd.h"
#include "Status.h"

#include <optional>
#include <string>
#include <string_view>

// The pieces of a file rewrite on POSIX systems: new files that no name reaches until they are
// complete, the attributes that make a new file the same file, copies and checked syncs.
namespace zelvoset::posix {

// Refuses a file that may not be replaced: not a regular file, read-only (also for a
// privileged user), or not writable by the running user.
Status CheckReplaceable(const std::string& path);
// Whether the system refuses this user the writing of the file at `path`. A read-only file (no
// owner write bit), which no rewrite touches, is no refusal; nor is a file that is not there.
bool MayRewrite(const std::string& path);

// What tells whether a file was changed: which file it is, its size, its times, its links.
struct FileState {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modified = 0; // nanoseconds
    long long changed = 0;  // nanoseconds; any change of contents, owner, mode or attribute
    unsigned long links = 0;
    unsigned mode = 0;
    // When the file was made, in nanoseconds, where the file system keeps it (0 elsewhere):
    // unlike the device number, it is the same after a restart.
    long long born = 0;
    bool SameFile(const FileState& other) const {
        return device == other.device && inode == other.inode;
    }
    bool Unchanged(const FileState& other) const {
        return SameFile(other) && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
};
std::optional<FileState> StateOf(int fd);
std::optional<FileState> StateAt(const std::string& path);

// A file created for new contents. `path` is empty while it has no name yet.
struct NewFile {
    Fd fd;
    std::string path;
};
// A new, empty file in `directory`, readable and writable only by its owner, that no name
// reaches until Publish(). Fails (errno) when the directory refuses new files.
std::optional<NewFile> CreateUnpublished(const std::string& directory, std::string_view hint);
// Puts `file` in the place of `target` (in the same directory), atomically.
Status Publish(NewFile& file, const std::string& target);
// Removes a file that was never published; nothing happens for one without a name.
void Discard(NewFile& file);
// A scratch file out of everyone's way, gone when closed.
std::optional<NewFile> CreateScratch(std::string_view hint);

// Gives the new file `to` the owner, group, every extended attribute (ACLs, labels) and the
// mode of `from`, and takes from it what `from` lacks. Fails when any of it cannot be given, or
// would come out different.
Status GiveAttributes(int from, int to);
// Writes all of `bytes` at the file's offset, or fails (errno).
bool WriteAll(int fd, std::string_view bytes);
// Copies the first `size` bytes of `from` over the start of `to`.
Status CopyContents(int from, int to, long long size);
// fsync, with the reason of a failure.
Status Sync(int fd);
Status SyncDirectoryOf(const std::string& file);
// Asks the system to start writing a range of an open file to disk now, without waiting, so
// that the final sync finds little left to do. A hint: it may do nothing.
void StartWriteback(int fd, long long offset, long long length);
} // namespace zelvoset::posix
