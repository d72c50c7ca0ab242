// The effect windows' model over a real piece table: targets, the spread of values between the
// two ends, the parameter boxes, what reaches the pieces on OK and on Cancel, and the
// conversions the windows show.
#include "plugin/windows/effect_model.h"

#include "plugin/core/jigcrafter.h"
#include "plugin/core/jigcrafter_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace qwfx;

namespace {
// A table of columns x rows pieces cut from a 30-pixel grid, and the records of every piece as
// the main window's undo state holds them when a window opens.
struct Pieces {
    CJigcrafter e;
    jigtest::Planes img;
    std::vector<PieceEffectRecord> snap;
    Pieces(int columns, int rows) : img(columns * 30, rows * 30)
    {
        EXPECT_TRUE(jigtest::BuildGrid(e, columns, rows, false));
        EXPECT_TRUE(e.Cut(columns * 30, rows * 30, nullptr, 0, img.ptr, columns * 30, 3, 0, 100,
                          false));
        Snap();
    }
    void Snap()
    {
        snap.resize(static_cast<size_t>(e.GetPieceCount()));
        for (int32_t i = 0; i < e.GetPieceCount(); ++i)
            e.PieceToRecord(i, snap[static_cast<size_t>(i)]);
    }
    int32_t Count() const { return e.GetPieceCount(); }
    // The piece of grid cell c, r (its box's centre lies in the cell).
    int32_t At(int c, int r) const
    {
        for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
            const JigPiece* p = e.GetPiece(i);
            if ((p->left + p->right) / 2 / 30 == c && (p->top + p->bottom) / 2 / 30 == r)
                return i;
        }
        return -1;
    }
    PieceEffectRecord Working(int32_t i) const
    {
        PieceEffectRecord r;
        e.PieceToRecord(i, r, kJigToApply);
        return r;
    }
    bool Open(CEffectModel& m, int32_t current = -1)
    {
        if (!m.CollectTargets(e, snap.data(), static_cast<int32_t>(snap.size())))
            return false;
        m.LoadFromPiece(current);
        return true;
    }
};

struct Sequence {
    std::vector<int> draws;
    size_t next = 0;
    static int Draw(void* self)
    {
        Sequence* s = static_cast<Sequence*>(self);
        return s->draws[s->next++ % s->draws.size()];
    }
};
}  // namespace

TEST(EffectModel, TargetsAreTheSelectedPiecesElseAllWithTheirCentreBox)
{
    Pieces t(3, 2);
    ASSERT_EQ(t.Count(), 6);
    CEffectModel m(kBlur);
    ASSERT_TRUE(t.Open(m));
    EXPECT_EQ(m.GetTargetCount(), 6);
    EXPECT_NEAR(m.GetCentreBox().minX, 15, 1);
    EXPECT_NEAR(m.GetCentreBox().maxX, 75, 1);
    EXPECT_NEAR(m.GetCentreBox().maxY, 45, 1);

    // Two selected pieces are the only targets, in table order; a piece whose settings to apply
    // had drifted from its snapshot takes the snapshot again.
    const int32_t a = t.At(2, 0), b = t.At(0, 1);
    t.e.GetPiece(a)->selected = 1;
    t.e.GetPiece(b)->selected = 1;
    t.e.GetPiece(b)->blur[kJigToApply].radius = 77;
    t.Snap();
    t.snap[static_cast<size_t>(b)].blurRadius = 5;
    ASSERT_TRUE(t.Open(m));
    ASSERT_EQ(m.GetTargetCount(), 2);
    EXPECT_EQ(m.GetTarget(0), a < b ? a : b);
    EXPECT_EQ(t.Working(b).blurRadius, 5);
    EXPECT_NEAR(m.GetCentreBox().minX, 15, 1);
    EXPECT_NEAR(m.GetCentreBox().maxX, 75, 1);
    EXPECT_NEAR(m.GetCentreBox().minY, 15, 1);
    EXPECT_NEAR(m.GetCentreBox().maxY, 45, 1);

    // No pieces, or snapshots that do not cover the table: no window.
    CJigcrafter empty;
    EXPECT_FALSE(m.CollectTargets(empty, t.snap.data(), 6));
    EXPECT_FALSE(m.CollectTargets(t.e, t.snap.data(), 5));
    EXPECT_EQ(m.GetTargetCount(), 0);
}

