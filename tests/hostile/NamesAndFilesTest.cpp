// What a user sharing a folder, or naming files oddly, can set up around a
// conversion: links planted where templates are written, names that are not
// UTF-8, inputs that are no files, and text that changes its size with every
// run. Conversions run in child processes; the command line runs as itself.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "platform/Files.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestXpsPackage.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOnePageLog = {"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Zip archive close"};

std::string Glyphs(int emSize, const std::string& text) {
    return "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"" + std::to_string(emSize) +
           "\" UnicodeString=\"" + text + "\"/>";
}

std::string Package(const std::vector<std::string>& pageContents) {
    TTestZipArchive archive;
    std::vector<std::string> sources;
    for (size_t i = 1; i <= pageContents.size(); ++i) sources.push_back("Pages/" + std::to_string(i) + ".fpage");
    archive.Entries.push_back(DeflatedEntry(std::string(kXpsSequencePart), SequencePart({"/Documents/1/FixedDocument.fdoc"})));
    archive.Entries.push_back(DeflatedEntry("Documents/1/FixedDocument.fdoc", DocumentPart(sources)));
    for (size_t i = 0; i < pageContents.size(); ++i)
        archive.Entries.push_back(DeflatedEntry("Documents/1/" + sources[i], FixedPage(816, 1056, pageContents[i])));
    return TestZipBytes(archive);
}

struct TProgramRun {
    int Status = -1;  // -1: ended by a signal, the time guard's included
    std::string Out;
    std::string Err;
};

class NamesAndFiles : public ::testing::Test {
protected:
    NamesAndFiles() { fs::create_directories(Inside()); }

    fs::path Inside() const { return fs::path(folder_.NativePath("in")); }

    void WritePackage(const std::string& name, const std::string& bytes) const {
        std::ofstream(Inside() / name, std::ios::binary) << bytes;
    }

    std::vector<std::string> FilesInside() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Inside())) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TChildOutcome Convert(const std::string& name) const {
        return ConvertInChild(PathFromNative((Inside() / name).string()));
    }

    // xps2qlt with these argument bytes, run in the package's folder.
    TProgramRun RunProgram(const std::vector<std::string>& args) const {
        const std::string out = folder_.NativePath("out.txt"), err = folder_.NativePath("err.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(30);
            if (::chdir(Inside().c_str()) != 0 || !std::freopen(out.c_str(), "w", stdout) ||
                !std::freopen(err.c_str(), "w", stderr))
                ::_exit(126);
            std::vector<char*> argv = {const_cast<char*>(XPS2QLT_PROGRAM)};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        TProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, folder_.ReadFile("out.txt"),
                        folder_.ReadFile("err.txt")};
        fs::remove(out);
        fs::remove(err);
        return run;
    }

    static void ExpectMemoryBelow(const TChildOutcome& outcome, long mebibytes) {
        EXPECT_TRUE(outcome.Exited) << "signal " << outcome.Signal;
        std::cout << "[ measured ] " << outcome.GrowthKiB / 1024 << " MiB, " << outcome.CpuSeconds << " s CPU\n";
        if (MemoryFiguresAreMeaningful()) {
            EXPECT_LT(outcome.GrowthKiB, mebibytes * 1024);
        }
    }

    TTempFolder folder_;
};

TEST_F(NamesAndFiles, TemplatesAreNotWrittenThroughPlantedLinks) {
    const std::string victim = folder_.NativePath("victim");
    std::ofstream(victim) << "precious";
    WritePackage("report.xps", Package({Glyphs(12, "one"), Glyphs(12, "two")}));
    fs::create_symlink(victim, Inside() / "report_1_1.qlt.tmp");
    fs::create_hard_link(victim, Inside() / "report_1_2.qlt.tmp");
    fs::create_symlink(victim, Inside() / "report_1_2.qlt");
    const TChildOutcome outcome = Convert("report.xps");
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorMessage, "");
    EXPECT_EQ(folder_.ReadFile("victim"), "precious");
    EXPECT_EQ(fs::hard_link_count(victim), 1u);
    EXPECT_EQ(FilesInside(), (std::vector<std::string>{"report.xps", "report_1_1.qlt", "report_1_2.qlt"}));
    for (const char* name : {"report_1_1.qlt", "report_1_2.qlt"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Inside() / name))) << name;
        EXPECT_EQ(folder_.ReadFile(std::string("in/") + name).find("<?xml"), 0u) << name;
    }
}

TEST_F(NamesAndFiles, ANameThatIsNotUtf8ConvertsUnderItsOwnBytes) {
    const std::string latin1 = "caf\xE9.xps", replaced = "caf\xEF\xBF\xBD.xps";
    WritePackage(latin1, Package({Glyphs(12, "x")}));
    WritePackage(replaced, Package({Glyphs(12, "y"), Glyphs(12, "z")}));
    const TProgramRun run = RunProgram({latin1});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(FilesInside(), (std::vector<std::string>{latin1, "caf\xE9_1_1.qlt", replaced}));
    // Printed, the byte that is no UTF-8 shows as itself in hexadecimal.
    const TProgramRun twoFiles = RunProgram({latin1, "n\xFF.xps"});
    EXPECT_EQ(twoFiles.Status, 1);
    EXPECT_EQ(twoFiles.Out.substr(0, 13), "caf\\xe9.xps:\n");
    EXPECT_EQ(twoFiles.Err.substr(0, 30), "xps2qlt: n\\xff.xps: Cannot ope");
}

TEST_F(NamesAndFiles, ALongNameIsCutBetweenCharacters) {
    const std::string stem = std::string(49, 'a') + "\xF0\x9F\x98\x80" + "b";
    WritePackage(stem + ".xps", Package({Glyphs(12, "x")}));
    const TChildOutcome outcome = Convert(stem + ".xps");
    EXPECT_EQ(outcome.Log, kOnePageLog);
    EXPECT_EQ(FilesInside(), (std::vector<std::string>{std::string(49, 'a') + "_1_1.qlt", stem + ".xps"}));
}

TEST_F(NamesAndFiles, AFifoOrADeviceIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo((Inside() / "pipe.xps").c_str(), 0600), 0);
    const TProgramRun run = RunProgram({"pipe.xps", "/dev/zero"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "xps2qlt: pipe.xps: Cannot open file \"" + (Inside() / "pipe.xps").string() +
                           "\". Not a regular file.\n"
                           "xps2qlt: /dev/zero: Cannot open file \"/dev/zero\". Not a regular file.\n");
}

// Every run of a page in another size: cycling through one size more than a
// small cache holds must cost about what the cycle that fits costs.
TEST_F(NamesAndFiles, TextCyclingThroughSizesCostsAsMuchAsTheSizesDo) {
    constexpr int kRuns = 30000;
    double cpuSeconds[2] = {};
    for (const int sizes : {16, 17}) {
        std::string page;
        for (int i = 0; i < kRuns; ++i) page += Glyphs(10 + 10 * (i % sizes), "Hello");
        const std::string name = "sizes" + std::to_string(sizes) + ".xps";
        WritePackage(name, Package({page}));
        const TChildOutcome outcome = Convert(name);
        ExpectMemoryBelow(outcome, 128);
        EXPECT_EQ(outcome.Log, kOnePageLog);
        cpuSeconds[sizes - 16] = outcome.CpuSeconds;
    }
    EXPECT_LT(cpuSeconds[1], 3 * cpuSeconds[0] + 0.5);
}

}  // namespace
