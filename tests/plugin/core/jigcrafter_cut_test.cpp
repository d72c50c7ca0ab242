// Cutting: knife mask, hole closing, labelling and the piece table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "jigcrafter_test_support.h"
#include "plugin/core/jigcrafter.h"
#include "platform/qw_cpu.h"

namespace {

using jigtest::BuildGrid;
using jigtest::Planes;

// Per image pixel: how many pieces hold it, and the sum of their cut-mask values.
struct Coverage {
    std::vector<int> owners;
    std::vector<int> sum;
    std::vector<int> fullOwners;  // pieces holding the pixel at 255
};

Coverage Cover(const CJigcrafter& e, int32_t w, int32_t h, int firstPiece = 0)
{
    Coverage c;
    c.owners.assign(static_cast<size_t>(w) * h, 0);
    c.sum.assign(static_cast<size_t>(w) * h, 0);
    c.fullOwners.assign(static_cast<size_t>(w) * h, 0);
    for (int i = firstPiece; i < e.GetPieceCount(); ++i) {
        const JigPiece* p = e.GetPiece(i);
        const std::vector<uint8_t> mask = jigtest::CutMask(e, i);
        const uint8_t* m = mask.data();
        for (int y = p->top; y < p->bottom; ++y)
            for (int x = p->left; x < p->right; ++x) {
                const uint8_t v = m[(y - p->top) * p->Width() + (x - p->left)];
                if (!v) continue;
                const size_t k = static_cast<size_t>(y) * w + x;
                ++c.owners[k];
                c.sum[k] += v;
                if (v == 255) ++c.fullOwners[k];
            }
    }
    return c;
}

// Every piece's box is tight around its non-zero mask pixels, which it counts.
void ExpectTightPieces(const CJigcrafter& e)
{
    for (int i = 0; i < e.GetPieceCount(); ++i) {
        const JigPiece* p = e.GetPiece(i);
        ASSERT_GT(p->Width(), 0);
        ASSERT_GT(p->Height(), 0);
        const std::vector<uint8_t> mask = jigtest::CutMask(e, i);
        const uint8_t* m = mask.data();
        int count = 0;
        bool top = false, bottom = false, left = false, right = false;
        for (int y = 0; y < p->Height(); ++y)
            for (int x = 0; x < p->Width(); ++x)
                if (m[y * p->Width() + x]) {
                    ++count;
                    top |= y == 0;
                    bottom |= y == p->Height() - 1;
                    left |= x == 0;
                    right |= x == p->Width() - 1;
                }
        EXPECT_EQ(count, p->pixelCount) << i;
        if (i > 0 || e.GetPieceCount() == 1 || !e.GetKnifeLinesFlag()) {
            EXPECT_TRUE(top && bottom && left && right) << "piece " << i;
        }
    }
}

TEST(JigcrafterCut, SingleCellGivesOneWholePiece)
{
    const int32_t w = 37, h = 23;
    Planes img(w, h);
    for (int mode = 0; mode < 2; ++mode) {
        CJigcrafter e;
        ASSERT_TRUE(e.SetGrid(1, 1, 0));
        e.SetAntiAliasing(mode == 0);  // 0: the 1-bit mode at four times the resolution
        ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
        ASSERT_EQ(e.GetPieceCount(), 1);
        const JigPiece* p = e.GetPiece(0);
        EXPECT_EQ(std::vector<int32_t>({p->left, p->top, p->right, p->bottom, p->column, p->row, p->pixelCount}),
                  std::vector<int32_t>({0, 0, w, h, 1, 1, w * h}));
        for (uint8_t v : jigtest::CutMask(e, 0)) ASSERT_EQ(v, 255);
        // Pointers into the image; the rendered image comes with the first render.
        EXPECT_EQ(p->source[0], img.ptr[0]);
        EXPECT_EQ(p->work, nullptr);
        ASSERT_TRUE(e.RenderPiece(0));
        EXPECT_EQ(p->workStride[3], w);
        EXPECT_EQ(p->workPlane[3], p->work + 3 * w * h);
        EXPECT_FALSE(e.GetKnifeLinesFlag());
    }

    // Without razor cut and without a mask plane the knife lines come first, over the whole
    // image even when no knife is drawn.
    CJigcrafter e;
    ASSERT_TRUE(e.SetGrid(1, 1, 0));
    e.SetRazorCut(false);
    ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 2);
    EXPECT_TRUE(e.GetKnifeLinesFlag());
    EXPECT_EQ(e.GetPiece(0)->Width(), w);
    EXPECT_EQ(e.GetPiece(0)->pixelCount, 0);
    EXPECT_EQ(e.GetPiece(1)->pixelCount, w * h);
}

