#include "Files.h"

#include "Paths.h"
#include "os.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace zelvoset {
namespace {

// Bytes as they are: the installation's files are 8-bit text in an unknown code page.
class QtInputFile : public InputFile {
public:
    explicit QtInputFile(const QString& path) : file_(path) {}
    bool Open() { return file_.open(QIODevice::ReadOnly); }
    QString ErrorString() const { return file_.errorString(); }

    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        const qint64 got = file_.read(buffer, static_cast<qint64>(size));
        if (got < 0)
            return std::nullopt;
        return static_cast<std::size_t>(got);
    }

private:
    QFile file_;
};

// The new contents go to a temporary file beside the old one, which replaces it by rename only
// once everything is written and on disk: a crash, a full disk or a size limit leaves the old
// file byte for byte, and QSaveFile removes the temporary file when not committed.
class QtReplacementFile : public ReplacementFile {
public:
    explicit QtReplacementFile(const QString& target) : file_(target) {}
    // Unbuffered: a buffered device reports a write as done once it is in memory, and the
    // short write at the final flush would go unnoticed. The callers write in large blocks.
    bool Open() { return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    QString ErrorString() const { return file_.errorString(); }
    int Handle() const { return file_.handle(); }

    bool Write(std::string_view bytes) override {
        const auto size = static_cast<qint64>(bytes.size());
        // A short write (a size limit, a full disk) sets no error in QSaveFile, which would
        // then commit the truncated contents: remember it here.
        if (!failed_ && file_.write(bytes.data(), size) != size)
            failed_ = true;
        written_ += size;
        // Disk writes overlap the rest of the work instead of all waiting for the final sync.
        if (!failed_ && written_ - flushedUpTo_ >= kWritebackStep) {
            os::StartWriteback(file_.handle(), flushedUpTo_, written_ - flushedUpTo_);
            flushedUpTo_ = written_;
        }
        return !failed_;
    }

    Status Commit() override {
        if (failed_) {
            file_.cancelWriting();
            return Status::Fail("The new contents could not be written");
        }
        // commit() flushes, syncs the temporary file to disk and renames it over the old one.
        if (!file_.commit())
            return Status::Fail(file_.errorString().toStdString());
        os::SyncDirectory(FromQt(QFileInfo(file_.fileName()).absolutePath()));
        return Status::Ok();
    }

private:
    static constexpr qint64 kWritebackStep = 4 * 1024 * 1024;

    QSaveFile file_;
    bool failed_ = false;
    qint64 written_ = 0;
    qint64 flushedUpTo_ = 0;
};

} // namespace

Opened<InputFile> OpenInputFile(const std::string& path) {
    const QString name = ToQt(path);
    const QFileInfo info(name);
    if (info.isDir())
        return {nullptr, "Is a directory"};
    // Opening a FIFO or a device could block or never end; no line file is one.
    if (info.exists() && !info.isFile())
        return {nullptr, "Not a regular file"};
    auto file = std::make_unique<QtInputFile>(name);
    if (!file->Open())
        return {nullptr, file->ErrorString().toStdString()};
    return {std::move(file), {}};
}

Opened<ReplacementFile> OpenReplacementFile(const std::string& path) {
    // Rewriting the link's target keeps the link a link; QSaveFile on the link would put a
    // plain file in its place.
    const QString target = QFileInfo(ToQt(path)).canonicalFilePath();
    if (target.isEmpty())
        return {nullptr, "No such file or directory"};
    if (Status replaceable = os::CheckReplaceable(FromQt(target)); !replaceable)
        return {nullptr, replaceable.reason()};

    auto file = std::make_unique<QtReplacementFile>(target);
    if (!file->Open())
        return {nullptr, file->ErrorString().toStdString()};
    // QSaveFile makes the new file the running user's with default permissions: a file of
    // another owner, or with a narrower mode, must come out as it went in.
    if (Status kept = os::KeepIdentity(FromQt(target), file->Handle()); !kept)
        return {nullptr, kept.reason()};
    return {std::move(file), {}};
}

} // namespace zelvoset
