#include <gtest/gtest.h>


#include <charconv>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

#include "platform/CodePages.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestTemplate.h"
#include "tests/support/RunTestSupport.h"
#include "platform/NumberFormat.h"
#include "template/crtqlt.h"
#include "template/qlxGraphicUtils.h"
#include "xml/qlxXML.h"

namespace {

std::u16string FileNameFor(const std::u16string& name) { return TqlxRepDoc(name).FileName(); }

TEST(RepDoc, FileNameGetsTheTemplateExtension) {
    EXPECT_EQ(FileNameFor(u""), u"Report.qlt");
    EXPECT_EQ(FileNameFor(u" \t\r\n\x01 "), u"Report.qlt");
    EXPECT_EQ(FileNameFor(u" a "), u" a .qlt");
    EXPECT_EQ(FileNameFor(u"Report"), u"Report.qlt");
    EXPECT_EQ(FileNameFor(u"x.xml"), u"x.qlt");
    EXPECT_EQ(FileNameFor(u"/out/a.b"), u"/out/a.qlt");
    EXPECT_EQ(FileNameFor(u"/d.v/file"), u"/d.v/file.qlt");
    EXPECT_EQ(FileNameFor(u"/out/archive.tar.gz"), u"/out/archive.tar.qlt");
    EXPECT_EQ(FileNameFor(u"/out/.hidden"), u"/out/.qlt");
    // "\" and ":" are ordinary characters of a Linux file name.
    EXPECT_EQ(FileNameFor(u"c:\\d.v\\file"), u"c:\\d.qlt");
}

// The attribute text with the value of each date attribute replaced by "D".
std::u16string WithoutDates(std::u16string text) {
    for (const std::u16string_view name : {u"ReportOptions.CreateDate=\"", u"ReportOptions.LastChange=\""}) {
        const size_t start = text.find(name);
        if (start == std::u16string::npos) continue;
        const size_t valueStart = start + name.size();
        text.replace(valueStart, text.find(u'"', valueStart) - valueStart, u"D");
    }
    return text;
}

TFont ArialOf(int32_t height, int32_t color = 0) {
    TFont font;
    font.Name = u"Arial";
    font.Charset = 204;
    font.Color = color;
    font.Height = height;
    return font;
}

const std::u16string kRootText =
    u"Version=\"4.7\" DotMatrixReport=\"False\" IniFile=\"\\Software\\Quill Reports\" PreviewOptions.Buttons=\"2047\" "
    u"PreviewOptions.Zoom=\"1\" PrintOptions.Printer=\"Default\" PrintOptions.PrintOnSheet=\"0\" "
    u"ReportOptions.CreateDate=\"D\" ReportOptions.Description.Text=\"\" ReportOptions.LastChange=\"D\" "
    u"ScriptLanguage=\"PascalScript\" ScriptText.Text=\"begin&#13;&#10;&#13;&#10;end.\" StoreInDFM=\"False\" "
    u"PropData=\"\"";

std::u16string PageText(const std::u16string& paperWidth, const std::u16string& paperHeight) {
    return u"Name=\"BasePage\" Font.Charset=\"204\" Font.Color=\"0\" Font.Height=\"-13\" Font.Name=\"Arial\" "
           u"Font.Style=\"0\" PaperWidth=\"" + paperWidth + u"\" PaperHeight=\"" + paperHeight +
           u"\" LeftMargin=\"0\" RightMargin=\"0\" TopMargin=\"0\" BottomMargin=\"0\" ColumnWidth=\"0\" "
           u"ColumnPositions.Text=\"\" HGuides.Text=\"\" VGuides.Text=\"\"";
}

// Runs each test with a chosen process-wide decimal separator and a folder of its own.
class RepDocTables : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings();
        FormatSettings().DecimalSeparator = u'.';
    }
    void TearDown() override { FormatSettings() = saved_; }

    // The standard template: a Letter page, one memo and one line.
    static void Fill(TqlxRepDoc& doc) {
        ASSERT_TRUE(doc.AddPage(816, 1056));
        ASSERT_TRUE(doc.AddMemo(ArialOf(-13, 255), "Hello", 96.5L, 10));
        ASSERT_TRUE(doc.AddLine(0, 10, 110, 20, 20));
    }
    static TqlxXMLItem* Band(const TqlxRepDoc& doc) { return &TemplateBand(doc.Document()); }

    std::u16string PathOf(const std::string& name) const { return folder_.Path(name); }

    TFormatSettings saved_;
    TTempFolder folder_;
};

