#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support/RunTestSupport.h"
#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/NumberFormat.h"
#include "platform/Streams.h"
#include "template/crtqlt.h"
#include "template/qlxGraphicUtils.h"
#include "tests/support/TestTempFolder.h"
#include "tests/support/TestTemplate.h"

// Text objects in the fonts the package embeds, and in the chosen family
// wherever a font part fails.

namespace {

using TLines = std::vector<std::u16string>;

const std::string kGuid = "0F3C5A21-94B7-4D2E-8C61-3A9B7E5D1F42";
using TKey = std::array<uint8_t, 16>;
// The key a reader takes from kGuid, written out by hand: the GUID's last
// pair of digits first.
constexpr TKey kGuidKey = {0x42, 0x1F, 0x5D, 0x7E, 0x9B, 0x3A, 0x61, 0x8C, 0x2E, 0x4D, 0xB7, 0x94, 0x21, 0x5A, 0x3C, 0x0F};
constexpr TKey kOtherKey = {0x6E, 0x3B, 0xA0, 0xF1, 0xC8, 0xD2, 0x57, 0x9E, 0x83, 0x4B, 0x4F, 0x0A, 0x9D, 0x1C, 0x2B, 0x6E};

std::string FontFile(const std::string& name) {
    return FileBytes(Utf8ToUtf16("/usr/share/fonts/truetype/liberation2/LiberationS" + name + ".ttf"));
}

// The font as a package obfuscates it: its first 32 bytes XORed with the key.
std::string Obfuscated(std::string font, const TKey& key) {
    for (size_t i = 0; i < 32; ++i) font[i] ^= static_cast<char>(key[i % key.size()]);
    return font;
}

std::string Be32(size_t value) { return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)}; }

// A TrueType collection of two fonts, their table offsets moved to where each lands.
std::string FontCollection(const std::string& first, const std::string& second) {
    std::string header = "ttcf" + Be32(0x00010000) + Be32(2), body;
    for (std::string font : {first, second}) {
        const size_t offset = 20 + body.size();
        header += Be32(offset);
        const size_t tables = uint8_t(font[4]) << 8 | uint8_t(font[5]);
        for (size_t field = 20; field < 12 + 16 * tables; field += 16) {
            size_t at = 0;
            for (size_t i = 0; i < 4; ++i) at = at << 8 | uint8_t(font[field + i]);
            font.replace(field, 4, Be32(at + offset));
        }
        body += font + std::string((4 - font.size() % 4) % 4, '\0');
    }
    return header + body;
}

// The font with its outlines overwritten: FreeType opens it, but loads no glyph.
std::string WithoutOutlines(std::string font) {
    const auto field = [&](size_t at) {
        return size_t(uint8_t(font[at])) << 24 | uint8_t(font[at + 1]) << 16 | uint8_t(font[at + 2]) << 8 | uint8_t(font[at + 3]);
    };
    const size_t record = font.find("glyf", 12);  // in the table directory: tag, checksum, offset, length
    return font.replace(field(record + 8), field(record + 12), field(record + 12), '\xFF');
}

std::string TextRun(const std::string& fontUri, const std::string& text, const std::string& simulations = "") {
    return "<Glyphs OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"12\" UnicodeString=\"" + text + "\" FontUri=\"" +
           fontUri + "\" StyleSimulations=\"" + simulations + "\"/>";
}

// What a text object of text gets in the installed Liberation Sans.
std::u16string InstalledWidth(const std::string& text, TFontStyles style = 0) {
    TFont font;
    font.Name = u"Liberation Sans";
    font.Charset = 204;
    font.Height = -12;
    font.Style = style;
    return FloatToStr(MeasureTextWidth(text, font) + 2 * PixelsPerMillimetre);
}

class DocumentFonts : public ::testing::Test {
protected:
    TXpsRunOutcome Convert(const std::string& bytes, const std::string& name, bool documentFonts = true,
                           bool nested = false) {
        WriteFileBytes(folder_.Path(name + ".xps"), bytes);
        TFileStream source(folder_.Path(name + ".xps"), fmOpenRead | fmShareExclusive);
        converter_.DocumentFonts = documentFonts;
        converter_.Nested = nested;
        return converter_.Convert(&source);
    }

