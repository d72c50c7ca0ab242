// The effect windows in the filter run with its dialog, headless over the fake host: after a cut,
// pieces are selected through the channel picker, each of the nine effects is given to them
// through its window and OK, one window is cancelled and one reset, the image overlay takes a
// layer from the layer picker; Apply writes what the run without the dialog replays from the
// saved "last.data".
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_uiscript.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "plugin/core/jigcrafter_test_support.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/windows/effect_host.h"
#include "plugin/windows/effect_model.h"
#include "plugin/windows/wnd_cutter.h"
#include "plugin/windows/wnd_pickers.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/windows/dialog_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/main_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {
using maintest::MainOf;
using maintest::Slide;
struct EffectRun : maintest::FilterRun {
    void InstallWindows() override
    {
        InstallCutterFactory();
        InstallEffectWindows();
    }
};

CWndFX_Base* EffectWindow()
{
    auto* link = static_cast<CMainEffectHost*>(MainOf().GetEffectWindow());
    return link ? link->GetEffectWindow() : nullptr;
}

std::vector<PieceEffectRecord> Records()
{
    CJigcrafter& e = MainOf().GetPlugin()->GetEngine();
    std::vector<PieceEffectRecord> out(static_cast<size_t>(e.GetPieceCount()));
    for (int32_t i = 0; i < e.GetPieceCount(); ++i)
        e.PieceToRecord(i, out[static_cast<size_t>(i)]);
    return out;
}

const uint8_t* Bytes(const PieceEffectRecord& r) { return reinterpret_cast<const uint8_t*>(&r); }


// One effect through its window: a value-1 slider moved, then OK; the selected pieces end with
// value 1, the others as they were.
struct Step {
    uint8_t type;
    const char* slider;
    uint32_t position;
};
}  // namespace

