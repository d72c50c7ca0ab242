// The main window's window-free parts: the hand-over of the layout to the engine against the
// engine's replay of the same layout, the piece view over a real cut, the layout drawing and the
// info line.
#include "plugin/core/jigcrafter.h"
#include "plugin/core/qw_windowprogress.h"
#include "plugin/main/layout_drawing.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/main_info.h"
#include "plugin/main/piece_view.h"

#include "platform/qw_random.h"
#include "plugin/main/layout_test_support.h"
#include "plugin/core/jigcrafter_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {
using layouttest::Bytes;
using layouttest::Serialize;

// A layout with every kind of knife: shaped, flipped both ways, tips sizes, hidden ones, extra
// knives, and values outside the ranges a stored layout may hold.
void BusyLayout(CLayoutModel& m)
{
    qwp::SeedRandom(5);
    m.SetImageSize(120, 90);
    m.SetKnotAmplitude(0.35f);
    ASSERT_TRUE(m.SetGridSize(5, 4, true, true));
    m.RandomizeKnots(true);
    int n = 0;
    auto shape = [&](KnifeRecord& k) {
        CLayoutModel::DefaultKnifeShape(k);
        k.flipAcross = n % 2;
        k.flipAlong = (n / 2) % 2;
        k.hidden = n % 7 == 3;
        k.tipsSize = n % 3 == 0 ? 100 : 30 + n;
        k.thickness = 1 + n % 5;
        k.H[1] += 0.01f * static_cast<float>(n);
        ++n;
    };
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i) shape(m.RowKnives()[i]);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i) shape(m.ColumnKnives()[i]);
    m.AddExtraKnife(0, 13);
    m.AddExtraKnife(7, 20);
    shape(m.ExtraKnives()[0].knife);
    shape(m.ExtraKnives()[1].knife);
    // Out of range: clamped the same way by both.
    m.ColumnKnives()[0].H[0] = 5.0f;
    m.ColumnKnives()[0].U[2] = -0.5f;
    m.ColumnKnives()[0].S[1] = 9.0f;
    m.XLines()[1] = 1.5f;
    m.Knots()[8].x = -3.0f;
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    m.SetFlag(CLayoutModel::kFlagAntiAlias, 1);
}

void ExpectSameKnife(const JigKnife& a, const JigKnife& b, const char* what, int i)
{
    SCOPED_TRACE(std::string(what) + " " + std::to_string(i));
    EXPECT_EQ(a.thickness, b.thickness);
    ASSERT_EQ(a.nodeCount, b.nodeCount);
    EXPECT_EQ(0, std::memcmp(a.u, b.u, sizeof a.u));
    EXPECT_EQ(0, std::memcmp(a.h, b.h, sizeof a.h));
    EXPECT_EQ(0, std::memcmp(a.s, b.s, sizeof a.s));
}

struct RecordingSink : CPieceViewSink {
    std::vector<std::string> checked, enabled, disabled;
    int renders = 0;
    void SetCheck(const char* name, bool on) override
    {
        if (on) checked.push_back(name);
    }
    void EnableControl(const char* name, bool on) override
    {
        (on ? enabled : disabled).push_back(name);
    }
    void RenderPreview() override { ++renders; }
};
}  // namespace

