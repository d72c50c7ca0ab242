// Layout replay: the engine's reader of layout blobs bakes flips and tips into the knives and
// refuses a faulty blob as a whole.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "jigcrafter_test_support.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effect_record.h"

namespace {

using jigtest::BlobKnife;
using jigtest::MakeBlob;

// An engine and what its reader hands back: the mode, the record count and the records.
struct Replay {
    CJigcrafter e;
    CQWF_Mem mem;
    bool layout = false;
    uint32_t count = 0;
    uint8_t* rec = nullptr;
    bool Load(const std::vector<uint8_t>& bytes)
    {
        jigtest::ToMem(bytes, mem);
        return e.LoadLayout(&mem, layout, count, rec);
    }
};

BlobKnife Knife(std::vector<float> u, std::vector<float> h, uint8_t flags = 0, uint8_t tips = 100)
{
    BlobKnife k;
    k.u = u;
    k.h = h;
    k.s.assign(u.size(), 0.5f);
    k.flags = flags;
    k.tips = tips;
    return k;
}

TEST(JigcrafterReplay, SmallestLayoutBlob)
{
    const std::vector<uint8_t> b = MakeBlob(1, 1, {}, {}, {}, 1, 1, false);
    ASSERT_EQ(b.size(), 60u);
    Replay t;
    auto& [e, mem, layout, count, rec] = t;
    count = 7;
    rec = reinterpret_cast<uint8_t*>(&count);
    ASSERT_TRUE(t.Load(b));
    EXPECT_TRUE(layout);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(rec, nullptr);
    EXPECT_EQ(e.GetKnotCount(), 4);
    EXPECT_TRUE(e.GetRazorCut());
    EXPECT_TRUE(e.GetAntiAliasing());

    // Anything shorter than the header is refused; a razor byte of 2 reads as off.
    EXPECT_FALSE(t.Load(std::vector<uint8_t>(b.begin(), b.begin() + 9)));
    EXPECT_TRUE(t.Load(MakeBlob(1, 1, {}, {}, {}, 2, 0, false)));
    EXPECT_FALSE(e.GetRazorCut());
    EXPECT_FALSE(e.GetAntiAliasing());
}

TEST(JigcrafterReplay, FlipsTipsAndClampsAreBakedIntoNodes)
{
    // Two columns, two rows: row knives 0 and 1, column knives 0 and 1.
    std::vector<BlobKnife> rows = {
        Knife({0.4f, 0.5f, 0.6f}, {0.2f, -0.4f, 0.2f}, 0, 50),  // tips 50
        Knife({0.1f, 0.2f, 0.5f, 0.7f, 0.9f}, {0, 0, 0, 0, 0}, 4),  // hidden
    };
    std::vector<BlobKnife> cols = {
        Knife({0.1f, 0.2f}, {0.3f, -0.1f}, 2),       // flip along
        Knife({1.5f, 0.5f}, {-4.0f, 1.0f}, 1),       // clamps, flip across
    };
    cols[1].s = {5.0f, -5.0f};
    Replay t;
    auto& [e, mem, layout, count, rec] = t;
    ASSERT_TRUE(t.Load(MakeBlob(2, 2, rows, cols, {}, 1, 1, false)));

    const JigKnife& tips = e.GetRowKnives()[0];
    ASSERT_EQ(tips.nodeCount, 3);
    EXPECT_NEAR(tips.u[0], 0.45f, 1e-6);
    EXPECT_NEAR(tips.u[1], 0.5f, 1e-6);
    EXPECT_NEAR(tips.u[2], 0.55f, 1e-6);
    EXPECT_NEAR(tips.h[1], -0.2f, 1e-6);
    EXPECT_EQ(tips.thickness, 3);
    EXPECT_EQ(e.GetRowKnives()[1].nodeCount, -1);

    const JigKnife& along = e.GetColumnKnives()[0];
    ASSERT_EQ(along.nodeCount, 2);
    EXPECT_NEAR(along.u[0], 0.8f, 1e-6);
    EXPECT_NEAR(along.u[1], 0.9f, 1e-6);
    EXPECT_NEAR(along.h[0], -0.1f, 1e-6);  // nodes reversed with their H
    EXPECT_NEAR(along.h[1], 0.3f, 1e-6);

    const JigKnife& across = e.GetColumnKnives()[1];
    EXPECT_FLOAT_EQ(across.u[0], 1.0f);
    EXPECT_FLOAT_EQ(across.h[0], 3.0f);  // -4 clamped to -3, then negated
    EXPECT_FLOAT_EQ(across.h[1], -1.0f);
    EXPECT_FLOAT_EQ(across.s[0], 2.0f);
    EXPECT_FLOAT_EQ(across.s[1], -2.0f);
    // Every node of a knife of 64 takes its tips (about the mean U, 0.5), nothing beyond them.
    std::vector<float> u64(64), h64(64, 0.2f);
    for (int i = 0; i < 64; ++i) u64[i] = static_cast<float>(i) / 63.0f;
    ASSERT_TRUE(t.Load(MakeBlob(2, 2, {Knife(u64, h64, 0, 50)}, {}, {}, 1, 1, false)));
    const JigKnife& full = e.GetRowKnives()[0];
    ASSERT_EQ(full.nodeCount, 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(full.u[i], 0.25f + 0.5f * u64[i], 1e-6) << i;
        EXPECT_FLOAT_EQ(full.h[i], 0.1f) << i;
        EXPECT_FLOAT_EQ(full.s[i], 0.5f) << i;
    }
}

std::vector<uint8_t> Records(int n)
{
    std::vector<uint8_t> out(static_cast<size_t>(n) * 92);
    for (int i = 0; i < n; ++i) {
        PieceEffectRecord r;
        qwpiece::DefaultRecord(r);
        r.row = static_cast<uint8_t>(i / 2 + 1);
        r.column = static_cast<uint8_t>(i % 2 + 1);
        r.bevelDepth = static_cast<uint16_t>(300 + i);
        r.hue = static_cast<int16_t>(-5 - i);
        r.layerId = i == 0 ? -1 : 1;
        qwpiece::ToBlob(r, out.data() + i * 92);
    }
    return out;
}

TEST(JigcrafterReplay, PuzzleModeRecordsAreConvertedInPlace)
{
    const std::vector<uint8_t> rec4 = Records(4);
    EXPECT_EQ(rec4[60], 0xFF);  // layer identifier -1, little-endian
    EXPECT_EQ(rec4[92 + 60], 0x01);
    EXPECT_EQ(rec4[92 + 63], 0x00);

    Replay t;
    auto& [e, mem, layout, count, rec] = t;
    layout = true;
    ASSERT_TRUE(t.Load(MakeBlob(2, 2, {}, {}, {}, 1, 1, true, rec4, 4)));
    EXPECT_FALSE(layout);
    ASSERT_EQ(count, 4u);
    ASSERT_EQ(rec + 4 * 92, mem.GetData() + mem.GetSize());
    for (uint32_t i = 0; i < count; ++i) {
        PieceEffectRecord r;
        qwpiece::Load(rec + i * 92, r);
        EXPECT_EQ(r.bevelDepth, 300 + i);
        EXPECT_EQ(r.hue, -5 - static_cast<int>(i));
        EXPECT_EQ(r.layerId, i == 0 ? -1 : 1);
        EXPECT_NEAR(r.light[1], 0.8f / std::sqrt(1.14f), 1e-6);
        EXPECT_EQ(r.row, i / 2 + 1);
    }

    // A last record cut short refuses the whole blob.
    std::vector<uint8_t> shortBlob = MakeBlob(2, 2, {}, {}, {}, 1, 1, true, rec4, 4);
    shortBlob.pop_back();
    EXPECT_FALSE(t.Load(shortBlob));
    // A count far beyond the bytes is refused without reading.
    EXPECT_FALSE(t.Load(MakeBlob(2, 2, {}, {}, {}, 1, 1, true, rec4, 0xFFFFFFFFu)));
}

TEST(JigcrafterReplay, FaultsRefuseTheWholeBlob)
{
    Replay t;
    auto& [e, mem, layout, count, rec] = t;
    BlobKnife extra = Knife({0.5f}, {0.1f});
    extra.a = 0;
    extra.b = 8;  // last knot of a 2 x 2 grid (3 x 3 lattice)
    const std::vector<uint8_t> good =
        MakeBlob(2, 2, {Knife({0.3f, 0.6f}, {0.1f, 0.1f})}, {}, {extra}, 1, 1, true, Records(4), 4);
    ASSERT_TRUE(t.Load(good));
    ASSERT_EQ(e.GetExtraKnifeCount(), 1);
    EXPECT_EQ(e.GetExtraKnives()[0].knotB, 8);

    // Every truncation of a valid blob is refused.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(t.Load(std::vector<uint8_t>(good.begin(), good.begin() + n)))
            << n;

    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        for (size_t i = 0; i < bytes.size(); ++i) b[at + i] = bytes[i];
        return b;
    };
    // Extra-knife count in the header differs from the list's.
    EXPECT_FALSE(t.Load(patched(6, {0, 0, 0, 2})));
    // Line counts beyond the engine's arrays: 100 lines a direction are read; a blob of 100
    // lines that says it has 101 and holds one more is refused, though the rest of it fits.
    for (const bool columns : {false, true}) {
        std::vector<uint8_t> b = columns ? MakeBlob(101, 2, {}, {}, {}, 1, 1, false)
                                         : MakeBlob(2, 101, {}, {}, {}, 1, 1, false);
        ASSERT_TRUE(t.Load(b));
        b[columns ? 5 : 3] = 101;
        b.insert(b.begin() + 10, {0x3F, 0, 0, 0});
        EXPECT_FALSE(t.Load(b)) << columns;
    }
    EXPECT_FALSE(t.Load(patched(4, {0xFF, 0xFF})));
    // A NaN line position.
    EXPECT_FALSE(t.Load(patched(10, {0x7F, 0xC0, 0, 0})));
    // Knot count not matching the lattice.
    EXPECT_FALSE(t.Load(patched(18, {0, 0, 0, 8})));

