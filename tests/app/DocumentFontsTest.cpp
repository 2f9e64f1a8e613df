#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunTestSupport.h"
#include "app/xpsmain.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"
#include "template/crtqlt.h"
#include "template/qlxGraphicUtils.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestTemplate.h"

// Text objects in the fonts the package embeds: families, styles and widths
// from the font parts, and the chosen family wherever a part fails.

namespace {

using TLines = std::vector<std::u16string>;

const std::string kFontFolder = "/usr/share/fonts/truetype/liberation2/";
constexpr char kGuid[] = "0F3C5A21-94B7-4D2E-8C61-3A9B7E5D1F42";
constexpr char kOtherGuid[] = "6E2B1C9D-0A4F-4B83-9E57-D2C8F1A03B6E";

std::string FontFile(const std::string& name) { return FileBytes(Utf8ToUtf16(kFontFolder + name)); }

// The font as a package obfuscates it under the GUID of its part name.
std::string Obfuscated(std::string font, const std::string& guid) {
    std::string digits;
    for (const char ch : guid)
        if (ch != '-') digits += ch;
    for (size_t i = 0; i < 32; ++i) font[i] ^= static_cast<char>(std::stoi(digits.substr(30 - 2 * (i % 16), 2), nullptr, 16));
    return font;
}

uint32_t Be32At(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

std::string Be32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// A TrueType collection of the fonts: each keeps its tables, their offsets
// moved to where the font lands in the collection.
std::string FontCollection(const std::vector<std::string>& fonts) {
    std::string header = "ttcf" + Be32(0x00010000) + Be32(static_cast<uint32_t>(fonts.size()));
    std::string body;
    const size_t start = 12 + 4 * fonts.size();
    for (std::string font : fonts) {
        const uint32_t offset = static_cast<uint32_t>(start + body.size());
        header += Be32(offset);
        const size_t tables = static_cast<uint8_t>(font[4]) << 8 | static_cast<uint8_t>(font[5]);
        for (size_t record = 12 + 8; record < 12 + 16 * tables; record += 16)
            font.replace(record, 4, Be32(Be32At(font, record) + offset));
        font.resize((font.size() + 3) / 4 * 4, '\0');
        body += font;
    }
    return header + body;
}

std::string TextRun(const std::string& fontUri, const std::string& text, const std::string& simulations = "") {
    std::string run = "<Glyphs OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"12\" UnicodeString=\"" + text + "\"";
    if (!fontUri.empty()) run += " FontUri=\"" + fontUri + "\"";
    if (!simulations.empty()) run += " StyleSimulations=\"" + simulations + "\"";
    return run + "/>";
}

// A text object as the template holds it.
struct TMemo {
    std::u16string Name;
    std::u16string Style;
    std::u16string Height;
    long double Width;
};

class DocumentFonts : public ::testing::Test {
protected:
    // Converts the parts as a package named name, with the fonts of the document unless told otherwise.
    TXpsRunOutcome Convert(const std::vector<TPart>& parts, const std::string& name, bool documentFonts = true,
                           bool nested = false) {
        return ConvertBytes(PackageBytes(parts), name, documentFonts, nested);
    }

    TXpsRunOutcome ConvertBytes(const std::string& bytes, const std::string& name, bool documentFonts = true,
                                bool nested = false) {
        WriteFileBytes(folder_.Path(name + ".xps"), bytes);
        TFileStream source(folder_.Path(name + ".xps"), fmOpenRead | fmShareExclusive);
        converter_.DocumentFonts = documentFonts;
        converter_.Nested = nested;
        return converter_.Convert(&source);
    }

    std::vector<TMemo> Memos(const std::string& templateName) const {
        TqlxXMLDocument document;
        document.LoadFromFile(folder_.Path(templateName));
        std::vector<TMemo> memos;
        ForEachChildNamed(TemplateBand(document), u"TqlxMemoView", [&](const TqlxXMLItem& memo, int32_t) {
            memos.push_back({memo.GetAttr(u"Font.Name"), memo.GetAttr(u"Font.Style"), memo.GetAttr(u"Font.Height"),
                             std::stold(Utf16ToUtf8(memo.GetAttr(u"Width")))});
        });
        return memos;
    }

    // The width of a text object of text in the installed family, as the template gives it.
    static long double InstalledWidth(const std::u16string& family, TFontStyles style, const std::string& text,
                                      int32_t height = -12) {
        TFont font;
        font.Name = family;
        font.Style = style;
        font.Height = height;
        font.Charset = 204;
        return MeasureTextWidth(text, font) + 2 * PixelsPerMillimetre;
    }

    TTempFolder folder_;
    TXpsLineLog log_;
    TFixedFontName chosen_{u"Liberation Mono"};
    TXpsConverter converter_{log_, chosen_};
};

TEST_F(DocumentFonts, ObfuscatedPartsNameTheirFamilyAndMeasureInIt) {
    const std::string regular = FontFile("LiberationSans-Regular.ttf");
    std::vector<TPart> parts = OneDocument({PageWith(
        TextRun("/Resources/" + std::string(kGuid) + ".odttf", "Invoice total") +
        TextRun("../../../Resources/" + std::string(kOtherGuid) + ".ODTTF", "Net amount") +
        "<Canvas RenderTransform=\"2,0,0,2,0,0\">" + TextRun("/Resources/" + std::string(kGuid) + ".odttf", "Scaled") +
        "</Canvas>")});
    parts.push_back({"Resources/" + std::string(kGuid) + ".odttf", Obfuscated(regular, kGuid)});
    parts.push_back({"Resources/" + std::string(kOtherGuid) + ".ODTTF", Obfuscated(regular, kOtherGuid)});

    const TXpsRunOutcome flat = Convert(parts, "flat");
    EXPECT_TRUE(flat.Complete());
    EXPECT_EQ(flat.FontPartsFallenBack, TLines{});
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"Zip archive close"}));
    const std::vector<TMemo> memos = Memos("flat_1_1.qlt");
    ASSERT_EQ(memos.size(), 2u);
    EXPECT_EQ(memos[0].Name, u"Liberation Sans");
    EXPECT_EQ(memos[0].Style, u"0");
    EXPECT_EQ(memos[0].Width, InstalledWidth(u"Liberation Sans", 0, "Invoice total"));
    EXPECT_EQ(memos[1].Name, u"Liberation Sans");
    EXPECT_EQ(memos[1].Width, InstalledWidth(u"Liberation Sans", 0, "Net amount"));
    EXPECT_NE(memos[1].Width, InstalledWidth(u"Liberation Mono", 0, "Net amount"));

    // The nested mode measures a run at the height its transforms give it.
    EXPECT_TRUE(Convert(parts, "nested", true, true).Complete());
    const std::vector<TMemo> nested = Memos("nested_1_1.qlt");
    ASSERT_EQ(nested.size(), 3u);
    EXPECT_EQ(nested[2].Name, u"Liberation Sans");
    EXPECT_EQ(nested[2].Height, u"-24");
    EXPECT_EQ(nested[2].Width, InstalledWidth(u"Liberation Sans", 0, "Scaled", -24));

    // Off, the package converts as if it embedded nothing.
    Convert(parts, "off", false);
    for (const TMemo& memo : Memos("off_1_1.qlt")) EXPECT_EQ(memo.Name, u"Liberation Mono");
}

