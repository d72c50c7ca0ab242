// The one-level undo of Layout mode: every kind of edit undone and redone, the runs of one
// kind, the light states and what memory failures leave.
#include "plugin/main/layout_model.h"

#include "platform/qw_random.h"
#include "support/test_support.h"

#include "plugin/main/layout_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {
using layouttest::Bytes;
using layouttest::Serialize;

struct UndoSink : CLayoutModelSink {
    std::vector<std::string> messages;
    int closed = 0;
    int cutterColumns = -1;
    int cutterRows = -1;
    int randomness = -1;
    void ShowMessage(const char* text, const char*) override { messages.push_back(text); }
    void CloseWindow() override { ++closed; }
    void CutterShowLayout(int columns, int rows, int, bool, bool, int, bool, bool) override
    {
        cutterColumns = columns;
        cutterRows = rows;
    }
    void ShowRandomness(int percent) override { randomness = percent; }
};

struct Fixture {
    UndoSink sink;
    CutterState cutter{};
    CLayoutModel m;
    Fixture()
    {
        cutter.shape.nodeCount = 4;
        for (int i = 0; i < 4; ++i) {
            cutter.shape.U[i] = 0.2 + 0.2 * i;
            cutter.shape.H[i] = 0.1 * (i % 2);
            cutter.shape.S[i] = 0.4;
            cutter.shape.selected[i] = i == 1;
        }
        cutter.tipsSize = 60;
        cutter.thickness = 5;
        cutter.ampAcross = 0.5f;
        m.SetSink(&sink);
        m.SetCutter(&cutter);
        m.SetImageSize(400, 300);
        qwp::SeedRandom(4);
        m.SetKnotAmplitude(0.3f);
        EXPECT_TRUE(m.DefaultLayout());  // 3 x 2
        EXPECT_TRUE(m.SetGridSize(4, 3, true, true));
        for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
            CLayoutModel::DefaultKnifeShape(m.RowKnives()[i]);
        for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
            CLayoutModel::DefaultKnifeShape(m.ColumnKnives()[i]);
        m.AddExtraKnife(0, 12);
        m.AddExtraKnife(3, 15);
        m.ColumnKnives()[2].selected = 1;
        m.ColumnKnives()[5].selected = 1;
        m.UpdateSelectionState();
        m.SetView({0, 0, 400, 300, 0, 0, 400, 300});
        m.RecalcLayout(m.GetView(), true);
        m.ResetUndo();
    }
};
}  // namespace

TEST(LayoutUndo, EveryKindUndoesAndRedoes)
{
    using Edit = std::function<void(CLayoutModel&)>;
    const std::vector<std::pair<const char*, Edit>> edits = {
        {"resize", [](CLayoutModel& m) { m.ResizeGrid(5, 6); }},
        {"triangles", [](CLayoutModel& m) { m.BuildTriangularLayout(3, 3, true); }},
        {"hexagons", [](CLayoutModel& m) { m.BuildHexagonalLayout(2, 2, false); }},
        {"insert line",
         [](CLayoutModel& m) {
             m.RecordUndo(0, CLayoutModel::kFullLine);
             m.InsertGridLine(false, 200, 120);
         }},
        {"delete line",
         [](CLayoutModel& m) {
             m.RecordUndo(0, CLayoutModel::kFullLine);
             m.DeleteGridLine(true, 1);
         }},
        {"shape", [](CLayoutModel& m) { m.ApplyKnifeShape(0.3f, 0.3f, 0.3f, false, true); }},
        {"flip H", [](CLayoutModel& m) { m.ApplyKnifeShapeFlipH(0, 0, 0); }},
        {"flip U", [](CLayoutModel& m) { m.ApplyKnifeShapeFlipU(0, 0, 0); }},
        {"paste",
         [](CLayoutModel& m) {
             m.CopyKnife(0, false, true);
             m.RecordUndo(0, CLayoutModel::kFullPaste);
             m.PasteKnifeToKnives(nullptr, 0);
         }},
        {"tips", [](CLayoutModel& m) { m.SetTipsSize(33); }},
        {"equalize",
         [](CLayoutModel& m) {
             m.ColumnKnives()[5].length *= 3;
             m.EqualizeKnobs(true, true);
         }},
        {"thickness", [](CLayoutModel& m) { m.SetKnifeThickness(12, false); }},
        {"add extra",
         [](CLayoutModel& m) {
             m.PickKnot(6);
             m.PickKnot(18);
             m.RecordUndo(0, CLayoutModel::kFullAddExtra);
             m.AddPickedExtraKnife(true);
         }},
        {"delete extra",
         [](CLayoutModel& m) {
             m.RecordUndo(0, CLayoutModel::kFullDeleteExtra);
             m.DeleteExtraKnives(false, nullptr, 0, false, true);
         }},
        {"distribute", [](CLayoutModel& m) { m.DistributeGridLines(true, true); }},
        {"centre", [](CLayoutModel& m) { m.ArrangeGridLines(true, 0, true); }},
        {"randomness", [](CLayoutModel& m) { m.SetKnotRandomness(0.8f); }},
        {"reset knot", [](CLayoutModel& m) { m.ResetKnot(6); }},
        {"knife flags",
         [](CLayoutModel& m) {
             m.TakeUndoSnapshot(CLayoutModel::kUndoKnifeFlags);
             m.ShowKnives(false, true);
             m.ToggleKnivesFlip(true, false, false, true);
             m.RecordUndo(CLayoutModel::kUndoKnifeFlags, 0);
         }},
    };
    for (const auto& [name, edit] : edits) {
        Fixture f;
        // An earlier light state, and uneven rows.
        f.m.TakeUndoSnapshot(CLayoutModel::kUndoLines);
        f.m.YLines()[0] = 0.2f;
        f.m.RecordUndo(CLayoutModel::kUndoLines, 0);
        const Bytes before = Serialize(f.m);
        const float amplitude = f.m.GetKnotAmplitude();
        edit(f.m);
        const Bytes after = Serialize(f.m);
        ASSERT_NE(before, after) << name;
        const float changedAmplitude = f.m.GetKnotAmplitude();
        f.m.Undo();
        EXPECT_EQ(Serialize(f.m), before) << name;
        EXPECT_EQ(f.m.GetKnotAmplitude(), amplitude) << name;
        f.m.Undo();
        EXPECT_EQ(Serialize(f.m), after) << name;
        EXPECT_EQ(f.m.GetKnotAmplitude(), changedAmplitude) << name;
        f.m.Undo();
        EXPECT_EQ(Serialize(f.m), before) << name;
        EXPECT_TRUE(f.sink.messages.empty()) << name;
    }
}