    // As many extra knives as the engine holds are read.
    ASSERT_TRUE(t.Load(MakeBlob(2, 2, {}, {}, std::vector<BlobKnife>(20000, extra), 1, 1, false)));
    EXPECT_EQ(e.GetExtraKnifeCount(), 20000);
    // A knife of more than 64 nodes, and an extra knife joining a knot outside the lattice.
    std::vector<float> many(65, 0.5f);
    EXPECT_FALSE(t.Load(MakeBlob(2, 2, {Knife(many, many)}, {}, {}, 1, 1, false)));
    extra.b = 9;
    EXPECT_FALSE(t.Load(MakeBlob(2, 2, {}, {}, {extra}, 1, 1, false)));
    // An infinite knife value.
    EXPECT_FALSE(t.Load(MakeBlob(2, 2, {Knife({std::numeric_limits<float>::infinity()}, {0.0f})}, {}, {}, 1, 1, false)));
    // Huge line and knot values are brought back into the image.
    std::vector<uint8_t> huge = patched(10, {0x7F, 0x00, 0, 0});
    ASSERT_TRUE(t.Load(huge));
    EXPECT_FLOAT_EQ(e.GetYLines()[0], 1.0f);
    EXPECT_FALSE(e.LoadLayout(nullptr, layout, count, rec));
}