// (OK without a change, every effect through its window: effect_window_test.cpp.)
TEST(EffectModel, ValueTwoIsTheDefaultAndCancelGivesTheSnapshotsBack)
{
    Pieces t(3, 1);
    const int32_t ref = t.At(1, 0);
    t.snap[static_cast<size_t>(ref)].brightness = -40;
    CEffectModel m(kBrightContrast);
    ASSERT_TRUE(t.Open(m, ref));
    EXPECT_EQ(m.GetNumber(0, 0), -40);
    EXPECT_EQ(m.GetNumber(1, 1), 0);  // value 2: the engine default
    ASSERT_TRUE(m.WriteComputed(t.e));
    ASSERT_EQ(t.Working(0).bcOn, 1);
    // Cancel gives every piece its snapshot back, its on byte too; a current piece outside
    // the table makes the first target the reference.
    ASSERT_TRUE(m.WriteSnapshots(t.e));
    for (int32_t i = 0; i < t.Count(); ++i)
        EXPECT_EQ(t.Working(i).bcOn, 0);
    m.LoadFromPiece(99);
    EXPECT_EQ(m.GetNumber(0, 0), t.snap[static_cast<size_t>(m.GetTarget(0))].brightness);
}

TEST(EffectModel, GradientsRunFromValueOneToValueTwoTowardsTheNamedSide)
{
    Pieces t(3, 3);
    CEffectModel m(kBlur);
    ASSERT_TRUE(t.Open(m));
    m.SetNumber(0, 0, 0);
    m.SetNumber(1, 0, 100);
    m.SetAdjust(true);
    auto radius = [&](int c, int r) {
        m.Compute();
        for (int32_t i = 0; i < m.GetTargetCount(); ++i)
            if (m.GetTarget(i) == t.At(c, r)) {
                PieceEffectRecord e;
                m.GetEntry(i, e);
                EXPECT_EQ(e.blurOn, 1);
                return int(e.blurRadius);
            }
        return -1;
    };
    m.SetDirection(4);  // right
    EXPECT_EQ(radius(0, 1), 0);
    EXPECT_EQ(radius(1, 1), 50);
    EXPECT_EQ(radius(2, 1), 100);
    m.SetDirection(2);  // top: value 2 in the top row
    EXPECT_EQ(radius(1, 2), 0);
    EXPECT_EQ(radius(1, 0), 100);
    m.SetDirection(1);  // top-left
    EXPECT_EQ(radius(2, 2), 0);
    EXPECT_EQ(radius(0, 0), 100);
    EXPECT_EQ(radius(1, 1), 50);
    m.SetDirection(7);  // bottom-left
    EXPECT_EQ(radius(0, 2), 100);
    EXPECT_EQ(radius(2, 0), 0);

    // One row of pieces has no height to spread over: every target takes value 1.
    Pieces row(3, 1);
    CEffectModel r(kBlur);
    ASSERT_TRUE(row.Open(r));
    r.SetNumber(0, 0, 20);
    r.SetNumber(1, 0, 90);
    r.SetAdjust(true);
    for (int d : {2, 6}) {
        r.SetDirection(d);
        r.Compute();
        for (int32_t i = 0; i < r.GetTargetCount(); ++i) {
            PieceEffectRecord e;
            r.GetEntry(i, e);
            EXPECT_EQ(e.blurRadius, 20) << d;
        }
    }
    CentreBox point = {5, 5, 5, 5};
    for (int d = 1; d <= 8; ++d)
        EXPECT_EQ(GradientPosition(d, point, 5, 5), 0.0) << d;
}

TEST(EffectModel, RandomPositionsComeFromTheDrawsAndAreCappedAtOne)
{
    EXPECT_EQ(RandomPosition(32767), 1.0);
    EXPECT_EQ(RandomPosition(32766), 1.0);
    EXPECT_EQ(RandomPosition(0), 0.0);
    Pieces t(2, 1);
    CEffectModel m(kOpacity);
    ASSERT_TRUE(t.Open(m));
    m.SetNumber(0, 0, 0);
    m.SetNumber(1, 0, 255);
    m.SetAdjust(true);
    Sequence s{{16383, 32767}};
    m.Compute(Sequence::Draw, &s);
    PieceEffectRecord a, b;
    m.GetEntry(0, a);
    m.GetEntry(1, b);
    EXPECT_EQ(a.opValue, 128);  // t = 0.5: 127.5 + 0.5
    EXPECT_EQ(b.opValue, 255);
    // Every recompute draws afresh.
    m.Compute(Sequence::Draw, &s);
    m.GetEntry(0, a);
    EXPECT_EQ(a.opValue, 128);
    EXPECT_EQ(s.next, 4u);
}