TEST_F(EffectRun, NineEffectsCancelResetPickersAndReplay)
{
    qwtest::HeadlessUi ui;
    fakehost::Reset(rec, 160, 120, plugInModeRGBColor, 3);
    // Red is dark in the left half: the channel picker's "Red" selects the pieces there.
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x) {
            fakehost::S().planes[0][static_cast<size_t>(y) * 160 + x] = x < 80 ? 20 : 230;
            fakehost::S().planes[1][static_cast<size_t>(y) * 160 + x] = static_cast<uint8_t>(x + y);
        }
    // A layer over the whole picture and a small one.
    std::vector<uint8_t> full(160 * 120), patch(20 * 20, 200);
    for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>(i * 7);
    fakehost::AddLayer(rec, "Paper", QWH_Rect{0, 0, 160, 120}, {full, full, full}, {}, 7);
    fakehost::AddLayer(rec, "Patch", QWH_Rect{5, 5, 25, 25}, {patch, patch, patch}, {}, 9);
    fakehost::FinishLayers();
    const std::vector<std::vector<uint8_t>> before = fakehost::S().planes;

    std::vector<PieceEffectRecord> opened;
    std::vector<int32_t> selected;
    auto checkOk = [&](CWndFX_Base* w) {
        const std::vector<PieceEffectRecord> now = Records();
        const qwfx::EffectInfo& info = w->Model().Info();
        for (size_t i = 0; i < now.size(); ++i) {
            const bool target = now[i].selected != 0;
            const uint8_t* got = Bytes(now[i]) + info.offset;
            const uint8_t* want = target ? Bytes(w->Model().GetValue(0)) + info.offset
                                         : Bytes(opened[i]) + info.offset;
            EXPECT_EQ(std::memcmp(got, want, info.size), 0) << info.name << " piece " << i;
            if (target) {
                EXPECT_EQ(got[0], 1) << info.name;
            }
        }
    };
    auto open = [&](uint8_t type) -> CWndFX_Base* {
        opened = Records();
        EXPECT_TRUE(MainOf().OpenEffectWindow(type)) << int(type);
        EXPECT_TRUE(MainOf().IsEffectWindowOpen());
        return EffectWindow();
    };

    PieceEffectRecord chosenBefore{};  // the image overlay's value 1 before a picker that chose nothing

    // In Layout mode the channel picks knives: those with an end in the dark left half.
    ui.Ws().PushIdleAction([&] {
        EXPECT_EQ(MainOf().GetLayout().GetKnivesSelectionState(), 0);
        EXPECT_TRUE(MainOf().SelectKnivesByChannel());
    });
    // The picker speaks of knives in Layout mode, of pieces in Puzzle mode.
    auto pickerSpeaksOf = [](CWnd_ChannelList& p, uint8_t mode) {
        auto words = [](std::string t) {  // the text as words, however its lines are flowed
            std::string out;
            for (char c : t)
                if (!std::isspace(static_cast<unsigned char>(c)) || (!out.empty() && out.back() != ' '))
                    out += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
            return out;
        };
        ASSERT_NE(words(CApp::GetHintText("", "ChannelsList", 1, 0).GetBuffer()),
                  words(CApp::GetHintText("", "ChannelsList", 2, 0).GetBuffer()));
        EXPECT_EQ(words(p.Status().GetText()), words(CApp::GetHintText("", "ChannelsList", mode, 0).GetBuffer()));
    };
    ui.Ws().PushIdleAction([&] {
        auto* p = dynamic_cast<CWnd_ChannelList*>(CQWF_UiScript::FindWindow("ChannelList"));
        ASSERT_NE(p, nullptr);
        pickerSpeaksOf(*p, 1);
        ui.ClickControl(*p, "ChannelList_Ok");
    });
    // The cut.
    ui.Ws().PushIdleAction([&] {
        EXPECT_EQ(MainOf().GetLayout().GetKnivesSelectionState(), 2);
        CWnd_Main& w = MainOf();
        auto* c = static_cast<CWnd_Cutter*>(w.GetCutter()->GetWindow());
        static_cast<CQWF_CtrlSlider*>(c->GetControl(c->FindControl("Cutter_Rows")))->SetValue(3, true);
        static_cast<CQWF_CtrlSlider*>(c->GetControl(c->FindControl("Cutter_Columns")))->SetValue(4, true);
        // Without razor cut and anti-aliasing: the knife strokes are a piece of their own, and
        // the cells' edges are hard.
        for (const char* box : {"Cutter_RazorCut", "Cutter_AntiAliasing"}) {
            ASSERT_TRUE(c->GetControl(c->FindControl(box))->GetCheck()) << box;
            ui.ClickControl(*c, box);
        }
        ui.ClickControl(*c, "Cutter_Cut");
        ui.Pump();
        // Selecting by channel runs the picker modally; the next action runs inside it.
        EXPECT_TRUE(w.SelectPiecesByChannel());
    });
    ui.Ws().PushIdleAction([&] {
        auto* p = dynamic_cast<CWnd_ChannelList*>(CQWF_UiScript::FindWindow("ChannelList"));
        ASSERT_NE(p, nullptr);
        auto* list = static_cast<CQWF_CtrlList*>(p->GetControl(p->FindControl("ChannelList_List")));
        ASSERT_EQ(list->GetCount(), 3);
        CQWF_String first;
        list->GetItem(0, &first, nullptr, nullptr);
        EXPECT_STREQ(first.GetBuffer(), "Red");
        pickerSpeaksOf(*p, 2);
        EXPECT_TRUE(ui.Screenshot(*p, "channel_picker"));
        ui.ClickControl(*p, "ChannelList_Ok");
    });
    ui.Ws().PushIdleAction([&] {
        CJigcrafter& e = MainOf().GetPlugin()->GetEngine();
        for (int32_t i = 0; i < e.GetPieceCount(); ++i)
            if (e.GetPiece(i)->selected) selected.push_back(i);
        // The pieces with a pixel left of the middle: two of the four columns.
        EXPECT_EQ(selected.size(), 6u);
        for (int32_t i : selected) EXPECT_LT(e.GetPiece(i)->left, 80);
        const Step steps[] = {{1, "FXbevel_Size1", 5},   {0, "FXblur_Radius", 3},
                              {2, "FXhsl_H1", 220},      {3, "FXcovr_Opacity", 40},
                              {4, "FXbc_Bright1", 130},  {5, "FXmblur_Radius1", 6},
                              {6, "FXopac_Opacity", 70}, {8, "FXstroke_Size", 4}};
        for (const Step& s : steps) {
            CWndFX_Base* w = open(s.type);
            ASSERT_NE(w, nullptr) << int(s.type);
            Slide(*w, s.slider, s.position);
            // The live render 50 ms later; OK is free again once the main window is idle.
            ui.Advance(60);
            ui.Advance(60);
            EXPECT_TRUE(ui.Screenshot(*w, std::string("run_") + w->SkinName().GetBuffer()));
            ui.ClickControl(*w, (w->SkinName() + "_Ok").GetBuffer());
            ui.Pump();
            EXPECT_FALSE(MainOf().IsEffectWindowOpen());
            checkOk(w);
        }
        // Cancel: the pieces as they were, also while the live preview showed a change. The
        // Help button shows the filter's Help menu.
        CWndFX_Base* blur = open(0);
        ASSERT_NE(blur, nullptr);
        const size_t menus = ui.Ws().Menus().size();
        ui.ClickControl(*blur, "FXblur_Help");
        ASSERT_EQ(ui.Ws().Menus().size(), menus + 1);
        EXPECT_EQ(ui.Ws().Menus().back().items.front().text, "Help...");
        Slide(*blur, "FXblur_Radius", 30);
        ui.Advance(60);
        ui.Advance(60);
        EXPECT_EQ(Records()[static_cast<size_t>(selected[0])].blurRadius, 30);
        ui.ClickControl(*blur, "FXblur_Cancel");
        ui.Pump();
        const std::vector<PieceEffectRecord> after = Records();
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_EQ(std::memcmp(&after[i], &opened[i], 90), 0) << i;
        // Reset: value 1 is the reference piece's own again.
        CWndFX_Base* bc = open(4);
        ASSERT_NE(bc, nullptr);
        Slide(*bc, "FXbc_Bright1", 180);
        ui.ClickControl(*bc, "FXbc_Reset");
        EXPECT_EQ(bc->Model().GetValue(0).brightness, 30);
        ui.Advance(60);
        ui.Advance(60);
        ui.ClickControl(*bc, "FXbc_Ok");
        ui.Pump();
        EXPECT_EQ(Records()[static_cast<size_t>(selected[1])].brightness, 30);
        // The image overlay takes its layer from the picker (menu item "From Document Layer...").
        CWndFX_Base* iovr = open(9);
        ASSERT_NE(iovr, nullptr);
        Slide(*iovr, "FXiovr_Opacity", 80);
        ui.Advance(60);
        ui.Ws().AnswerMenu(1);
        ui.ClickControl(*iovr, "FXiovr_ChooseImage");
    });
    // The open layer picker and its list.
    auto picker = [](CWnd_LayersList*& p, CQWF_CtrlList*& list) {
        p = dynamic_cast<CWnd_LayersList*>(CQWF_UiScript::FindWindow("Layers"));
        list = p ? static_cast<CQWF_CtrlList*>(p->GetControl(p->FindControl("Layers_List"))) : nullptr;
        return p && list;
    };
    ui.Ws().PushIdleAction([&] {
        CWnd_LayersList* p;
        CQWF_CtrlList* list;
        ASSERT_TRUE(picker(p, list));
        // Only the layer that covers the selected pieces is listed.
        ASSERT_EQ(list->GetCount(), 1);
        EXPECT_EQ(p->GetChosen(), 7);
        EXPECT_TRUE(ui.Screenshot(*p, "layer_picker"));
        // All layers: the small one does not cover them, so OK is refused for it.
        ui.ClickControl(*p, "Layers_ShowAll");
        EXPECT_EQ(list->GetCount(), 3);
        list->SelectItem(1, 1, true, false, true, true, true);
        EXPECT_EQ(p->GetChosen(), -2);
        EXPECT_FALSE(p->GetControl(p->FindControl("Layers_Ok"))->IsEnabled());
        EXPECT_TRUE(ui.Screenshot(*p, "layer_picker_uncovered"));
        // Enter ends the picker with 1 all the same, handing back no layer.
        chosenBefore = EffectWindow()->Model().GetValue(0);
        p->OnKeyDown(QWF_KEY_ENTER, 0);
        EXPECT_FALSE(p->IsModal());
    });
    ui.Ws().PushIdleAction([&] {
        // The effect changed nothing; the picker opened again takes the covering layer.
        CWndFX_Base* iovr = EffectWindow();
        ASSERT_NE(iovr, nullptr);
        EXPECT_EQ(CQWF_UiScript::FindWindow("Layers"), nullptr);
        EXPECT_EQ(iovr->Model().GetValue(0).imgLayerChoice, chosenBefore.imgLayerChoice);
        EXPECT_EQ(iovr->Model().GetValue(0).layerId, chosenBefore.layerId);
        ui.Ws().AnswerMenu(1);
        ui.ClickControl(*iovr, "FXiovr_ChooseImage");
    });
    ui.Ws().PushIdleAction([&] {
        CWnd_LayersList* p;
        CQWF_CtrlList* list;
        ASSERT_TRUE(picker(p, list));
        ui.ClickControl(*p, "Layers_ShowAll");
        list->SelectItem(2, 2, true, false, true, true, true);
        EXPECT_EQ(p->GetChosen(), 7);
        ui.ClickControl(*p, "Layers_Ok");
    });
    ui.Ws().PushIdleAction([&] {
        CWndFX_Base* iovr = EffectWindow();
        ASSERT_NE(iovr, nullptr);
        EXPECT_EQ(iovr->Model().GetValue(0).imgLayerChoice, 1);
        EXPECT_EQ(iovr->Model().GetValue(0).layerId, 7);
        EXPECT_TRUE(ui.Screenshot(*iovr, "run_FXiovr"));
        ui.Advance(60);
        ui.Advance(60);
        ui.ClickControl(*iovr, "FXiovr_Ok");
        ui.Pump();
        checkOk(iovr);
        ui.ClickControl(MainOf(), "Main_Apply");
    });
    Call(filterSelectorParameters);
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    EXPECT_EQ(ui.Ws().PendingIdleActions(), 0u);
    EXPECT_NE(fakehost::S().planes, before);
    const std::vector<std::vector<uint8_t>> applied = fakehost::S().planes;

    // The run without the dialog replays "last.data" into the same picture.
    fakehost::S().planes = before;
    Call(filterSelectorFinish);
    rec.descriptorParameters = nullptr;
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    EXPECT_EQ(fakehost::S().planes, applied);
}

