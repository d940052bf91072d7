#pragma once

#include "Platform.h"
#include "Status.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvoset {

// Splits a file into lines as it is read, without holding more than one buffer and one line.
// A line ends at CR LF, at CR or at LF; a last line without a terminator is a line, and a
// terminator at the very end adds no empty line. Bytes are passed on as they are.
class LineReader {
public:
    explicit LineReader(InputFile& input);

    // The next line, without its terminator, valid until the next call. False at the end of the
    // file or on a read error.
    bool Next(std::string_view& line);
    bool failed() const { return failed_; }

private:
    bool Fill();

    InputFile& input_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool pendingCR_ = false; // the last line ended in CR at the end of a block: skip a leading LF
    std::string carry_;      // a line that spans blocks
    bool atEnd_ = false;
    bool failed_ = false;
};

// Writes lines each followed by CR LF, in large blocks.
class LineWriter {
public:
    explicit LineWriter(ReplacementFile& output);

    void Write(std::string_view line);
    // Pushes out what is buffered; false when any write failed.
    bool Flush();

private:
    ReplacementFile& output_;
    std::string buffer_;
    bool failed_ = false;
};

// Rewrites the file at `path`: first the `head` lines, then every line of the old file except
// those that begin with `dropPrefix` (compared from the first byte, case included; an empty
// prefix drops nothing), each ending in CR LF. The old file stays exactly as it was unless the
// whole new contents reached the disk.
Status RewriteLines(Platform& platform, std::string_view path, const std::vector<std::string>& head,
                    std::string_view dropPrefix);

// Whether some line of the file equals `line` exactly (whole line, case included).
struct LineSearch {
    Status status;
    bool found = false;
};
LineSearch FindLine(Platform& platform, std::string_view path, std::string_view line);

} // namespace zelvoset
