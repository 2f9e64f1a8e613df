#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"
#include "tests/support/RunTestSupport.h"
#include "tests/support/TestTempFolder.h"

// Runs that continue one another on a line become one text object.

namespace {

using TLines = std::vector<std::u16string>;

const char kMono[] = "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf";

// A black run 20 pixels high on the baseline 100, unless Attributes say
// otherwise; its Indices give each character half an em ("-": no Indices).
struct TRun {
    double X;
    std::string Text;
    std::string Attributes = "";
    std::string Indices = "";
};

std::string Line(const std::vector<TRun>& runs) {
    std::string line;
    for (const TRun& run : runs) {
        std::string all = run.Attributes, indices = run.Indices;
        for (const std::string attribute : {"Fill=\"#FF000000\"", "FontRenderingEmSize=\"20\"", "OriginY=\"100\""})
            if (all.find(attribute.substr(0, attribute.find('='))) == std::string::npos) all += " " + attribute;
        for (size_t i = 0; run.Indices.empty() && i < run.Text.size(); ++i) indices += ",50;";
        line += "<Glyphs OriginX=\"" + std::to_string(run.X) + "\" UnicodeString=\"" + run.Text + "\" " + all +
                (indices == "-" ? "" : " Indices=\"" + indices + "\"") + "/>";
    }
    return line;
}

class TextLines : public ::testing::Test {
protected:
    // Converts the package's bytes; the texts of every template written, in
    // order, and in lineCounts_ the number of its line objects.
    std::vector<TLines> Convert(const std::string& bytes, bool nested, bool documentFonts, bool textLines) {
        std::vector<TLines> pages;
        lineCounts_.clear();
        TXpsConverter converter(log_, chosen_);
        converter.Nested = nested;
        converter.DocumentFonts = documentFonts;
        converter.TextLines = textLines;
        converter.OnPageDone = [&](const TXpsPageResult& page) {
            if (page.TemplateName.empty()) return;
            pages.push_back(TemplateTexts(page.TemplateName));
            lineCounts_.push_back(TemplateLineCount(page.TemplateName));
        };
        WriteFileBytes(folder_.Path("p.xps"), bytes);
        TFileStream source(folder_.Path("p.xps"), fmOpenRead | fmShareExclusive);
        outcome_ = converter.Convert(&source);
        return pages;
    }

    // Each object with joining holds the characters of the next objects
    // without it, blanks aside; none is added.
    static void ExpectRegrouped(const TLines& runs, const TLines& lines, const std::string& package) {
        const auto characters = [](std::u16string text) {
            std::erase_if(text, [](char16_t ch) { return ch == u' ' || ch == u'\u00A0'; });
            return text.substr(text.find(u':') + 1);
        };
        size_t next = 0;
        for (const std::u16string& line : lines) {
            std::u16string joined;
            while (joined.size() < characters(line).size() && next < runs.size()) joined += characters(runs[next++]);
            EXPECT_EQ(joined, characters(line)) << package;
        }
        EXPECT_LE(lines.size(), runs.size()) << package;
    }