// A layout whose pieces carry each effect's edge values (lights of no length, not of length 1
// and not a number, angles 0 and 359, the ends of every range), each piece given its setting
// again through its effect window (selected alone, OK without a change): what the dialog shows
// and applies is what the run without the dialog replays from the layout.
TEST_F(EffectRun, EdgeValuesThroughTheWindowsApplyAsTheReplayRendersThem)
{
    using Set = void (*)(PieceEffectRecord&);
    struct Case {
        uint8_t type;
        Set set;
    };
    static const Case cases[] = {
        {1, [](PieceEffectRecord& r) { r.light[0] = r.light[1] = r.light[2] = 0, r.bevelSize = 6, r.bevelDepth = 400; }},
        {1, [](PieceEffectRecord& r) { r.light[0] = NAN, r.bevelSize = 6, r.bevelDepth = 400; }},
        {1, [](PieceEffectRecord& r) { r.light[0] = 3, r.light[1] = -4, r.light[2] = 6, r.bevelSize = 6; }},
        {1, [](PieceEffectRecord& r) { r.light[0] = 0.02f, r.light[1] = 0.01f, r.light[2] = 0.005f; }},
        {1, [](PieceEffectRecord& r) { qwfx::LightFromAngles(0, 1, r.light), r.bevelDepth = 999; }},
        {1, [](PieceEffectRecord& r) { qwfx::LightFromAngles(359, 90, r.light), r.bevelSoften = 20; }},
        {1, [](PieceEffectRecord& r) { r.bevelSize = 200, r.bevelDepth = 999, r.bevelSoften = 20; }},
        {1, [](PieceEffectRecord& r) { r.bevelSize = 0, r.bevelDepth = 0, r.hlOpacity = 0, r.shOpacity = 255; }},
        {0, [](PieceEffectRecord& r) { r.blurOn = 1, r.blurRadius = 100; }},
        {5, [](PieceEffectRecord& r) { r.mbOn = 1, r.mbAngle = -90, r.mbDistance = 100; }},
        {5, [](PieceEffectRecord& r) { r.mbOn = 1, r.mbAngle = 90, r.mbDistance = 0; }},
        {2, [](PieceEffectRecord& r) { r.hslOn = 1, r.hue = -180, r.saturation = 100, r.lightness = -100; }},
        {2, [](PieceEffectRecord& r) { r.hslOn = 1, r.hue = 180, r.saturation = -100, r.lightness = 100; }},
        {4, [](PieceEffectRecord& r) { r.bcOn = 1, r.brightness = -100, r.contrast = 100; }},
        {4, [](PieceEffectRecord& r) { r.bcOn = 1, r.brightness = 100, r.contrast = -100; }},
        {3, [](PieceEffectRecord& r) { r.ovOn = 1, r.ovOpacity = 255, r.blurOn = 1, r.blurRadius = 9; }},
        {3, [](PieceEffectRecord& r) { r.ovOn = 1, r.ovOpacity = 0; }},
        {8, [](PieceEffectRecord& r) { r.stOn = 1, r.stSize = 100, r.stOpacity = 255; }},
        {8, [](PieceEffectRecord& r) { r.stOn = 1, r.stSize = 0, r.stOpacity = 255; }},
        {6, [](PieceEffectRecord& r) { r.opOn = 1, r.opValue = 0; }},
        {6, [](PieceEffectRecord& r) { r.opOn = 1, r.opValue = 255, r.invert = 1; }},
    };
    const int columns = 6, rows = 4, count = sizeof cases / sizeof cases[0];
    std::vector<uint8_t> records(static_cast<size_t>(rows * columns) * qwpiece::kRecordSize);
    for (int i = 0; i < rows * columns; ++i) {
        PieceEffectRecord r;
        qwpiece::DefaultRecord(r);
        r.row = static_cast<uint8_t>(i / columns + 1);
        r.column = static_cast<uint8_t>(i % columns + 1);
        if (i < count)
            cases[i].set(r);
        qwpiece::ToBlob(r, records.data() + static_cast<size_t>(i) * qwpiece::kRecordSize);
    }
    const std::vector<uint8_t> blob =
        jigtest::MakeBlob(columns, rows, {}, {}, {}, 1, 1, true, records, rows * columns);
    const std::string last = dir.Path() + "/last.data";
    ASSERT_TRUE(qwtest::WriteWholeFile(last, std::string(blob.begin(), blob.end())));

    qwtest::HeadlessUi ui;
    fakehost::Reset(rec, 180, 120, plugInModeRGBColor, 3);
    for (size_t p = 0; p < 3; ++p)
        for (size_t i = 0; i < 180 * 120; ++i)
            fakehost::S().planes[p][i] = static_cast<uint8_t>((i % 180) * (p + 1) + (i / 180) * 3);
    const std::vector<std::vector<uint8_t>> before = fakehost::S().planes;
    ui.Ws().PushIdleAction([&] {
        CWnd_Main& main = MainOf();
        CWnd_Cutter* c = maintest::CutterOf(main);
        ASSERT_NE(c, nullptr);
        ui.ClickControl(*c, "Cutter_Cut");
        ui.Pump();
        CJigcrafter& e = main.GetPlugin()->GetEngine();
        ASSERT_EQ(e.GetPieceCount(), rows * columns);
        for (int k = 0; k < count; ++k) {
            SCOPED_TRACE(k);
            int32_t piece = -1;
            for (int32_t i = 0; i < e.GetPieceCount(); ++i)
                if (e.GetPiece(i)->row - 1 == k / columns && e.GetPiece(i)->column - 1 == k % columns)
                    piece = i;
            ASSERT_GE(piece, 0);
            main.GetPieceView()->DeselectAllPieces(false);
            main.GetPieceView()->SelectPiece(piece, 1, false);
            ASSERT_TRUE(main.OpenEffectWindow(cases[k].type));
            CWndFX_Base* w = EffectWindow();
            ASSERT_NE(w, nullptr);
            ui.Advance(60);
            ui.Advance(60);
            ui.ClickControl(*w, (w->SkinName() + "_Ok").GetBuffer());
            ui.Pump();
            ASSERT_FALSE(main.IsEffectWindowOpen());
        }
        ui.ClickControl(main, "Main_Apply");
    });
    Call(filterSelectorParameters);
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    EXPECT_EQ(ui.Ws().PendingIdleActions(), 0u);
    const std::vector<std::vector<uint8_t>> applied = fakehost::S().planes;
    EXPECT_NE(applied, before);

    fakehost::S().planes = before;
    Call(filterSelectorFinish);
    rec.descriptorParameters = nullptr;
    ASSERT_TRUE(qwtest::WriteWholeFile(last, std::string(blob.begin(), blob.end())));
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    EXPECT_EQ(fakehost::S().planes, applied);
}

