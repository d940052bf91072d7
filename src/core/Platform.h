#pragma once

#include "Application.h"
#include "FileStore.h"
#include "Location.h"
#include "Status.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvoset {

// Message box styles and answers keep the classic numeric values: callers and tests speak of
// "style 16" and "answer 6", and the numbers are how the texts of the installation name them.
enum MessageStyle : int { kStyleError = 16, kStyleWarning = 48, kStyleQuestion = 36 };
enum MessageAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

// What a wildcard probe found. A probe can fail (a directory that exists but cannot be read),
// and every caller has its own rule for that case, so it is kept apart from "none".
enum class Probe { Found, None, Failed };

// What start-up does to an installation file.
enum class Change { Rewrite, Remove };

// What came of asking to start the program again with an administrator's rights.
enum class Elevation {
    Started,    // the new one runs: this one ends
    Declined,   // the user said no at the system's prompt
    Unavailable // already elevated, no such thing on this system, or it failed
};

// A file handle or the reason none could be had.
template <class File> struct Opened {
    std::unique_ptr<File> file;
    std::string error;
};

// What the file-open dialog is asked to show.
struct BrowseRequest {
    std::string title;
    std::string initDir;    // a native path; "" or "." is the current directory at the time
    std::string fileName;   // proposed in the name box
    std::string defaultExt; // added to a name typed without an extension
    std::string filter;     // "description|pattern" pairs joined by '|'
};

// Everything the installer needs from the operating system and the window system.
//
// Paths are native: the bytes the system gave, never re-split or re-encoded. The installation's
// own names ("SVOBJ\*.gnt", "SQPATH.DAT") separate with '\' and reach the platform only through
// JoinPath. Names match without regard to letter case, an exact-case name winning where both
// exist. Relative paths are taken from the current directory.
class Platform {
public:
    virtual ~Platform() = default;

    // Whether at least one ordinary file (a regular file or a link to one, not hidden) matches
    // a pattern with DOS-style '*' and '?' in its last component. Stops at the first match.
    virtual Probe PatternHasFile(std::string_view pattern) = 0;
    // Deletes every ordinary file that matches; fails when none matched.
    virtual Status DeleteMatching(std::string_view pattern) = 0;

    // Starts a script of the current directory, named as the installation names it, with each
    // argument passed as exactly one argument, and returns once it runs. Never waits; the script
    // outlives the program.
    virtual Status LaunchCommand(std::string_view script,
                                 const std::vector<std::string>& arguments) = 0;

    // A modal message box; an empty title shows the application's title. Returns the answer.
    virtual int ShowMessage(std::string_view text, int style, std::string_view title = {}) = 0;
    // A modal file-open dialog: the chosen file's full path, or nullopt on cancel or failure.
    virtual std::optional<std::string> BrowseForFile(const BrowseRequest& request) = 0;

    // Whole-file access. A line file is read through OpenForInput; a whole file is rewritten
    // through the primitives of Files() by the core's own protocol (FileRewrite.h). A rewritten
    // file keeps everything but its contents: owner, permissions, attributes, its other names, a
    // link that leads to it.
    virtual Opened<InputFile> OpenForInput(std::string_view path) = 0;
    virtual FileStore& Files() = 0;

    virtual Status ChangeDirectory(std::string_view path) = 0;
    // The executable's directory, without a trailing separator (a root keeps its own).
    virtual std::string ProgramDirectory() = 0;
    // A name as the installation's texts write it, '\' between components, joined onto a native
    // directory (empty: the current directory). Only the name's separators are converted.
    virtual std::string JoinPath(std::string_view base, std::string_view name) = 0;
    // Where `file` lies below the directory `base`. Links, "." and ".." of the folders are
    // resolved on both sides; the file's own link is not followed, so a link to another
    // folder's file still lies where it was chosen. nullopt when the file does not exist or its
    // folder is not strictly below `base`.
    virtual std::optional<Location> LocateBelow(std::string_view file, std::string_view base) = 0;

    // Whether the system's permissions let this user change every ordinary file that matches
    // `pattern` (wildcards as PatternHasFile) the way start-up would: rewrite it in its place,
    // or remove it. False only for a refusal of rights; a file that is gone, or a question the
    // system cannot answer, is none: the change itself then succeeds or fails as it may. A
    // read-only file is none either: a rewrite keeps it as it is, whoever runs.
    virtual bool MayChange(std::string_view pattern, Change change) = 0;
    // Starts this program again, elevated, with `folder` as its current folder, once the user
    // agrees at the system's prompt. Never waits for it.
    virtual Elevation StartElevated(std::string_view folder) = 0;

    // Unloads the window and ends the process.
    virtual void EndProgram() = 0;
};

} // namespace zelvoset
