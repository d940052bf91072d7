#include "Files.h"

#include "Paths.h"
#include "Rewrite.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvoset {
namespace {

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

// Our own code rather than QSaveFile, whose commit() goes on to rename when the sync fails, can
// only give the new file an owner and a mode, and always puts a new file in the old one's place.
//
// A rewrite keeps the whole file: owner, group, mode, ACL and every extended attribute, its
// other hard links, and the link a symbolic link points through. Two routes:
//
// - Beside: the new contents go to a new file in the same directory, which gets all of the old
//   file's attributes, is synced, and is renamed over the old one; the directory is synced
//   after. A crash at any moment leaves the old file or the new one, whole.
// - In place, where that cannot keep the file: its directory refuses new files, the owner or an
//   attribute cannot be given to a new file (a group-writable file of someone else), or other
//   hard links share it. The user may still write the file, and leaving it uncleaned would
//   have the scripts run over stale entries, so the same file is overwritten. The complete new
//   contents are first written to a scratch file and the old ones to a synced backup; only then
//   is the file overwritten, truncated and synced, and the backup removed. A crash during the
//   overwrite, the only moment at risk, leaves the backup (NAME.zelvoset-backup-XXXXXX, beside
//   the file or in $TMPDIR, /var/tmp or /tmp) from which the old contents can be restored.
//   Beside the file is where whoever looks after the installation finds it; /var/tmp, kept
//   across a restart, comes before /tmp, which may be emptied or live in memory.
//
// Someone else writing the file meanwhile is detected just before the commit by its size, times
// and identity: the commit then fails with Overtaken(), leaving the file as they left it.
class PosixReplacement : public ReplacementFile {
public:
    static Opened<ReplacementFile> Open(const std::string& path);

    bool Write(std::string_view bytes) override {
        if (failed_)
            return false;
        if (!posix::WriteAll(contents_.fd.get(), bytes)) {
            failure_ = errno;
            failed_ = true;
            return false;
        }
        written_ += static_cast<long long>(bytes.size());
        // Disk writes overlap the rest of the work instead of all waiting for the final sync.
        if (!inPlace_ && written_ - flushedUpTo_ >= kWritebackStep) {
            posix::StartWriteback(contents_.fd.get(), flushedUpTo_, written_ - flushedUpTo_);
            flushedUpTo_ = written_;
        }
        return true;
    }

    Status Commit() override {
        if (failed_)
            return Status::Fail("The new contents could not be written: " +
                                posix::Reason(failure_));
        return inPlace_ ? CommitInPlace() : CommitBeside();
    }

    bool Overtaken() const override { return overtaken_; }

    ~PosixReplacement() override { posix::Discard(contents_); }

private:
    static constexpr long long kWritebackStep = 4 * 1024 * 1024;

    PosixReplacement(std::string target, posix::Fd original, posix::FileState start)
        : target_(std::move(target)), original_(std::move(original)), start_(start) {}

    // A new file beside the old one that is the old one in all but its contents, if there can be
    // one.
    bool StartBeside() {
        if (start_.links > 1)
            return false;
        const std::size_t slash = target_.rfind('/');
        auto file = posix::CreateUnpublished(slash == 0 ? "/" : target_.substr(0, slash),
                                             target_.substr(slash + 1));
        if (!file || !posix::GiveAttributes(original_.get(), file->fd.get())) {
            if (file)
                posix::Discard(*file);
            return false;
        }
        contents_ = std::move(*file);
        return true;
    }

    Status CommitBeside() {
        if (Status synced = posix::Sync(contents_.fd.get()); !synced)
            return Status::Fail("The new contents could not be saved: " + synced.reason());
        if (ChangedMeanwhile())
            return Overtake();
        if (Status published = posix::Publish(contents_, target_); !published)
            return published;
        // The new file is in place, but until its directory is on disk a crash may bring back
        // the old one: the rewrite is not done.
        if (Status synced = posix::SyncDirectoryOf(target_); !synced)
            return Status::Fail("The replaced file could not be saved: " + synced.reason());
        return Status::Ok();
    }

