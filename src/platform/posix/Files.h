#pragma once

#include "FileStore.h"
#include "Platform.h"
#include "Rewrite.h"

#include <map>
#include <string>

namespace zelvoset {

// Whole-file access for the line-file rewrites. `path` is '/'-separated and already spelled as
// on disk.
Opened<InputFile> OpenInputFile(const std::string& path);

namespace posix {

// The primitives of a rewrite on Linux. Names are '/'-separated and looked up without regard to
// case. New contents and backups are files without a name (O_TMPFILE) until they get one, so
// that a crash leaves nothing half-made under any name.
class Store : public FileStore {
public:
    Status Open(std::string_view path, std::string_view root, Ref& file,
                StoredFacts& facts) override;
    Status Look(Ref file, std::string& stamp, std::string& identityAtPath) override;
    std::unique_ptr<InputFile> Reader(Ref file) override;
    Status CreateBeside(Ref file, Ref& fresh) override;
    Status CopyAttributes(Ref file, Ref fresh) override;
    Status Publish(Ref fresh, Ref file) override;
    Status SyncFolder(Ref file) override;
    void Discard(Ref fresh) override;
    Status CreateBackup(Ref file, Ref& backup) override;
    Status NameBackup(Ref backup, std::string_view name, std::string& where) override;
    Status FindBackup(Ref file, std::string_view name, Ref& backup, long long& size,
                      std::string& where) override;
    Status RemoveBackup(Ref backup) override;
    Status CreateScratch(Ref file, Ref& scratch) override;
    Status OpenOverwrite(Ref file, Ref& out) override;
    Status Write(Ref file, std::string_view bytes) override;
    Status Copy(Ref from, Ref to, long long size) override;
    Status Truncate(Ref file, long long size) override;
    Status Sync(Ref file) override;
    Status KeepMode(Ref file, Ref out) override;
    void Close(Ref file) override;

private:
    struct Entry {
        NewFile file = {};       // the descriptor, and the name of a file of ours
        std::string target = {}; // the rewritten file's real path
        FileState start = {};
        std::string folder = {}; // where a backup was made
        long long written = 0;
        long long flushedUpTo = 0;
        bool scratch = false; // never synced: nothing to write back early
    };
    Ref Add(Entry entry);
    Entry& At(Ref ref) { return entries_.at(ref); }

    std::map<Ref, Entry> entries_;
    Ref next_ = 0;
};

} // namespace posix
} // namespace zelvoset
