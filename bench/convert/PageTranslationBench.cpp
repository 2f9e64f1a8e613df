#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"

namespace {

class TNullLog : public IXpsLog {
public:
    void Clear() override {}
    int32_t Append(const std::u16string&) override { return 0; }
    void Replace(int32_t, const std::u16string&) override {}
};

class TArial : public IFontNameSource {
public:
    std::u16string FontName() const override { return u"Arial"; }
};

// A page as printer drivers write them: text runs with glyph indices, and
// table rules as stroked outlines of one segment each.
std::string GeneratePage(int glyphs, int paths) {
    std::string page = "<FixedPage Width=\"816\" Height=\"1056\" xmlns=\"http://schemas.microsoft.com/xps/2005/06\" xml:lang=\"en-us\">";
    for (int i = 0; i < glyphs; ++i) {
        const std::string y = std::to_string(40 + i % 1000) + ".48";
        page += "<Glyphs Fill=\"#ff000000\" FontUri=\"/Resources/Fonts/0A1B2C3D.odttf\" FontRenderingEmSize=\"14.6933\" "
                "StyleSimulations=\"None\" OriginX=\"96.64\" OriginY=\"" + y + "\" "
                "Indices=\"55;75;72,44;3;76;86;3;68;81;3;76;81;89;82;76;70;72;3;79;76;81;72\" "
                "UnicodeString=\"Line " + std::to_string(i) + ": services rendered, Gr\xC3\xBC\xC3\x9F" "e\" />";
    }
    for (int i = 0; i < paths; ++i) {
        const std::string y = std::to_string(50 + i % 1000);
        page += "<Path Stroke=\"#ff000000\" StrokeThickness=\"0.96\" Data=\"F1 M 96," + y + ".5 L 720," + y + ".5\" />";
    }
    return page + "</FixedPage>";
}

void BM_ConvertFixedPage(benchmark::State& state) {
    char pattern[] = "/tmp/page_benchXXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string page = GeneratePage(2000, 2000);
    TMemoryStream stream;
    stream.WriteBuffer(page.data(), static_cast<int64_t>(page.size()));
    TNullLog log;
    TArial font;
    TXpsConverter converter(log, font);
    const std::u16string outName = Utf8ToUtf16(dir + "/bench_1_1");
    for (auto _ : state) converter.ConvertFixedPage(stream, outName, u"Documents/1/Pages/1.fpage");
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ConvertFixedPage)->Unit(benchmark::kMillisecond);

}  // namespace
