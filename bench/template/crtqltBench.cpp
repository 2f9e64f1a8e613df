#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/CodePages.h"
#include "template/crtqlt.h"

namespace {

// A page of 1 000 text runs and 1 000 lines, built and saved as one template.
void BM_BuildAndSaveTemplate(benchmark::State& state) {
    char pattern[] = "/tmp/template_benchXXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::u16string name = Utf8ToUtf16(dir + "/page_1_1");
    TFont font;
    font.Name = u"Arial";
    font.Charset = 204;
    for (auto _ : state) {
        TqlxRepDoc doc(name);
        doc.AddPage(816, 1056);
        for (int i = 0; i < 1000; ++i) {
            font.Height = -(10 + i % 8);
            doc.AddMemo(font, "Invoice line " + std::to_string(i) + ": services rendered", 96.5L, 20 + i);
            doc.AddLine(0, 96, 720.25L, 30 + i, 30 + i);
        }
        doc.SaveTemplate();
    }
    state.SetItemsProcessed(state.iterations() * 2000);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BuildAndSaveTemplate)->Unit(benchmark::kMillisecond);

}  // namespace
