// Sliders: point values from the ends and anchors (checked against exact arithmetic on the
// compiled skin and against the worked examples), nearest values and ties, the scaled values,
// dragging, the wheel with Shift and wrap-around, and the looks per state.
#include "demo_controls.h"

using democtl::DemoWindow;
using qwtest::SkinBuilder;

namespace {

// A point's value between the anchors a < j < i by exact integer arithmetic: the nearest
// integer to va + (j - a)(vi - va)/(i - a), an exact half rounding down.
int64_t Interpolated(int64_t va, int64_t vi, int64_t a, int64_t i, int64_t j)
{
    const int64_t num = va * (i - a) + (j - a) * (vi - va), den = i - a;
    int64_t q = num / den, rem = num % den;
    if (rem < 0) --q, rem += den;
    return q + (2 * rem > den ? 1 : 0);
}

// The points a slider's skin describes, read from the package.
struct SkinPoints {
    std::vector<int> x, y;
    std::vector<int64_t> value;
};

SkinPoints ReadPoints(const std::string& name)
{
    CQWF_Storage* pkg = CQWF_App::GetApp()->GetStorage();
    const std::string f = "UIResources>Sliders>" + name + ">";
    SkinPoints out;
    uint16_t n = 0;
    uint32_t start = 0, end = 0;
    CQWF_Mem coords;
    EXPECT_TRUE(pkg->GetWord((f + "Data_NumPoints").c_str(), n));
    EXPECT_TRUE(pkg->GetBinary((f + "Data_Coors").c_str(), coords));
    EXPECT_TRUE(pkg->GetDWord((f + "Data_ValueStart").c_str(), start));
    EXPECT_TRUE(pkg->GetDWord((f + "Data_ValueEnd").c_str(), end));
    if (coords.GetSize() != n * 5u || n < 2) return out;
    // The anchors and their values, the two ends counting as anchors.
    std::vector<std::pair<int, int64_t>> fixed{{0, start}};
    int k = 0;
    for (int i = 0; i < n; ++i) {
        const uint8_t* c = coords.GetData() + 5 * i;
        out.x.push_back(c[0] << 8 | c[1]);
        out.y.push_back(c[2] << 8 | c[3]);
        if (c[4] == 1) {
            uint32_t v = 0;
            EXPECT_TRUE(pkg->GetDWord((f + "Data_Value_" + std::to_string(k++)).c_str(), v));
            if (i == 0) fixed.clear();
            if (i == n - 1) end = v;
            if (i != n - 1) fixed.push_back({i, v});
        }
    }
    fixed.push_back({n - 1, end});
    out.value.assign(n, 0);
    for (size_t s = 0; s + 1 < fixed.size(); ++s) {
        const auto [a, va] = fixed[s];
        const auto [i, vi] = fixed[s + 1];
        out.value[a] = va;
        for (int j = a + 1; j < i; ++j) out.value[j] = Interpolated(va, vi, a, i, j);
    }
    out.value[n - 1] = end;
    return out;
}

// A slider skin "name" along a horizontal line at y = 50 from x = 20, one point every 10 pixels,
// anchors as (point, value) pairs; with a thumb (Normal only) and a track.
void AddSlider(SkinBuilder& skin, const std::string& name, int count, uint32_t start, uint32_t end,
               const std::vector<std::pair<int, uint32_t>>& anchors, int coordsBytes = -1)
{
    const std::string f = "UIResources>Sliders>" + name + ">";
    std::vector<uint8_t> coords;
    size_t next = 0;
    for (int i = 0; i < count; ++i) {
        const int x = 20 + 10 * i;
        const bool anchor = next < anchors.size() && anchors[next].first == i;
        coords.insert(coords.end(), {uint8_t(x >> 8), uint8_t(x), 0, 50, uint8_t(anchor ? 1 : 0)});
        if (anchor) skin.DWord(f + "Data_Value_" + std::to_string(next), anchors[next].second), ++next;
    }
    if (coordsBytes >= 0) coords.resize(static_cast<size_t>(coordsBytes));
    skin.Word(f + "Data_NumPoints", static_cast<uint16_t>(count));
    skin.Blob(f + "Data_Coors", coords);
    skin.DWord(f + "Data_ValueStart", start);
    skin.DWord(f + "Data_ValueEnd", end);
    const QWF_Rect track{10, 40, 30 + 10 * count, 60};
    skin.Image(f + "Background_Normal", track, [](int32_t, int32_t) { return 0xFF404040u; });
    skin.Image(f + "Thumb_Normal", {14, 44, 26, 56}, [](int32_t, int32_t) { return 0xFFE0E0E0u; });
    skin.Image(f + "Data_HotZone", track, [](int32_t, int32_t) { return 0xFFFFFFFFu; });
    skin.Word(f + "HotSpot_X", 20);
    skin.Word(f + "HotSpot_Y", 50);
}

std::vector<uint32_t> Values(CQWF_CtrlSlider* s)
{
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < s->GetPointCount(); ++i) v.push_back(s->GetPoint(i)->value);
    return v;
}

}  // namespace

