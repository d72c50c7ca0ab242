// The Cutter's Cut as the user meets it: the main window's layout handed to the engine, the
// picture cut and every piece rendered, then the pieces composited into the main window's
// preview image.
//
//   bench_cutter_cut          20 x 15 cells (300 pieces) on 4000 x 3000
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "framework/imaging/qwf_image.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/piece_view.h"
#include "plugin/windows/cutter_cut.h"

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
    for (auto _ : state) {
        CutOutcome out;
        if (!RunCut(engine, site, sink, pic, nullptr, 0, out)) {
            state.SkipWithError("the cut failed");
            break;
        }
        view.CompositePieces(preview, nullptr, 0, QWF_WHOLE_RECT, false, 0, 100);
        benchmark::DoNotOptimize(preview.GetData());
    }
    state.counters["pieces"] = engine.GetPieceCount();
}
BENCHMARK(BM_CutterCutToPreview)->Args({4000, 3000})->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