// Every ranged number of the Cutter, the preferences and the effect windows is the number typed
// or opened with, whatever positions its slider's track holds: touching other sliders, switching
// between value 1 and value 2 or the adjust box on and off never replaces it by the nearest
// position. Numbers at the ends of their ranges, one between, and those no slider position holds
// (the motion blur's angles, the bevel's depths).
TEST_F(EffectRun, EveryRangedNumberStaysAsTyped)
{
    qwtest::HeadlessUi ui;
    fakehost::Reset(rec, 160, 120, plugInModeRGBColor, 3);
    // Types a number into an edit line as the user does: a click selects its text, the typing
    // replaces it, Enter confirms it.
    auto type = [&](CQWF_Window& w, const char* name, int value) {
        const int32_t i = dlgtest::Find(w, name, QWF_CTRL_EDIT);
        ASSERT_GE(i, 0) << name;
        ui.ClickControl(w, i);
        ui.Type(std::to_string(value));
        ui.Key(qwp::vk::Return);
    };
    auto shows = [&](CQWF_Window& w, const char* name) {
        auto* e = static_cast<CQWF_CtrlEditLine*>(w.GetControl(dlgtest::Find(w, name, QWF_CTRL_EDIT)));
        return e ? std::string(e->GetText().GetBuffer()) : std::string("?");
    };

    // The Cutter: rows, columns, thickness, tips size and smoothness reach the layout and the shape.
    ui.Ws().PushIdleAction([&] {
        CWnd_Main& main = MainOf();
        CWnd_Cutter* c = maintest::CutterOf(main);
        ASSERT_NE(c, nullptr);
        CLayoutModel& layout = main.GetLayout();
        // Razor cut off: the thickness can be set.
        const int32_t razor = dlgtest::Find(*c, "Cutter_RazorCut", QWF_CTRL_CHECKBOX);
        if (c->GetControl(razor)->GetCheck())
            ui.ClickControl(*c, razor);
        struct Field {
            const char* name;
            std::vector<int> values;
            const char* other;  // a slider touched afterwards
            std::function<int()> held;
        };
        const Field fields[] = {
            {"Cutter_Rows", {1, 100, 37, 3}, "Cutter_TipsSize", [&] { return layout.GetYLineCount() + 1; }},
            {"Cutter_Columns", {100, 1, 63, 4}, "Cutter_KnifeTh", [&] { return layout.GetXLineCount() + 1; }},
            {"Cutter_KnifeTh", {1, 100, 41}, "Cutter_TipsSize",
             [&] { return static_cast<int>(layout.RowKnives()[0].thickness); }},
            {"Cutter_TipsSize", {0, 100, 59}, "Cutter_KnifeTh",
             [&] { return static_cast<int>(layout.RowKnives()[0].tipsSize); }},
            {"Cutter_Smoothness", {0, 100, 23}, "Cutter_TipsSize",
             [&] { return static_cast<int>(c->GetEditor().GetShape().S[0] * 100 + 0.5); }},
        };
        for (const Field& f : fields)
            for (int v : f.values) {
                type(*c, f.name, v);
                Slide(*c, f.other, 2);
                EXPECT_EQ(f.held(), v) << f.name;
                EXPECT_EQ(shows(*c, f.name), std::to_string(v)) << f.name;
            }
        ui.ClickControl(*c, "Cutter_Cut");
        ui.Pump();
        ASSERT_GE(main.GetPlugin()->GetEngine().GetPieceCount(), 12);
        main.ShowPreferences();
    });
    // The preferences: the opacity of hidden knives opened with, and typed in percent.
    ui.Ws().PushIdleAction([&] {
        CQWF_Window* p = CQWF_UiScript::FindWindow("Pref");
        ASSERT_NE(p, nullptr);
        ui.ClickControl(*p, "Pref_Ok");
    });
    ui.Ws().PushIdleAction([&] {
        EXPECT_EQ(MainOf().GetViewPreferences().delKnifeOpacity, 70);
        MainOf().ShowPreferences();
    });
    ui.Ws().PushIdleAction([&] {
        CQWF_Window* p = CQWF_UiScript::FindWindow("Pref");
        ASSERT_NE(p, nullptr);
        // Each but the last left by a click elsewhere (the fit check box, twice, so that it stays
        // as it was); the last confirmed with Enter, which ends the window.
        for (int v : {10, 50}) {
            ui.ClickControl(*p, "Pref_DisOpacity");
            ui.Type(std::to_string(v));
            ui.ClickControl(*p, "Pref_FitOnLoad");
            ui.ClickControl(*p, "Pref_FitOnLoad");
            EXPECT_EQ(shows(*p, "Pref_DisOpacity"), std::to_string(v));
        }
        type(*p, "Pref_DisOpacity", 33);
        EXPECT_EQ(CQWF_UiScript::FindWindow("Pref"), nullptr) << "one Enter did not end the window";
    });
    // The effect windows, each number of value 1 and, where another parameter's sliders can be
    // touched, of value 2.
    ui.Ws().PushIdleAction([&] {
        EXPECT_EQ(MainOf().GetViewPreferences().delKnifeOpacity, 33 * 255 / 100);
        using Get = int (*)(const PieceEffectRecord&);
        struct Number {
            uint8_t type;
            const char* edit;   // of value 1 (and of value 2 when edit2 is null)
            const char* edit2;  // the motion blur's angle has an edit line per value
            const char* slider2;
            const char* other1;  // sliders of another parameter (null: none)
            const char* other2;
            std::vector<int> values;
            bool percent;
            Get get;
        };
        const Number numbers[] = {
            {0, "FXblur_Radius", nullptr, "FXblur_Radius2", nullptr, nullptr, {0, 100, 37}, false,
             [](const PieceEffectRecord& r) { return int(r.blurRadius); }},
            {1, "FXbevel_Size", nullptr, "FXbevel_Size2", "FXbevel_Depth1", "FXbevel_Depth2",
             {0, 200, 103}, false, [](const PieceEffectRecord& r) { return int(r.bevelSize); }},
            {1, "FXbevel_Depth", nullptr, "FXbevel_Depth2", "FXbevel_Size1", "FXbevel_Size2",
             {0, 999, 103, 500, 101, 998, 1}, false,
             [](const PieceEffectRecord& r) { return int(r.bevelDepth); }},
            {1, "FXbevel_Soften", nullptr, "FXbevel_Soften2", "FXbevel_Depth1", "FXbevel_Depth2",
             {0, 20, 7}, false, [](const PieceEffectRecord& r) { return int(r.bevelSoften); }},
            {1, "FXbevel_HLOpacity", nullptr, nullptr, "FXbevel_Depth1", "FXbevel_Depth2",
             {0, 100, 33}, true, [](const PieceEffectRecord& r) { return int(r.hlOpacity); }},
            {1, "FXbevel_SHOpacity", nullptr, nullptr, "FXbevel_Depth1", "FXbevel_Depth2",
             {0, 100, 61}, true, [](const PieceEffectRecord& r) { return int(r.shOpacity); }},
            {2, "FXhsl_H", nullptr, "FXhsl_H2", "FXhsl_S1", "FXhsl_S2", {-180, 180, 1}, false,
             [](const PieceEffectRecord& r) { return int(r.hue); }},
            {2, "FXhsl_S", nullptr, "FXhsl_S2", "FXhsl_L1", "FXhsl_L2", {-100, 100, -3}, false,
             [](const PieceEffectRecord& r) { return int(r.saturation); }},
            {2, "FXhsl_L", nullptr, "FXhsl_L2", "FXhsl_H1", "FXhsl_H2", {-100, 100, 57}, false,
             [](const PieceEffectRecord& r) { return int(r.lightness); }},
            {3, "FXcovr_Opacity", nullptr, "FXcovr_Opacity2", nullptr, nullptr, {0, 100, 33}, true,
             [](const PieceEffectRecord& r) { return int(r.ovOpacity); }},
            {4, "FXbc_Bright", nullptr, "FXbc_Bright2", "FXbc_Contrast1", "FXbc_Contrast2",
             {-100, 100, 1}, false, [](const PieceEffectRecord& r) { return int(r.brightness); }},
            {4, "FXbc_Contrast", nullptr, "FXbc_Contrast2", "FXbc_Bright1", "FXbc_Bright2",
             {-100, 100, -1}, false, [](const PieceEffectRecord& r) { return int(r.contrast); }},
            {5, "FXmblur_Dir1", "FXmblur_Dir2", "FXmblur_Dir2", "FXmblur_Radius1",
             "FXmblur_Radius2", {-90, 90, 1, 89, -1, -89, 0}, false,
             [](const PieceEffectRecord& r) { return int(r.mbAngle); }},
            {5, "FXmblur_Radius", nullptr, "FXmblur_Radius2", "FXmblur_Dir1", "FXmblur_Dir2",
             {0, 100, 33}, false, [](const PieceEffectRecord& r) { return int(r.mbDistance); }},
            {6, "FXopac_Opacity", nullptr, "FXopac_Opacity2", nullptr, nullptr, {0, 100, 33}, true,
             [](const PieceEffectRecord& r) { return int(r.opValue); }},
            {8, "FXstroke_Opacity", nullptr, "FXstroke_Opacity2", "FXstroke_Size",
             "FXstroke_Size2", {0, 100, 33}, true,
             [](const PieceEffectRecord& r) { return int(r.stOpacity); }},
            {8, "FXstroke_Size", nullptr, "FXstroke_Size2", "FXstroke_Opacity",
             "FXstroke_Opacity2", {0, 100, 3}, false,
             [](const PieceEffectRecord& r) { return int(r.stSize); }},
            {9, "FXiovr_Opacity", nullptr, "FXiovr_Opacity2", nullptr, nullptr, {0, 100, 33},
             true, [](const PieceEffectRecord& r) { return int(r.imgOpacity); }},
        };
        auto held = [](const Number& n, int v) { return n.percent ? v * 255 / 100 : v; };
        for (const Number& n : numbers) {
            ASSERT_TRUE(MainOf().OpenEffectWindow(n.type)) << n.edit;
            CWndFX_Base* w = EffectWindow();
            ASSERT_NE(w, nullptr);
            const std::string adjust = (w->SkinName() + "_AAdjust").GetBuffer();
            auto toggleAdjust = [&] {
                ui.ClickControl(*w, dlgtest::Find(*w, adjust.c_str(), QWF_CTRL_CHECKBOX));
            };
            for (int v : n.values) {
                SCOPED_TRACE(std::string(n.edit) + " " + std::to_string(v));
                // Value 1 typed; value 2 shown and back; another parameter's sliders touched.
                type(*w, n.edit, v);
                toggleAdjust();
                if (n.slider2)
                    Slide(*w, n.slider2, 20);
                if (n.other2)
                    Slide(*w, n.other2, 10);
                toggleAdjust();
                if (n.other1)
                    Slide(*w, n.other1, 10);
                EXPECT_EQ(n.get(w->Model().GetValue(0)), held(n, v));
                EXPECT_EQ(shows(*w, n.edit), std::to_string(v));
                // Value 2 typed while it is active; the other parameter's value-1 and value-2
                // sliders touched.
                if (!n.other1 || !n.slider2)
                    continue;
                toggleAdjust();
                Slide(*w, n.slider2, 20);
                type(*w, n.edit2 ? n.edit2 : n.edit, v);
                Slide(*w, n.other1, 10);
                Slide(*w, n.other2, 10);
                EXPECT_EQ(n.get(w->Model().GetValue(1)), held(n, v));
                EXPECT_EQ(shows(*w, n.edit2 ? n.edit2 : n.edit), std::to_string(v));
                toggleAdjust();
            }
            ui.Advance(60);
            ui.Advance(60);
            ui.ClickControl(*w, (w->SkinName() + "_Cancel").GetBuffer());
            ui.Pump();
            ASSERT_FALSE(MainOf().IsEffectWindowOpen());
        }
        ui.ClickControl(MainOf(), "Main_Cancel");
    });
    Call(filterSelectorParameters);
    Call(filterSelectorStart);
    EXPECT_EQ(ui.Ws().PendingIdleActions(), 0u);
}

