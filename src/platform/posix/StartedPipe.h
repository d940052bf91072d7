#pragma once

#include "Fd.h"

#include <ctime>
#include <string>
#include <sys/types.h>

namespace zelvoset::posix {

// How a script's start inside a terminal window is confirmed: a terminal may start and then fail
// to open its window, or hand its command to a server process that runs it late or never,
// passing no descriptor on. So the terminal runs a shell step that writes a word into a named
// pipe, which any process of the user can open, and only then becomes the script.
//
// The pipe lies alone in a folder of its own (mode 0700), open for reading from the start, so
// that the step's opening it for writing never blocks while it is there. Its owner removes it;
// Release() hands that over.
class StartedPipe {
public:
    StartedPipe();
    ~StartedPipe();
    StartedPipe(const StartedPipe&) = delete;
    StartedPipe& operator=(const StartedPipe&) = delete;

    // Whether the pipe could be made.
    explicit operator bool() const { return static_cast<bool>(fd_); }
    const std::string& path() const { return path_; }
    void Release() { owned_ = false; }

    // The program text for `shell -c TEXT NAME PIPE SCRIPT ARGUMENTS...`: the word through PIPE,
    // then `shell SCRIPT ARGUMENTS...` in its place, every argument passed on whole. Once the pipe
    // is gone, the word cannot be written, and the step ends without running the script.
    static std::string Step(const char* shell);

    // In a process forked off a program with threads, so async-signal-safe calls only: whether
    // the step in `terminal` (a child, started at `start`) ran the script or can no longer be
    // kept from running it. Waits for the word until the terminal fails or the time is up, then
    // removes the pipe and its folder, taking a word that came meanwhile into account.
    bool WaitForStart(pid_t terminal, const timespec& start) const;

private:
    std::string folder_, path_;
    Fd fd_;
    bool owned_ = false;
};

} // namespace zelvoset::posix