    // The attribute of every text object of the template, in order.
    TLines Memos(const std::string& templateName, std::u16string_view attribute) const {
        TqlxXMLDocument document;
        LoadTemplate(document, folder_.Path(templateName));
        TLines values;
        ForEachChildNamed(TemplateBand(document), u"TqlxMemoView",
                          [&](const TqlxXMLItem& memo, int32_t) { values.push_back(memo.GetAttr(attribute)); });
        return values;
    }

    TTempFolder folder_;
    TXpsLineLog log_;
    TFixedFontName chosen_{u"Liberation Mono"};
    TXpsConverter converter_{log_, chosen_};
};

TEST_F(DocumentFonts, ObfuscatedPartsNameTheirFamilyAndMeasureInIt) {
    const std::string part = "Resources/" + kGuid + ".ODTTF";
    std::vector<TPart> parts =
        OneDocument({PageWith(TextRun("/" + part, "Invoice total") + TextRun("../../../" + part, "Net"))});
    parts.push_back({part, Obfuscated(FontFile("ans-Regular"), kGuidKey)});
    EXPECT_EQ(Convert(PackageBytes(parts), "flat").FontPartsFallenBack, TLines{});
    EXPECT_EQ(Memos("flat_1_1.qlt", u"Font.Name"), TLines(2, u"Liberation Sans"));
    EXPECT_EQ(Memos("flat_1_1.qlt", u"Width"), (TLines{InstalledWidth("Invoice total"), InstalledWidth("Net")}));
}

// A simulation adds its style to the object, but the width stays the face's own.
TEST_F(DocumentFonts, BoldAndItalicComeFromTheFaceAndFromSimulations) {
    const std::vector<std::pair<std::string, std::string>> runs = {
        {"Regular", "None"}, {"Bold", ""}, {"Italic", ""}, {"Regular", "BoldSimulation"},
        {"Regular", "BoldItalicSimulation"}, {"Bold", "ItalicSimulation"}, {"Italic", "bold"}};
    std::string page;
    for (const auto& [face, simulations] : runs) page += TextRun("/" + face + ".ttf", "Styled", simulations);
    std::vector<TPart> parts = OneDocument({PageWith(page)});
    for (const std::string face : {"Regular", "Bold", "Italic"}) parts.push_back({face + ".ttf", FontFile("ans-" + face)});
    EXPECT_TRUE(Convert(PackageBytes(parts), "styles").Complete());
    EXPECT_EQ(Memos("styles_1_1.qlt", u"Font.Style"), (TLines{u"0", u"1", u"2", u"1", u"3", u"3", u"2"}));
    const TLines widths = Memos("styles_1_1.qlt", u"Width");
    EXPECT_EQ(widths[1], InstalledWidth("Styled", fsBold));
    EXPECT_NE(widths[1], widths[0]);
    EXPECT_EQ(widths[4], widths[0]);
}

// Every way a font part can fail leaves its runs exactly as without the
// option, the log included; the outcome names each failed part once.
TEST_F(DocumentFonts, RunsWhoseFaceCannotBeHadKeepTheChosenFamily) {
    const std::string regular = FontFile("ans-Regular");
    std::vector<TPart> parts = OneDocument(
        {PageWith("<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"9\" UnicodeString=\"no reference\"/>" +
                  TextRun("/Missing.ttf", "missing") + TextRun("/Damaged.ttf", "damaged") + TextRun("/a.odttf", "no key") +
                  TextRun("/Junk.ttf", "junk") + TextRun("/" + kGuid + ".odttf", "wrong key") +
                  TextRun("/Fine.ttf#1", "no such face") + TextRun("/Missing.ttf#1", "again") +
                  TextRun("/Broken.ttf", "no outlines")),
         PageWith(TextRun("/Damaged.ttf", "damaged") + TextRun("/Fine.ttf", "fine"))});
    for (const char* name : {"Damaged.ttf", "a.odttf", "Fine.ttf"}) parts.push_back({name, regular});
    parts.push_back({"Junk.ttf", std::string(4096, 'x')});
    parts.push_back({"Broken.ttf", WithoutOutlines(regular)});
    parts.push_back({kGuid + ".odttf", Obfuscated(regular, kOtherKey)});
    TTestZipArchive archive = PackageArchive(parts);
    archive.Entries[kFirstPageEntry + 2].Crc = 0x12345678;
    const std::string bytes = TestZipBytes(archive);

    Convert(bytes, "default", false);
    const TLines defaultLog = log_.Lines;
    EXPECT_EQ(Convert(bytes, "fonts").FontPartsFallenBack,
              (TLines{u"Missing.ttf", u"Damaged.ttf", u"a.odttf", u"Junk.ttf", Utf8ToUtf16(kGuid) + u".odttf", u"Fine.ttf",
                      u"Broken.ttf"}));
    EXPECT_EQ(log_.Lines, defaultLog);
    EXPECT_EQ(TemplateWithoutTimes(folder_.Path("fonts_1_1.qlt")), TemplateWithoutTimes(folder_.Path("default_1_1.qlt")));
    EXPECT_EQ(Memos("fonts_1_2.qlt", u"Font.Name"), (TLines{u"Liberation Mono", u"Liberation Sans"}));
}

