#pragma once

#include "FileStore.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zelvoset::testing {

// A file of a memory store, keyed by its full name.
struct FakeFile {
    std::string bytes;
    bool unreadable = false;
    bool readOnly = false;
    bool failCommit = false; // every sync of new contents fails
    int overtakes = 0;       // looks that find a line of another program added meanwhile
    int savedAnew = 0;       // looks that find another file, the same bytes, under its name
    bool shared = false;     // another name shares it: rewritten in place
    bool modeLostInPlace = false;
    bool readFailsAtEnd = false; // a read error after the last byte
    bool undeletable = false;
    // Not synced since its last change: after a crash its bytes could be anything.
    bool dirty = false;
    int generation = 0;
    int id = 0;
};

// Hands out the bytes in small uneven pieces, so that line ends fall across reads, or in reads of
// `step` bytes.
class PieceInput : public InputFile {
public:
    explicit PieceInput(std::string bytes, bool failAtEnd = false, std::size_t step = 0)
        : bytes_(std::move(bytes)), failAtEnd_(failAtEnd), step_(step) {}
    std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
        if (failAtEnd_ && pos_ == bytes_.size())
            return std::nullopt;
        const std::size_t n = std::min({size, bytes_.size() - pos_, step_ ? step_ : 7 + pos_ % 5});
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    std::string bytes_;
    bool failAtEnd_;
    std::size_t step_;
    std::size_t pos_ = 0;
};

// Thrown by a store told to crash: nothing of the rewrite runs after it.
struct Crash {};

// A store in memory that records every primitive it is asked for, can fail any one of them, and
// can stop the caller dead after any one of them, as a crash would. Files without a name (new
// contents, backups not yet named) vanish in a crash.
class MemoryStore : public FileStore {
public:
    // `events`, when given, hears of every file opened for a rewrite ("replace PATH").
    explicit MemoryStore(std::map<std::string, FakeFile>& files,
                         std::vector<std::string>* events = nullptr)
        : files_(files), events_(events) {}

    std::vector<std::string> steps; // every primitive, in order
    int failAt = 0;                 // the step (from 1) that fails; 0: none
    bool failOnwards = false;       // and every step after it
    int crashAfter = 0;             // the step after which the caller stops dead; 0: none
    bool folderRefuses = false;     // no new file beside the rewritten one
    bool crashed = false;

    Status Open(std::string_view path, std::string_view, Ref& file, StoredFacts& facts) override {
        if (events_)
            events_->push_back("replace " + std::string(path));
        if (Status step = Step("Open"); !step)
            return step;
        auto it = files_.find(std::string(path));
        if (it == files_.end() || it->second.readOnly)
            return Done(Status::Fail(it == files_.end() ? "missing" : "read-only"));
        FakeFile& f = Identify(it->second);
        file = NewRef({std::string(path), 0, 0});
        facts = {std::string(path), "id" + std::to_string(f.id),
                 Stamp(f),          static_cast<long long>(f.bytes.size()),
                 f.shared,          f.modeLostInPlace};
        return Done(Status::Ok());
    }

    Status Look(Ref file, std::string& stamp, std::string& identityAtPath) override {
        if (Status step = Step("Look"); !step)
            return step;
        auto it = files_.find(refs_[file].path);
        if (it == files_.end())
            return Done(Status::Fail("gone"));
        if (it->second.overtakes > 0) {
            --it->second.overtakes;
            it->second.bytes += "OTHER\r\n";
            ++it->second.generation;
        }
        if (it->second.savedAnew > 0) {
            --it->second.savedAnew;
            it->second.id = 0;
        }
        stamp = Stamp(it->second);
        identityAtPath = "id" + std::to_string(Identify(it->second).id);
        return Done(Status::Ok());
    }

    std::unique_ptr<InputFile> Reader(Ref file) override {
        if (!Step("Reader"))
            return nullptr;
        FakeFile* f = Find(file);
        (void)Done(Status::Ok());
        if (!f || f->unreadable)
            return nullptr;
        return std::make_unique<PieceInput>(f->bytes, f->readFailsAtEnd);
    }

