// Packages built to hurt the converter. Each is converted in a child process
// as the window does it; each must end with its clear error or convert, within
// bounded memory, and leave nothing but templates next to the package.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "platform/CodePages.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestXpsPackage.h"
#include "tests/support/RunTestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOnePageLog = {"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Zip archive close"};
const std::string kChecksumError =
    "ZipArchiverXPS: Invalid size or check sum of file or unsupported compression format - Native error: 00008";
const TXpsLimits kLimits;
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

std::string Glyphs(const std::string& text) {
    return "<Glyphs OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"12\" Fill=\"#FF000000\" UnicodeString=\"" + text + "\"/>";
}

const auto kNestedMode = [](TXpsConverter& converter) { converter.Nested = true; };

class HostilePackages : public ::testing::Test {
protected:
    // Writes the package as in/pkg.xps under a fresh folder and converts it.
    TChildOutcome Convert(const std::string& bytes, const TXpsLimits& limits = {},
                          const std::function<void(TXpsConverter&)>& configure = {}) {
        fs::remove_all(Inside());
        fs::create_directories(Inside());
        std::ofstream(Inside() / "pkg.xps", std::ios::binary) << bytes;
        return ConvertInChild(folder_.Path("in/pkg.xps"), limits, configure);
    }

    TChildOutcome Convert(const TTestZipArchive& archive, const TXpsLimits& limits = {}) {
        return Convert(TestZipBytes(archive), limits);
    }

    // The package's folder holds the package and these templates, and nothing
    // was written beside that folder.
    void ExpectOnlyTemplates(std::vector<std::string> templates) {
        EXPECT_EQ(folder_.Files(), std::vector<std::string>{"in"});
        for (const std::string& name : templates) EXPECT_EQ(XmlWellFormednessError(folder_.ReadFile("in/" + name)), "") << name;
        templates.insert(templates.begin(), "pkg.xps");
        std::sort(templates.begin(), templates.end());
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(Inside())) files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, templates);
    }

    static void ExpectMemoryBelow(const TChildOutcome& outcome, long mebibytes) {
        EXPECT_TRUE(outcome.Exited) << "signal " << outcome.Signal;
        std::cout << "[ measured ] " << outcome.GrowthKiB / 1024 << " MiB, " << outcome.CpuSeconds << " s CPU\n";
        if (MemoryFiguresAreMeaningful()) {
            EXPECT_LT(outcome.GrowthKiB, mebibytes * 1024);
        }
    }

    fs::path Inside() const { return fs::path(folder_.NativePath("in")); }

    TTempFolder folder_;
};

TEST_F(HostilePackages, ADeflateBombStopsAtItsRecordedSize) {
    TTestZipArchive archive = PackageArchive(OneDocument({PageWith("")}), kDeflated);
    archive.Entries[kFirstPageEntry].Data = DeflatedZeros(1024);
    archive.Entries[kFirstPageEntry].UnpackedSize = 4096;
    const TChildOutcome outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorClass, "EZFException");
    EXPECT_EQ(outcome.ErrorMessage, kChecksumError);
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1", "Page1", "Zip archive close"}));
    ExpectOnlyTemplates({});
}

TEST_F(HostilePackages, ADeflateBombThatTellsItsSizeStopsAtThePartLimit) {
    TTestZipArchive archive = PackageArchive(OneDocument({PageWith("")}), kDeflated);
    archive.Entries[kFirstPageEntry].Data = DeflatedZeros(1024);
    archive.Entries[kFirstPageEntry].UnpackedSize = uint64_t(1) << 30;
    const TChildOutcome outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 64);
    EXPECT_EQ(outcome.ErrorClass, "EXpsLimitError");
    EXPECT_EQ(outcome.ErrorMessage, "The part \"Documents/1/Pages/1.fpage\" is larger than 8388608 bytes");
    ExpectOnlyTemplates({});
}

