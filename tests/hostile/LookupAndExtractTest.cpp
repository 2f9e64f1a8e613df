// References that a mask search would take for patterns, names looked up over
// and over in a large directory, and an entry of gigabytes taken out on the
// command line. Each runs in a child process, so a relapse shows in its CPU
// time or its peak memory, or ends in the time guard, not in a stuck run.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "cli/xps2qlt.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestXpsPackage.h"

namespace {

std::string NotFound(const std::string& name) {
    return "ZipArchiverXPS: File \"" + name + "\" not found - Native error: 00015";
}

// One document of these pages, referred to by the sources given.
std::vector<TPart> DocumentOf(const std::vector<std::string>& pageSources, const std::vector<std::string>& pages) {
    std::vector<TPart> parts = OneDocument(pages);
    parts[kDocumentEntry].Content = DocumentPart(pageSources);
    return parts;
}

class PartLookup : public ::testing::Test {
protected:
    TChildOutcome Convert(const std::vector<TPart>& parts) {
        std::ofstream(folder_.NativePath("pkg.xps"), std::ios::binary) << PackageBytes(parts);
        return ConvertInChild(folder_.Path("pkg.xps"));
    }

    TTempFolder folder_;
};

TEST_F(PartLookup, WildcardsInReferencesMatchOnlyThemselves) {
    const TChildOutcome pages = Convert(DocumentOf({"Pages/*"}, {PageWith("")}));
    EXPECT_EQ(pages.ErrorMessage, NotFound("Documents/1/Pages/*"));
    EXPECT_EQ(pages.Log, (std::vector<std::string>{"Zip archive open", "Doc1", "Page1", "Zip archive close"}));

    std::vector<TPart> parts = DocumentOf({"Pages/1.fpage", "Pages/2.fpage"},
                                          {PageWith(ImageBrushPath({"/Resources/a?c*.png"})),
                                           PageWith(ImageBrushPath({"/Resources/*.png"}))});
    parts.push_back({"Resources/abc1.png", SamplePng(2, 2)});
    parts.push_back({"Resources/A?C*.PNG", SamplePng(2, 2)});
    const TChildOutcome images = Convert(parts);
    EXPECT_EQ(images.ErrorClass, "");
    EXPECT_EQ(images.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok",
                                                    ".png: Resources/a?c*.png", "Page2 - Ok", ".png: Resources/*.png",
                                                    "-Convert error!!!", "-ClassName: EZFException",
                                                    "-Message: " + NotFound("Resources/*.png"), "Zip archive close"}));
}

// Masks of many stars cost time with every unit of every name they are tried on.
TEST_F(PartLookup, ManyStarsAgainstLongNamesCostNothing) {
    std::vector<std::string> sources, pages;
    for (int i = 0; i < 10; ++i) {
        sources.push_back("Pages/" + std::to_string(i + 1) + ".fpage");
        std::string stars = "/";
        for (int j = 0; j < 100; ++j) stars += "*a";
        pages.push_back(PageWith(ImageBrushPath({stars + "b" + std::to_string(i)})));
    }
    std::vector<TPart> parts = DocumentOf(sources, pages);
    for (char first = 'c'; first < 'h'; ++first) parts.push_back({first + std::string(60000, 'a'), "x"});
    const TChildOutcome outcome = Convert(parts);
    std::cout << "[ measured ] " << outcome.CpuSeconds << " s CPU\n";
    ASSERT_TRUE(outcome.Exited) << "signal " << outcome.Signal;
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(std::count(outcome.Log.begin(), outcome.Log.end(), "-ClassName: EZFException"), 10);
    // Generous: a tenth of a second, a little more under the sanitizers; the
    // stars once took seconds for each page.
    EXPECT_LT(outcome.CpuSeconds, 5.0);
}