TEST(MainHandOver, KnivesEqualTheReplayOfTheSameLayout)
{
    CLayoutModel m;
    BusyLayout(m);
    CJigcrafter direct, replayed;
    ASSERT_TRUE(TransferKnives(m, direct));
    Bytes blob = Serialize(m);
    CQWF_Mem hold;
    ASSERT_TRUE(hold.Alloc(blob.size()));
    std::memcpy(hold.GetData(), blob.data(), blob.size());
    bool layoutMode = false;
    uint32_t count = 0;
    uint8_t* recs = nullptr;
    ASSERT_TRUE(replayed.LoadLayout(&hold, layoutMode, count, recs));

    ASSERT_EQ(direct.GetXLineCount(), replayed.GetXLineCount());
    ASSERT_EQ(direct.GetYLineCount(), replayed.GetYLineCount());
    EXPECT_EQ(0, std::memcmp(direct.GetXLines(), replayed.GetXLines(), 4 * direct.GetXLineCount()));
    EXPECT_EQ(0, std::memcmp(direct.GetYLines(), replayed.GetYLines(), 4 * direct.GetYLineCount()));
    EXPECT_EQ(direct.GetXLines()[1], 1.0f);
    ASSERT_EQ(direct.GetKnotCount(), replayed.GetKnotCount());
    EXPECT_EQ(0, std::memcmp(direct.GetKnots(), replayed.GetKnots(), 8 * direct.GetKnotCount()));
    ASSERT_EQ(direct.GetRowKnifeCount(), replayed.GetRowKnifeCount());
    for (int32_t i = 0; i < direct.GetRowKnifeCount(); ++i)
        ExpectSameKnife(direct.GetRowKnives()[i], replayed.GetRowKnives()[i], "row", i);
    for (int32_t i = 0; i < direct.GetColumnKnifeCount(); ++i)
        ExpectSameKnife(direct.GetColumnKnives()[i], replayed.GetColumnKnives()[i], "column", i);
    ASSERT_EQ(direct.GetExtraKnifeCount(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        ExpectSameKnife(direct.GetExtraKnives()[i], replayed.GetExtraKnives()[i], "extra", i);
        EXPECT_EQ(direct.GetExtraKnives()[i].knotA, replayed.GetExtraKnives()[i].knotA);
        EXPECT_EQ(direct.GetExtraKnives()[i].knotB, replayed.GetExtraKnives()[i].knotB);
    }
    for (int j = 0; j < direct.GetColumnKnives()[0].nodeCount; ++j)
        EXPECT_LE(std::fabs(direct.GetColumnKnives()[0].h[j]), 3.0f);
    EXPECT_FALSE(direct.GetRazorCut() || replayed.GetRazorCut());
    EXPECT_TRUE(direct.GetAntiAliasing() && replayed.GetAntiAliasing());
    EXPECT_TRUE(layoutMode);
    EXPECT_EQ(count, 0u);

    // The two engines cut the same pieces.
    jigtest::Planes img(120, 90);
    ASSERT_TRUE(direct.Cut(120, 90, nullptr, 0, img.ptr, 120, 3, 0, 100, false));
    ASSERT_TRUE(replayed.Cut(120, 90, nullptr, 0, img.ptr, 120, 3, 0, 100, false));
    ASSERT_EQ(direct.GetPieceCount(), replayed.GetPieceCount());
    std::vector<uint8_t> a(120 * 90), b(120 * 90);
    for (int32_t i = 0; i < direct.GetPieceCount(); ++i) {
        const JigPiece& pa = *direct.GetPiece(i);
        const JigPiece& pb = *replayed.GetPiece(i);
        ASSERT_EQ(pa.left, pb.left);
        ASSERT_EQ(pa.right, pb.right);
        ASSERT_TRUE(direct.ReadPieceMask(i, a.data(), pa.Width()));
        ASSERT_TRUE(replayed.ReadPieceMask(i, b.data(), pb.Width()));
        EXPECT_EQ(0, std::memcmp(a.data(), b.data(), static_cast<size_t>(pa.Width()) * pa.Height()));
    }

    // Tips 50 halves H and draws U halfway to the centre (the nodes' mean U, 0.4); a flip along
    // mirrors U and reverses the nodes, one across negates H; a hidden knife does not cut.
    for (int i : {1, 2}) {
        KnifeRecord& k = m.ColumnKnives()[i];
        k = KnifeRecord{};
        k.nodeCount = 2;
        k.U[0] = 0.2f;
        k.U[1] = 0.6f;
        k.H[0] = 0.4f;
        k.H[1] = -0.2f;
        k.tipsSize = i == 1 ? 50 : 100;
        k.flipAlong = k.flipAcross = i == 2;
    }
    m.RowKnives()[0].hidden = 1;
    m.XLines()[1] = 0.6f;
    m.Knots()[8].x = -0.3f;
    ASSERT_TRUE(TransferKnives(m, direct));
    // Within their ranges, the engine places the knots where the window does.
    for (int row = 0; row < m.GetKnotRows(); ++row)
        for (int col = 0; col < m.GetKnotsPerRow(); ++col) {
            double mx, my, ex, ey;
            m.GetKnotPosition(col, row, 120, 90, 0, 0, mx, my);
            direct.GetKnotPosition(col, row, 120, 90, ex, ey);
            EXPECT_NEAR(mx, ex, 1e-9) << col << "," << row;
            EXPECT_NEAR(my, ey, 1e-9) << col << "," << row;
        }
    const JigKnife* c = direct.GetColumnKnives();
    for (const auto& [got, want] : {std::pair{c[1].u[0], 0.3f}, {c[1].h[1], -0.1f}, {c[2].u[0], 0.4f}, {c[2].u[1], 0.8f},
                                    {c[2].h[0], 0.2f}, {c[2].h[1], -0.4f}})
        EXPECT_FLOAT_EQ(got, want);
    EXPECT_EQ(direct.GetRowKnives()[0].nodeCount, -1);

    // An extra knife naming a knot outside the lattice is refused.
    m.ExtraKnives()[1].knotB = m.GetKnotCount();
    EXPECT_FALSE(TransferKnives(m, direct));
}

TEST(MainPieceView, FlagsAggregatesMarksAndUndo)
{
    CJigcrafter e;
    CPieceView view(e);
    RecordingSink sink;
    view.SetSink(&sink);
    // No pieces: nothing selected, no effects, no index outside refused loudly.
    EXPECT_EQ(view.GetPiecesFlagState(), 0);
    EXPECT_EQ(view.GetPieceEffectFlags(-1), 0u);
    EXPECT_FALSE(view.PieceNeedsRender(-1, true));
    EXPECT_EQ(view.GetPieceMaskBounds(-5).left, -32000);

    CLayoutModel m;
    m.SetImageSize(60, 40);
    ASSERT_TRUE(m.SetGridSize(3, 2, true, true));
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    ASSERT_TRUE(TransferKnives(m, e));
    jigtest::Planes img(60, 40);
    ASSERT_TRUE(e.Cut(60, 40, nullptr, 0, img.ptr, 60, 3, 0, 100, false));
    const int32_t n = e.GetPieceCount();
    ASSERT_GE(n, 6);
    view.SetImageSize(60, 40);
    ASSERT_TRUE(view.RebuildMarks());
    EXPECT_FALSE(view.PieceNeedsRender(-1, true));
    EXPECT_FALSE(view.PieceNeedsRender(n, true));

    for (int32_t i = 0; i < n; ++i) e.GetPiece(i)->bevel[kJigApplied].on = 0;
    e.GetPiece(n - 1)->blur[kJigApplied].on = 1;
    e.GetPiece(n - 2)->stroke[kJigApplied].on = 1;
    e.GetPiece(n - 2)->shown = 0;
    // Nothing selected: the whole table counts.
    EXPECT_EQ(view.GetPieceEffectFlags(-1), kFxBlur | kFxStroke | kFxSomeShown | kFxSomeHidden);
    view.SelectPiece(n - 1, 1, false);
    EXPECT_EQ(view.GetPiecesFlagState(), 2);
    EXPECT_EQ(view.GetPieceEffectFlags(-1), kFxBlur | kFxSomeShown);
    view.UpdateEffectButtons(false, false);
    EXPECT_EQ(sink.checked, std::vector<std::string>{"Main_FXBlur"});
    EXPECT_EQ(sink.enabled, std::vector<std::string>{"Main_Hide"});
    EXPECT_EQ(sink.disabled, std::vector<std::string>{"Main_Show"});
    sink.checked.clear();
    view.UpdateEffectButtons(true, false);  // Layout mode: nothing
    view.UpdateEffectButtons(false, true);  // effect window open: nothing
    EXPECT_TRUE(sink.checked.empty());

    // The marks are 255 exactly over the selected piece.
    const JigPiece& last = *e.GetPiece(n - 1);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 60; ++x) {
            const bool inside = CJigcrafter::PieceMaskAt(last, x, y) != 0;
            ASSERT_EQ(view.GetMarks()[y * 60 + x], inside ? 255 : 0) << x << "," << y;
        }
    view.SelectAllPieces(true);
    EXPECT_EQ(view.GetPiecesFlagState(), 1);
    EXPECT_EQ(sink.renders, 1);

    // The snapshot pair keeps the state before a change; an unchanged change keeps the older.
    view.BeginPiecesChange();
    view.DeselectAllPieces(false);
    view.EndPiecesChange(true);
    EXPECT_TRUE(view.GetUndo().HasState());
    view.BeginPiecesChange();
    view.EndPiecesChange(true);
    int32_t current = -1;
    ASSERT_TRUE(view.GetUndo().Swap(e, true, current, nullptr));
    EXPECT_EQ(view.GetPiecesFlagState(), 1);  // the older state: everything selected
}

