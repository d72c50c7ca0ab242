// The Cutter's Cut: effect settings find their pieces again by cell, a changed layout is told, a
// cancel ends the cut and leaves the layout alone.
#include "plugin/windows/cutter_cut.h"

#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/layout_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
struct Picture {
    std::vector<uint8_t> data;
    CutPicture pic{};
    Picture(int32_t w, int32_t h) : data(static_cast<size_t>(w) * h * 3)
    {
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + (i >> 7));
        pic.width = w;
        pic.height = h;
        for (int p = 0; p < 3; ++p) pic.planes[p] = data.data() + static_cast<size_t>(p) * w * h;
    }
};

struct Site : CCutSite {
    CLayoutModel& model;
    CJigcrafter& engine;
    Site(CLayoutModel& m, CJigcrafter& e) : model(m), engine(e) {}
    bool TransferKnives() override { return ::TransferKnives(model, engine); }
};

// Cancels at the n-th question.
struct Sink : CQWF_Progress {
    int askLeft = 1 << 30;
    bool IsCancelled() override { return --askLeft < 0; }
};

// A picture of w x h cut along a razor-cut grid of columns x rows cells.
struct Cutting {
    CLayoutModel m;
    CJigcrafter e;
    Site site{m, e};
    Sink sink;
    Picture p;
    Cutting(int32_t w, int32_t h, int columns, int rows) : p(w, h)
    {
        m.SetImageSize(w, h);
        EXPECT_TRUE(m.SetGridSize(columns, rows, true, true));
        m.SetFlag(CLayoutModel::kFlagRazor, 1);
    }
    bool Run(const uint8_t* records, uint32_t count, CutOutcome& out)
    {
        return RunCut(e, site, sink, p.pic, records, count, out);
    }
};

std::vector<uint8_t> Records(CJigcrafter& e)
{
    std::vector<uint8_t> out(static_cast<size_t>(e.GetPieceCount()) * qwpiece::kRecordSize);
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        PieceEffectRecord r;
        EXPECT_TRUE(e.PieceToRecord(i, r));
        std::memcpy(&out[static_cast<size_t>(i) * qwpiece::kRecordSize], &r, sizeof r);
    }
    return out;
}
}  // namespace

TEST(CutterCut, RecordsFollowTheirCellsAndAChangeIsTold)
{
    Cutting c(90, 60, 3, 2);
    CJigcrafter& e = c.e;
    CutOutcome out;
    ASSERT_TRUE(c.Run(nullptr, 0, out));
    EXPECT_FALSE(out.layoutChanged);
    const int32_t n = e.GetPieceCount();
    ASSERT_GE(n, 6);
    for (int32_t i = 0; i < n; ++i) ASSERT_NE(e.GetPiece(i)->work, nullptr);  // rendered

    // Effects on two pieces; the same layout cut again gives them back in order.
    int32_t blurred = -1;
    for (int32_t i = 0; i < n; ++i)
        if (e.GetPiece(i)->row == 2 && e.GetPiece(i)->column == 3) blurred = i;
    ASSERT_GE(blurred, 0);
    e.GetPiece(blurred)->blur[kJigApplied].on = 1;
    e.GetPiece(blurred)->blur[kJigApplied].radius = 3;
    e.GetPiece(blurred)->selected = 1;
    std::vector<uint8_t> recs = Records(e);
    ASSERT_TRUE(c.Run(recs.data(), static_cast<uint32_t>(n), out));
    EXPECT_FALSE(out.layoutChanged);
    EXPECT_EQ(e.GetPiece(blurred)->blur[kJigApplied].on, 1);  // rendered with it
    EXPECT_EQ(e.GetPiece(blurred)->selected, 0);

    // One column more: the old cells keep their effects, the layout has changed.
    ASSERT_TRUE(c.m.ResizeGrid(2, 4));
    ASSERT_TRUE(c.Run(recs.data(), static_cast<uint32_t>(n), out));
    EXPECT_TRUE(out.layoutChanged);
    ASSERT_GT(e.GetPieceCount(), n);
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        const JigPiece& q = *e.GetPiece(i);
        EXPECT_EQ(q.blur[kJigApplied].on, q.row == 2 && q.column == 3 ? 1 : 0) << q.row << "," << q.column;
    }

    // Two records of one cell: the later wins.
    std::vector<uint8_t> two(2 * qwpiece::kRecordSize);
    std::memcpy(two.data(), &recs[static_cast<size_t>(blurred) * qwpiece::kRecordSize], 92);
    std::memcpy(two.data() + 92, two.data(), 92);
    reinterpret_cast<PieceEffectRecord*>(two.data() + 92)->blurRadius = 7;
    ASSERT_TRUE(c.Run(two.data(), 2, out));
    EXPECT_TRUE(out.layoutChanged);
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        if (e.GetPiece(i)->row == 2 && e.GetPiece(i)->column == 3) {
            EXPECT_EQ(e.GetPiece(i)->blur[kJigApplied].radius, 7);
        }
    }
}

TEST(CutterCut, TheHundredthRowIsACellAndACancelLeavesTheLayout)
{
    Cutting c(20, 200, 1, 100);
    CJigcrafter& e = c.e;
    PieceEffectRecord r;
    qwpiece::DefaultRecord(r);
    r.row = 100;
    r.column = 1;
    r.opOn = 1;
    r.opValue = 128;
    CutOutcome out;
    ASSERT_TRUE(c.Run(reinterpret_cast<const uint8_t*>(&r), 1, out));
    EXPECT_TRUE(out.layoutChanged);
    int found = 0;
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        const JigPiece& q = *e.GetPiece(i);
        if (q.row == 100) {
            ++found;
            EXPECT_EQ(q.opacity[kJigApplied].on, 1);
            EXPECT_EQ(q.opacity[kJigApplied].value, 128);
        } else {
            EXPECT_EQ(q.opacity[kJigApplied].on, 0);
        }
    }
    EXPECT_EQ(found, 1);

    // Cancelled half-way through the cut: false, and the layout is the one before.
    const layouttest::Bytes before = layouttest::Serialize(c.m);
    c.sink.askLeft = 3;
    EXPECT_FALSE(c.Run(nullptr, 0, out));
    EXPECT_EQ(layouttest::Serialize(c.m), before);
}
