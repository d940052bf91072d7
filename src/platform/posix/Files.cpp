#include "Files.h"

#include "Paths.h"
#include "Rewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelvoset {
namespace {

using posix::DirectoryOf;
using posix::NameOf;

// Bytes as they are: the installation's files are 8-bit text in an unknown code page.
class PosixInputFile : public InputFile {
public:
    explicit PosixInputFile(posix::Fd fd) : fd_(std::move(fd)) {}

    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = read(fd_.get(), buffer, size);
            if (got >= 0)
                return static_cast<std::size_t>(got);
            if (errno != EINTR)
                return std::nullopt;
        }
    }

private:
    posix::Fd fd_;
};

// Reads an open file from its start with its own offset, whoever else reads or writes it.
class PositionedInput : public InputFile {
public:
    explicit PositionedInput(int fd) : fd_(fd) {}

    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = pread(fd_, buffer, size, at_);
            if (got >= 0) {
                at_ += got;
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR)
                return std::nullopt;
        }
    }

private:
    int fd_;
    off_t at_ = 0;
};

// Disk writes of new contents overlap the rest of the work instead of all waiting for the
// final sync.
constexpr long long kWritebackStep = 4 * 1024 * 1024;

// Which file a state describes, for as long as it exists: its backup's name comes from this,
// and must come out the same after a power cut. So no device number, which the next start may
// give to another disk or none of them keeps (device-mapper's follow the order of activation,
// and Btrfs numbers every mount anew): the inode and the time the file was made tell it from
// every other file that was ever at its path, and the path from any other installation's file
// in a shared temporary folder.
std::string Identity(const posix::FileState& state, const std::string& path) {
    return std::to_string(state.inode) + "@" + std::to_string(state.born) + ":" + path;
}

// What earlier versions named a backup after. The device number in it was the file's own at the
// time, so it tells this file only while the file is on the same device, and never after a
// restart that renumbered the devices.
std::string EarlierIdentity(const posix::FileState& state, const std::string& path) {
    return std::to_string(state.device) + ":" + std::to_string(state.inode) + ":" + path;
}

std::string Stamp(const posix::FileState& state) {
    return std::to_string(state.size) + ":" + std::to_string(state.modified) + ":" +
           std::to_string(state.changed);
}

// Writing as someone else than the owner clears the set-id bits, and only the owner can give
// them back; the set-group-id bit only when the owner is in the group.
bool ModeLostInPlace(const posix::FileState& state, uid_t owner, gid_t group) {
    const uid_t user = geteuid();
    if (user == 0 || !(state.mode & (S_ISUID | S_ISGID)))
        return false;
    if (user != owner)
        return true;
    if (!(state.mode & S_ISGID) || group == getegid())
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
    const int count = getgroups(static_cast<int>(groups.size()), groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(count, 0), group) ==
           groups.begin() + std::max(count, 0);
}

// The folders a backup may go to, in order: beside the file, where whoever looks after the
// installation finds it; then the temporary folder, preferring /var/tmp, which is kept across a
// restart, to /tmp, which may be emptied or be in memory.
std::vector<std::string> BackupFolders(const std::string& target) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::vector<std::string> folders = {DirectoryOf(target)};
    for (const std::string& folder :
         {std::string(tmpdir ? tmpdir : ""), std::string("/var/tmp"), std::string("/tmp")})
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    return folders;
}

Status Failed(const char* what) {
    return Status::Fail(std::string(what) + ": " + posix::Reason(errno));
}

} // namespace