TEST_F(HostilePackages, AnEndRecordAnnouncingFourBillionEntries) {
    for (const bool zip64 : {true, false}) {
        TTestZipArchive archive = PackageArchive(OneDocument({PageWith(Glyphs("x"))}), kDeflated);
        archive.Zip64Records = zip64;
        archive.EntryCount = zip64 ? 4'000'000'000u : 0xFFFFu;
        const TChildOutcome outcome = Convert(archive);
        ExpectMemoryBelow(outcome, 32);
        EXPECT_EQ(outcome.ErrorClass, "") << outcome.ErrorMessage;
        EXPECT_EQ(outcome.Log, kOnePageLog);
        ExpectOnlyTemplates({"pkg_1_1.qlt"});
    }
}

TEST_F(HostilePackages, LocalHeadersRepeatedEveryEightBytes) {
    // Without a directory the package is rebuilt from its local headers; these
    // overlap, each with a 1 027-byte name running over the next ones.
    std::string bytes;
    for (int i = 0; i < 512 * 1024; ++i) bytes += std::string("PK\x03\x04\x01\x01\x01\x01", 8);
    bytes += std::string(13 << 20, ' ');
    const TChildOutcome outcome = Convert(bytes);
    ExpectMemoryBelow(outcome, 64);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "This Zip is not XPS archive!", "Zip archive close"}));
    ExpectOnlyTemplates({});
}

TEST_F(HostilePackages, ExtraFieldsWithLyingSizes) {
    TTestZipArchive archive = PackageArchive(OneDocument({PageWith(Glyphs("x"))}), kDeflated);
    // A field longer than its area, a zip64 field too short for its value, a
    // Unicode name counting more units than it holds, an AES field cut short.
    const std::string lying = Le16(0x0001) + Le16(4) + "abcd" + Le16(0x554E) + Le16(12) + "NUCX" + Le32(0x7FFFFFFF) +
                              "abcd" + Le16(0x9901) + Le16(3) + "AE\x03" + Le16(0xCAFE) + Le16(0xFFFF) + "tail";
    for (TTestZipEntry& entry : archive.Entries) {
        entry.CentralExtra = lying;
        entry.LocalExtra = lying;
    }
    TChildOutcome outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorClass, "") << outcome.ErrorMessage;
    EXPECT_EQ(outcome.Log, kOnePageLog);
    ExpectOnlyTemplates({"pkg_1_1.qlt"});

    // A zip64 field that claims 2^62 bytes for the page.
    archive = PackageArchive(OneDocument({PageWith(Glyphs("x"))}), kDeflated);
    archive.Entries[kFirstPageEntry].Zip64 = true;
    archive.Entries[kFirstPageEntry].UnpackedSize = uint64_t(1) << 62;
    outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorMessage, kChecksumError);
}

TEST_F(HostilePackages, AHundredThousandNestedElements) {
    std::string nested;
    for (int i = 0; i < 100'000; ++i) nested += "<Canvas>";
    for (int i = 0; i < 100'000; ++i) nested += "</Canvas>";
    TChildOutcome outcome = Convert(PackageBytes(OneDocument({PageWith(nested)}), kDeflated));
    ExpectMemoryBelow(outcome, 64);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "-Convert error!!!",
                                                     "-ClassName: TqlxInvalidXMLException",
                                                     "-Message: Invalid file format: elements nested deeper than 1024",
                                                     "Zip archive close"}));
    ExpectOnlyTemplates({});

    TTestZipArchive archive = PackageArchive(OneDocument({PageWith("")}), kDeflated);
    archive.Entries[kSequenceEntry].Content = kDeclaration + nested;
    outcome = Convert(archive);
    EXPECT_EQ(outcome.ErrorClass, "TqlxInvalidXMLException");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Zip archive close"}));
}