TEST(JigcrafterCut, RazorGridPartitionsEveryPixel)
{
    // Razor cut without anti-aliasing: every pixel, knife pixels included, lies in exactly one
    // piece at full value; a knife pixel beside a region is never lost or shared.
    const int32_t w = 203, h = 151;
    Planes img(w, h);
    for (int tabs = 0; tabs < 2; ++tabs) {
        CJigcrafter e;
        ASSERT_TRUE(BuildGrid(e, 5, 4, tabs != 0, tabs ? 0.2f : 0.0f));
        e.SetAntiAliasing(false);
        ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
        EXPECT_EQ(e.GetPieceCount(), 20);
        ExpectTightPieces(e);
        const Coverage c = Cover(e, w, h);
        for (int i = 0; i < w * h; ++i) {
            ASSERT_EQ(c.owners[i], 1) << "pixel " << i % w << "," << i / w;
            ASSERT_EQ(c.fullOwners[i], 1);
        }
        // One piece per cell, found by its row and column.
        std::set<std::pair<int, int>> cells;
        for (int i = 0; i < e.GetPieceCount(); ++i)
            cells.insert({e.GetPiece(i)->column, e.GetPiece(i)->row});
        EXPECT_EQ(cells.size(), 20u);
        EXPECT_EQ(*cells.begin(), std::make_pair(1, 1));
        EXPECT_EQ(*cells.rbegin(), std::make_pair(5, 4));
    }
}

TEST(JigcrafterCut, PlainGridPieceCountsInEveryMode)
{
    const int32_t w = 160, h = 120;
    Planes img(w, h);
    struct Mode {
        bool razor, aa;
        int pieces;
    } modes[] = {{true, true, 6}, {true, false, 6}, {false, false, 7}, {false, true, 7}};
    for (const Mode& m : modes) {
        CJigcrafter e;
        ASSERT_TRUE(BuildGrid(e, 3, 2, true, 0.1f, 3));
        e.SetRazorCut(m.razor);
        e.SetAntiAliasing(m.aa);
        ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
        EXPECT_EQ(e.GetPieceCount(), m.pieces) << m.razor << m.aa;
        ExpectTightPieces(e);
        // Pixels away from the knives belong to exactly one piece at full value.
        const Coverage all = Cover(e, w, h);
        const Coverage regions = Cover(e, w, h, e.GetKnifeLinesFlag() ? 1 : 0);
        int full = 0;
        for (int i = 0; i < w * h; ++i) {
            EXPECT_LE(regions.fullOwners[i], 1);
            if (regions.fullOwners[i] == 1) {
                ++full;
                // With soft edges a neighbour may hold part of a pixel that one piece holds.
                if (!m.aa) {
                    EXPECT_EQ(regions.owners[i], 1);
                }
            }
            EXPECT_GE(all.owners[i], 1) << m.razor << m.aa << " pixel " << i % w << "," << i / w;
        }
        EXPECT_GT(full, w * h * 8 / 10);
        if (!m.razor && m.aa) {
            // Soft edges: the knife lines and the pieces beside them share each edge pixel.
            for (int i = 0; i < w * h; ++i)
                if (all.owners[i] == 2) {
                    EXPECT_EQ(all.sum[i], 255);
                }
        }
    }
}

