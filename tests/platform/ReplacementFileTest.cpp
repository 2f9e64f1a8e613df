#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/ReplacementFile.h"
#include "platform/Streams.h"
#include "tests/support/TestTempFolder.h"

// Nothing of a file written to replace another stays, whichever way the
// program stops.

namespace {

// Runs body in a child process; the signal that ended it, 0 when it exited.
int SignalEndingChild(const std::function<void()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

TEST(ReplacementFile, WhileWrittenItHasNoNameSoAKillLeavesNothing) {
    TTempFolder folder;
    if (!TFileStream::CreateUnnamed(folder.Path("probe"))) GTEST_SKIP() << "the file system makes no unnamed files";
    EXPECT_EQ(SignalEndingChild([&] {
                  TReplacementFile file(folder.Path("t.qlt.tmp"));
                  file.Stream().WriteBuffer("half", 4);
                  ::raise(SIGKILL);
              }),
              SIGKILL);
    EXPECT_EQ(folder.Files(), std::vector<std::string>{});
}

// A file with a name (where no unnamed files are made, or on its way into
// place) goes when a signal ends the program.
TEST(ReplacementFile, SignalsThatEndTheProgramRemoveNamedFiles) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
        TTempFolder folder;
        std::filesystem::create_directory(folder.NativePath("d.qlt"));
        EXPECT_EQ(SignalEndingChild([&] {
                      ::signal(signal, SIG_DFL);
                      RemovePendingFilesOnSignals();
                      TReplacementFile file(folder.Path("d.qlt.tmp"));
                      file.Stream().WriteBuffer("whole", 5);
                      // A folder in the way: the file keeps the name it was given.
                      if (!file.MoveTo(folder.Path("d.qlt"))) ::raise(signal);
                  }),
                  signal);
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"d.qlt"}) << signal;
    }
}

}  // namespace
