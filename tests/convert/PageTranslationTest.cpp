#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/RunTestSupport.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestTemplate.h"
#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Files.h"
#include "platform/NumberFormat.h"
#include "platform/Streams.h"
#include "xml/qlxXML.h"

namespace {

const std::string kPageStart = "<FixedPage Width=\"816\" Height=\"1056\" xmlns=\"http://schemas.microsoft.com/xps/2005/06\">";

std::string Page(const std::string& content) { return kPageStart + content + "</FixedPage>"; }

// The attributes given come first, so they win over the defaults after them.
std::string Glyphs(const std::string& attributes) {
    return "<Glyphs " + attributes + " OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"16\" Fill=\"#FF000000\"/>";
}

std::string StrokedPath(const std::string& data, const std::string& stroke = "#FF000000") {
    return "<Path Stroke=\"" + stroke + "\" Data=\"" + data + "\"/>";
}

std::string Resources(const std::string& resources) {
    return "<FixedPage.Resources><ResourceDictionary>" + resources + "</ResourceDictionary></FixedPage.Resources>";
}

std::string VisualBrush(const std::string& attributes, const std::string& visual) {
    return "<VisualBrush " + attributes + "><VisualBrush.Visual>" + visual + "</VisualBrush.Visual></VisualBrush>";
}

// A filled rectangle, x and y its top left corner.
std::string Filled(int x, int y, int width, int height, const std::string& fill = "#FF000000") {
    return "<Path Fill=\"" + fill + "\" Data=\"M " + std::to_string(x) + "," + std::to_string(y) + " h " +
           std::to_string(width) + " v " + std::to_string(height) + " h " + std::to_string(-width) + " Z\"/>";
}

class PageTranslation : public ::testing::Test {
protected:
    // Converts the page bytes into out.qlt; the template's band, or null when none was written.
    TqlxXMLItem* Convert(const std::string& pageBytes) {
        template_.reset();
        DeleteFile(folder_.Path("out.qlt"));
        TMemoryStream page;
        page.WriteBuffer(pageBytes.data(), static_cast<int64_t>(pageBytes.size()));
        TXpsConverter converter(log_, font_);
        converter.Nested = nested_;
        converter.ConvertFixedPage(page, folder_.Path("out"), u"Documents/1/Pages/1.fpage");
        if (!folder_.Exists("out.qlt")) return nullptr;
        template_ = std::make_unique<TqlxXMLDocument>();
        LoadTemplate(*template_, folder_.Path("out.qlt"));
        return &TemplateBand(*template_);
    }

    // The lines logged by a failing page.
    std::vector<std::u16string> ErrorLines(const std::u16string& className, const std::u16string& message) const {
        return {u"-Convert error!!!", u"-ClassName: " + className, u"-Message: " + message};
    }

    // The attributes of each object of that kind, joined by blanks.
    static std::vector<std::u16string> ObjectsOf(TqlxXMLItem* band, std::u16string_view kind,
                                                 std::initializer_list<std::u16string_view> attributes) {
        std::vector<std::u16string> objects;
        ForEachChildNamed(*band, kind, [&](const TqlxXMLItem& object, int32_t) {
            std::u16string text;
            for (const std::u16string_view attribute : attributes) text += (text.empty() ? u"" : u" ") + object.GetAttr(attribute);
            objects.push_back(text);
        });
        return objects;
    }

    // "Left Top Height Colour Text" of each text object.
    static std::vector<std::u16string> TextsOf(TqlxXMLItem* band) {
        return ObjectsOf(band, u"TqlxMemoView", {u"Left", u"Top", u"Font.Height", u"Font.Color", u"Text"});
    }

    static std::vector<std::u16string> LinesOf(TqlxXMLItem* band) {
        return ObjectsOf(band, u"TqlxLineView", {u"Left", u"Top", u"Width", u"Height", u"Frame.Color"});
    }

