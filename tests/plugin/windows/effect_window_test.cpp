// The effect windows from the compiled skin, headless, over a real piece table and a stand-in
// for the main window: what reaches the pieces while the window is open, on OK and on Cancel,
// the refusals while the main window renders, and screenshots of each window.
#include "plugin/windows/effect_window.h"

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "platform/qw_paths.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/jigcrafter_test_support.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/windows/main_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

using qwtest::HeadlessUi;

namespace {
// The main window as an effect window sees it: a 3 x 2 piece table, the records of every piece
// when the window opened, and a log of the renders asked for.
struct Host : CEffectHost {
    CJigcrafter engine;
    jigtest::Planes img{90, 60};
    std::vector<PieceEffectRecord> snap;
    struct Render {
        std::vector<int32_t> pieces;
        bool final;
    };
    std::vector<Render> renders;
    int32_t current = -1;
    uint8_t colourMode = 1;
    bool rendering = false;
    int ended = -1;  // -1 open, 0 cancelled, 1 OK
    std::vector<std::string> positions;
    std::vector<int32_t> forwarded;  // accelerator commands passed on

    Host()
    {
        EXPECT_TRUE(jigtest::BuildGrid(engine, 3, 2, false));
        EXPECT_TRUE(engine.Cut(90, 60, nullptr, 0, img.ptr, 90, 3, 0, 100, false));
        Snap();
    }
    // The same grid cut from the picture's first plane alone: a grey document.
    void CutGrey()
    {
        colourMode = 0;
        engine.SetColourLayout(0);
        EXPECT_TRUE(engine.Cut(90, 60, nullptr, 0, img.ptr, 90, 1, 0, 100, false));
        Snap();
    }
    void Snap()
    {
        snap.resize(static_cast<size_t>(engine.GetPieceCount()));
        for (int32_t i = 0; i < engine.GetPieceCount(); ++i)
            engine.PieceToRecord(i, snap[static_cast<size_t>(i)]);
    }
    PieceEffectRecord Working(int32_t i) const
    {
        PieceEffectRecord r;
        engine.PieceToRecord(i, r, kJigToApply);
        return r;
    }
    CJigcrafter* GetEngine() override { return &engine; }
    const PieceEffectRecord* GetSnapshots(int32_t& count) override
    {
        count = static_cast<int32_t>(snap.size());
        return snap.data();
    }
    int32_t GetCurrentPiece() override { return current; }
    uint8_t GetColourMode() override { return colourMode; }
    bool IsRendering() override { return rendering; }
    void RenderPieces(const int32_t* pieces, int32_t count, bool final) override
    {
        renders.push_back({std::vector<int32_t>(pieces, pieces + count), final});
    }
    void EndEffectPreview(bool ok) override { ended = ok ? 1 : 0; }
    CQWF_Storage* GetPreferences() override { return nullptr; }
    void SaveWindowPosition(const char* name, const char* group, int32_t, int32_t) override
    {
        positions.push_back(std::string(group) + ">" + name);
    }
    void GetCheckerColours(uint32_t& a, uint32_t& b) override
    {
        a = 0xFF505050;
        b = 0xFF6A6A6A;
    }
    void GetHintText(const char* control, const char* window, bool, uint8_t,
                     CQWF_String& text) override
    {
        text.Format("%s: %s", window, *control ? control : "the window");
    }
    void ShowHelpMenu(CQWF_Window&, int32_t, int32_t) override {}
    bool ForwardCommand(int32_t id) override
    {
        forwarded.push_back(id);
        return true;
    }
    uint8_t answerGrey = 0;  // the picker's grey answer; 0 cancels
    bool PickColour(uint8_t* c) override
    {
        c[0] = answerGrey;
        return answerGrey != 0;
    }
};

struct Open {
    HeadlessUi ui;
    Host host;
    Open() { EXPECT_TRUE(ui.App().LoadPackageFromFile(maintest::PackagePath().c_str(), true)); }
    bool Create(CWndFX_Base& w)
    {
        if (!w.CreateFromSkin(w.SkinName().GetBuffer(), 40, 40, nullptr, 0))
            return false;
        w.Show();
        ui.Pump();
        return true;
    }
    CQWF_Control* Find(CQWF_Window& w, const char* name, uint8_t kind)
    {
        for (int32_t i = 0; i < w.GetControlCount(); ++i) {
            CQWF_Control* c = w.GetControl(i);
            if (c && c->GetKind() == kind && std::string(c->GetName()) == name)
                return c;
        }
        return nullptr;
    }
    void Slide(CQWF_Window& w, const char* name, uint32_t value)
    {
        auto* s = static_cast<CQWF_CtrlSlider*>(Find(w, name, QWF_CTRL_SLIDER));
        ASSERT_NE(s, nullptr) << name;
        s->SetValue(value, true);
    }
    void Toggle(CQWF_Window& w, const char* name, uint8_t kind = QWF_CTRL_CHECKBOX)
    {
        CQWF_Control* c = Find(w, name, kind);
        ASSERT_NE(c, nullptr) << name;
        c->SetCheck(!c->GetCheck(), true);
    }
    std::string EditText(CQWF_Window& w, const char* name)
    {
        auto* e = static_cast<CQWF_CtrlEditLine*>(Find(w, name, QWF_CTRL_EDIT));
        return e ? e->GetText().GetBuffer() : "?";
    }
    // Types a number into an edit line and commits it as leaving the line does.
    void Type(CQWF_Window& w, const char* name, const char* text)
    {
        auto* e = static_cast<CQWF_CtrlEditLine*>(Find(w, name, QWF_CTRL_EDIT));
        ASSERT_NE(e, nullptr) << name;
        e->SetText(text, true);
        w.ReleaseFocus(e->GetIndex());
    }
    bool Press(CQWF_Window& w, const char* name)
    {
        CQWF_Control* c = Find(w, name, QWF_CTRL_BUTTON);
        return c && ui.ClickControl(w, c->GetIndex());
    }
};

// The k-th of some values, round again after the last.
int Pick(std::initializer_list<int> values, int k)
{
    return *(values.begin() + k % static_cast<int>(values.size()));
}
uint8_t U8(int v) { return static_cast<uint8_t>(v); }

// The effects object of a window's sample preview, to run the preview over other planes.
struct PreviewOf : CWndFX_Base {
    static CQWF_ImageFX& Effects(CWndFX_Base& w) { return w.*(&PreviewOf::m_fx); }
};

// A piece as the renderer makes it with one effect taken from a setting and every other effect
// off (with no setting, with no effect at all): four planes of its box, colours then alpha; a
// grey piece gives its grey plane three times.
std::vector<uint8_t> RenderAlone(CJigcrafter& e, int32_t index, const PieceEffectRecord* setting,
                                 const qwfx::EffectInfo& info)
{
    PieceEffectRecord r{};
    r.shown = 1;
    if (setting)
        std::memcpy(reinterpret_cast<uint8_t*>(&r) + info.offset,
                    reinterpret_cast<const uint8_t*>(setting) + info.offset, info.size);
    EXPECT_TRUE(e.RecordToPiece(r, index) && e.RenderPiece(index));
    const JigPiece* p = e.GetPiece(index);
    const int32_t w = p->Width(), h = p->Height();
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    for (int k = 0; k < 4; ++k) {
        const int from = e.GetScratchPlaneCount() == 2 ? (k < 3 ? 0 : 1) : k;
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(out.data() + (static_cast<size_t>(k) * h + y) * w,
                        p->workPlane[from] + y * p->workStride[from], static_cast<size_t>(w));
    }
    return out;
}

// The effect window of a name ("bc", "bevel", ...).
std::unique_ptr<CWndFX_Base> MakeWindow(const std::string& name, CEffectHost* host)
{
    if (name == "blur") return std::make_unique<CWndFX_Blur>(host);
    if (name == "bevel") return std::make_unique<CWndFX_Bevel>(host);
    if (name == "hsl") return std::make_unique<CWndFX_HSL>(host);
    if (name == "covr") return std::make_unique<CWndFX_ColorOverlay>(host);
    if (name == "bc") return std::make_unique<CWndFX_BC>(host);
    if (name == "mblur") return std::make_unique<CWndFX_MBlur>(host);
    if (name == "opac") return std::make_unique<CWndFX_Opacity>(host);
    if (name == "stroke") return std::make_unique<CWndFX_Stroke>(host);
    if (name == "iovr") return std::make_unique<CWndFX_ImageOverlay>(host);
    return nullptr;
}
}  // namespace

