#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "template/qlxGraphicUtils.h"

namespace {

// Forty-character lines of the kind a page of running text holds.
std::vector<std::string> FortyCharacterLines() {
    const std::string prose =
        "Invoice number 2024-0117 for services rendered in March, payable within thirty days "
        "of receipt to the account named below; questions to the accounts department at extension 42.";
    std::vector<std::string> lines;
    for (size_t start = 0; start + 40 <= prose.size(); start += 7) lines.push_back(prose.substr(start, 40));
    return lines;
}

void BM_MeasureTextWidth(benchmark::State& state) {
    const std::vector<std::string> lines = FortyCharacterLines();
    TFont font;
    font.Name = u"Arial";
    font.Height = -16;
    font.Charset = 204;
    for (const std::string& line : lines) MeasureTextWidth(line, font);
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MeasureTextWidth(lines[next], font));
        next = next + 1 == lines.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MeasureTextWidth);

}  // namespace