namespace posix {

FileStore::Ref Store::Add(Entry entry) {
    entries_.emplace(++next_, std::move(entry));
    return next_;
}

Status Store::Open(std::string_view path, std::string_view root, Ref& file, StoredFacts& facts) {
    // The link's target is rewritten, so that the link stays a link; and only a target within
    // the installation, so that a link planted in it cannot have a file elsewhere rewritten.
    const auto target = RealPath(ResolveCase(path).path);
    if (!target)
        return Status::Fail(Reason(errno));
    const auto base = RealPath(ResolveCase(root.empty() ? "." : root).path);
    if (!base)
        return Status::Fail(Reason(errno));
    const std::string prefix = base->ends_with('/') ? *base : *base + '/';
    if (!target->starts_with(prefix))
        return Status::Fail("The file lies outside the installation folder");
    if (Status replaceable = CheckReplaceable(*target); !replaceable)
        return replaceable;
    Fd original(open(target->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!original || fstat(original.get(), &st) != 0)
        return Status::Fail(Reason(errno));
    if (!S_ISREG(st.st_mode))
        return Status::Fail("Not a regular file");
    const FileState start = *StateOf(original.get());
    facts = {*target,
             Identity(start, *target),
             Stamp(start),
             start.size,
             start.links > 1,
             ModeLostInPlace(start, st.st_uid, st.st_gid),
             EarlierIdentity(start, *target)};
    file = Add({NewFile{std::move(original), {}}, *target, start});
    return Status::Ok();
}

Status Store::Look(Ref file, std::string& stamp, std::string& identityAtPath) {
    const Entry& entry = At(file);
    const auto now = StateOf(entry.file.fd.get());
    if (!now)
        return Status::Fail(Reason(errno));
    stamp = Stamp(*now);
    const auto there = StateAt(entry.target);
    identityAtPath = there ? Identity(*there, entry.target) : std::string();
    return Status::Ok();
}

std::unique_ptr<InputFile> Store::Reader(Ref file) {
    return std::make_unique<PositionedInput>(At(file).file.fd.get());
}

Status Store::CreateBeside(Ref file, Ref& fresh) {
    const std::string& target = At(file).target;
    auto created = CreateUnpublished(DirectoryOf(target), NameOf(target));
    if (!created)
        return Status::Fail(Reason(errno));
    fresh = Add({std::move(*created), target, At(file).start});
    return Status::Ok();
}

Status Store::CopyAttributes(Ref file, Ref fresh) {
    return GiveAttributes(At(file).file.fd.get(), At(fresh).file.fd.get());
}

Status Store::Publish(Ref fresh, Ref file) {
    if (Status published = posix::Publish(At(fresh).file, At(file).target); !published)
        return published;
    entries_.erase(fresh);
    return Status::Ok();
}

Status Store::SyncFolder(Ref file) {
    return SyncDirectoryOf(At(file).target);
}

void Store::Discard(Ref fresh) {
    posix::Discard(At(fresh).file);
    entries_.erase(fresh);
}

Status Store::CreateBackup(Ref file, Ref& backup) {
    const std::string& target = At(file).target;
    Status failure = Status::Fail("No folder takes new files");
    for (const std::string& folder : BackupFolders(target)) {
        // Without a name until it is complete. Readable by its owner alone: the old contents
        // are nobody else's business in a shared temporary folder.
        int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        std::string path;
        if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            // A hidden name that no one takes for a backup.
            path = folder + "/." + NameOf(target) + ".zelvoset-partial-XXXXXX";
            fd = mkostemp(path.data(), O_CLOEXEC);
            if (fd >= 0)
                (void)fchmod(fd, 0600);
        }
        if (fd < 0) {
            failure = Failed(folder.c_str());
            continue;
        }
        backup = Add({NewFile{Fd(fd), path}, target, {}, folder});
        return Status::Ok();
    }
    return failure;
}

Status Store::NameBackup(Ref backup, std::string_view name, std::string& where) {
    Entry& entry = At(backup);
    where = entry.folder + "/" + std::string(name);
    if (entry.file.path.empty()) {
        // A link never takes an existing name: a backup found there stays as it is.
        const std::string fdPath = "/proc/self/fd/" + std::to_string(entry.file.fd.get());
        if (linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, where.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return Failed(where.c_str());
    } else if (renameat2(AT_FDCWD, entry.file.path.c_str(), AT_FDCWD, where.c_str(),
                         RENAME_NOREPLACE) != 0) {
        return Failed(where.c_str());
    }
    entry.file.path = where;
    // Found again after a crash only if its name reached the disk, and what it leads to under
    // that name: the sync of a file that had no name yet does not make its contents last under
    // the name it gets later on every file system (Btrfs logs it as a nameless inode, and a power
    // cut then leaves an empty file under the name). So the file once more, then its folder.
    if (Status synced = posix::Sync(entry.file.fd.get()); !synced)
        return synced;
    return SyncDirectoryOf(where);
}

Status Store::FindBackup(Ref file, std::string_view name, Ref& backup, long long& size,
                         std::string& where) {
    const Entry& entry = At(file);
    struct stat owner;
    if (fstat(entry.file.fd.get(), &owner) != 0)
        return Status::Fail(Reason(errno));
    for (const std::string& folder : BackupFolders(entry.target)) {
        const std::string path = folder + "/" + std::string(name);
        Fd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        if (!fd || fstat(fd.get(), &st) != 0)
            continue;
        // Only a plain file that this user or the file's owner made, and that nobody else could
        // have written: one planted in a shared folder is not put back.
        if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || (st.st_mode & 022) ||
            (st.st_uid != geteuid() && st.st_uid != owner.st_uid))
            continue;
        size = st.st_size;
        where = path;
        backup = Add({NewFile{std::move(fd), path}, entry.target, {}, folder});
        return Status::Ok();
    }
    backup = 0;
    return Status::Ok();
}

Status Store::RemoveBackup(Ref backup) {
    Entry& entry = At(backup);
    if (unlink(entry.file.path.c_str()) != 0 && errno != ENOENT)
        return Failed(entry.file.path.c_str());
    const std::string path = std::move(entry.file.path);
    entry.file.path.clear();
    // Gone for good: a backup that came back after a crash would undo the rewrite.
    return SyncDirectoryOf(path);
}

Status Store::CreateScratch(Ref file, Ref& scratch) {
    const std::string& target = At(file).target;
    // Beside the file, where the kernel copies it over without passing the bytes through here.
    int fd = open(DirectoryOf(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        auto elsewhere = posix::CreateScratch(NameOf(target));
        if (!elsewhere)
            return Status::Fail(Reason(errno));
        fd = elsewhere->fd.release();
    }
    scratch = Add({NewFile{Fd(fd), {}}, target, {}, {}, 0, 0, true});
    return Status::Ok();
}

Status Store::OpenOverwrite(Ref file, Ref& out) {
    const Entry& entry = At(file);
    Fd fd(open(entry.target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd)
        return Status::Fail(Reason(errno));
    const auto opened = StateOf(fd.get());
    if (!opened || !opened->SameFile(entry.start))
        return Status::Fail("The file was changed by another program during the rewrite");
    out = Add({NewFile{std::move(fd), {}}, entry.target, entry.start});
    return Status::Ok();
}

Status Store::Write(Ref file, std::string_view bytes) {
    Entry& entry = At(file);
    if (!WriteAll(entry.file.fd.get(), bytes))
        return Status::Fail(Reason(errno));
    entry.written += static_cast<long long>(bytes.size());
    if (!entry.scratch && entry.written - entry.flushedUpTo >= kWritebackStep) {
        StartWriteback(entry.file.fd.get(), entry.flushedUpTo, entry.written - entry.flushedUpTo);
        entry.flushedUpTo = entry.written;
    }
    return Status::Ok();
}

Status Store::Copy(Ref from, Ref to, long long size) {
    const int out = At(to).file.fd.get();
    Status copied = CopyContents(At(from).file.fd.get(), out, size);
    // On its way to disk while the rest of the work goes on: the sync finds little left.
    if (copied)
        StartWriteback(out, 0, size);
    return copied;
}

Status Store::Truncate(Ref file, long long size) {
    if (ftruncate(At(file).file.fd.get(), size) != 0)
        return Status::Fail(Reason(errno));
    return Status::Ok();
}

Status Store::Sync(Ref file) {
    return posix::Sync(At(file).file.fd.get());
}

Status Store::KeepMode(Ref file, Ref out) {
    const unsigned mode = At(file).start.mode & 07777;
    const int fd = At(out).file.fd.get();
    const auto now = StateOf(fd);
    if (now && (now->mode & 07777) == mode)
        return Status::Ok();
    if (fchmod(fd, mode) != 0)
        return Status::Fail("The permissions could not be kept: " + Reason(errno));
    const auto after = StateOf(fd);
    if (!after || (after->mode & 07777) != mode)
        return Status::Fail("The permissions could not be kept");
    return Status::Ok();
}

void Store::Close(Ref file) {
    entries_.erase(file);
}

} // namespace posix

Opened<InputFile> OpenInputFile(const std::string& path) {
    // Opening a FIFO or a device could block or never end; no line file is one.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return {nullptr, S_ISDIR(st.st_mode) ? posix::Reason(EISDIR) : "Not a regular file"};
    // Not blocking all the same, should one take the file's place meanwhile.
    posix::Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return {nullptr, posix::Reason(errno)};
    if (fstat(fd.get(), &st) != 0)
        return {nullptr, posix::Reason(errno)};
    if (S_ISDIR(st.st_mode))
        return {nullptr, posix::Reason(EISDIR)};
    if (!S_ISREG(st.st_mode))
        return {nullptr, "Not a regular file"};
    (void)fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return {std::make_unique<PosixInputFile>(std::move(fd)), {}};
}

} // namespace zelvoset