TEST(EffectWindows, BrightnessAndContrastSpreadLiveAndOk)
{
    Open o;
    const int32_t ref = 4;
    o.host.snap[ref].brightness = -30;
    o.host.snap[ref].contrast = 12;
    o.host.current = ref;
    CWndFX_BC w(&o.host);
    ASSERT_TRUE(o.Create(w));
    EXPECT_EQ(o.EditText(w, "FXbc_Bright"), "-30");
    EXPECT_EQ(o.EditText(w, "FXbc_Contrast"), "12");
    // With the live preview on, the targets are rendered 50 ms after the last change.
    o.ui.Advance(60);
    ASSERT_EQ(o.host.renders.size(), 1u);
    EXPECT_EQ(o.host.renders[0].pieces.size(), 6u);
    EXPECT_FALSE(o.host.renders[0].final);
    EXPECT_EQ(o.host.Working(0).brightness, -30);
    EXPECT_EQ(o.host.Working(0).bcOn, 1);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_bc"));

    // Vary towards the right: contrast from 12 to 100; brightness stays each piece's own.
    o.Toggle(w, "FXbc_AAdjust");
    o.Toggle(w, "FXbc_ABrightness");
    o.Toggle(w, "FXbc_AR", QWF_CTRL_RADIO);
    o.Slide(w, "FXbc_Contrast2", 200);
    EXPECT_EQ(w.GetActiveValue(), 1);
    EXPECT_EQ(o.EditText(w, "FXbc_Contrast"), "100");
    o.ui.Advance(60);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_bc_value2"));
    // A live render disables OK until the busy watch sees the main window idle again.
    o.ui.Advance(60);
    const size_t before = o.host.renders.size();
    ASSERT_TRUE(o.Press(w, "FXbc_Ok"));
    o.ui.Pump();
    EXPECT_EQ(o.host.ended, 1);
    ASSERT_GT(o.host.renders.size(), before);
    EXPECT_TRUE(o.host.renders.back().final);
    EXPECT_EQ(o.host.positions, std::vector<std::string>{"MAIN>FXbc"});
    int32_t left = -1, right = -1;
    for (int32_t i = 0; i < o.host.engine.GetPieceCount(); ++i) {
        const JigPiece* p = o.host.engine.GetPiece(i);
        const PieceEffectRecord r = o.host.Working(i);
        EXPECT_EQ(r.bcOn, 1);
        EXPECT_EQ(r.brightness, o.host.snap[static_cast<size_t>(i)].brightness);
        if (p->left < 10) left = r.contrast;
        if (p->right > 80) right = r.contrast;
    }
    EXPECT_EQ(left, 12);
    EXPECT_EQ(right, 100);
}

