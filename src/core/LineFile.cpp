#include "LineFile.h"

#include <algorithm>
#include <cstring>

namespace zelvoset {
namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

} // namespace

LineReader::LineReader(InputFile& input) : input_(input), buffer_(kBlockSize) {}

bool LineReader::Fill() {
    pos_ = end_ = 0;
    scanned_ = false;
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

std::size_t LineReader::FindLineEnd() {
    const char* data = buffer_.data();
    const auto find = [&](char wanted) {
        const void* hit = std::memchr(data + pos_, wanted, end_ - pos_);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : end_;
    };
    if (!scanned_ || nextLF_ < pos_)
        nextLF_ = find('\n');
    if (!scanned_ || nextCR_ < pos_)
        nextCR_ = find('\r');
    scanned_ = true;
    return std::min(nextLF_, nextCR_);
}

bool LineReader::Next(std::string_view& line) {
    if (pendingCR_) {
        pendingCR_ = false;
        if (pos_ == end_ && !Fill())
            return false;
        if (buffer_[pos_] == '\n')
            ++pos_;
    }
    bool spans = false;
    carry_.clear();
    for (;;) {
        if (pos_ == end_ && !Fill()) {
            line = carry_;
            return spans && !failed_;
        }
        const std::size_t stop = FindLineEnd();
        const char* first = buffer_.data() + pos_;
        if (stop == end_) {
            carry_.append(first, end_ - pos_);
            spans = true;
            pos_ = end_;
            continue;
        }
        if (spans) {
            carry_.append(first, stop - pos_);
            line = carry_;
        } else {
            line = std::string_view(first, stop - pos_);
        }
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
    std::string_view line;
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
    std::string_view line;
    while (reader.Next(line)) {
        if (line == wanted)
            return {Status::Ok(), true};
    }
    if (reader.failed())
        return {Status::Fail("the file could not be read to its end"), false};
    return {Status::Ok(), false};
}

} // namespace zelvoset
