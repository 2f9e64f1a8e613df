#include <expat.h>
#include <gtest/gtest.h>

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
    std::string Name;
    std::map<std::string, std::string> Attributes;
    std::string Text;
};

// The picture's elements in document order, each with the text directly
// inside it, parsed by an XML parser of its own; none when the text is no
// well-formed XML.
std::vector<TSvgElement> ParseSvg(const std::string& svg) {
    struct TParse {
        std::vector<TSvgElement> Elements;
        std::vector<size_t> Open;
    } parse;
    const XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto& parse = *static_cast<TParse*>(data);
            parse.Open.push_back(parse.Elements.size());
            parse.Elements.push_back({name, {}, {}});
            for (size_t i = 0; attributes[i] != nullptr; i += 2)
                parse.Elements.back().Attributes[attributes[i]] = attributes[i + 1];
        },
        [](void* data, const XML_Char*) { static_cast<TParse*>(data)->Open.pop_back(); });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
        auto& parse = *static_cast<TParse*>(data);
        parse.Elements[parse.Open.back()].Text.append(text, static_cast<size_t>(length));
    });
    const bool parsed = XML_Parse(parser, svg.data(), static_cast<int>(svg.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed ? parse.Elements : std::vector<TSvgElement>();
}

std::vector<TSvgElement> ElementsNamed(const std::vector<TSvgElement>& elements, const std::string& name) {
    std::vector<TSvgElement> named;
    for (const TSvgElement& element : elements)
        if (element.Name == name) named.push_back(element);
    return named;
}

double Number(const TSvgElement& element, const std::string& name) { return std::stod(element.Attributes.at(name)); }

// The attribute's value, "" when it is missing.
std::string Attribute(const TSvgElement& element, const std::string& name) {
    const auto found = element.Attributes.find(name);
    return found == element.Attributes.end() ? std::string() : found->second;
}

constexpr double kBandTop = 18.89765;
constexpr double kMillimetre = 3.77953;

struct TTextRow {
    std::u16string Text;
    long double X, Y;
    int32_t Height;
    uint32_t Style;
    int32_t Color;
    std::string Weight, Slant, Fill;  // the expected attributes; "" for none
};

struct TLineRow {
    int32_t Color;
    long double X1, X2, Y1, Y2;
    std::string Stroke;
};

const TTextRow kTexts[] = {
    {u"Invoice 2024", 96, 120, -16, 0, 0, "", "", "#000000"},
    {u"a < b & \"c\" > d '", 10.5L, 0, -9, 1, 255, "bold", "", "#ff0000"},
    {u"clef \U0001D11E, \u00E9t\u00E9", 700, 1000.25L, -40, 2, 0x00FF8000, "", "italic", "#0080ff"},
    {u"", 5, 5, -8, 3, -16777216, "bold", "italic", "#000000"},
    {u"tab\there\nline", 1, 2, -12, 0, 0x01123456, "", "", "#563412"},
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
            font.Name = u"Liberation Sans";
            font.Height = row.Height;
            font.Style = row.Style;
            font.Color = row.Color;
            ASSERT_TRUE(doc.AddMemo(font, Utf16ToUtf8(row.Text), row.X, row.Y));
        }
        for (const TLineRow& row : kLines) ASSERT_TRUE(doc.AddLine(row.Color, row.X1, row.X2, row.Y1, row.Y2));
        doc.SaveTemplate();
        const TTemplatePicture picture(doc.FileName());
        FormatSettings() = saved;
        EXPECT_EQ(picture.TextCount(), 5);
        EXPECT_EQ(picture.LineCount(), 3);

        const std::vector<TSvgElement> svg = ParseSvg(picture.Svg());
        ASSERT_FALSE(svg.empty());
        EXPECT_EQ(svg[0].Attributes.at("viewBox"), "0 0 816 1056");
        EXPECT_NEAR(Number(svg[0], "width"), 215.9 / 25.4 * 96, 1e-3);
        const std::vector<TSvgElement> texts = ElementsNamed(svg, "text");
        const std::vector<TSvgElement> rects = ElementsNamed(svg, "rect");
        ASSERT_EQ(texts.size(), std::size(kTexts));
        ASSERT_EQ(rects.size(), std::size(kTexts) + 1);  // the paper first
        for (size_t i = 0; i < texts.size(); ++i) {
            const TTextRow& row = kTexts[i];
            const TSvgElement& text = texts[i];
            EXPECT_EQ(text.Text, Utf16ToUtf8(row.Text));
            EXPECT_NEAR(Number(rects[i + 1], "x"), row.X, 1e-6);
            EXPECT_NEAR(Number(rects[i + 1], "y"), kBandTop + row.Y, 1e-6);
            EXPECT_NEAR(Number(rects[i + 1], "height"), -row.Height + 2 * kMillimetre, 1e-6);
            EXPECT_NEAR(Number(text, "x"), row.X + kMillimetre, 1e-6);
            EXPECT_NEAR(Number(text, "y"), kBandTop + row.Y + kMillimetre - 0.9 * row.Height, 1e-6);
            EXPECT_EQ(Number(text, "font-size"), -row.Height);
            EXPECT_EQ(text.Attributes.at("font-family"), "Liberation Sans");
            EXPECT_EQ(Attribute(text, "font-weight"), row.Weight);
            EXPECT_EQ(Attribute(text, "font-style"), row.Slant);
            EXPECT_EQ(text.Attributes.at("fill"), row.Fill);
        }
        const std::vector<TSvgElement> lines = ElementsNamed(svg, "line");
        ASSERT_EQ(lines.size(), std::size(kLines));
        for (size_t i = 0; i < lines.size(); ++i) {
            const TLineRow& row = kLines[i];
            EXPECT_NEAR(Number(lines[i], "x1"), row.X1, 1e-6);
            EXPECT_NEAR(Number(lines[i], "y1"), kBandTop + 4 * kMillimetre + row.Y1, 1e-6);
            EXPECT_NEAR(Number(lines[i], "x2"), row.X2, 1e-6);
            EXPECT_NEAR(Number(lines[i], "y2"), kBandTop + 4 * kMillimetre + row.Y2, 1e-6);
            EXPECT_EQ(lines[i].Attributes.at("stroke"), row.Stroke);
        }
    }
}