TEST(EffectWindows, CancelRestoresAndNothingEndsWhileTheMainWindowRenders)
{
    Open o;
    o.host.snap[2].blurOn = 1;
    o.host.snap[2].blurRadius = 7;
    CWndFX_Blur w(&o.host);
    ASSERT_TRUE(o.Create(w));
    o.Slide(w, "FXblur_Radius", 40);
    o.ui.Advance(60);
    EXPECT_EQ(o.host.Working(2).blurRadius, 40);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_blur"));

    // While the main window renders, OK, Cancel and the keys are refused.
    o.host.rendering = true;
    o.ui.Advance(60);
    CQWF_Control* ok = o.Find(w, "FXblur_Ok", QWF_CTRL_BUTTON);
    ASSERT_NE(ok, nullptr);
    EXPECT_FALSE(ok->IsEnabled());
    EXPECT_FALSE(w.Close());
    EXPECT_EQ(o.host.ended, -1);
    o.host.rendering = false;
    o.ui.Advance(60);
    EXPECT_TRUE(ok->IsEnabled());

    // Escape: every piece has its own setting again, its on byte too.
    w.OnKeyDown(QWF_KEY_ESCAPE, 0);
    EXPECT_EQ(o.host.ended, 0);
    EXPECT_TRUE(o.host.renders.back().final);
    EXPECT_TRUE(o.host.positions.empty());
    for (int32_t i = 0; i < o.host.engine.GetPieceCount(); ++i) {
        EXPECT_EQ(o.host.Working(i).blurOn, o.host.snap[static_cast<size_t>(i)].blurOn);
        EXPECT_EQ(o.host.Working(i).blurRadius, o.host.snap[static_cast<size_t>(i)].blurRadius);
    }
}

TEST(EffectWindows, OpacityOpensInPercentAndRendersAtOnce)
{
    Open o;
    for (PieceEffectRecord& r : o.host.snap)
        r.opValue = 128;
    CWndFX_Opacity w(&o.host);
    ASSERT_TRUE(o.Create(w));
    EXPECT_EQ(o.EditText(w, "FXopac_Opacity"), "50");
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_opac"));
    o.ui.Advance(60);
    const size_t before = o.host.renders.size();
    // Releasing the slider renders without the 50 ms wait.
    o.Slide(w, "FXopac_Opacity", 20);
    EXPECT_EQ(o.host.renders.size(), before + 1);
    EXPECT_EQ(o.host.Working(0).opValue, 51);
    w.OnKeyDown(QWF_KEY_ENTER, 0);
    EXPECT_EQ(o.host.ended, 1);
    EXPECT_EQ(o.host.Working(5).opValue, 51);
}

TEST(EffectWindows, HueSaturationLightnessOpensWithItsOffsets)
{
    Open o;
    o.host.snap[0].hue = -90;
    o.host.snap[0].saturation = 100;
    CWndFX_HSL w(&o.host);
    ASSERT_TRUE(o.Create(w));
    EXPECT_EQ(o.EditText(w, "FXhsl_H"), "-90");
    EXPECT_EQ(o.EditText(w, "FXhsl_S"), "100");
    o.Toggle(w, "FXhsl_AAdjust");
    o.Slide(w, "FXhsl_L2", 40);
    EXPECT_EQ(w.Model().GetNumber(1, 2), -60);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_hsl"));
    // One target: no spreading.
    Open one;
    one.host.engine.GetPiece(3)->selected = 1;
    CWndFX_HSL single(&one.host);
    ASSERT_TRUE(one.Create(single));
    EXPECT_FALSE(one.Find(single, "FXhsl_AAdjust", QWF_CTRL_CHECKBOX)->IsEnabled());
}

