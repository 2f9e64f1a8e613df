#include <gtest/gtest.h>

#include "convert/XpsValues.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "tests/support/TestErrors.h"

namespace {

template <typename Call>
std::u16string ConvertErrorOf(Call call) {
    return ErrorRaisedBy<EConvertError>(call).Message;
}

TEST(XpsNumber, ReadsTheGrammarWithAPointWhateverTheLocale) {
    const struct {
        const char16_t* text;
        long double value;
    } numbers[] = {
        {u"96", 96},   {u" 96.5 ", 96.5}, {u"+1.25", 1.25}, {u"-0.5", -0.5}, {u".5", 0.5},
        {u"5.", 5},    {u".", 0},         {u"1E3", 1000},   {u"2.5e-1", 0.25}, {u"1e+2", 100},
        {u"-.e5", 0},  {u"007", 7},       {u"1e400", 1e400L},  {u"0.00000000000000000000000000000000000001e30", 1e-8L},
    };
    for (const auto& n : numbers) EXPECT_EQ(XpsStrToFloat(n.text), n.value) << Utf16ToUtf8(n.text);
    // 793.76 must arrive as the nearest extended value, not a double's.
    EXPECT_EQ(XpsStrToFloat(u"793.76"), 793.76L);
}

TEST(XpsNumber, RefusesEverythingElseWithTheConversionMessage) {
    for (const char16_t* text : {u"", u" ", u"96,5", u"1,000", u"e5", u"1e", u"1e+", u"--1", u"1 2", u"0x10",
                                 u"\u00A096", u"\t96", u"1.2.3", u"nan", u"inf", u"1e99999"}) {
        std::u16string expected = u"'";
        expected.append(text).append(u"' is not a valid floating point value");
        EXPECT_EQ(ConvertErrorOf([&] { XpsStrToFloat(text); }), expected) << Utf16ToUtf8(text);
    }
    // A long text is quoted by its start, which never ends inside a surrogate pair.
    const std::u16string digits(99, u'9');
    EXPECT_EQ(ConvertErrorOf([&] { XpsStrToFloat(digits + u"\U0001D434" + digits); }),
              u"'" + digits + u"...' is not a valid floating point value");
    EXPECT_EQ(ConvertErrorOf([&] { XpsStrToFloat(digits + u"x"); }), u"'" + digits + u"x' is not a valid floating point value");
}

TEST(XpsColor, ConvertsArgbToTheTemplateColourWithAlphaPlusOne) {
    EXPECT_EQ(XpsColorToColor(u"#FF000000"), 0);
    EXPECT_EQ(XpsColorToColor(u"#FFFFFFFF"), 16777215);
    EXPECT_EQ(XpsColorToColor(u"#FFFF0000"), 255);
    EXPECT_EQ(XpsColorToColor(u"#FF00FF00"), 65280);
    EXPECT_EQ(XpsColorToColor(u"#ff0000ff"), 0xFF0000);
    EXPECT_EQ(XpsColorToColor(u"#80FF0000"), -2130706177);
    EXPECT_EQ(XpsColorToColor(u"#00000000"), 16777216);
    EXPECT_EQ(XpsColorToColor(u"#FF00FF00trailing"), 65280);
    for (const char16_t* none : {u"", u"#", u"#F", u" #FF000000", u"sc#1,0,0,0", u"{StaticResource b}", u"#FF00",
                                 u"#1234567", u"#FFFFFF "})
        EXPECT_EQ(XpsColorToColor(none), -16777216) << Utf16ToUtf8(none);
}

TEST(XpsColor, ReadsTheSixDigitFormAsOpaqueAndChecksItsDigits) {
    EXPECT_EQ(XpsColorToColor(u"#FF0000"), 255);
    EXPECT_EQ(XpsColorToColor(u"#FFFFFF"), 16777215);
    EXPECT_EQ(XpsColorToColor(u"#0000FF"), 0xFF0000);
    EXPECT_EQ(ConvertErrorOf([] { XpsColorToColor(u"#GG0000"); }), u"''$FF0000GG'' is not a valid integer value");
    EXPECT_EQ(ConvertErrorOf([] { XpsColorToColor(u"#FF00GG00"); }), u"''$FF00GG00'' is not a valid integer value");
    EXPECT_EQ(ConvertErrorOf([] { XpsColorToColor(u"#FF 0 0 0"); }), u"''$FF 0 0 0'' is not a valid integer value");
}

// scRGB values are linear: red, green and blue go through the sRGB curve, alpha does not.
TEST(XpsColor, TheNestedModeReadsScRgbTooAndNoOtherSyntax) {
    const struct {
        const char16_t* text;
        int32_t color;
    } colors[] = {
        {u"sc#1,0.5,0,0", 188},          {u"sc#0.5,1,0.5,0", -2130658049}, {u"sc#0.001,0,0.0031308", 655363},
        {u"sc#2,-1,0.5", 12321023},      {u"sc# 1 , 0 , 0 , 1", 16711680}, {u"sc#0,0,0,0", 16777216},
        {u"#FF0000FF", 16711680},        {u"sc#1,0", kNoXpsColor},         {u"sc#1,0,0,0,0", kNoXpsColor},
        {u"SC#1,0,0", kNoXpsColor},      {u"ContextColor /c.icc 1,0,0,0", kNoXpsColor},
    };
    for (const auto& c : colors) EXPECT_EQ(ReadXpsColor(c.text), c.color) << Utf16ToUtf8(c.text);
    EXPECT_EQ(ConvertErrorOf([] { ReadXpsColor(u"sc#1,x,0"); }), u"'x' is not a valid floating point value");
}

TEST(PartNames, AbsoluteSourcesLoseTheirSlashOnly) {
    EXPECT_EQ(PartNameFromSource(u"/Documents/1/FixedDocument.fdoc", u"FixedDocumentSequence.fdseq"),
              u"Documents/1/FixedDocument.fdoc");
    EXPECT_EQ(PartNameFromSource(u"/a%20b/../c.png#frag", u"x/y.fpage"), u"a%20b/../c.png#frag");
    EXPECT_EQ(PartNameFromSource(u"&#47;R/a.png", u"x/y.fpage"), u"R/a.png");
}

TEST(PartNames, RelativeSourcesResolveAgainstTheReferringFolder) {
    EXPECT_EQ(PartNameFromSource(u"Pages/1.fpage", u"Documents/1/FixedDocument.fdoc"), u"Documents/1/Pages/1.fpage");
    EXPECT_EQ(PartNameFromSource(u"../Resources/a.png", u"Documents/1/Pages/1.fpage"), u"Documents/1/Resources/a.png");
    EXPECT_EQ(PartNameFromSource(u"./a/./b", u"d/p"), u"d/a/b");
    EXPECT_EQ(PartNameFromSource(u"../../../x", u"d/p"), u"x");
    EXPECT_EQ(PartNameFromSource(u"Documents/1.fdoc", u"FixedDocumentSequence.fdseq"), u"Documents/1.fdoc");
    EXPECT_EQ(PartNameFromSource(u"", u"d/p"), u"d/");
    EXPECT_EQ(ConvertErrorOf([] { PartNameFromSource(u"&#zz;", u"d/p"); }), u"''zz'' is not a valid integer value");
}

TEST(EmSize, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(RoundEmSize(10.5L), 10);
    EXPECT_EQ(RoundEmSize(11.5L), 12);
    EXPECT_EQ(RoundEmSize(12.5L), 12);
    EXPECT_EQ(RoundEmSize(13.5L), 14);
    EXPECT_EQ(RoundEmSize(12.51L), 13);
    EXPECT_EQ(RoundEmSize(-2.5L), -2);
    EXPECT_EQ(RoundEmSize(-2147483647.0L), -2147483647);
    EXPECT_THROW(RoundEmSize(1e30L), EInvalidOp);
    EXPECT_THROW(RoundEmSize(-2147483648.0L), EInvalidOp);
}

TEST(ErrorBox, AddsAFullStopAfterCharactersCodedAboveIt) {
    EXPECT_EQ(ErrorBoxText(u"Invalid file format"), u"Invalid file format.");
    EXPECT_EQ(ErrorBoxText(u"Native error: 00015"), u"Native error: 00015.");
    EXPECT_EQ(ErrorBoxText(u"Invalid archive file."), u"Invalid archive file.");
    EXPECT_EQ(ErrorBoxText(u"path/"), u"path/.");
    EXPECT_EQ(ErrorBoxText(u"value ''x''"), u"value ''x''");
    EXPECT_EQ(ErrorBoxText(u"stop!"), u"stop!");
    EXPECT_EQ(ErrorBoxText(u"a-"), u"a-");
    EXPECT_EQ(ErrorBoxText(u"(3)"), u"(3)");
    EXPECT_EQ(ErrorBoxText(u""), u"");
    EXPECT_EQ(ErrorBoxText(u"\u00FC"), u"\u00FC.");
}

}  // namespace
