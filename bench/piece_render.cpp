// Puzzle mode's render loop: one effect switched on one piece and on every piece of a cut of
// 2,000 pieces (50 x 40 cells over 1600 x 1200), rendered and composited into the preview's
// image as the main window does it; and one piece changed in a list of every piece, as Paste
// and Reset hand the loop the whole selection (only the changed piece is composited again).
//
//   bench_piece_render
#include <benchmark/benchmark.h>

#include <vector>

#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/piece_view.h"
#include "platform/qw_threads.h"

namespace {
constexpr int W = 1600, H = 1200;

// Argument: 0 one piece switched, 1 every piece switched, 2 one piece switched and every piece
// listed.
void BM_RenderOneEffectChange(benchmark::State& state)
{
    const bool all = state.range(0) == 1;
    const bool listAll = state.range(0) == 2;
    CLayoutModel m;
    m.SetImageSize(W, H);
    m.SetGridSize(50, 40, true, true);
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    CJigcrafter e;
    std::vector<uint8_t> data(static_cast<size_t>(W) * H * 3);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + i / 1601);
    const uint8_t* planes[3] = {&data[0], &data[static_cast<size_t>(W) * H], &data[2 * static_cast<size_t>(W) * H]};
    if (!TransferKnives(m, e) || !e.Cut(W, H, nullptr, 0, planes, W, 3, 0, 100, true)) {
        state.SkipWithError("the cut failed");
        return;
    }
    CPieceView view(e);
    view.SetImageSize(W, H);
    view.RebuildMarks();
    CQWF_Image target;
    target.Create(W, H, 2);
    target.Fill(0);
    view.SetCompositeTarget(&target, nullptr, 0, true);
    view.CompositePieces(target, nullptr, 0, QWF_WHOLE_RECT, false, 0, 100);
    const int32_t piece = e.GetPieceCount() / 2;
    CQWF_DWordArray every;
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) every.Add(static_cast<uint32_t>(i));
    bool on = true;
    const qwp::WorkerScope workers(qwp::ThreadCount());  // the filter call's threads
    for (auto _ : state) {
        CQWF_DWordArray changed;
        view.SetPiecesEffect(6, true, on, all ? -1 : piece, changed);
        const CQWF_DWordArray& list = listAll ? every : changed;
        if (!view.RenderPieces(static_cast<const int32_t*>(list.GetPtr(0)),
                               static_cast<int32_t>(list.GetCount()), false, false)) {
            state.SkipWithError("a render failed");
            break;
        }
        on = !on;
    }
    state.counters["pieces"] = e.GetPieceCount();
}
BENCHMARK(BM_RenderOneEffectChange)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
