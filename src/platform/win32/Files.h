#pragma once

#include "FileStore.h"
#include "Handle.h"
#include "Platform.h"
#include "Status.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Whole-file access for the line-file rewrites.
namespace zelvoset::win32 {

Opened<InputFile> OpenInputFile(std::string_view path);

// Every byte written, or the reason; a short write is a failure, not a success.
Status WriteAll(HANDLE file, std::string_view bytes);
// On disk, not only in the system's cache.
Status FlushToDisk(HANDLE file);

// Which file a path leads to, with its size and last write: how a change by another program
// during a rewrite is seen. A write that keeps the size within the file system's time
// resolution (2 s on FAT) is not.
struct FileState {
    DWORD volume = 0;
    ULONGLONG index = 0;
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;
    bool SameFile(const FileState& other) const {
        return volume == other.volume && index == other.index;
    }
};
std::optional<FileState> StateOf(HANDLE file);

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
// The final path of a folder, every link and junction resolved.
std::optional<std::wstring> FinalFolder(const std::wstring& folder);
// Two final paths, letter case aside.
bool SamePath(const std::wstring& a, const std::wstring& b);
// Whether a folder, every link and junction on the way resolved, is the current folder or lies
// below it.
bool WithinCurrentFolder(const std::wstring& folder);

// The primitives of a rewrite on Windows. New contents wait in a file of their own beside the
// old one until ReplaceFileW puts them in its place, which keeps the old file's security, short
// name and streams. An overwrite in place holds the file so that no other program writes it
// meanwhile (Wine enforces this only among its own processes).
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
    Status CreateOwn(Ref file, Ref& own);
    struct Entry {
        Handle handle = {};
        std::wstring path = {};   // the file's full name: ours, or the rewritten one's final path
        bool ours = false;        // a file of ours, removed by Discard
        std::wstring folder = {}; // where a backup was made
        FileState start = {};
        DWORD attributes = 0;
    };
    Ref Add(Entry entry);
    Entry& At(Ref ref) { return entries_.at(ref); }

    std::map<Ref, Entry> entries_;
    Ref next_ = 0;
};

} // namespace zelvoset::win32
