// Layout blob: serialising and reading back the largest layouts (every structural edit records a
// whole blob as its undo state, and the window reads one back on undo and on open).
#include "plugin/main/layout_model.h"

#include "platform/qw_random.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {
// columns x columns cells, every knife with `nodes` nodes, `extras` extra knives.
void Build(CLayoutModel& m, CutterState& c, int columns, int nodes, int extras)
{
    qwp::SeedRandom(1);
    m.SetImageSize(12000, 9000);
    m.SetKnotAmplitude(0.3f);
    m.SetGridSize(columns, columns, true, true);
    c = CutterState{};
    c.shape.nodeCount = static_cast<uint8_t>(nodes);
    for (int i = 0; i < nodes; ++i) {
        c.shape.U[i] = static_cast<double>(i) / (nodes - 1);
        c.shape.H[i] = 0.2 * std::sin(i * 0.3);
        c.shape.S[i] = 0.5;
    }
    m.SetCutter(&c);
    m.CloneShapeToKnives(false, 0.2f, 0.2f, 0.1f, false);
    const int32_t knots = m.GetKnotCount();
    for (int32_t a = 0; a < knots && m.GetExtraKnifeCount() < extras; a += 3)
        m.AddExtraKnife(a, (a + 2 * m.GetKnotsPerRow() + 1) % knots);
}

void BM_SerializeLayout(benchmark::State& state)
{
    CLayoutModel m;
    CutterState c;
    Build(m, c, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 2000);
    CQWF_Mem block;
    size_t len = 0;
    for (auto _ : state) {
        m.SerializeLayout(block, len);
        benchmark::DoNotOptimize(block.GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

void BM_ReadLayoutV3(benchmark::State& state)
{
    CLayoutModel m;
    CutterState c;
    Build(m, c, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 2000);
    CQWF_Mem block;
    size_t len = 0;
    m.SerializeLayout(block, len);
    std::vector<uint8_t> blob(block.GetData(), block.GetData() + len);
    CLayoutModel r;
    r.SetImageSize(12000, 9000);
    for (auto _ : state) {
        r.ReadLayoutV3(blob.data(), blob.size(), nullptr, nullptr, false);
        benchmark::DoNotOptimize(r.GetRowKnifeCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}
}  // namespace

BENCHMARK(BM_SerializeLayout)->Args({20, 5})->Args({101, 64})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLayoutV3)->Args({20, 5})->Args({101, 64})->Unit(benchmark::kMillisecond);
