// Names that are not UTF-8 or that are cut inside a character, and text that
// changes its size or face with every run.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "platform/Conversions.h"
#include "platform/Files.h"
#include "platform/Streams.h"
#include "template/qlxGraphicUtils.h"
#include "tests/support/RunTestSupport.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestXpsPackage.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOnePageLog = {"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Zip archive close"};

std::string Glyphs(int emSize) {
    return "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"" + std::to_string(emSize) + "\" UnicodeString=\"Hello\"/>";
}

class NamesAndFontSizes : public ::testing::Test {
protected:
    // A one-page package in the folder "in".
    void WritePackage(const std::string& name, const std::string& pageContent) const {
        fs::create_directories(Inside());
        std::ofstream(Inside() / name, std::ios::binary) << PackageBytes(OneDocument({PageWith(pageContent)}), 8);
    }

    std::vector<std::string> FilesInside() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Inside())) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // xps2qlt run in "in" with the arguments as bytes (no quotes among them); its exit status.
    int RunProgram(const std::vector<std::string>& args) const {
        std::string command = "cd '" + Inside().string() + "' && timeout 60 '" XPS2QLT_PROGRAM "'";
        for (const std::string& arg : args) command += " '" + arg + "'";
        const int status = std::system((command + " >../out 2>../err").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path Inside() const { return fs::path(folder_.NativePath("in")); }

    TTempFolder folder_;
};

TEST_F(NamesAndFontSizes, ANameThatIsNotUtf8ConvertsUnderItsOwnBytes) {
    const std::string latin1 = "caf\xE9.xps", replaced = "caf\xEF\xBF\xBD.xps";
    WritePackage(latin1, Glyphs(12));
    WritePackage(replaced, Glyphs(12));
    EXPECT_EQ(RunProgram({latin1}), 0) << folder_.ReadFile("err");
    EXPECT_EQ(FilesInside(), (std::vector<std::string>{latin1, "caf\xE9_1_1.qlt", replaced}));
    // Printed, a byte that is no UTF-8 shows in hexadecimal.
    EXPECT_EQ(RunProgram({latin1, "n\xFF.xps"}), 1);
    EXPECT_EQ(folder_.ReadFile("out").substr(0, 13), "caf\\xe9.xps:\n");
    EXPECT_EQ(folder_.ReadFile("err").substr(0, 30), "xps2qlt: n\\xff.xps: Cannot ope");
}

TEST_F(NamesAndFontSizes, ALongNameIsCutBetweenCharacters) {
    const std::string stem = std::string(49, 'a') + "\xF0\x9F\x98\x80" + "b";
    WritePackage(stem + ".xps", Glyphs(12));
    EXPECT_EQ(ConvertInChild(PathFromNative((Inside() / (stem + ".xps")).string())).Log, kOnePageLog);
    EXPECT_EQ(FilesInside(), (std::vector<std::string>{std::string(49, 'a') + "_1_1.qlt", stem + ".xps"}));
}

// Cycling through one size more than a small cache holds must cost about
// what the cycle that fits costs.
TEST_F(NamesAndFontSizes, TextCyclingThroughSizesCostsWhatTheSizesDo) {
    double cpuSeconds[2] = {};
    for (const int sizes : {16, 17}) {
        std::string page;
        for (int i = 0; i < 30000; ++i) page += Glyphs(10 + 10 * (i % sizes));
        WritePackage("sizes.xps", page);
        const TChildOutcome outcome = ConvertInChild(PathFromNative((Inside() / "sizes.xps").string()));
        EXPECT_EQ(outcome.Log, kOnePageLog);
        if (MemoryFiguresAreMeaningful()) {
            EXPECT_LT(outcome.GrowthKiB, 128 * 1024);
        }
        cpuSeconds[sizes - 16] = outcome.CpuSeconds;
        std::cout << "[ measured ] " << sizes << " sizes: " << outcome.GrowthKiB / 1024 << " MiB, "
                  << outcome.CpuSeconds << " s CPU\n";
    }
    EXPECT_LT(cpuSeconds[1], 3 * cpuSeconds[0] + 0.5);
}

// Cycling through more embedded faces than a small cache would hold costs,
// face for face, what 16 faces cost: each face is opened once.
TEST_F(NamesAndFontSizes, TextCyclingThroughEmbeddedFacesCostsWhatTheFacesDo) {
    std::map<int, int64_t> facesOpened;
    for (const int faces : {16, 17, 64}) {
        std::string runs;
        for (int i = 0; i < 3200; ++i)
            runs += "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"12\" UnicodeString=\"x&#x2200;\" FontUri=\"/" +
                    std::to_string(i % faces) + ".ttf\"/>";
        std::vector<TPart> parts = OneDocument({PageWith(runs)});
        for (int i = 0; i < faces; ++i) parts.push_back({std::to_string(i) + ".ttf", FileBytes(Utf8ToUtf16(kDefaultFontFile))});
        WriteFileBytes(folder_.Path("faces.xps"), PackageBytes(parts));
        const TChildOutcome outcome = RunInChild([&](IXpsLog& log) {
            TFileStream source(folder_.Path("faces.xps"), fmOpenRead | fmShareExclusive);
            const TFixedFontName chosen(u"Liberation Sans");
            TXpsConverter converter(log, chosen);
            converter.DocumentFonts = true;
            const TTextEngineWork before = TextEngineWork();
            converter.Convert(&source);
            log.Append(IntToStr(TextEngineWork().FacesOpened - before.FacesOpened) + u" faces opened, " +
                       IntToStr(TextEngineWork().FallbackSorts - before.FallbackSorts) + u" sorts");
        });
        facesOpened[faces] = std::stoll(outcome.Log.back());
        std::cout << "[ measured ] " << faces << " faces: " << outcome.Log.back() << ", " << outcome.CpuSeconds << " s CPU\n";
    }
    for (const int faces : {17, 64}) EXPECT_LE(facesOpened[faces] * 16, 2 * facesOpened[16] * faces) << faces;
}

}  // namespace
