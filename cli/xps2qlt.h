#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

// The command-line converter, apart from the process: the arguments in, the
// exit status out, standard output and standard error as the streams given.

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

enum class TXps2QltMode { Convert, Pictures, List, Extract, Help, Version };

struct TXps2QltOptions {
    TXps2QltMode Mode = TXps2QltMode::Convert;
    std::u16string FontName = u"Arial";
    bool Nested = false;
    bool DocumentFonts = false;
    bool TextLines = false;
    // Each template written gets its picture beside it.
    bool Preview = false;
    // Packages converted at once; without -j, one after another with the
    // pages counted on the progress line.
    std::optional<unsigned> Jobs;
    std::u16string EntryName;  // of --extract
    std::vector<std::u16string> Files;
};

// Arguments the command line does not take; the run ends with kExitUsage.
class EUsageError : public Exception {
public:
    explicit EUsageError(std::u16string message);
};

// The arguments without the program name. Raises EUsageError.
TXps2QltOptions ParseXps2QltArgs(const std::vector<std::u16string>& args);

// Runs the command line. showProgress: standard error is a terminal, so the
// one-line progress indicator is drawn there.
int RunXps2Qlt(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err, bool showProgress);
