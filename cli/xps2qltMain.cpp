#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/xps2qlt.h"
#include "platform/CodePages.h"
#include "platform/ReplacementFile.h"

int main(int argc, char** argv) {
    // A stop (or a reader of the output that went away) leaves no temporary file.
    RemovePendingFilesOnSignals();
    std::vector<std::u16string> args;
    // Arguments are bytes: names that are not UTF-8 must open the very file given.
    for (int i = 1; i < argc; ++i) args.push_back(NameBytesToUtf16(argv[i]));
    return RunXps2Qlt(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
