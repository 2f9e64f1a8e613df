#include <expat.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/CodePages.h"
#include "platform/NumberFormat.h"
#include "template/TemplatePicture.h"
#include "template/crtqlt.h"
#include "tests/support/RunTestSupport.h"
#include "tests/support/TestTempFolder.h"

namespace {

struct TSvgElement {
    std::map<std::string, std::string> Attributes;
    std::string Text;  // what stands directly inside it

    double Number(const std::string& name) const { return std::stod(Attributes.at(name)); }
};
// The picture's elements by name, each name's in document order; a deque keeps them in place.
using TSvg = std::map<std::string, std::deque<TSvgElement>>;

// The picture parsed by an XML parser of its own; nothing when it is no well-formed XML.
TSvg ParseSvg(const std::string& svg) {
    struct TParse {
        TSvg Elements;
        std::vector<TSvgElement*> Open;
    } parse;
    const XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto& parse = *static_cast<TParse*>(data);
            parse.Open.push_back(&parse.Elements[name].emplace_back());
            for (size_t i = 0; attributes[i] != nullptr; i += 2) parse.Open.back()->Attributes[attributes[i]] = attributes[i + 1];
        },
        [](void* data, const XML_Char*) { static_cast<TParse*>(data)->Open.pop_back(); });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
        static_cast<TParse*>(data)->Open.back()->Text.append(text, static_cast<size_t>(length));
    });
    const bool parsed = XML_Parse(parser, svg.data(), static_cast<int>(svg.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed ? parse.Elements : TSvg();
}

constexpr double kBandTop = 18.89765;
constexpr double kMillimetre = 3.77953;

struct TTextRow {
    std::u16string Text;
    long double X, Y;
    std::u16string Family;
    int32_t Color, Height;
    uint32_t Style;
    std::string Weight, Slant, Fill;  // the expected attributes; "" for none
};
struct TLineRow {
    int32_t Color;
    long double X1, X2, Y1, Y2;
    std::string Stroke;
};

const TTextRow kTexts[] = {
    {u"Invoice 2024", 96, 120, u"Liberation Sans", 0, -16, 0, "", "", "#000000"},
    {u"a < b & \"c\" > d '", 10.5L, 0, u"Liberation Sans", 255, -9, 1, "bold", "", "#ff0000"},
    {u"clef \U0001D11E, \u00E9t\u00E9", 700, 1000.25L, u"DejaVu Sans", 0x00FF8000, -40, 2, "", "italic", "#0080ff"},
    {u"", 5, 5, u"Liberation Sans", -16777216, -8, 3, "bold", "italic", "#000000"},
    {u"tab\there\nline", 1, 2, u"Liberation Sans", 0x01123456, -12, 0, "", "", "#563412"},
};

const TLineRow kLines[] = {
    {0, 96, 720, 130, 130, "#000000"},
    {0x00404040, 110.5L, 10, 60, 10.25L, "#404040"},
    {-16777216, 3, 3, 0, 900, "#000000"},
};

// Each object where the template places it, whatever separator its numbers have.
TEST(TemplatePicture, TextsAndLinesStandWhereTheTemplatePlacesThem) {
    const TFormatSettings saved = FormatSettings();
    for (const char16_t separator : {u'.', u','}) {
        FormatSettings().DecimalSeparator = separator;
        TTempFolder folder;
        TqlxRepDoc doc(folder.Path("page"));
        ASSERT_TRUE(doc.AddPage(816, 1056));
        for (const TTextRow& row : kTexts) {
            TFont font;
            font.Name = row.Family;
            font.Color = row.Color;
            font.Height = row.Height;
            font.Style = row.Style;
            ASSERT_TRUE(doc.AddMemo(font, Utf16ToUtf8(row.Text), row.X, row.Y));
        }
        for (const TLineRow& row : kLines) ASSERT_TRUE(doc.AddLine(row.Color, row.X1, row.X2, row.Y1, row.Y2));
        doc.SaveTemplate();
        const TTemplatePicture picture(doc.FileName());
        FormatSettings() = saved;
        EXPECT_EQ(picture.TextCount(), 5);
        EXPECT_EQ(picture.LineCount(), 3);

        TSvg svg = ParseSvg(picture.Svg());
        EXPECT_EQ(svg["svg"].at(0).Attributes["viewBox"], "0 0 816 1056");
        EXPECT_NEAR(svg["svg"][0].Number("width"), 215.9 / 25.4 * 96, 1e-3);
        ASSERT_EQ(svg["text"].size(), std::size(kTexts));
        ASSERT_EQ(svg["rect"].size(), std::size(kTexts) + 1);  // the paper first
        for (size_t i = 0; i < std::size(kTexts); ++i) {
            const TTextRow& row = kTexts[i];
            TSvgElement& text = svg["text"][i];
            const TSvgElement& box = svg["rect"][i + 1];
            EXPECT_EQ(text.Text, Utf16ToUtf8(row.Text));
            EXPECT_NEAR(box.Number("x"), row.X, 1e-6);
            EXPECT_NEAR(box.Number("y"), kBandTop + row.Y, 1e-6);
            EXPECT_NEAR(box.Number("height"), -row.Height + 2 * kMillimetre, 1e-6);
            EXPECT_NEAR(text.Number("x"), row.X + kMillimetre, 1e-6);
            EXPECT_NEAR(text.Number("y"), kBandTop + row.Y + kMillimetre - 0.9 * row.Height, 1e-6);
            EXPECT_EQ(text.Number("font-size"), -row.Height);
            const std::vector<std::string> font{text.Attributes["font-family"], text.Attributes["font-weight"],
                                                text.Attributes["font-style"], text.Attributes["fill"]};
            EXPECT_EQ(font, (std::vector<std::string>{Utf16ToUtf8(row.Family), row.Weight, row.Slant, row.Fill}));
        }
        ASSERT_EQ(svg["line"].size(), std::size(kLines));
        for (size_t i = 0; i < std::size(kLines); ++i) {
            const TLineRow& row = kLines[i];
            TSvgElement& line = svg["line"][i];
            const double top = kBandTop + 4 * kMillimetre;
            EXPECT_NEAR(line.Number("x1"), row.X1, 1e-6);
            EXPECT_NEAR(line.Number("y1"), top + row.Y1, 1e-6);
            EXPECT_NEAR(line.Number("x2"), row.X2, 1e-6);
            EXPECT_NEAR(line.Number("y2"), top + row.Y2, 1e-6);
            EXPECT_EQ(line.Attributes["stroke"], row.Stroke);
        }
    }
}

// Objects that cannot be placed draw nothing but still count; a file that is
// no template draws no picture at all.
TEST(TemplatePicture, WhatCannotBePlacedDrawsNothing) {
    TTempFolder folder;
    // The same template in UTF-8 and in the 8-bit code page, which a declaration without "standalone" chooses.
    for (const auto& [declaration, letter] : {std::pair{" encoding=\"utf-8\" standalone=\"no\"", "\xC3\xA9"}, {"", "\xE9"}}) {
        WriteFileBytes(folder.Path("t.qlt"),
                       std::string("<?xml version=\"1.0\"") + declaration +
                           "?><TqlxReport><TqlxDataPage/><TqlxReportPage PaperWidth=\"100\" PaperHeight=\"50,5\">"
                           "<TqlxReportTitle Top=\"18,89765\"><TqlxMemoView/><TqlxLineView/><TqlxLineView Left=\"1\" "
                           "Top=\"x\" Width=\"1\" Height=\"1\"/><TqlxMemoView Left=\"1\" Top=\"2\" Width=\"3\" Height=\"4\" "
                           "Font.Height=\"-9\" Font.Name=\"O&#39;Brien \\ Co\" Text=\"&#1;x " + letter +
                           "\"/></TqlxReportTitle></TqlxReportPage></TqlxReport>");
        const TTemplatePicture picture(folder.Path("t.qlt"));
        EXPECT_EQ(picture.TextCount(), 2);
        EXPECT_EQ(picture.LineCount(), 2);
        TSvg svg = ParseSvg(picture.Svg());
        EXPECT_EQ(svg["line"].size(), 0u);
        ASSERT_EQ(svg["text"].size(), 1u);
        EXPECT_EQ(svg["text"][0].Text, "\uFFFDx \u00E9");
        EXPECT_EQ(svg["text"][0].Attributes["font-family"], "'O\\'Brien \\\\ Co'");
        EXPECT_EQ(svg["svg"].at(0).Attributes["viewBox"], "0 0 377.953 190.866265");
        picture.SaveToFile(folder.Path("t.svg"));
        EXPECT_EQ(folder.ReadFile("t.svg"), picture.Svg());
        EXPECT_EQ(folder.Files(), (std::vector<std::string>{"t.qlt", "t.svg"}));
    }

    for (const char* text : {"<?xml version=\"1.0\"?><svg/>",
                             "<?xml version=\"1.0\"?><TqlxReport><TqlxReportPage PaperWidth=\"wide\" PaperHeight=\"1\">"
                             "<TqlxReportTitle Top=\"0\"/></TqlxReportPage></TqlxReport>",
                             "<?xml version=\"1.0\"?><TqlxReport><TqlxReportPage PaperWidth=\"1\" PaperHeight=\"-1E308\">"
                             "<TqlxReportTitle Top=\"0\"/></TqlxReportPage></TqlxReport>",
                             "<?xml version=\"1.0\"?><TqlxReport><TqlxReportPage PaperWidth=\"1\" PaperHeight=\"tall\">"
                             "<TqlxReportTitle Top=\"0\"/></TqlxReportPage></TqlxReport>"}) {
        WriteFileBytes(folder.Path("n.qlt"), text);
        EXPECT_THROW(TTemplatePicture(folder.Path("n.qlt")), ETemplateFormatError) << text;
    }

    // Each number finite, a sum of them not.
    for (const char* object : {"<TqlxLineView Left=\"1E308\" Top=\"0\" Width=\"1E308\" Height=\"1\"/>",
                               "<TqlxMemoView Left=\"1\" Top=\"1E308\" Width=\"1\" Height=\"1E308\" Font.Height=\"-9\"/>",
                               "<TqlxLineView Left=\"-1E308\" Top=\"0\" Width=\"-1E308\" Height=\"1\"/>"}) {
        WriteFileBytes(folder.Path("f.qlt"), std::string("<?xml version=\"1.0\"?><TqlxReport><TqlxReportPage PaperWidth=\"1\" "
                                                         "PaperHeight=\"1\"><TqlxReportTitle Top=\"18,89765\">") +
                                                 object + "</TqlxReportTitle></TqlxReportPage></TqlxReport>");
        const TTemplatePicture picture(folder.Path("f.qlt"));
        EXPECT_EQ(picture.TextCount() + picture.LineCount(), 1) << object;
        EXPECT_EQ(picture.Svg().find("inf"), std::string::npos) << object;
        EXPECT_EQ(ParseSvg(picture.Svg())["rect"].size(), 1u) << object;  // the paper's
    }
}

}  // namespace