TEST_F(HostilePackages, AFiftyMegabyteAttributeMakesThePartTooLarge) {
    const TChildOutcome outcome = Convert(PackageBytes(OneDocument({PageWith(Glyphs(std::string(50 << 20, 'x')))}), kDeflated));
    ExpectMemoryBelow(outcome, 64);
    EXPECT_EQ(outcome.ErrorClass, "EXpsLimitError");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1", "Page1", "Zip archive close"}));
    ExpectOnlyTemplates({});
}

TEST_F(HostilePackages, PathDataOfAMillionUnfinishedReferences) {
    std::string data = "F1 ";
    for (int i = 0; i < 1'000'000; ++i) data += "&#";
    const TChildOutcome outcome = Convert(PackageBytes(OneDocument({PageWith("<Path Stroke=\"#FF000000\" Data=\"" + data + "\"/>")}), kDeflated));
    ExpectMemoryBelow(outcome, 128);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, kOnePageLog);
    ExpectOnlyTemplates({"pkg_1_1.qlt"});
}

TEST_F(HostilePackages, ATextRunOfMillionsOfLineBreaks) {
    const TChildOutcome outcome = Convert(PackageBytes(OneDocument({PageWith(Glyphs(std::string(7 << 20, '\n')))}), kDeflated));
    ExpectMemoryBelow(outcome, 128);
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "-Convert error!!!",
                                                     "-ClassName: EXpsLimitError",
                                                     "-Message: The text run is longer than 65536 characters",
                                                     "Zip archive close"}));
    ExpectOnlyTemplates({});
}

TEST_F(HostilePackages, AMillionEmptyPaths) {
    std::string paths;
    for (int i = 0; i < 1'000'000; ++i) paths += "<Path/>";
    const TChildOutcome outcome = Convert(PackageBytes(OneDocument({PageWith(paths)}), kDeflated));
    ExpectMemoryBelow(outcome, 256);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, kOnePageLog);
    ExpectOnlyTemplates({"pkg_1_1.qlt"});
}

TEST_F(HostilePackages, PathDataOfAMillionPointsMakesTooManyObjects) {
    std::string data = "F1 M 0,0 L";
    for (int i = 1; i <= 1'000'000; ++i) {
        data += ' ';
        data += std::to_string(i % 1000);
        data += ',';
        data += std::to_string(i % 777);
    }
    const std::string line = "<Path Stroke=\"#FF000000\" Data=\"F1 M 0,0 L 1,1\"/>";
    const TChildOutcome outcome = Convert(PackageBytes(OneDocument({PageWith("<Path Stroke=\"#FF000000\" Data=\"" + data + "\"/>"),
                                                      PageWith(line + line)}), kDeflated));
    ExpectMemoryBelow(outcome, 256);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "-Convert error!!!",
                                                     "-ClassName: EXpsLimitError",
                                                     "-Message: The page makes more than 100000 objects", "Page2 - Ok",
                                                     "Zip archive close"}));
    ExpectOnlyTemplates({"pkg_1_2.qlt"});
}

// The nested mode hands a path's lines on as it reads them, so the object
// limit stops a long path before its lines fill memory.
TEST_F(HostilePackages, ALongPathInTheNestedModeStopsAtTheObjectLimit) {
    std::string data = "M 0,0 L";
    for (int i = 1; i <= 1'000'000; ++i) data += " " + std::to_string(i % 1000) + "," + std::to_string(i % 777);
    const TChildOutcome outcome = Convert(
        PackageBytes(OneDocument({PageWith("<Path Stroke=\"#FF000000\" Data=\"" + data + "\"/>")}), kDeflated), {}, kNestedMode);
    ExpectMemoryBelow(outcome, 100);
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "-Convert error!!!",
                                                     "-ClassName: EXpsLimitError",
                                                     "-Message: The page makes more than 100000 objects",
                                                     "Zip archive close"}));
}