TEST(EffectWindows, ColourSwatchesPickAndSpreadWithTheStroke)
{
    Open o;
    struct Picking : Host {
        int picks = 0;
        bool PickColour(uint8_t* c) override
        {
            ++picks;
            const uint8_t green[8] = {150, 0, 200, 0, 255, 0, 255, 55};
            for (int k = 0; k < 8; ++k) c[k] = green[k];
            return true;
        }
    };
    Picking host;
    CWndFX_Stroke w(&host);
    ASSERT_TRUE(w.CreateFromSkin("FXstroke", 40, 40, nullptr, 0));
    w.Show();
    o.ui.Pump();
    // Value 2's swatch is disabled until the adjust box is on: a click there picks nothing.
    QWF_Rect r2;
    ASSERT_TRUE(w.LoadRect("FXstroke_Color2", r2));
    o.ui.Click(w, (r2.left + r2.right) / 2, (r2.top + r2.bottom) / 2);
    EXPECT_EQ(host.picks, 0);
    o.Toggle(w, "FXstroke_AAdjust");
    o.Toggle(w, "FXstroke_AOpacity");  // every piece keeps its own opacity
    o.Toggle(w, "FXstroke_AB", QWF_CTRL_RADIO);
    // Its rectangle picks up to its edge columns and rows, the frame around it does not.
    const int32_t mx = (r2.left + r2.right) / 2, my = (r2.top + r2.bottom) / 2;
    const struct {
        int32_t x, y, picks;
    } clicks[] = {{r2.left - 1, my, 0}, {r2.left, my, 1},      {r2.right - 1, my, 2},  {r2.right, my, 2},
                  {mx, r2.top - 1, 2},  {mx, r2.top, 3},       {mx, r2.bottom - 1, 4}, {mx, r2.bottom, 4}};
    for (const auto& c : clicks) {
        o.ui.Click(w, c.x, c.y);
        EXPECT_EQ(host.picks, c.picks) << c.x << "," << c.y;
    }
    EXPECT_EQ(w.GetActiveValue(), 1);
    EXPECT_EQ(w.Model().GetValue(1).stRGB[1], 200);
    o.Slide(w, "FXstroke_Size2", 9);
    o.ui.Advance(120);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_stroke"));
    w.OnKeyDown(QWF_KEY_ENTER, 0);
    EXPECT_EQ(host.ended, 1);
    for (int32_t i = 0; i < host.engine.GetPieceCount(); ++i) {
        const PieceEffectRecord r = host.Working(i);
        EXPECT_EQ(r.stOn, 1);
        EXPECT_EQ(r.stOpacity, host.snap[static_cast<size_t>(i)].stOpacity);
        // The top row keeps value 1's red, the bottom row takes value 2's green.
        const bool bottom = host.engine.GetPiece(i)->top > 20;
        EXPECT_EQ(r.stRGB[1], bottom ? 200 : 0) << i;
        EXPECT_EQ(r.stSize, bottom ? 9 : 3) << i;
    }

    CWndFX_ColorOverlay overlay(&o.host);
    ASSERT_TRUE(o.Create(overlay));
    ASSERT_TRUE(o.ui.Screenshot(overlay, "fx_covr"));
}

