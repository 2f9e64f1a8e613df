#include <benchmark/benchmark.h>

#include <string>

#include "platform/Conversions.h"
#include "platform/Streams.h"
#include "xml/qlxXML.h"

namespace {

// A fixed page as XPS printers write them: thousands of text runs with long
// glyph index lists, outlines, and a few image fills, in legacy mode.
std::string GenerateFixedPage(size_t targetSize) {
    std::string page =
        "<?xml version=\"1.0\"?>\xEF\xBB\xBF<FixedPage Width=\"816\" Height=\"1056\" "
        "xmlns=\"http://schemas.microsoft.com/xps/2005/06\" xml:lang=\"en-US\">\r\n"
        "<Canvas RenderTransform=\"1.333,0,0,1.333,0,0\">\r\n";
    for (unsigned n = 0; page.size() < targetSize; ++n) {
        const std::string y = std::to_string(100 + n % 900) + "." + std::to_string(n % 100);
        std::string indices;
        for (unsigned k = 0; k < 60; ++k) indices += std::to_string(3 + (n * 7 + k * 13) % 90) + ",52.6;";
        page += "<Glyphs Fill=\"#ff000000\" FontUri=\"/Documents/1/Resources/Fonts/5A3E0C1B-7D2F-4E8A-9B61-"
                "0F1E2D3C4B5A.odttf\" FontRenderingEmSize=\"13.2835\" StyleSimulations=\"None\" OriginX=\"96\" "
                "OriginY=\"" + y + "\" Indices=\"" + indices + "\" UnicodeString=\"Caf\xC3\xA9 "
                "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore "
                "et dolore magna aliqua &amp; more\" />\r\n";
        if (n % 3 == 0)
            page += "<Path Data=\"F1 M 96," + y + " L 720," + y + " L 720,201.5 L 96,201.5 Z M 100,300 L 700,300\" "
                    "Stroke=\"#ff1f1f1f\" StrokeThickness=\"0.96\" StrokeMiterLimit=\"10\" "
                    "StrokeLineJoin=\"Miter\" StrokeStartLineCap=\"Flat\" StrokeEndLineCap=\"Flat\" />\r\n";
        if (n % 50 == 0)
            page += "<Path Data=\"M 0,0 L 100,0 100,100 0,100 Z\"><Path.Fill><ImageBrush ImageSource=\"/Documents/1/"
                    "Resources/Images/" + std::to_string(n) + ".png\" Viewbox=\"0,0,100,100\" ViewboxUnits=\"Absolute\" "
                    "Viewport=\"0,0,100,100\" ViewportUnits=\"Absolute\" TileMode=\"None\" /></Path.Fill></Path>\r\n";
    }
    page += "</Canvas>\r\n</FixedPage>\r\n";
    return page;
}

void LoadFixedPage(benchmark::State& state) {
    const std::string page = GenerateFixedPage(20 * 1000 * 1000);
    TMemoryStream stream;
    stream.WriteBuffer(page.data(), static_cast<int64_t>(page.size()));
    TqlxXMLDocument doc;
    for (auto _ : state) {
        stream.SetPosition(0);
        doc.LoadFromStream(stream, false);
        benchmark::DoNotOptimize(doc.Root()->ChildCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
    state.counters["elements"] = doc.Root()->Child(0)->ChildCount();
}
BENCHMARK(LoadFixedPage)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// A template as the report builder composes it, with 100 000 elements.
void BuildTemplate(TqlxXMLDocument& doc) {
    TqlxXMLItem* root = doc.Root();
    root->Name = u"TqlxReport";
    root->AttrText = u"Version=\"1\" Name=\"Report\"";
    TqlxXMLItem* page = nullptr;
    TqlxXMLItem* band = nullptr;
    for (int n = 0; n < 100000; ++n) {
        if (n % 1000 == 0) {
            page = root->AddChild();
            page->Name = u"TqlxReportPage";
            page->AttrText = u"PaperWidth=\"215.9\" PaperHeight=\"279.4\" Orientation=\"0\"";
            band = page->AddChild();
            band->Name = u"TqlxBand";
            band->AttrText = u"BandType=\"1\" Height=\"1056\" Left=\"0\" Top=\"0\" Width=\"816\"";
            n += 2;
        }
        TqlxXMLItem* item = band->AddChild();
        item->Name = n % 4 == 0 ? u"TqlxLine" : u"TqlxText";
        item->AttrText = u"Left=\"" + IntToStr(96 + n % 600) + u"\" Top=\"" + IntToStr(n % 1000) +
                         u".72\" Width=\"123.456789\" Height=\"16.5\" Font.Name=\"Arial\" Font.Size=\"10\" "
                         u"Font.Color=\"0\" Text=\"Lorem ipsum dolor sit amet, caf\u00E9 &#60;" + IntToStr(n) + u"&#62;\"";
    }
}

void SaveTemplate(benchmark::State& state) {
    TqlxXMLDocument doc;
    BuildTemplate(doc);
    TMemoryStream stream;
    for (auto _ : state) {
        stream.SetPosition(0);
        doc.SaveToStream(stream);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stream.Position());
}
BENCHMARK(SaveTemplate)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
