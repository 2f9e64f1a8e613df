#include <gtest/gtest.h>

#include <algorithm>
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

// A run's templates: the texts of each, "Left,Top:Text" in order, its line
// objects and the log.
struct TConversion {
    std::vector<TLines> Pages;
    std::vector<size_t> LineCounts;
    TLines Log;
};

// The characters an object draws, blanks and a leading "{}" escape aside.
std::u16string Characters(std::u16string text) {
    std::erase_if(text, [](char16_t ch) { return ch == u' ' || ch == u'\u00A0'; });
    text.erase(0, text.find(u':') + 1);
    if (text.starts_with(u"{}")) text.erase(0, 2);
    return text;
}

class TextLines : public ::testing::Test {
protected:
    TConversion ConvertOnce(const std::string& bytes, bool nested, bool documentFonts, bool textLines) {
        TConversion conversion;
        TXpsLineLog log;
        TXpsConverter converter(log, chosen_);
        converter.Nested = nested;
        converter.DocumentFonts = documentFonts;
        converter.TextLines = textLines;
        converter.OnPageDone = [&](const TXpsPageResult& page) {
            if (page.TemplateName.empty()) return;
            conversion.Pages.push_back(TemplateTexts(page.TemplateName));
            conversion.LineCounts.push_back(TemplateLineCount(page.TemplateName));
        };
        WriteFileBytes(folder_.Path("p.xps"), bytes);
        TFileStream source(folder_.Path("p.xps"), fmOpenRead | fmShareExclusive);
        outcome_ = converter.Convert(&source);
        conversion.Log = log.Lines;
        return conversion;
    }

    // The texts with the runs of a line joined, having checked against the
    // run without: the log and the line objects are the same, every
    // character is in exactly one text object, none is added.
    std::vector<TLines> Convert(const std::string& bytes, bool nested = false, bool documentFonts = false) {
        runs_ = ConvertOnce(bytes, nested, documentFonts, false);
        const TConversion lines = ConvertOnce(bytes, nested, documentFonts, true);
        EXPECT_EQ(lines.Log, runs_.Log);
        EXPECT_EQ(lines.LineCounts, runs_.LineCounts);
        for (size_t page = 0; page < std::min(lines.Pages.size(), runs_.Pages.size()); ++page) {
            EXPECT_LE(lines.Pages[page].size(), runs_.Pages[page].size());
            size_t next = 0;
            for (const std::u16string& line : lines.Pages[page]) {
                std::u16string joined;
                while (joined.size() < Characters(line).size() && next < runs_.Pages[page].size())
                    joined += Characters(runs_.Pages[page][next++]);
                EXPECT_EQ(joined, Characters(line));
            }
        }
        return lines.Pages;
    }

    TTempFolder folder_;
    TFixedFontName chosen_{u"Liberation Sans"};
    TXpsRunOutcome outcome_;  // of the last run, with joining
    TConversion runs_;        // without it
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
        {"escaped brace", Line({farm, {45, "{}{Inc.}", "", ",50;,50;,50;,50;,50;,50"}}), {u"0,100:Farm {Inc.}"}},
        {"escaped brace first", Line({{0, "{}{Farm}", "", ",50;,50;,50;,50;,50;,50"}, {65, "Inc."}}),
         {u"0,100:{}{Farm} Inc."}},
        {"blank at the join", Line({{0, "Farm "}, {55, "Inc."}}), joined},
        {"right to left", Line({farm, {45, "Inc.", "BidiLevel=\"1\""}}), apart},
        {"sideways", Line({farm, {45, "Inc.", "IsSideways=\"true\""}}), apart},
        {"rotated", "<Canvas RenderTransform=\"1,0.01,-0.01,1,0,0\">" + Line({farm, {45, "Inc."}}) + "</Canvas>",
         {u"-1,100:Farm", u"44,100.45:Inc."}, true},
        {"scaling canvas", "<Canvas RenderTransform=\"2,0,0,2,10,10\">" + Line({farm, {45, "Inc."}}) + "</Canvas>",
         {u"10,210:Farm Inc."}, true},
        {"a path between", Line({farm}) + "<Path Stroke=\"#FF000000\" Data=\"F1 M 0,110 L 90,110\"/>" + Line({{45, "Inc."}}),
         joined},
        {"cluster and the font", Line({{0, "ffin", "", "(2:1),100;,50"}, {47, "Inc."}}), {u"0,100:ffin Inc."}},
        {"embedded face", Line({{0, "iiii", mono, "-"}, {53, "jjjj", mono, "-"}}), {u"0,100:iiii jjjj"}},
        {"chosen family", Line({{0, "iiii", missing, "-"}, {22.8, "jjjj", missing, "-"}}), {u"0,100:iiii jjjj"}},
        {"one family", Line({{0, "Farm", "FontUri=\"/sans.ttf\""}, {45, "Inc.", "FontUri=\"/sans2.ttf\""}}), joined, false, true},
    };
    for (const auto& test : cases) {
        std::vector<TPart> parts = OneDocument({PageWith(test.Page)});
        for (const std::string name : {"mono", "sans", "sans2"})
            parts.push_back({name + ".ttf", FileBytes(Utf8ToUtf16(name == "mono" ? kMono : kDefaultFontFile))});
        EXPECT_EQ(Convert(PackageBytes(parts), test.Nested, test.DocumentFonts), std::vector<TLines>{test.Expected})
            << test.Name;
        EXPECT_EQ(outcome_.FontPartsFallenBack, TLines{}) << test.Name;
    }
}

TEST_F(TextLines, RealPackagesKeepEveryCharacterInOneObject) {
    std::vector<std::string> packages = {XQ_EXAMPLES "/invoice.xps"};
    for (const auto& file : std::filesystem::directory_iterator(XQ_TEST_DATA))
        if (file.path().extension() != ".md") packages.push_back(file.path().string());
    for (const std::string& package : packages)
        for (const bool nested : {false, true}) {
            SCOPED_TRACE(package);
            Convert(FileBytes(Utf8ToUtf16(package)), nested);
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
    const TLines joined = Convert(PackageBytes(OneDocument({PageWith(page)}))).at(0);
    EXPECT_EQ(joined.front(), u"0,100:Quarterly results exceeded every expectation");
    EXPECT_EQ(joined.size(), lines.size() + cells.size());
    EXPECT_LE(joined.size(), runs_.Pages.at(0).size() * 4 / 10);
}

}  // namespace
