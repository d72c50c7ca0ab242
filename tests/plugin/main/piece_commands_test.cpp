// Puzzle mode's piece commands over a real cut: the effect switch rule, copy, paste and reset,
// the render loop (only what changed is rendered, the composite equals the engine's whole
// composite, a request during a live render restarts it without recursion and keeps the area
// already gathered), Undo and Redo of a change, selection by the table, at random and by band
// with the knife lines' piece kept apart, and visibility.
#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/piece_view.h"

#include "platform/qw_random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr int W = 80, H = 60;

struct Sink : CPieceViewSink {
    CPieceView* view = nullptr;
    int progressBegun = 0;
    int dispatches = 0;
    int nestedAt = -1;  // dispatch number at which a newer request arrives
    bool nestedResult = false;
    int depth = 0;
    int maxDepth = 0;
    CQWF_Progress* BeginProgress(const char*) override
    {
        ++progressBegun;
        return nullptr;
    }
    void DispatchDuringRender() override
    {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (dispatches++ == nestedAt) {
            int32_t all[64];
            for (int32_t i = 0; i < view->GetEngine().GetPieceCount(); ++i) all[i] = i;
            nestedResult = view->RenderPieces(all, view->GetEngine().GetPieceCount(), false, true);
        }
        --depth;
    }
};

struct Fixture {
    CJigcrafter e;
    CPieceView view{e};
    Sink sink;
    CQWF_Image target;
    std::vector<uint8_t> data;
    explicit Fixture(bool razor = true)
    {
        CLayoutModel m;
        m.SetImageSize(W, H);
        EXPECT_TRUE(m.SetGridSize(4, 3, true, true));
        m.SetFlag(CLayoutModel::kFlagRazor, razor ? 1 : 0);
        EXPECT_TRUE(TransferKnives(m, e));
        data.resize(static_cast<size_t>(W) * H * 3);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + i / 97);
        const uint8_t* planes[3] = {&data[0], &data[W * H], &data[2 * W * H]};
        EXPECT_TRUE(e.Cut(W, H, nullptr, 0, planes, W, 3, 0, 100, true));
        view.SetSink(&sink);
        sink.view = &view;
        view.SetImageSize(W, H);
        EXPECT_TRUE(view.RebuildMarks());
        EXPECT_TRUE(target.Create(W, H, 2));
        target.Fill(0);
        view.SetCompositeTarget(&target, nullptr, 0, true);
        EXPECT_TRUE(view.CompositePieces(target, nullptr, 0, QWF_WHOLE_RECT, false, 0, 100));
    }
    int32_t Count() const { return e.GetPieceCount(); }
    // The engine's own composite of the whole image equals the incrementally kept target.
    void ExpectTargetIsWholeComposite()
    {
        std::vector<uint8_t> planes(static_cast<size_t>(W) * H * 4, 0);
        uint8_t* p[4] = {&planes[0], &planes[W * H], &planes[2 * W * H], &planes[3 * W * H]};
        ASSERT_TRUE(e.Composite(W, H, p, W, 4, nullptr, 0, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE,
                                QWF_WHOLE, !e.GetRazorCut() && e.GetAntiAliasing(), 0, 100));
        EXPECT_EQ(0, std::memcmp(target.GetData(), planes.data(), planes.size()));
    }
    std::vector<int32_t> All() const
    {
        std::vector<int32_t> v(static_cast<size_t>(Count()));
        for (int32_t i = 0; i < Count(); ++i) v[static_cast<size_t>(i)] = i;
        return v;
    }
    bool Render(const CQWF_DWordArray& list, bool live = false)
    {
        if (list.GetCount() == 0)
            return view.RenderPieces(nullptr, 0, false, live);
        return view.RenderPieces(static_cast<const int32_t*>(list.GetPtr(0)),
                                 static_cast<int32_t>(list.GetCount()), false, live);
    }
};
}  // namespace