    TTempFolder folder_;
    TXpsLineLog log_;
    TFixedFontName font_;
    std::unique_ptr<TqlxXMLDocument> template_;
    bool nested_ = false;
};

TEST_F(PageTranslation, PageSizeAndTextObjects) {
    font_.Name = u"Liberation Serif";
    TqlxXMLItem* band = Convert(Page(Glyphs("UnicodeString=\"Hello\" FontRenderingEmSize=\"12.5\" Fill=\"#FFFF0000\"") +
                                     "<Glyphs OriginX=\"96.5\" OriginY=\"1e2\" FontRenderingEmSize=\"13.5\"/>"));
    ASSERT_NE(band, nullptr);
    EXPECT_TRUE(log_.Lines.empty());
    const TqlxXMLItem* page = template_->Root()->Child(1);
    EXPECT_EQ(page->GetAttr(u"PaperWidth"), u"215.899860564673");
    EXPECT_EQ(band->GetAttr(u"Width"), u"816");
    EXPECT_EQ(band->GetAttr(u"Height"), u"1056");
    ASSERT_EQ(band->ChildCount(), 2);
    const TqlxXMLItem* first = band->Child(0);
    EXPECT_EQ(first->GetAttr(u"Left"), u"10");
    EXPECT_EQ(first->GetAttr(u"Top"), u"20");
    EXPECT_EQ(first->GetAttr(u"Font.Height"), u"-12");
    EXPECT_EQ(first->GetAttr(u"Font.Color"), u"255");
    EXPECT_EQ(first->GetAttr(u"Font.Charset"), u"204");
    EXPECT_EQ(first->GetAttr(u"Font.Name"), u"Liberation Serif");
    EXPECT_EQ(first->GetAttr(u"Text"), u"Hello");
    const TqlxXMLItem* second = band->Child(1);
    EXPECT_EQ(second->GetAttr(u"Left"), u"96.5");
    EXPECT_EQ(second->GetAttr(u"Top"), u"100");
    EXPECT_EQ(second->GetAttr(u"Font.Height"), u"-14");
    EXPECT_EQ(second->GetAttr(u"Font.Color"), u"-16777216");
    EXPECT_EQ(second->GetAttr(u"Text"), u"");
    EXPECT_EQ(second->GetAttr(u"Width"), u"7.55906");
}

TEST_F(PageTranslation, NumbersAreReadWithAPointAndWrittenInTheUsersFormat) {
    const TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = u',';
    TqlxXMLItem* band = Convert(Page(Glyphs("OriginX=\"96.5\"")));
    FormatSettings() = saved;
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->Child(0)->GetAttr(u"Left"), u"96,5");
    log_.Clear();
    EXPECT_EQ(Convert(Page(Glyphs("OriginX=\"96,5\""))), nullptr);
    EXPECT_EQ(log_.Lines, ErrorLines(u"EConvertError", u"'96,5' is not a valid floating point value"));
}

TEST_F(PageTranslation, EmptyChosenFamilyMeansArial) {
    TqlxXMLItem* band = Convert(Page(Glyphs("UnicodeString=\"x\"")));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->Child(0)->GetAttr(u"Font.Name"), u"Arial");
}

TEST_F(PageTranslation, TextArrivesAsWrittenInThePage) {
    TqlxXMLItem* band = Convert(Page(Glyphs("UnicodeString=\"Gr\xC3\xBC\xC3\x9F" "e\"") +
                                     Glyphs("UnicodeString=\"&#x4E2D;&#233;\"") +
                                     Glyphs("UnicodeString=\"&amp;lt; &quot;{}\"") +
                                     Glyphs("UnicodeString=\"bad \xFF byte\"")));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->Child(0)->GetAttr(u"Text"), u"Gr\u00FC\u00DFe");
    EXPECT_EQ(band->Child(1)->GetAttr(u"Text"), u"\u4E2D\u00E9");
    EXPECT_EQ(band->Child(2)->GetAttr(u"Text"), u"&lt; \"{}");
    EXPECT_NE(band->Child(2)->AttrText.find(u"Text=\"&#38;lt; &#34;{}\""), std::u16string::npos);
    EXPECT_EQ(band->Child(3)->GetAttr(u"Text"), u"bad \uFFFD byte");
}

// References beyond 16 bits are whole characters in both modes; those to no character U+FFFD.
TEST_F(PageTranslation, ReferencesBeyondSixteenBitsAreWholeCharacters) {
    const std::pair<std::string, std::string> cases[] = {{"&#119860;", "\xF0\x9D\x90\xB4"}, {"&#x1F600;", "\xF0\x9F\x98\x80"},
                                                         {"&#xD800;", "\xEF\xBF\xBD"}, {"&#x110000;", "\xEF\xBF\xBD"}};
    for (const bool nested : {false, true}) {
        nested_ = nested;
        for (const auto& [reference, written] : cases) {
            ASSERT_NE(Convert(Page(Glyphs("UnicodeString=\"" + reference + "\""))), nullptr);
            EXPECT_NE(folder_.ReadFile("out.qlt").find("Text=\"" + written + "\""), std::string::npos) << reference;
        }
    }
}

