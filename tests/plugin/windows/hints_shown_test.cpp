// Every hint of the hint table shown whole in the status area of its window: each window of the
// compiled skin package with its own status control and the status line the windows use, every
// text the table gives for the window's controls and zones (in every state and kind) put in, and
// the text as the status line lays it out drawn again without the area's clipping: no ink may
// fall outside the area. Photographed with the longest hint, headless and under X11.
#include "framework/imaging/qwf_textlayer.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_paths.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/status_line.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string PackagePath()
{
    return qwp::ToWindowsPath((qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str());
}

struct HintedWindow {
    const char* skin;        // the skin window
    const char* status;      // its status control
    const char* hintWindow;  // the window name the hint table knows it by
};

const HintedWindow kWindows[] = {
    {"Main", "Main_Status", "Main"},
    {"Cutter", "Cutter_Status", "Cutter"},
    {"Pref", "Pref_Status", "Preferences"},
    {"Export", "Export_Status", "Export"},
    {"ExportLM", "ExportLM_Status", "ExportLM"},
    {"AutoLayout", "AutoLayout_Status", "AutoLayout"},
    {"PresMng", "PresMng_Status", "PresetsManager"},
    {"ChannelList", "ChannelList_Status", "ChannelsList"},
    {"Layers", "Layers_Status", "Layers"},
    {"FXbc", "FXbc_Status", "Effect"},
    {"FXbevel", "FXbevel_Status", "Effect"},
    {"FXblur", "FXblur_Status", "Effect"},
    {"FXcovr", "FXcovr_Status", "Effect"},
    {"FXhsl", "FXhsl_Status", "Effect"},
    {"FXiovr", "FXiovr_Status", "Effect"},
    {"FXmblur", "FXmblur_Status", "Effect"},
    {"FXopac", "FXopac_Status", "Effect"},
    {"FXstroke", "FXstroke_Status", "Effect"},
};

// The zones the windows name besides their controls.
const char* const kZones[] = {"",
                              "Zone_Preview",
                              "Zone_HSplitter",
                              "Zone_VSplitter",
                              "Zone_Status",
                              "Zone_Display",
                              "Zone_DisplayNaming",
                              "Zone_Bevel_3DLight",
                              "Zone_Bevel_HLSwatch",
                              "Zone_Bevel_SHSwatch",
                              "Zone_SwatchT",
                              "Zone_SwatchF",
                              "Zone_SwatchTS",
                              "Zone_SwatchFS"};

// The controls of a window's skin source: the statement's word gives the kind, the next word
// the name.
std::vector<std::pair<std::string, uint8_t>> SkinControls(const char* skin)
{
    static const std::map<std::string, uint8_t> kinds = {
        {"slider", QWF_CTRL_SLIDER}, {"image", QWF_CTRL_STATIC_IMAGE}, {"text", QWF_CTRL_STATIC_TEXT},
        {"progress", QWF_CTRL_PROGRESS}, {"button", QWF_CTRL_BUTTON}, {"radio", QWF_CTRL_RADIO},
        {"check", QWF_CTRL_CHECKBOX}, {"edit", QWF_CTRL_EDIT}, {"scrollbar", QWF_CTRL_SCROLLBAR},
        {"list", QWF_CTRL_LIST}, {"rect", 0}};
    std::string source;
    EXPECT_TRUE(qwtest::ReadWholeFile(qwtest::SourceDir() + "/skin/windows/" + skin + ".skin", source)) << skin;
    std::vector<std::pair<std::string, uint8_t>> out;
    std::istringstream lines(source);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, name;
        words >> word >> name;
        auto it = kinds.find(word);
        if (it != kinds.end() && name.find('_') != std::string::npos) out.emplace_back(name, it->second);
    }
    return out;
}

// Every text the table gives for the window.
std::vector<std::string> HintsOf(const HintedWindow& w)
{
    std::set<std::string> texts;
    std::vector<std::pair<std::string, uint8_t>> keys = SkinControls(w.skin);
    for (const char* zone : kZones)
        for (uint8_t kind : {0, 128, 255}) keys.emplace_back(zone, kind);
    for (const auto& [name, kind] : keys)
        for (uint8_t state = 0; state <= 5; ++state)
            texts.insert(CApp::GetHintText(name.c_str(), w.hintWindow, state, kind).GetBuffer());
    return {texts.begin(), texts.end()};
}

// The window's face with the controls of its skin at rest, and its status control with the
// status line the windows attach to it.
class StatusProbe : public CQWF_Window {
public:
    explicit StatusProbe(const HintedWindow& w) : m_window(w) {}
    bool OnCreate(CQWF_LayerSet*, uint16_t, uint16_t) override
    {
        if (LoadFont("Info Font") < 0 || LoadFont("Edit Font") < 0) return false;
        for (const auto& [name, kind] : SkinControls(m_window.skin)) {
            // What shows only while a cut runs stays out, as in the window.
            if (!kind || name == m_window.status || name.find("_Cutting") != std::string::npos) continue;
            const int32_t i = AddControl(name.c_str(), kind);
            if (kind == QWF_CTRL_EDIT && i >= 0)
                static_cast<CQWF_CtrlEditLine*>(GetControl(i))->SetFont(GetFont(1));
            if (kind == QWF_CTRL_STATIC_TEXT && i >= 0)
                static_cast<CQWF_CtrlStaticText*>(GetControl(i))->SetTextFont(GetFont(0));
        }
        m_index = AddControl(m_window.status, QWF_CTRL_STATIC_TEXT);
        if (m_index < 0) return false;
        Text()->SetTextFont(GetFont(0));
        m_line.Attach(Text());
        return true;
    }
    CQWF_CtrlStaticText* Text() { return static_cast<CQWF_CtrlStaticText*>(GetControl(m_index)); }
    CStatusLine& Line() { return m_line; }

private:
    const HintedWindow& m_window;
    int32_t m_index = -1;
    CStatusLine m_line;
};