TEST(MainPieceView, BandLassoOverlayAndComposite)
{
    CJigcrafter e;
    CPieceView view(e);
    view.SetPreviewRect({10, 20, 110, 80});
    CQWF_Image face;
    ASSERT_TRUE(face.Create(200, 100, 1));
    face.Fill(0xFF808080);
    face.Fill(0xFF101010, 255, QWF_Rect{10, 20, 30, 40});
    ASSERT_TRUE(view.BuildPreviewMask(face));
    CQWF_Image& o = view.GetOverlay();
    ASSERT_EQ(o.GetWidth(), 100);
    EXPECT_EQ(o.GetPlane(0)[0], 255);        // dark face: 255
    EXPECT_EQ(o.GetPlane(1)[30 * 100 + 50], 0);  // light face: 0

    // A band of one point is one pixel; a band outside draws nothing.
    QWF_Rect dot = {40, 50, 41, 51};
    view.DrawRubberBand(&dot);
    int lit = 0;
    for (int i = 0; i < 100 * 60; ++i) lit += o.GetPlane(3)[i] ? 1 : 0;
    EXPECT_EQ(lit, 1);
    EXPECT_EQ(o.GetPlane(3)[30 * 100 + 30], 255);
    // A band without width or height draws nothing, nor does none.
    for (const QWF_Rect& empty : {QWF_Rect{40, 50, 40, 60}, QWF_Rect{40, 50, 60, 50}}) {
        view.DrawRubberBand(&empty);
        EXPECT_EQ(std::count(o.GetPlane(3), o.GetPlane(3) + 100 * 60, 0), 100 * 60) << empty.right;
    }
    view.DrawRubberBand(nullptr);
    EXPECT_EQ(std::count(o.GetPlane(3), o.GetPlane(3) + 100 * 60, 0), 100 * 60);

    // Lasso points left of and above the window keep their sign.
    int32_t x = 0, y = 0;
    UnpackLassoPoint(PackLassoPoint(-7, -300), x, y);
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, -300);
    CQWF_DWordArray pts;
    pts.Add(PackLassoPoint(-5, -5));
    pts.Add(PackLassoPoint(60, 50));
    view.DrawLasso(pts);
    // The segment from (-5, -5) to (60, 50) crosses overlay row 10 at x 26 and row 25 at x 44.
    EXPECT_GT(o.GetPlane(3)[10 * 100 + 26], 0);
    EXPECT_GT(o.GetPlane(3)[25 * 100 + 44], 0);
    EXPECT_EQ(o.GetPlane(3)[10 * 100 + 10], 0);

    // Composite: rendered pieces laid into an RGBA image equal the engine's own composite.
    CLayoutModel m;
    m.SetImageSize(60, 40);
    ASSERT_TRUE(m.SetGridSize(3, 2, true, true));
    ASSERT_TRUE(TransferKnives(m, e));
    jigtest::Planes img(60, 40);
    ASSERT_TRUE(e.Cut(60, 40, nullptr, 0, img.ptr, 60, 3, 0, 100, true));
    CQWF_Image target;
    ASSERT_TRUE(target.Create(60, 40, 2));
    target.Fill(0);
    ASSERT_TRUE(view.CompositePieces(target, nullptr, 0, QWF_WHOLE_RECT, false, 0, 100));
    std::vector<uint8_t> planes(60 * 40 * 4, 0);
    uint8_t* p[4] = {&planes[0], &planes[2400], &planes[4800], &planes[7200]};
    ASSERT_TRUE(e.Composite(60, 40, p, 60, 4, nullptr, 0, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE,
                            QWF_WHOLE, !e.GetRazorCut() && e.GetAntiAliasing(), 0, 100));
    EXPECT_EQ(0, std::memcmp(target.GetData(), planes.data(), planes.size()));
}