TEST(JigcrafterCut, KnifeLinesPieceWithoutRazor)
{
    const int32_t w = 80, h = 60;
    Planes img(w, h);
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, 2, 2, false, 0.0f, 1));
    e.SetRazorCut(false);
    e.SetAntiAliasing(false);
    ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 5);
    const JigPiece* lines = e.GetPiece(0);
    EXPECT_EQ(lines->Width(), w);
    EXPECT_EQ(lines->Height(), h);
    EXPECT_EQ(lines->pixelCount, w + h - 1);  // one vertical and one horizontal line
    const Coverage c = Cover(e, w, h);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(c.owners[i], 1);
}

TEST(JigcrafterCut, SinglePixelHoleAndHiddenKnife)
{
    // Lines at x = 10, 12 and y = 10, 12 enclose the single pixel (11, 11): it is closed and
    // belongs to no piece.
    const int32_t w = 40, h = 40;
    Planes img(w, h);
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, 3, 3, false));
    e.GetXLines()[0] = e.GetYLines()[0] = 10.0f / 40.0f;
    e.GetXLines()[1] = e.GetYLines()[1] = 12.0f / 40.0f;
    e.SetAntiAliasing(false);
    ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
    EXPECT_EQ(e.GetPieceCount(), 8);
    const Coverage c = Cover(e, w, h);
    EXPECT_EQ(c.owners[11 * w + 11], 0);
    for (int i = 0; i < w * h; ++i)
        if (i != 11 * w + 11) {
            ASSERT_EQ(c.owners[i], 1) << i % w << "," << i / w;
        }

    // A hidden knife leaves the cells on its two sides in one piece.
    CJigcrafter f;
    ASSERT_TRUE(BuildGrid(f, 2, 1, true));
    f.GetRowKnives()[0].nodeCount = -1;
    ASSERT_TRUE(f.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
    EXPECT_EQ(f.GetPieceCount(), 1);
}

TEST(JigcrafterCut, MaskPlaneLimitsPieces)
{
    const int32_t w = 120, h = 80;
    Planes img(w, h);
    std::vector<uint8_t> mask(static_cast<size_t>(w) * h, 0);
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, 3, 2, false));
    // An all-zero mask gives no piece.
    ASSERT_TRUE(e.Cut(w, h, mask.data(), w, img.ptr, w, 3, 0, 100, false));
    EXPECT_EQ(e.GetPieceCount(), 0);

    // The left half at 128: pieces only there, their boxes shrunk to it, values halved.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x) mask[static_cast<size_t>(y) * w + x] = 128;
    for (int mode = 0; mode < 3; ++mode) {
        e.SetRazorCut(mode != 2);
        e.SetAntiAliasing(mode == 0);
        ASSERT_TRUE(e.Cut(w, h, mask.data(), w, img.ptr, w, 3, 0, 100, false));
        const int first = e.GetKnifeLinesFlag() ? 1 : 0;
        EXPECT_EQ(e.GetPieceCount() - first, 4) << mode;
        for (int i = 0; i < e.GetPieceCount(); ++i) {
            const JigPiece* p = e.GetPiece(i);
            EXPECT_LE(p->right, w / 2);
            EXPECT_EQ(p->maskPlane, mask.data() + p->top * w + p->left);
            for (uint8_t v : jigtest::CutMask(e, i)) EXPECT_LE(v, 128);
        }
        ExpectTightPieces(e);
    }
}

