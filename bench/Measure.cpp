#include "Measure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvoset::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long long StatusField(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            std::istringstream value(line.substr(field.size() + 1));
            long long kilobytes = 0;
            value >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return -1;
}

} // namespace

double MedianSeconds(int repetitions, const std::function<void()>& prepare,
                     const std::function<void()>& timed) {
    std::vector<double> seconds;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const auto start = Clock::now();
        timed();
        seconds.push_back(Since(start));
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

double SecondsToFirstLine(const std::string& program, const std::string& directory,
                          const std::string& argument) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        throw std::runtime_error("no pipe");
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        if (chdir(directory.c_str()) != 0)
            _exit(127);
        if (argument.empty())
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        else
            execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    char first = 0;
    const bool said = read(pipeEnds[0], &first, 1) == 1;
    const double seconds = Since(start);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!said)
        throw std::runtime_error(program + " never showed its window");
    return seconds;
}

void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
long long PeakMemoryBytes() {
    return StatusField("VmHWM");
}
long long CurrentMemoryBytes() {
    return StatusField("VmRSS");
}

} // namespace zelvoset::bench