// A geometry resource is read once however many paths name it, and the
// segments paths draw of it again are bounded per page.
TEST_F(HostilePackages, AGeometryResourceNamedByThousandsOfPaths) {
    std::string figures = "M 1,1 L";
    for (int i = 0; i < 100'000; ++i) figures += " 1,1";
    const std::string resources = "<FixedPage.Resources><ResourceDictionary><PathGeometry x:Key=\"g\" Figures=\"" +
                                  figures + "\"/></ResourceDictionary></FixedPage.Resources>";
    std::string named, stroked;
    for (int i = 0; i < 20'000; ++i) named += "<Path Data=\"{StaticResource g}\"/><Path Fill=\"#FF000000\" Data=\"{StaticResource g}\"/>";
    for (int i = 0; i < 200; ++i) stroked += "<Path Stroke=\"#FF000000\" Data=\"{StaticResource g}\"/>";
    const TChildOutcome outcome = Convert(
        PackageBytes(OneDocument({PageWith(resources + named), PageWith(resources + stroked)}), kDeflated), {}, kNestedMode);
    ExpectMemoryBelow(outcome, 256);
    // Read once per path, the first page alone took minutes.
    EXPECT_LT(outcome.CpuSeconds, 30);
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{
                               "Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Page2 - Ok", "-Convert error!!!",
                               "-ClassName: EXpsLimitError",
                               "-Message: The visual brushes and resources of the page bring in more than 8388608 characters",
                               "Zip archive close"}));
}

TEST_F(HostilePackages, TheLimitsLetThroughWhatTheyAllow) {
    const std::string page = PageWith("");
    const std::string fullPage = page.substr(0, page.size() - 12) + std::string(kLimits.PartBytes - page.size(), ' ') + "</FixedPage>";
    std::string segments = "F1 M 0,0 L";
    for (int i = 0; i < kLimits.PageObjects; ++i) segments += " 1,1";
    const std::string path = "<Path Stroke=\"#FF000000\" Data=\"" + segments + "\"/>";
    const std::string longestText(size_t(kLimits.TextCharacters), 'x');
    TChildOutcome outcome = Convert(PackageBytes(OneDocument({fullPage, PageWith(path), PageWith(path + Glyphs("x")),
                                                PageWith(Glyphs(longestText)), PageWith(Glyphs(longestText + "x"))}), kStored));
    ExpectMemoryBelow(outcome, 256);
    EXPECT_EQ(outcome.ErrorClass, "") << outcome.ErrorMessage;
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Page2 - Ok", "Page3 - Ok",
                                                     "-Convert error!!!", "-ClassName: EXpsLimitError",
                                                     "-Message: The page makes more than 100000 objects", "Page4 - Ok",
                                                     "Page5 - Ok", "-Convert error!!!", "-ClassName: EXpsLimitError",
                                                     "-Message: The text run is longer than 65536 characters",
                                                     "Zip archive close"}));
    ExpectOnlyTemplates({"pkg_1_1.qlt", "pkg_1_2.qlt", "pkg_1_4.qlt"});

    outcome = Convert(PackageBytes(OneDocument({fullPage + " "}), kStored));
    EXPECT_EQ(outcome.ErrorMessage, "The part \"Documents/1/Pages/1.fpage\" is larger than 8388608 bytes");
}