TEST(JigcrafterCut, NearestCellMatchesExhaustiveSearch)
{
    // Every piece's row and column is the cell whose centre (crossing of its diagonals) lies
    // nearest the centre of the piece's box: on a dense jittered grid, and on grids where an edge
    // knot lies on its neighbour, so that a cell shrinks to a triangle whose centre is that knot,
    // on the right edge (x = width) or on the bottom edge (y = height).
    struct Case {
        int32_t w, h, columns, rows;
        float jitter;
        int knot, axis;  // the knot whose offset becomes 1 (-1: none), 0 x, 1 y
    };
    for (const Case& c : {Case{900, 700, 37, 29, 0.6f, -1, 0}, Case{400, 400, 4, 4, 0.0f, 1 * 5 + 4, 1},
                          Case{400, 400, 4, 4, 0.0f, 4 * 5 + 1, 0}}) {
        SCOPED_TRACE(c.columns);
        Planes img(c.w, c.h);
        CJigcrafter e;
        ASSERT_TRUE(BuildGrid(e, c.columns, c.rows, false, c.jitter));
        if (c.knot >= 0) e.GetKnots()[2 * c.knot + c.axis] = 1.0f;
        e.SetAntiAliasing(false);
        ASSERT_TRUE(e.Cut(c.w, c.h, nullptr, 0, img.ptr, c.w, 3, 0, 100, false));
        ASSERT_GT(e.GetPieceCount(), c.columns * c.rows * 9 / 10);
        std::vector<std::pair<double, double>> centre;
        std::vector<std::pair<int, int>> label;
        for (int r = 0; r + 1 < e.GetKnotRows(); ++r)
            for (int k = 0; k + 1 < e.GetKnotsPerRow(); ++k) {
                double ax, ay, bx, by, cx, cy, dx, dy;
                e.GetKnotPosition(k, r, c.w, c.h, ax, ay);
                e.GetKnotPosition(k + 1, r + 1, c.w, c.h, bx, by);
                e.GetKnotPosition(k + 1, r, c.w, c.h, cx, cy);
                e.GetKnotPosition(k, r + 1, c.w, c.h, dx, dy);
                int colinear = 0;
                QWF_DPoint p{};
                if (!CQWF_2DMath::SegmentIntersection(ax, ay, bx, by, cx, cy, dx, dy, colinear, p) ||
                    colinear)
                    continue;
                centre.push_back({p.x, p.y});
                label.push_back({k + 1, r + 1});
            }
        for (int i = 0; i < e.GetPieceCount(); ++i) {
            const JigPiece* p = e.GetPiece(i);
            const double px = (p->left + p->right) / 2.0, py = (p->top + p->bottom) / 2.0;
            size_t best = 0;
            double bestD = 1e300;
            for (size_t k = 0; k < centre.size(); ++k) {
                const double d = (centre[k].first - px) * (centre[k].first - px) +
                                 (centre[k].second - py) * (centre[k].second - py);
                if (d < bestD) {
                    bestD = d;
                    best = k;
                }
            }
            ASSERT_EQ(p->column, label[best].first) << i;
            ASSERT_EQ(p->row, label[best].second) << i;
        }
    }
}

class CancelAfter : public CQWF_Progress {
public:
    explicit CancelAfter(int n) : m_left(n) {}
    void SetPercent(uint8_t p) override
    {
        last = p;
        if (--m_left == 0) Cancel();
    }
    int last = -1;

private:
    int m_left;
};