TEST(PieceCommands, EffectSwitchCopyPasteResetRenderAndUndo)
{
    Fixture f;
    const int32_t n = f.Count();
    ASSERT_EQ(n, 12);
    // An empty list returns at once, without even a progress line.
    f.sink.progressBegun = 0;
    EXPECT_TRUE(f.view.RenderPieces(nullptr, 0, false, false));
    EXPECT_EQ(f.sink.progressBegun, 0);
    // Every piece listed, none changed: nothing is composited again. With one changed, only
    // its rectangle is.
    const size_t bytes = static_cast<size_t>(W) * H * 4;
    std::vector<int32_t> all = f.All();
    std::memset(f.target.GetData(), 0x5A, bytes);
    ASSERT_TRUE(f.view.RenderPieces(all.data(), n, false, false));
    EXPECT_EQ(std::count(f.target.GetData(), f.target.GetData() + bytes, 0x5A),
              static_cast<std::ptrdiff_t>(bytes));
    f.e.GetPiece(4)->opacity[kJigToApply] = {1, 100};
    ASSERT_TRUE(f.view.RenderPieces(all.data(), n, false, false));
    const JigPiece& four = *f.e.GetPiece(4);
    size_t inside = 0;
    for (int32_t pl = 0; pl < 4; ++pl)
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const uint8_t b = f.target.GetData()[(static_cast<size_t>(pl) * H + y) * W + x];
                if (x >= four.left && x < four.right && y >= four.top && y < four.bottom)
                    inside += b != 0x5A;
                else
                    ASSERT_EQ(b, 0x5A) << x << "," << y;
            }
    EXPECT_GT(inside, 0u);
    f.e.GetPiece(4)->opacity[kJigToApply] = {0, 255};
    ASSERT_TRUE(f.view.RenderPieces(all.data(), n, false, false));
    ASSERT_TRUE(f.view.CompositePieces(f.target, nullptr, 0, QWF_WHOLE_RECT, false, 0, 100));
    f.ExpectTargetIsWholeComposite();

    // Blur on piece 3 only; toggling a selection that holds piece 3 switches it off everywhere.
    CQWF_DWordArray changed;
    f.view.SetPiecesEffect(0, true, true, 3, changed);
    ASSERT_EQ(changed.GetCount(), 1u);
    ASSERT_TRUE(f.Render(changed));
    f.ExpectTargetIsWholeComposite();
    EXPECT_EQ(f.view.GetPieceEffectFlags(3) & kFxBlur, kFxBlur);
    f.view.SelectPiece(3, 1, false);
    f.view.SelectPiece(4, 1, false);
    changed.RemoveAll();
    f.view.SetPiecesEffect(0, false, false, -1, changed);
    EXPECT_EQ(changed.GetCount(), 1u);  // only piece 3 differs from "off"
    ASSERT_TRUE(f.Render(changed));
    EXPECT_EQ(f.view.GetPieceEffectFlags(-1) & kFxBlur, 0u);
    // Toggling again: none has it, so on for both; setting the state they have changes nothing.
    changed.RemoveAll();
    f.view.SetPiecesEffect(0, false, false, -1, changed);
    EXPECT_EQ(changed.GetCount(), 2u);
    ASSERT_TRUE(f.Render(changed));
    changed.RemoveAll();
    f.view.SetPiecesEffect(0, true, true, -1, changed);
    EXPECT_EQ(changed.GetCount(), 0u);
    // Invert is its own byte.
    f.view.SetPiecesEffect(7, false, false, 5, changed);
    ASSERT_EQ(changed.GetCount(), 1u);
    EXPECT_EQ(f.e.GetPiece(5)->invert[kJigToApply], 1);
    ASSERT_TRUE(f.Render(changed));
    EXPECT_EQ(f.e.GetPiece(5)->invert[kJigApplied], 1);
    f.ExpectTargetIsWholeComposite();

    // Paste needs a copy first; the copy is the piece's rendered settings.
    changed.RemoveAll();
    CPieceView fresh(f.e);
    EXPECT_FALSE(fresh.PasteEffects(-1, changed));
    EXPECT_FALSE(f.view.CopyEffects(n));
    ASSERT_TRUE(f.view.CopyEffects(3));  // blur on
    f.view.DeselectAllPieces(false);
    f.view.BeginPiecesChange();
    ASSERT_TRUE(f.view.PasteEffects(8, changed));
    ASSERT_EQ(changed.GetCount(), 1u);
    ASSERT_TRUE(f.Render(changed));
    f.view.EndPiecesChange(true);
    EXPECT_TRUE(f.e.GetPiece(8)->blur[kJigApplied].on);
    std::vector<uint8_t> after(f.target.GetData(), f.target.GetData() + static_cast<size_t>(W) * H * 4);

    // Undo gives piece 8 its old look, Redo the new one, both composited as the engine would.
    ASSERT_TRUE(f.view.UndoPiecesChange());
    EXPECT_FALSE(f.e.GetPiece(8)->blur[kJigApplied].on);
    f.ExpectTargetIsWholeComposite();
    ASSERT_TRUE(f.view.UndoPiecesChange());
    EXPECT_TRUE(f.e.GetPiece(8)->blur[kJigApplied].on);
    EXPECT_EQ(0, std::memcmp(f.target.GetData(), after.data(), after.size()));

    // Reset with nothing selected: every piece, a hidden one shown again and drawn anew.
    f.e.GetPiece(2)->shown = 0;
    changed.RemoveAll();
    f.view.ResetEffects(changed);
    EXPECT_EQ(changed.GetCount(), static_cast<size_t>(n));
    EXPECT_EQ(f.e.GetPiece(2)->shown, 1);
    ASSERT_TRUE(f.Render(changed));
    for (int32_t i = 0; i < n; ++i) EXPECT_FALSE(f.view.PieceNeedsRender(i, true)) << i;
    EXPECT_FALSE(f.e.GetPiece(8)->blur[kJigApplied].on);
    f.ExpectTargetIsWholeComposite();
}

