// Measures the installer against the everyday tools that do the same work, in one run on one
// machine, and prints a table of ratios. Every figure is the median of several repetitions.
#include "ConfigFiles.h"
#include "Measure.h"
#include "QtPlatform.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zelvoset;
using namespace zelvoset::bench;

namespace {

constexpr int kRepetitions = 9;
// Laying out 100,000 files takes seconds; five runs of each side are enough for a median.
constexpr int kDeletionRepetitions = 5;

class InstallationPlatform : public QtPlatform {
public:
    explicit InstallationPlatform(std::string directory) : directory_(std::move(directory)) {}
    std::string ProgramDirectory() override { return directory_; }

private:
    std::string directory_;
};

void Row(const char* what, double ours, double theirs, const char* baseline, const char* target) {
    std::printf("| %-34s | %9.3f s | %-28s | %9.3f s | %6.2fx | %-8s |\n", what, ours, baseline,
                theirs, ours / theirs, target);
}

// 1,000,000 lines, CR LF, every other one an entry the cleaning removes: about 40 MB.
void MakeLargePathFile(const fs::path& file) {
    std::ofstream out(file, std::ios::binary);
    std::string line;
    for (int i = 0; i < 1000000; ++i) {
        line = (i % 2 ? "00SV" : "PATH");
        line += std::to_string(1000000 + i);
        line += "=C:\\ZELVO\\DATA\\COMPANY\\FILES\r\n";
        out << line;
    }
}

// What the cleaning leaves of that file: its lines without the 00SV entries.
std::string CleanedContents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string kept, line;
    while (std::getline(in, line))
        if (!line.starts_with("00SV"))
            kept += line + '\n';
    return kept;
}

void Check(bool done, const char* what) {
    if (!done)
        throw std::runtime_error(std::string(what) + " failed");
}

