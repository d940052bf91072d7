// Feeds arbitrary bytes as a file through the line rewrite a cleaning pass makes, and checks the
// result against a reference model small enough to be right by inspection.
//
// Input layout: byte 0 chooses how the run goes, the rest is the file.
//   bit 0     the prefix dropped: 0 "00SV" (SQPATH.DAT), 1 "TB" (SQMENU.DAT)
//   bit 1     write a head line first, as the start-up file fix does
//   bits 3-4  a fault: 1 the read fails part-way, 2 a write fails part-way, 3 now and then the
//             file cannot be opened for reading or for replacing, 0 none
//   bits 5-7  how the file is handed out in pieces (mixed with the file's own bytes)
//   bit 2     together with bits 5-7 all set: the file is repeated until it passes the reader's
//             and writer's 256 KiB blocks, and read in pieces of up to a whole block and more,
//             as a real file gives them (such a run costs hundreds of small ones, so it is rare)
// A failed open, read or write must fail the rewrite and leave the file as it was; a failed read
// must not pass for a line that is not there.

#include "LineFile.h"
#include "MemoryStore.h"
#include "Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace zelvoset;

// The harness's own loops are not what the fuzzer should be steering by, and instrumenting them
// makes the runs over files past 64 KiB several times slower.
#define HARNESS __attribute__((no_sanitize("coverage")))

// The reader's and writer's block.
constexpr std::size_t kBlock = 256 * 1024;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "line_filter_fuzz: %s\n", what);
        std::abort();
    }
}

// Deterministic pieces from a seed, so that a crash replays exactly.
class Pieces {
public:
    Pieces(unsigned mode, std::uint64_t seed) : mode_(mode), state_(seed | 1) {}

    std::size_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        switch (mode_ % 4) {
        case 0:
            return 1; // every CR LF pair straddles a read
        case 1:
            return 1 + state_ % 7;
        case 2:
            return 1 + state_ % 1000;
        default:
            return state_ % 3 == 0 ? kBlock : 1 + state_ % (kBlock + kBlock / 8); // whole blocks
        }
    }

private:
    unsigned mode_;
    std::uint64_t state_;
};

class PieceInput : public InputFile {
public:
    PieceInput(const std::string& bytes, Pieces pieces, std::size_t failAt)
        : bytes_(bytes), pieces_(pieces), failAt_(failAt) {}

    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        if (pos_ >= failAt_)
            return std::nullopt;
        std::size_t n = std::min({size, bytes_.size() - pos_, pieces_.Next()});
        n = std::min(n, failAt_ - pos_);
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    const std::string& bytes_;
    Pieces pieces_;
    std::size_t pos_ = 0;
    std::size_t failAt_;
};

struct Disk {
    std::string bytes;
    std::size_t writeLimit = SIZE_MAX; // a write that would pass this many bytes fails
    bool refuseInput = false;
    bool refuseOutput = false;
};

// The test store of the rewrite's primitives, reading the old contents in the run's pieces and
// failing the writes that pass the limit.
class FuzzStore : public zelvoset::testing::MemoryStore {
public:
    FuzzStore(std::map<std::string, zelvoset::testing::FakeFile>& files, Disk& disk,
              const std::string& source, Pieces pieces, std::size_t readFailAt)
        : MemoryStore(files), disk_(disk), source_(source), pieces_(pieces),
          readFailAt_(readFailAt) {}

    std::unique_ptr<InputFile> Reader(Ref) override {
        if (disk_.refuseInput)
            return nullptr;
        return std::make_unique<PieceInput>(source_, pieces_, readFailAt_);
    }
    Status Write(Ref file, std::string_view bytes) override {
        if (written_ + bytes.size() > disk_.writeLimit)
            return Status::Fail("disk full");
        written_ += bytes.size();
        return MemoryStore::Write(file, bytes);
    }

private:
    Disk& disk_;
    const std::string& source_;
    Pieces pieces_;
    std::size_t readFailAt_;
    std::size_t written_ = 0;
};

// Only the file operations are reached by a rewrite; the rest must stay untouched.
class MemoryPlatform : public Platform {
public:
    MemoryPlatform(Disk& disk, Pieces pieces, std::size_t readFailAt)
        : disk_(disk), source_(disk.bytes), pieces_(pieces), readFailAt_(readFailAt) {}

    Opened<InputFile> OpenForInput(std::string_view) override {
        if (disk_.refuseInput)
            return {nullptr, "cannot be read"};
        return {std::make_unique<PieceInput>(source_, pieces_, readFailAt_), {}};
    }
    FileStore& Files() override { Unreached(); }

    Probe PatternHasFile(std::string_view) override { Unreached(); }
    Status DeleteMatching(std::string_view) override { Unreached(); }
    Status LaunchCommand(std::string_view, const std::vector<std::string>&) override {
        Unreached();
    }
    int ShowMessage(std::string_view, int, std::string_view) override { Unreached(); }
    std::optional<std::string> BrowseForFile(const BrowseRequest&) override { Unreached(); }
    Status ChangeDirectory(std::string_view) override { Unreached(); }
    std::string ProgramDirectory() override { Unreached(); }
    std::string JoinPath(std::string_view, std::string_view) override { Unreached(); }
    std::optional<Location> LocateBelow(std::string_view, std::string_view) override {
        Unreached();
    }
    bool MayChange(std::string_view, Change) override { Unreached(); }
    Elevation StartElevated(std::string_view) override { Unreached(); }
    void EndProgram() override { Unreached(); }

private:
    [[noreturn]] static void Unreached() {
        std::fprintf(stderr, "line_filter_fuzz: a rewrite reached an unrelated platform call\n");
        std::abort();
    }

