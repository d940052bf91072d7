#pragma once

#include "FileRewrite.h"
#include "Platform.h"
#include "Status.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvoset {

// Splits a file into lines as it is read. A line ends at CR LF, at CR or at LF; a last line
// without a terminator is a line, and a terminator at the very end adds no empty line. Bytes are
// passed on as they are.
//
// Lines come in pieces: a line of up to `pieceSize` bytes comes whole, a longer one in pieces of
// at least that size, so that memory stays bounded even by a file without any line end.
class LineReader {
public:
    static constexpr std::size_t kDefaultPieceSize = 64 * 1024;

    explicit LineReader(InputFile& input, std::size_t pieceSize = kDefaultPieceSize);

    // The next piece of a line, without its terminator, valid until the next call. False at the
    // end of the file or on a read error.
    bool Next(std::string_view& piece);
    // Whether the piece just handed out is the last of its line.
    bool lineEnded() const { return lineEnded_; }
    bool failed() const { return failed_; }

private:
    bool Fill();
    bool HandOutPart(std::string_view piece, std::string_view& out);

    InputFile& input_;
    std::size_t pieceSize_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool pendingCR_ = false; // the last line ended in CR at the end of a block: skip a leading LF
    bool lineEnded_ = true;
    std::string carry_; // the part of a line that spans blocks
    bool atEnd_ = false;
    bool failed_ = false;
};

// Writes lines each followed by CR LF, in large blocks.
class LineWriter {
public:
    explicit LineWriter(OutputFile& output);

    // Writes a line, or a piece of one: the terminator follows only when `endsLine`.
    void Write(std::string_view piece, bool endsLine = true);
    // Pushes out what is buffered; false when any write failed.
    bool Flush();

private:
    OutputFile& output_;
    std::string buffer_;
    bool failed_ = false;
};

// Rewrites the file at `path`, which must lie below `root`: first the `head` lines, then every
// line of the old file except those that begin with `dropPrefix` (compared from the first byte,
// case included; an empty prefix drops nothing), each ending in CR LF. The old file stays as it
// was unless the whole new contents reached the disk (see RewriteFile).
RewriteResult RewriteLines(FileStore& store, std::string_view path, std::string_view root,
                           const std::vector<std::string>& head, std::string_view dropPrefix);

// Whether some line of the file equals `line` exactly (whole line, case included).
struct LineSearch {
    Status status;
    bool found = false;
};
LineSearch FindLine(Platform& platform, std::string_view path, std::string_view line);

} // namespace zelvoset