// A simulation adds its style to the object, but the width stays the face's own.
TEST_F(DocumentFonts, BoldAndItalicComeFromTheFaceAndFromSimulations) {
    std::vector<TPart> parts = OneDocument({PageWith(
        TextRun("/Fonts/Regular.ttf", "Styled text", "None") + TextRun("/Fonts/Bold.ttf", "Styled text") +
        TextRun("/Fonts/Italic.ttf", "Styled text") + TextRun("/Fonts/Regular.ttf", "Styled text", "BoldSimulation") +
        TextRun("/Fonts/Regular.ttf", "Styled text", "ItalicSimulation") +
        TextRun("/Fonts/Regular.ttf", "Styled text", "BoldItalicSimulation") +
        TextRun("/Fonts/Bold.ttf", "Styled text", "ItalicSimulation") +
        TextRun("/Fonts/Italic.ttf", "Styled text", "boldsimulation"))});
    parts.push_back({"Fonts/Regular.ttf", FontFile("LiberationSans-Regular.ttf")});
    parts.push_back({"Fonts/Bold.ttf", FontFile("LiberationSans-Bold.ttf")});
    parts.push_back({"Fonts/Italic.ttf", FontFile("LiberationSans-Italic.ttf")});
    EXPECT_TRUE(Convert(parts, "styles").Complete());

    const std::vector<TMemo> memos = Memos("styles_1_1.qlt");
    ASSERT_EQ(memos.size(), 8u);
    const TLines styles = {u"0", u"1", u"2", u"1", u"2", u"3", u"3", u"2"};
    for (size_t i = 0; i < memos.size(); ++i) {
        EXPECT_EQ(memos[i].Name, u"Liberation Sans") << i;
        EXPECT_EQ(memos[i].Style, styles[i]) << i;
    }
    const long double regular = InstalledWidth(u"Liberation Sans", 0, "Styled text");
    EXPECT_EQ(memos[0].Width, regular);
    EXPECT_EQ(memos[1].Width, InstalledWidth(u"Liberation Sans", fsBold, "Styled text"));
    EXPECT_NE(memos[1].Width, regular);
    for (const size_t simulated : {3, 4, 5}) EXPECT_EQ(memos[simulated].Width, regular) << simulated;
}

