// The pieces of a file rewrite on Linux: new files that no name reaches until they are complete,
// copies and checked syncs. Files.cpp offers them to the core's rewrite as its store;
// Attributes.cpp makes a new file the same file.
#include "Rewrite.h"

#include "Directory.h"
#include "Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace zelvoset::posix {
namespace {

// Large enough that system calls cost nothing next to the copying.
constexpr std::size_t kCopyBlock = 256 * 1024;

// statx rather than stat: it also tells when the file was made.
std::optional<FileState> StateFrom(int at, const char* path, int flags) {
    struct statx st;
    if (statx(at, path, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        return std::nullopt;
    const auto nanoseconds = [](const statx_timestamp& t) {
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    };
    return FileState{makedev(st.stx_dev_major, st.stx_dev_minor),
                     st.stx_ino,
                     static_cast<long long>(st.stx_size),
                     nanoseconds(st.stx_mtime),
                     nanoseconds(st.stx_ctime),
                     st.stx_nlink,
                     st.stx_mode,
                     (st.stx_mask & STATX_BTIME) ? nanoseconds(st.stx_btime) : 0};
}

// A file created with a pattern of mkostemp(3), or nullopt with errno set.
std::optional<NewFile> CreateNamed(const std::string& directory, std::string_view name) {
    std::string path = directory + "/" + std::string(name) + "XXXXXX";
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    return NewFile{Fd(fd), path};
}

// Copies with plain reads and writes, where the kernel cannot copy between the two files.
Status CopyByReading(int from, int to, long long at, long long size) {
    std::vector<char> block(kCopyBlock);
    while (at < size) {
        const auto want = static_cast<std::size_t>(std::min<long long>(size - at, kCopyBlock));
        const ssize_t got = pread(from, block.data(), want, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Status::Fail(Reason(errno));
        if (got == 0)
            return Status::Fail("The file ended early");
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                pwrite(to, block.data() + done, static_cast<std::size_t>(got - done), at + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return Status::Fail(Reason(errno));
            done += put;
        }
        at += got;
    }
    return Status::Ok();
}

} // namespace

Status CheckReplaceable(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return Status::Fail(Reason(errno));
    if (S_ISDIR(st.st_mode))
        return Status::Fail(Reason(EISDIR));
    if (!S_ISREG(st.st_mode))
        return Status::Fail("Not a regular file");
    // The owner write bit is the POSIX read-only attribute; root would otherwise write anyway.
    if (!(st.st_mode & S_IWUSR))
        return Status::Fail("The file is read-only");
    if (access(path.c_str(), W_OK) != 0)
        return Status::Fail(Reason(errno));
    return Status::Ok();
}

bool MayRewrite(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR))
        return true;
    return access(path.c_str(), W_OK) == 0 || !IsRefusal(errno);
}

std::optional<FileState> StateOf(int fd) {
    return StateFrom(fd, "", AT_EMPTY_PATH);
}

std::optional<FileState> StateAt(const std::string& path) {
    return StateFrom(AT_FDCWD, path.c_str(), 0);
}

std::optional<NewFile> CreateUnpublished(const std::string& directory, std::string_view hint) {
    // Unnamed until published: a crash leaves nothing behind in the user's directory.
    const int fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0)
        return NewFile{Fd(fd), {}};
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return std::nullopt;
    // Hidden, so that no probe of the installation ever counts it.
    return CreateNamed(directory, "." + std::string(hint) + ".");
}

Status Publish(NewFile& file, const std::string& target) {
    if (file.path.empty()) {
        // An unnamed file gets a name of its own first: a link cannot replace an existing name,
        // a rename can.
        const std::string fdPath = "/proc/self/fd/" + std::to_string(file.fd.get());
        const std::string stem = DirectoryOf(target) + "/." + NameOf(target) + ".";
        for (int attempt = 0; file.path.empty(); ++attempt) {
            const std::string name =
                stem + std::to_string(getpid()) + "-" + std::to_string(attempt);
            if (linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                file.path = name;
            else if (errno != EEXIST || attempt > 100)
                return Status::Fail("The new file could not be named: " + Reason(errno));
        }
    }
    if (rename(file.path.c_str(), target.c_str()) != 0) {
        const int error = errno;
        Discard(file);
        return Status::Fail(Reason(error));
    }
    file.path.clear();
    // The file was synced while it had no name or another, and not every file system carries
    // that over to the name it has now (Btrfs logs an unnamed inode without the extents a later
    // name finds, and a power cut leaves the name leading to an empty file). Synced once more
    // under its final name; the caller then syncs the folder.
    return Sync(file.fd.get());
}

void Discard(NewFile& file) {
    if (!file.path.empty())
        (void)unlink(file.path.c_str());
    file.path.clear();
}

std::optional<NewFile> CreateScratch(std::string_view hint) {
    const char* tmpdir = std::getenv("TMPDIR");
    for (const std::string& directory : {std::string(tmpdir ? tmpdir : ""), std::string("/tmp")}) {
        if (directory.empty())
            continue;
        const int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return NewFile{Fd(fd), {}};
        if (auto file = CreateNamed(directory, "zelvoset-" + std::string(hint) + "-")) {
            // Nobody needs it by name: unlinked now, it vanishes with the program.
            Discard(*file);
            return file;
        }
    }
    return std::nullopt;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

Status CopyContents(int from, int to, long long size) {
    long long at = 0;
    // In the kernel, without passing the bytes through the program; a shared extent where the
    // file system can.
    while (at < size) {
        loff_t in = at, out = at;
        const ssize_t copied =
            copy_file_range(from, &in, to, &out, static_cast<std::size_t>(size - at), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                           errno == EOPNOTSUPP || errno == EBADF))
            break; // not between these two files: copy by reading
        if (copied < 0)
            return Status::Fail(Reason(errno));
        if (copied == 0)
            return Status::Fail("The file ended early");
        at += copied;
    }
    return CopyByReading(from, to, at, size);
}

Status Sync(int fd) {
    if (fsync(fd) != 0)
        return Status::Fail(Reason(errno));
    return Status::Ok();
}

Status SyncDirectoryOf(const std::string& file) {
    const Fd directory(open(DirectoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory)
        return Status::Fail(Reason(errno));
    return Sync(directory.get());
}

void StartWriteback(int fd, long long offset, long long length) {
    (void)sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

} // namespace zelvoset::posix
