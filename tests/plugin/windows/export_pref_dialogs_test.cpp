// The export option dialogs and the preferences dialog opened from the compiled skin and driven
// through their controls, headless, in their modal runs.
#include "dialog_test_support.h"

#include "framework/ui/qwf_static.h"
#include "plugin/windows/wnd_export.h"
#include "plugin/windows/wnd_pref.h"

using dlgtest::Click;
using dlgtest::EditText;
using dlgtest::Get;
using dlgtest::Near;
using dlgtest::TypeInto;

namespace {

class ExportPrefDialogs : public dlgtest::DialogTest {
protected:
    std::string Text(CQWF_Window& w, const char* name)
    {
        auto* t = static_cast<CQWF_CtrlStaticText*>(Get(w, name, QWF_CTRL_STATIC_TEXT));
        return t ? t->GetText() : "<none>";
    }
    bool Enabled(CQWF_Window& w, const char* name, uint8_t kind) { return Get(w, name, kind)->IsEnabled(); }
    bool Checked(CQWF_Window& w, const char* name, uint8_t kind) { return Get(w, name, kind)->GetCheck(); }
};

PieceCounts Pieces(uint32_t total, uint32_t selected, uint32_t selectedHidden, uint32_t hidden)
{
    PieceCounts c;
    c.total = total;
    c.selected = selected;
    c.selectedHidden = selectedHidden;
    c.hidden = hidden;
    c.someSelected = selected > 0;
    c.notAllSelected = selected < total;
    c.someUnselectedShown = total - selected > hidden - selectedHidden;
    c.someHidden = hidden > 0;
    return c;
}

}  // namespace

