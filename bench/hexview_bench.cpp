// The row text and colour runs of the hex view, per row (native, Google Benchmark).
#include <benchmark/benchmark.h>

#include <vector>

#include "hexview/hexview_layout.h"

namespace {

void FormatAndPlanRow(benchmark::State& state) {
    HexViewModel m;
    m.style = static_cast<std::uint32_t>(state.range(0));
    m.cellWidth = HexViewCellWidth(m.style, 3);
    m.docSize = 1 << 20;
    m.selAnchor = 5;
    m.selEnd = 900;
    HexViewComputeLayout(m);
    std::vector<char> text(m.lineWidth + 1);
    std::vector<std::uint8_t> bytes(16), marks(16);
    for (int i = 0; i < 16; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 37);
        marks[i] = i % 5 == 0;
    }
    std::vector<HexTextRun> runs;
    std::uint32_t row = 0;
    for (auto _ : state) {
        const std::uint32_t start = (row++ % 64) * 16;
        HexViewFormatLine(m, text.data(), bytes.data(), 16, start);
        HexViewRowRuns(m, start, 16, marks.data(), runs);
        benchmark::DoNotOptimize(text.data());
        benchmark::DoNotOptimize(runs.data());
    }
}
BENCHMARK(FormatAndPlanRow)
    ->Arg(kHexViewDefaultStyle)
    ->Arg(kHexViewDefaultStyle | HVS_FORMAT_BINARY);

}  // namespace

BENCHMARK_MAIN();