// Where the status text's ink lies when it is drawn without the area's clipping, in the area's
// coordinates; false without ink.
bool InkBox(CQWF_Font* font, const char* text, QWF_Rect& box)
{
    CQWF_TextLayer big;
    if (!big.Create(0, 0, 1, 2000, 400)) return false;
    big.m_font = font;
    if (!big.SetText(text, 0, CStatusLine::kLineHeight, CStatusLine::kTextX, CStatusLine::kTextY)) return false;
    const uint8_t* alpha = big.GetPlane(3);
    bool any = false;
    box = {2000, 400, 0, 0};
    for (int32_t y = 0; y < 400; ++y)
        for (int32_t x = 0; x < 2000; ++x)
            if (alpha[static_cast<size_t>(y) * 2000 + x]) {
                any = true;
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return any;
}

template <typename Ui> void EveryHintWhole(Ui& ui, const char* shots)
{
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    for (const HintedWindow& w : kWindows) {
        SCOPED_TRACE(w.skin);
        StatusProbe probe(w);
        ASSERT_TRUE(probe.CreateFromSkin(w.skin, 20, 20, nullptr, 0));
        probe.Show();
        ui.Pump();
        CQWF_CtrlStaticText* status = probe.Text();
        const QWF_Rect area = status->GetRect();
        const int32_t width = area.right - area.left, height = area.bottom - area.top;
        std::string longest;
        int32_t most = -1;
        for (const std::string& hint : HintsOf(w)) {
            probe.Line().ShowNow(hint.c_str());
            const char* shown = status->GetText();
            QWF_Rect ink;
            if (!InkBox(probe.GetFont(0), shown, ink)) continue;
            EXPECT_TRUE(ink.left >= 0 && ink.top >= 0 && ink.right <= width && ink.bottom <= height)
                << "\"" << hint << "\" shown as \"" << shown << "\" has ink in " << ink.left << "," << ink.top
                << " to " << ink.right << "," << ink.bottom << " of an area of " << width << " x " << height;
            const int32_t extent = ink.bottom * 10000 + ink.right;
            if (extent > most) {
                most = extent;
                longest = hint;
            }
        }
        probe.Line().ShowNow(longest.c_str());
        ui.Pump();
        EXPECT_TRUE(ui.Screenshot(probe, std::string(shots) + w.skin));
        probe.Close();
        ui.Pump();
    }
}

}  // namespace

TEST(HintsShown, EveryHintFitsTheStatusAreaOfItsWindow)
{
    qwtest::HeadlessUi ui;
    EveryHintWhole(ui, "hint_longest_");
}

TEST(HintsShown, UnderX11)
{
    qwtest::X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    EveryHintWhole(ui, "hint_longest_x11_");
}

// The status line fades: the old text out by 65 a tick, the new one put in at 0 and in by 40 a
// tick up to 255. A progress line shown at once over a fade, out or in, stands whole at once.
TEST(HintsShown, StatusLineFadesOutAndInAndProgressStandsWhole)
{
    qwtest::HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    StatusProbe probe(kWindows[0]);
    ASSERT_TRUE(probe.CreateFromSkin(kWindows[0].skin, 20, 20, nullptr, 0));
    CStatusLine& line = probe.Line();
    CQWF_CtrlStaticText* text = probe.Text();
    const struct {
        int opacity;
        const char* shown;
    } kTicks[] = {{190, "Old"}, {125, "Old"}, {60, "Old"}, {0, "New"}, {40, "New"}, {80, "New"},
                  {120, "New"}, {160, "New"}, {200, "New"}, {240, "New"}, {255, "New"}};
    for (int stop = 0; stop <= 11; ++stop) {
        SCOPED_TRACE(stop);
        line.ShowNow("Old");
        line.SetText("New");
        for (int t = 0; t < stop && t < 11; ++t) {
            line.Tick();
            EXPECT_EQ(text->GetOpacity(), kTicks[t].opacity) << "tick " << t + 1;
            EXPECT_STREQ(text->GetText(), kTicks[t].shown) << "tick " << t + 1;
        }
        EXPECT_EQ(line.GetState() == CStatusLine::kStill, stop == 11);
        line.ShowNow("Rendering is in progress: 40%\t");
        EXPECT_EQ(line.GetState(), CStatusLine::kStill);
        EXPECT_EQ(text->GetOpacity(), 255);
        EXPECT_STREQ(text->GetText(), "Rendering is in progress: 40%\t");
    }
    // A line with a tab (the progress form) is shown as it is, however long.
    std::string bars = "Rendering is in progress: 40%\t";
    for (int i = 0; i < 100; ++i) bars += "II ";
    line.ShowNow(bars.c_str());
    EXPECT_EQ(text->GetText(), bars);
    probe.Close();
    ui.Pump();
}
