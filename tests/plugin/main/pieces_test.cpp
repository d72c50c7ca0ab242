// What the selection commands decide over the piece table, and the Puzzle-mode undo state.
#include "plugin/main/pieces_undo.h"
#include "plugin/main/selection_geometry.h"

#include "plugin/core/jigcrafter_test_support.h"
#include "platform/qw_random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace {
// Pieces over masks owned here; the engine's records are plain data.
struct Table {
    std::vector<std::vector<uint8_t>> masks;
    std::vector<std::unique_ptr<CQWF_Mem>> runs;  // the masks as the pieces keep them
    std::vector<JigPiece> pieces;
    // A piece over the rectangle whose pixels are those for which in(x, y) holds.
    template <typename In> void Add(int32_t l, int32_t t, int32_t r, int32_t b, In in)
    {
        JigPiece p{};
        p.left = l;
        p.top = t;
        p.right = r;
        p.bottom = b;
        p.shown = 1;
        masks.emplace_back(static_cast<size_t>(r - l) * (b - t), 0);
        for (int32_t y = t; y < b; ++y)
            for (int32_t x = l; x < r; ++x)
                if (in(x, y)) {
                    masks.back()[static_cast<size_t>(y - t) * (r - l) + (x - l)] = 255;
                    ++p.pixelCount;
                }
        pieces.push_back(p);
    }
    void Bind()
    {
        runs.clear();
        for (size_t i = 0; i < pieces.size(); ++i) BindMask(i);
    }
    void BindMask(size_t i)
    {
        if (runs.size() <= i) runs.resize(pieces.size());
        runs[i] = std::make_unique<CQWF_Mem>();
        JigPiece& p = pieces[i];
        ASSERT_TRUE(CJigcrafter::EncodePieceMask(masks[i].data(), p.Width(), p.Width(),
                                                 p.Height(), *runs[i]));
        p.maskRuns = runs[i]->GetData();
    }
    int32_t Count() const { return static_cast<int32_t>(pieces.size()); }
};

std::set<uint32_t> Set(const CQWF_DWordArray& a)
{
    std::set<uint32_t> s;
    for (size_t i = 0; i < a.GetCount(); ++i)
        s.insert(a.GetAt(i));
    return s;
}

// A grid of square pieces, each cell w x h.
Table Grid(int cols, int rows, int w, int h)
{
    Table t;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            t.Add(c * w, r * h, (c + 1) * w, (r + 1) * h, [](int32_t, int32_t) { return true; });
    t.Bind();
    return t;
}
}  // namespace

TEST(SelectionGeometry, LassoEvenOddAndEdges)
{
    // A pentagram: the tips are inside, the middle is crossed twice and outside.
    const int32_t sx[5] = {50, 79, 2, 98, 21};
    const int32_t sy[5] = {0, 90, 35, 35, 90};
    EXPECT_FALSE(qwsel::PointInLasso(sx, sy, 5, 50, 50));
    EXPECT_TRUE(qwsel::PointInLasso(sx, sy, 5, 50, 20));
    EXPECT_TRUE(qwsel::PointInLasso(sx, sy, 5, 85, 38));
    EXPECT_FALSE(qwsel::PointInLasso(sx, sy, 5, 0, 0));
    EXPECT_FALSE(qwsel::PointInLasso(sx, sy, 0, 50, 20));
    // Half-open edges: the left and top edges belong to a square, the right and bottom don't.
    const int32_t qx[4] = {0, 10, 10, 0};
    const int32_t qy[4] = {0, 0, 10, 10};
    EXPECT_TRUE(qwsel::PointInLasso(qx, qy, 4, 0, 0));
    EXPECT_TRUE(qwsel::PointInLasso(qx, qy, 4, 9, 9));
    EXPECT_FALSE(qwsel::PointInLasso(qx, qy, 4, 10, 5));
    EXPECT_FALSE(qwsel::PointInLasso(qx, qy, 4, 5, 10));
    // Far coordinates do not overflow the crossing.
    const int32_t bx[3] = {-2000000000, 2000000000, -2000000000};
    const int32_t by[3] = {-2000000000, 0, 2000000000};
    EXPECT_TRUE(qwsel::PointInLasso(bx, by, 3, 0, 1000));
    EXPECT_FALSE(qwsel::PointInLasso(bx, by, 3, 1999999999, 1999999));

    EXPECT_TRUE(qwsel::LassoCrossesRect(qx, qy, 4, 5, 5, 20, 20));
    EXPECT_FALSE(qwsel::LassoCrossesRect(qx, qy, 4, 2, 2, 8, 8));   // wholly inside
    EXPECT_FALSE(qwsel::LassoCrossesRect(qx, qy, 4, 20, 20, 30, 30));  // wholly outside
    EXPECT_TRUE(qwsel::LassoCrossesRect(qx, qy, 4, 2, 2, 11, 8));    // right edge at x = 10
}

