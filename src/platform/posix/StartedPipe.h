#pragma once

#include "Fd.h"

#include <cstddef>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zelvoset::posix {

// How a script's start inside a terminal window is confirmed: a terminal may start and then fail
// to open its window, or hand its command to a server process that runs it late or never,
// passing no descriptor on. So the terminal runs a shell step that writes a word into a named
// pipe, which any process of the user can open, and only then becomes the script.
//
// Each terminal tried gets a pipe of its own, so that a step of a terminal given up can never run
// the script beside the step of the next one. Each pipe lies alone in a folder of its own (mode
// 0700), open for reading from the start, so that a step's opening it for writing never blocks
// while it is there; once the terminal is given up, the folder goes with it, so that a late step
// cannot make a plain file in the pipe's place either. Their owner removes them; Release() hands
// that over.
class StartedPipe {
public:
    explicit StartedPipe(std::size_t count);
    ~StartedPipe();
    StartedPipe(const StartedPipe&) = delete;
    StartedPipe& operator=(const StartedPipe&) = delete;

    // Whether the pipes could be made.
    explicit operator bool() const { return made_; }
    const std::string& path(std::size_t index) const { return paths_[index]; }
    void Release() { owned_ = false; }

    // The program text for `shell -c TEXT NAME PIPE SCRIPT ARGUMENTS...`: the word through PIPE,
    // then `shell SCRIPT ARGUMENTS...` in its place, every argument passed on whole. Once the pipe
    // is gone, the word cannot be written, and the step ends without running the script. With
    // `setTitle`, the step also titles its terminal with the script's name (an escape sequence),
    // for terminals that take no title on their command line.
    static std::string Step(const char* shell, bool setTitle);

    enum class Outcome {
        kStarted, // the step ran the script, or it can no longer be kept from running it
        kFailed,  // the terminal ended with a failure first: another may be tried
        kSilent,  // the time was up without a word
    };
    // In a process forked off a program with threads, so async-signal-safe calls only (but for
    // the look at the screen, which runs in a process of its own): whether the step of pipe
    // `index` in `terminal` (a child, started at `start`) ran the script. Waits for the word until
    // the terminal fails or the time is up, then removes the pipe, taking a word that came
    // meanwhile into account, and the pipe's folder.
    Outcome WaitForStart(std::size_t index, pid_t terminal, const timespec& start) const;
    // In the watcher, once no terminal is left to try: every pipe and folder left goes.
    void Remove() const;

private:
    std::vector<std::string> folders_, paths_;
    std::vector<Fd> fds_;
    bool made_ = false;
    bool owned_ = false;
};

} // namespace zelvoset::posix