TEST(MainLayoutDrawing, KnivesGridAndRulers)
{
    CLayoutModel m;
    m.SetImageSize(200, 100);
    ASSERT_TRUE(m.SetGridSize(2, 1, true, true));
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    m.SetFlag(CLayoutModel::kFlagAntiAlias, 1);
    CLayoutDrawing d;
    ASSERT_TRUE(d.SetSize(200, 100));

    // A knife with both flips drawn from A to B looks like the knife drawn from B to A.
    KnifeRecord k{};
    CLayoutModel::DefaultKnifeShape(k);
    k.thickness = 3;
    k.tipsSize = 80;
    ASSERT_TRUE(d.DrawKnifeCurve(m, k, 150, 80, 30, 20));
    std::vector<uint8_t> plain(d.GetOverlay().GetData(), d.GetOverlay().GetData() + 200 * 100 * 4);
    d.Clear();
    k.flipAcross = k.flipAlong = 1;
    ASSERT_TRUE(d.DrawKnifeCurve(m, k, 30, 20, 150, 80));
    int differ = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        differ += std::abs(plain[i] - d.GetOverlay().GetData()[i]) > 2 ? 1 : 0;
    EXPECT_LT(differ, 8);
    // Hit near its outline, not far from it.
    ASSERT_GE(k.outlinePoints, 3);
    const double* op = reinterpret_cast<const double*>(k.pOutline->GetData());
    const int64_t mid = k.outlinePoints / 2;
    EXPECT_TRUE(m.HitTestKnife(k, op[2 * mid] + 3, op[2 * mid + 1]));
    EXPECT_FALSE(m.HitTestKnife(k, op[2 * mid] + 40, op[2 * mid + 1] - 40));

    // A knife without nodes: one straight segment, two points cached; a hidden one is drawn at
    // the hidden-knife opacity.
    KnifeRecord s{};
    s.thickness = 1;
    s.tipsSize = 100;
    s.hidden = 1;
    d.Clear();
    d.SetHiddenKnifeOpacity(128);
    ASSERT_TRUE(d.DrawKnifeCurve(m, s, 10, 50.5, 190, 50.5));
    EXPECT_EQ(s.outlinePoints, 2);
    const uint8_t a = d.GetOverlay().GetPlane(3)[50 * 200 + 100];
    EXPECT_GT(a, 100);
    EXPECT_LE(a, 128);
    EXPECT_FALSE(d.DrawKnifeCurve(m, s, 10, 50, 10, 50));
    m.ReleaseKnifeCaches();
    delete k.pOutline;
    delete s.pOutline;

    // Grid lines at the model's positions, or evenly spaced for another count.
    d.DrawGrid(m, 2, 3, QWF_Rect{0, 0, 200, 100}, 200, 100, 0, 0);
    const uint8_t* alpha = d.GetOverlay().GetPlane(3);
    EXPECT_GT(alpha[10 * 200 + 100], 0);  // the x line at one half
    EXPECT_GT(alpha[33 * 200 + 10] + alpha[34 * 200 + 10], 0);  // a y line at one third
    EXPECT_EQ(alpha[10 * 200 + 10], 0);
    // Lines on the clip's first column and first row: the clip from (100, 50), the x line at
    // one half of 200, the y line at one half of 100 (the scroll holds the clip's origin).
    d.DrawGrid(m, 2, 2, QWF_Rect{100, 50, 200, 100}, 200, 100, 100, 50);
    EXPECT_GT(alpha[80 * 200 + 100], 0);
    EXPECT_GT(alpha[50 * 200 + 150], 0);
    EXPECT_EQ(alpha[60 * 200 + 150], 0);

    // Ruler strips: filled, with a wedge at each marker.
    CQWF_Image top, left;
    ASSERT_TRUE(top.Create(100, 9, 2));
    ASSERT_TRUE(left.Create(9, 60, 2));
    // One marker each; the second in each array lies past the count and is not drawn.
    const RulerMarker tm[2] = {{40, 5, 0}, {80, 5, 1}};
    const RulerMarker lm[2] = {{3, 30, 0}, {3, 50, 1}};
    LayoutColours colours;
    CLayoutDrawing::DrawRulerMarks(top, QWF_Rect{20, 0, 120, 9}, tm, 1, left,
                                   QWF_Rect{0, 10, 9, 70}, lm, 1, true, colours);
    // {top ruler?, x, y, byte}: the Layout-mode fill 0xD5; the top wedge's tip at x 40 - 20 and
    // its base five wide; the left wedge's tip at y 30 - 10; nothing at the markers past the count.
    const int pixels[][4] = {{1, 0, 0, 0xD5},  {1, 20, 6, 0},    {1, 21, 6, 0xD5}, {1, 18, 2, 0},   {1, 22, 2, 0},
                             {1, 23, 2, 0xD5}, {0, 6, 20, 0},    {0, 6, 21, 0xD5}, {1, 60, 6, 0xD5}, {0, 6, 40, 0xD5}};
    for (const auto& p : pixels) {
        const CQWF_Image& ruler = p[0] ? top : left;
        EXPECT_EQ(ruler.GetPlane(0)[p[2] * ruler.GetWidth() + p[1]], p[3]) << p[0] << " " << p[1] << "," << p[2];
    }
}

