#pragma once

#include "MemoryStore.h"
#include "Platform.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace zelvoset::testing {

// A platform that records what it was asked, in order, and answers from a script. Files live in
// memory, keyed by the exact path the code asked for.
class FakePlatform : public Platform {
public:
    struct Message {
        std::string text;
        int style;
        std::string title;
        bool operator==(const Message&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Message& m) {
            return out << m.style << " \"" << m.title << "\": " << m.text;
        }
    };
    struct Launch {
        std::string script;
        std::vector<std::string> arguments;
    };
    using File = FakeFile;

    // --- the script ---
    std::map<std::string, Probe> probes;               // patterns not listed find nothing
    std::map<std::string, std::string> launchFailures; // script -> reason
    std::deque<int> answers;                   // answers to questions, in turn; No when run out
    std::optional<std::string> browseAnswer;   // nullopt: the user cancels
    std::map<std::string, Location> locations; // chosen file -> where it lies; missing: outside
    std::map<std::string, File> files;
    std::string programDirectory = "C:\\APP";
    bool failDeletes = false;
    std::optional<std::string> chdirFailure; // set: no folder can be made current
    std::set<std::string> refused;           // patterns this user may not change
    Elevation elevation = Elevation::Unavailable;

    // --- the record ---
    std::vector<std::string> events; // every call, in order, in a short readable form
    std::vector<Message> messages;
    std::vector<Launch> launches;
    std::vector<BrowseRequest> browses;
    std::string currentDirectory = "C:\\START";
    int ended = 0;                     // how often the program was ended
    MemoryStore store{files, &events}; // the rewrites' primitives, on the same files

    Probe PatternHasFile(std::string_view pattern) override {
        events.push_back("probe " + std::string(pattern));
        auto it = probes.find(std::string(pattern));
        if (it != probes.end())
            return it->second;
        return files.count(std::string(pattern)) ? Probe::Found : Probe::None;
    }

    Status DeleteMatching(std::string_view pattern) override {
        events.push_back("delete " + std::string(pattern));
        return failDeletes ? Status::Fail("denied") : Status::Ok();
    }

    Status LaunchCommand(std::string_view script,
                         const std::vector<std::string>& arguments) override {
        std::string event = "launch " + std::string(script);
        for (const auto& argument : arguments)
            event += " [" + argument + "]";
        events.push_back(event);
        auto failure = launchFailures.find(std::string(script));
        if (failure != launchFailures.end())
            return Status::Fail(failure->second);
        launches.push_back({std::string(script), arguments});
        return Status::Ok();
    }

    int ShowMessage(std::string_view text, int style, std::string_view title) override {
        events.push_back("message " + std::string(text));
        messages.push_back({std::string(text), style, std::string(title)});
        if (style != kStyleQuestion)
            return kAnswerOk;
        if (answers.empty())
            return kAnswerNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::optional<std::string> BrowseForFile(const BrowseRequest& request) override {
        events.push_back("browse " + request.title);
        browses.push_back(request);
        currentDirectory = "C:\\ELSEWHERE"; // the user wandered off while browsing
        return browseAnswer;
    }

    Opened<InputFile> OpenForInput(std::string_view path) override {
        events.push_back("read " + std::string(path));
        auto it = files.find(std::string(path));
        if (it == files.end() || it->second.unreadable)
            return {nullptr, "cannot be read"};
        return {std::make_unique<PieceInput>(it->second.bytes, it->second.readFailsAtEnd), {}};
    }

    FileStore& Files() override { return store; }

    Status ChangeDirectory(std::string_view path) override {
        events.push_back("chdir " + std::string(path));
        if (chdirFailure)
            return Status::Fail(*chdirFailure);
        currentDirectory = path;
        return Status::Ok();
    }

    std::string ProgramDirectory() override { return programDirectory; }

    // Joins the way Windows does, so that core tests read like the installation's own paths.
    std::string JoinPath(std::string_view base, std::string_view name) override {
        return base.empty() ? std::string(name) : std::string(base) + "\\" + std::string(name);
    }

    std::optional<Location> LocateBelow(std::string_view file, std::string_view base) override {
        events.push_back("locate " + std::string(file) + " below " + std::string(base));
        auto it = locations.find(std::string(file));
        if (it == locations.end())
            return std::nullopt;
        return it->second;
    }

    bool MayChange(std::string_view pattern, Change change) override {
        events.push_back((change == Change::Remove ? "may remove " : "may rewrite ") +
                         std::string(pattern));
        return !refused.count(std::string(pattern));
    }

    Elevation StartElevated(std::string_view folder) override {
        events.push_back("elevate " + std::string(folder));
        return elevation;
    }

    void EndProgram() override { ++ended; }

    // Convenience: the events that start with one of the given words, in order.
    template <class... Kinds> std::vector<std::string> EventsOf(Kinds... kinds) const {
        std::vector<std::string> found;
        for (const auto& event : events)
            if ((event.starts_with(std::string(kinds) + " ") || ...))
                found.push_back(event);
        return found;
    }
};

} // namespace zelvoset::testing