TEST_F(DocumentFonts, AFragmentNamesTheFaceOfACollection) {
    std::vector<TPart> parts = OneDocument({PageWith(
        TextRun("/Fonts/pair.ttc", "Face") + TextRun("/Fonts/pair.ttc#1", "Face") + TextRun("/Fonts/pair.ttc#0", "Face") +
        TextRun("/Fonts/pair.ttc#2", "Face") + TextRun("/Fonts/pair.ttc#one", "Face"))});
    parts.push_back(
        {"Fonts/pair.ttc", FontCollection({FontFile("LiberationSans-Regular.ttf"), FontFile("LiberationSerif-Bold.ttf")})});
    const TXpsRunOutcome outcome = Convert(parts, "pair");
    EXPECT_TRUE(outcome.Complete());
    EXPECT_EQ(outcome.FontPartsFallenBack, TLines{u"Fonts/pair.ttc"});

    const std::vector<TMemo> memos = Memos("pair_1_1.qlt");
    ASSERT_EQ(memos.size(), 5u);
    EXPECT_EQ(memos[0].Name, u"Liberation Sans");
    EXPECT_EQ(memos[1].Name, u"Liberation Serif");
    EXPECT_EQ(memos[1].Style, u"1");
    EXPECT_EQ(memos[1].Width, InstalledWidth(u"Liberation Serif", fsBold, "Face"));
    EXPECT_EQ(memos[2].Name, u"Liberation Sans");
    EXPECT_EQ(memos[3].Name, u"Liberation Mono");
    EXPECT_EQ(memos[4].Name, u"Liberation Mono");
}

// Every way a font part can fail leaves its runs exactly as without the
// option, the log included; the outcome names each failed part once.
TEST_F(DocumentFonts, RunsWhoseFaceCannotBeHadKeepTheChosenFamily) {
    const std::string regular = FontFile("LiberationSans-Regular.ttf");
    const std::string failing = PageWith(
        TextRun("", "no reference") + TextRun("/Resources/Missing.ttf", "missing") + TextRun("/Resources/Damaged.ttf", "damaged") +
        TextRun("/Resources/NoGuid.odttf", "no key") + TextRun("/Resources/Junk.ttf", "junk") +
        TextRun("/Resources/" + std::string(kGuid) + ".odttf", "wrong key") + TextRun("/Resources/Missing.ttf", "again"));
    std::vector<TPart> parts = OneDocument({failing, PageWith(TextRun("/Resources/Damaged.ttf", "damaged") +
                                                              TextRun("/Resources/Fine.ttf", "fine"))});
    parts.push_back({"Resources/Damaged.ttf", regular});
    parts.push_back({"Resources/NoGuid.odttf", regular});
    parts.push_back({"Resources/Junk.ttf", std::string(4096, 'x')});
    parts.push_back({"Resources/" + std::string(kGuid) + ".odttf", Obfuscated(regular, kOtherGuid)});
    parts.push_back({"Resources/Fine.ttf", regular});
    TTestZipArchive archive = PackageArchive(parts);
    archive.Entries[kFirstPageEntry + 2].Crc = 0x12345678;
    const std::string bytes = TestZipBytes(archive);

    ConvertBytes(bytes, "default", false);
    const TLines defaultLog = log_.Lines;
    const TXpsRunOutcome outcome = ConvertBytes(bytes, "fonts");
    EXPECT_EQ(log_.Lines, defaultLog);
    EXPECT_EQ(outcome.FontPartsFallenBack,
              (TLines{u"Resources/Missing.ttf", u"Resources/Damaged.ttf", u"Resources/NoGuid.odttf",
                      u"Resources/Junk.ttf", u"Resources/" + Utf8ToUtf16(kGuid) + u".odttf"}));
    EXPECT_EQ(TemplateWithoutTimes(folder_.Path("fonts_1_1.qlt")), TemplateWithoutTimes(folder_.Path("default_1_1.qlt")));
    const std::vector<TMemo> second = Memos("fonts_1_2.qlt");
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].Name, u"Liberation Mono");
    EXPECT_EQ(second[1].Name, u"Liberation Sans");
}