// The plain encoding of a cut mask: per row the maximal runs of 0, of 255 and of other bytes
// (those stored after their run), each as length * 4 + kind in 7-bit groups, the zeros that end
// a row left out; before them the offset of every row's runs and their end.
std::vector<uint8_t> PlainMaskRuns(const std::vector<uint8_t>& m, int32_t w, int32_t h)
{
    std::vector<uint8_t> head(static_cast<size_t>(h + 1) * 4), runs;
    for (int32_t y = 0; y <= h; ++y) {
        const uint32_t offset = static_cast<uint32_t>(runs.size());
        std::memcpy(head.data() + static_cast<size_t>(y) * 4, &offset, 4);
        if (y == h) break;
        const uint8_t* row = m.data() + static_cast<size_t>(y) * w;
        int32_t end = w;
        while (end > 0 && row[end - 1] == 0) --end;
        for (int32_t x = 0; x < end;) {
            auto kind = [](uint8_t v) { return v == 0 ? 0 : v == 255 ? 1 : 2; };
            int32_t e = x + 1;
            while (e < end && kind(row[e]) == kind(row[x])) ++e;
            uint64_t v = static_cast<uint64_t>(e - x) * 4 + static_cast<uint64_t>(kind(row[x]));
            for (; v >= 0x80; v >>= 7) runs.push_back(static_cast<uint8_t>(v | 0x80));
            runs.push_back(static_cast<uint8_t>(v));
            if (kind(row[x]) == 2) runs.insert(runs.end(), row + x, row + e);
            x = e;
        }
    }
    head.insert(head.end(), runs.begin(), runs.end());
    return head;
}

// The encoder that finds the runs 64 bytes at a time gives the plain encoding, byte for byte,
// at widths around and between its blocks and at every CPU level, and the decoder gives the
// mask back.
TEST(JigcrafterCut, MaskRunsMatchThePlainEncoding)
{
    struct LevelGuard {
        ~LevelGuard() { qwp::SetCpuLevelLimit(qwp::kCpuAvx512); }
    } guard;
    for (int level = qwp::kCpuPlain; level <= qwp::GetCpuSupportedLevel(); ++level) {
        qwp::SetCpuLevelLimit(static_cast<qwp::CpuLevel>(level));
        jigtest::Lcg r{5};
        for (int t = 0; t < 400; ++t) {
            const int32_t w = t < 200 ? 1 + t : 1 + r.Below(300);
            const int32_t h = 1 + r.Below(4);
            std::vector<uint8_t> m(static_cast<size_t>(w) * h);
            for (size_t i = 0; i < m.size();) {
                // Runs of every kind and length, single bytes of 1 and 254 among them.
                const int kind = r.Below(5);
                size_t n = 1 + static_cast<size_t>(r.Below(kind == 4 ? 3 : 150));
                for (; n > 0 && i < m.size(); --n, ++i)
                    m[i] = kind == 0 ? 0 : kind == 1 ? 255 : kind == 2 ? 1 : kind == 3 ? 254
                                                                              : static_cast<uint8_t>(r.Next());
            }
            CQWF_Mem out;
            ASSERT_TRUE(CJigcrafter::EncodePieceMask(m.data(), w, w, h, out));
            const std::vector<uint8_t> want = PlainMaskRuns(m, w, h);
            ASSERT_GE(out.GetSize(), want.size());
            ASSERT_EQ(std::vector<uint8_t>(out.GetData(), out.GetData() + want.size()), want)
                << "width " << w << " case " << t << " level " << level;
            JigPiece p{};
            p.maskRuns = out.GetData();
            p.right = w;
            p.bottom = h;
            std::vector<uint8_t> row(static_cast<size_t>(w));
            for (int32_t y = 0; y < h; ++y) {
                CJigcrafter::ReadPieceMaskRow(p, y, row.data());
                ASSERT_EQ(0, std::memcmp(row.data(), m.data() + static_cast<size_t>(y) * w,
                                         static_cast<size_t>(w)));
            }
        }
    }
    // No bytes, no width or no height: no mask.
    const uint8_t full[4] = {255, 255, 255, 255};
    CQWF_Mem out;
    for (const auto& [bytes, w, h] : {std::tuple{full, 1, 0}, {full, 0, 1}, {nullptr, 1, 1}})
        EXPECT_FALSE(CJigcrafter::EncodePieceMask(bytes, 2, w, h, out)) << w << " x " << h;
}

