#include "FileRewrite.h"

#include <cstdint>

namespace zelvoset {
namespace {

using Ref = FileStore::Ref;

constexpr const char* kBackupMark = ".zelvoset-backup-";

constexpr const char* kChangedMeanwhile =
    "The file was changed by another program during the rewrite";

// Closes what the store opened on every way out, a crash of the test store's included.
class Closing {
public:
    Closing(FileStore& store, Ref ref) : store_(store), ref_(ref) {}
    ~Closing() {
        if (ref_)
            store_.Close(ref_);
    }
    Closing(const Closing&) = delete;
    Closing& operator=(const Closing&) = delete;

private:
    FileStore& store_;
    Ref ref_;
};

// Removes a file of the store that was never published, on every way out.
class Discarding {
public:
    Discarding(FileStore& store, Ref ref) : store_(store), ref_(ref) {}
    ~Discarding() { store_.Discard(ref_); }
    Discarding(const Discarding&) = delete;
    Discarding& operator=(const Discarding&) = delete;

private:
    FileStore& store_;
    Ref ref_;
};

// New contents into a file of the store, counted, with the first failure kept.
class StoreOutput : public OutputFile {
public:
    StoreOutput(FileStore& store, Ref file) : store_(store), file_(file) {}
    bool Write(std::string_view bytes) override {
        if (!failure_.ok())
            return false;
        failure_ = store_.Write(file_, bytes);
        if (failure_.ok())
            written_ += static_cast<long long>(bytes.size());
        return failure_.ok();
    }
    long long written() const { return written_; }
    const Status& failure() const { return failure_; }

private:
    FileStore& store_;
    Ref file_;
    Status failure_ = Status::Ok();
    long long written_ = 0;
};

struct Pass {
    Pass() = default;
    Pass(Status status_, bool overtaken_ = false, std::string backupLeft_ = {})
        : status(std::move(status_)), overtaken(overtaken_), backupLeft(std::move(backupLeft_)) {}
    Status status = Status::Ok();
    bool overtaken = false;
    std::string backupLeft;
};

Pass Overtaken() {
    return {Status::Fail(kChangedMeanwhile), true};
}

Status Because(const char* what, const Status& failure) {
    return Status::Fail(std::string(what) + ": " + failure.reason());
}

// Whether the file is still the one opened, as it was then, under its name.
Status CheckUnchanged(FileStore& store, Ref file, const StoredFacts& facts, bool& changed) {
    std::string stamp, identity;
    Status looked = store.Look(file, stamp, identity);
    changed = looked.ok() && (stamp != facts.stamp || identity != facts.identity);
    return looked;
}

// The new contents from `source`, written to `target` through `out`.
Status Fill(FileStore& store, Ref source, StoreOutput& out, const Refill& refill) {
    const auto reader = store.Reader(source);
    if (!reader)
        return Status::Fail("The file could not be read");
    Status filled = refill(*reader, out);
    if (!out.failure().ok())
        return Because("The new contents could not be written", out.failure());
    return filled;
}

Pass RewriteBeside(FileStore& store, Ref file, Ref fresh, const StoredFacts& facts,
                   const Refill& refill) {
    StoreOutput out(store, fresh);
    Status done = Fill(store, file, out, refill);
    if (done) {
        if (Status synced = store.Sync(fresh); !synced)
            done = Because("The new contents could not be saved", synced);
    }
    if (!done) {
        store.Discard(fresh);
        return {std::move(done)};
    }
    bool changed = false;
    if (Status looked = CheckUnchanged(store, file, facts, changed); !looked || changed) {
        store.Discard(fresh);
        return changed ? Overtaken() : Pass{std::move(looked)};
    }
    if (Status published = store.Publish(fresh, file); !published) {
        store.Discard(fresh);
        return {std::move(published)};
    }
    // The new file is in place, but until its folder is on disk a crash may bring back the old
    // one: the rewrite is not done.
    if (Status synced = store.SyncFolder(file); !synced)
        return {Because("The replaced file could not be saved", synced)};
    return {};
}

// Puts the old contents back into the file from the backup.
Status PutBack(FileStore& store, Ref file, Ref backup, Ref out, long long size) {
    Status done = store.Copy(backup, out, size);
    if (done)
        done = store.Truncate(out, size);
    if (done)
        done = store.KeepMode(file, out);
    if (done)
        done = store.Sync(out);
    return done;
}

Pass RewriteInPlace(FileStore& store, Ref file, const StoredFacts& facts, const Refill& refill) {
    // Writing clears set-id bits that this user could not put back: the file would come out as
    // another file. Better left uncleaned.
    if (facts.modeLostInPlace)
        return {Status::Fail("The file's set-user-ID or set-group-ID bit would be lost")};

    // The backup gets its name only once it is complete and on disk: whatever carries that name
    // can be copied back over the file.
    Ref backup = 0;
    if (Status created = store.CreateBackup(file, backup); !created)
        return {Because("No backup of the old contents could be made", created)};
    if (Status copied = store.Copy(file, backup, facts.size); !copied) {
        store.Discard(backup);
        return {Because("No backup of the old contents could be made", copied)};
    }
    // The new contents are made from the backup while it goes to disk, into a scratch file that
    // no name reaches: the file itself may not be touched before the backup is safe.
    Ref scratch = 0;
    if (Status created = store.CreateScratch(file, scratch); !created) {
        store.Discard(backup);
        return {Because("No room for the new contents", created)};
    }
    StoreOutput made(store, scratch);
    Status saved = Fill(store, backup, made, refill);
    if (!saved) {
        store.Discard(scratch);
        store.Discard(backup);
        return {std::move(saved)};
    }
    Discarding discardScratch(store, scratch);
    saved = store.Sync(backup);
    std::string where;
    if (saved)
        saved = store.NameBackup(backup, BackupName(facts), where);
    if (!saved) {
        store.Discard(backup);
        return {Because("No backup of the old contents could be made", saved)};
    }
    Closing closeBackup(store, backup);
    const auto dropBackup = [&](Pass pass) {
        if (!store.RemoveBackup(backup))
            pass.backupLeft = where;
        return pass;
    };

    Ref out = 0;
    if (Status opened = store.OpenOverwrite(file, out); !opened)
        return dropBackup({std::move(opened)});
    Closing closeOut(store, out);
    // Checked once the file is held for writing, and after the backup was taken: the backup is
    // then the contents the new ones are made from.
    bool changed = false;
    if (Status looked = CheckUnchanged(store, file, facts, changed); !looked || changed)
        return dropBackup(changed ? Overtaken() : Pass{std::move(looked)});

    Status done = store.Copy(scratch, out, made.written());
    if (done)
        done = store.Truncate(out, made.written());
    if (done)
        done = store.KeepMode(file, out);
    if (done)
        done = store.Sync(out);
    if (done)
        return dropBackup({});

    if (PutBack(store, file, backup, out, facts.size))
        return dropBackup({std::move(done)});
    // The one place the old contents are still whole.
    return {std::move(done), false, where};
}

Pass RewriteOnce(FileStore& store, std::string_view path, std::string_view root,
                 const Refill& refill, std::string& location) {
    Ref file = 0;
    StoredFacts facts;
    if (Status opened = store.Open(path, root, file, facts); !opened)
        return {std::move(opened)};
    Closing closeFile(store, file);
    location = facts.location;

    // Beside unless a new file cannot be this very file.
    Ref fresh = 0;
    if (!facts.shared && store.CreateBeside(file, fresh)) {
        if (store.CopyAttributes(file, fresh))
            return RewriteBeside(store, file, fresh, facts, refill);
        store.Discard(fresh);
    }
    return RewriteInPlace(store, file, facts, refill);
}

std::string_view FolderOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string Hex(std::uint64_t value) {
    std::string digits(16, '0');
    for (std::size_t i = digits.size(); i-- > 0; value >>= 4)
        digits[i] = "0123456789abcdef"[value & 0xF];
    return digits;
}

} // namespace

std::string BackupName(const StoredFacts& facts) {
    // FNV-1a: stable across builds and systems, which the name must be.
    std::uint64_t digest = 0xcbf29ce484222325u;
    for (const char c : facts.identity) {
        digest ^= static_cast<unsigned char>(c);
        digest *= 0x100000001b3u;
    }
    const std::size_t slash = facts.location.find_last_of("/\\");
    const std::string name =
        slash == std::string::npos ? facts.location : facts.location.substr(slash + 1);
    return name + kBackupMark + Hex(digest);
}

std::string BackupPattern(std::string_view fileName) {
    return std::string(fileName) + kBackupMark + "*";
}

RewriteResult RewriteFile(FileStore& store, std::string_view path, std::string_view root,
                          const Refill& refill) {
    // Lines that another program wrote meanwhile are not to be lost: the pass starts again from
    // the file as it left it. Interrupted a second time, the file is left to that program.
    RewriteResult result;
    Pass pass = RewriteOnce(store, path, root, refill, result.location);
    if (pass.overtaken)
        pass = RewriteOnce(store, path, root, refill, result.location);
    result.status = std::move(pass.status);
    result.backupLeft = std::move(pass.backupLeft);
    return result;
}

RewriteResult RecoverFile(FileStore& store, std::string_view path, std::string_view root) {
    RewriteResult result;
    Ref file = 0;
    StoredFacts facts;
    if (Status opened = store.Open(path, root, file, facts); !opened) {
        result.status = std::move(opened);
        return result;
    }
    Closing closeFile(store, file);
    result.location = facts.location;

    Ref backup = 0;
    long long size = 0;
    std::string where;
    if (Status found = store.FindBackup(file, BackupName(facts), backup, size, where); !found) {
        result.status = std::move(found);
        return result;
    }
    if (!backup && !facts.earlierIdentity.empty() && facts.earlierIdentity != facts.identity) {
        // A backup an earlier version left under its own naming. Its name holds what then told
        // the file, so it is this file's only as long as that still does, and only beside the
        // file: in a shared temporary folder a name is no proof once the system was restarted.
        StoredFacts earlier = facts;
        earlier.identity = facts.earlierIdentity;
        if (Status found = store.FindBackup(file, BackupName(earlier), backup, size, where);
            !found) {
            result.status = std::move(found);
            return result;
        }
        if (backup && FolderOf(where) != FolderOf(facts.location)) {
            store.Close(backup);
            backup = 0;
        }
    }
    if (!backup)
        return result;
    Closing closeBackup(store, backup);
    // The backup goes only once the file holds its contents again, on disk: a crash now leaves
    // both, and the next start does this once more.
    Ref out = 0;
    Status done = store.OpenOverwrite(file, out);
    if (done) {
        Closing closeOut(store, out);
        done = PutBack(store, file, backup, out, size);
    }
    result.restored = done.ok();
    if (done)
        done = store.RemoveBackup(backup);
    if (!done) {
        result.status = std::move(done);
        result.backupLeft = where;
    }
    return result;
}

} // namespace zelvoset
