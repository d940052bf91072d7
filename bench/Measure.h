#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zelvoset::bench {

// The median of `repetitions` timings, in seconds, each taken around `timed` after `prepare`.
double MedianSeconds(int repetitions, const std::function<void()>& prepare,
                     const std::function<void()>& timed);

// Runs a shell command and stops the benchmark if it fails: a baseline that did not run would
// make every ratio a lie.
void Shell(const std::string& command);

// Seconds from starting `program` (with an optional argument) in `directory` until it prints
// its first line.
double SecondsToFirstLine(const std::string& program, const std::string& directory,
                          const std::string& argument = {});

// Resets the process's peak resident size to the current one, and reads both, in bytes.
void ResetPeakMemory();
long long PeakMemoryBytes();
long long CurrentMemoryBytes();

} // namespace zelvoset::bench