TEST(JigcrafterCut, CancelStopsTheCutAndRestoresTheSwitches)
{
    const int32_t w = 200, h = 150;
    Planes img(w, h);
    for (int n : {1, 3, 8, 15}) {
        CJigcrafter e;
        ASSERT_TRUE(BuildGrid(e, 6, 5, true));
        CancelAfter sink(n);
        e.SetProgressSink(&sink);
        EXPECT_FALSE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 40, 60, false)) << n;
        EXPECT_TRUE(e.GetAntiAliasing());  // switched off only while the 1-bit mask is drawn
        EXPECT_TRUE(e.GetRazorCut());
        EXPECT_GE(sink.last, 40);
        EXPECT_LE(sink.last, 60);
        // The Splitter mask is drawn in bytes again, not in the cut's 1-bit mode.
        e.SetProgressSink(nullptr);
        e.SetAntiAliasing(false);
        std::vector<uint8_t> lines(static_cast<size_t>(w) * h, 1);
        ASSERT_TRUE(e.DrawSplitterMask(w, h, lines.data(), w, 0, 100));
        int on = 0, other = 0;
        for (uint8_t v : lines) {
            if (v == 255)
                ++on;
            else if (v != 0)
                ++other;
        }
        EXPECT_GT(on, 5 * h + 4 * w);
        EXPECT_EQ(other, 0);
    }
    // A full cut reports inside its range and ends at its top.
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, 6, 5, true));
    CancelAfter sink(100000);
    e.SetProgressSink(&sink);
    ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 40, 60, true));
    EXPECT_EQ(sink.last, 60);
    EXPECT_TRUE(e.GetAntiAliasing());
    EXPECT_EQ(e.GetPieceCount(), 30);
}

TEST(JigcrafterCut, SplitterMaskDrawsEveryFamily)
{
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, 3, 3, false, 0.0f, 1, 1));
    e.SetAntiAliasing(false);
    JigExtraKnife& x = e.GetExtraKnives()[0];
    jigtest::SetStraight(x);
    x.knotA = 0;
    x.knotB = 15;  // corner to corner
    std::vector<uint8_t> mask(90 * 90 + 64, 7);
    ASSERT_TRUE(e.DrawSplitterMask(90, 90, mask.data(), 90, 0, 100));
    EXPECT_EQ(mask[45 * 90 + 30], 255);  // row knife at x = 30
    EXPECT_EQ(mask[30 * 90 + 45], 255);  // column knife at y = 30
    EXPECT_EQ(mask[50 * 90 + 50], 255);  // the diagonal
    EXPECT_EQ(mask[10 * 90 + 80], 0);
    EXPECT_EQ(mask[90 * 90], 7);  // nothing beyond the mask
    // A knot index outside the lattice (16 knots, 0 to 15) at either end is not drawn (and not
    // read); knot 5 is (30, 30).
    for (const auto& [a, b] : {std::pair{0, 1000}, {16, 5}, {5, 16}, {-1, 5}}) {
        x.knotA = a;
        x.knotB = b;
        ASSERT_TRUE(e.DrawSplitterMask(90, 90, mask.data(), 90, 0, 100));
        EXPECT_EQ(mask[50 * 90 + 50], 0) << a << " to " << b;
        EXPECT_EQ(mask[15 * 90 + 15], 0) << a << " to " << b;
    }
    EXPECT_FALSE(e.DrawSplitterMask(0, 90, mask.data(), 90, 0, 100));
    EXPECT_FALSE(e.DrawSplitterMask(90, 90, nullptr, 90, 0, 100));
}