TEST(EffectWindows, BevelLightColoursAndSpreadOfTheSizeAlone)
{
    Open o;
    for (PieceEffectRecord& r : o.host.snap) {
        r.hlOpacity = 128;
        r.bevelDepth = 40;
    }
    o.host.snap[1].bevelDepth = 7;
    o.host.snap[1].bevelSoften = 200;  // a damaged layout: shown and passed on clamped
    o.host.snap[1].light[0] = 0.0f, o.host.snap[1].light[1] = 0.0f, o.host.snap[1].light[2] = 0.0f;
    o.host.current = 1;
    CWndFX_Bevel w(&o.host);
    ASSERT_TRUE(o.Create(w));
    EXPECT_EQ(o.EditText(w, "FXbevel_HLOpacity"), "50");
    EXPECT_EQ(o.EditText(w, "FXbevel_Soften"), "20");
    // A light of length 0 is shown as the bevel lights it: from the front, the ball at the
    // zone's centre.
    EXPECT_EQ(o.EditText(w, "FXbevel_Angle"), "0");
    EXPECT_EQ(o.EditText(w, "FXbevel_Alt"), "90");
    double cx, cy, r;
    w.GetZone(cx, cy, r);
    int32_t bx, by;
    w.GetBall(bx, by);
    EXPECT_EQ(bx, static_cast<int32_t>(cx));
    EXPECT_EQ(by, static_cast<int32_t>(cy));
    // A press at the zone's centre lights the piece from the front.
    o.ui.Click(w, static_cast<int32_t>(cx), static_cast<int32_t>(cy));
    EXPECT_GT(w.Model().GetValue(0).light[2], 0.99f);
    EXPECT_EQ(o.EditText(w, "FXbevel_Alt"), "90");
    // A drag from the centre far beyond the rim is held at r - 1: the light
    // ((r - 1) / r, 0, 1 / r) scaled to length 1, the ball where that light puts it.
    o.ui.Drag(w, static_cast<int32_t>(cx), static_cast<int32_t>(cy),
              static_cast<int32_t>(cx + 3 * r), static_cast<int32_t>(cy));
    const double lx = (r - 1) / r, lz = 1 / r, length = std::sqrt(lx * lx + lz * lz);
    const float* light = w.Model().GetValue(0).light;
    EXPECT_NEAR(light[0], lx / length, 1e-5);
    EXPECT_NEAR(light[1], 0.0, 1e-6);
    EXPECT_NEAR(light[2], lz / length, 1e-5);
    const double theta = std::acos(lz / length), quarter = std::acos(-1.0) / 4;
    const double f = std::sin(theta) * std::sin(quarter) * r / std::sin(4 * quarter - theta - quarter);
    w.GetBall(bx, by);
    EXPECT_NEAR(bx, cx + f, 1.0);
    EXPECT_NEAR(by, cy, 1.0);
    EXPECT_GT(bx, cx + r / 2);
    // Typed angles are held to their ranges; both values take the typed light.
    o.Type(w, "FXbevel_Angle", "400");
    EXPECT_EQ(o.EditText(w, "FXbevel_Angle"), "359");
    o.Type(w, "FXbevel_Alt", "0");
    EXPECT_EQ(o.EditText(w, "FXbevel_Alt"), "1");
    EXPECT_EQ(w.Model().GetValue(1).light[0], w.Model().GetValue(0).light[0]);
    // The other angle does not change: the light is that of angle 359 at altitude 1 (the
    // light of two angles: cos a cos h, sin a cos h, sin h).
    const double degree = std::acos(-1.0) / 180;
    EXPECT_NEAR(light[0], std::cos(359 * degree) * std::cos(degree), 1e-6);
    EXPECT_NEAR(light[1], std::sin(359 * degree) * std::cos(degree), 1e-6);
    EXPECT_NEAR(light[2], std::sin(degree), 1e-6);
    o.Type(w, "FXbevel_Alt", "27");
    for (const char* typed : {"45", "100", "359", "0", "45"}) {
        o.Type(w, "FXbevel_Angle", typed);
        EXPECT_EQ(o.EditText(w, "FXbevel_Angle"), typed);
        EXPECT_EQ(o.EditText(w, "FXbevel_Alt"), "27") << typed;
        const double a = std::atoi(typed) * degree, h = 27 * degree;
        EXPECT_NEAR(light[0], std::cos(a) * std::cos(h), 1e-6) << typed;
        EXPECT_NEAR(light[1], std::sin(a) * std::cos(h), 1e-6) << typed;
        EXPECT_NEAR(light[2], std::sin(h), 1e-6) << typed;
    }
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_bevel"));
    // Shortcuts pressed here: Show Extras (Ctrl+H) and Fit (Ctrl+0) go on to the main window,
    // Bevel... (Ctrl+B) and Save (Ctrl+S) do not.
    for (uint32_t key : {uint32_t('H'), uint32_t('B'), uint32_t('0'), uint32_t('S')})
        o.ui.Chord(key, true);
    EXPECT_EQ(o.host.forwarded, (std::vector<int32_t>{1, 13}));
    // The pointer over each control shows its hint (the light's ball is the light zone's); over
    // the light zone the zone's, and where there is neither the window's own again.
    const maintest::Hovered h = maintest::HoverEveryControl(
        w, [](CQWF_Control* c) { return "Effect: " + std::string(c->GetName()); },
        [&] { return std::string(w.GetStatusText()); },
        [](CQWF_Control* c) { return std::string(c->GetName()) == "FXBevel_LightThumb"; });
    EXPECT_GT(h.shown, 20);
    auto free = [&](int32_t x, int32_t y) {
        for (int32_t i = 0; i < w.GetControlCount(); ++i)
            if (w.GetControl(i)->HitTest(x, y))
                return false;
        return !w.IsInDragArea(x, y);
    };
    QWF_Rect zone{}, hl{}, sh{};
    ASSERT_TRUE(w.LoadRect("FXbevel_LightZone", zone) && w.LoadRect("FXbevel_HLColor", hl) &&
                w.LoadRect("FXbevel_SHColor", sh));
    auto inside = [](const QWF_Rect& r, int32_t x, int32_t y) {
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    };
    int32_t zx = -1, zy = -1, ex = -1, ey = -1;
    for (int32_t y = 0; y < w.GetHeight(); y += 3)
        for (int32_t x = 0; x < w.GetWidth(); x += 3) {
            if (!free(x, y))
                continue;
            if (inside(zone, x, y) && zx < 0)
                zx = x, zy = y;
            if (!inside(zone, x, y) && !inside(hl, x, y) && !inside(sh, x, y) && ex < 0 && y > 40)
                ex = x, ey = y;
        }
    ASSERT_GE(zx, 0);
    ASSERT_GE(ex, 0);
    w.OnMouseMoveMessage(zx, zy, 0);
    EXPECT_EQ(std::string(w.GetStatusText()), "Effect: Zone_Bevel_3DLight");
    w.OnMouseMoveMessage(ex, ey, 0);
    EXPECT_EQ(std::string(w.GetStatusText()), "Effect: the window") << ex << "," << ey;
    // Each light swatch takes its own colour from the picker; the released opacity slider
    // renders the targets anew.
    for (const auto& [swatch, grey] : {std::pair{hl, uint8_t{77}}, {sh, uint8_t{88}}}) {
        o.host.answerGrey = grey;
        o.ui.Click(w, (swatch.left + swatch.right) / 2, (swatch.top + swatch.bottom) / 2);
    }
    EXPECT_EQ(w.Model().GetValue(0).hlGrey, 77);
    EXPECT_EQ(w.Model().GetValue(0).shGrey, 88);
    o.ui.Advance(120);
    const size_t renders = o.host.renders.size();
    o.Slide(w, "FXbevel_HLOpacity", 40);
    o.ui.Advance(60);
    EXPECT_GT(o.host.renders.size(), renders);
    // Spread the size alone towards the bottom: depth and soften stay each piece's own.
    o.Toggle(w, "FXbevel_AAdjust");
    o.Toggle(w, "FXbevel_ADepth");
    o.Toggle(w, "FXbevel_ASoften");
    o.Toggle(w, "FXbevel_AB", QWF_CTRL_RADIO);
    o.Slide(w, "FXbevel_Size2", 30);
    o.ui.Advance(120);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_bevel_value2"));
    w.OnKeyDown(QWF_KEY_ENTER, 0);
    EXPECT_EQ(o.host.ended, 1);
    for (int32_t i = 0; i < o.host.engine.GetPieceCount(); ++i) {
        const PieceEffectRecord rec = o.host.Working(i);
        const bool bottom = o.host.engine.GetPiece(i)->top > 20;
        EXPECT_EQ(rec.bevelOn, 1);
        EXPECT_EQ(rec.bevelSize, bottom ? 30 : 2) << i;
        EXPECT_EQ(rec.bevelDepth, i == 1 ? 7 : 40) << i;
        EXPECT_LE(rec.bevelSoften, 20) << i;
        EXPECT_EQ(rec.hlOpacity, 40 * 255 / 100);
        EXPECT_EQ(rec.shGrey, 88);
        EXPECT_EQ(rec.light[0], w.Model().GetValue(0).light[0]);
    }
}