    Status CommitInPlace() {
        const long long size = written_;
        // A limit reached half-way through the overwrite would leave the file cut.
        if (!posix::WithinSizeLimit(size))
            return Status::Fail(posix::Reason(EFBIG));
        if (ChangedMeanwhile())
            return Overtake();
        Status failure = Status::Ok();
        auto backup = posix::MakeBackup(original_.get(), start_.size, target_, failure);
        if (!backup)
            return failure;
        const posix::Fd out(open(target_.c_str(), O_WRONLY | O_CLOEXEC));
        const int openError = errno;
        const auto opened = out ? posix::StateOf(out.get()) : std::nullopt;
        // The backup took time: a writer may have come in meanwhile.
        if (!opened || !opened->SameFile(start_) || ChangedMeanwhile()) {
            (void)posix::RemoveFile(backup->path);
            return out ? Overtake() : Status::Fail(posix::Reason(openError));
        }
        if (Status reserved = posix::Reserve(out.get(), size); !reserved) {
            (void)posix::RemoveFile(backup->path);
            return reserved;
        }

        Status written = Overwrite(contents_.fd.get(), out.get(), size);
        if (!written) {
            // Put the old contents back; if even that fails, the backup stays for the user.
            if (!Overwrite(backup->fd.get(), out.get(), start_.size))
                return Status::Fail(written.reason() + "; the old contents are kept in " +
                                    backup->path);
            (void)posix::RemoveFile(backup->path);
            return written;
        }
        // Writing as someone else than the owner clears the set-id bits; the owner gets them back.
        if (const auto now = posix::StateOf(out.get()); now && now->mode != start_.mode)
            (void)fchmod(out.get(), start_.mode & 07777);
        (void)posix::RemoveFile(backup->path);
        return Status::Ok();
    }

    static Status Overwrite(int from, int to, long long size) {
        Status done = posix::CopyContents(from, to, size);
        if (done && ftruncate(to, size) != 0)
            done = Status::Fail(posix::Reason(errno));
        if (done)
            done = posix::Sync(to);
        return done;
    }

    // Whether the file at the path is no longer the one opened, as it was when opened.
    bool ChangedMeanwhile() {
        const auto now = posix::StateOf(original_.get());
        const auto there = posix::StateAt(target_);
        overtaken_ = !now || !there || !now->Unchanged(start_) || !there->SameFile(start_);
        return overtaken_;
    }

    Status Overtake() {
        overtaken_ = true;
        return Status::Fail("The file was changed by another program during the rewrite");
    }

    std::string target_;
    posix::Fd original_; // read-only: the state to compare, and the old contents for the backup
    posix::FileState start_;
    posix::NewFile contents_;
    bool inPlace_ = false;
    bool failed_ = false;
    int failure_ = 0;
    bool overtaken_ = false;
    long long written_ = 0;
    long long flushedUpTo_ = 0;
};

Opened<ReplacementFile> PosixReplacement::Open(const std::string& path) {
    // The link's target is rewritten, so that the link stays a link.
    const auto target = posix::RealPath(path);
    if (!target)
        return {nullptr, posix::Reason(errno)};
    if (Status replaceable = posix::CheckReplaceable(*target); !replaceable)
        return {nullptr, replaceable.reason()};
    posix::Fd original(open(target->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const auto start = original ? posix::StateOf(original.get()) : std::nullopt;
    if (!start)
        return {nullptr, posix::Reason(errno)};

    std::unique_ptr<PosixReplacement> file(
        new PosixReplacement(*target, std::move(original), *start));
    if (!file->StartBeside()) {
        auto scratch = posix::CreateScratch("rewrite");
        if (!scratch)
            return {nullptr, "No scratch file for the new contents: " + posix::Reason(errno)};
        file->contents_ = std::move(*scratch);
        file->inPlace_ = true;
    }
    return {std::move(file), {}};
}

} // namespace

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

Opened<ReplacementFile> OpenReplacementFile(const std::string& path) {
    return PosixReplacement::Open(path);
}

} // namespace zelvoset