TEST_F(ExportPrefDialogs, ExportFollowsTheChoicesCountsTheResultAndWarnsBeforeLargeExports)
{
    constexpr uint8_t R = QWF_CTRL_RADIO, C = QWF_CTRL_CHECKBOX, B = QWF_CTRL_BUTTON;
    // Nothing selected while the settings say "selected": the window opens on all pieces.
    CWnd_Export w(&host);
    w.Model().options = PieceExportOptions{};
    w.Model().options.exportTo = 2;
    w.Model().counts = Pieces(700, 0, 0, 150);
    const int32_t result = RunWith(w, [&] {
        EXPECT_TRUE(Checked(w, "Export_All", R));
        EXPECT_FALSE(Enabled(w, "Export_Selected", R));
        EXPECT_TRUE(Checked(w, "Export_ToPNG", R));
        EXPECT_EQ(w.Model().itemCount, 550u);
        EXPECT_NE(Text(w, "Export_Display").find(" Total :\t700\n"), std::string::npos);
        EXPECT_NE(Text(w, "Export_Display").find("Result: 550 files"), std::string::npos);
        EXPECT_EQ(Text(w, "Export_NamingDisp"), "[file]_F0112-Piece95_R8_C12");
        // Hidden pieces only count in a PSD; the switch stays checked but disabled for PNG.
        EXPECT_TRUE(Enabled(w, "Export_FullCanvas", C));
        EXPECT_FALSE(Enabled(w, "Export_Hidden", C));
        Click(ui, w, "Export_ToPSD", R);
        EXPECT_TRUE(Enabled(w, "Export_Hidden", C));
        EXPECT_FALSE(Enabled(w, "Export_FullCanvas", C));
        Click(ui, w, "Export_Hidden", C);
        EXPECT_EQ(w.Model().itemCount, 700u);
        EXPECT_NE(Text(w, "Export_Display").find("Result: 700 layers"), std::string::npos);
        Click(ui, w, "Export_NamingSimple", R);
        EXPECT_EQ(Text(w, "Export_NamingDisp"), "Layer 112");
        Click(ui, w, "Export_ToPNG", R);
        EXPECT_TRUE(Checked(w, "Export_Hidden", C));
        EXPECT_FALSE(Enabled(w, "Export_Hidden", C));
        EXPECT_EQ(w.Model().itemCount, 550u);
        // The merged image: one item, no names, no switches but the composite's.
        Click(ui, w, "Export_Merged", R);
        EXPECT_EQ(w.Model().itemCount, 1u);
        EXPECT_EQ(Text(w, "Export_NamingDisp"), "[file]");
        EXPECT_FALSE(Enabled(w, "Export_NamingSimple", R));
        EXPECT_FALSE(Enabled(w, "Export_WOBevel", C));
        Click(ui, w, "Export_All", R);
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "Export_Help", B);
        // 550 PNG files ask once; Cancel keeps the window open, OK ends it.
        host.answers = {0, 1};
        Click(ui, w, "Export_Export", B);
        EXPECT_EQ(host.questions.size(), 1u);
        Click(ui, w, "Export_Export", B);
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0], "You are about to save very many files (550)!|Please, make sure you know what you do...");
    EXPECT_EQ(w.Model().options.exportWhat, 3);
    EXPECT_EQ(w.Model().options.exportTo, 2);
    EXPECT_EQ(w.Model().options.namingMode, 1);
    EXPECT_EQ(w.Model().options.includeHidden, 1);
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Main>Export"}));
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));

    // Only hidden pieces as PNG: nothing to write; Export is disabled and Enter does nothing.
    CWnd_Export empty(&host);
    empty.Model().options.exportWhat = 3;
    empty.Model().options.exportTo = 2;
    empty.Model().counts = Pieces(4, 2, 2, 4);
    const int32_t none = RunWith(empty, [&] {
        EXPECT_FALSE(Enabled(empty, "Export_Export", B));
        EXPECT_EQ(Text(empty, "Export_NamingDisp"), " ---");
        EXPECT_NE(Text(empty, "Export_Display").find("Result:  --- "), std::string::npos);
        ui.Key(qwp::vk::Return);
        // The statistics and the example have hints of their own.
        const QWF_Rect r = Get(empty, "Export_Display", QWF_CTRL_STATIC_TEXT)->GetRect();
        ui.MoveTo(empty, r.left + 10, r.top + 10);
        dlgtest::Wait(ui, 600);
        EXPECT_EQ(Text(empty, "Export_Status"), "Export:Zone_Display:0:0");
        // A PSD of 101 layers with the box failing to show counts as confirmed.
        Click(ui, empty, "Export_ToPSD", R);
        Click(ui, empty, "Export_Hidden", C);
        EXPECT_EQ(empty.Model().itemCount, 4u);
        Click(ui, empty, "Export_Cancel", B);
        EXPECT_FALSE(empty.GetHWND()) << "Cancel did not end the dialog";
    });
    EXPECT_EQ(none, 0);
    CWnd_Export closed(&host);
    EXPECT_EQ(RunWith(closed, [&] {
        Click(ui, closed, "Export_CloseX", B);
        EXPECT_FALSE(closed.GetHWND()) << "the close box did not end the dialog";
    }), 0);
    EXPECT_EQ(host.saved.size(), 1u);

    CWnd_Export layers(&host);
    layers.Model().options.exportWhat = 3;
    layers.Model().options.exportTo = 1;
    layers.Model().counts = Pieces(600, 0, 0, 0);
    host.answers = {-1};
    EXPECT_EQ(RunWith(layers, [&] { ui.Key(qwp::vk::Return); }), 1);
    EXPECT_EQ(host.questions.back(), "You are about to save more than 100 layers!|An old versions of Adobe Photoshop and some over hosts,\nmay not open such PSD document.");
}