// Opening a window and pressing OK without a change gives every target the reference piece's
// whole setting: numbers at the ends of their ranges, between them, and those no slider position
// holds (the motion blur's angles on a dial of fewer positions than degrees, the bevel's depths
// on a track of fewer positions than depths) come back byte for byte. The window's preview of
// that setting is what the renderer makes of it: run over the reference piece, in an RGB and a
// grey document, it gives the piece's rendered bytes, also for lights of no length, not of length
// 1 or not a number.
TEST(EffectWindows, OkWithoutAChangeKeepsEverySettingAndThePreviewIsTheRender)
{
    struct Window {
        const char* name;
        int cases;
        void (*set)(PieceEffectRecord&, int);
    };
    const Window windows[] = {
        {"blur", 3, [](PieceEffectRecord& r, int k) {
             r.blurOn = 1;
             r.blurRadius = U8(Pick({0, 100, 37}, k));
         }},
        {"bevel", 10, [](PieceEffectRecord& r, int k) {
             // Size, depth, soften, highlight and shadow opacity: the ends of their ranges,
             // numbers between them, and a bevel that shows with each light.
             const int numbers[10][5] = {{0, 0, 0, 0, 255},      {200, 999, 20, 255, 0},
                                         {103, 103, 7, 127, 127}, {5, 500, 0, 255, 255},
                                         {5, 500, 0, 255, 255},   {5, 500, 0, 255, 255},
                                         {3, 101, 1, 255, 255},   {3, 999, 0, 255, 255},
                                         {3, 1, 0, 255, 255},     {3, 300, 0, 255, 255}};
             r.bevelOn = 1;
             r.bevelSize = U8(numbers[k][0]);
             r.bevelDepth = static_cast<uint16_t>(numbers[k][1]);
             r.bevelSoften = U8(numbers[k][2]);
             r.hlOpacity = U8(numbers[k][3]);
             r.shOpacity = U8(numbers[k][4]);
             // Lights as stored, also those not of length 1, of no length or not a number:
             // they pass unchanged. Angles 0 and 359 at the lowest and highest altitude.
             const float stored[5][3] = {{0.48f, -0.6f, 0.64f}, {0.3f, 0.4f, 1.2f},
                                         {0.02f, -0.01f, 0.005f}, {0, 0, 0}, {NAN, 0, 1}};
             if (k >= 1 && k <= 5)
                 std::memcpy(r.light, stored[k - 1], sizeof r.light);
             else if (k > 5)
                 qwfx::LightFromAngles(k % 2 ? 359 : 0, k < 8 ? 1 : 90, r.light);
             qwpiece::SetColour(r.hlGrey, r.hlRGB, r.hlCMYK, 9, 200, 100, 50, 1, 2, 3, 4);
             qwpiece::SetColour(r.shGrey, r.shRGB, r.shCMYK, 90, 20, 10, 5, 1, 2, 3, 4);
         }},
        {"hsl", 3, [](PieceEffectRecord& r, int k) {
             r.hslOn = 1;
             r.hue = static_cast<int16_t>(Pick({-180, 180, 1}, k));
             r.saturation = static_cast<int8_t>(Pick({-100, 100, -3}, k));
             r.lightness = static_cast<int8_t>(Pick({100, -100, 57}, k));
         }},
        {"covr", 3, [](PieceEffectRecord& r, int k) {
             r.ovOn = 1;
             r.ovOpacity = U8(Pick({0, 255, 127}, k));
             qwpiece::SetColour(r.ovGrey, r.ovRGB, r.ovCMYK, 7, 10, 20, 30, 40, 50, 60, 70);
         }},
        {"bc", 3, [](PieceEffectRecord& r, int k) {
             r.bcOn = 1;
             r.brightness = static_cast<int8_t>(Pick({-100, 100, 1}, k));
             r.contrast = static_cast<int8_t>(Pick({100, -100, -1}, k));
         }},
        {"mblur", 7, [](PieceEffectRecord& r, int k) {
             r.mbOn = 1;
             r.mbAngle = static_cast<int8_t>(Pick({-90, 90, 1, 89, -1, -89, 0}, k));
             r.mbDistance = U8(Pick({0, 100, 33}, k));
         }},
        {"opac", 3, [](PieceEffectRecord& r, int k) {
             r.opOn = 1;
             r.opValue = U8(Pick({0, 255, 127}, k));
         }},
        {"stroke", 3, [](PieceEffectRecord& r, int k) {
             r.stOn = 1;
             r.stOpacity = U8(Pick({0, 255, 127}, k));
             r.stSize = U8(Pick({100, 0, 3}, k));
             qwpiece::SetColour(r.stGrey, r.stRGB, r.stCMYK, 1, 120, 130, 140, 5, 6, 7, 8);
         }},
        {"iovr", 3, [](PieceEffectRecord& r, int k) {
             r.imgOn = 1;
             r.imgOpacity = U8(Pick({0, 255, 127}, k));
             r.imgLayerChoice = U8(k % 2);
             r.layerId = k % 2 ? 7 : -1;
         }},
    };
    Open o;
    for (const Window& win : windows) {
        const std::string name = win.name;
        for (int c = 0; c < 2 * win.cases; ++c) {
            const int k = c / 2;
            const uint8_t mode = c % 2 ? 0 : 1;
            SCOPED_TRACE(name + " case " + std::to_string(k) + " mode " + std::to_string(mode));
            Host host;
            if (mode == 0)
                host.CutGrey();
            for (PieceEffectRecord& r : host.snap)
                win.set(r, k);
            host.current = 4;
            std::unique_ptr<CWndFX_Base> w = MakeWindow(win.name, &host);
            ASSERT_TRUE(w);
            const qwfx::EffectInfo& info = w->Model().Info();
            std::vector<uint8_t> plain = RenderAlone(host.engine, 4, nullptr, info);
            const std::vector<uint8_t> rendered = RenderAlone(host.engine, 4, &host.snap[4], info);
            host.engine.RecordToPiece(host.snap[4], 4);
            ASSERT_TRUE(o.Create(*w));
            // A colour's swatch shows its grey in a grey document, else its red, green and blue
            // (the grey byte of a colour comes before them), within the face's rounding.
            const qwtest::Picture face = o.ui.Pixels(*w);
            const PieceEffectRecord& set = host.snap[4];
            std::vector<std::pair<const char*, const uint8_t*>> swatches;
            if (name == "bevel")
                swatches = {{"_HLColor", &set.hlGrey}, {"_SHColor", &set.shGrey}};
            if (name == "covr" || name == "stroke")
                swatches = {{"_Color1", name == "covr" ? &set.ovGrey : &set.stGrey}};
            for (const auto& [rect, c] : swatches) {
                QWF_Rect at;
                ASSERT_TRUE(w->LoadRect((w->SkinName() + rect).GetBuffer(), at));
                const uint32_t shown = face.At((at.left + at.right) / 2, (at.top + at.bottom) / 2);
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(shown >> (16 - 8 * k) & 0xFF, c[(k + 1) * mode], 2) << rect << " " << k;
            }
            // Opacity and image overlay show the sample's layers; the hue is for RGB alone.
            std::vector<uint8_t> shown(plain.size());
            if (name != "opac" && name != "iovr" && (name != "hsl" || mode == 1)) {
                const JigPiece* p = host.engine.GetPiece(4);
                const auto pw = static_cast<uint16_t>(p->Width()), ph = static_cast<uint16_t>(p->Height());
                CQWF_ImageFX& fx = PreviewOf::Effects(*w);
                ASSERT_TRUE(fx.SetSourceBuffer(plain.data(), pw, 4, 1, pw, ph) &&
                            fx.SetTargetBuffer(shown.data(), pw, 4, 1, pw, ph));
                w->ApplyToPreview();
                EXPECT_EQ(shown, rendered);
            }
            // The live render 50 ms later; OK is free again once the main window is idle.
            o.ui.Advance(60);
            o.ui.Advance(60);
            ASSERT_TRUE(o.Press(*w, (w->SkinName() + "_Ok").GetBuffer())) << win.name;
            o.ui.Pump();
            ASSERT_EQ(host.ended, 1) << win.name;
            for (int32_t i = 0; i < host.engine.GetPieceCount(); ++i) {
                const PieceEffectRecord r = host.Working(i);
                EXPECT_EQ(std::memcmp(&r, &host.snap[static_cast<size_t>(i)], sizeof r), 0) << i;
            }
        }
    }
}