// Looking for a missing name reads the whole directory, 100 000 entries here.
TEST_F(PartLookup, ANameFoundMissingIsNotLookedForAgain) {
    TTestZipArchive archive;
    archive.Zip64Records = true;  // the end record's count holds no more than 65 535
    for (int i = 0; i < 100000; ++i) archive.Entries.push_back(StoredEntry("r/" + std::to_string(i) + ".png", ""));
    const std::string bytes = TestZipBytes(archive);
    const TChildOutcome outcome = RunInChild([&](IXpsLog& log) {
        TMemoryStream source;
        LoadStream(source, bytes);
        TXpsPackage package;
        package.Open(source);
        int missing = 0;
        for (const char16_t* name : {u"r/9.png", u"r/x.png", u"R/99999.PNG"}) {
            for (int i = 0; i < 1000; ++i) {
                try {
                    package.ExtractPart(name, nullptr);
                } catch (const EZFException&) {
                    ++missing;
                }
            }
        }
        log.Append(Utf8ToUtf16(std::to_string(missing)));
    });
    std::cout << "[ measured ] " << outcome.CpuSeconds << " s CPU\n";
    ASSERT_TRUE(outcome.Exited) << "signal " << outcome.Signal;
    EXPECT_EQ(outcome.ErrorClass, "") << outcome.ErrorMessage;
    EXPECT_EQ(outcome.Log, std::vector<std::string>{"1000"});
    // Generous: a search takes milliseconds, a thousand of them many seconds.
    EXPECT_LT(outcome.CpuSeconds, 5.0);
}

// Counts the bytes written to it, and whether they were all zeros.
class TZeroCounter : public std::streambuf {
public:
    uint64_t Count = 0;
    bool AllZero = true;

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) AllZero = AllZero && bytes[i] == 0;
        Count += static_cast<uint64_t>(count);
        return count;
    }
    int_type overflow(int_type ch) override {
        if (ch != traits_type::eof()) xsputn(reinterpret_cast<const char*>(&ch), 1);
        return ch;
    }
};

// Unpacked, the entry would take gigabytes: its bytes must flow through.
TEST(CommandLineExtraction, AnEntryOfManyMebibytesFlowsToStandardOutput) {
    constexpr uint64_t kMebibytes = 512;
    TTempFolder folder;
    TTestZipEntry bomb;
    bomb.Name = "zeros.bin";
    bomb.Method = 8;
    bomb.Data = DeflatedZeros(kMebibytes);
    bomb.UnpackedSize = kMebibytes << 20;
    bomb.Crc = 0x12345678;  // not the CRC of zeros: the error comes once every byte is out
    std::ofstream(folder.NativePath("bomb.zip"), std::ios::binary) << TestZipBytes(ArchiveOf({bomb}));
    const TChildOutcome outcome = RunInChild([&](IXpsLog& log) {
        TZeroCounter counter;
        std::ostream out(&counter);
        std::ostringstream err;
        const int status = RunXps2Qlt({u"--extract", u"zeros.bin", folder.Path("bomb.zip")}, out, err, false);
        log.Append(Utf8ToUtf16(std::to_string(status) + " " + std::to_string(counter.Count) + " " +
                               (counter.AllZero ? "zeros" : "other")));
        log.Append(Utf8ToUtf16(err.str()));
    });
    std::cout << "[ measured ] " << outcome.GrowthKiB / 1024 << " MiB, " << outcome.CpuSeconds << " s CPU\n";
    ASSERT_TRUE(outcome.Exited) << "signal " << outcome.Signal;
    ASSERT_EQ(outcome.Log.size(), 2u);
    EXPECT_EQ(outcome.Log[0], "1 " + std::to_string(kMebibytes << 20) + " zeros");
    EXPECT_EQ(outcome.Log[1], "xps2qlt: " + folder.NativePath("bomb.zip") +
                                  ": ZipArchiverXPS: Invalid size or check sum of file or unsupported compression "
                                  "format - Native error: 00008.\n");
    if (MemoryFiguresAreMeaningful()) {
        EXPECT_LT(outcome.GrowthKiB, 32 * 1024);
    }
}

}  // namespace
