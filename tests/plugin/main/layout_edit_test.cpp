// Editing the layout's knives and knots: the recalculation, the knife hit test and the
// operations on the knives' flags.
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_test_support.h"

#include "platform/qw_random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {
struct DrawSink : CLayoutModelSink {
    std::vector<KnotHit> markers;
    std::vector<int> progress;
    int knives = 0;
    int selectionShown = 0;
    int fades = 0;
    int repaints = 0;
    void BeginLayoutDrawing(bool, bool) override
    {
        markers.clear();
        progress.clear();
        knives = 0;
        selectionShown = 0;
    }
    void ShowSelectionLayer() override { ++selectionShown; }
    void DrawKnifeCurve(const KnifeRecord&, double, double, double, double) override { ++knives; }
    void DrawKnotMarker(const KnotHit& h, double, double, bool) override { markers.push_back(h); }
    void SetProgressText(const char* text, int percent) override
    {
        EXPECT_STREQ(text, "The Splitter's calculation is in progress:");
        progress.push_back(percent);
    }
    void FadeStatus() override { ++fades; }
    void RepaintPreview() override { ++repaints; }
};

LayoutView WholeView(double w, double h) { return {0, 0, w, h, 0, 0, w, h}; }

int Selected(const CLayoutModel& m) { return layouttest::SelectedCount(m); }
}  // namespace

TEST(LayoutRecalc, PositionsLengthsMarkersAndProgress)
{
    DrawSink sink;
    CLayoutModel m;
    m.SetSink(&sink);
    m.SetImageSize(400, 300);
    qwp::SeedRandom(5);
    m.SetKnotAmplitude(0.4f);
    ASSERT_TRUE(m.SetGridSize(4, 3, true, true));
    m.AddExtraKnife(0, 2 * 5 + 2);
    m.ShowKnots(true, false);
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    m.RowKnives()[3].selected = 1;
    m.ColumnKnives()[1].selected = 1;

    // Zoom 5 doubles the image; the preview shows all of it from preview pixel (20, 10).
    m.SetZoom(5);
    m.RecalcLayout({20, 10, 820, 610, 0, 0, 400, 300}, true);
    const double ox = -20, oy = -10;
    EXPECT_EQ(m.GetScaledWidth(), 800);
    EXPECT_EQ(m.GetOriginX(), ox);
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i) {
        const int32_t row = i / 3, line = i % 3;
        double ax, ay, bx, by;
        m.GetKnotPosition(line + 1, row, 800, 600, ox, oy, ax, ay);
        m.GetKnotPosition(line + 1, row + 1, 800, 600, ox, oy, bx, by);
        EXPECT_NEAR(m.RowKnives()[i].length, std::hypot(bx - ax, by - ay), 1e-3);
        EXPECT_EQ(m.Knots()[row * 5 + line + 1].viewX, ax);
    }
    EXPECT_GT(m.ExtraKnives()[0].knife.length, 0.0f);
    EXPECT_EQ(sink.knives, 9 + 8 + 1);
    EXPECT_EQ(sink.selectionShown, 1);

    // Every knot gets one marker (the preview shows the whole image), the corners flagged.
    std::set<int32_t> knots;
    int corners = 0;
    for (const KnotHit& h : sink.markers) {
        knots.insert(h.knot);
        corners += h.corner;
        EXPECT_LE(h.right - h.left, 7);
    }
    EXPECT_EQ(sink.markers.size(), 20u);
    EXPECT_EQ(knots.size(), 20u);
    EXPECT_EQ(corners, 4);
    ASSERT_EQ(m.GetKnotHitCount(), 20u);

    // Soft knives report progress, rising, and fade the status afterwards.
    ASSERT_FALSE(sink.progress.empty());
    EXPECT_EQ(sink.progress.front(), 0);
    for (size_t i = 1; i < sink.progress.size(); ++i)
        EXPECT_GT(sink.progress[i], sink.progress[i - 1]);
    EXPECT_LT(sink.progress.back(), 100);
    EXPECT_EQ(sink.fades, 1);

    // The visible part scrolled to image pixel (50, 20) at preview pixel (10, 30). Razor knives
    // of a small layout report nothing; markers outside the preview are dropped.
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    m.RecalcLayout({10, 30, 200, 200, 50, 20, 450, 320}, false);
    EXPECT_EQ(m.GetOriginX(), 100 - 10);
    EXPECT_EQ(m.GetOriginY(), 40 - 30);
    EXPECT_TRUE(sink.progress.empty());
    EXPECT_LT(sink.markers.size(), 20u);
    for (const KnotHit& h : sink.markers)
        EXPECT_TRUE(h.left >= 10 && h.left < h.right && h.right <= 200 && h.top >= 30 && h.top < h.bottom &&
                    h.bottom <= 200);

    // A layout without knives divides nothing by zero, even with soft knives.
    ASSERT_TRUE(m.SetGridSize(1, 1, true, true));
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    m.SetZoom(4);
    m.RecalcLayout(WholeView(400, 300), true);
    EXPECT_TRUE(sink.progress.empty());
    EXPECT_EQ(sink.markers.size(), 4u);
}

