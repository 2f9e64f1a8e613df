// A conversion stopped while it writes templates (killed, terminated, or its
// reader gone) leaves no temporary file beside them.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TestTempFolder.h"
#include "tests/support/TestXpsPackage.h"

namespace {

// xps2qlt converting the package in folder, stopped by signal after delay.
void StopConversion(const TTempFolder& folder, int signal, useconds_t delay) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.Dir().c_str()) != 0 || !std::freopen("/dev/null", "w", stdout)) ::_exit(127);
        ::execl(XPS2QLT_PROGRAM, "xps2qlt", "p.xps", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::usleep(delay);
    ::kill(child, signal);
    ::waitpid(child, nullptr, 0);
}

std::string PackageOf(int32_t pages) {
    TBenchPackageOptions options;
    options.Pages = pages;
    return TestZipBytes(BenchPackage(TEmbeddedFont(std::string(kDefaultFontFile)), options));
}

void ExpectNoTemporaryFiles(const TTempFolder& folder) {
    for (const std::string& name : folder.Files()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST(StoppedRuns, LeaveNoTemporaryFiles) {
    TTempFolder folder;
    const std::string package = PackageOf(60);
    std::ofstream(folder.NativePath("p.xps"), std::ios::binary) << package;
    // New templates are linked into place as they are done: a kill leaves nothing.
    for (int stop = 0; stop < 10; ++stop) {
        for (const std::string& name : folder.Files())
            if (name.ends_with(".qlt")) std::filesystem::remove(folder.NativePath(name));
        StopConversion(folder, stop % 2 == 0 ? SIGKILL : SIGTERM, 10'000 + 30'000 * stop);
    }
    ExpectNoTemporaryFiles(folder);
    // Templates that replace others are named on their way: a signal removes them.
    for (int stop = 0; stop < 8; ++stop) StopConversion(folder, stop % 2 == 0 ? SIGINT : SIGTERM, 10'000 + 40'000 * stop);
    // The small package's log ends the reader; the others are cut off by SIGPIPE while they write.
    std::ofstream(folder.NativePath("a.xps"), std::ios::binary) << PackageOf(1);
    std::ofstream(folder.NativePath("q.xps"), std::ios::binary) << package;
    const std::string pipeline = "cd '" + folder.Dir() + "' && '" XPS2QLT_PROGRAM "' -j 3 a.xps p.xps q.xps | head -c1 >/dev/null";
    for (int stop = 0; stop < 3; ++stop) EXPECT_EQ(std::system(pipeline.c_str()), 0);
    ExpectNoTemporaryFiles(folder);
}

}  // namespace