TEST_F(RepDocTables, RealsTakeTheProcessWideSeparatorAndFixedTextsDoNot) {
    FormatSettings().DecimalSeparator = u',';
    TqlxRepDoc doc(PathOf("page"));
    Fill(doc);
    ASSERT_TRUE(doc.AddPage(793.76L, 10.5L));
    EXPECT_EQ(doc.Document().Root()->Child(1)->AttrText, PageText(u"215,899860564673", u"279,399819554283"));
    EXPECT_EQ(doc.Document().Root()->Child(2)->AttrText, PageText(u"210,015531031636", u"2,77812320579543"));
    const TqlxXMLItem* band = Band(doc);
    EXPECT_NE(band->AttrText.find(u"Top=\"18,89765\""), std::u16string::npos);
    EXPECT_NE(band->Child(0)->AttrText.find(u"Left=\"96,5\" Top=\"10\" Width=\"37,55906\" Height=\"20,55906\""),
              std::u16string::npos);
    EXPECT_NE(band->Child(0)->AttrText.find(u"DisplayFormat.DecimalSeparator=\",\""), std::u16string::npos);
    EXPECT_NE(band->Child(1)->AttrText.find(u"Top=\"35,11812\""), std::u16string::npos);
}

TEST_F(RepDocTables, LinesKeepTheirDirectionAndSmallValues) {
    TqlxRepDoc doc(PathOf("page"));
    ASSERT_TRUE(doc.AddPage(816, 1056));
    ASSERT_TRUE(doc.AddLine(0, 0, 0.00001L, 5, 5));
    ASSERT_TRUE(doc.AddLine(0, 0, 0.0001L, 5, 5));
    ASSERT_TRUE(doc.AddLine(0, 110, 10, 60, 10.25L));
    const TqlxXMLItem* band = Band(doc);
    EXPECT_NE(band->Child(0)->AttrText.find(u"Width=\"1E-5\" Height=\"0\""), std::u16string::npos);
    EXPECT_NE(band->Child(1)->AttrText.find(u"Width=\"0.0001\""), std::u16string::npos);
    EXPECT_NE(band->Child(2)->AttrText.find(u"Left=\"110\" Top=\"75.11812\" Width=\"-100\" Height=\"-49.75\""),
              std::u16string::npos);
}

TEST_F(RepDocTables, WhiteLinesAreSkippedAndNamesCountOnwards) {
    TqlxRepDoc doc(PathOf("page"));
    ASSERT_TRUE(doc.AddPage(816, 1056));
    EXPECT_TRUE(doc.AddLine(0, 1, 2, 3, 4));
    EXPECT_TRUE(doc.AddLine(16777215, 1, 2, 3, 4));
    EXPECT_TRUE(doc.AddLine(255, 1, 2, 3, 4));
    EXPECT_TRUE(doc.AddLine(static_cast<int32_t>(0x81FFFFFFu), 1, 2, 3, 4));
    EXPECT_TRUE(doc.AddMemo(ArialOf(-16), "a", 0, 0));
    EXPECT_TRUE(doc.AddMemo(ArialOf(-16), "b", 0, 0));
    EXPECT_EQ(doc.LineCount(), 3);
    EXPECT_EQ(doc.MemoCount(), 2);
    const TqlxXMLItem* band = Band(doc);
    ASSERT_EQ(band->ChildCount(), 5);
    const char16_t* names[] = {u"Name=\"Line1\"", u"Name=\"Line2\"", u"Name=\"Line3\"", u"Name=\"Memo1\"",
                               u"Name=\"Memo2\""};
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(band->Child(i)->AttrText.rfind(names[i], 0), 0u) << i;
    EXPECT_NE(band->Child(1)->AttrText.find(u"Frame.Color=\"255\""), std::u16string::npos);
    EXPECT_NE(band->Child(2)->AttrText.find(u"Frame.Color=\"-2113929217\""), std::u16string::npos);
}