TEST(EffectWindows, MotionBlurAnglesFoldAndTheDistanceSpreads)
{
    Open o;
    CWndFX_MBlur w(&o.host);
    ASSERT_TRUE(o.Create(w));
    // Past 270 the slider folds onto falling lines: its last position, 359, is -1.
    o.Slide(w, "FXmblur_Dir1", 359);
    EXPECT_EQ(o.EditText(w, "FXmblur_Dir1"), "-1");
    EXPECT_EQ(w.Model().GetValue(0).mbAngle, -1);
    // A typed angle is the value, whatever positions the dial's track has: touching the
    // distance sliders of both values leaves it as typed.
    for (const char* typed : {"90", "1", "89", "-89", "-1"}) {
        o.Type(w, "FXmblur_Dir1", typed);
        o.Slide(w, "FXmblur_Radius2", 0);
        o.Slide(w, "FXmblur_Radius1", 0);
        EXPECT_EQ(o.EditText(w, "FXmblur_Dir1"), typed);
        EXPECT_EQ(w.Model().GetValue(0).mbAngle, std::stoi(typed));
    }
    o.Type(w, "FXmblur_Dir1", "-45");
    EXPECT_EQ(static_cast<CQWF_CtrlSlider*>(o.Find(w, "FXmblur_Dir1", QWF_CTRL_SLIDER))->GetValue(), 315u);
    EXPECT_EQ(w.Model().GetValue(0).mbAngle, -45);
    o.Type(w, "FXmblur_Dir1", "-120");
    EXPECT_EQ(o.EditText(w, "FXmblur_Dir1"), "-90");
    EXPECT_EQ(static_cast<CQWF_CtrlSlider*>(o.Find(w, "FXmblur_Dir1", QWF_CTRL_SLIDER))->GetValue(), 270u);
    // Value 2 from the engine's default: angle 45, distance 0, until spread.
    o.Toggle(w, "FXmblur_AAdjust");
    o.Toggle(w, "FXmblur_AR", QWF_CTRL_RADIO);
    o.Slide(w, "FXmblur_Radius2", 20);
    EXPECT_EQ(o.EditText(w, "FXmblur_Dir2"), "45");
    o.ui.Advance(120);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_mblur"));
    w.OnKeyDown(QWF_KEY_ENTER, 0);
    int32_t left = -1, right = -1;
    for (int32_t i = 0; i < o.host.engine.GetPieceCount(); ++i) {
        const PieceEffectRecord r = o.host.Working(i);
        EXPECT_EQ(r.mbOn, 1);
        if (o.host.engine.GetPiece(i)->left < 10) {
            left = r.mbDistance;
            EXPECT_EQ(r.mbAngle, -89);  // -90 + 0.5, truncated toward zero
        }
        if (o.host.engine.GetPiece(i)->right > 80) {
            right = r.mbDistance;
            EXPECT_EQ(r.mbAngle, 45);
        }
    }
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 20);
}