// The disk work that any crash-safe overwrite in place has to do, with no filtering at all: the
// old contents copied to a backup and flushed, and only then the new contents written over the
// file, cut to size and flushed, and the backup freed. The real route filters while the backup
// goes to disk, so this is the least it can cost.
void OverwriteBehindBackup(const fs::path& file, const std::string& contents) {
    const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
    Check(fd >= 0, "opening the file");
    const int backup = open(file.parent_path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    Check(backup >= 0, "making the backup");
    for (loff_t in = 0, out = 0;;) {
        const ssize_t copied = copy_file_range(fd, &in, backup, &out, 1 << 30, 0);
        Check(copied >= 0, "copying to the backup");
        if (copied == 0)
            break;
    }
    Check(fsync(backup) == 0, "flushing the backup");
    Check(pwrite(fd, contents.data(), contents.size(), 0) == static_cast<ssize_t>(contents.size()),
          "overwriting");
    Check(ftruncate(fd, static_cast<off_t>(contents.size())) == 0, "cutting to size");
    Check(fsync(fd) == 0, "flushing the file");
    close(backup);
    close(fd);
}

void BenchCleaning(const fs::path& work) {
    const fs::path inst = work / "clean", master = work / "master.dat";
    fs::create_directories(inst);
    MakeLargePathFile(master);
    const fs::path file = inst / "SQPATH.DAT";
    const std::string copy = "cp '" + master.string() + "' '" + file.string() + "'";
    // Settled on disk first, so that no run pays for writing back the previous one's file.
    const auto restore = [&] { Shell(copy + " && sync"); };

    InstallationPlatform platform(inst.string());
    long long growth = 0;
    const double ours = MedianSeconds(kRepetitions, restore, [&] {
        const long long before = CurrentMemoryBytes();
        ResetPeakMemory();
        CleanOutSQPATH(platform);
        growth = std::max(growth, PeakMemoryBytes() - before);
    });
    // cp overwrites the same old file that the cleaning replaces, so both pay for dropping it.
    const double cp = MedianSeconds(kRepetitions, restore,
                                    [&] { Shell(copy + " && sync '" + file.string() + "'"); });
    const double sed = MedianSeconds(kRepetitions, restore, [&] {
        Shell("sed -i '/^00SV/d' '" + file.string() + "' && sync '" + file.string() + "'");
    });
    // In place: a second name shares the file, which a new file beside it could not keep. The
    // old contents go to a synced backup, from which the new ones are made straight into the
    // file.
    const fs::path other = inst / "SQPATH.LNK";
    long long inPlaceGrowth = 0;
    const double inPlace = MedianSeconds(
        kRepetitions,
        [&] {
            restore();
            fs::remove(other);
            fs::create_hard_link(file, other);
        },
        [&] {
            const long long before = CurrentMemoryBytes();
            ResetPeakMemory();
            CleanOutSQPATH(platform);
            inPlaceGrowth = std::max(inPlaceGrowth, PeakMemoryBytes() - before);
        });
    fs::remove(other);
    const std::string cleaned = CleanedContents(master);
    const double diskWork =
        MedianSeconds(kRepetitions, restore, [&] { OverwriteBehindBackup(file, cleaned); });
    std::printf("\nCleaning a %.1f MB SQPATH.DAT of 1,000,000 lines (half removed)\n",
                static_cast<double>(fs::file_size(master)) / 1e6);
    Row("CleanOutSQPATH", ours, cp, "cp + sync", "<= 1.0x");
    Row("CleanOutSQPATH", ours, sed, "sed -i '/^00SV/d' + sync", "< 0.3x");
    Row("CleanOutSQPATH in place", inPlace, ours, "CleanOutSQPATH beside", "<= 1.3x");
    Row("CleanOutSQPATH in place", inPlace, cp, "cp + sync", "-");
    Row("in place's disk work, no filtering", diskWork, ours, "CleanOutSQPATH beside", "-");
    Row("CleanOutSQPATH in place", inPlace, diskWork, "in place's disk work alone", "-");
    std::printf("Peak memory growth while cleaning: %.2f MB, in place %.2f MB (target < 4 MB)\n",
                static_cast<double>(growth) / (1024.0 * 1024.0),
                static_cast<double>(inPlaceGrowth) / (1024.0 * 1024.0));
}

void MakeCompiledFiles(const fs::path& svobj) {
    fs::remove_all(svobj);
    fs::create_directories(svobj);
    for (int i = 0; i < 100000; ++i) {
        const fs::path name = svobj / ("PROG" + std::to_string(i) + (i % 2 ? ".gnt" : ".int"));
        std::ofstream(name, std::ios::binary) << "x";
    }
}

void BenchDeletion(const fs::path& work) {
    const fs::path inst = work / "svobj-inst", svobj = inst / "SVOBJ";
    fs::create_directories(inst);
    fs::current_path(inst);
    InstallationPlatform platform(inst.string());
    const auto fresh = [&] { MakeCompiledFiles(svobj); };

    const double probe = MedianSeconds(kDeletionRepetitions, fresh, [&] {
        if (platform.PatternHasFile("SVOBJ/*.gnt") != Probe::Found)
            throw std::runtime_error("no .gnt file found");
    });
    const double ours = MedianSeconds(kDeletionRepetitions, fresh, [&] {
        if (!platform.DeleteMatching("SVOBJ/*.gnt"))
            throw std::runtime_error("deletion failed");
    });
    const double find = MedianSeconds(kDeletionRepetitions, fresh, [&] {
        Shell("find SVOBJ -maxdepth 1 -iname '*.gnt' -delete");
    });
    std::printf("\nAn SVOBJ of 100,000 files, half of them .gnt\n");
    Row("PatternHasFile + DeleteMatching", probe + ours, find, "find -iname -delete", "<= 1.1x");
    std::printf("PatternHasFile alone: %.6f s (stops at the first match)\n", probe);
}

void MakePbsSample(const fs::path& inst) {
    fs::create_directories(inst);
    std::ofstream(inst / "PBS.BAT") << "@echo off\r\n";
    for (const char* script : {"svpath.bat", "vlkreset.bat", "svreset.bat"})
        std::ofstream(inst / script) << "exit 0\n";
}

void BenchStartup(const fs::path& work) {
    const fs::path inst = work / "pbs";
    MakePbsSample(inst);
    const auto samples = [&](const char* program, const char* argument, bool resetFiles) {
        return MedianSeconds(
            kRepetitions,
            [&] {
                if (!resetFiles)
                    return;
                std::ofstream(inst / "SQPATH.DAT", std::ios::binary) << "00SV1\r\nPATH\r\n";
                std::ofstream(inst / "SQMENU.DAT", std::ios::binary) << "TB1\r\nMENU\r\n";
            },
            [&] { (void)SecondsToFirstLine(program, inst.string(), argument); });
    };
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Without a display the scripts start without terminal windows, as they do offscreen.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    // Warm the page cache for both, so the first run measures neither's disk reads.
    (void)SecondsToFirstLine(BARE_WINDOW_PROBE, inst.string(), "text");
    (void)SecondsToFirstLine(STARTUP_PROBE, inst.string());
    const double bare = samples(BARE_WINDOW_PROBE, "", false);
    const double withText = samples(BARE_WINDOW_PROBE, "text", false);
    const double ours = samples(STARTUP_PROBE, "", true);
    std::printf("\nStart to window shown (offscreen, PBS installation)\n");
    Row("Zelvoset start-up with Form_Load", ours, bare, "bare Qt window", "<= 1.1x");
    Row("Zelvoset start-up with Form_Load", ours, withText, "bare window, a label, a button",
        "<= 1.1x");
}

} // namespace

int main(int argc, char* argv[]) {
    // One section by name (clean, delete, startup), or all of them.
    const std::string only = argc > 1 ? argv[1] : "";
    const auto wanted = [&](const char* section) { return only.empty() || only == section; };
    const fs::path work =
        fs::temp_directory_path() / ("zelvoset-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::printf("| %-34s | %11s | %-28s | %11s | %7s | %-8s |\n", "measured", "ours", "baseline",
                "baseline", "ratio", "target");
    int status = 0;
    try {
        if (wanted("clean"))
            BenchCleaning(work);
        if (wanted("delete"))
            BenchDeletion(work);
        if (wanted("startup"))
            BenchStartup(work);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "benchmark stopped: %s\n", error.what());
        status = 1;
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    return status;
}