// Only one part's tree is held at a time, and a part of more elements than
// the limit fails as it is read.
TEST_F(HostilePackages, PartsOfAMillionElementsEach) {
    const auto filler = [](int elements) {
        std::string empty;
        for (int i = 0; i < elements; ++i) empty += "<x/>";
        return empty;
    };
    const std::string million = filler(1'000'000);
    std::vector<TPart> parts = OneDocument({PageWith(million + million)});
    parts[kSequenceEntry].Content = XmlPart("<FixedDocumentSequence>" + million +
                                            "<DocumentReference Source=\"/Documents/1/FixedDocument.fdoc\"/></FixedDocumentSequence>");
    parts[kDocumentEntry].Content = XmlPart("<FixedDocument>" + million + "<PageContent Source=\"Pages/1.fpage\"/></FixedDocument>");
    TChildOutcome outcome = Convert(PackageBytes(parts, kDeflated));
    ExpectMemoryBelow(outcome, 400);
    EXPECT_EQ(outcome.ErrorClass, "") << outcome.ErrorMessage;
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1000001 - Ok", "Page1000001 - Ok",
                                                     "-Convert error!!!", "-ClassName: EXpsLimitError",
                                                     "-Message: The part \"Documents/1/Pages/1.fpage\" holds more than "
                                                     "1048576 elements",
                                                     "Zip archive close"}));
    parts[kSequenceEntry].Content = XmlPart("<FixedDocumentSequence>" + million + million + "</FixedDocumentSequence>");
    outcome = Convert(PackageBytes(parts, kDeflated));
    ExpectMemoryBelow(outcome, 400);
    EXPECT_EQ(outcome.ErrorMessage, "The part \"FixedDocumentSequence.fdseq\" holds more than 1048576 elements");
    ExpectOnlyTemplates({});
}

// A package can name the same document and page over and over: a few
// kilobytes then stand for millions of pages. The run's own limits end it.
TEST_F(HostilePackages, PartsNamedOverAndOverRunIntoTheLimitsOfTheRun) {
    TTestZipArchive archive = PackageArchive(OneDocument({PageWith(Glyphs("x"))}), kDeflated);
    archive.Entries[kSequenceEntry].Content = SequencePart(std::vector<std::string>(1000, "/Documents/1/FixedDocument.fdoc"));
    archive.Entries[kDocumentEntry].Content = DocumentPart(std::vector<std::string>(1000, "Pages/1.fpage"));
    TXpsLimits limits;
    limits.RunParts = 20;
    TChildOutcome outcome = Convert(archive, limits);
    EXPECT_EQ(outcome.ErrorMessage, "The package refers to more than 20 parts");
    ASSERT_EQ(outcome.Log.size(), 22u);
    EXPECT_EQ(outcome.Log[18], "Page17 - Ok");
    EXPECT_EQ(outcome.Log[20], "Page19");

    // The run ends at the first page after the templates passed the limit.
    std::string glyphs;
    for (int i = 0; i < 10; ++i) glyphs += Glyphs("x");
    archive.Entries[kFirstPageEntry].Content = PageWith(glyphs);
    limits = TXpsLimits();
    limits.RunTemplateBytes = 15'000;
    outcome = Convert(archive, limits);
    EXPECT_EQ(outcome.ErrorMessage, "The templates of the package take more than 15000 bytes");
    uintmax_t written = 0, last = 0;
    for (int page = 1; fs::exists(Inside() / ("pkg_1_" + std::to_string(page) + ".qlt")); ++page) {
        last = fs::file_size(Inside() / ("pkg_1_" + std::to_string(page) + ".qlt"));
        written += last;
    }
    EXPECT_GT(written, 15'000u);
    EXPECT_LE(written - last, 15'000u);

    // A megabyte page, and on it an image of a megabyte named twelve times: the
    // ninth passes the limit and fails its page, the next page ends the run.
    const std::string image = "<Path Data=\"M 0,0 L 1,0 z\"><Path.Fill><ImageBrush ImageSource=\"/i.png\"/></Path.Fill></Path>";
    std::string images;
    for (int i = 0; i < 12; ++i) images += image;
    archive.Entries[kFirstPageEntry].Content = PageWith(std::string(1 << 20, ' ') + images);
    archive.Entries.push_back(DeflatedEntry("i.png", std::string(1 << 20, 'i')));
    limits = TXpsLimits();
    limits.RunUnpackedBytes = 10 << 20;
    outcome = Convert(archive, limits);
    EXPECT_EQ(outcome.ErrorMessage, "The package unpacks to more than 10485760 bytes");
    ASSERT_EQ(outcome.Log.size(), 17u);
    EXPECT_EQ(outcome.Log[11], ".png: i.png");
    EXPECT_EQ(outcome.Log[13], "-ClassName: EXpsLimitError");
    EXPECT_EQ(outcome.Log[14], "-Message: The package unpacks to more than 10485760 bytes");
    EXPECT_EQ(outcome.Log[15], "Page2");
}

TEST_F(HostilePackages, SourcesPointingAtThemselves) {
    TTestZipArchive archive = PackageArchive(OneDocument({PageWith("")}), kDeflated);
    archive.Entries[kSequenceEntry].Content = SequencePart({"/FixedDocumentSequence.fdseq", "/Documents/1/FixedDocument.fdoc"});
    archive.Entries[kDocumentEntry].Content = DocumentPart({"FixedDocument.fdoc", "/Documents/1/FixedDocument.fdoc"});
    const TChildOutcome outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Doc2 - Ok", "Page1 - Ok",
                                                     "Page2 - Ok", "Zip archive close"}));
    ExpectOnlyTemplates({});
}