TEST(LayoutRecalc, OutlinesAndKnifeHits)
{
    CLayoutModel m;
    m.SetImageSize(200, 200);
    ASSERT_TRUE(m.SetGridSize(2, 2, true, true));
    KnifeRecord a{};
    CLayoutModel::DefaultKnifeShape(a);
    a.tipsSize = 70;
    KnifeRecord b = a;
    b.flipAcross = b.flipAlong = 1;
    // Both flips drawn from A to B give the knife without flags drawn from B to A.
    ASSERT_TRUE(m.BuildKnifeOutline(a, 10, 20, 150, 60));
    ASSERT_TRUE(m.BuildKnifeOutline(b, 150, 60, 10, 20));
    auto near = [](const KnifeRecord& from, const KnifeRecord& to) {
        const double* p = reinterpret_cast<const double*>(from.pOutline->GetData());
        const double* q = reinterpret_cast<const double*>(to.pOutline->GetData());
        double worst = 0.0;
        for (int64_t i = 0; i < from.outlinePoints; ++i) {
            double best = 1e9;
            for (int64_t j = 0; j + 1 < to.outlinePoints; ++j) {
                double d, t;
                CQWF_2DMath::DistanceToSegment(q[2 * j], q[2 * j + 1], q[2 * j + 2], q[2 * j + 3],
                                               p[2 * i], p[2 * i + 1], d, t);
                t = std::clamp(t, 0.0, 1.0);
                const double fx = q[2 * j] + t * (q[2 * j + 2] - q[2 * j]) - p[2 * i];
                const double fy = q[2 * j + 1] + t * (q[2 * j + 3] - q[2 * j + 1]) - p[2 * i + 1];
                best = std::min(best, std::hypot(fx, fy));
            }
            worst = std::max(worst, best);
        }
        return worst;
    };
    ASSERT_GT(a.outlinePoints, 4);
    EXPECT_LT(near(a, b), 0.5);
    EXPECT_LT(near(b, a), 0.5);
    // Tips size 70 scales the knob about the nodes' mean U (0.5): the knife whose nodes were
    // scaled so by hand, at tips size 100, is the same curve.
    KnifeRecord c{};
    CLayoutModel::DefaultKnifeShape(c);
    for (int i = 0; i < c.nodeCount; ++i) {
        c.U[i] = 0.5f + 0.7f * (c.U[i] - 0.5f);
        c.H[i] *= 0.7f;
    }
    ASSERT_TRUE(m.BuildKnifeOutline(c, 10, 20, 150, 60));
    EXPECT_LT(near(a, c), 0.5);
    EXPECT_LT(near(c, a), 0.5);
    delete a.pOutline;
    delete b.pOutline;
    delete c.pOutline;

    // A straight knife caches its two ends; coinciding ends build nothing.
    KnifeRecord& straight = m.RowKnives()[0];
    ASSERT_TRUE(m.BuildKnifeOutline(straight, 100, 0, 100, 100));
    EXPECT_EQ(straight.outlinePoints, 2);
    EXPECT_FALSE(m.BuildKnifeOutline(m.RowKnives()[1], 5, 5, 5, 5));

    // Tolerance: 5 pixels with razor cut, half the zoomed thickness above 9 pixels.
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    straight.thickness = 30;
    EXPECT_TRUE(m.HitTestKnife(straight, 105, 50));
    EXPECT_FALSE(m.HitTestKnife(straight, 106, 50));
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    EXPECT_TRUE(m.HitTestKnife(straight, 115, 50));
    EXPECT_FALSE(m.HitTestKnife(straight, 116, 50));
    EXPECT_FALSE(m.HitTestKnife(straight, 100, 120));  // beyond the segment's end
    m.SetZoom(3);  // 30 pixels drawn 15 wide: 7.5
    EXPECT_TRUE(m.HitTestKnife(straight, 107, 50));
    EXPECT_FALSE(m.HitTestKnife(straight, 108, 50));
    m.SetZoom(4);

    // CollectKnivesAt lists rows, then columns, then extras, by id.
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    m.AddExtraKnife(0, 8);  // corner to corner through the centre
    m.RecalcLayout(WholeView(200, 200), true);
    CQWF_DWordArray ids;
    ASSERT_TRUE(m.CollectKnivesAt(100, 100, ids));
    ASSERT_EQ(ids.GetCount(), 5u);
    const uint32_t expected[] = {0, 1, 1000000, 1000001, 2000000};
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(ids.GetAt(i), expected[i]) << i;
    EXPECT_FALSE(m.CollectKnivesAt(30, 60, ids));
    EXPECT_EQ(m.GetKnifeById(2000000), &m.ExtraKnives()[0].knife);
    EXPECT_EQ(m.GetKnifeById(2000001), nullptr);
}

