// Replays the log that the device mapper's log-writes target keeps of every write a file system
// sent to its disk, so that a disk can be given the contents a power cut at any point would have
// left:
//
//   replay list LOG                  one line per entry: its number, its kinds (W write, F flush,
//                                    U FUA, D discard, M mark), where it lies in the log, a
//                                    mark's name
//   replay apply LOG DEV FROM TO [AT] writes entries FROM to TO - 1 to DEV, in order; AT is where
//                                    entry FROM lies, as listed, to start there at once
//   replay reset LOG DEV         zeroes on DEV every range the log writes, as before the first
//
// The log's layout: a super block in its first sector (magic, version, number of entries,
// sector size), then each entry as one sector that begins with its header (sector, number of
// sectors, flags, length of its data; a mark's name follows the header), followed by the
// sectors the entry wrote, if it wrote any. Every number is little-endian; sectors are of the
// logged device's size, while the log is laid out in 512-byte units from the start.
//
// Our own, small: the kernel's tests keep theirs with their tools, which are no package here.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint64_t kMagic = 0x6a736677736872ULL;
constexpr std::uint64_t kVersion = 1;
constexpr std::uint64_t kFlush = 1 << 0;
constexpr std::uint64_t kFua = 1 << 1;
constexpr std::uint64_t kDiscard = 1 << 2;
constexpr std::uint64_t kMark = 1 << 3;
constexpr std::uint64_t kHeaderBytes = 32;

std::uint64_t Little64(const unsigned char* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "replay: %s\n", what.c_str());
    std::exit(1);
}

void ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t at) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = pread(fd, bytes + done, size - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            Fail("the log ends inside an entry");
        done += static_cast<std::size_t>(got);
    }
}

void WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t at) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = pwrite(fd, bytes + done, size - done, static_cast<off_t>(at + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            Fail(std::string("cannot write the device: ") + std::strerror(errno));
        done += static_cast<std::size_t>(put);
    }
}

struct Entry {
    std::uint64_t sector = 0; // on the device, in its sectors
    std::uint64_t sectors = 0;
    std::uint64_t flags = 0;
    std::string mark;
    std::uint64_t dataAt = 0; // in the log, in bytes
};