// A font part is taken out of the package once however many runs name its
// faces, a missing one too; the next run takes them again.
TEST_F(DocumentFonts, AFontPartIsTakenOncePerRun) {
    std::string runs;
    for (int i = 0; i < 30; ++i) runs += TextRun("/pair.ttc", "1") + TextRun("/pair.ttc#1", "2") + TextRun("/Gone.ttf", "-");
    std::vector<TPart> parts = OneDocument({PageWith(runs), PageWith(runs)});
    parts.push_back({"pair.ttc", FontCollection(FontFile("ans-Regular"), FontFile("erif-Bold"))});
    converter_.Limits.RunParts = 6;  // the sequence, the document, two pages and two font parts
    EXPECT_EQ(Convert(PackageBytes(parts), "once").FontPartsFallenBack, TLines{u"Gone.ttf"});
    const size_t lastFirstFace = 3 * 29;  // the last repetition's run of "/pair.ttc"
    const size_t lastSecondFace = lastFirstFace + 1;
    EXPECT_EQ(Memos("once_1_2.qlt", u"Font.Name").at(lastSecondFace), u"Liberation Serif");
    EXPECT_EQ(Memos("once_1_2.qlt", u"Font.Style").at(lastSecondFace), u"1");
    EXPECT_EQ(Memos("once_1_2.qlt", u"Font.Name").at(lastFirstFace), u"Liberation Sans");

    parts.back().Content = FontCollection(FontFile("erif-Bold"), FontFile("ans-Regular"));
    EXPECT_TRUE(Convert(PackageBytes(parts), "again").Complete());
    EXPECT_EQ(Memos("again_1_1.qlt", u"Font.Name").front(), u"Liberation Serif");
    converter_.Limits.RunParts = 5;
    EXPECT_FALSE(Convert(PackageBytes(parts), "tight").Complete());
}

TEST_F(DocumentFonts, ARunRemembersABoundedNumberOfFaces) {
    std::string runs;
    for (int i = 0; i < 4200; ++i) runs += TextRun("/" + std::to_string(i) + ".ttf", "x");
    EXPECT_EQ(Convert(PackageBytes(OneDocument({PageWith(runs)})), "many").FontPartsFallenBack.size(), 4096u);
    EXPECT_EQ(Memos("many_1_1.qlt", u"Font.Name").back(), u"Liberation Mono");
}

// An office suite's package: obfuscated faces of one family, runs in its
// regular, bold and italic faces, all inside canvases.
TEST_F(DocumentFonts, OfficePackageRunsNameTheirFamilyAndStyles) {
    EXPECT_TRUE(Convert(FileBytes(Utf8ToUtf16(XQ_TEST_DATA "/tika__test_text.xps")), "text", true, true).Complete());
    const TLines texts = Memos("text_1_1.qlt", u"Text");
    const TLines styles = Memos("text_1_1.qlt", u"Font.Style");
    ASSERT_EQ(texts.size(), 23u);
    EXPECT_EQ(Memos("text_1_1.qlt", u"Font.Name"), TLines(23, u"Aptos"));
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(styles[i], texts[i] == u"are in italics" ? u"2" : texts[i] == u"d bol" ? u"1" : u"0") << i;
}

}  // namespace
