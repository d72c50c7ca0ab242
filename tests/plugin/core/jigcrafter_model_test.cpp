// Cutting engine model: grid sizing, knot positions, progress reports and piece records.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "jigcrafter_test_support.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effect_record.h"

namespace {

class RecordingSink : public CQWF_Progress {
public:
    void SetPercent(uint8_t p) override { reports.push_back(p); }
    std::vector<int> reports;
};

TEST(JigcrafterModel, SetGridSizesLatticeAndFamilies)
{
    CJigcrafter e;
    // {cells across, down, extra knives; knots a row, knot rows, x lines, y lines, row knives
    // (x lines x cell rows), column knives (y lines x cell columns)}; line counts are clamped to
    // 0..100.
    const int grids[][9] = {{1, 1, 0, 2, 2, 0, 0, 0, 0}, {150, -3, 0, 102, 2, 100, 0, 100, 0},
                            {5, 3, 7, 6, 4, 4, 2, 4 * 3, 2 * 5}};
    for (const auto& g : grids) {
        ASSERT_TRUE(e.SetGrid(g[0], g[1], g[2]));
        EXPECT_EQ(std::vector<int>({e.GetKnotsPerRow(), e.GetKnotRows(), e.GetXLineCount(), e.GetYLineCount(),
                                    e.GetRowKnifeCount(), e.GetColumnKnifeCount(), e.GetExtraKnifeCount()}),
                  std::vector<int>({g[3], g[4], g[5], g[6], g[7], g[8], g[2]}))
            << g[0];
        EXPECT_EQ(e.GetKnotCount(), g[3] * g[4]);
    }
    EXPECT_EQ(e.GetRowKnives()[11].nodeCount, 0);
    // More than 20,000 extra knives are refused.
    EXPECT_FALSE(e.SetGrid(5, 5, 20001));
    EXPECT_TRUE(e.SetGrid(5, 5, 20000));

    // A block that cannot grow leaves an empty, consistent layout.
    for (long n = 0; n < 4; ++n) {
        qwf::SetAllocFailureAfter(n);
        EXPECT_FALSE(e.SetGrid(8, 8, 3));
        qwf::SetAllocFailureAfter(-1);
        EXPECT_EQ(e.GetKnotCount(), 0);
        EXPECT_EQ(e.GetRowKnifeCount(), 0);
        EXPECT_EQ(e.GetColumnKnifeCount(), 0);
        EXPECT_EQ(e.GetExtraKnifeCount(), 0);
        double x = 1, y = 1;
        e.GetKnotPosition(1, 1, 100, 100, x, y);
        EXPECT_EQ(x, 0.0);
        ASSERT_TRUE(e.SetGrid(5, 5, 2));
    }
}

TEST(JigcrafterModel, KnotPositionsFollowLinesAndOffsets)
{
    CJigcrafter e;
    ASSERT_TRUE(e.SetGrid(3, 2, 0));  // x lines 0.25, 0.5; y line 0.4
    e.GetXLines()[0] = 0.25f;
    e.GetXLines()[1] = 0.5f;
    e.GetYLines()[0] = 0.4f;
    float* k = e.GetKnots();
    const int kpr = e.GetKnotsPerRow();
    double x, y;

    // Corners and edges never leave their edge whatever the offsets.
    for (int i = 0; i < 2 * e.GetKnotCount(); ++i) k[i] = 0.5f;
    e.GetKnotPosition(0, 0, 200, 100, x, y);
    EXPECT_DOUBLE_EQ(x, 0.0);
    EXPECT_DOUBLE_EQ(y, 0.0);
    e.GetKnotPosition(3, 2, 200, 100, x, y);
    EXPECT_DOUBLE_EQ(x, 200.0);
    EXPECT_DOUBLE_EQ(y, 100.0);
    e.GetKnotPosition(0, 1, 200, 100, x, y);
    EXPECT_DOUBLE_EQ(x, 0.0);
    EXPECT_NEAR(y, (0.4 + 0.6 * 0.5) * 100, 1e-4);

    // A positive offset moves towards the next line (or the far edge after the last line)...
    k[2 * (1 * kpr + 1)] = 0.5f;
    e.GetKnotPosition(1, 1, 200, 100, x, y);
    EXPECT_NEAR(x, (0.25 + 0.25 * 0.5) * 200, 1e-4);
    k[2 * (1 * kpr + 2)] = 0.5f;
    e.GetKnotPosition(2, 1, 200, 100, x, y);
    EXPECT_NEAR(x, (0.5 + 0.5 * 0.5) * 200, 1e-4);
    // ...a negative one towards the previous line (or the near edge before the first).
    k[2 * (1 * kpr + 1)] = -0.5f;
    e.GetKnotPosition(1, 1, 200, 100, x, y);
    EXPECT_NEAR(x, (0.25 - 0.25 * 0.5) * 200, 1e-4);
    k[2 * (1 * kpr + 2)] = -1.0f;
    e.GetKnotPosition(2, 1, 200, 100, x, y);
    EXPECT_NEAR(x, 0.25 * 200, 1e-4);
}

TEST(JigcrafterModel, ProgressReportsOnlyChangedPercents)
{
    CJigcrafter e;
    EXPECT_FALSE(e.SetProgress(50, 80, 90));  // no sink: nothing happens
    RecordingSink sink;
    e.SetProgressSink(&sink);
    EXPECT_TRUE(e.SetProgress(50, 80, 90));
    EXPECT_FALSE(e.SetProgress(52, 80, 90));  // 85.2 is 85 again
    EXPECT_TRUE(e.SetProgress(100, 80, 90));
    EXPECT_EQ(sink.reports, (std::vector<int>{85, 90}));
}

TEST(JigcrafterModel, PieceRecordsCarryAppliedSettings)
{
    CJigcrafter e;
    ASSERT_TRUE(jigtest::BuildGrid(e, 2, 1, false));
    e.SetAntiAliasing(false);
    jigtest::Planes img(40, 20);
    ASSERT_TRUE(e.Cut(40, 20, nullptr, 0, img.ptr, 40, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 2);

    // A fresh piece has the bevel on and every other effect off, in both copies.
    const JigPiece* p = e.GetPiece(1);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(p->bevel[c].on, 1);
        EXPECT_EQ(p->bevel[c].depth, 3);
        EXPECT_EQ(p->colourOverlay[c].on + p->imageOverlay[c].on + p->stroke[c].on +
                      p->hsl[c].on + p->opacity[c].on + p->blur[c].on + p->motionBlur[c].on +
                      p->brightContrast[c].on + p->invert[c],
                  0);
        EXPECT_EQ(p->imageOverlay[c].layerId, -1);
        EXPECT_EQ(p->motionBlur[c].angle, 45);
    }
    EXPECT_EQ(p->shown, 1);
    EXPECT_EQ(p->selected, 0);

    PieceEffectRecord r, def;
    ASSERT_TRUE(e.PieceToRecord(1, r));
    qwpiece::DefaultRecord(def);
    def.row = 1;
    def.column = 2;
    EXPECT_EQ(std::memcmp(&r, &def, sizeof r), 0);

    // A record's settings become the settings to apply; the applied ones wait for the render.
    r.blurOn = 1;
    r.blurRadius = 7;
    r.layerId = 42;
    r.shown = 0;
    r.row = 9;
    ASSERT_TRUE(e.RecordToPiece(r, 0));
    const JigPiece* q = e.GetPiece(0);
    EXPECT_EQ(q->blur[kJigToApply].radius, 7);
    EXPECT_EQ(q->imageOverlay[kJigToApply].layerId, 42);
    EXPECT_EQ(q->blur[kJigApplied].on, 0);
    EXPECT_EQ(q->shown, 0);
    EXPECT_EQ(q->row, 1);
    EXPECT_FALSE(e.RecordToPiece(r, 2));
    EXPECT_FALSE(e.PieceToRecord(-1, r));
}

}  // namespace
