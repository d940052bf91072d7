#pragma once

#include "FileStore.h"
#include "Status.h"

#include <functional>
#include <string>
#include <string_view>

namespace zelvoset {

// Writes the new contents of a file from its old ones. Fails when either side failed.
using Refill = std::function<Status(InputFile& old, OutputFile& out)>;

// How a rewrite, or a recovery, ended.
struct RewriteResult {
    Status status = Status::Ok();
    // Where the file lies, when it could be opened.
    std::string location;
    // The backup that still holds the old contents, when one had to be left: the user must
    // learn of it, whatever the status.
    std::string backupLeft;
    // Whether a recovery put the old contents back, its backup perhaps left all the same.
    bool restored = false;
};

// Rewrites the file at `path` (below `root`) with what `refill` makes of its contents, so that a
// crash at any moment leaves the old file, the new one, or the file beside a complete backup of
// its old contents that the next start puts back.
//
// Beside: the new contents go to a new file in the same folder that gets every attribute of the
// old one, is synced, and takes the old one's place at once. In place, where a new file cannot
// be the same file (other names share it, the folder takes no new files, an attribute cannot be
// given): the old contents are copied to a backup, the new contents are made from it into a
// scratch file while the backup goes to disk, and only once it is synced is the backup named
// and the file overwritten from the scratch file, cut to size and synced before the backup
// goes. A failure puts the old contents back from the backup; only
// when that fails too does the backup stay. A file that another program changed meanwhile is
// rewritten once more from its new contents, and then left to that program.
RewriteResult RewriteFile(FileStore& store, std::string_view path, std::string_view root,
                          const Refill& refill);

// Puts back the old contents of the file at `path` from a complete backup that an interrupted
// rewrite left, and removes the backup. Nothing happens without such a backup.
RewriteResult RecoverFile(FileStore& store, std::string_view path, std::string_view root);

// The name of the backup of a file: the file's own name, then a mark that tells what it is and
// a digest of the file's identity, so that it is found again for this very file and no other.
std::string BackupName(const StoredFacts& facts);
// A pattern that every backup name of a file called `fileName` matches.
std::string BackupPattern(std::string_view fileName);

} // namespace zelvoset