TEST(SelectionGeometry, PolygonSelectionMatchesEveryPixel)
{
    // Random pieces (some with holes and far from tight boxes) against random polygons: a
    // piece is taken exactly when one of its own pixels lies inside the polygon.
    qwp::SeedRandom(77);
    auto rnd = [](int n) { return qwp::Random15() % n; };
    for (int round = 0; round < 300; ++round) {
        Table t;
        for (int i = 0; i < 25; ++i) {
            const int32_t l = rnd(90), tp = rnd(90);
            const int32_t r = l + 1 + rnd(30), b = tp + 1 + rnd(30);
            const int kind = rnd(3);
            const int32_t cx = l + rnd(r - l), cy = tp + rnd(b - tp);
            t.Add(l, tp, r, b, [&](int32_t x, int32_t y) {
                if (kind == 0)
                    return true;
                if (kind == 1)  // a ring
                    return std::max(std::abs(x - cx), std::abs(y - cy)) % 7 < 2;
                return x == r - 1 || y == b - 1;  // an L along the far edges
            });
            t.pieces.back().selected = static_cast<uint8_t>(rnd(4) == 0);
        }
        t.Bind();
        const int n = 3 + rnd(8);
        std::vector<int32_t> xs(n), ys(n);
        for (int k = 0; k < n; ++k) {
            xs[k] = rnd(150) - 20;
            ys[k] = rnd(150) - 20;
        }
        const uint8_t target = static_cast<uint8_t>(rnd(2));
        const int32_t first = rnd(2);
        CQWF_DWordArray out;
        ASSERT_TRUE(qwsel::PiecesInPolygon(t.pieces.data(), t.Count(), first, xs.data(), ys.data(), n,
                                           110, 110, target, out));
        std::set<uint32_t> expect;
        for (int32_t i = first; i < t.Count(); ++i) {
            const JigPiece& p = t.pieces[i];
            if (p.selected == target)
                continue;
            bool in = false;
            for (int32_t y = std::max(p.top, 0); y < std::min(p.bottom, 110) && !in; ++y)
                for (int32_t x = std::max(p.left, 0); x < std::min(p.right, 110) && !in; ++x)
                    in = t.masks[i][static_cast<size_t>(y - p.top) * p.Width() + (x - p.left)] &&
                         qwsel::PointInLasso(xs.data(), ys.data(), n, x, y);
            if (in)
                expect.insert(static_cast<uint32_t>(i));
        }
        EXPECT_EQ(Set(out), expect) << "round " << round;
    }
}

