#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestTempFolder.h"
#include "tests/support/TestTemplate.h"
#include "tests/support/RunTestSupport.h"
#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"

// Whole packages: the real ones printer drivers made, the sample the demo
// converts, and the generated benchmark package.

namespace {

using TLines = std::vector<std::u16string>;

const TLines kOnePageLog = {u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"Zip archive close"};

class Packages : public ::testing::Test {
protected:
    // Copies the package into the folder as name and converts it there.
    TXpsRunOutcome ConvertCopy(const std::string& bytes, const std::string& name, bool nested = false) {
        WriteFileBytes(folder_.Path(name), bytes);
        TFileStream source(folder_.Path(name), fmOpenRead | fmShareExclusive);
        TXpsConverter converter(log_, font_);
        converter.Nested = nested;
        return converter.Convert(&source);
    }

    // The given attribute of every text object of the template.
    std::vector<std::u16string> MemoAttributes(const std::string& name, std::u16string_view attribute) const {
        TqlxXMLDocument document;
        LoadTemplate(document, Template(name));
        std::vector<std::u16string> values;
        ForEachChildNamed(TemplateBand(document), u"TqlxMemoView",
                          [&](const TqlxXMLItem& memo, int32_t) { values.push_back(memo.GetAttr(attribute)); });
        return values;
    }

    std::u16string Template(const std::string& name) const { return folder_.Path(name); }

    TTempFolder folder_;
    TXpsLineLog log_;
    TFixedFontName font_;
};

TEST_F(Packages, RealDriverPackagesGiveOneTextObjectPerTextRun) {
    ConvertCopy(FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/tika__testXPSWithDataDescriptor.xps")), "tika.xps");
    EXPECT_EQ(log_.Lines, kOnePageLog);
    EXPECT_EQ(TemplateTexts(Template("tika_1_1.qlt")), TLines{u"75.52,108:This is my XPS document test. "});

    ConvertCopy(FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/libarchive__test_compat_zip_7.xps")), "winxp.xps");
    EXPECT_EQ(log_.Lines, kOnePageLog);
    EXPECT_EQ(TemplateTexts(Template("winxp_1_1.qlt")),
              (TLines{u"364.8,104.96:Untitled", u"75.52,118.24:test XPS file created with Win XP XPS printer",
                      u"372.8,1025.12:Page 1"}));
}

// Office suites write UTF-16 parts, sequences and documents without a
// declaration, and every text run inside canvases under a 4/3 transform.
TEST_F(Packages, OfficePackagesConvertInTheNestedMode) {
    const std::string spreadsheet = FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/tika__testXLSX.xps"));
    const std::string text = FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/tika__test_text.xps"));
    for (const std::string* package : {&spreadsheet, &text}) {
        const TXpsRunOutcome flat = ConvertCopy(*package, "flat.xps");
        EXPECT_EQ(flat.Error->Message, u"Invalid file format");
        EXPECT_TRUE(flat.RefusedUndeclaredPart);
    }

    EXPECT_TRUE(ConvertCopy(spreadsheet, "sheet.xps", true).Complete());
    EXPECT_EQ(log_.Lines, kOnePageLog);
    const TLines cells = TemplateTexts(Template("sheet_1_1.qlt"));
    ASSERT_EQ(cells.size(), 7u);
    EXPECT_EQ(cells[0], u"139.22666663186,108.31999997292:abcd");
    EXPECT_EQ(cells[6], u"276.86666659745,148.98666662942:out");
    EXPECT_EQ(MemoAttributes("sheet_1_1.qlt", u"Font.Height"), TLines(7, u"-15"));

    EXPECT_TRUE(ConvertCopy(text, "text.xps", true).Complete());
    const TLines runs = TemplateTexts(Template("text_1_1.qlt"));
    ASSERT_EQ(runs.size(), 23u);
    EXPECT_EQ(runs[0].substr(runs[0].find(u':')), u":R");
    EXPECT_NEAR(std::stod(Utf16ToUtf8(MemoAttributes("text_1_1.qlt", u"Left")[0])), 96.031999975992, 1e-6);
    EXPECT_NEAR(std::stod(Utf16ToUtf8(MemoAttributes("text_1_1.qlt", u"Top")[0])), 111.03999997224, 1e-6);
    EXPECT_EQ(MemoAttributes("text_1_1.qlt", u"Font.Color")[1], u"49407");  // the orange "a"
}

TEST_F(Packages, EveryRealPackageConvertsInTheNestedMode) {
    for (const auto& entry : std::filesystem::directory_iterator(XQ_TEST_DATA)) {
        if (entry.path().extension() == ".md") continue;
        EXPECT_TRUE(ConvertCopy(FileBytes(Utf8ToUtf16(entry.path().string())), "real.xps", true).Complete()) << entry.path();
    }
    // The printer's résumé draws its letters as outlines, their geometry in a remote dictionary.
    ConvertCopy(FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/scitechindian__LaTex-Resume__output.oxps")), "resume.xps", true);
    EXPECT_EQ(TemplateTexts(Template("resume_1_1.qlt")), TLines{});
    EXPECT_EQ(TemplateLineCount(Template("resume_1_1.qlt")), 148u);
}

// A WPF application prints each page as one path filled with a page-sized
// visual brush, whose visual holds the page's content.
TEST_F(Packages, APagePaintedByAVisualBrushConvertsAsItsContentWrittenInThePage) {
    const std::string content =
        "<Canvas RenderTransform=\"1.25,0,0,1.25,20,10\"><Canvas><Glyphs OriginX=\"10\" OriginY=\"40\" FontRenderingEmSize=\"12\" "
        "Fill=\"#FF203040\" UnicodeString=\"Total\"/><Path Fill=\"#FF000000\" Data=\"M 10,50 L 300,50 300,51 10,51 Z\"/>"
        "<Path Stroke=\"#FFFF0000\" Data=\"M 10,60 L 300,60 300,90\"/></Canvas></Canvas>";
    const std::string brush = "<FixedPage.Resources><ResourceDictionary><VisualBrush x:Key=\"b0\" ViewboxUnits=\"Absolute\" "
                              "ViewportUnits=\"Absolute\" TileMode=\"None\" Viewbox=\"0,0,816,1056\" Viewport=\"0,0,816,1056\">"
                              "<VisualBrush.Visual>" + content + "</VisualBrush.Visual></VisualBrush></ResourceDictionary>"
                              "</FixedPage.Resources><Path Fill=\"{StaticResource b0}\" Data=\"M 0,0 L 816,0 816,1056 0,1056 Z\"/>";
    EXPECT_TRUE(ConvertCopy(PackageBytes(OneDocument({PageWith(content), PageWith(brush)})), "wpf.xps", true).Complete());
    EXPECT_EQ(TemplateLineCount(Template("wpf_1_1.qlt")), 3u);
    EXPECT_EQ(TemplateWithoutTimes(Template("wpf_1_2.qlt")), TemplateWithoutTimes(Template("wpf_1_1.qlt")));
}

TEST_F(Packages, TheSampleInvoiceConverts) {
    ConvertCopy(FileBytes(Utf8ToUtf16(XQ_EXAMPLES "/invoice.xps")), "invoice.xps");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u".png: Resources/Images/logo.png",
                                  u"Page2 - Ok", u"Zip archive close"}));
    const TLines first = TemplateTexts(Template("invoice_1_1.qlt"));
    ASSERT_EQ(first.size(), 37u);
    EXPECT_EQ(first[0], u"72,96:M\u00FCller & S\u00F6hne GmbH");
    EXPECT_EQ(first[1], u"72,116:Hauptstra\u00DFe 12 \u00B7 80331 M\u00FCnchen \u00B7 Deutschland");
    EXPECT_EQ(TemplateLineCount(Template("invoice_1_1.qlt")), 9u);
    const TLines second = TemplateTexts(Template("invoice_1_2.qlt"));
    ASSERT_EQ(second.size(), 6u);
    EXPECT_EQ(second[3].substr(0, 19), u"72,162:\u0421\u0447\u0451\u0442-\u0444\u0430\u043A\u0442\u0443\u0440\u0430");
    EXPECT_EQ(TemplateLineCount(Template("invoice_1_2.qlt")), 2u);
}

TEST_F(Packages, BenchmarkPagesHoldTheRunsAndOutlinesAsked) {
    const TEmbeddedFont font{std::string(kDefaultFontFile)};
    EXPECT_EQ(font.Indices("Ab\xE4\xB8\xAD"), "36;69;0");
    const std::string bytes = TestZipBytes(BenchPackage(font, {.Pages = 2, .GlyphsPerPage = 7, .PathsPerPage = 5}));
    ConvertCopy(bytes, "bench.xps");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"Page2 - Ok", u"Zip archive close"}));
    EXPECT_EQ(TemplateTexts(Template("bench_1_2.qlt")).size(), 7u);
    // Four outlines of one segment and one closed box of four.
    EXPECT_EQ(TemplateLineCount(Template("bench_1_2.qlt")), 8u);
    EXPECT_NE(TemplateTexts(Template("bench_1_1.qlt")), TemplateTexts(Template("bench_1_2.qlt")));
}