    Status CreateBeside(Ref file, Ref& fresh) override {
        if (Status step = Step("CreateBeside"); !step)
            return step;
        if (folderRefuses)
            return Done(Status::Fail("the folder takes no new files"));
        fresh = NewLoose(refs_[file].path, true);
        return Done(Status::Ok());
    }

    Status CopyAttributes(Ref, Ref) override { return Done(Step("CopyAttributes")); }

    Status Publish(Ref fresh, Ref file) override {
        if (Status step = Step("Publish"); !step)
            return step;
        FakeFile moved = *Find(fresh);
        moved.id = 0; // a new file under the old name
        files_[refs_[file].path] = moved;
        Forget(fresh);
        return Done(Status::Ok());
    }

    Status SyncFolder(Ref) override { return Done(Step("SyncFolder")); }

    void Discard(Ref fresh) override {
        if (crashed)
            return;
        steps.push_back("Discard");
        if (!refs_[fresh].path.empty())
            files_.erase(refs_[fresh].path);
        Forget(fresh);
    }

    Status CreateBackup(Ref file, Ref& backup) override {
        if (Status step = Step("CreateBackup"); !step)
            return step;
        backup = NewLoose(refs_[file].path, false);
        return Done(Status::Ok());
    }

    Status CreateScratch(Ref file, Ref& scratch) override {
        if (Status step = Step("CreateScratch"); !step)
            return step;
        scratch = NewLoose(refs_[file].path, false);
        return Done(Status::Ok());
    }

    Status NameBackup(Ref backup, std::string_view name, std::string& where) override {
        if (Status step = Step("NameBackup"); !step)
            return step;
        where = Folder(refs_[backup].beside) + "\\" + std::string(name);
        if (files_.count(where))
            return Done(Status::Fail("exists"));
        files_[where] = *Find(backup);
        loose_.erase(refs_[backup].loose);
        refs_[backup].loose = 0;
        refs_[backup].path = where;
        return Done(Status::Ok());
    }

    Status FindBackup(Ref file, std::string_view name, Ref& backup, long long& size,
                      std::string& where) override {
        if (Status step = Step("FindBackup"); !step)
            return step;
        where = Folder(refs_[file].path) + "\\" + std::string(name);
        auto it = files_.find(where);
        if (it != files_.end()) {
            backup = NewRef({where, 0, 0});
            size = static_cast<long long>(it->second.bytes.size());
        }
        return Done(Status::Ok());
    }

    Status RemoveBackup(Ref backup) override {
        if (Status step = Step("RemoveBackup"); !step)
            return step;
        if (files_[refs_[backup].path].undeletable)
            return Done(Status::Fail("in use"));
        files_.erase(refs_[backup].path);
        return Done(Status::Ok());
    }

    Status OpenOverwrite(Ref file, Ref& out) override {
        if (Status step = Step("OpenOverwrite"); !step)
            return step;
        out = NewRef({refs_[file].path, 0, 0});
        return Done(Status::Ok());
    }

    Status Write(Ref file, std::string_view bytes) override {
        if (Status step = Step("Write"); !step)
            return step;
        Handle& h = refs_[file];
        FakeFile& f = *Find(file);
        const auto at = static_cast<std::size_t>(h.position);
        if (f.bytes.size() < at + bytes.size())
            f.bytes.resize(at + bytes.size());
        f.bytes.replace(at, bytes.size(), bytes);
        h.position += static_cast<long long>(bytes.size());
        Changed(f);
        return Done(Status::Ok());
    }

    Status Copy(Ref from, Ref to, long long size) override {
        if (Status step = Step("Copy"); !step)
            return step;
        const std::string source = Find(from)->bytes;
        if (static_cast<long long>(source.size()) < size)
            return Done(Status::Fail("The file ended early"));
        FakeFile& f = *Find(to);
        const auto n = static_cast<std::size_t>(size);
        if (f.bytes.size() < n)
            f.bytes.resize(n);
        f.bytes.replace(0, n, source, 0, n);
        Changed(f);
        return Done(Status::Ok());
    }