TEST(MainInfo, TextsAndCursors)
{
    CQWF_String s;
    InfoImage img{1, 1, 0.0, 0.0, kUnitPercent};
    FormatPositionInfo(s, img, 0, 0);
    EXPECT_STREQ(s.GetData(), "X: 0.0 (%) (0 px)\tY: 0.0 (%) (0 px)");
    img = {300, 200, 0.0, 0.0, kUnitCentimetres};
    FormatPositionInfo(s, img, 72, -1);
    EXPECT_STREQ(s.GetData(), "X: 2.54 cm (72 px)\tY: ---");
    img.units = kUnitMillimetres;
    img.width = 100000;
    FormatPositionInfo(s, img, 72000, 65535);
    EXPECT_STREQ(s.GetData(), "X: 25400 mm (72000 px)\tY: ---");
    // Two decimals below 100, one below 1000, none from there: 72 pixels an inch.
    img = {100000, 100000, 72.0, 72.0, kUnitInches};
    FormatPositionInfo(s, img, 7199, 7200);
    EXPECT_STREQ(s.GetData(), "X: 99.99 inches (7199 px)\tY: 100.0 inches (7200 px)");
    FormatPositionInfo(s, img, 71999, 72000);
    EXPECT_STREQ(s.GetData(), "X: 1000.0 inches (71999 px)\tY: 1000 inches (72000 px)");
    img = {300, 200, 300.0, 150.0, kUnitInches};
    FormatImageSizeInfo(s, img);
    EXPECT_STREQ(s.GetData(), "Image Size (W x H): 1.00 inches x 1.33 inches (300 px x 200 px)");
    const float lines[2] = {0.25f, 0.5f};
    img.units = kUnitPixels;
    FormatGridLineInfo(s, img, lines, 2, 1, true);
    EXPECT_STREQ(s.GetData(), "Position: 100.0 (px) Rows: 50.0 (px) | 100.0 (px)");
    FormatGridLineInfo(s, img, lines, 2, 0, true);
    EXPECT_STREQ(s.GetData(), "Position: 50.0 (px) Rows: 50.0 (px) | 50.0 (px)");
    FormatGridLineInfo(s, img, lines, 2, 2, true);  // no such line
    EXPECT_STREQ(s.GetData(), "");
    AppendPieceInfo(s, -1, 12, true, 0, 0);
    EXPECT_NE(std::string(s.GetData()).find(" \tPiece: ??? (12)"), std::string::npos);
    FormatProgressText(s, "M", 3);
    EXPECT_STREQ(s.GetData(), "M 3%\tIII");

    // The preview's cursors (the rulers' are in main_cursor_test.cpp): Space or panning without
    // a selection drag (Alt, Ctrl, the scroll bars enabled), else the piece in Puzzle mode.
    struct Case {
        uint32_t modifiers;
        bool panning, selectionDrag, hScroll, vScroll, layout;
        int32_t piece;
        bool hidden, translucent;
        int cursor;
    };
    for (const Case& c : {Case{16 | 1, false, false, true, true, true, -1, false, false, 111},
                          Case{16 | 4, false, false, true, true, false, 2, false, false, 110},
                          Case{16, false, false, true, true, true, -1, false, false, 107},
                          Case{0, true, false, false, true, true, -1, false, false, 108},
                          Case{16, false, false, false, false, false, 2, false, false, 112},
                          Case{16, true, true, true, false, false, -1, false, false, 114},
                          Case{0, false, false, false, false, false, 3, true, true, 117},
                          Case{0, false, false, false, false, false, 3, false, true, 116},
                          Case{0, false, false, false, false, false, 0, false, false, 115},
                          Case{0, false, false, false, false, true, -1, false, false, 115}}) {
        CursorQuery q{};
        q.inPreview = true;
        q.modifiers = c.modifiers;
        q.panning = c.panning;
        q.selectionDrag = c.selectionDrag;
        q.hScroll = c.hScroll;
        q.vScroll = c.vScroll;
        q.layoutMode = c.layout;
        q.piece = c.piece;
        q.pieceHidden = c.hidden;
        q.pieceTranslucent = c.translucent;
        EXPECT_EQ(ChooseMainCursor(q), c.cursor) << c.cursor;
    }
}