TEST(EffectModel, UncheckedBoxesKeepEachPiecesOwnValue)
{
    Pieces t(2, 1);
    const int32_t p0 = t.At(0, 0), p1 = t.At(1, 0);
    t.snap[static_cast<size_t>(p0)].brightness = 33;
    t.snap[static_cast<size_t>(p1)].brightness = -12;
    CEffectModel m(kBrightContrast);
    ASSERT_TRUE(t.Open(m, p0));
    m.SetNumber(0, 1, -100);
    m.SetNumber(1, 1, 100);
    m.SetAdjust(true);
    m.SetBox(0, false);  // brightness stays each piece's own
    m.SetDirection(4);
    m.Compute();
    for (int32_t i = 0; i < 2; ++i) {
        PieceEffectRecord e;
        m.GetEntry(i, e);
        const int32_t piece = m.GetTarget(i);
        EXPECT_EQ(e.bcOn, 1);
        EXPECT_EQ(e.brightness, t.snap[static_cast<size_t>(piece)].brightness);
        // At the ends -100 + 0.5 and 100 + 0.5, truncated toward zero.
        EXPECT_EQ(e.contrast, piece == p0 ? -99 : 100);
    }
    // The window's own preview shows the default for the unchecked parameter.
    PieceEffectRecord pv;
    m.SetActive(1);
    m.GetPreviewSetting(pv);
    EXPECT_EQ(pv.brightness, 0);
    EXPECT_EQ(pv.contrast, 100);

    // The bevel: only the size varies; depth and soften stay the pieces', the light, colours and
    // opacities are value 1's.
    t.snap[static_cast<size_t>(p1)].bevelDepth = 40;
    t.snap[static_cast<size_t>(p1)].hlOpacity = 10;
    CEffectModel b(kBevel);
    ASSERT_TRUE(t.Open(b, p0));
    b.SetNumber(1, 0, 200);
    b.SetAdjust(true);
    b.SetBox(1, false);
    b.SetBox(2, false);
    b.SetDirection(4);
    b.Compute();
    PieceEffectRecord e;
    for (int32_t i = 0; i < 2; ++i)
        if (b.GetTarget(i) == p1)
            b.GetEntry(i, e);
    EXPECT_EQ(e.bevelSize, 200);
    EXPECT_EQ(e.bevelDepth, 40);
    EXPECT_EQ(e.hlOpacity, b.GetValue(0).hlOpacity);
    EXPECT_FLOAT_EQ(e.light[0], b.GetValue(0).light[0]);
}

TEST(EffectModel, DamagedSettingsAreClampedAndNeverPassedOn)
{
    Pieces t(2, 1);
    const int32_t p0 = t.At(0, 0), p1 = t.At(1, 0);
    PieceEffectRecord& d0 = t.snap[static_cast<size_t>(p0)];
    d0.blurRadius = 250;
    d0.bevelDepth = 5000;
    d0.bevelSoften = 99;
    d0.hue = 300;
    d0.mbAngle = -128;
    d0.stSize = 200;
    d0.light[0] = d0.light[1] = d0.light[2] = 0.0f;
    t.snap[static_cast<size_t>(p1)].bevelDepth = 4000;
    t.snap[static_cast<size_t>(p1)].light[2] = NAN;

    CEffectModel blur(kBlur), hsl(kHsl), mb(kMotionBlur), st(kStroke), bevel(kBevel);
    for (CEffectModel* m : {&blur, &hsl, &mb, &st, &bevel})
        ASSERT_TRUE(t.Open(*m, p0));
    EXPECT_EQ(blur.GetNumber(0, 0), 100);
    EXPECT_EQ(hsl.GetNumber(0, 0), 180);
    EXPECT_EQ(mb.GetNumber(0, 0), -90);
    EXPECT_EQ(st.GetNumber(0, 2), 100);
    EXPECT_EQ(bevel.GetNumber(0, 1), 999);
    EXPECT_EQ(bevel.GetNumber(0, 2), 20);
    // The light has no range: it stays as stored (the bevel lights it from the front).
    EXPECT_EQ(bevel.GetValue(0).light[2], 0.0f);

    // A piece's own damaged depth under an unchecked box reaches the renderer clamped.
    bevel.SetAdjust(true);
    bevel.SetBox(1, false);
    bevel.Compute();
    for (int32_t i = 0; i < 2; ++i) {
        PieceEffectRecord e;
        bevel.GetEntry(i, e);
        EXPECT_EQ(e.bevelDepth, 999);
        EXPECT_EQ(e.light[2], 0.0f);  // value 1's, as every target's
    }
}