// The run takes a font part out of the package once however many runs name
// its faces, a missing one too, and forgets them all when it ends.
TEST_F(DocumentFonts, AFontPartIsTakenOncePerRun) {
    std::string runs;
    for (int i = 0; i < 30; ++i)
        runs += TextRun("/Fonts/pair.ttc#0", "first") + TextRun("/Fonts/pair.ttc#1", "second") + TextRun("/Gone.ttf", "gone");
    std::vector<TPart> parts = OneDocument({PageWith(runs), PageWith(runs)});
    const std::string sans = FontFile("LiberationSans-Regular.ttf");
    const std::string serif = FontFile("LiberationSerif-Regular.ttf");
    parts.push_back({"Fonts/pair.ttc", FontCollection({sans, serif})});
    // The sequence, the document, two pages and two font parts.
    converter_.Limits.RunParts = 6;
    TXpsRunOutcome outcome = Convert(parts, "once");
    EXPECT_TRUE(outcome.Complete());
    EXPECT_EQ(outcome.FontPartsFallenBack, TLines{u"Gone.ttf"});
    const std::vector<TMemo> memos = Memos("once_1_2.qlt");
    ASSERT_EQ(memos.size(), 90u);
    EXPECT_EQ(memos[87].Name, u"Liberation Sans");
    EXPECT_EQ(memos[88].Name, u"Liberation Serif");

    parts.back().Content = FontCollection({serif, sans});
    outcome = Convert(parts, "again");
    EXPECT_TRUE(outcome.Complete());
    EXPECT_EQ(Memos("again_1_1.qlt")[0].Name, u"Liberation Serif");

    converter_.Limits.RunParts = 5;
    EXPECT_FALSE(Convert(parts, "tight").Complete());
}

// A package naming ever new font parts: the run stops remembering them, and
// their runs go on in the chosen family.
TEST_F(DocumentFonts, ARunRemembersABoundedNumberOfFaces) {
    std::string runs;
    for (int i = 0; i < 4200; ++i) runs += TextRun("/Fonts/" + std::to_string(i) + ".ttf", "x");
    const TXpsRunOutcome outcome = Convert(OneDocument({PageWith(runs)}), "many");
    EXPECT_TRUE(outcome.Complete());
    EXPECT_EQ(outcome.FontPartsFallenBack.size(), 4096u);
    EXPECT_EQ(Memos("many_1_1.qlt").back().Name, u"Liberation Mono");
}

// An office suite's package: four obfuscated faces of one family, runs in
// its regular, bold and italic faces, all inside canvases.
TEST_F(DocumentFonts, OfficePackageRunsNameTheirFamilyAndStyles) {
    const TXpsRunOutcome outcome =
        ConvertBytes(FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/tika__test_text.xps")), "text", true, true);
    EXPECT_TRUE(outcome.Complete());
    EXPECT_EQ(outcome.FontPartsFallenBack, TLines{});
    const TLines texts = TemplateTexts(folder_.Path("text_1_1.qlt"));
    const std::vector<TMemo> memos = Memos("text_1_1.qlt");
    ASSERT_EQ(memos.size(), 23u);
    for (size_t i = 0; i < memos.size(); ++i) {
        const std::u16string text = texts[i].substr(texts[i].find(u':') + 1);
        EXPECT_EQ(memos[i].Name, u"Aptos") << i;
        EXPECT_EQ(memos[i].Style, text == u"are in italics" ? u"2" : text == u"d bol" ? u"1" : u"0") << i;
    }
}

}  // namespace