TEST(MainProgress, SinksSkipRepeatsAndTheCutterMovesEveryFifth)
{
    struct Main : CMainProgressTarget {
        int texts = 0, pumps = 0;
        void SetProgressText(const char*, uint8_t) override { ++texts; }
        void PumpMessages() override { ++pumps; }
    } main;
    CMainProgress mp(&main, "Rendering is in progress:");
    mp.SetPercent(37);
    mp.SetPercent(37);
    EXPECT_EQ(main.texts, 1);
    EXPECT_FALSE(mp.IsCancelled());
    EXPECT_EQ(main.pumps, 1);

    struct Cutter : CCutterProgressTarget {
        std::vector<int> shown;
        int owner = 0, own = 0;
        bool cancel = false;
        void SetProgressPercent(uint8_t p) override { shown.push_back(p); }
        void PumpOwnerMessages() override { ++owner; }
        void PumpOwnMessages() override { ++own; }
        bool IsCancelRequested() const override { return cancel; }
    } cutter;
    CCutterProgress cp(&cutter);
    cp.SetPercent(41);
    cp.SetPercent(42);
    cp.SetPercent(45);
    cp.SetPercent(45);
    EXPECT_EQ(cutter.shown, std::vector<int>{45});
    EXPECT_FALSE(cp.IsCancelled());
    cutter.cancel = true;
    EXPECT_TRUE(cp.IsCancelled());
    EXPECT_EQ(cutter.owner, 2);
    EXPECT_EQ(cutter.own, 2);
}
