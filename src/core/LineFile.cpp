#include "LineFile.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zelvoset {
namespace {

// Large enough that system calls cost nothing next to the copying, small enough to stay in cache.
constexpr std::size_t kBlockSize = 256 * 1024;

// Called once a line on files of a million lines: a plain loop, where a call to memcmp for a
// four-byte prefix would cost more than the comparison.
bool BeginsWith(std::string_view line, std::string_view prefix) {
    if (prefix.empty() || line.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (line[i] != prefix[i])
            return false;
    return true;
}

// The first CR or LF in [from, to), or `to`. Eight bytes at a time rather than memchr: lines are
// a few dozen bytes, and looking for two bytes would take two memchr calls a line, whose set-up
// costs more than the scan itself.
std::size_t FindLineEnd(const char* data, std::size_t from, std::size_t to) {
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        constexpr std::uint64_t kHighs = 0x8080808080808080u;
        for (; i + 8 <= to; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            const std::uint64_t cr = word ^ (kOnes * '\r');
            const std::uint64_t lf = word ^ (kOnes * '\n');
            // A byte that was CR or LF is now zero. The lowest flagged byte is always a real
            // zero (a false flag can only sit above one), and the lowest is all we want.
            const std::uint64_t zeros = (((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs;
            if (zeros)
                return i + static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
        }
    }
    for (; i < to; ++i)
        if (data[i] == '\r' || data[i] == '\n')
            return i;
    return to;
}

} // namespace

LineReader::LineReader(InputFile& input, std::size_t pieceSize)
    : input_(input), pieceSize_(pieceSize), buffer_(kBlockSize) {}

bool LineReader::Fill() {
    pos_ = end_ = 0;
    if (atEnd_ || failed_)
        return false;
    const auto got = input_.Read(buffer_.data(), buffer_.size());
    if (!got) {
        failed_ = true;
        return false;
    }
    if (*got == 0) {
        atEnd_ = true;
        return false;
    }
    end_ = *got;
    return true;
}

bool LineReader::HandOutPart(std::string_view piece, std::string_view& out) {
    out = piece;
    lineEnded_ = false;
    return true;
}

bool LineReader::Next(std::string_view& piece) {
    if (pendingCR_) {
        pendingCR_ = false;
        if (pos_ == end_ && !Fill())
            return false;
        if (buffer_[pos_] == '\n')
            ++pos_;
    }
    const bool lineOpen = !lineEnded_;
    carry_.clear();
    for (;;) {
        if (pos_ == end_ && !Fill()) {
            // The end of the file ends a line still open, even with nothing left of it.
            piece = carry_;
            const bool more = lineOpen || !carry_.empty();
            lineEnded_ = true;
            return more && !failed_;
        }
        const std::size_t stop = FindLineEnd(buffer_.data(), pos_, end_);
        const char* first = buffer_.data() + pos_;
        if (stop == end_) {
            const std::size_t rest = end_ - pos_;
            pos_ = end_;
            if (carry_.empty() && rest >= pieceSize_)
                return HandOutPart({first, rest}, piece);
            carry_.append(first, rest);
            if (carry_.size() >= pieceSize_)
                return HandOutPart(carry_, piece);
            continue;
        }
        if (carry_.empty()) {
            piece = std::string_view(first, stop - pos_);
        } else {
            carry_.append(first, stop - pos_);
            piece = carry_;
        }
        lineEnded_ = true;
        pos_ = stop + 1;
        if (buffer_[stop] == '\r') {
            // The LF of a CR LF pair may only arrive with the next block; peeking now would
            // overwrite the line just handed out.
            if (pos_ < end_) {
                if (buffer_[pos_] == '\n')
                    ++pos_;
            } else {
                pendingCR_ = true;
            }
        }
        return true;
    }
}

LineWriter::LineWriter(OutputFile& output) : output_(output) {
    buffer_.reserve(kBlockSize);
}

void LineWriter::Write(std::string_view piece, bool endsLine) {
    if (piece.size() >= kBlockSize) {
        // A long piece goes straight out rather than through the buffer.
        if (Flush() && !output_.Write(piece))
            failed_ = true;
        piece = {};
    }
    const std::size_t at = buffer_.size();
    const std::size_t ending = endsLine ? 2 : 0;
    buffer_.resize(at + piece.size() + ending);
    // Not for an empty piece: its data may be null, which memcpy may not be given.
    if (!piece.empty())
        std::memcpy(buffer_.data() + at, piece.data(), piece.size());
    if (endsLine) {
        buffer_[at + piece.size()] = '\r';
        buffer_[at + piece.size() + 1] = '\n';
    }
    if (buffer_.size() >= kBlockSize)
        Flush();
}

bool LineWriter::Flush() {
    if (!buffer_.empty() && !failed_)
        failed_ = !output_.Write(buffer_);
    buffer_.clear();
    return !failed_;
}

RewriteResult RewriteLines(FileStore& store, std::string_view path, std::string_view root,
                           const std::vector<std::string>& head, std::string_view dropPrefix) {
    return RewriteFile(store, path, root, [&](InputFile& old, OutputFile& out) {
        LineWriter writer(out);
        for (const auto& line : head)
            writer.Write(line);
        LineReader reader(old);
        std::string_view piece;
        bool lineStart = true;
        bool keep = true;
        while (reader.Next(piece)) {
            // A line's first piece is either the whole line or longer than any prefix.
            if (lineStart)
                keep = !BeginsWith(piece, dropPrefix);
            if (keep)
                writer.Write(piece, reader.lineEnded());
            lineStart = reader.lineEnded();
        }
        if (reader.failed())
            return Status::Fail("The file could not be read to its end");
        if (!writer.Flush())
            return Status::Fail("The new contents could not be written");
        return Status::Ok();
    });
}

LineSearch FindLine(Platform& platform, std::string_view path, std::string_view wanted) {
    auto input = platform.OpenForInput(path);
    if (!input.file)
        return {Status::Fail(input.error), false};
    LineReader reader(*input.file);
    std::string_view piece;
    bool lineStart = true;
    while (reader.Next(piece)) {
        if (lineStart && reader.lineEnded() && piece == wanted)
            return {Status::Ok(), true};
        lineStart = reader.lineEnded();
    }
    if (reader.failed())
        return {Status::Fail("the file could not be read to its end"), false};
    return {Status::Ok(), false};
}

} // namespace zelvoset