TEST(LayoutKnifeFlags, RandomShareScopeAndLines)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));  // 12 row + 12 column knives
    for (int i = 0; i < 6; ++i) {
        m.AddExtraKnife(i, i + 12);
    }
    ASSERT_EQ(m.GetExtraKnifeCount(), 6);  // 30 knives: one in twenty is one
    qwp::SeedRandom(11);
    m.SelectKnivesRandom(1, false);
    EXPECT_EQ(Selected(m), 1);

    // 1000 knives with 10 unselected: selecting at random takes all 10.
    ASSERT_TRUE(m.SetGridSize(23, 23, true, true));  // 2 x 22 x 23 = 1012 knives
    m.SelectKnives(1, false, true, true, true);
    for (int i = 0; i < 10; ++i)
        m.RowKnives()[i * 7].selected = 0;
    m.SelectKnivesRandom(1, false);
    EXPECT_EQ(Selected(m), 1012);
    m.SelectKnivesRandom(0, false);
    EXPECT_EQ(Selected(m), 1012 - 50);

    // Keeping to the selection with nothing selected acts on every knife (what the selection
    // items do is in the main window's tests).
    ASSERT_TRUE(m.SetGridSize(3, 3, true, true));
    m.ShowKnives(false, true);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        EXPECT_EQ(m.ColumnKnives()[i].hidden, 1);
    m.ColumnKnives()[2].selected = 1;
    m.UpdateSelectionState();
    m.ReverseKnivesVisibility(true);
    EXPECT_EQ(m.ColumnKnives()[2].hidden, 0);
    EXPECT_EQ(m.ColumnKnives()[3].hidden, 1);

    // Lines: x line 1 is the row knife of knot column 2 in every row; a line past the grid
    // changes nothing but still refreshes the selection summary.
    m.SelectKnives(0, false, true, true, true);
    m.SelectKnifeLine(1, false, 1, false);
    EXPECT_EQ(m.RowKnives()[1].selected + m.RowKnives()[3].selected + m.RowKnives()[5].selected, 3);
    EXPECT_EQ(Selected(m), 3);
    m.SelectKnifeLine(0, true, 1, false);
    EXPECT_EQ(m.ColumnKnives()[0].selected + m.ColumnKnives()[2].selected, 2);
    m.SelectKnives(0, false, true, true, true);
    m.SetFlag(CLayoutModel::kFlagSelected, 1);
    m.SelectKnifeLine(2, true, 1, false);
    EXPECT_EQ(Selected(m), 0);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagSelected), 0);
}