TEST_F(DemoWindow, SliderPointsCarryTheSkinsValuesAndTheMouseDragsAndWheelsTheThumb)
{
    auto* amount = Add<CQWF_CtrlSlider>("Demo_Slider", QWF_CTRL_SLIDER);
    auto* angle = Add<CQWF_CtrlSlider>("Demo_Angle", QWF_CTRL_SLIDER);
    ASSERT_TRUE(amount && angle);
    // Creation puts each thumb on its first point and reports that value.
    EXPECT_EQ(w.Values("Demo_Slider", QWF_NOTIFY_VALUE), (std::vector<int64_t>{0}));
    EXPECT_EQ(w.Values("Demo_Angle", QWF_NOTIFY_VALUE), (std::vector<int64_t>{0}));

    // Every point's place and value as the skin describes them, worked out exactly.
    for (auto* s : {amount, angle}) {
        const SkinPoints expected = ReadPoints(s->GetName());
        ASSERT_EQ(expected.x.size(), s->GetPointCount()) << s->GetName();
        int wrong = 0;
        for (uint32_t i = 0; i < s->GetPointCount(); ++i) {
            const CQWF_CtrlSlider::Point* p = s->GetPoint(i);
            wrong += p->x != expected.x[i] || p->y != expected.y[i] || p->value != expected.value[i];
        }
        EXPECT_EQ(wrong, 0) << s->GetName();
    }
    EXPECT_EQ(angle->GetPoint(25)->value, 90u);
    EXPECT_EQ(angle->GetPoint(1)->value, 4u);  // 3.6
    EXPECT_FALSE(amount->IsWrapAround());
    EXPECT_TRUE(angle->IsWrapAround());  // the ring closes on itself
    Show();
    EXPECT_EQ(Unlike("UIResources>Sliders>Demo_Slider>Thumb_Normal"), 0);

    // Scaled values onto the caller's range.
    amount->SetValueScaled(0, 100, 37, false);
    EXPECT_EQ(amount->GetValue(), 37u);
    EXPECT_EQ(amount->GetValueScaled(0, 100), 37);
    amount->SetValueScaled(0, 200, 75, false);  // 37.5 rounds up
    EXPECT_EQ(amount->GetValue(), 38u);
    EXPECT_EQ(amount->GetValueScaled(0, 200), 76);
    amount->SetValueScaled(5, 5, 9, false);
    EXPECT_EQ(amount->GetValue(), 0u);
    EXPECT_EQ(amount->GetValueScaled(5, 5), 5);
    EXPECT_EQ(amount->GetValueScaled(-50, 50), -50);
    EXPECT_EQ(w.Of("Demo_Slider").size(), 1u);  // no notification asked

    // Hover, and the hover watch when the pointer leaves the window.
    const CQWF_CtrlSlider::Point* p10 = amount->GetPoint(10);
    ui.MoveTo(w, p10->x, p10->y);
    EXPECT_EQ(amount->GetVisualState(), QWF_STATE_HIGHLIGHTED);
    EXPECT_EQ(Unlike("UIResources>Sliders>Demo_Slider>Thumb_Highlighted"), 0);
    Away();
    Wait(50);
    EXPECT_EQ(amount->GetVisualState(), QWF_STATE_NORMAL);
    EXPECT_EQ(Unlike("UIResources>Sliders>Demo_Slider>Thumb_Normal"), 0);

    // A drag: 261 on every move, the same point again included; 256 once at the release.
    w.notes.clear();
    ui.Press(w, p10->x, p10->y);
    EXPECT_EQ(amount->GetVisualState(), QWF_STATE_PRESSED);
    EXPECT_EQ(amount->GetCurrentPoint(), 10);
    ui.MoveTo(w, amount->GetPoint(20)->x, 252);
    ui.MoveTo(w, amount->GetPoint(20)->x, 252);
    ui.MoveTo(w, 740, 200);
    ui.Release(w, 740, 200);
    EXPECT_EQ(w.Values("Demo_Slider", QWF_NOTIFY_VALUE_CHANGING), (std::vector<int64_t>{10, 20, 20, 100, 100}));
    EXPECT_EQ(w.Values("Demo_Slider", QWF_NOTIFY_VALUE), (std::vector<int64_t>{100}));
    EXPECT_FALSE(amount->IsDragging());
    // The thumb's hot spot lies on the point.
    const QWF_Rect t = {amount->GetThumbLayer()->GetX(), amount->GetThumbLayer()->GetY(), 0, 0};
    EXPECT_EQ(t.left + 7, amount->GetPoint(100)->x);
    EXPECT_EQ(t.top + 7, amount->GetPoint(100)->y);

    // The wheel: clamped at the open bar's end, Shift moves ten points.
    w.notes.clear();
    ui.Wheel(w, 600, 248, 1);
    EXPECT_EQ(amount->GetValue(), 100u);
    ui.Wheel(w, 600, 248, -3);
    ui.Ws().KeyDown(qwp::vk::Shift);
    ui.Wheel(w, 600, 248, -1);
    ui.Ws().KeyUp(qwp::vk::Shift);
    EXPECT_EQ(w.Values("Demo_Slider", QWF_NOTIFY_VALUE), (std::vector<int64_t>{100, 97, 87}));
    // The reverse-wheel flag turns the wheel round.
    amount->SetUserFlag(true);
    ui.Wheel(w, 600, 248, 1);
    EXPECT_EQ(amount->GetValue(), 86u);
    amount->SetUserFlag(false);
    // The ring wraps from its last point to the first and back.
    angle->SetValue(360, false);
    EXPECT_EQ(angle->GetCurrentPoint(), 100);
    ui.Wheel(w, 396, 408, 1);
    EXPECT_EQ(angle->GetCurrentPoint(), 0);
    ui.Wheel(w, 396, 408, -1);
    EXPECT_EQ(angle->GetValue(), 360u);
    EXPECT_TRUE(angle->SetWrapAround(false));
    ui.Wheel(w, 396, 408, 1);
    EXPECT_EQ(angle->GetCurrentPoint(), 100);

    // Disabled: the skin's Thumb_Disabled at full opacity; the mouse does nothing.
    amount->SetValue(0, false);
    amount->SetEnabled(false);
    EXPECT_EQ(amount->GetThumbLayer()->GetOpacity(), 255);
    EXPECT_EQ(Unlike("UIResources>Sliders>Demo_Slider>Thumb_Disabled"), 0);
    w.notes.clear();
    ui.Click(w, p10->x, p10->y);
    EXPECT_TRUE(w.Of("Demo_Slider").empty());
    amount->SetEnabled(true);
    EXPECT_EQ(Unlike("UIResources>Sliders>Demo_Slider>Thumb_Highlighted"), 0);
    ui.Screenshot(w, "controls_slider_headless");
}