TEST_F(RepDocTables, TextIsEscapedButMeasuredUnescaped) {
    TqlxRepDoc doc(PathOf("page"));
    ASSERT_TRUE(doc.AddPage(816, 1056));
    TFont font = ArialOf(-16);
    font.Name = u"A&B";
    ASSERT_TRUE(doc.AddMemo(font, "say \"1 < 2 & 3\"\r\n\xC3\xA9", 0, 0));
    ASSERT_TRUE(doc.AddMemo(ArialOf(-16), "", 0, 0));
    const TqlxXMLItem* band = Band(doc);
    const std::u16string width = FloatToStr(MeasureTextWidth("say \"1 < 2 & 3\"", font) + 2 * PixelsPerMillimetre);
    EXPECT_NE(band->Child(0)->AttrText.find(u"Width=\"" + width + u"\" Height=\"23.55906\""), std::u16string::npos);
    EXPECT_NE(band->Child(0)->AttrText.find(u"Font.Name=\"A&#38;B\""), std::u16string::npos);
    EXPECT_NE(band->Child(0)->AttrText.find(u"Text=\"say &#34;1 &#60; 2 &#38; 3&#34;&#13;&#10;\u00E9\""),
              std::u16string::npos);
    EXPECT_NE(band->Child(1)->AttrText.find(u"Width=\"7.55906\""), std::u16string::npos);
    EXPECT_TRUE(band->Child(1)->AttrText.ends_with(u" ParentFont=\"False\" Text=\"\""));
}

// What XML 1.0 cannot hold is written and measured as U+FFFD; a NUL no longer ends the measured text.
TEST_F(RepDocTables, CharactersATemplateCannotHoldBecomeReplacements) {
    TqlxRepDoc doc(PathOf("chars"));
    ASSERT_TRUE(doc.AddPage(816, 1056));
    TFont font = ArialOf(-16);
    font.Name = u"A\x02\xD800";
    ASSERT_TRUE(doc.AddMemo(font, std::string("a\0b\x01\x1F\x7F\t\xEF\xBF\xBE\xEF\xBF\xBF\xF0\x9F\x98\x80", 17), 0, 0));
    const std::u16string written = u"a\uFFFDb\uFFFD\uFFFD\x7F\t\uFFFD\uFFFD\U0001F600";
    const TqlxXMLItem& memo = *Band(doc)->Child(0);
    EXPECT_EQ(memo.GetAttr(u"Text") + u" " + memo.GetAttr(u"Font.Name"), written + u" A\uFFFD\uFFFD");
    EXPECT_EQ(memo.GetAttr(u"Width"), FloatToStr(MeasureTextWidth(written, font) + 2 * PixelsPerMillimetre));
    doc.SaveTemplate();
    EXPECT_EQ(XmlWellFormednessError(folder_.ReadFile("chars.qlt")), "");
}

TEST_F(RepDocTables, AddsBeforeThePageFailAndConsumeTheirNumbers) {
    TqlxRepDoc doc(PathOf("page"));
    EXPECT_FALSE(doc.AddMemo(ArialOf(-16), "early", 0, 0));
    EXPECT_FALSE(doc.AddLine(0, 1, 2, 3, 4));
    EXPECT_TRUE(doc.AddLine(16777215, 1, 2, 3, 4));
    EXPECT_EQ(doc.MemoCount(), 1);
    EXPECT_EQ(doc.LineCount(), 1);
    EXPECT_EQ(doc.Document().Root()->ChildCount(), 1);
    ASSERT_TRUE(doc.AddPage(816, 1056));
    ASSERT_TRUE(doc.AddMemo(ArialOf(-16), "late", 0, 0));
    EXPECT_EQ(Band(doc)->Child(0)->AttrText.rfind(u"Name=\"Memo2\"", 0), 0u);
}