TEST(EffectModel, OpacitiesPassThroughPercentAsTheSlidersHoldThem)
{
    EXPECT_EQ(ByteToPercent(191), 75);
    EXPECT_EQ(ByteToPercent(128), 50);
    EXPECT_EQ(ByteToPercent(255), 100);
    // Tenths above 5 round up, 5 itself does not: 37 is 145 tenths (14.51 %), 40 is 156 (15.69 %).
    EXPECT_EQ(ByteToPercent(37), 14);
    EXPECT_EQ(ByteToPercent(40), 16);
    EXPECT_EQ(PercentToByte(50), 127);
    EXPECT_EQ(PercentToByte(100), 255);
    EXPECT_EQ(PercentToByte(150), 255);

    Pieces t(1, 1);
    t.snap[0].opValue = 128;
    t.snap[0].ovOpacity = 128;
    t.snap[0].hlOpacity = 128;
    CEffectModel op(kOpacity), ov(kColourOverlay), bevel(kBevel);
    ASSERT_TRUE(t.Open(op));
    ASSERT_TRUE(t.Open(ov));
    ASSERT_TRUE(t.Open(bevel));
    EXPECT_EQ(op.GetValue(0).opValue, 127);
    EXPECT_EQ(op.GetValue(1).opValue, 255);
    EXPECT_EQ(ov.GetValue(0).ovOpacity, 127);
    EXPECT_EQ(bevel.GetValue(0).hlOpacity, 127);
    EXPECT_EQ(bevel.GetValue(1).hlOpacity, 127);  // both values carry value 1's opacities
    ASSERT_TRUE(op.WriteComputed(t.e));
    EXPECT_EQ(t.Working(0).opValue, 127);
    EXPECT_EQ(t.Working(0).opOn, 1);

    int32_t lo, hi;
    op.ShownRange(0, lo, hi);
    EXPECT_EQ(hi, 100);
    EXPECT_EQ(op.ClampTyped(0, "250"), 100);
    EXPECT_EQ(op.ClampTyped(0, "abc"), 0);
}

TEST(EffectModel, NumbersConvertAndInterpolateAsTheWindowsShowThem)
{
    EXPECT_EQ(Interpolate(-100, 100, 0.25, -100, 100), -49);
    EXPECT_EQ(Interpolate(-100, 100, 0.5, -100, 100), 0);
    EXPECT_EQ(Interpolate(-180, 180, 0.25, -180, 180), -89);
    EXPECT_EQ(Interpolate(0, 255, 0.5, 0, 255), 128);
    // The ends and equal values take the same half added and truncated toward zero: a negative
    // end comes one step nearer zero (-100 + 0.5 truncates to -99), a positive one stays.
    EXPECT_EQ(Interpolate(-100, 100, 0.0, -100, 100), -99);
    EXPECT_EQ(Interpolate(-100, 100, 1.0, -100, 100), 100);
    EXPECT_EQ(Interpolate(-100, -100, 0.7, -100, 100), -99);
    EXPECT_EQ(Interpolate(-90, -100, 1.0, -100, 100), -99);
    EXPECT_EQ(Interpolate(-180, 180, 0.0, -180, 180), -179);
    EXPECT_EQ(Interpolate(20, 20, 0.3, 0, 100), 20);
    // A position that is no number counts as the start; the range still holds.
    EXPECT_EQ(Interpolate(0, 100, NAN, 0, 100), 0);
    EXPECT_EQ(Interpolate(-30, 90, NAN, -100, 100), -29);
    EXPECT_EQ(Interpolate(0, 255, 1.0, 0, 200), 200);
    // The motion blur's angle slider folds onto the line direction.
    EXPECT_EQ(AngleFromSlider(300), -60);
    EXPECT_EQ(AngleFromSlider(180), 0);
    EXPECT_EQ(AngleFromSlider(91), -89);
    EXPECT_EQ(AngleFromSlider(270), 90);
    EXPECT_EQ(SliderFromAngle(-45), 315);
    EXPECT_EQ(SliderFromAngle(-120), 270);
    CEffectModel mb(kMotionBlur), hsl(kHsl), bevel(kBevel);
    EXPECT_EQ(mb.ClampTyped(0, "120"), 90);
    EXPECT_EQ(hsl.ClampTyped(0, "500"), 180);
    EXPECT_EQ(bevel.ClampTyped(1, "-3"), 0);

    // Range bands: equal positions draw one column, the ends span the band, the depth band is
    // split at 100, a band of no width spans nothing.
    int32_t lo, hi;
    BandColumns(80, 80, 200, 101, lo, hi);
    EXPECT_EQ(hi - lo, 1);
    BandColumns(200, 0, 200, 101, lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 101);
    BandColumns(0, 100, 999, 101, lo, hi);
    EXPECT_EQ(hi, 51);
    BandColumns(100, 999, 999, 101, lo, hi);
    EXPECT_EQ(lo, 50);
    EXPECT_EQ(hi, 100);  // (899 / 2) x 100 / 899 + 50 = 99, exclusive end 100
    BandColumns(0, 50, 100, 0, lo, hi);
    EXPECT_EQ(hi - lo, 0);
}