// The two pickers over a document of their own: what they list and read back, an empty layer
// (a defined black preview, OK refused) and, on the X11 test display, their photographs.
TEST_F(EffectRun, PickersReadTheDocument)
{
    fakehost::Reset(rec, 120, 90, plugInModeRGBColor, 3);
    for (size_t i = 0; i < 120 * 90; ++i) fakehost::S().planes[2][i] = i % 120 < 30 ? 0 : 255;
    std::vector<uint8_t> full(120 * 90, 90), clear(10 * 10, 0), box(10 * 10, 40);
    fakehost::AddLayer(rec, "Sky", QWH_Rect{0, 0, 120, 90}, {full, full, full}, {}, 4);
    fakehost::AddLayer(rec, "Ghost", QWH_Rect{50, 50, 60, 60}, {box, box, box}, clear, 5);
    fakehost::FinishLayers();
    plugin.SetHostPointers(&rec, &data, &result);
    ASSERT_TRUE(plugin.ReadHostInfo());

    auto run = [&](qwtest::UiDriver& ui, bool photograph) {
        CFilterDialogHost host(&plugin, 2);
        CWnd_ChannelList channels(&host, &plugin, false, 0);
        ASSERT_TRUE(channels.CreateFromSkin("ChannelList", 40, 40, nullptr, 0));
        channels.Show();
        ui.Pump();
        auto* list = static_cast<CQWF_CtrlList*>(channels.GetControl(channels.FindControl("ChannelList_List")));
        ASSERT_EQ(list->GetCount(), 3);  // red, green, blue
        // Without a selection only "new" is offered.
        EXPECT_FALSE(channels.GetControl(channels.FindControl("ChannelList_SelAdd"))->IsEnabled());
        list->SelectItem(2, 2, true, false, true, true, true);
        EXPECT_EQ(channels.GetMap().GetData()[10], 0);
        EXPECT_EQ(channels.GetMap().GetData()[100], 255);
        // The invert switch changes the preview only.
        ui.ClickControl(channels, "ChannelList_Invert");
        EXPECT_EQ(channels.GetInvert(), 1);
        EXPECT_EQ(channels.GetMap().GetData()[10], 0);
        if (photograph) {
            EXPECT_TRUE(ui.Screenshot(channels, "channel_picker_x11"));
        }
        channels.Close();

        CWnd_LayersList layers(&host, &plugin, ViewPreferences());
        layers.SetTarget(10, 10, 60, 60);
        layers.SetShowFiltered(false);
        layers.SetChosen(5);
        ASSERT_TRUE(layers.CreateFromSkin("Layers", 40, 40, nullptr, 0));
        layers.Show();
        ui.Pump();
        // The chosen layer is transparent everywhere: no rectangle, a black preview, no OK.
        EXPECT_EQ(layers.GetChosen(), -2);
        EXPECT_FALSE(layers.GetControl(layers.FindControl("Layers_Ok"))->IsEnabled());
        EXPECT_EQ(layers.GetPicture().GetPlane(0)[0], 0);
        EXPECT_EQ(layers.GetPicture().GetPlane(3)[0], 255);
        auto* items = static_cast<CQWF_CtrlList*>(layers.GetControl(layers.FindControl("Layers_List")));
        ASSERT_EQ(items->GetCount(), 3);
        items->SelectItem(2, 2, true, false, true, true, true);  // "Sky", first in the table
        EXPECT_EQ(layers.GetChosen(), 4);
        EXPECT_TRUE(layers.GetControl(layers.FindControl("Layers_Ok"))->IsEnabled());
        const int32_t w = layers.GetPicture().GetWidth(), h = layers.GetPicture().GetHeight();
        // The layer's 90 over the background at full alpha: (90 x 255) >> 8.
        EXPECT_EQ(layers.GetPicture().GetPlane(0)[static_cast<size_t>(h / 2) * w + w / 2], 89);
        if (photograph) {
            EXPECT_TRUE(ui.Screenshot(layers, "layer_picker_x11"));
        }
        layers.Close();
    };
    {
        qwtest::HeadlessUi ui;
        ASSERT_TRUE(ui.App().LoadPackageFromFile("resource_jw30.qws4", true));
        run(ui, false);
        // The preview's hint holds from its first pixel to its last; the pixels around it give
        // the window's own.
        dlgtest::RecordingHost hints;
        CWnd_ChannelList channels(&hints, &plugin, false, 0);
        ASSERT_TRUE(channels.CreateFromSkin("ChannelList", 40, 40, nullptr, 0));
        channels.Show();
        ui.Pump();
        QWF_Rect r;
        ASSERT_TRUE(channels.LoadRect("ChannelList_Preview", r));
        const int32_t in[2][2] = {{r.left, r.top}, {r.right - 1, r.bottom - 1}};
        const int32_t out[4][2] = {{r.left - 1, r.top}, {r.right, r.bottom - 1}, {r.left, r.top - 1}, {r.right - 1, r.bottom}};
        for (int k = 0; k < 4; ++k) {
            ui.MoveTo(channels, in[k % 2][0], in[k % 2][1]);
            EXPECT_EQ(hints.hints.back(), "ChannelsList:Zone_Preview:0:0") << k;
            ui.MoveTo(channels, out[k][0], out[k][1]);
            EXPECT_EQ(hints.hints.back(), "ChannelsList::0:0") << k;
        }
        channels.Close();
    }
    qwtest::X11Ui x11;
    QW_REQUIRE_X11_OR_SKIP(x11);
    ASSERT_TRUE(x11.App().LoadPackageFromFile("resource_jw30.qws4", true));
    run(x11, true);
}