// A knife whose node lies a billion knife lengths away costs the work of the picture, not of its
// curve: it is drawn (it leaves its knots), and the straight knives beside it too.
TEST(JigcrafterCut, AFarNodeIsDrawnWithThePicturesWork)
{
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, 3, 3, false, 0.0f, 1, 0));
    e.SetAntiAliasing(false);
    JigKnife& k = e.GetRowKnives()[0];  // x = 30, from y = 0 to 30
    k.nodeCount = 1;
    k.u[0] = 0.5f;
    k.h[0] = 1e9f;
    k.s[0] = 0.5f;
    std::vector<uint8_t> mask(90 * 90, 7);
    ASSERT_TRUE(e.DrawSplitterMask(90, 90, mask.data(), 90, 0, 100));
    EXPECT_EQ(mask[0 * 90 + 30], 255);   // its first knot
    EXPECT_EQ(mask[30 * 90 + 30], 255);  // its second knot
    EXPECT_EQ(mask[45 * 90 + 30], 255);  // the straight row knife below it
    EXPECT_EQ(mask[60 * 90 + 45], 255);  // a column knife
}

TEST(JigcrafterCut, MemoryFailureShowsTheMessage)
{
    const int32_t w = 64, h = 48;
    Planes img(w, h);
    for (long n = 0; n < 12; ++n) {
        CJigcrafter e;
        ASSERT_TRUE(BuildGrid(e, 3, 3, false));
        qwf::SetAllocFailureAfter(n);
        const bool ok = e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false);
        qwf::SetAllocFailureAfter(-1);
        if (!ok) {
            EXPECT_STREQ(e.GetLastMessage(), "Memory allocation problem...") << n;
        }
    }
}

}  // namespace

namespace {

// A square wave of `teeth` teeth (4 nodes each) of height h along a knife.
void SquareWave(JigKnife& k, int teeth, float h)
{
    jigtest::SetStraight(k);
    k.nodeCount = 4 * teeth;
    for (int t = 0; t < teeth; ++t) {
        const float a = (2.0f * t + 0.5f) / (2.0f * teeth);
        const float b = a + 1.0f / (2.0f * teeth);
        const float u[4] = {a, a, b, b};
        const float v[4] = {0.0f, h, h, 0.0f};
        for (int j = 0; j < 4; ++j) {
            k.u[4 * t + j] = u[j];
            k.h[4 * t + j] = v[j];
            k.s[4 * t + j] = 0.0f;
        }
    }
}

TEST(JigcrafterCut, TooManyPiecesEndTheCut)
{
    // Every grid segment carries two extra knives with 16 teeth, one on each side: each tooth
    // closes a region, far more than the table may hold.
    const int32_t w = 3000, h = 2000;
    const int cells = 50;
    CJigcrafter e;
    ASSERT_TRUE(BuildGrid(e, cells, cells, false, 0.0f, 1, 4 * (cells - 1) * cells));
    const int xl = e.GetXLineCount(), kpr = e.GetKnotsPerRow();
    JigExtraKnife* x = e.GetExtraKnives();
    int n = 0;
    for (int row = 0; row < cells; ++row)
        for (int line = 0; line < xl; ++line)
            for (int side = 0; side < 2; ++side, ++n) {
                SquareWave(x[n], 16, side ? 0.08f : -0.08f);
                x[n].knotA = row * kpr + line + 1;
                x[n].knotB = (row + 1) * kpr + line + 1;
            }
    for (int line = 0; line < xl; ++line)
        for (int c = 0; c < cells; ++c)
            for (int side = 0; side < 2; ++side, ++n) {
                SquareWave(x[n], 16, side ? 0.08f : -0.08f);
                x[n].knotA = (line + 1) * kpr + c;
                x[n].knotB = (line + 1) * kpr + c + 1;
            }
    ASSERT_EQ(n, e.GetExtraKnifeCount());
    std::vector<uint8_t> mask(static_cast<size_t>(w) * h, 255);
    EXPECT_FALSE(e.Cut(w, h, mask.data(), w, nullptr, 0, 0, 0, 100, false));
    EXPECT_STREQ(e.GetLastMessage(), "Too many (>100'000!) pieces...");
    EXPECT_STREQ(e.GetLastCaption(), "Error!");
    EXPECT_EQ(e.GetPieceCount(), 100000);
}

}  // namespace