TEST(EffectModel, TheBevelLightFollowsThePointerAndTheAngles)
{
    float light[3];
    LightFromPoint(0, 0, 40, light);
    EXPECT_FLOAT_EQ(light[2], 1.0f);
    int32_t angle, altitude, x, y;
    AnglesFromLight(light, angle, altitude);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(altitude, 90);
    PointFromLight(light, 100, 60, 40, x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 60);

    // Beyond the rim the light is held to radius r - 1, never horizontal; a point to the right
    // lights from angle 0, one above from angle 90.
    LightFromPoint(500, 0, 40, light);
    EXPECT_GT(light[2], 0.0f);
    AnglesFromLight(light, angle, altitude);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(altitude, 1);
    LightFromPoint(0, -20, 40, light);
    AnglesFromLight(light, angle, altitude);
    EXPECT_NEAR(angle, 90, 1);

    // Typed angles come back as typed, each of them at every altitude; the light of 0 degrees
    // altitude shows 1.
    int wrong = 0;
    for (int a = 0; a < 360; ++a)
        for (int h = 1; h <= 90; ++h) {
            LightFromAngles(a, h, light);
            AnglesFromLight(light, angle, altitude);
            if ((angle != a || altitude != h) && ++wrong <= 5)
                ADD_FAILURE() << a << " at " << h << " came back as " << angle << " at " << altitude;
        }
    EXPECT_EQ(wrong, 0);
    LightFromAngles(10, 0, light);
    AnglesFromLight(light, angle, altitude);
    EXPECT_EQ(altitude, 1);

    // A light of no length or not finite lights from the front, as the bevel lights it; one
    // too long or too short to square in floats keeps its direction. A light from behind puts
    // the ball on the rim; a zone without radius lights from the front.
    float zero[3] = {0, 0, 0}, nan[3] = {NAN, 0, 1}, inf[3] = {INFINITY, 0, 0},
          big[3] = {3e30f, 0, -4e30f}, small[3] = {0, 3e-30f, 4e-30f};
    EXPECT_FALSE(NormaliseLight(zero));
    EXPECT_FALSE(NormaliseLight(nan));
    EXPECT_FALSE(NormaliseLight(inf));
    EXPECT_TRUE(NormaliseLight(big));
    EXPECT_TRUE(NormaliseLight(small));
    for (const float* v : {zero, nan, inf})
        EXPECT_EQ(std::vector<float>(v, v + 3), (std::vector<float>{0, 0, 1}));
    EXPECT_FLOAT_EQ(big[0], 0.6f);
    EXPECT_FLOAT_EQ(big[2], -0.8f);
    EXPECT_FLOAT_EQ(small[1], 0.6f);
    AnglesFromLight(zero, angle, altitude);
    EXPECT_EQ(altitude, 90);
    float back[3] = {1, 0, -1};
    PointFromLight(back, 100, 60, 40, x, y);
    EXPECT_NEAR(x, 140, 1);
    EXPECT_EQ(y, 60);
    LightFromPoint(3, 4, 0, light);
    EXPECT_FLOAT_EQ(light[2], 1.0f);
}
