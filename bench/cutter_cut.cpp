// The Cutter's Cut as the user meets it: the main window's layout handed to the engine, the
// picture cut and every piece rendered, then the pieces composited into the main window's
// preview image.
//
//   bench_cutter_cut          20 x 15 cells (300 pieces) on 4000 x 3000
//
// Counters: cut_render_ms the cut with every piece rendered, composite_ms the composite into the
// preview. BM_EngineRenderComposite is the same layout through the engine's one-pass render and
// composite (the run without a dialog), anti-aliased (0) and razor cut (1), for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/imaging/qwf_image.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/piece_view.h"
#include "plugin/windows/cutter_cut.h"
#include "platform/qw_threads.h"

namespace {
struct Site : CCutSite {
    CLayoutModel& model;
    CJigcrafter& engine;
    Site(CLayoutModel& m, CJigcrafter& e) : model(m), engine(e) {}
    bool TransferKnives() override { return ::TransferKnives(model, engine); }
};

void BM_CutterCutToPreview(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    CutPicture pic{w, h, nullptr, 0, {}};
    for (int p = 0; p < 3; ++p) pic.planes[p] = planes.data() + static_cast<size_t>(p) * w * h;

    CLayoutModel model;
    model.SetImageSize(w, h);
    model.SetGridSize(20, 15, true, true);
    for (int32_t i = 0; i < model.GetRowKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(model.RowKnives()[i]);
    for (int32_t i = 0; i < model.GetColumnKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(model.ColumnKnives()[i]);
    CJigcrafter engine;
    Site site(model, engine);
    CPieceView view(engine);
    CQWF_Image preview;
    preview.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2);
    CQWF_Progress sink;
    using Clock = std::chrono::steady_clock;
    double cutMs = 0, compositeMs = 0;
    const qwp::WorkerScope workers(qwp::ThreadCount());  // the filter call's threads
    for (auto _ : state) {
        CutOutcome out;
        const auto t0 = Clock::now();
        if (!RunCut(engine, site, sink, pic, nullptr, 0, out)) {
            state.SkipWithError("the cut failed");
            break;
        }
        const auto t1 = Clock::now();
        view.CompositePieces(preview, nullptr, 0, QWF_WHOLE_RECT, false, 0, 100);
        benchmark::DoNotOptimize(preview.GetData());
        cutMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        compositeMs += std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
    }
    // The share of the cut with its renders and of the composite into the preview.
    const double runs = static_cast<double>(state.iterations());
    state.counters["cut_render_ms"] = runs > 0 ? cutMs / runs : 0;
    state.counters["composite_ms"] = runs > 0 ? compositeMs / runs : 0;
    state.counters["pieces"] = engine.GetPieceCount();
}
BENCHMARK(BM_CutterCutToPreview)->Args({4000, 3000})->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
namespace {
void BM_EngineRenderComposite(benchmark::State& state)
{
    const bool razor = state.range(0) != 0;
    const int32_t w = 4000, h = 3000;
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    CutPicture pic{w, h, nullptr, 0, {}};
    for (int p = 0; p < 3; ++p) pic.planes[p] = planes.data() + static_cast<size_t>(p) * w * h;
    CLayoutModel model;
    model.SetImageSize(w, h);
    model.SetGridSize(20, 15, true, true);
    for (int32_t i = 0; i < model.GetRowKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(model.RowKnives()[i]);
    for (int32_t i = 0; i < model.GetColumnKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(model.ColumnKnives()[i]);
    CJigcrafter engine;
    TransferKnives(model, engine);
    engine.SetRazorCut(razor);
    CQWF_Image preview;
    preview.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2);
    uint8_t* pp[4];
    for (int i = 0; i < 4; ++i) pp[i] = preview.GetPlane(i);
    const qwp::WorkerScope workers(qwp::ThreadCount());  // the filter call's threads
    for (auto _ : state) {
        engine.FreePieces();
        engine.Cut(w, h, nullptr, 0, pic.planes, w, 3, 5, 80, false);
        std::memset(pp[3], 0, static_cast<size_t>(w) * h);
        engine.RenderAndComposite(w, h, pp, w, 4, nullptr, 0, true, 0, 100, 0, 100);
    }
}
BENCHMARK(BM_EngineRenderComposite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
