#pragma once

// Runs a conversion in a child process: its peak memory is then its own, and
// a hang or a crash ends the child, not the test run.

#include <functional>
#include <string>
#include <vector>

#include "convert/XpsConverter.h"

struct TChildOutcome {
    bool Exited = false;  // false: a signal ended the child (a crash, or the time guard)
    int Signal = 0;
    // The class and message of the error that ended the run; empty when it ended normally.
    std::string ErrorClass;
    std::string ErrorMessage;
    std::vector<std::string> Log;
    // Peak resident memory above what the child started with.
    long GrowthKiB = 0;
    double CpuSeconds = 0;
};

// The guard is for hangs only: a run that takes this long has no end.
constexpr unsigned kChildTimeGuardSeconds = 300;

TChildOutcome RunInChild(const std::function<void(IXpsLog& log)>& run);

// A whole conversion run of the package file, as the window does it, with
// the converter's options set by configure.
TChildOutcome ConvertInChild(const std::u16string& packagePath, const TXpsLimits& limits = {},
                             const std::function<void(TXpsConverter&)>& configure = {});

// Builds are checked with sanitizers too, whose shadow memory and quarantine
// make memory figures meaningless.
bool MemoryFiguresAreMeaningful();