TEST(EffectWindows, ImageOverlaySourceRegionAndOpacityAtOnce)
{
    Open o;
    struct Placed : Host {
        void GetDocumentOrigin(int32_t& x, int32_t& y) override { x = 100, y = 50; }
    };
    Placed host;
    host.snap[4].imgLayerChoice = 1;
    host.snap[4].layerId = 3;
    host.current = 4;
    host.engine.GetPiece(4)->selected = 1;
    host.engine.GetPiece(5)->selected = 1;
    CWndFX_ImageOverlay w(&host);
    ASSERT_TRUE(w.CreateFromSkin("FXiovr", 40, 40, nullptr, 0));
    w.Show();
    o.ui.Pump();
    int32_t l, t, r, b;
    w.GetTargetRegion(l, t, r, b);
    const JigPiece* p4 = host.engine.GetPiece(4);
    const JigPiece* p5 = host.engine.GetPiece(5);
    EXPECT_EQ(l, std::min(p4->left, p5->left) + 100);
    EXPECT_EQ(t, std::min(p4->top, p5->top) + 50);
    EXPECT_EQ(r, std::max(p4->right, p5->right) + 100);
    EXPECT_EQ(b, std::max(p4->bottom, p5->bottom) + 50);
    EXPECT_EQ(static_cast<CQWF_CtrlStaticText*>(o.Find(w, "FXiovr_CurrentImage", QWF_CTRL_STATIC_TEXT))
                  ->GetText(),
              std::string("From Manually Selected Layer"));
    o.ui.Advance(120);
    const size_t before = host.renders.size();
    o.Slide(w, "FXiovr_Opacity", 40);
    EXPECT_EQ(host.renders.size(), before + 1);
    EXPECT_EQ(host.Working(5).imgOpacity, 102);
    EXPECT_EQ(host.Working(5).layerId, 3);
    ASSERT_TRUE(o.ui.Screenshot(w, "fx_iovr"));
    // The automatic choice keeps the layer id; the picker needs the plug-in object.
    w.ChooseSource(CWndFX_ImageOverlay::kAutomatic);
    w.ChooseSource(CWndFX_ImageOverlay::kFromLayer);
    EXPECT_EQ(w.Model().GetValue(0).imgLayerChoice, 0);
    EXPECT_EQ(w.Model().GetValue(0).layerId, 3);
    o.ui.Advance(120);
    w.OnKeyDown(QWF_KEY_ENTER, 0);
    EXPECT_EQ(host.Working(4).imgLayerChoice, 0);
    EXPECT_EQ(host.Working(4).imgOn, 1);
    EXPECT_EQ(host.Working(0).imgOn, host.snap[0].imgOn);
}

TEST(EffectWindows, UnderX11)
{
    qwtest::X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(maintest::PackagePath().c_str(), true));
    Host host;
    host.snap[0].brightness = 25;
    // Each of the nine fits the screen; Escape cancels, Enter (on the stroke's) confirms.
    for (const char* name : {"bc", "stroke", "blur", "bevel", "hsl", "covr", "mblur", "opac", "iovr"}) {
        std::unique_ptr<CWndFX_Base> w = MakeWindow(name, &host);
        ASSERT_TRUE(w->CreateFromSkin(w->SkinName().GetBuffer(), 40, 40, nullptr, 0));
        ASSERT_TRUE(w->Show());
        ui.Pump();
        EXPECT_LE(w->GetWidth() + 22, 1366);
        EXPECT_LE(w->GetHeight() + 22, 768);
        EXPECT_TRUE(ui.Screenshot(*w, std::string("fx_") + name + "_x11"));
        const bool ok = std::string(name) == "stroke";
        w->OnKeyDown(ok ? QWF_KEY_ENTER : QWF_KEY_ESCAPE, 0);
        ui.Pump();
        EXPECT_EQ(host.ended, ok ? 1 : 0) << name;
        host.ended = -1;
    }
}