TEST_F(ExportPrefDialogs, ExportLMChoosesKnivesAndFileKind)
{
    constexpr uint8_t R = QWF_CTRL_RADIO, B = QWF_CTRL_BUTTON;
    CWnd_ExportLM w(&host);
    w.Model().counts.total = 10;
    w.Model().counts.selected = 3;
    w.Model().counts.selectedHidden = 2;
    w.Model().counts.hidden = 4;
    w.Model().counts.someSelected = true;
    const int32_t result = RunWith(w, [&] {
        EXPECT_TRUE(Checked(w, "ExportLM_Selected", R));
        EXPECT_TRUE(Checked(w, "ExportLM_ToEPS", R));
        EXPECT_NE(Text(w, "ExportLM_Display").find("Knives' Statistics:\n"), std::string::npos);
        EXPECT_NE(Text(w, "ExportLM_Display").find("Result: 1 knife"), std::string::npos);
        Click(ui, w, "ExportLM_All", R);
        EXPECT_NE(Text(w, "ExportLM_Display").find("Result: 6 knives"), std::string::npos);
        Click(ui, w, "ExportLM_ToAI", R);
        // The Help button's menu: its chosen item goes to the host.
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "ExportLM_Help", B);
        Click(ui, w, "ExportLM_Export", B);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(w.Model().options.exportWhat, 3);
    EXPECT_EQ(w.Model().options.exportTo, 2);
    EXPECT_EQ(w.Model().knifeCount, 6u);
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Main>ExportLM"}));
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));

    // Every knife hidden, none selected: all knives, nothing to write.
    CWnd_ExportLM hidden(&host);
    hidden.Model().counts.total = 5;
    hidden.Model().counts.hidden = 5;
    EXPECT_EQ(RunWith(hidden, [&] {
        EXPECT_TRUE(Checked(hidden, "ExportLM_All", R));
        EXPECT_FALSE(Enabled(hidden, "ExportLM_Selected", R));
        EXPECT_FALSE(Enabled(hidden, "ExportLM_Export", B));
        EXPECT_NE(Text(hidden, "ExportLM_Display").find("Result:  --- "), std::string::npos);
        ui.Key(qwp::vk::Return);
        Click(ui, hidden, "ExportLM_CloseX", B);
    }), 0);
}

