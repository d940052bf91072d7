#pragma once

#include "Platform.h"
#include "Status.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The POSIX calls behind the Qt platform, where Qt hides what the program needs: exact path
// bytes (Qt decodes every name as UTF-8 and loses any other), directory errors, owners, modes,
// ACLs and extended attributes, checked syncs, and the way a script is started.
namespace zelvoset::os {

// The system's words for an errno value, as every failure here reports it.
std::string Reason(int error);

// A '/'-separated path with every existing component spelled as it is on disk, each found
// without regard to letter case, an exact-case name winning. Components that do not exist are
// kept as given. `failed` when a directory on the way exists but could not be searched.
struct Resolved {
    std::string path;
    bool failed = false;
};
Resolved ResolveCase(std::string_view path);

// Whether `directory` (already resolved) holds an ordinary file matching the DOS-style
// `pattern`: a regular file or a link to one, not hidden.
Probe FindMatch(const std::string& directory, std::string_view pattern);
// Deletes every ordinary file of `directory` matching `pattern`; fails when none matched.
Status DeleteMatches(const std::string& directory, std::string_view pattern);
// The absolute path with every link, "." and ".." resolved; nullopt when it does not exist.
std::optional<std::string> RealPath(const std::string& path);
// Whether anything, a dangling link included, is at the path.
bool Exists(const std::string& path);
// Whether a resolved path names an ordinary file.
Probe IsOrdinaryFile(const std::string& path);
// Removes one file.
Status RemoveFile(const std::string& path);

// The directory of the running program, as the system spells it; nullopt without /proc.
std::optional<std::string> ExecutableDirectory();
std::optional<std::string> CurrentDirectory();
Status ChangeDirectory(const std::string& path);

// Refuses a file that may not be replaced: not a regular file, read-only (also for a
// privileged user), or not writable by the running user.
Status CheckReplaceable(const std::string& path);

// --- The pieces of a rewrite (rewrite_posix.cpp, attributes_posix.cpp) ---

// An open file descriptor, closed by its owner.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// What tells whether a file was changed: which file it is, its size, its times, its links.
struct FileState {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modified = 0; // nanoseconds
    long long changed = 0;  // nanoseconds; any change of contents, owner, mode or attribute
    unsigned long links = 0;
    unsigned mode = 0;
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
// Reserves disk space for `size` bytes so that an overwrite cannot run out of it half-way.
// Fails only when the space is known to be missing.
Status Reserve(int fd, long long size);
// Whether a process may grow a file to `size` bytes under its file-size limit.
bool WithinSizeLimit(long long size);

// A synced copy of the old contents of a file, kept while the file is overwritten in place.
struct Backup {
    Fd fd;
    std::string path;
};
// Beside the file when its directory takes new files, or else in $TMPDIR, /var/tmp or /tmp.
std::optional<Backup> MakeBackup(int original, long long size, const std::string& target,
                                 Status& failure);

// Starts `script` of the current directory (found without regard to case) under /bin/sh with
// each argument passed as exactly one, detached, and returns once it runs: in a terminal window
// of its own where there is a display and a terminal emulator, otherwise without a window.
Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments);

} // namespace zelvoset::os