// Objects that cannot be placed draw nothing but still count; a file that is
// no template draws no picture at all.
TEST(TemplatePicture, WhatCannotBePlacedDrawsNothing) {
    TTempFolder folder;
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?><TqlxReport><TqlxDataPage/>"
        "<TqlxReportPage PaperWidth=\"100\" PaperHeight=\"50,5\"><TqlxReportTitle Top=\"18,89765\">";
    WriteFileBytes(folder.Path("t.qlt"), head +
                                             "<TqlxMemoView/><TqlxLineView/><TqlxLineView Left=\"1\" Top=\"x\" Width=\"1\" "
                                             "Height=\"1\"/><TqlxMemoView Left=\"1\" Top=\"2\" Width=\"3\" Height=\"4\" "
                                             "Font.Height=\"-9\" Font.Name=\"O&#39;Brien \\ Co\" Text=\"&#1;x\"/>"
                                             "</TqlxReportTitle></TqlxReportPage></TqlxReport>");
    const TTemplatePicture picture(folder.Path("t.qlt"));
    EXPECT_EQ(picture.TextCount(), 2);
    EXPECT_EQ(picture.LineCount(), 2);
    const std::vector<TSvgElement> svg = ParseSvg(picture.Svg());
    EXPECT_EQ(ElementsNamed(svg, "line").size(), 0u);
    const std::vector<TSvgElement> texts = ElementsNamed(svg, "text");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].Text, "\uFFFDx");
    EXPECT_EQ(texts[0].Attributes.at("font-family"), "'O\\'Brien \\\\ Co'");
    EXPECT_EQ(svg[0].Attributes.at("viewBox"), "0 0 377.953 190.866265");

    picture.SaveToFile(folder.Path("t.svg"));
    EXPECT_EQ(folder.ReadFile("t.svg"), picture.Svg());
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"t.qlt", "t.svg"}));

    for (const char* text : {"<?xml version=\"1.0\"?><svg/>",
                             "<?xml version=\"1.0\"?><TqlxReport><TqlxReportPage PaperWidth=\"wide\" PaperHeight=\"1\">"
                             "<TqlxReportTitle Top=\"0\"/></TqlxReportPage></TqlxReport>"}) {
        WriteFileBytes(folder.Path("n.qlt"), text);
        EXPECT_THROW(TTemplatePicture(folder.Path("n.qlt")), ETemplateFormatError) << text;
    }
    EXPECT_EQ(PictureName(u"/a.b/Invoice_1_1.qlt"), u"/a.b/Invoice_1_1.svg");
    EXPECT_EQ(PictureName(u"/a.b/page"), u"/a.b/page.svg");
}

}  // namespace
