// Layout editing: the recalculation every edit ends with, on the largest grid, and a lasso
// selection deciding over many pieces.
#include "plugin/main/layout_model.h"
#include "plugin/main/selection_geometry.h"

#include "platform/qw_random.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {
// A 100 x 100 grid (19,800 knives) with the default tab on every knife, on a 4000 x 3000 image
// shown 1:1; soft knives (razor cut off), so progress is reported too.
void BM_RecalcLayout(benchmark::State& state)
{
    CLayoutModel m;
    m.SetImageSize(4000, 3000);
    qwp::SeedRandom(1);
    m.SetKnotAmplitude(0.3f);
    m.SetGridSize(100, 100, true, true);
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(m.RowKnives()[i]);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        CLayoutModel::DefaultKnifeShape(m.ColumnKnives()[i]);
    m.SetFlag(CLayoutModel::kFlagRazor, static_cast<uint8_t>(state.range(0)));
    m.ShowKnots(true, false);
    const LayoutView view{0, 0, 4000, 3000, 0, 0, 4000, 3000};
    for (auto _ : state) {
        m.RecalcLayout(view, true);
        benchmark::DoNotOptimize(m.GetKnotHitCount());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            (m.GetRowKnifeCount() + m.GetColumnKnifeCount()));
}
BENCHMARK(BM_RecalcLayout)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 10,000 pieces of 40 x 30 (a 100 x 100 grid of a 4000 x 3000 image) with round-ish masks,
// and a lasso of 400 points around the middle of the image.
void BM_LassoSelection(benchmark::State& state)
{
    const int cols = 100, rows = 100, w = 40, h = 30;
    std::vector<uint8_t> masks(static_cast<size_t>(cols) * rows * w * h);
    std::vector<JigPiece> pieces(static_cast<size_t>(cols) * rows);
    std::vector<CQWF_Mem> runs(pieces.size());  // the masks as the pieces keep them
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            JigPiece& p = pieces[static_cast<size_t>(r) * cols + c];
            p = JigPiece{};
            p.left = c * w;
            p.top = r * h;
            p.right = p.left + w;
            p.bottom = p.top + h;
            uint8_t* mask = masks.data() + (static_cast<size_t>(r) * cols + c) * w * h;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
                    if (dx * dx + dy * dy < 1.1) {
                        mask[y * w + x] = 255;
                        ++p.pixelCount;
                    }
                }
            CJigcrafter::EncodePieceMask(mask, w, w, h, runs[static_cast<size_t>(r) * cols + c]);
            p.maskRuns = runs[static_cast<size_t>(r) * cols + c].GetData();
        }
    const int n = 400;
    std::vector<int32_t> xs(n), ys(n);
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * 3.14159265358979 * k / n;
        const double rad = 1000.0 + 300.0 * std::sin(7 * a);
        xs[k] = static_cast<int32_t>(2000 + rad * std::cos(a));
        ys[k] = static_cast<int32_t>(1500 + 0.8 * rad * std::sin(a));
    }
    size_t taken = 0;
    for (auto _ : state) {
        CQWF_DWordArray out;
        qwsel::PiecesInPolygon(pieces.data(), static_cast<int32_t>(pieces.size()), 0, xs.data(),
                               ys.data(), n, 4000, 3000, 1, out);
        taken = out.GetCount();
        benchmark::DoNotOptimize(taken);
    }
    state.counters["pieces_taken"] = static_cast<double>(taken);
}
BENCHMARK(BM_LassoSelection)->Unit(benchmark::kMillisecond);
}  // namespace