class Log {
public:
    explicit Log(const char* path) : fd_(open(path, O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            Fail(std::string(path) + ": " + std::strerror(errno));
        unsigned char super[28];
        ReadAt(fd_, super, sizeof super, 0);
        if (Little64(super) != kMagic || Little64(super + 8) != kVersion)
            Fail(std::string(path) + " is no log of writes");
        count_ = Little64(super + 16);
        sectorSize_ = super[24] | super[25] << 8 | super[26] << 16 |
                      static_cast<std::uint32_t>(super[27]) << 24;
        if (sectorSize_ < kHeaderBytes || sectorSize_ % 512 != 0)
            Fail("an unknown sector size");
        next_ = sectorSize_;
    }
    ~Log() { close(fd_); }
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    std::uint64_t count() const { return count_; }
    std::uint32_t sectorSize() const { return sectorSize_; }
    int fd() const { return fd_; }

    // Goes on from entry `index`, found at `at` by an earlier reading.
    void SeekTo(std::uint64_t index, std::uint64_t at) {
        if (index > count_ || at < sectorSize_)
            Fail("no entry there");
        read_ = index;
        next_ = at;
    }
    std::uint64_t at() const { return next_; }

    // The entries in order, each read once.
    bool Next(Entry& entry) {
        if (read_ == count_)
            return false;
        std::vector<unsigned char> header(sectorSize_);
        ReadAt(fd_, header.data(), header.size(), next_);
        entry.sector = Little64(&header[0]);
        entry.sectors = Little64(&header[8]);
        entry.flags = Little64(&header[16]);
        const std::uint64_t length = Little64(&header[24]);
        entry.mark.clear();
        if (entry.flags & kMark)
            entry.mark.assign(reinterpret_cast<const char*>(&header[kHeaderBytes]),
                              std::min<std::uint64_t>(length, sectorSize_ - kHeaderBytes));
        entry.dataAt = next_ + sectorSize_;
        next_ = entry.dataAt;
        // A discard names sectors but carries none of them.
        if (!(entry.flags & kDiscard))
            next_ += entry.sectors * sectorSize_;
        ++read_;
        return true;
    }

private:
    int fd_;
    std::uint64_t count_ = 0;
    std::uint32_t sectorSize_ = 512;
    std::uint64_t next_ = 0;
    std::uint64_t read_ = 0;
};

int OpenDevice(const char* path) {
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        Fail(std::string(path) + ": " + std::strerror(errno));
    return fd;
}

void Zero(int device, std::uint64_t at, std::uint64_t size) {
    static const std::vector<unsigned char> zeros(1 << 20);
    for (std::uint64_t done = 0; done < size;) {
        const std::uint64_t step = std::min<std::uint64_t>(size - done, zeros.size());
        WriteAt(device, zeros.data(), step, at + done);
        done += step;
    }
}

void Apply(Log& log, const Entry& entry, int device) {
    const std::uint64_t at = entry.sector * log.sectorSize();
    const std::uint64_t size = entry.sectors * log.sectorSize();
    // What a discarded range reads back as is the disk's choice; zeros are the strictest.
    if (entry.flags & kDiscard) {
        Zero(device, at, size);
        return;
    }
    std::vector<unsigned char> block(1 << 20);
    for (std::uint64_t done = 0; done < size;) {
        const std::uint64_t step = std::min<std::uint64_t>(size - done, block.size());
        ReadAt(log.fd(), block.data(), step, entry.dataAt + done);
        WriteAt(device, block.data(), step, at + done);
        done += step;
    }
}

std::uint64_t Number(const char* text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno || !*text || *end)
        Fail(std::string("not a number: ") + text);
    return value;
}

int Usage() {
    std::fprintf(stderr, "usage: replay list LOG | apply LOG DEV FROM TO [AT] | reset LOG DEV\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];
    Log log(argv[2]);
    Entry entry;
    if (command == "list" && argc == 3) {
        for (std::uint64_t index = 0;; ++index) {
            const std::uint64_t at = log.at();
            if (!log.Next(entry))
                break;
            std::string kinds;
            if (entry.flags & kMark)
                kinds += 'M';
            if (entry.flags & kFlush)
                kinds += 'F';
            if (entry.flags & kFua)
                kinds += 'U';
            if (entry.flags & kDiscard)
                kinds += 'D';
            if (entry.sectors && !(entry.flags & kDiscard))
                kinds += 'W';
            std::printf("%llu %s %llu %s\n", static_cast<unsigned long long>(index),
                        kinds.empty() ? "-" : kinds.c_str(), static_cast<unsigned long long>(at),
                        entry.mark.c_str());
        }
        return 0;
    }
    if (command == "apply" && (argc == 6 || argc == 7)) {
        const int device = OpenDevice(argv[3]);
        const std::uint64_t from = Number(argv[4]), to = Number(argv[5]);
        std::uint64_t index = 0;
        if (argc == 7)
            log.SeekTo(index = from, Number(argv[6]));
        for (; index < to && log.Next(entry); ++index)
            if (index >= from)
                Apply(log, entry, device);
        if (fsync(device) != 0)
            Fail(std::string("cannot sync the device: ") + std::strerror(errno));
        close(device);
        return 0;
    }
    if (command == "reset" && argc == 4) {
        const int device = OpenDevice(argv[3]);
        while (log.Next(entry))
            Zero(device, entry.sector * log.sectorSize(), entry.sectors * log.sectorSize());
        if (fsync(device) != 0)
            Fail(std::string("cannot sync the device: ") + std::strerror(errno));
        close(device);
        return 0;
    }
    return Usage();
}