TEST(JigcrafterReplay, ReplayedRecordsFindTheirPiecesByRowAndColumn)
{
    // A Puzzle-mode blob of a 4 x 3 grid with tabs, its records in an order of their own, each
    // with a blur radius that names its cell.
    std::vector<BlobKnife> rows(9), cols(8);
    for (auto& k : rows) k = Knife({0.434f, 0.3515f, 0.5f, 0.6485f, 0.566f},
                                   {0.0f, -0.165f, -0.297f, -0.165f, 0.0f});
    for (size_t i = 0; i < cols.size(); ++i) {
        cols[i] = rows[0];
        cols[i].flags = (i & 1) ? 1 : 0;
    }
    std::vector<uint8_t> recs(12 * 92);
    for (int i = 0; i < 12; ++i) {
        const int cell = (i * 5) % 12;  // 0, 5, 10, 3, ...
        PieceEffectRecord r;
        qwpiece::DefaultRecord(r);
        r.column = static_cast<uint8_t>(cell % 4 + 1);
        r.row = static_cast<uint8_t>(cell / 4 + 1);
        r.blurOn = 1;
        r.blurRadius = static_cast<uint8_t>(10 * r.row + r.column);
        r.shown = (cell & 1) ? 0 : 1;
        qwpiece::ToBlob(r, recs.data() + i * 92);
    }
    Replay t;
    auto& [e, mem, layout, count, rec] = t;
    ASSERT_TRUE(t.Load(MakeBlob(4, 3, rows, cols, {}, 1, 1, true, recs, 12)));
    ASSERT_FALSE(layout);
    ASSERT_EQ(count, 12u);

    const int32_t w = 400, h = 240;
    jigtest::Planes img(w, h);
    ASSERT_TRUE(e.Cut(w, h, nullptr, 0, img.ptr, w, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 12);
    for (uint32_t i = 0; i < count; ++i) {
        PieceEffectRecord r;
        qwpiece::Load(rec + i * 92, r);
        int found = -1;
        for (int p = 0; p < e.GetPieceCount(); ++p)
            if (e.GetPiece(p)->row == r.row && e.GetPiece(p)->column == r.column) {
                EXPECT_EQ(found, -1) << "two pieces in one cell";
                found = p;
            }
        ASSERT_GE(found, 0);
        // The piece lies in its cell: the centre of its box is inside the cell's bounds.
        const JigPiece* p = e.GetPiece(found);
        const int cx = (p->left + p->right) / 2, cy = (p->top + p->bottom) / 2;
        EXPECT_EQ(cx * 4 / w + 1, r.column);
        EXPECT_EQ(cy * 3 / h + 1, r.row);
        ASSERT_TRUE(e.RecordToPiece(r, found));
        EXPECT_EQ(p->blur[kJigToApply].radius, 10 * p->row + p->column);
        EXPECT_EQ(p->shown, r.shown);
    }
}

TEST(JigcrafterReplay, ReplayedLayoutCutsIntoItsGrid)
{
    std::vector<BlobKnife> rows(6);
    rows[4].flags = 4;  // row knife 4 (line 0, row 2) is hidden: cells (1,3) and (2,3) join
    Replay t;
    auto& [e, mem, layout, count, rec] = t;
    ASSERT_TRUE(t.Load(MakeBlob(3, 3, rows, {}, {}, 1, 0, false)));
    jigtest::Planes img(60, 60);
    ASSERT_TRUE(e.Cut(60, 60, nullptr, 0, img.ptr, 60, 3, 0, 100, false));
    EXPECT_EQ(e.GetPieceCount(), 8);
}

}  // namespace