TEST_F(PageTranslation, APageWithItsOwnDeclarationConvertsLikeAnyOther) {
    for (const std::string& prefix : {std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>"),
                                      std::string("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"),
                                      std::string("\xEF\xBB\xBF  \n")}) {
        TqlxXMLItem* band = Convert(prefix + Page(Glyphs("UnicodeString=\"Gr\xC3\xBC\xC3\x9F" "e\"")));
        ASSERT_NE(band, nullptr);
        EXPECT_EQ(band->Child(0)->GetAttr(u"Text"), u"Gr\u00FC\u00DFe");
    }
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, OnlyTopLevelElementsCount) {
    TqlxXMLItem* band = Convert(Page("<Canvas>" + Glyphs("UnicodeString=\"in\"") + StrokedPath("F1 M 0,0 L 1,1") +
                                     "</Canvas><Path.Data/><glyphs OriginX=\"x\"/>"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->ChildCount(), 0);
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, ARootOtherThanFixedPageWritesNothingAndLogsNothing) {
    EXPECT_EQ(Convert("<Canvas Width=\"1\" Height=\"1\"/>"), nullptr);
    EXPECT_EQ(Convert("<?xml-stylesheet href=\"a\"?>" + Page("")), nullptr);
    EXPECT_EQ(Convert(""), nullptr);
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, PathDataBecomesOneLinePerSegment) {
    TqlxXMLItem* band = Convert(Page(StrokedPath("F1 M 10,10 L 110,10 110,60 10,60 z") +
                                     StrokedPath("F1 M 0,0 L 5,5 z M 20,20 L 30,20", "#FFFF0000") +
                                     StrokedPath("F1 M 1,2 L 3,4") + StrokedPath("F1 M 1,2")));
    ASSERT_NE(band, nullptr);
    const std::vector<std::u16string> expected = {
        u"10 25.11812 100 0 0",  u"110 25.11812 0 50 0", u"110 75.11812 -100 0 0", u"10 75.11812 0 -50 0",
        u"0 15.11812 5 5 255",   u"5 20.11812 -5 -5 255", u"20 35.11812 10 0 255",  u"1 17.11812 2 2 0",
    };
    EXPECT_EQ(LinesOf(band), expected);
    EXPECT_EQ(band->Child(7)->GetAttr(u"Name"), u"Line8");
}

TEST_F(PageTranslation, PathsWithoutStrokedF1DataDrawNothing) {
    TqlxXMLItem* band = Convert(Page(StrokedPath("M 10,10 L 20,10 z") + StrokedPath("F0 M 10,10 L 20,10 z") +
                                     "<Path Fill=\"#FF000000\" Stroke=\"#FF000000\" Data=\"F1 M 0,0 L 1,1\"/>" +
                                     StrokedPath("F1 M 0,0 L 1,1", "#FFFFFFFF") +
                                     "<Path Stroke=\"#FF000000\"><Path.Data><PathGeometry/></Path.Data></Path>"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->ChildCount(), 0);
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, StrokesKeepTheirAlphaAndMissingStrokesHaveNoColour) {
    TqlxXMLItem* band = Convert(Page(StrokedPath("F1 M 0,0 L 1,0", "#80FFFFFF") + "<Path Data=\"F1 M 0,0 L 1,0\"/>"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(LinesOf(band), (std::vector<std::u16string>{u"0 15.11812 1 0 -2113929217", u"0 15.11812 1 0 -16777216"}));
}

TEST_F(PageTranslation, UnknownCommandsEndThePathKeepingItsLines) {
    TqlxXMLItem* band = Convert(Page(StrokedPath("F1 M 0,0 L 1,0 z C 1,1 2,2 3,3") + StrokedPath("F1 M 0,0 1,1 L 2,2") +
                                     StrokedPath("F1 m 0,0 l 1,1") + StrokedPath("F1 M 0,0 L 1,0 z L 5,0")));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(LinesOf(band), (std::vector<std::u16string>{u"0 15.11812 1 0 0", u"1 15.11812 -1 0 0", u"0 15.11812 1 0 0",
                                                          u"1 15.11812 -1 0 0", u"0 15.11812 5 0 0"}));
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, MalformedPathDataFailsThePage) {
    const struct {
        std::string data;
        std::u16string badText;
    } cases[] = {
        {"F1 M 0,0 L 1,1 L 2,2", u""},           // a second "L"
        {"F1 M 0,0 L 1,1 M 2,2 L 3,3", u""},     // "M" after a point list without "z"
        {"F1 M 0,0 L 1,1 Z", u""},               // upper-case "Z"
        {"F1 M 0,0 L 1,1  2,2", u""},            // two blanks make an empty token
        {"F1 M 0;0 L 1,1", u""},
        {"F1 M 0,0 L 1.5.5,1", u"1.5.5"},
    };
    for (const auto& c : cases) {
        log_.Clear();
        EXPECT_EQ(Convert(Page(StrokedPath(c.data))), nullptr) << c.data;
        EXPECT_EQ(log_.Lines, ErrorLines(u"EConvertError", u"'" + c.badText + u"' is not a valid floating point value"))
            << c.data;
    }
}

TEST_F(PageTranslation, EveryErrorIsLoggedWithItsClassAndMessage) {
    const struct {
        std::string page;
        std::u16string className, message;
    } cases[] = {
        {"<FixedPage Width=\"8,5\" Height=\"1\"/>", u"EConvertError", u"'8,5' is not a valid floating point value"},
        {"<FixedPage Height=\"1\"/>", u"EConvertError", u"'' is not a valid floating point value"},
        {Page(Glyphs("OriginX=\"1\" UnicodeString=\"&#1x;\"")), u"EConvertError", u"''1x'' is not a valid integer value"},
        {Page("<Glyphs OriginX=\"1\" OriginY=\"2\" Fill=\"#FFGG0000\"/>"), u"EConvertError",
         u"''$FF0000GG'' is not a valid integer value"},
        {Page("<Path Fill=\"#zz000000\" Data=\"\"/>"), u"EConvertError", u"''$zz000000'' is not a valid integer value"},
        {Page(Glyphs("FontRenderingEmSize=\"1e30\"")), u"EInvalidOp",
         u"Invalid floating point operation: the em size 1E30 does not fit a font height"},
        {Page(Glyphs("FontRenderingEmSize=\"-2147483648\"")), u"EInvalidOp",
         u"Invalid floating point operation: the em size -2147483648 does not fit a font height"},
        {kPageStart + "<Glyphs></Path></FixedPage>", u"TqlxInvalidXMLException", u"Invalid file format"},
        {"<FixedPage Width=\"1e4932\" Height=\"1\"/>", u"EConvertError", u"'1E4932' is too large for a template"},
        {"<FixedPage Width=\"1.7976931348623157e308\" Height=\"1\"/>", u"EConvertError",
         u"'1.79769313486232E308' is too large for a template"},
        {Page(StrokedPath("F1 M -1e308,0 L 1e308,0")), u"EConvertError", u"'2E308' is too large for a template"},
    };
    for (const auto& c : cases) {
        log_.Clear();
        EXPECT_EQ(Convert(c.page), nullptr) << c.page;
        EXPECT_EQ(log_.Lines, ErrorLines(c.className, c.message)) << c.page;
    }
}

// What the page skipped is known even so: the run still points to the nested mode.
TEST_F(PageTranslation, ATemplateThatCannotBeWrittenIsAFileError) {
    TMemoryStream page;
    const std::string bytes = Page("<Canvas>" + Glyphs("UnicodeString=\"a\"") + "</Canvas>");
    page.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    TXpsConverter converter(log_, font_);
    const TXpsPageResult result = converter.ConvertFixedPage(page, folder_.Path("missing/out"), u"p");
    EXPECT_EQ(result.Status, TXpsPageStatus::Failed);
    EXPECT_TRUE(result.SkippedCanvasContent);
    ASSERT_EQ(log_.Lines.size(), 3u);
    EXPECT_EQ(log_.Lines[1], u"-ClassName: EFCreateError");
    EXPECT_EQ(log_.Lines[2], u"-Message: Cannot create file \"" + folder_.Path("missing/out.qlt.tmp") +
                                 u"\". No such file or directory");
}

// The nested mode: content inside canvases, under transforms and resources.

// The nested mode counts the characters a run draws, without its "{}" escape.
TEST_F(PageTranslation, NestedTextAtTheLimitBehindItsEscape) {
    nested_ = true;
    const std::string longest(size_t(TXpsLimits{}.TextCharacters), 'x');
    EXPECT_NE(Convert(Page(Glyphs("UnicodeString=\"{}" + longest + "\""))), nullptr);
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, NestedTextRunsFollowTheirTransforms) {
    nested_ = true;
    TqlxXMLItem* band = Convert(Page(
        "<Canvas RenderTransform=\"2,0,0,2,10,0\"><Canvas><Canvas.RenderTransform><MatrixTransform Matrix=\"1,0,0,1,5,5\"/>"
        "</Canvas.RenderTransform><Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"10\" RenderTransform=\"1 0 0 1.5 0 0\" "
        "Fill=\"#FFFF0000\" UnicodeString=\"{}{a}\"/></Canvas></Canvas>" +
        Glyphs("UnicodeString=\"wasn&apos;t\"") + "<Canvas><Glyphs.Fill/><Path.Data/><Canvas.Resources/></Canvas>"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(TextsOf(band), (std::vector<std::u16string>{u"22 16 -30 255 {a}", u"10 20 -16 0 wasn't"}));
    EXPECT_TRUE(log_.Lines.empty());
}

TEST_F(PageTranslation, NestedResourcesAreLookedUpNearestFirst) {
    nested_ = true;
    const std::string page = Page(
        "<FixedPage.Resources><ResourceDictionary><SolidColorBrush x:Key=\"ink\" Color=\"#FF0000FF\"/>"
        "<MatrixTransform x:Key=\"twice\" Matrix=\"2,0,0,2,0,0\"/><PathGeometry x:Key=\"rule\" Figures=\"M 0,0 L 100,0\">"
        "<PathGeometry.Transform><MatrixTransform Matrix=\"1,0,0,1,0,7\"/></PathGeometry.Transform></PathGeometry>"
        "</ResourceDictionary></FixedPage.Resources>"
        "<Canvas><Canvas.Resources><ResourceDictionary><SolidColorBrush x:Key=\"ink\" Color=\"#FF00FF00\"/>"
        "</ResourceDictionary></Canvas.Resources>"
        "<Glyphs OriginX=\"1\" OriginY=\"1\" FontRenderingEmSize=\"8\" Fill=\"{StaticResource ink}\" "
        "RenderTransform=\"{StaticResource twice}\" UnicodeString=\"near\"/></Canvas>"
        "<Canvas><Glyphs OriginX=\"1\" OriginY=\"1\" FontRenderingEmSize=\"8\" Fill=\"{StaticResource ink}\" UnicodeString=\"page\"/>"
        "<Path Stroke=\"{StaticResource ink}\" Data=\"{StaticResource rule}\"/>"
        "<Glyphs OriginX=\"1\" OriginY=\"1\" FontRenderingEmSize=\"8\" Fill=\"{StaticResource gone}\" UnicodeString=\"none\"/>"
        "</Canvas>");
    TqlxXMLItem* band = Convert(page);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(TextsOf(band), (std::vector<std::u16string>{u"2 2 -16 65280 near", u"1 1 -8 16711680 page",
                                                          u"1 1 -8 -16777216 none"}));
    EXPECT_EQ(LinesOf(band), std::vector<std::u16string>{u"0 22.11812 100 0 16711680"});
}

TEST_F(PageTranslation, NestedPathsStrokeTheirSegmentsAndFillThinRectangles) {
    nested_ = true;
    TqlxXMLItem* band = Convert(Page(
        "<Canvas RenderTransform=\"1.5,0,0,1.5,0,0\">"
        "<Path Fill=\"#FF000000\" Data=\"M 10,10 L 110,10 110,12 10,12 Z\"/>"
        "<Path Fill=\"#FFFF0000\" Data=\"M 10,10 L 110,10 110,20 10,20 Z\"/>"
        "<Path Fill=\"#FF000000\" Stroke=\"#FF0000FF\" Data=\"M 0,0 L 4,0\"/>"
        "<Path><Path.Stroke><SolidColorBrush Color=\"#FF00FF00\"/></Path.Stroke><Path.Data><PathGeometry>"
        "<PathFigure StartPoint=\"0,0\" IsClosed=\"true\"><PolyLineSegment Points=\"0,4\"/></PathFigure>"
        "</PathGeometry></Path.Data></Path>"
        "<Path Data=\"M 0,0 L 4,4\"><Path.Stroke><LinearGradientBrush/></Path.Stroke></Path>"
        "<Path Data=\"M 0,0 L 100,0 100,1 0,1 Z\"><Path.Fill><RadialGradientBrush/></Path.Fill></Path>"
        "</Canvas>"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(LinesOf(band), (std::vector<std::u16string>{
                                 u"15 31.61812 150 0 0",           // the thin rectangle's centre line
                                 u"0 15.11812 6 0 16711680",       // a stroke wins over the fill
                                 u"0 15.11812 0 6 65280", u"0 21.11812 0 -6 65280",  // a closed figure
                                 u"0 15.11812 6 6 -16777216"}));    // a brush of no single colour
}

// Visual brushes paint their visual under the viewbox-to-viewport map, the
// brush's transform and the path's; relative units take the path's bounds.
TEST_F(PageTranslation, NestedVisualBrushesPaintTheirVisualInPlace) {
    nested_ = true;
    const std::string visual = "<Canvas><Glyphs OriginX=\"10\" OriginY=\"40\" FontRenderingEmSize=\"20\" Fill=\"sc#1,0,0\" "
                               "UnicodeString=\"v\"/><Path Stroke=\"#FF0000FF\" Data=\"M 0,0 L 100,0\"/>";
    const std::string mapped = "Viewbox=\"0,0,100,50\" Viewport=\"10,20,200,25\" Transform=\"1,0,0,1,5,0\"";
    const std::string inner = VisualBrush("x:Key=\"c\" Viewbox=\"0,0,9,9\" Viewport=\"0,0,9,9\" Transform=\"1,0,0,1,1,1\"",
                                          "<Glyphs OriginX=\"0\" OriginY=\"0\" FontRenderingEmSize=\"10\" UnicodeString=\"w\"/>");
    const std::string selfPainting = VisualBrush("x:Key=\"s\" Viewbox=\"0,0,9,9\" Viewport=\"0,0,9,9\" Transform=\"1,0,0,1,1,0\"",
        "<Canvas><Glyphs OriginX=\"0\" OriginY=\"5\" FontRenderingEmSize=\"10\" UnicodeString=\"d\"/>"
        "<Path Fill=\"{StaticResource s}\" Data=\"M 0,0 L 1,0 1,1 Z\"/></Canvas>");
    std::vector<std::u16string> eightDeep;
    for (int depth = 1; depth <= 8; ++depth) eightDeep.push_back(IntToStr(depth) + u" 5 -10 -16777216 d");
    const std::string moved = " RenderTransform=\"1,0,0,1,0,100\" Data=\"M 0,0 L 10,0\"";
    const std::string square = " Data=\"M 100,100 L 300,100 300,300 100,300 Z\"";
    const struct {
        std::string content;
        std::vector<std::u16string> texts, lines;
    } cases[] = {
        {Resources(VisualBrush("x:Key=\"b\" " + mapped, visual + "</Canvas>")) +
             "<Path Fill=\"{StaticResource b}\" Stroke=\"#FF000000\"" + moved + "/>",
         {u"35 140 -10 255 v"}, {u"0 115.11812 10 0 0", u"15 135.11812 200 0 16711680"}},
        {"<Path" + moved + "><Path.Fill>" + VisualBrush(mapped, visual + "</Canvas>") + "</Path.Fill></Path>",
         {u"35 140 -10 255 v"}, {u"15 135.11812 200 0 16711680"}},
        {"<Path" + square + "><Path.Fill>" +
             VisualBrush("Viewbox=\"0,0,100,50\" ViewportUnits=\"RelativeToBoundingBox\" Viewport=\"0,0,0.5,0.5\"",
                         visual + "</Canvas>") + "</Path.Fill></Path>",
         {u"110 180 -40 255 v"}, {u"100 115.11812 100 0 16711680"}},
        {Resources(inner + VisualBrush("x:Key=\"b\" " + mapped, visual + "<Path Fill=\"{StaticResource c}\"" + square +
                                                                   "/></Canvas>")) +
             "<Path Fill=\"{StaticResource b}\"" + moved + "/>",
         {u"35 140 -10 255 v", u"17 120.5 -5 -16777216 w"}, {u"15 135.11812 200 0 16711680"}},
        {Resources(selfPainting) + "<Path Fill=\"{StaticResource s}\"" + square + "/>", eightDeep, {}},
        {"<Path" + square + "><Path.Fill>" + VisualBrush("Viewbox=\"0,0,0,50\" Viewport=\"0,0,9,9\"", visual + "</Canvas>") +
             "</Path.Fill></Path>",
         {}, {}},
    };
    for (const auto& c : cases) {
        TqlxXMLItem* band = Convert(Page(c.content));
        ASSERT_NE(band, nullptr) << c.content;
        EXPECT_EQ(TextsOf(band), c.texts) << c.content;
        EXPECT_EQ(LinesOf(band), c.lines) << c.content;
    }

    // Brushes painting brushes ten times over, six deep, run out of the page's budget.
    std::string fanningOut = VisualBrush("x:Key=\"b6\" Viewbox=\"0,0,9,9\" Viewport=\"0,0,9,9\"", "<Path/>");
    for (int level = 0; level < 6; ++level) {
        std::string tenPaths;
        for (int i = 0; i < 10; ++i) tenPaths += "<Path Fill=\"{StaticResource b" + std::to_string(level + 1) + "}\"" + square + "/>";
        fanningOut += VisualBrush("x:Key=\"b" + std::to_string(level) + "\" Viewbox=\"0,0,9,9\" Viewport=\"0,0,9,9\"",
                                  "<Canvas>" + tenPaths + "</Canvas>");
    }
    log_.Clear();
    EXPECT_EQ(Convert(Page(Resources(fanningOut) + "<Path Fill=\"{StaticResource b0}\"" + square + "/>")), nullptr);
    EXPECT_EQ(log_.Lines, ErrorLines(u"EXpsLimitError", u"The visual brushes and resources of the page bring in more "
                                                        u"than 8388608 characters"));
}

// Thin rectangles touching one of their colour from above or below (from
// the side, upright) are rows of a picture; the others stay rules, in place.
TEST_F(PageTranslation, NestedRowsOfThinRectanglesGiveNoLines) {
    nested_ = true;
    const struct {
        std::string rectangles;
        std::vector<std::u16string> lines;
    } cases[] = {
        {Filled(0, 54, 5, 1) + Filled(2, 55, 5, 1) + Filled(0, 58, 9, 2), {u"0 74.11812 9 0 0"}},  // rows, and one apart
        {Filled(0, 54, 5, 1) + Filled(3, 56, 5, 1), {}},                                          // a pixel apart
        {Filled(10, 0, 1, 50) + Filled(11, 20, 2, 50), {}},                                       // upright, side by side
        {Filled(0, 54, 5, 1) + Filled(0, 55, 5, 1, "#FFFF0000"),
         {u"0 69.61812 5 0 0", u"0 70.61812 5 0 255"}},                                           // two colours
        {Filled(0, 54, 5, 1) + Filled(0, 57, 5, 1), {u"0 69.61812 5 0 0", u"0 72.61812 5 0 0"}},  // two pixels apart
        {Filled(0, 54, 5, 1) + Filled(5, 55, 5, 1), {u"0 69.61812 5 0 0", u"5 70.61812 5 0 0"}},  // not overlapping
        {Filled(0, 54, 5, 1) + Filled(0, 54, 5, 1), {u"0 69.61812 5 0 0", u"0 69.61812 5 0 0"}},  // one rule twice
    };
    for (const auto& c : cases) {
        TqlxXMLItem* band = Convert(Page(c.rectangles));
        ASSERT_NE(band, nullptr) << c.rectangles;
        EXPECT_EQ(LinesOf(band), c.lines) << c.rectangles;
    }

    TqlxXMLItem* band = Convert(Page(Filled(0, 54, 5, 1) + Glyphs("UnicodeString=\"a\"") + Filled(0, 100, 300, 1) +
                                     Filled(0, 55, 5, 1) + StrokedPath("M 0,0 L 1,0") + Glyphs("UnicodeString=\"b\"")));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(ObjectsOf(band, u"TqlxMemoView", {u"Name", u"Text"}), (std::vector<std::u16string>{u"Memo1 a", u"Memo2 b"}));
    EXPECT_EQ(ObjectsOf(band, u"TqlxLineView", {u"Name", u"Top"}),
              (std::vector<std::u16string>{u"Line1 115.61812", u"Line2 15.11812"}));
    EXPECT_EQ(band->Child(1)->GetAttr(u"Name"), u"Line1");
}

}  // namespace