    TTempFolder folder_;
    TXpsLineLog log_;
    TFixedFontName chosen_{u"Liberation Sans"};
    TXpsRunOutcome outcome_;
    std::vector<size_t> lineCounts_;
};

TEST_F(TextLines, RunsJoinOnlyWhenTheyContinueOneAnother) {
    const TRun farm = {0, "Farm"};
    const std::string mono = "FontUri=\"/mono.ttf\"", missing = "FontUri=\"/missing.ttf\"";
    const TLines apart = {u"0,100:Farm", u"45,100:Inc."}, joined = {u"0,100:Farm Inc."};
    const struct {
        const char* Name;
        std::string Page;
        TLines Expected;
        bool Nested = false, DocumentFonts = false;
    } cases[] = {
        {"quarter em", Line({{0, "Farm"}, {45, "Business"}, {130, "Consultants"}}), {u"0,100:Farm Business Consultants"}},
        {"table columns", Line({{0, "Farm"}, {200, "Inc."}}), {u"0,100:Farm", u"200,100:Inc."}},
        {"overlap", Line({{0, "Farm"}, {20, "Inc."}}), {u"0,100:Farm", u"20,100:Inc."}},
        {"colour", Line({farm, {45, "Inc.", "Fill=\"#FFFF0000\""}}), apart},
        {"size", Line({farm, {45, "Inc.", "FontRenderingEmSize=\"21\""}}), apart},
        {"font", Line({{0, "Farm", "FontUri=\"/a.ttf\""}, {45, "Inc.", "FontUri=\"/b.ttf\""}}), apart},
        {"style simulation", Line({farm, {45, "Inc.", "StyleSimulations=\"BoldSimulation\""}}), apart},
        {"baseline", Line({farm, {45, "Inc.", "OriginY=\"101.5\""}}), {u"0,100:Farm", u"45,101.5:Inc."}},
        {"baseline within", Line({farm, {45, "Inc.", "OriginY=\"100.5\""}}), joined},
        {"word cut", Line({{0, "Consul"}, {60, "tants"}}), {u"0,100:Consultants"}},
        {"blank at the join", Line({{0, "Farm "}, {55, "Inc."}}), joined},
        {"right to left", Line({farm, {45, "Inc.", "BidiLevel=\"1\""}}), apart},
        {"sideways", Line({farm, {45, "Inc.", "IsSideways=\"true\""}}), apart},
        {"rotated", "<Canvas RenderTransform=\"1,0.01,-0.01,1,0,0\">" + Line({farm, {45, "Inc."}}) + "</Canvas>",
         {u"-1,100:Farm", u"44,100.45:Inc."}, true},
        {"scaling canvas", "<Canvas RenderTransform=\"2,0,0,2,10,10\">" + Line({farm, {45, "Inc."}}) + "</Canvas>",
         {u"10,210:Farm Inc."}, true},
        {"a path between", Line({farm}) + "<Path Stroke=\"#FF000000\" Data=\"F1 M 0,110 L 90,110\"/>" + Line({{45, "Inc."}}),
         joined},
        {"cluster advances", Line({{0, "ffin", "", "(2:1),100;,50;,50"}, {45, "Inc."}}), {u"0,100:ffin Inc."}},
        {"embedded face", Line({{0, "iiii", mono, "-"}, {53, "jjjj", mono, "-"}}), {u"0,100:iiii jjjj"}},
        {"chosen family", Line({{0, "iiii", missing, "-"}, {22.8, "jjjj", missing, "-"}}), {u"0,100:iiii jjjj"}},
        {"one family", Line({{0, "Farm", "FontUri=\"/sans.ttf\""}, {45, "Inc.", "FontUri=\"/sans2.ttf\""}}), joined, false, true},
    };
    for (const auto& test : cases) {
        std::vector<TPart> parts = OneDocument({PageWith(test.Page)});
        for (const std::string name : {"mono", "sans", "sans2"})
            parts.push_back({name + ".ttf", FileBytes(Utf8ToUtf16(name == "mono" ? kMono : kDefaultFontFile))});
        EXPECT_EQ(Convert(PackageBytes(parts), test.Nested, test.DocumentFonts, true), std::vector<TLines>{test.Expected})
            << test.Name;
        EXPECT_EQ(outcome_.FontPartsFallenBack, TLines{}) << test.Name;
    }
}

// Every character of the objects without joining is in exactly one object
// with it, blanks aside; the log and the line objects are the same.
TEST_F(TextLines, RealPackagesKeepEveryCharacterInOneObject) {
    std::vector<std::string> packages = {XQ_EXAMPLES "/invoice.xps"};
    for (const auto& file : std::filesystem::directory_iterator(XQ_TEST_DATA))
        if (file.path().extension() != ".md") packages.push_back(file.path().string());
    for (const std::string& package : packages) {
        const std::string bytes = FileBytes(Utf8ToUtf16(package));
        for (const bool nested : {false, true}) {
            const std::vector<TLines> runs = Convert(bytes, nested, false, false);
            const TLines runsLog = log_.Lines;
            const std::vector<size_t> runsLineCounts = lineCounts_;
            const std::vector<TLines> lines = Convert(bytes, nested, false, true);
            EXPECT_EQ(log_.Lines, runsLog);
            EXPECT_EQ(lineCounts_, runsLineCounts);
            ASSERT_EQ(lines.size(), runs.size());
            for (size_t page = 0; page < runs.size(); ++page) ExpectRegrouped(runs[page], lines[page], package);
        }
    }
}

// A presentation program's export: lines cut into runs of 3 to 7
// characters, a word space left as a quarter em, and a table of two columns.
TEST_F(TextLines, APresentationLosesMostOfItsObjectsAndNoCharacter) {
    const std::vector<std::string> lines = {"Quarterly results exceeded every expectation", "Revenue grew in all regions",
                                            "Costs fell for the third year running", "Outlook: steady growth ahead"};
    const std::vector<std::string> cells = {"Region", "Sales", "North", "1,204", "South", "987"};
    std::string page;
    double y = 100;
    for (const std::string& line : lines) {
        double x = 0;
        for (size_t at = 0, length = 3; at < line.size(); length = 3 + (length - 2) % 5) {
            page += Line({{x, line.substr(at, length), "OriginY=\"" + std::to_string(y) + "\""}});
            x += 10 * line.substr(at, length).size();
            at += length;
            if (at < line.size() && line[at] == ' ') x += 5, ++at;
        }
        y += 30;
    }
    for (size_t i = 0; i < cells.size(); ++i, y += 15 * (i % 2 == 0))
        page += Line({{300.0 * (i % 2), cells[i], "OriginY=\"" + std::to_string(y) + "\""}});
    const std::string bytes = PackageBytes(OneDocument({PageWith(page)}));
    const TLines runs = Convert(bytes, false, false, false).at(0), joined = Convert(bytes, false, false, true).at(0);
    ExpectRegrouped(runs, joined, "slide");
    EXPECT_EQ(joined.front(), u"0,100:Quarterly results exceeded every expectation");
    EXPECT_EQ(joined.size(), lines.size() + cells.size());
    EXPECT_LE(joined.size(), runs.size() * 4 / 10);
}

}  // namespace