TEST(LayoutUndo, RunsOfOneKindAndLightStates)
{
    Fixture f;
    CLayoutModel& m = f.m;
    const int tips = m.ColumnKnives()[2].tipsSize;
    // Two tips changes in a row are one step back to before the first; Undo again redoes.
    m.SetTipsSize(40);
    m.SetTipsSize(60);
    m.Undo();
    EXPECT_EQ(m.ColumnKnives()[2].tipsSize, tips);
    m.Undo();
    EXPECT_EQ(m.ColumnKnives()[2].tipsSize, 60);
    // After an Undo a new edit of the same kind records afresh.
    m.Undo();
    m.SetTipsSize(70);
    m.Undo();
    EXPECT_EQ(m.ColumnKnives()[2].tipsSize, tips);

    // A knot pressed and released without moving records nothing: Undo still undoes the tips.
    m.Undo();
    ASSERT_EQ(m.ColumnKnives()[2].tipsSize, 70);
    m.TakeUndoSnapshot(CLayoutModel::kUndoKnots);
    m.RecordUndo(CLayoutModel::kUndoKnots, 0);
    m.Undo();
    EXPECT_EQ(m.ColumnKnives()[2].tipsSize, tips);

    // A snapshot of another kind, or one taken before the grid changed, commits nothing.
    m.TakeUndoSnapshot(CLayoutModel::kUndoLines);
    m.XLines()[0] = 0.11f;
    m.RecordUndo(CLayoutModel::kUndoKnots, 0);
    m.TakeUndoSnapshot(CLayoutModel::kUndoLines);
    m.SetGridSize(6, 6, false, true);
    m.RecordUndo(CLayoutModel::kUndoLines, 0);
    EXPECT_EQ(m.GetUndoLightKind(), 0);

    // Entering Layout mode leaves nothing to undo.
    m.ResetUndo();
    const Bytes now = Serialize(m);
    m.Undo();
    EXPECT_EQ(Serialize(m), now);
}

TEST(LayoutUndo, RandomnessGoesBackWithItsKnots)
{
    Fixture f;
    CLayoutModel& m = f.m;
    m.SetKnotAmplitude(0.0f);
    const std::vector<KnotRecord> knots(m.Knots(), m.Knots() + m.GetKnotCount());
    m.SetKnotRandomness(0.5f);
    // A knot pressed without moving takes a snapshot at the new amplitude and keeps none.
    m.TakeUndoSnapshot(CLayoutModel::kUndoKnots);
    m.RecordUndo(CLayoutModel::kUndoKnots, 0);
    m.Undo();
    EXPECT_EQ(m.GetKnotAmplitude(), 0.0f);
    EXPECT_EQ(f.sink.randomness, 0);
    for (int32_t i = 0; i < m.GetKnotCount(); ++i)
        EXPECT_EQ(m.Knots()[i].x, knots[i].x);
    m.Undo();
    EXPECT_EQ(m.GetKnotAmplitude(), 0.5f);
    EXPECT_EQ(f.sink.randomness, 50);
}

TEST(LayoutUndo, GridResizeTellsTheCutterAndFailuresKeepTheState)
{
    Fixture f;
    CLayoutModel& m = f.m;
    m.ResizeGrid(6, 2);
    EXPECT_EQ(m.GetXLineCount(), 1);
    m.Undo();
    EXPECT_EQ(m.GetXLineCount(), 3);
    EXPECT_EQ(f.sink.cutterColumns, 4);
    EXPECT_EQ(f.sink.cutterRows, 3);

    // A full state that cannot be serialised leaves the stored one whole.
    Fixture g;
    const Bytes before = Serialize(g.m);
    g.m.SetTipsSize(20);
    qwf::SetAllocFailureAfter(0);
    g.m.SetKnifeThickness(9, false);
    qwf::SetAllocFailureAfter(-1);
    ASSERT_EQ(g.sink.messages.size(), 1u);
    EXPECT_EQ(g.sink.messages[0], "Memory allocation problem...");
    EXPECT_EQ(g.sink.closed, 0);
    g.m.Undo();
    EXPECT_EQ(Serialize(g.m), before);

    // A light snapshot that cannot be taken closes the window.
    Fixture h;
    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(h.m.TakeUndoSnapshot(CLayoutModel::kUndoKnots));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(h.sink.closed, 1);
}