TEST(PieceCommands, LiveRenderRestartsWithoutRecursionAndKeepsItsArea)
{
    Fixture f;
    std::vector<int32_t> all = f.All();
    for (int32_t i = 0; i < f.Count(); ++i) f.e.GetPiece(i)->opacity[kJigToApply] = {1, 90};
    // A newer request arrives while the third piece is due: the first two are rendered, the
    // nested call only asks for the restart, and the loop starts over at the same depth.
    f.sink.nestedAt = 2;
    ASSERT_TRUE(f.view.RenderPieces(all.data(), f.Count(), false, true));
    EXPECT_TRUE(f.sink.nestedResult);
    EXPECT_EQ(f.sink.maxDepth, 1);
    EXPECT_EQ(f.sink.dispatches, 2 + 1 + f.Count());
    EXPECT_FALSE(f.view.IsRendering());
    for (int32_t i = 0; i < f.Count(); ++i) EXPECT_FALSE(f.view.PieceNeedsRender(i, true));
    f.ExpectTargetIsWholeComposite();
    // Without the live flag nothing is dispatched.
    f.sink.dispatches = 0;
    f.e.GetPiece(0)->opacity[kJigToApply].value = 20;
    ASSERT_TRUE(f.view.RenderPieces(all.data(), 1, false, false));
    EXPECT_EQ(f.sink.dispatches, 0);
    f.ExpectTargetIsWholeComposite();
}

TEST(PieceCommands, SelectionAndVisibility)
{
    Fixture f(false);  // razor cut off: piece 0 is the knife lines
    const int32_t n = f.Count();
    ASSERT_GT(n, 12);
    // A band over the whole image takes every piece but the knife lines.
    f.view.SelectInImageRect(QWF_Rect{-5, -5, W + 5, H + 5}, false, false, false);
    EXPECT_FALSE(f.e.GetPiece(0)->selected);
    for (int32_t i = 1; i < n; ++i) EXPECT_TRUE(f.e.GetPiece(i)->selected) << i;
    f.view.SelectFirstPiece(true, false);
    EXPECT_EQ(f.view.GetPiecesFlagState(), 1);
    // Inverting a full selection leaves nothing and an empty mask.
    f.view.InvertSelection(false);
    EXPECT_EQ(f.view.GetPiecesFlagState(), 0);
    for (int i = 0; i < W * H; ++i) ASSERT_EQ(f.view.GetMarks()[i], 0);
    // Random: one in twenty of the table, at least one.
    qwp::SeedRandom(3);
    ASSERT_TRUE(f.view.SelectRandom(1, false));
    int selected = 0;
    for (int32_t i = 0; i < n; ++i) selected += f.e.GetPiece(i)->selected ? 1 : 0;
    EXPECT_EQ(selected, 1);
    // Hiding with nothing selected hides every piece; the area is the union of their boxes.
    f.view.DeselectAllPieces(false);
    QWF_Rect r = f.view.ShowSelectedPieces(false);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, W);
    EXPECT_EQ(r.bottom, H);
    r = f.view.ShowSelectedPieces(false);  // nothing changes a second time
    EXPECT_GE(r.left, r.right);
    // Hidden ones selected, their visibility reversed: the selection's pieces only.
    f.e.GetPiece(5)->shown = 1;
    f.view.SelectShownPieces(true, false);
    EXPECT_FALSE(f.e.GetPiece(5)->selected);
    EXPECT_TRUE(f.e.GetPiece(6)->selected);
    f.view.ReverseVisibility();
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(f.e.GetPiece(i)->shown, 1) << i;
    // A range from an index past the table is refused.
    f.view.DeselectAllPieces(false);
    f.view.SelectRange(true, false, n, 1, false);
    EXPECT_EQ(f.view.GetPiecesFlagState(), 0);
}
