#include "LineFile.h"
#include "FakePlatform.h"

#include <gtest/gtest.h>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;
using zelvoset::testing::PieceInput;

namespace {

// Rewrites the bytes through RewriteLines with a filter, as a cleaning pass does.
std::string Rewrite(const std::string& bytes, std::string_view dropPrefix = {}) {
    FakePlatform platform;
    platform.files["F"].bytes = bytes;
    EXPECT_TRUE(RewriteLines(platform.Files(), "F", "", {}, dropPrefix).status.ok());
    return platform.files["F"].bytes;
}

} // namespace

TEST(LineFile, EveryKindOfLineEndBecomesCrLf) {
    EXPECT_EQ(Rewrite("a\nb\nc\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(Rewrite("a\rb\rc\r"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(Rewrite("a\r\nb\nc\rd"), "a\r\nb\r\nc\r\nd\r\n");
    // LF CR is two line ends around an empty line, not one.
    EXPECT_EQ(Rewrite("a\n\rb"), "a\r\n\r\nb\r\n");
    EXPECT_EQ(Rewrite("\r\n\r\n"), "\r\n\r\n");
}

TEST(LineFile, LastLineAndEmptyFile) {
    EXPECT_EQ(Rewrite("no terminator"), "no terminator\r\n");
    EXPECT_EQ(Rewrite("one\r\n"), "one\r\n"); // no empty line added after the last terminator
    EXPECT_EQ(Rewrite(""), "");
}

TEST(LineFile, BytesPassThroughUntouched) {
    const std::string odd("x\0y\xE9\xFF\x1A", 6);
    EXPECT_EQ(Rewrite(odd + "\n" + odd), odd + "\r\n" + odd + "\r\n");
}

TEST(LineFile, LfOnlyFileIsFilteredLineByLine) {
    // Read as one line, this whole file would vanish because it starts with the prefix.
    EXPECT_EQ(Rewrite("00SV1\nkeep\n00SV2\nalso\n", "00SV"), "keep\r\nalso\r\n");
}

TEST(LineFile, LongLinesAndManyLinesSurviveBlockBoundaries) {
    std::string bytes, expected;
    for (int i = 0; i < 80000; ++i) {
        const std::string line = "line " + std::to_string(i) + std::string(i % 97, 'x');
        bytes += line + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
        expected += line + "\r\n";
    }
    const std::string huge(200000, 'h');
    bytes += huge;
    expected += huge + "\r\n";
    EXPECT_EQ(Rewrite(bytes), expected);
}

// Branches of LineFile.cpp that no test takes, and why: Fill is never called again once Next said
// false; a CR waits for its LF only at the very end of a block (pos_ == end_); and the writer never
// writes after a failed write, whose failure the rewrite's own output reports as well.
TEST(LineFile, FailuresLeaveTheOldBytes) {
    FakePlatform platform;
    platform.files["F"] = {"00SV\r\nkeep\r\n", false, false, /*failCommit*/ true};
    EXPECT_FALSE(RewriteLines(platform.Files(), "F", "", {}, "0").status.ok());
    EXPECT_EQ(platform.files["F"].bytes, "00SV\r\nkeep\r\n");

    platform.files["F"].failCommit = false;
    platform.files["F"].readOnly = true;
    EXPECT_FALSE(RewriteLines(platform.Files(), "F", "", {"x"}, {}).status.ok());
    EXPECT_EQ(platform.files["F"].bytes, "00SV\r\nkeep\r\n");

    // Unreadable: nothing is committed. What is read is the file opened for the rewrite, whose
    // changes the rewrite watches for, never the path opened once more.
    platform.files["F"] = {"data\r\n", true, false, false};
    platform.events.clear();
    EXPECT_FALSE(RewriteLines(platform.Files(), "F", "", {"x"}, {}).status.ok());
    EXPECT_EQ(platform.files["F"].bytes, "data\r\n");
    EXPECT_EQ(platform.events, (std::vector<std::string>{"replace F"}));
    EXPECT_EQ(platform.files.size(), 1u);

    // Caught: a read error part-way taken for the end of the file, which would cut it short, or
    // prove a line that may go on.
    platform.files["F"] = {"00SV\r\nSET COBSW=-F"};
    platform.files["F"].readFailsAtEnd = true;
    EXPECT_FALSE(RewriteLines(platform.Files(), "F", "", {}, "00SV").status.ok());
    EXPECT_EQ(platform.files["F"].bytes, "00SV\r\nSET COBSW=-F");
    EXPECT_FALSE(FindLine(platform, "F", "SET COBSW=-F").found);
}

TEST(LineFile, AFileChangedMeanwhileIsRewrittenOnceMoreOrLeft) {
    // Changed during the first pass: the second starts from the other program's contents.
    FakePlatform platform;
    platform.files["F"] = {"00SV\r\nkeep\r\n", false, false, false, /*overtakes*/ 1};
    EXPECT_TRUE(RewriteLines(platform.Files(), "F", "", {}, "00SV").status.ok());
    EXPECT_EQ(platform.files["F"].bytes, "keep\r\nOTHER\r\n");

    // Changed during both: the file stays as the other program left it.
    platform.files["F"] = {"00SV\r\nkeep\r\n", false, false, false, /*overtakes*/ 2};
    EXPECT_FALSE(RewriteLines(platform.Files(), "F", "", {}, "00SV").status.ok());
    EXPECT_EQ(platform.files["F"].bytes, "00SV\r\nkeep\r\nOTHER\r\nOTHER\r\n");

    // Caught: a file saved anew under its name, where the old one's stamp stays, not seen.
    platform.files["F"] = {"00SV\r\nkeep\r\n"};
    platform.files["F"].savedAnew = 2;
    EXPECT_FALSE(RewriteLines(platform.Files(), "F", "", {}, "00SV").status.ok());
}

TEST(LineFile, FindLineMatchesWholeLinesExactly) {
    FakePlatform platform;
    platform.files["F"].bytes = "SET COBSW=-F \r\nset cobsw=-f\nSET COBSW=-Fx";
    EXPECT_FALSE(FindLine(platform, "F", "SET COBSW=-F").found);
    platform.files["F"].bytes = "first\nSET COBSW=-F";
    EXPECT_TRUE(FindLine(platform, "F", "SET COBSW=-F").found);
    EXPECT_FALSE(FindLine(platform, "missing", "x").status.ok());
}

TEST(LineFile, LongLinesComeInBoundedPiecesThatRejoinExactly) {
    const std::string longLine(100, 'L');
    PieceInput input("short\r\n" + longLine + "\r\n" + longLine, false, /*step*/ 7);
    LineReader reader(input, /*pieceSize*/ 16);
    std::vector<std::string> lines(1);
    std::string_view piece;
    while (reader.Next(piece)) {
        EXPECT_TRUE(reader.lineEnded() || piece.size() >= 16) << "a short piece mid-line";
        EXPECT_LE(piece.size(), 16u + 7u); // never much more than one piece is held
        lines.back() += piece;
        if (reader.lineEnded())
            lines.emplace_back();
    }
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(lines, (std::vector<std::string>{"short", longLine, longLine, ""}));
}

TEST(LineFile, MegabyteLinesAreFilteredByTheirStart) {
    const std::string dropped = "00SV" + std::string(1 << 20, 'd');
    const std::string kept = "KEEP" + std::string(1 << 20, 'k');
    EXPECT_EQ(Rewrite(dropped + "\n" + kept + "\n" + dropped, "00SV"), kept + "\r\n");
    // A file without any line end is one line, kept whole.
    EXPECT_EQ(Rewrite(kept, "00SV"), kept + "\r\n");

    FakePlatform platform;
    platform.files["F"].bytes = "SET COBSW=-F" + std::string(1 << 20, ' ');
    EXPECT_FALSE(FindLine(platform, "F", "SET COBSW=-F").found);
}

TEST(LineFile, PiecesOfAWholeBlockAndMoreGoThroughTheWriterWhole) {
    // Reads as large as the reader's block, as a real file gives them: a line longer than a
    // block comes out in pieces of a block or more, which the writer passes on unbuffered.
    struct Collected : OutputFile {
        bool Write(std::string_view bytes) override {
            text.append(bytes);
            ++writes;
            return true;
        }
        std::string text;
        int writes = 0;
    };
    std::string bytes, expected;
    for (const std::size_t size : {std::size_t{3} << 20, std::size_t{256} << 10, std::size_t{5}}) {
        std::string line(size, 'a');
        for (std::size_t i = 0; i < size; i += 4093)
            line[i] = static_cast<char>('b' + i % 23);
        bytes += line + "\n";
        expected += line + "\r\n";
    }
    for (const std::size_t step : {std::size_t{256} << 10, std::size_t{1} << 20}) {
        PieceInput input(bytes, false, step);
        LineReader reader(input);
        Collected out;
        LineWriter writer(out);
        std::string_view piece;
        std::size_t longest = 0;
        while (reader.Next(piece)) {
            longest = std::max(longest, piece.size());
            writer.Write(piece, reader.lineEnded());
        }
        ASSERT_TRUE(writer.Flush());
        EXPECT_GE(longest, std::size_t{256} << 10);
        EXPECT_TRUE(out.text == expected) << "reads of " << step;
    }
}