TEST_F(ExportPrefDialogs, PreferencesEditColoursOpacityAndFitAndDrawTheirPreview)
{
    CWnd_Pref w(&host);
    ViewPreferences& v = w.Values();
    v.delKnifeOpacity = 51;
    v.alphaSolid = 1;
    v.alphaColorSolid = 0xFF0000FFu;   // red
    v.extAlphaColor1 = 0xFF00FF00u;    // green
    v.extAlphaColor2 = 0xFFFF0000u;    // blue
    v.onLoadZoom = 1;
    const int32_t result = RunWith(w, [&] {
        EXPECT_EQ(EditText(w, "Pref_DisOpacity"), "20");
        EXPECT_TRUE(Checked(w, "Pref_TSolid", QWF_CTRL_RADIO));
        EXPECT_TRUE(Checked(w, "Pref_FCB", QWF_CTRL_RADIO));
        EXPECT_TRUE(Checked(w, "Pref_FitOnLoad", QWF_CTRL_CHECKBOX));
        // The preview: the outside checkerboard in its frame, the solid transparency inside.
        qwtest::Picture p = ui.Pixels(w);
        QWF_Rect r;
        ASSERT_TRUE(w.LoadRect("Pref_Preview", r));
        const uint32_t a = p.At(r.left + 1, r.top + 1), b = p.At(r.left + 9, r.top + 1);
        EXPECT_TRUE((Near(a, 0x00FF00u) && Near(b, 0x0000FFu)) || (Near(a, 0x0000FFu) && Near(b, 0x00FF00u)));
        EXPECT_TRUE(Near(p.At(r.left + 1, r.top + 9), b));
        EXPECT_TRUE(Near(p.At((r.left + r.right) / 2, (r.top + r.bottom) / 2), 0xFF0000u));
        // Typed opacities are held to 10..50 percent.
        TypeInto(ui, w, "Pref_DisOpacity", "5");
        EXPECT_EQ(w.Values().delKnifeOpacity, 25);
        TypeInto(ui, w, "Pref_DisOpacity", "80");
        EXPECT_EQ(w.Values().delKnifeOpacity, 127);
        ui.Click(w, (r.left + r.right) / 2, (r.top + r.bottom) / 2);  // leaves the field
        EXPECT_EQ(EditText(w, "Pref_DisOpacity"), "50");
        // A new colour for the second transparency swatch switches to the checkerboard.
        host.colours = {0xFF00FFFFu};  // yellow
        ASSERT_TRUE(w.LoadRect("Pref_TCB2", r));
        ui.Click(w, r.left + 4, r.top + 4);
        EXPECT_EQ(host.picked, (std::vector<uint32_t>{0xFFFFFFFFu}));
        EXPECT_TRUE(Checked(w, "Pref_TCB", QWF_CTRL_RADIO));
        EXPECT_FALSE(Checked(w, "Pref_TSolid", QWF_CTRL_RADIO));
        p = ui.Pixels(w);
        EXPECT_TRUE(Near(p.At(r.left + 4, r.top + 4), 0xFFFF00u));
        ASSERT_TRUE(w.LoadRect("Pref_Preview", r));
        const int32_t cx = r.left + 24, cy = r.top + 24;  // inside the 22-pixel frame
        EXPECT_NE(Near(p.At(cx, cy), 0xFFFF00u), Near(p.At(cx + 8, cy), 0xFFFF00u));
        // A cancelled picker changes nothing; the hint names the swatch zone.
        ASSERT_TRUE(w.LoadRect("Pref_FSolid", r));
        ui.Click(w, r.left + 4, r.top + 4);
        EXPECT_TRUE(Checked(w, "Pref_FCB", QWF_CTRL_RADIO));
        dlgtest::Wait(ui, 600);
        EXPECT_EQ(std::string(static_cast<CQWF_CtrlStaticText*>(Get(w, "Pref_Status", QWF_CTRL_STATIC_TEXT))->GetText()),
                  "Preferences:Zone_SwatchFS:0:0");
        // Each swatch, from its first pixel to its last, takes the picked colour and checks its
        // own kind; the pixels around a swatch pick nothing.
        struct Pick {
            const char* swatch;
            bool last;  // its last column and row, else its first
            const char* kind;
        };
        const Pick picks[] = {{"Pref_TSolid", false, "Pref_TSolid"}, {"Pref_TCB1", true, "Pref_TCB"},
                              {"Pref_FSolid", true, "Pref_FSolid"},  {"Pref_FCB1", false, "Pref_FCB"},
                              {"Pref_FSolid", false, "Pref_FSolid"}, {"Pref_FCB2", true, "Pref_FCB"}};
        uint32_t colour = 0xFF000010u;
        for (const Pick& k : picks) {
            ASSERT_TRUE(w.LoadRect(k.swatch, r));
            host.colours = {++colour};
            ui.Click(w, k.last ? r.right - 1 : r.left, k.last ? r.bottom - 1 : r.top);
            EXPECT_TRUE(host.colours.empty()) << k.swatch;
            EXPECT_TRUE(Checked(w, k.kind, QWF_CTRL_RADIO)) << k.swatch;
        }
        const size_t asked = host.picked.size();
        for (const auto& [x, y] : {std::pair{r.left - 1, r.top}, {r.right, r.top}, {r.left, r.top - 1}, {r.left, r.bottom}})
            ui.Click(w, x, y);
        EXPECT_EQ(host.picked.size(), asked);
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "Pref_Help", QWF_CTRL_BUTTON);
        Click(ui, w, "Pref_FSolid", QWF_CTRL_RADIO);
        Click(ui, w, "Pref_FitOnLoad", QWF_CTRL_CHECKBOX);
        // One Enter in the field confirms.
        Click(ui, w, "Pref_DisOpacity", QWF_CTRL_EDIT);
        ui.Key(qwp::vk::Return);
        EXPECT_FALSE(w.GetHWND()) << "one Enter did not end the dialog";
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(v.alphaSolid, 0);
    EXPECT_EQ(v.extAlphaSolid, 1);
    EXPECT_EQ(v.alphaColor2, 0xFF00FFFFu);
    EXPECT_EQ(std::vector<uint32_t>({v.alphaColorSolid, v.alphaColor1, v.extAlphaColor1, v.extAlphaColorSolid,
                                     v.extAlphaColor2}),
              std::vector<uint32_t>({0xFF000011u, 0xFF000012u, 0xFF000014u, 0xFF000015u, 0xFF000016u}));
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));
    EXPECT_EQ(v.delKnifeOpacity, 127);
    EXPECT_EQ(v.onLoadZoom, 0);
    EXPECT_TRUE(host.saved.empty());  // the preferences window always opens centred

    CWnd_Pref cancelled(&host);
    EXPECT_EQ(RunWith(cancelled, [&] { ui.Key(qwp::vk::Escape); }), 0);
}