    Disk& disk_;
    const std::string source_; // the old contents, read while the new ones are written
    Pieces pieces_;
    std::size_t readFailAt_;
};

// The rules as plainly as they can be written, one byte at a time: CR LF, CR or LF ends a line;
// bytes after the last terminator are a last line; a terminator at the very end adds no empty
// line. Lines are kept as spans of the buffer, which keeps runs over big files affordable.
HARNESS std::vector<std::string_view> ReferenceLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));
    return lines;
}

HARNESS bool StartsWith(std::string_view line, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= line.size() || line[i] != prefix[i])
            return false;
    }
    return true;
}

HARNESS std::string ReferenceRewrite(std::string_view bytes, const std::vector<std::string>& head,
                                     const char* prefix) {
    std::string out;
    for (const auto& line : head)
        out.append(line).append("\r\n");
    for (const auto line : ReferenceLines(bytes)) {
        if (!StartsWith(line, prefix))
            out.append(line).append("\r\n");
    }
    return out;
}

// Holds whatever the reference says: every line ends in CR LF, no CR or LF is left alone inside,
// and past the head no kept line starts with the prefix.
HARNESS void CheckShape(std::string_view out, const char* prefix, std::size_t headLines) {
    std::size_t lineStart = 0, lineNumber = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n')
            Check(false, "an LF that does not follow a CR");
        if (out[i] != '\r')
            continue;
        Check(i + 1 < out.size() && out[i + 1] == '\n', "a CR that is not followed by an LF");
        Check(lineNumber < headLines || !StartsWith(out.substr(lineStart, i - lineStart), prefix),
              "a prefixed line was kept");
        ++i;
        lineStart = i + 1;
        ++lineNumber;
    }
    Check(lineStart == out.size(), "output does not end with CR LF");
}

HARNESS std::uint64_t Mix(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const unsigned control = data[0];
    const char* prefix = (control & 1) ? "TB" : "00SV";
    std::vector<std::string> head;
    if (control & 2)
        head.emplace_back("@echo off");
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool big = (control & 0xE4) == 0xE4;
    if (big && !bytes.empty()) {
        const std::string once = bytes;
        while (bytes.size() <= kBlock + 64)
            bytes += once;
    }
    const unsigned fault = (control >> 3) & 3;
    const std::uint64_t hash = Mix(data, size);
    const Pieces pieces(control >> 5, hash);

    Disk disk;
    disk.bytes = bytes;
    const std::string expected = ReferenceRewrite(bytes, head, prefix);
    std::size_t readFailAt = SIZE_MAX;
    if (fault == 1)
        readFailAt = (hash >> 20) % (bytes.size() + 1);
    if (fault == 2)
        disk.writeLimit = (hash >> 20) % (expected.size() + 1);
    if (fault == 3 && hash % 8 == 0)
        (hash & 8 ? disk.refuseInput : disk.refuseOutput) = true;
    const bool shouldFail =
        disk.refuseInput || disk.refuseOutput || fault == 1 || expected.size() > disk.writeLimit;

    MemoryPlatform platform(disk, pieces, readFailAt);
    std::map<std::string, zelvoset::testing::FakeFile> files;
    files["F"].bytes = bytes;
    files["F"].readOnly = disk.refuseOutput;
    FuzzStore store(files, disk, bytes, pieces, readFailAt);
    const RewriteResult result = RewriteLines(store, "F", "", head, prefix);

    Check(files.size() == 1 && result.backupLeft.empty(), "a rewrite left a file beside");
    if (shouldFail) {
        Check(!result.status.ok(), "a failed open, read or write was not reported");
        Check(files["F"].bytes == bytes, "a failed rewrite changed the file");
    } else {
        Check(result.status.ok(), "a rewrite without faults failed");
        Check(files["F"].bytes == expected, "output differs from the reference model");
        CheckShape(files["F"].bytes, prefix, head.size());
    }
    if (disk.refuseInput)
        return 0;

    // The search for a whole line splits the same way; the old contents are still its input.
    const auto lines = ReferenceLines(bytes);

    // Read in small pieces, long lines come in parts that rejoin into exactly the same lines.
    if (fault == 0) {
        const std::size_t pieceSize = 1 + hash % 48;
        PieceInput input(bytes, pieces, SIZE_MAX);
        LineReader reader(input, pieceSize);
        std::vector<std::string> joined(1);
        std::string_view piece;
        while (reader.Next(piece)) {
            Check(reader.lineEnded() || piece.size() >= pieceSize, "a short piece mid-line");
            joined.back().append(piece);
            if (reader.lineEnded())
                joined.emplace_back();
        }
        joined.pop_back();
        Check(!reader.failed() &&
                  std::equal(joined.begin(), joined.end(), lines.begin(), lines.end()),
              "pieces do not rejoin into the reference lines");
    }
    const bool present = std::find(lines.begin(), lines.end(), prefix) != lines.end();
    const LineSearch search = FindLine(platform, "F", prefix);
    if (fault == 1)
        Check(search.found ? present : !search.status.ok(), "a failed read passed for no line");
    else
        Check(search.status.ok() && search.found == present, "FindLine differs from the reference");
    return 0;
}
