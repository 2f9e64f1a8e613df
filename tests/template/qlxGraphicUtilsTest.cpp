#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "template/qlxGraphicUtils.h"
#include "tests/support/TestErrors.h"

namespace {

std::vector<std::u16string> SplitLines(std::u16string_view text) {
    TqlxWideStrings list;
    list.Add(u"stale");
    list.SetText(text);
    std::vector<std::u16string> lines;
    for (int32_t i = 0; i < list.Count(); ++i) lines.push_back(list.Strings(i));
    return lines;
}

using Lines = std::vector<std::u16string>;

TEST(WideStrings, SplitterEndsLinesAtEachKindOfBreak) {
    EXPECT_EQ(SplitLines(u""), Lines{});
    EXPECT_EQ(SplitLines(u"a"), Lines{u"a"});
    EXPECT_EQ(SplitLines(u"a\r\nb"), (Lines{u"a", u"b"}));
    EXPECT_EQ(SplitLines(u"a\rb\nc\u2028d"), (Lines{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(SplitLines(u"a\r\u2028b"), (Lines{u"a", u"b"}));
    EXPECT_EQ(SplitLines(u"a\n\u2028b"), (Lines{u"a", u"b"}));
    EXPECT_EQ(SplitLines(u"a\r\n\u2028b"), (Lines{u"a", u"b"}));
    EXPECT_EQ(SplitLines(u"a\n\rb"), (Lines{u"a", u"", u"b"}));
    EXPECT_EQ(SplitLines(u"a\r\rb"), (Lines{u"a", u"", u"b"}));
    EXPECT_EQ(SplitLines(u"a\n\nb"), (Lines{u"a", u"", u"b"}));
    EXPECT_EQ(SplitLines(u"a\r\n"), Lines{u"a"});
    EXPECT_EQ(SplitLines(u"\r\n"), Lines{u""});
    EXPECT_EQ(SplitLines(u"\n\n"), (Lines{u"", u""}));
    EXPECT_EQ(SplitLines(std::u16string_view(u"ab\0c\nd", 6)), Lines{u"ab"});
    EXPECT_EQ(SplitLines(std::u16string_view(u"\0c", 2)), Lines{});
}

TEST(WideStrings, TagsOutsideTheListReadZeroAndIgnoreWrites) {
    TqlxWideStrings list;
    list.Add(u"x", 5);
    list.SetTag(1, 7);
    list.SetTag(-1, 7);
    EXPECT_EQ(list.Tags(0), 5);
    EXPECT_EQ(list.Tags(1), 0);
    EXPECT_EQ(list.Tags(-1), 0);
    EXPECT_THROW(list.Strings(1), EListError);
}

// The family of the first face that fontconfig offers for a regular upright
// request of family in Russian (the tests' character set) that covers ch;
// empty when no face does.
std::u16string FallbackFamily(const char* family, char32_t ch) {
    const std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config(FcInitLoadConfigAndFonts(), FcConfigDestroy);
    const std::string request = std::string(family) + ":lang=ru:weight=regular:slant=roman:scalable=true";
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(
        FcNameParse(reinterpret_cast<const FcChar8*>(request.c_str())), FcPatternDestroy);
    FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result;
    const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> sorted(
        FcFontSort(config.get(), pattern.get(), FcTrue, nullptr, &result), FcFontSetDestroy);
    for (int i = 0; sorted && i < sorted->nfont; ++i) {
        FcCharSet* coverage = nullptr;
        FcChar8* name = nullptr;
        if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &coverage) == FcResultMatch &&
            FcCharSetHasChar(coverage, ch) && FcPatternGetString(sorted->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch)
            return Utf8ToUtf16(reinterpret_cast<const char*>(name));
    }
    return {};
}

// Holds the shared engine for one test, as every user does.
class DrawText : public ::testing::Test {
protected:
    void SetUp() override { engine.LockShared(); }
    void TearDown() override { engine.UnlockShared(); }

    static TFont FontOf(const char16_t* name, int32_t height, TFontStyles style = 0) {
        TFont font;
        font.Name = name;
        font.Height = height;
        font.Style = style;
        font.Charset = 204;
        return font;
    }

    // The widest line of text, laid out the way MeasureTextWidth does it, unrounded.
    long double Widest(std::u16string_view text, const TFont& font, long double charSpacing = 0,
                       long double paragraphGap = 0) {
        TqlxWideStrings input;
        input.SetText(text);
        engine.ApplyFont(font);
        engine.ApplyOptions(false, false, false, false, false, false, 0);
        engine.ApplySpacing(paragraphGap, charSpacing, 2);
        engine.LoadLines(input);
        return engine.MeasureWidestLine();
    }

    TqlxDrawText& engine = SharedDrawText();
};

TEST_F(DrawText, ApplyFontRealisesWholePointsAtTheLayoutResolution) {
    for (const auto& [height, layoutHeight] :
         {std::pair{-13, -83}, {-14, -92}, {-16, -100}, {-12, -75}, {0, 0}, {16, 100}}) {
        engine.ApplyFont(FontOf(u"Arial", height, fsBold));
        EXPECT_EQ(engine.SurfaceFont().Height, layoutHeight) << height;
    }
    TFont font = FontOf(u"Liberation Serif", -16, fsItalic);
    font.PixelsPerInch = 120;
    font.Color = 255;
    engine.ApplyFont(font);
    EXPECT_EQ(engine.SurfaceFont().Height, -83);
    EXPECT_EQ(engine.SurfaceFont().Name, u"Liberation Serif");
    EXPECT_EQ(engine.SurfaceFont().Style, fsItalic);
    EXPECT_EQ(engine.SurfaceFont().Charset, 204);
    EXPECT_EQ(engine.SurfaceFont().Color, 255);
}

TEST_F(DrawText, OptionsKeepTheRotationModulo360WithItsSign) {
    engine.ApplyOptions(true, true, true, true, true, true, 450);
    EXPECT_EQ(engine.Options().Rotation, 90);
    EXPECT_TRUE(engine.Options().WordWrap);
    engine.ApplyOptions(false, false, false, false, false, false, -725);
    EXPECT_EQ(engine.Options().Rotation, -5);
    EXPECT_FALSE(engine.Options().AllowHTMLTags);
}

TEST_F(DrawText, LoadLinesMakesEveryLineAParagraphAndEmptyLinesSpaces) {
    TqlxWideStrings input;
    input.SetText(u"one\n\ntwo");
    engine.LoadLines(input);
    ASSERT_EQ(engine.Lines().Count(), 3);
    EXPECT_EQ(engine.Lines().Strings(1), u" ");
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(engine.Lines().Tags(i), kFirstLineOfParagraph | kLastLineOfParagraph);
    engine.LoadLines(TqlxWideStrings());
    EXPECT_EQ(engine.Lines().Count(), 0);
    EXPECT_EQ(engine.MeasureWidestLine(), 0);
}

// Advance widths of Liberation Sans 2.1.5 Regular (the face fontconfig gives
// for "Arial"), in font units of 2048 per em, read from its hmtx table.
const std::map<char16_t, int> kLiberationSansAdvances = {
    {u' ', 569}, {u'T', 1251}, {u'h', 1139}, {u'e', 1139}, {u'q', 1139}, {u'u', 1139}, {u'i', 455},
    {u'c', 1024}, {u'k', 1024}, {u'b', 1139}, {u'r', 682}, {u'o', 1139}, {u'w', 1479}, {u'n', 1139},
    {u'f', 569}, {u'x', 1024}, {u'j', 455}, {u'm', 1706}, {u'p', 1139}, {u's', 1024}, {u'v', 1024},
    {u't', 569}, {u'l', 455}, {u'a', 1139}, {u'z', 1024}, {u'y', 1024}, {u'd', 1139}, {u'g', 1139},
    {u'H', 1479}, {u'W', 1933}};

// The width at 96 per inch of a text whose glyphs are the table's, each rounded to whole pixels at emPixels.
long double TableWidth(std::u16string_view text, int emPixels) {
    long double pixels = 0;
    for (const char16_t ch : text) pixels += std::floor(kLiberationSansAdvances.at(ch) * emPixels / 2048.0L + 0.5L);
    return std::nearbyint(pixels / 6.25L);
}

TEST_F(DrawText, ArialMeasuresWithTheAdvanceTableOfLiberationSans) {
    EXPECT_EQ(MeasureTextWidth("Hello", FontOf(u"Arial", -13)), 30);
    const std::u16string pangram = u"The quick brown fox jumps over the lazy dog";
    for (const auto& [height, em] : {std::pair{-13, 83}, {-16, 100}, {-12, 75}, {-21, 133}}) {
        EXPECT_EQ(MeasureTextWidth(Utf16ToUtf8(pangram), FontOf(u"Arial", height)), TableWidth(pangram, em)) << height;
        EXPECT_EQ(MeasureTextWidth("WWW", FontOf(u"Arial", height)), TableWidth(u"WWW", em)) << height;
        EXPECT_EQ(MeasureTextWidth(Utf16ToUtf8(pangram), FontOf(u"Liberation Sans", height)),
                  MeasureTextWidth(Utf16ToUtf8(pangram), FontOf(u"Arial", height)));
    }
    const std::u16string beyond16Bits(8000, u'W');  // 99840 pixels
    EXPECT_EQ(MeasureTextWidth(beyond16Bits, FontOf(u"Arial", -13)), TableWidth(beyond16Bits, 83));
}

TEST_F(DrawText, WidestLineDecidesAndBreaksDoNotCount) {
    const TFont arial = FontOf(u"Arial", -13);
    EXPECT_EQ(MeasureTextWidth("", arial), 0);
    const long double wide = MeasureTextWidth("The quick brown fox", arial);
    for (const char* text : {"ab\r\nThe quick brown fox\rx", "The quick brown fox\n", "x\nThe quick brown fox\r\n",
                             "a\xE2\x80\xA8The quick brown fox"})
        EXPECT_EQ(MeasureTextWidth(text, arial), wide) << text;
    EXPECT_EQ(Widest(u"\r\n", arial), Widest(u" ", arial));
    EXPECT_GT(Widest(u" ", arial), 0);
    EXPECT_EQ(Widest(u"Hello", arial), 188 / 6.25L);
}

TEST_F(DrawText, SpacingWidensInLayoutPixels) {
    const TFont arial = FontOf(u"Arial", -13);
    EXPECT_EQ(Widest(u"Hello", arial, 1), (188 + 31) / 6.25L);
    EXPECT_EQ(Widest(u"Hello", arial, 0, 2), (188 + 12) / 6.25L);
    EXPECT_EQ(Widest(u"Hello", arial, 0.5L), (188 + 16) / 6.25L);
}

TEST_F(DrawText, StyleAndHeightSelectTheRealisedFont) {
    const long double regular = Widest(u"Hello", FontOf(u"Arial", -16));
    EXPECT_GT(Widest(u"Hello", FontOf(u"Arial", -16, fsBold)), regular);
    EXPECT_LT(Widest(u"Hello", FontOf(u"Arial", 16)), regular);
    EXPECT_EQ(Widest(u"Hello", FontOf(u"Arial", -16)), regular);
    EXPECT_GT(Widest(u"Hello", FontOf(u"Arial", 0)), 0);
}

TEST_F(DrawText, MissingCharactersFallBackThenUseTheMissingGlyph) {
    const TFont arial = FontOf(u"Arial", -16);
    const long double missing = Widest(u"\uE000", arial);
    EXPECT_EQ(missing, 75 / 6.25L);  // the .notdef advance of 1536 units at 100 pixels per em
    EXPECT_EQ(Widest(u"\U0010FFFD", arial), missing);
    EXPECT_EQ(Widest(u"\xD800", arial), missing);
    EXPECT_EQ(Widest(u"\U0010FFFD\U0010FFFD", arial), 2 * 75 / 6.25L);
    // Liberation Sans has neither; which face has them depends on the fonts installed.
    for (const auto& [ch, text] : {std::pair<char32_t, std::u16string_view>{U'\u2200', u"\u2200"},
                                   {U'\U0001F600', u"\U0001F600"}}) {
        const std::u16string fallback = FallbackFamily("Arial", ch);
        ASSERT_FALSE(fallback.empty()) << "scripts/setup-deps.sh installs fonts-dejavu-core, which has U+" << std::hex
                                       << uint32_t(ch);
        EXPECT_NE(fallback, u"Liberation Sans");
        EXPECT_EQ(Widest(text, arial), Widest(text, FontOf(fallback.c_str(), -16))) << Utf16ToUtf8(fallback);
        EXPECT_NE(Widest(text, arial), missing);
    }
}

// Beyond the 16 bits of pixels per em a face takes, widths are scaled in proportion to the size.
TEST_F(DrawText, SizesBeyondWhatAFaceTakesMeasureInProportion) {
    const long double perLayoutPixel = Widest(u"Hello", FontOf(u"Arial", -10485)) / 65533;
    for (const auto& [height, layoutPixels] : {std::pair{-10486, 65542.0L}, {-20000, 125000.0L}, {-2000000000, 1.25e10L}})
        EXPECT_NEAR(Widest(u"Hello", FontOf(u"Arial", height)) / layoutPixels / perLayoutPixel, 1, 1e-3) << height;
}

TEST_F(DrawText, SharedLockIsReentrantAndKeepsOtherThreadsOut) {
    engine.LockShared();
    EXPECT_EQ(MeasureTextWidth("Hello", FontOf(u"Arial", -13)), 30);
    const auto otherThreadGetsIn = [] {
        return std::async(std::launch::async, [] {
                   const bool entered = SharedDrawTextLock().try_lock();
                   if (entered) SharedDrawTextLock().unlock();
                   return entered;
               }).get();
    };
    EXPECT_FALSE(otherThreadGetsIn());
    engine.UnlockShared();
    EXPECT_FALSE(otherThreadGetsIn());
}

// Text that changes its size from one run to the next, through more sizes
// than are kept: each size measures as if it were the only one, including
// the characters measured in a fallback face and the missing glyph.
TEST(MeasuringSurface, ManySizesOfOneFaceMeasureAsEachAlone) {
    const std::vector<std::pair<std::u16string, int>> passes = {
        {u"Hello", 30}, {u"World\u2200", 30}, {u"Zebra\uE000\u2203", 70}};
    const auto height = [](int i) { return -20 - 7 * i; };
    TqlxMeasuringSurface mixed;
    for (const auto& [text, heights] : passes) {
        TqlxMeasuringSurface alone;
        for (int i = 0; i < heights; ++i) {
            alone.AssignFont(u"Arial", height(i), 0, 204, 0);
            mixed.AssignFont(u"Arial", height(i), 0, 204, 0);
            const int64_t expected = alone.TextExtent(text);
            EXPECT_EQ(mixed.TextExtent(text), expected) << height(i);
        }
    }
    // A fallback face is measured at the size asked for too.
    mixed.AssignFont(u"Arial", height(0), 0, 204, 0);
    const int64_t small = mixed.TextExtent(u"\u2200");
    mixed.AssignFont(u"Arial", height(29), 0, 204, 0);
    EXPECT_GT(small, 0);
    EXPECT_GT(mixed.TextExtent(u"\u2200"), small);
}

// The engine keeps the bytes of a face from memory while it keeps the face,
// and no longer than its cache of faces does.
TEST_F(DrawText, FacesFromMemoryAreKeptNoLongerThanTheCache) {
    std::ifstream file("/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf", std::ios::binary);
    TFont font = FontOf(u"Liberation Sans", -16);
    font.FaceData = std::make_shared<const std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    const std::weak_ptr<const std::string> bytes = font.FaceData;
    EXPECT_EQ(MeasureTextWidth("Hello", font), MeasureTextWidth("Hello", FontOf(u"Liberation Serif", -16)));
    font.FaceData.reset();
    EXPECT_FALSE(bytes.expired());
    // As many other faces as the engine keeps open (128).
    for (int i = 0; i < 128; ++i) MeasureTextWidth("Hello", FontOf(Utf8ToUtf16("Family " + std::to_string(i)).c_str(), -16));
    EXPECT_TRUE(bytes.expired());
    // Fewer faces of more bytes: it keeps no more than 64 MB of them.
    const std::string serif(std::istreambuf_iterator<char>(file.seekg(0)), {});
    font.FaceData = std::make_shared<const std::string>(serif + std::string(33 << 20, '\0'));
    const std::weak_ptr<const std::string> large = font.FaceData;
    MeasureTextWidth("Hello", font);
    font.FaceData = std::make_shared<const std::string>(*font.FaceData);
    MeasureTextWidth("Hello", font);
    EXPECT_TRUE(large.expired());
}

TEST(MeasureTextWidth, ReleasesTheSharedLockWhenTheFontFails) {
    TFont unopenable;
    unopenable.Name = u"Arial";
    unopenable.FaceData = std::make_shared<const std::string>("no font");
    EXPECT_EQ(ErrorRaisedBy([&] { MeasureTextWidth("Hello", unopenable); }).ClassName, u"EFontError");
    const bool entered = std::async(std::launch::async, [] {
                             const bool got = SharedDrawTextLock().try_lock();
                             if (got) SharedDrawTextLock().unlock();
                             return got;
                         }).get();
    EXPECT_TRUE(entered);
}

}  // namespace