TEST_F(RepDocTables, AFailedMeasurementLeavesANamedElementWithoutAttributes) {
    TqlxRepDoc doc(PathOf("page"));
    ASSERT_TRUE(doc.AddPage(816, 1056));
    TFont unopenable = ArialOf(-16);
    unopenable.FaceData = std::make_shared<const std::string>("no font");
    EXPECT_FALSE(doc.AddMemo(unopenable, "broken", 0, 0));
    EXPECT_EQ(doc.MemoCount(), 1);
    ASSERT_EQ(Band(doc)->ChildCount(), 1);
    EXPECT_EQ(Band(doc)->Child(0)->Name, u"TqlxMemoView");
    EXPECT_EQ(Band(doc)->Child(0)->AttrText, u"");

    // A stand-in takes over the text the font cannot measure, and only that.
    const TFont arial = ArialOf(-16, 255), bigArial = ArialOf(-20);
    const struct {
        const TFont& Font;
        const TFont& StandIn;
        bool Added, StoodIn;
        std::u16string Height;
    } cases[] = {{arial, bigArial, true, false, u"-16"}, {unopenable, bigArial, true, true, u"-20"},
                 {unopenable, unopenable, false, false, u""}};
    for (const auto& c : cases) {
        bool stoodIn = !c.StoodIn;
        EXPECT_EQ(doc.AddMemo(c.Font, c.StandIn, "x", 0, 0, stoodIn), c.Added);
        EXPECT_EQ(stoodIn, c.StoodIn);
        EXPECT_EQ(Band(doc)->Child(Band(doc)->ChildCount() - 1)->GetAttr(u"Font.Height"), c.Height);
    }
}

TEST_F(RepDocTables, SavedFileIsOneLineExactlyAsBuilt) {
    TqlxRepDoc doc(PathOf("page.xps_1_1"));
    Fill(doc);
    doc.SaveTemplate();
    EXPECT_FALSE(doc.AddLine(0, 1, 2, 3, 4));
    std::ifstream file(folder_.NativePath("page.qlt"), std::ios::binary);
    ASSERT_TRUE(file) << "no template written";
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_FALSE(folder_.Exists("page.qlt.tmp"));
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?><TqlxReport " + Utf16ToUtf8(kRootText) +
        "><TqlxDataPage Height=\"1000\" Left=\"0\" Top=\"0\" Width=\"1000\"/><TqlxReportPage " +
        Utf16ToUtf8(PageText(u"215.899860564673", u"279.399819554283")) +
        "><TqlxReportTitle Name=\"rtMain\" Height=\"1056\" Left=\"0\" Top=\"18,89765\" Width=\"816\" "
        "Stretched=\"True\"><TqlxMemoView Name=\"Memo1\" Left=\"96.5\" Top=\"10\" Width=\"37.55906\" "
        "Height=\"20.55906\" ShowHint=\"False\" StretchMode=\"smActualHeight\" AutoWidth=\"True\" "
        "DisplayFormat.DecimalSeparator=\",\" Font.Charset=\"204\" Font.Color=\"255\" Font.Height=\"-13\" "
        "Font.Name=\"Arial\" Font.Style=\"0\" ParentFont=\"False\" Text=\"Hello\"/><TqlxLineView Name=\"Line1\" "
        "Left=\"10\" Top=\"35.11812\" Width=\"100\" Height=\"0\" ShowHint=\"False\" Frame.Color=\"0\" "
        "Frame.Typ=\"4\"/></TqlxReportTitle></TqlxReportPage></TqlxReport>";
    EXPECT_EQ(Utf16ToUtf8(WithoutDates(Utf8ToUtf16(bytes))), expected);
}

// Reads the two dates, which the builder writes in the process-wide format.
long double DateOf(const TqlxRepDoc& doc, std::u16string_view name) {
    const std::string text = Utf16ToUtf8(doc.Document().Root()->GetAttr(name));
    long double value = 0;
    EXPECT_EQ(std::from_chars(text.data(), text.data() + text.size(), value).ec, std::errc()) << text;
    return value;
}

TEST_F(RepDocTables, DatesAreLocalDayCountsSince1899) {
    const char* savedZone = std::getenv("TZ");
    const std::string zone = savedZone ? savedZone : "";
    ::setenv("TZ", "XQT-10", 1);  // ten hours east of UTC, so that UTC would show
    ::tzset();
    const long double before = std::time(nullptr) / 86400.0L + 25569 + 10 / 24.0L;
    TqlxRepDoc doc(PathOf("page"));
    const long double after = std::time(nullptr) / 86400.0L + 25569 + 10 / 24.0L;
    if (savedZone) ::setenv("TZ", zone.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
    const long double created = DateOf(doc, u"ReportOptions.CreateDate");
    const long double changed = DateOf(doc, u"ReportOptions.LastChange");
    EXPECT_GE(created, before - 1 / 86400.0L);
    EXPECT_LE(created, after + 1 / 86400.0L);
    EXPECT_GE(changed, created);
    EXPECT_LE(changed, after + 1 / 86400.0L);
}

}  // namespace
