#include "LineFile.h"

#include <algorithm>

namespace zelvoset {
namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

} // namespace

LineReader::LineReader(InputFile& input) : input_(input), buffer_(kBlockSize) {}

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

bool LineReader::Next(std::string& line) {
    line.clear();
    bool started = false;
    for (;;) {
        if (pos_ == end_ && !Fill())
            return started && !failed_;
        const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(pos_);
        const auto last = buffer_.begin() + static_cast<std::ptrdiff_t>(end_);
        const auto stop = std::find_if(first, last, IsLineEnd);
        line.append(first, stop);
        started = true;
        if (stop == last) {
            pos_ = end_;
            continue;
        }
        const char terminator = *stop;
        pos_ = static_cast<std::size_t>(stop - buffer_.begin()) + 1;
        // A CR LF pair may straddle two blocks.
        if (terminator == '\r' && (pos_ < end_ || Fill()) && buffer_[pos_] == '\n')
            ++pos_;
        return !failed_;
    }
}

LineWriter::LineWriter(ReplacementFile& output) : output_(output) {
    buffer_.reserve(kBlockSize);
}

void LineWriter::Write(std::string_view line) {
    buffer_.append(line);
    buffer_.append("\r\n");
    if (buffer_.size() >= kBlockSize)
        Flush();
}

bool LineWriter::Flush() {
    if (!buffer_.empty() && !failed_)
        failed_ = !output_.Write(buffer_);
    buffer_.clear();
    return !failed_;
}

Status RewriteLines(Platform& platform, std::string_view path, const std::vector<std::string>& head,
                    const std::function<bool(std::string_view)>& keep) {
    auto input = platform.OpenForInput(path);
    if (!input.file)
        return Status::Fail(input.error);
    auto output = platform.OpenForReplace(path);
    if (!output.file)
        return Status::Fail(output.error);

    LineWriter writer(*output.file);
    for (const auto& line : head)
        writer.Write(line);
    LineReader reader(*input.file);
    std::string line;
    while (reader.Next(line)) {
        if (keep(line))
            writer.Write(line);
    }
    // Returning without Commit() discards the new contents: the old file stays untouched.
    if (reader.failed())
        return Status::Fail("the file could not be read to its end");
    if (!writer.Flush())
        return Status::Fail("the new contents could not be written");
    return output.file->Commit();
}

LineSearch FindLine(Platform& platform, std::string_view path, std::string_view wanted) {
    auto input = platform.OpenForInput(path);
    if (!input.file)
        return {Status::Fail(input.error), false};
    LineReader reader(*input.file);
    std::string line;
    while (reader.Next(line)) {
        if (line == wanted)
            return {Status::Ok(), true};
    }
    if (reader.failed())
        return {Status::Fail("the file could not be read to its end"), false};
    return {Status::Ok(), false};
}

} // namespace zelvoset