TEST(LayoutKnifeFlags, FlipsLeaveOrChangeExtraKnives)
{
    CLayoutModel m;
    ASSERT_TRUE(m.SetGridSize(3, 2, true, true));  // 4 row knives, 3 column knives
    m.AddExtraKnife(0, 6);
    KnifeRecord& extra = m.ExtraKnives()[0].knife;
    extra.flipAcross = 1;
    m.FlipKnivesInterleaved(true, true, true, false);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(m.RowKnives()[i].flipAcross, i % 2);
        EXPECT_EQ(m.RowKnives()[i].flipAlong, i % 2);
    }
    EXPECT_EQ(m.ColumnKnives()[1].flipAcross, 1);
    m.ClearKnivesFlip(true, false, true, false);
    EXPECT_EQ(m.RowKnives()[1].flipAcross, 0);
    EXPECT_EQ(m.RowKnives()[1].flipAlong, 1);
    EXPECT_EQ(extra.flipAcross, 1);  // extra knives keep their flips
    EXPECT_EQ(extra.flipAlong, 0);
    m.ToggleKnivesFlip(true, true, true, false);
    EXPECT_EQ(extra.flipAcross, 0);
    EXPECT_EQ(extra.flipAlong, 1);
    EXPECT_EQ(m.RowKnives()[1].flipAlong, 0);

    // Random flips reach every family; with one knife selected only that one.
    qwp::SeedRandom(2);
    int changed = 0;
    for (int rep = 0; rep < 20; ++rep) {
        const uint8_t before = extra.flipAcross;
        m.FlipKnivesRandom(true, false, true, false);
        changed += extra.flipAcross != before;
    }
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, 20);
    m.ColumnKnives()[0].selected = 1;
    m.UpdateSelectionState();
    const uint8_t rowFlip = m.RowKnives()[0].flipAlong;
    for (int rep = 0; rep < 10; ++rep)
        m.FlipKnivesRandom(false, true, true, false);
    EXPECT_EQ(m.RowKnives()[0].flipAlong, rowFlip);
}

