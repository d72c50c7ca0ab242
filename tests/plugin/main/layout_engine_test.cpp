// The main window's blob against the engine: the engine replays what the model writes, and the
// model's Puzzle-mode blob carries the engine's piece table.
#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_host.h"
#include "plugin/main/layout_model.h"

#include "platform/qw_paths.h"
#include "platform/qw_random.h"
#include "plugin/core/qw_8bfplugin.h"
#include "support/test_support.h"

#include "plugin/main/layout_test_support.h"
#include "plugin/core/jigcrafter_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
using layouttest::Bytes;
using layouttest::Serialize;

bool Load(CJigcrafter& e, const Bytes& blob, bool& layoutMode, uint32_t& count, CQWF_Mem& hold)
{
    hold.Alloc(blob.size());
    std::memcpy(hold.GetData(), blob.data(), blob.size());
    uint8_t* recs = nullptr;
    return e.LoadLayout(&hold, layoutMode, count, recs);
}
}  // namespace

TEST(LayoutAndEngine, PuzzleBlobCarriesThePieceTableAndRoundTrips)
{
    CLayoutModel m;
    m.SetImageSize(60, 40);
    ASSERT_TRUE(m.SetGridSize(3, 2, true, true));  // straight knives
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    m.SetFlag(CLayoutModel::kFlagAntiAlias, 0);

    CJigcrafter e;
    CQWF_Mem hold;
    bool layoutMode = false;
    uint32_t count = 0;
    ASSERT_TRUE(Load(e, Serialize(m), layoutMode, count, hold));
    jigtest::Planes img(60, 40);
    ASSERT_TRUE(e.Cut(60, 40, nullptr, 0, img.ptr, 60, 3, 0, 100, false));
    ASSERT_EQ(e.GetPieceCount(), 6);
    e.GetPiece(4)->selected = 1;
    e.GetPiece(2)->stroke[kJigApplied].on = 1;
    e.GetPiece(2)->imageOverlay[kJigApplied].layerId = 7;

    CJigcrafterPieceSource source(&e);
    m.SetPieceSource(&source);
    m.SetLayoutMode(false);
    const Bytes puzzle = Serialize(m);

    // The main window reads the records back; each finds its piece by row and column.
    CLayoutModel n;
    n.SetImageSize(60, 40);
    Bytes copy = puzzle;
    uint8_t* recs = nullptr;
    ASSERT_TRUE(n.ReadLayoutV3(copy.data(), copy.size(), &recs, &count, false));
    ASSERT_EQ(count, 6u);
    bool seen[2][3] = {};
    for (uint32_t i = 0; i < count; ++i) {
        PieceEffectRecord r;
        qwpiece::Load(recs + 92 * i, r);
        const JigPiece* p = e.GetPiece(static_cast<int32_t>(i));
        EXPECT_EQ(r.row, p->row);
        EXPECT_EQ(r.column, p->column);
        ASSERT_GE(r.row, 1);
        ASSERT_LE(r.row, 2);
        ASSERT_GE(r.column, 1);
        ASSERT_LE(r.column, 3);
        seen[r.row - 1][r.column - 1] = true;
        EXPECT_EQ(r.selected, i == 4 ? 1 : 0);
        EXPECT_EQ(r.stOn, i == 2 ? 1 : 0);
        EXPECT_EQ(r.layerId, i == 2 ? 7 : -1);
        EXPECT_EQ(r.bevelOn, 1);
        EXPECT_EQ(r.shown, 1);
    }
    for (auto& row : seen)
        for (bool s : row)
            EXPECT_TRUE(s);

    // The engine replays the same blob with the same records.
    CJigcrafter e2;
    CQWF_Mem hold2;
    uint32_t count2 = 0;
    ASSERT_TRUE(Load(e2, puzzle, layoutMode, count2, hold2));
    EXPECT_FALSE(layoutMode);
    EXPECT_EQ(count2, 6u);

    // Records applied to a fresh cut, rendered into the applied copies, serialise to the same bytes.
    ASSERT_TRUE(e2.Cut(60, 40, nullptr, 0, img.ptr, 60, 3, 0, 100, false));
    ASSERT_EQ(e2.GetPieceCount(), 6);
    for (uint32_t i = 0; i < count; ++i) {
        PieceEffectRecord r;
        qwpiece::Load(recs + 92 * i, r);
        ASSERT_TRUE(e2.RecordToPiece(r, static_cast<int32_t>(i)));
        JigPiece* p = e2.GetPiece(static_cast<int32_t>(i));
        JigEffectSet fx;
        p->GetEffects(fx, kJigToApply);
        p->SetEffects(fx, kJigApplied);
        p->selected = r.selected;
    }
    CJigcrafterPieceSource source2(&e2);
    n.SetPieceSource(&source2);
    n.SetLayoutMode(false);
    EXPECT_EQ(Serialize(n), puzzle);

    // A blob whose last record is cut short: the engine refuses it, the main window keeps the
    // layout without records.
    Bytes shortBlob(puzzle.begin(), puzzle.end() - 1);
    CJigcrafter e3;
    CQWF_Mem hold3;
    EXPECT_FALSE(Load(e3, shortBlob, layoutMode, count2, hold3));
    CLayoutModel o;
    ASSERT_TRUE(o.ReadLayoutV3(shortBlob.data(), shortBlob.size(), &recs, &count, false));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(o.GetXLineCount(), 2);
}

TEST(LayoutAndPlugin, LastLayoutGoesThroughTheDataFolder)
{
    qwtest::TempDir dir;
    CQWF_8BFPluginVirtual plugin;  // no host record: no scripting parameters
    plugin.GetDataFolder() = qwp::ToWindowsPath(dir.Path().c_str()).c_str();
    CLayoutPluginSink sink(&plugin);

    qwp::SeedRandom(4);
    CLayoutModel a;
    a.SetSink(&sink);
    a.SetImageSize(500, 400);
    a.SetKnotAmplitude(0.2f);
    ASSERT_TRUE(a.DefaultLayout());
    a.AddExtraKnife(0, 7);
    EXPECT_TRUE(a.SaveLastData());
    std::string bytes;
    ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("last.data"), bytes));
    const Bytes blob = Serialize(a);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), blob);

    CLayoutModel b;
    b.SetSink(&sink);
    b.SetImageSize(500, 400);
    ASSERT_TRUE(b.LoadLastData());
    EXPECT_EQ(Serialize(b), blob);
}
