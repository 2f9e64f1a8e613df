// An archive whose 100 000 entry names were made to share one chain of the
// name index. Opening it and extracting every entry once must take a handful
// of key comparisons a lookup, not a walk along all the others; it runs in a
// child process so that a relapse ends in the time guard, not a stuck run.

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "ChildRun.h"
#include "platform/CodePages.h"
#include "tests/zip/ZipTestArchive.h"

namespace {

constexpr int kCount = 100000;

// Logs how many entries gave their own bytes, then the longest chain.
void ExtractEveryEntry(const std::string& bytes, IXpsLog& log) {
    TOpenedArchive opened(bytes);
    int found = 0;
    for (int i = 0; i < kCount; ++i) found += opened.Extract(Utf8ToUtf16(CollidingName(i))) == std::to_string(i);
    log.Append(Utf8ToUtf16(std::to_string(found)));
    log.Append(Utf8ToUtf16(std::to_string(LongestChain(opened.Entries().Names()))));
}

TEST(HostileArchives, AHundredThousandNamesMadeToCollideAreEachFoundQuickly) {
    const std::string bytes = TestZipBytes(CollidingNamesArchive(kCount));
    const TChildOutcome outcome = RunInChild([&](IXpsLog& log) { ExtractEveryEntry(bytes, log); });
    std::cout << "[ measured ] " << outcome.CpuSeconds << " s CPU\n";
    ASSERT_TRUE(outcome.Exited) << "signal " << outcome.Signal;
    EXPECT_EQ(outcome.ErrorClass, "") << outcome.ErrorMessage;
    ASSERT_EQ(outcome.Log.size(), 2u);
    EXPECT_EQ(outcome.Log[0], std::to_string(kCount));
    // About four keys a chain; the crafted names once made one chain of them all.
    EXPECT_LE(std::stoi(outcome.Log[1]), 40);
    // Generous: it takes a fifth of a second, not much over a second under the
    // sanitizers; one long chain made it minutes.
    EXPECT_LT(outcome.CpuSeconds, 10.0);
}

}  // namespace