// The worked examples: interpolation with its rounding, anchors, ties, Shift on a short slider,
// the disabled fallback, and the skins a slider refuses.
TEST(SliderSkins, InterpolationAnchorsTiesAndRefusals)
{
    democtl::SmallSkin t(300, 140);
    auto& skin = t.skin;
    auto& ui = t.ui;
    auto& w = t.w;
    AddSlider(skin, "Three", 3, 0, 3, {});
    AddSlider(skin, "ThreeTo4", 3, 0, 4, {});
    AddSlider(skin, "Five", 5, 0, 100, {{2, 10}});
    AddSlider(skin, "Ties", 4, 0, 15, {{1, 4}, {2, 10}});
    AddSlider(skin, "Ten", 10, 0, 9, {});
    AddSlider(skin, "EndAnchors", 3, 5, 6, {{0, 20}, {2, 10}});
    AddSlider(skin, "ShortCoords", 3, 0, 3, {}, 14);
    AddSlider(skin, "NoAnchorValue", 3, 0, 3, {{1, 7}});
    skin.Blob("UIResources>Sliders>NoAnchorValue>Data_Value_0", {});  // not a number
    AddSlider(skin, "NoHotSpot", 3, 0, 3, {});
    skin.Blob("UIResources>Sliders>NoHotSpot>HotSpot_Y", {});
    ASSERT_TRUE(t.Open());
    auto add = [&](const char* name) { return t.Add<CQWF_CtrlSlider>(name, QWF_CTRL_SLIDER); };

    EXPECT_EQ(Values(add("Three")), (std::vector<uint32_t>{0, 1, 3}));  // 1.5 rounds down
    EXPECT_EQ(Values(add("ThreeTo4")), (std::vector<uint32_t>{0, 2, 4}));
    EXPECT_EQ(Values(add("Five")), (std::vector<uint32_t>{0, 5, 10, 55, 100}));
    EXPECT_EQ(Values(add("EndAnchors")), (std::vector<uint32_t>{20, 15, 10}));
    for (const char* bad : {"ShortCoords", "NoAnchorValue", "NoHotSpot", "Missing"}) {
        EXPECT_EQ(w.AddControl(bad, QWF_CTRL_SLIDER), -1) << bad;
        if (std::string(bad) != "Missing") {
            EXPECT_EQ(w.GetError(), QWF_ERR_SKIN) << bad;
        }
    }

    // Ties: of 4 and 10, equally near 7, the first wins; an exact value is taken; a value a
    // billion away from every point moves nothing.
    CQWF_CtrlSlider* ties = add("Ties");
    ASSERT_TRUE(ties);
    EXPECT_EQ(Values(ties), (std::vector<uint32_t>{0, 4, 10, 15}));
    ties->SetValue(7, false);
    EXPECT_EQ(ties->GetValue(), 4u);
    ties->SetValue(10, false);
    EXPECT_EQ(ties->GetCurrentPoint(), 2);
    ties->SetValue(2000000000u, true);
    EXPECT_EQ(ties->GetCurrentPoint(), 2);
    EXPECT_FALSE(ties->MoveToPoint(4, true));
    w.notes.clear();
    ties->SetValue(12, true);  // nearer to 10 than to 15
    EXPECT_EQ(w.Values("Ties", QWF_NOTIFY_VALUE), (std::vector<int64_t>{10}));

    // Ten points: one Shift notch (ten points) does nothing at all; a plain one moves one point.
    CQWF_CtrlSlider* ten = add("Ten");
    ASSERT_TRUE(ten);
    w.Show();
    ui.Pump();
    w.notes.clear();
    ui.Ws().KeyDown(qwp::vk::Shift);
    ui.Wheel(w, 60, 50, 1);
    ui.Ws().KeyUp(qwp::vk::Shift);
    EXPECT_TRUE(w.Of("Ten").empty());
    ui.Wheel(w, 60, 50, 1);
    EXPECT_EQ(w.Values("Ten", QWF_NOTIFY_VALUE), (std::vector<int64_t>{1}));

    // Without Thumb_Disabled the thumb shows Thumb_Normal at the disabled opacity.
    ten->SetEnabled(false);
    EXPECT_EQ(ten->GetThumbLayer()->GetOpacity(), 80);
    EXPECT_EQ(ten->GetBackgroundLayer()->GetOpacity(), 80);
    // and follows a change of that opacity while disabled.
    ten->SetDisabledOpacity(30);
    EXPECT_EQ(ten->GetThumbLayer()->GetOpacity(), 30);
    EXPECT_EQ(ten->GetBackgroundLayer()->GetOpacity(), 30);
}