TEST(SelectionGeometry, RangeRectanglePointAndMasks)
{
    // 4 x 3 pieces of 10 x 10; piece 0 stands for the knife lines while razor cut is off.
    Table t = Grid(4, 3, 10, 10);
    CQWF_DWordArray out;
    // A range between two pieces of one row takes that row only.
    ASSERT_TRUE(qwsel::PiecesInRange(t.pieces.data(), 12, 1, 5, 7, 1, out));
    EXPECT_EQ(Set(out), (std::set<uint32_t>{5, 6, 7}));
    // A piece of the next row counts only when more than half of its pixels lie in the box.
    t.masks[9].assign(100, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (y < 6 || x < 4)
                t.masks[9][y * 10 + x] = 255;
    t.pieces[9] = JigPiece{};
    t.pieces[9].left = 10;
    t.pieces[9].top = 20;
    t.pieces[9].right = 20;
    t.pieces[9].bottom = 30;
    t.pieces[9].pixelCount = 60 + 16;
    t.BindMask(9);
    out.RemoveAll();
    ASSERT_TRUE(qwsel::PiecesInRange(t.pieces.data(), 12, 1, 5, 6, 1, out));
    EXPECT_EQ(Set(out), (std::set<uint32_t>{5, 6}));
    // Exactly half of a piece's pixels in the box is not more than half: of two 20 x 10 pieces
    // across the box of pieces 0 and 1 (0..20 x 0..10), the one from row 5 has 100 of its 200
    // pixels inside, the one from row 4 has 120.
    Table h;
    const auto all = [](int32_t, int32_t) { return true; };
    for (const QWF_Rect& r : {QWF_Rect{0, 0, 10, 10}, QWF_Rect{10, 0, 20, 10}, QWF_Rect{0, 5, 20, 15}, QWF_Rect{0, 4, 20, 14}})
        h.Add(r.left, r.top, r.right, r.bottom, all);
    h.Bind();
    out.RemoveAll();
    ASSERT_TRUE(qwsel::PiecesInRange(h.pieces.data(), 4, 0, 0, 1, 1, out));
    EXPECT_EQ(Set(out), (std::set<uint32_t>{0, 1, 3}));
    // An anchor from an earlier, larger table is refused.
    out.RemoveAll();
    ASSERT_TRUE(qwsel::PiecesInRange(t.pieces.data(), 12, 1, 12, 3, 1, out));
    ASSERT_TRUE(qwsel::PiecesInRange(t.pieces.data(), 12, 1, 3, 40000, 1, out));
    EXPECT_EQ(out.GetCount(), 0u);

    // A band over the whole image takes every piece but the knife lines.
    t = Grid(4, 3, 10, 10);
    t.pieces[4].selected = 1;
    ASSERT_TRUE(qwsel::PiecesInRect(t.pieces.data(), 12, 1, {-50, -50, 500, 500}, 40, 30, 1, out));
    EXPECT_EQ(out.GetCount(), 10u);
    EXPECT_EQ(Set(out).count(0), 0u);
    out.RemoveAll();
    ASSERT_TRUE(qwsel::PiecesInRect(t.pieces.data(), 12, 0, {9, 9, 11, 11}, 40, 30, 0, out));
    EXPECT_EQ(Set(out), (std::set<uint32_t>{4}));  // only the selected piece changes

    EXPECT_EQ(qwsel::PieceAtPoint(t.pieces.data(), 12, 35, 25), 11);
    EXPECT_EQ(qwsel::PieceAtPoint(t.pieces.data(), 12, 40, 25), -1);
    QWF_Rect r = qwsel::GetPieceMaskBounds(t.pieces.data(), 12, 12);
    EXPECT_EQ(r.left, -32000);
    EXPECT_EQ(qwsel::GetPieceMaskBounds(t.pieces.data(), 12, 0).right, 10);  // the first piece's
    t.masks[2].assign(100, 0);
    t.masks[2][3 * 10 + 4] = 255;
    t.BindMask(2);
    r = qwsel::GetPieceMaskBounds(t.pieces.data(), 12, 2);
    EXPECT_EQ(r.left, 24);
    EXPECT_EQ(r.bottom, 4);
    t.masks[2].assign(100, 0);
    t.BindMask(2);
    r = qwsel::GetPieceMaskBounds(t.pieces.data(), 12, 2);
    EXPECT_EQ(r.left, 1000000);
    EXPECT_EQ(r.right, -1000000);

    std::vector<uint8_t> channel(40 * 30, 200);
    channel[25 * 40 + 35] = 10;
    EXPECT_TRUE(qwsel::PieceTouchesMask(t.pieces[11], channel.data(), 40, 30, 128, false));
    EXPECT_FALSE(qwsel::PieceTouchesMask(t.pieces[10], channel.data(), 40, 30, 128, false));
    EXPECT_TRUE(qwsel::PieceTouchesMask(t.pieces[10], channel.data(), 40, 30, 128, true));
    EXPECT_FALSE(qwsel::PieceTouchesMask(t.pieces[11], channel.data(), 30, 20, 128, false));
}

TEST(SelectionGeometry, RandomShares)
{
    Table t = Grid(6, 5, 2, 2);  // 30 pieces: one in twenty is one
    CQWF_DWordArray out;
    qwp::SeedRandom(8);
    ASSERT_TRUE(qwsel::PiecesRandom(t.pieces.data(), 30, 1, out));
    EXPECT_EQ(out.GetCount(), 1u);
    t = Grid(20, 10, 1, 1);  // 200 pieces, 3 unselected: those 3
    for (JigPiece& p : t.pieces)
        p.selected = 1;
    t.pieces[7].selected = t.pieces[100].selected = t.pieces[199].selected = 0;
    out.RemoveAll();
    ASSERT_TRUE(qwsel::PiecesRandom(t.pieces.data(), 200, 1, out));
    EXPECT_EQ(Set(out), (std::set<uint32_t>{7, 100, 199}));

    // Draws reach past the generator's 15 bits, and each entry is chosen once.
    std::set<size_t> chosen;
    ASSERT_TRUE(qwsel::PickRandom(200000, 10000, [&](size_t i) {
        EXPECT_LT(i, 200000u);
        EXPECT_TRUE(chosen.insert(i).second);
    }));
    EXPECT_EQ(chosen.size(), 10000u);
    EXPECT_GT(*chosen.rbegin(), 100000u);
    chosen.clear();
    ASSERT_TRUE(qwsel::PickRandom(5, 5, [&](size_t i) { chosen.insert(i); }));
    EXPECT_EQ(chosen.size(), 5u);
}

namespace {
struct Recorder : CPiecesUndo::CVisitor {
    std::vector<int> selection, shown, render;
    bool OnPieceSwapped(int32_t i, bool sel, bool sh, bool rn) override
    {
        if (sel)
            selection.push_back(i);
        if (sh)
            shown.push_back(i);
        if (rn)
            render.push_back(i);
        return true;
    }
};

// An engine with 3 x 2 pieces, every piece rendered once.
void CutSix(CJigcrafter& e, jigtest::Planes& img)
{
    ASSERT_TRUE(jigtest::BuildGrid(e, 3, 2, false));
    ASSERT_TRUE(e.Cut(60, 40, nullptr, 0, img.ptr, 60, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 6);
    for (int32_t i = 0; i < 6; ++i)
        ASSERT_TRUE(e.RenderPiece(i));
}
}  // namespace

TEST(PiecesUndo, KeepsChangesAndSwapsBothWays)
{
    CJigcrafter e;
    jigtest::Planes img(60, 40);
    CutSix(e, img);
    CPiecesUndo undo;
    int32_t current = 2;

    // A change that changes nothing keeps no state.
    ASSERT_TRUE(undo.Begin(e, current));
    EXPECT_FALSE(undo.End(e, true));
    EXPECT_FALSE(undo.HasState());

    // Select piece 1, hide piece 4, blur piece 5 (rendered, as the commands do).
    ASSERT_TRUE(undo.Begin(e, current));
    e.GetPiece(1)->selected = 1;
    e.GetPiece(4)->shown = 0;
    e.GetPiece(5)->blur[kJigToApply].on = 1;
    e.GetPiece(5)->blur[kJigToApply].radius = 3;
    ASSERT_TRUE(e.RenderPiece(5));
    EXPECT_FALSE(PieceNeedsRender(*e.GetPiece(5), true));
    current = 5;
    ASSERT_TRUE(undo.End(e, true));

    // A later change undone by hand keeps the earlier state in place.
    ASSERT_TRUE(undo.Begin(e, current));
    e.GetPiece(0)->selected = 1;
    e.GetPiece(0)->selected = 0;
    EXPECT_FALSE(undo.End(e, true));
    EXPECT_TRUE(undo.HasState());

    Recorder r;
    ASSERT_TRUE(undo.Swap(e, true, current, &r));
    EXPECT_EQ(current, 2);
    EXPECT_EQ(r.selection, std::vector<int>{1});
    EXPECT_EQ(r.shown, std::vector<int>{4});
    EXPECT_EQ(r.render, std::vector<int>{5});
    EXPECT_EQ(e.GetPiece(1)->selected, 0);
    EXPECT_EQ(e.GetPiece(4)->shown, 1);
    EXPECT_EQ(e.GetPiece(5)->blur[kJigToApply].on, 0);
    ASSERT_TRUE(e.RenderPiece(5));

    Recorder redo;
    ASSERT_TRUE(undo.Swap(e, true, current, &redo));
    EXPECT_EQ(current, 5);
    EXPECT_EQ(redo.render, std::vector<int>{5});
    EXPECT_EQ(e.GetPiece(1)->selected, 1);
    EXPECT_EQ(e.GetPiece(5)->blur[kJigToApply].radius, 3);

    // Hue differences need no render on a grey or CMYK image; another table takes no state.
    JigPiece& p = *e.GetPiece(3);
    p.hsl[kJigToApply].on = p.hsl[kJigApplied].on = 1;
    p.hsl[kJigToApply].hue = 40;
    EXPECT_TRUE(PieceNeedsRender(p, true));
    EXPECT_FALSE(PieceNeedsRender(p, false));
    p.hsl[kJigToApply].hue = p.hsl[kJigApplied].hue;
    p.colourOverlay[kJigToApply].grey = 9;  // not a compared byte
    EXPECT_FALSE(PieceNeedsRender(p, true));
    p.stroke[kJigToApply].on = p.stroke[kJigApplied].on = 1;
    p.stroke[kJigToApply].opacity = static_cast<uint8_t>(p.stroke[kJigApplied].opacity + 1);  // the opacity alone
    EXPECT_TRUE(PieceNeedsRender(p, true));
    ASSERT_TRUE(jigtest::BuildGrid(e, 2, 2, false));
    ASSERT_TRUE(e.Cut(60, 40, nullptr, 0, img.ptr, 60, 3, 0, 100, false));
    Recorder none;
    EXPECT_TRUE(undo.Swap(e, true, current, &none));
    EXPECT_TRUE(none.selection.empty() && none.render.empty());
    EXPECT_EQ(current, 5);
    EXPECT_FALSE(undo.End(e, true));  // no snapshot of this table
    EXPECT_FALSE(undo.HasState());
}