// Another XPS reader accepts what the generator writes: it finds every font
// and image, and every glyph index is one of the font's.
TEST_F(Packages, MuPdfReadsTheGeneratedPackagesWithoutComplaint) {
    if (std::system("command -v mutool >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutool is not installed";
    const auto draw = [&](const std::string& format, const std::string& package, const std::string& output) {
        const std::string command = "cd '" + Utf16ToUtf8(folder_.Path("")) + "' && mutool draw -q -F " + format +
                                    " -o " + output + " " + package + " 2>err.txt";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << package;
        std::string complaints = FileBytes(folder_.Path("err.txt"));
        const std::string noColourProfiles = "warning: ICC support is not available\n";
        if (complaints.starts_with(noColourProfiles)) complaints.erase(0, noColourProfiles.size());
        EXPECT_EQ(complaints, "") << package;
    };
    WriteFileBytes(folder_.Path("sample.xps"), FileBytes(Utf8ToUtf16(XQ_EXAMPLES "/invoice.xps")));
    draw("txt", "sample.xps", "sample.txt");
    EXPECT_NE(FileBytes(folder_.Path("sample.txt")).find("M\xC3\xBCller & S\xC3\xB6hne GmbH"), std::string::npos);

    const TEmbeddedFont font{std::string(kDefaultFontFile)};
    WriteFileBytes(folder_.Path("bench.xps"),
                   TestZipBytes(BenchPackage(font, {.Pages = 3, .GlyphsPerPage = 20, .PathsPerPage = 8})));
    draw("stext", "bench.xps", "/dev/null");
}

}  // namespace
