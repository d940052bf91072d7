#pragma once

#include "Status.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelvoset {

// The reading side of a line file.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Fills up to `size` bytes; 0 at the end of the file, nullopt on a read error.
    virtual std::optional<std::size_t> Read(char* buffer, std::size_t size) = 0;
};

// Where new contents go, in order.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool Write(std::string_view bytes) = 0;
};

// What a store tells of a file it opened for a rewrite.
struct StoredFacts {
    // Where the file really lies, every link resolved: what a message names.
    std::string location;
    // Which file it is, for as long as it exists, wherever it is reached from. A backup's name
    // is made from it, so that a backup is only ever taken for this very file's.
    std::string identity;
    // Changes whenever the contents do (size and times).
    std::string stamp;
    long long size = 0;
    // Other names share the file: a new file in its place would part them.
    bool shared = false;
    // An overwrite in place would lose part of the file's mode (a set-id bit the running user
    // cannot give back).
    bool modeLostInPlace = false;
    // What earlier versions made a backup's name from, where it differs from `identity`: such a
    // backup is this file's only while that still leads to this very file.
    std::string earlierIdentity = {};
};

// The primitives a system offers for rewriting a whole file. They act, and say whether they
// could; every decision of a rewrite is taken by the caller (see FileRewrite.h). A file is reached
// through a number of the store's choosing, valid until Close(); 0 is none.
class FileStore {
public:
    using Ref = int;

    virtual ~FileStore() = default;

    // Opens the file at `path` to be rewritten. Refuses, without touching anything, a file that
    // is not a regular file, that is read-only (also for a privileged user) or that the user may
    // not write, and one that lies outside the folder `root` once every link is resolved.
    virtual Status Open(std::string_view path, std::string_view root, Ref& file,
                        StoredFacts& facts) = 0;
    // The stamp of the opened file now, and the identity of the file its path leads to now.
    virtual Status Look(Ref file, std::string& stamp, std::string& identityAtPath) = 0;
    // Reads an opened file from its start.
    virtual std::unique_ptr<InputFile> Reader(Ref file) = 0;

    // A new, empty file in the folder of `file` that no name leads to yet, or only a hidden
    // temporary one; gone with Discard() or a crash where the system allows.
    virtual Status CreateBeside(Ref file, Ref& fresh) = 0;
    // Gives `fresh` everything of `file` but its contents (owner, mode, attributes, security),
    // or fails when any of it would come out different.
    virtual Status CopyAttributes(Ref file, Ref fresh) = 0;
    // Puts `fresh` in the place of `file` under its name, at once; afterwards `fresh` is closed.
    virtual Status Publish(Ref fresh, Ref file) = 0;
    // Makes the names in the folder of `file` durable.
    virtual Status SyncFolder(Ref file) = 0;
    // Removes a file that was never published, and closes it.
    virtual void Discard(Ref fresh) = 0;

    // An empty file for a backup of `file`: beside it where its folder takes new files, else in
    // a temporary folder, and without its final name until NameBackup().
    virtual Status CreateBackup(Ref file, Ref& backup) = 0;
    // Gives the complete backup the name `name` in its folder, durably, never over an existing
    // file. `where` is the full name given.
    virtual Status NameBackup(Ref backup, std::string_view name, std::string& where) = 0;
    // Finds a backup called `name` made for `file` in the folders CreateBackup uses, with its
    // size: only a plain file of one name that the user this program runs as (or one the system
    // lets make it for them: the file's owner, the Administrators group) made, and that nobody
    // else could have written. Ok with 0 when there is none.
    virtual Status FindBackup(Ref file, std::string_view name, Ref& backup, long long& size,
                              std::string& where) = 0;
    // Removes a named backup.
    virtual Status RemoveBackup(Ref backup) = 0;

    // A file for new contents that no name reaches, beside `file` where its folder allows (a
    // copy within one file system costs least) or else in a temporary folder; gone with
    // Discard() or a crash.
    virtual Status CreateScratch(Ref file, Ref& scratch) = 0;

    // A handle that writes `file` itself from its start, keeping everyone else from writing
    // meanwhile where the system can.
    virtual Status OpenOverwrite(Ref file, Ref& out) = 0;

    virtual Status Write(Ref file, std::string_view bytes) = 0;
    // `to` gets the first `size` bytes of `from`, from its start.
    virtual Status Copy(Ref from, Ref to, long long size) = 0;
    virtual Status Truncate(Ref file, long long size) = 0;
    virtual Status Sync(Ref file) = 0;
    // After an overwrite: puts back the mode bits the system cleared on writing.
    virtual Status KeepMode(Ref file, Ref out) = 0;
    virtual void Close(Ref file) = 0;
};

} // namespace zelvoset