TEST(LayoutKnifeFlags, ClickSelectionById)
{
    CLayoutModel m;
    CutterState cutter{};
    m.SetCutter(&cutter);
    struct : CLayoutModelSink {
        int shapes = 0;
        void CutterSetShape(const KnifeShape&) override { ++shapes; }
    } sink;
    m.SetSink(&sink);
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));  // x lines 3: row knife k at (2(k%3)+1, 2(k/3))
    m.AddExtraKnife(0, 12);
    const uint32_t row1 = 1, row10 = 10, col0 = 1000000, extra = 2000000;

    // A plain click selects the knife alone and loads it into the Cutter.
    m.SelectKnivesById(false, false, false, &row1, 1, false, 0, false);
    EXPECT_EQ(Selected(m), 1);
    EXPECT_EQ(m.GetLastKnife(), 1);
    EXPECT_TRUE(m.GetLastKnifeIsRow());
    EXPECT_EQ(sink.shapes, 1);
    // Shift extends a range from the last clicked knife over the doubled lattice: row knives
    // 1, 4, 7 and 10 lie at x = 3 between y = 0 and y = 6, no column knife does.
    m.SelectKnivesById(false, true, false, &row10, 1, true, 0, false);
    EXPECT_EQ(Selected(m), 4);
    EXPECT_EQ(m.RowKnives()[7].selected, 1);
    EXPECT_EQ(m.GetLastKnife(), 10);
    // Shift skips extra knives; Ctrl toggles one knife.
    m.SelectKnivesById(false, true, false, &extra, 1, true, 0, false);
    EXPECT_EQ(m.ExtraKnives()[0].knife.selected, 0);
    m.SelectKnivesById(true, false, false, &col0, 1, true, 1, false);
    EXPECT_EQ(m.ColumnKnives()[0].selected, 1);
    m.SelectKnivesById(true, false, false, &col0, 1, false, 1, false);
    EXPECT_EQ(m.ColumnKnives()[0].selected, 0);  // without keep-Cutter Ctrl inverts
    EXPECT_EQ(m.GetLastKnife(), 0);
    EXPECT_FALSE(m.GetLastKnifeIsRow());
    // Shift with Alt deselects the range from column knife 0 (0, 1) to row knife 10 (3, 6).
    m.SelectKnivesById(false, true, true, &row10, 1, true, 0, false);
    EXPECT_EQ(Selected(m), 1);
    EXPECT_EQ(m.RowKnives()[1].selected, 1);
    EXPECT_EQ(m.GetLastKnife(), 10);
    // Ctrl with Shift flips across, with Alt too along; Alt alone does nothing.
    m.SelectKnivesById(true, true, false, &extra, 1, true, 0, false);
    EXPECT_EQ(m.ExtraKnives()[0].knife.flipAcross, 1);
    m.SelectKnivesById(true, true, true, &extra, 1, true, 0, false);
    EXPECT_EQ(m.ExtraKnives()[0].knife.flipAlong, 1);
    m.SelectKnivesById(false, false, true, &row10, 1, true, 0, false);
    EXPECT_EQ(Selected(m), 1);
}

TEST(LayoutKnifeFlags, ChannelSelectionByKnots)
{
    CLayoutModel m;
    m.SetImageSize(40, 40);
    ASSERT_TRUE(m.SetGridSize(4, 4, true, true));  // knots every 10 pixels
    m.AddExtraKnife(0, 24);
    // Inside (below 128) in the left half only: 127 there, 128 in the right half.
    std::vector<uint8_t> mask(40 * 40, 128);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 20; ++x)
            mask[y * 40 + x] = 127;
    m.SelectKnivesByChannel(0, false, mask.data(), 40, 40);
    // A knife is taken when one of its knots is inside: knot columns 0 and 1 (x 0, 10).
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
        EXPECT_EQ(m.RowKnives()[i].selected, i % 3 == 0 ? 1 : 0) << i;
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        EXPECT_EQ(m.ColumnKnives()[i].selected, i % 4 <= 1 ? 1 : 0) << i;
    EXPECT_EQ(m.ExtraKnives()[0].knife.selected, 1);
    const int before = Selected(m);
    // Intersect keeps only knives with both knots inside; inverted mask everywhere inside
    // keeps everything.
    std::vector<uint8_t> full(40 * 40, 255);
    m.SelectKnivesByChannel(3, true, full.data(), 40, 40);
    EXPECT_EQ(Selected(m), before);
    m.SelectKnivesByChannel(3, false, mask.data(), 40, 40);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        EXPECT_EQ(m.ColumnKnives()[i].selected, i % 4 == 0 ? 1 : 0) << i;
    EXPECT_EQ(m.ExtraKnives()[0].knife.selected, 0);
    m.SelectKnivesByChannel(2, false, mask.data(), 40, 40);
    EXPECT_EQ(Selected(m), 0);
}
