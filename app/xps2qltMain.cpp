#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/xps2qlt.h"
#include "platform/CodePages.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i]));
    return RunXps2Qlt(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