    Status Truncate(Ref file, long long size) override {
        if (Status step = Step("Truncate"); !step)
            return step;
        FakeFile& f = *Find(file);
        f.bytes.resize(static_cast<std::size_t>(size));
        Changed(f);
        return Done(Status::Ok());
    }

    Status Sync(Ref file) override {
        if (Status step = Step("Sync"); !step)
            return step;
        FakeFile& f = *Find(file);
        // New contents, written beside or over the file; a backup is the old contents.
        if (f.failCommit)
            return Done(Status::Fail("disk full"));
        f.dirty = false;
        return Done(Status::Ok());
    }

    Status KeepMode(Ref, Ref) override { return Done(Step("KeepMode")); }

    void Close(Ref file) override {
        if (crashed)
            return;
        steps.push_back("Close");
        refs_.erase(file);
    }

    // Files without a name not yet discarded.
    std::size_t Unnamed() const { return loose_.size(); }

    // What a crash leaves: files without a name are gone, and the bytes of one never synced
    // since it changed are anything at all; here, the new bytes cut in the middle.
    void AfterCrash() {
        loose_.clear();
        refs_.clear();
        for (auto& [name, file] : files_) {
            if (file.dirty)
                file.bytes = file.bytes.substr(0, file.bytes.size() / 2) + "#TORN#";
            file.dirty = false;
        }
        crashed = false;
        crashAfter = 0;
    }

private:
    struct Handle {
        std::string path; // a named file
        int loose;        // or a file without a name
        long long position;
        std::string beside = {}; // the file a new one was made for
    };

    Status Step(const char* name) {
        if (crashed)
            throw Crash{};
        steps.emplace_back(name);
        const int n = static_cast<int>(steps.size());
        if (failAt && (n == failAt || (failOnwards && n > failAt))) {
            steps.back() += "!";
            return Done(Status::Fail("fault " + std::string(name)));
        }
        return Status::Ok();
    }
    // The step has acted: a crash may come now.
    Status Done(Status status) {
        if (crashAfter && static_cast<int>(steps.size()) >= crashAfter) {
            crashed = true;
            throw Crash{};
        }
        return status;
    }

    FakeFile& Identify(FakeFile& f) {
        if (!f.id)
            f.id = ++nextId_;
        return f;
    }
    static std::string Stamp(const FakeFile& f) {
        return std::to_string(f.bytes.size()) + "/" + std::to_string(f.generation);
    }
    static void Changed(FakeFile& f) {
        f.dirty = true;
        ++f.generation;
    }
    static std::string Folder(const std::string& path) {
        return path.substr(0, path.find_last_of('\\'));
    }
    Ref NewRef(Handle handle) {
        refs_[++nextRef_] = std::move(handle);
        return nextRef_;
    }
    Ref NewLoose(const std::string& beside, bool newContents) {
        const int id = ++nextLoose_;
        loose_[id] = FakeFile{};
        loose_[id].failCommit = newContents && files_.count(beside) && files_[beside].failCommit;
        return NewRef({{}, id, 0, beside});
    }
    void Forget(Ref ref) {
        loose_.erase(refs_[ref].loose);
        refs_.erase(ref);
    }
    FakeFile* Find(Ref ref) {
        const Handle& h = refs_[ref];
        if (h.loose)
            return &loose_[h.loose];
        auto it = files_.find(h.path);
        return it == files_.end() ? nullptr : &it->second;
    }

    std::map<std::string, FakeFile>& files_;
    std::vector<std::string>* events_;
    std::map<Ref, Handle> refs_;
    std::map<int, FakeFile> loose_;
    int nextRef_ = 0;
    int nextLoose_ = 0;
    int nextId_ = 0;
};

} // namespace zelvoset::testing