TEST_F(HostilePackages, SourcesOfPartsClaimingTwoGigabytes) {
    const std::string image =
        "<Path Data=\"M 0,0 L 1,0 z\"><Path.Fill><ImageBrush ImageSource=\"/big.png\"/></Path.Fill></Path>";
    TTestZipArchive archive = PackageArchive(OneDocument({PageWith(image), PageWith("")}), kDeflated);
    archive.Entries.push_back(DeflatedEntry("big.png", "\x89PNG"));
    archive.Entries.back().UnpackedSize = 0x80000000u;
    TChildOutcome outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorClass, "");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", ".png: big.png",
                                                     "-Convert error!!!", "-ClassName: EZFException",
                                                     "-Message: " + kChecksumError, "Page2 - Ok", "Zip archive close"}));
    ExpectOnlyTemplates({"pkg_1_2.qlt"});

    archive.Entries[kFirstPageEntry].UnpackedSize = 0x80000000u;
    outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorMessage, kChecksumError);
}

TEST_F(HostilePackages, EntryNamesThatClimbOrHoldNulBytes) {
    TTestZipArchive archive = PackageArchive(OneDocument({}), kDeflated);
    archive.Entries[kDocumentEntry].Content = DocumentPart({"/../../escape.fpage", "//abs.fpage", "Pages/3.fpage", "Pages/4.fpage&#0;.qlt"});
    archive.Entries.push_back(StoredEntry("../../escape.fpage", PageWith(Glyphs("1"))));
    archive.Entries.push_back(StoredEntry("/abs.fpage", PageWith(Glyphs("2"))));
    archive.Entries.push_back(StoredEntry("Documents/1/Pages/3.fpage" + std::string(1, '\0') + "/../../x.qlt", PageWith(Glyphs("3"))));
    archive.Entries.push_back(StoredEntry("C:\\x\\..\\..\\4.qlt", PageWith(Glyphs("4"))));
    const TChildOutcome outcome = Convert(archive);
    ExpectMemoryBelow(outcome, 32);
    EXPECT_EQ(outcome.ErrorClass, "EZFException");
    EXPECT_EQ(outcome.ErrorMessage,
              "ZipArchiverXPS: File \"Documents/1/Pages/4.fpage" + std::string(1, '\0') + ".qlt\" not found - Native error: 00015");
    EXPECT_EQ(outcome.Log, (std::vector<std::string>{"Zip archive open", "Doc1", "Page1 - Ok", "Page2 - Ok", "Page3 - Ok",
                                                     "Page4", "Zip archive close"}));
    ExpectOnlyTemplates({"pkg_1_1.qlt", "pkg_1_2.qlt", "pkg_1_3.qlt"});
    for (const char* page : {"1", "2", "3"}) {
        std::ifstream in(Inside() / ("pkg_1_" + std::string(page) + ".qlt"));
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("Text=\"" + std::string(page) + "\""), std::string::npos) << page;
    }
}

}  // namespace
