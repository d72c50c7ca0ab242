// The whole cut (knife mask, hole closing, labelling, piece records) of the cutting engine.
//
//   bench_engine_cut                               4000 x 3000 / 300 pieces, 12000 x 9000 / 2000
//                                                  (warm engine; FreshCut: a new engine per cut;
//                                                  FarNodes: tabs reaching far beyond the picture)
//   QW_BENCH_HUGE=1 bench_engine_cut --benchmark_filter=Huge   30000 x 30000 (opt-in)
//
// Each case reports the peak resident memory of the process (counter PeakMiB) after it ran.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "framework/core/qwf_mem.h"
#include "bench/cut_layout.h"
#include "plugin/core/jigcrafter.h"
#include "platform/qw_threads.h"

namespace {

double PeakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

// A black RGB picture of width x height (null planes when it cannot be had).
struct BlackImage {
    CQWF_Mem bytes;
    const uint8_t* planes[3] = {};
    BlackImage(int32_t w, int32_t h)
    {
        if (!bytes.AllocZeroed(static_cast<size_t>(w) * h * 3)) return;
        for (int p = 0; p < 3; ++p) planes[p] = bytes.GetData() + static_cast<size_t>(p) * w * h;
    }
};

// args: width, height, columns, rows, mode (0 razor + anti-aliasing, 1 razor only, 2 neither,
// 3 anti-aliasing only, 4 as 0 with every tab reaching 1e5 knife lengths out, as from a damaged
// shape: the flattening takes the work of the picture, not of the curves' length)
void RunCut(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    const int mode = static_cast<int>(state.range(4));
    CJigcrafter e;
    qwbench::BuildLayout(e, static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
    if (mode == 4) {
        for (int i = 0; i < e.GetRowKnifeCount(); ++i) e.GetRowKnives()[i].h[2] = 1e5f;
        for (int i = 0; i < e.GetColumnKnifeCount(); ++i) e.GetColumnKnives()[i].h[2] = 1e5f;
    }
    e.SetRazorCut(mode <= 1 || mode == 4);
    e.SetAntiAliasing(mode == 0 || mode == 3 || mode == 4);
    BlackImage image(w, h);
    if (!image.planes[0]) {
        state.SkipWithError("no memory for the image");
        return;
    }
    const uint8_t* const* planes = image.planes;
    int32_t pieces = 0;
    // Warm engine: the working buffers and piece memory of an earlier cut are reused.
    if (!e.Cut(w, h, nullptr, 0, planes, w, 3, 0, 100, false)) {
        state.SkipWithError("cut failed");
        return;
    }
    e.FreePieces();
    const qwp::WorkerScope workers(qwp::ThreadCount());  // the filter call's threads
    for (auto _ : state) {
        if (!e.Cut(w, h, nullptr, 0, planes, w, 3, 0, 100, false)) {
            state.SkipWithError("cut failed");
            return;
        }
        pieces = e.GetPieceCount();
        benchmark::DoNotOptimize(pieces);
        state.PauseTiming();
        e.FreePieces();
        state.ResumeTiming();
    }
    state.counters["PeakMiB"] = PeakMiB();
    state.counters["Pieces"] = static_cast<double>(pieces);
}

// A new engine for every cut: the first touch of every working buffer is paid each time.
void FreshCut(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    const int mode = static_cast<int>(state.range(4));
    BlackImage image(w, h);
    if (!image.planes[0]) {
        state.SkipWithError("no memory for the image");
        return;
    }
    const uint8_t* const* planes = image.planes;
    const qwp::WorkerScope workers(qwp::ThreadCount());  // the filter call's threads
    for (auto _ : state) {
        state.PauseTiming();
        CJigcrafter* e = new CJigcrafter;
        qwbench::BuildLayout(*e, static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
        e->SetRazorCut(mode <= 1);
        e->SetAntiAliasing(mode == 0 || mode == 3);
        state.ResumeTiming();
        const bool ok = e->Cut(w, h, nullptr, 0, planes, w, 3, 0, 100, false);
        state.PauseTiming();
        delete e;
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("cut failed");
            return;
        }
    }
    state.counters["PeakMiB"] = PeakMiB();
}

void Huge(benchmark::State& state)
{
    if (!std::getenv("QW_BENCH_HUGE")) {
        state.SkipWithError("opt-in: set QW_BENCH_HUGE=1");
        return;
    }
    RunCut(state);
}

}  // namespace

BENCHMARK(RunCut)
    ->Name("Cut_4000x3000_20x15")
    ->Args({4000, 3000, 20, 15, 0})
    ->Args({4000, 3000, 20, 15, 1})
    ->Args({4000, 3000, 20, 15, 2})
    ->Args({4000, 3000, 20, 15, 3})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(RunCut)
    ->Name("Cut_12000x9000_52x39")
    ->Args({12000, 9000, 52, 39, 0})
    ->Args({12000, 9000, 52, 39, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(FreshCut)
    ->Name("FreshCut_4000x3000_20x15")
    ->Args({4000, 3000, 20, 15, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FreshCut)
    ->Name("FreshCut_12000x9000_52x39")
    ->Args({12000, 9000, 52, 39, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(RunCut)
    ->Name("FarNodes_1200x900_8x8")
    ->Args({1200, 900, 8, 8, 4})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Huge)
    ->Name("Huge_Cut_30000x30000_100x100")
    ->Args({30000, 30000, 100, 100, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
