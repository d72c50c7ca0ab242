// The filter's application object: hint texts of every window, the Help menu built from the
// skin package's links, the message box and the About window run headless from the compiled
// skin, and the About selector's run with and without the skin package.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_popupmenu.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/message_box.h"
#include "platform/qw_paths.h"
#include "platform/qw_shell.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"

namespace {

std::string PackagePath()
{
    return qwp::ToWindowsPath((qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str());
}

std::string Hint(const char* control, const char* window, uint8_t mode, uint8_t kind)
{
    return CApp::GetHintText(control, window, mode, kind).GetBuffer();
}

// --- hint texts ---

struct WindowKeys {
    const char* window;
    uint8_t mode;
    std::vector<const char*> keys;
};

// Every key each window lists, with the state byte the window passes while they are live.
const std::vector<WindowKeys>& ListedKeys()
{
    static const std::vector<WindowKeys> keys = {
        {"ChannelsList", 1, {"ChannelList_Help", "ChannelList_CloseX", "ChannelList_Cancel", "ChannelList_Ok",
                             "ChannelList_Invert", "Zone_Preview", "ChannelList_List", "ChannelList_SelNew",
                             "ChannelList_SelAdd", "ChannelList_SelSub", "ChannelList_SelInter"}},
        {"ChannelsList", 0, {"ChannelList_SelNew", "ChannelList_SelAdd", "ChannelList_SelSub",
                             "ChannelList_SelInter"}},
        {"Effect", 0, {"FXbevel_HLOpacity", "FXbevel_SHOpacity", "FXBevel_LightThumb", "Zone_Bevel_3DLight",
                       "Zone_Bevel_HLSwatch", "Zone_Bevel_SHSwatch", "FXcovr_Color1", "FXcovr_Color2",
                       "FXcovr_AColor", "FXstroke_Color2", "FXstroke_AColor", "FXmblur_Dir1",
                       "FXmblur_Dir2", "FXiovr_ChooseImage", "FXbc_CloseX", "FXbc_Help", "FXbc_Cancel",
                       "FXbc_Ok", "FXbc_Reset", "FXbc_Preview", "FXbc_AAdjust", "FXbc_Object",
                       "FXbc_Object2", "FXbc_ARND"}},
        {"AutoLayout", 0, {"AutoLayout_CloseX", "AutoLayout_Help", "AutoLayout_Ok", "AutoLayout_Cancel",
                           "AutoLayout_Tri", "AutoLayout_Hex", "AutoLayout_Regular", "AutoLayout_Rows",
                           "AutoLayout_Cols"}},
        {"PresetsManager", 0, {"PresMng_CloseX", "PresMng_Help", "PresMng_Done", "PresMng_SaveSet",
                               "PresMng_ReplaceSet", "PresMng_LoadSet", "PresMng_LoadShape", "PresMng_RenShape",
                               "PresMng_DelShape", "PresMng_Sort", "PresMng_Sico", "PresMng_Lico",
                               "PresMng_List", "PresMng_BigIcoBg", "PresMng_SmallIcoBg", "PresMng_ToCutter",
                               "PresMng_ToCutterClose"}},
        {"Preferences", 0, {"Pref_CloseX", "Pref_Help", "Pref_Cancel", "Pref_Ok", "Pref_FCB", "Pref_FSolid",
                            "Pref_TCB", "Pref_TSolid", "Pref_FitOnLoad", "Pref_DisOpacity", "Zone_SwatchT",
                            "Zone_SwatchF", "Zone_SwatchTS", "Zone_SwatchFS", "Zone_Preview"}},
        {"Export", 0, {"Export_Help", "Export_CloseX", "Export_Export", "Export_Cancel", "Export_Merged",
                       "Export_Selected", "Export_All", "Export_ToPSD", "Export_Hidden", "Export_ToPNG",
                       "Export_FullCanvas", "Export_NamingSimple", "Export_NamingExtended", "Export_WOBevel",
                       "Zone_Display", "Zone_DisplayNaming"}},
        {"ExportLM", 0, {"ExportLM_Help", "ExportLM_CloseX", "ExportLM_Cancel", "ExportLM_All",
                         "ExportLM_Selected", "ExportLM_ToEPS", "ExportLM_ToAI", "ExportLM_Export"}},
        {"Main", 3, {"Main_CloseX", "Main_Cancel", "Main_Help", "Main_Ruler", "Zone_Status", "Main_Zoom",
                     "Main_Navigator", "Main_Main", "Main_Select", "Main_Adjust", "Main_Export", "Main_Apply",
                     "Main_HideExtras", "Main_ShowExtras", "Main_Relayout", "Main_Show", "Main_Hide",
                     "Main_RevShowHide", "Zone_Preview", "Zone_HSplitter", "Zone_VSplitter", "Main_FXBevel",
                     "Main_FXHSL", "Main_FXBC", "Main_FXBlur", "Main_FXMBlur", "Main_FXOpacity",
                     "Main_FXCOver", "Main_FXIOver", "Main_FXStroke"}},
        {"Main", 2, {"Main_CloseX", "Main_Cancel", "Main_Help", "Main_Ruler", "Zone_Status", "Main_Zoom",
                     "Main_Navigator", "Main_Main", "Main_Select", "Main_Export", "Main_Show", "Main_Hide",
                     "Main_RevShowHide", "Zone_Preview", "Zone_HSplitter", "Zone_VSplitter",
                     "Main_ResetKnots", "Main_RndKnots", "Main_AddKnives", "Main_DelKnives", "Main_ApplyLM"}},
        {"Cutter", 1, {"Cutter_CloseX", "Cutter_Help", "Cutter_Cancel", "Cutter_Reset", "Cutter_Cut",
                       "Zone_Preview", "Cutter_FlipH", "Cutter_FlipU", "Cutter_Undo", "Cutter_Redo",
                       "Cutter_1x1", "Cutter_1x2", "Cutter_1x4", "Cutter_Smoothness", "Cutter_Save",
                       "Cutter_Load", "Cutter_Presets", "Cutter_AddToPM", "Cutter_Clone", "Cutter_ReClone",
                       "Cutter_CloneDisp", "Cutter_Rows", "Cutter_Columns", "Cutter_LinkRC",
                       "Cutter_AutoLayout", "Cutter_TipsSize", "Cutter_KnifeTh", "Cutter_RazorCut",
                       "Cutter_AntiAliasing"}},
    };
    return keys;
}

TEST(HintTexts, EveryListedKeyHasATextOfItsOwn)
{
    const std::string ready = "\nReady...";
    for (const WindowKeys& w : ListedKeys()) {
        const std::string description = Hint("No_Such_Control", w.window, w.mode, 0);
        EXPECT_NE(description, ready) << w.window;
        std::map<std::string, std::string> owner;
        for (const char* key : w.keys) {
            const std::string text = Hint(key, w.window, w.mode, QWF_CTRL_BUTTON);
            SCOPED_TRACE(std::string(w.window) + " " + key);
            EXPECT_FALSE(text.empty());
            EXPECT_NE(text, ready);
            EXPECT_NE(text, description);
            // Only the Help buttons share their text.
            if (std::string(key).find("_Help") != std::string::npos) continue;
            auto [it, fresh] = owner.emplace(text, key);
            EXPECT_TRUE(fresh) << "the same text as " << it->second;
            // Texts are Windows-1252 lines without control characters but the line break.
            for (unsigned char c : text) EXPECT_TRUE(c >= 32 || c == '\n') << int(c);
        }
    }
    // The two ruler covers answer with the ruler.
    EXPECT_EQ(Hint("Main_RulerCover_Top", "Main", 3, 2), Hint("Main_Ruler", "Main", 3, 2));
    EXPECT_EQ(Hint("Main_RulerCover_Left", "Main", 2, 2), Hint("Main_Ruler", "Main", 3, 2));
    // The stroke's first colour shares the overlay's.
    EXPECT_EQ(Hint("FXstroke_Color1", "Effect", 0, 5), Hint("FXcovr_Color1", "Effect", 0, 5));
}

TEST(HintTexts, LookupRules)
{
    EXPECT_EQ(Hint("main_apply", "MAIN", 3, 5),
              "Click to apply the plug-in and obtain the created puzzle pieces as a flattened layer "
              "inside your host. The plug-in closes.");
    EXPECT_EQ(Hint("Main_Apply", "Main", 7, 5), " The Main window of Quarrow. Jigcrafter 3.0.");
    EXPECT_EQ(Hint("Anything", "Somewhere", 0, 0), "\nReady...");
    EXPECT_EQ(Hint("FXbevel_HLOpacity", "Effect", 0, QWF_CTRL_EDIT),
              "Click and enter the desired value of the parameter.\nTo confirm, press Enter. To cancel, "
              "press Esc.");
    EXPECT_EQ(Hint("FXhsl_Help", "effect", 0, 5), "Click for Help, On-line User Guide, About, etc.");
    EXPECT_EQ(Hint("ChannelList_SelAdd", "ChannelsList", 1, 5),
              "Click to use the content of the picked channel as a map for selecting knives. On \nthat "
              "action the selected knives will be added to the existing selection.");
    std::string pieces = Hint("ChannelList_SelAdd", "ChannelsList", 1, 5);
    for (size_t at; (at = pieces.find("knives")) != std::string::npos;) pieces.replace(at, 6, "pieces");
    EXPECT_EQ(Hint("ChannelList_SelAdd", "ChannelsList", 0, 5), pieces);
    // The Cutter's thickness: enabled and disabled wording, the latter with an en dash.
    EXPECT_EQ(Hint("Cutter_KnifeTh", "Cutter", 0, 1),
              "Adjusts the thickness of the selected knife or a group of knives. \nTo enable \x96 "
              "deselect the Razor Cut check box.");
    EXPECT_NE(Hint("Cutter_KnifeTh", "Cutter", 1, 1), Hint("Cutter_KnifeTh", "Cutter", 0, 1));
    EXPECT_NE(Hint("Cutter_Smoothness", "Cutter", 1, 1), Hint("Cutter_Smoothness", "Cutter", 0, 1));
    // The randomness control of Layout mode answers by kind; a Puzzle-mode key in Layout mode
    // gives the window's description.
    EXPECT_EQ(Hint("Main_RndKnots", "Main", 2, QWF_CTRL_SLIDER),
              "Drag the slider to specify the level of knots' position randomization.");
    EXPECT_NE(Hint("Main_RndKnots", "Main", 5, QWF_CTRL_BUTTON), Hint("Main_RndKnots", "Main", 5, QWF_CTRL_EDIT));
    EXPECT_EQ(Hint("Main_Apply", "Main", 2, 5), " The Main window of Quarrow. Jigcrafter 3.0.");
    EXPECT_EQ(Hint("Main_Ruler", "Main", 3, QWF_CTRL_BUTTON), "Click the button for menu");
}

// --- the Help menu ---

// An application whose package holds only the "InfoM" text given.
class HelpLinks : public ::testing::Test {
protected:
    void Load(const std::string& text)
    {
        qwtest::SkinBuilder skin;
        skin.Blob("InfoM", qwtest::SkinBuilder::Pack(std::vector<uint8_t>(text.begin(), text.end())));
        ASSERT_TRUE(skin.LoadInto(app));
        app.LoadHelpLinks();
    }
    // The menu as "caption=id" items ("-" for a separator).
    std::vector<std::string> Menu()
    {
        CQWF_PlatformPopupMenu menu;
        menu.Create();
        app.BuildHelpMenu(menu);
        std::vector<std::string> out;
        for (size_t i = 0; i < menu.GetItemCount(); ++i) {
            const uint16_t id = menu.GetCommand(i);
            out.push_back(id == QWF_MENU_SEPARATOR ? "-"
                                                   : std::string(menu.GetCaption(i).GetBuffer()) + "=" +
                                                         std::to_string(id));
        }
        return out;
    }
    size_t Links() const { return app.GetHelpLinks().GetCount() / 2; }

    CApp app;
};

// The same with a plug-in in FOLDER and a recording shell opener, put back when the test ends
// (also after a failed assertion).
class HelpLinksOpened : public HelpLinks {
protected:
    void SetUp() override { previous = qwp::SetShellOpener(&opener); }
    void TearDown() override { qwp::SetShellOpener(previous); }
    void InFolder(const char* folder)
    {
        plugin.GetPluginFolder() = folder;
        app.SetPlugin(&plugin);
    }

    qwp::RecordingShellOpener opener;
    qwp::ShellOpener* previous = nullptr;
    CPluginMain plugin;
};

TEST_F(HelpLinksOpened, MenuAndCommands)
{
    InFolder("Z:\\opt\\Plug Ins\\");
    Load("{|Home|}{|https://x.example/|}{|---|}{|Forum|}{|mailto:y@x.example|}{|Guide|}{|Help Doc.pdf#Keys|}");
    EXPECT_EQ(Menu(), (std::vector<std::string>{"Help...=2", "-", "Home=5", "-", "Forum=7", "Guide=8", "-",
                                                "About Plug-in...=1"}));
    EXPECT_TRUE(app.OnHelpCommand(7, nullptr));
    EXPECT_TRUE(app.OnHelpCommand(8, nullptr));
    // A link without a scheme is a document of the plug-in folder, its place kept.
    ASSERT_EQ(opener.targets.size(), 2u);
    EXPECT_EQ(opener.targets[0], "mailto:y@x.example");
    EXPECT_EQ(opener.targets[1].rfind("file://", 0), 0u) << opener.targets[1];
    EXPECT_NE(opener.targets[1].find("/Plug%20Ins/Help%20Doc.pdf#Keys"), std::string::npos) << opener.targets[1];
    // Commands beyond the links, on a separator or outside the menu's range do nothing.
    EXPECT_FALSE(app.OnHelpCommand(9, nullptr));
    EXPECT_FALSE(app.OnHelpCommand(6, nullptr));
    EXPECT_FALSE(app.OnHelpCommand(14, nullptr));
    EXPECT_FALSE(app.OnHelpCommand(3, nullptr));
    EXPECT_EQ(opener.targets.size(), 2u);
    // No opener to start, or one that refuses the document a while later (no program for it),
    // shows the message.
    opener.result = false;
    qwtest::HeadlessUi ui(&app);
    EXPECT_TRUE(app.OnHelpCommand(5, nullptr));
    opener.result = true;
    opener.answer = qwp::ShellAnswer::Refused;
    opener.answerAfter = 300;
    EXPECT_TRUE(app.OnHelpCommand(2, nullptr));
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), 2u);
    EXPECT_EQ(ui.Ws().MessageBoxes()[0].request.text, "Cannot show URL.");
    EXPECT_EQ(ui.Ws().MessageBoxes()[1].request.text, "Cannot show \"Quarrow. Jigcrafter 3.0 Help.pdf\" file.");
    EXPECT_EQ(ui.Ws().MessageBoxes()[1].request.caption, "Error!");
}

// A link keeps its scheme (two or more letters, digits, "+", "-" or ".", a letter first, then a
// colon); anything else names a document of the plug-in folder.
TEST_F(HelpLinksOpened, SchemesAndDocuments)
{
    InFolder("Z:\\p\\");
    // Ten links: the last one is the menu's last command.
    const std::pair<std::string, bool> links[] = {{"az:1", true}, {"ZA:1", true},  {"z0+9-.:1", true}, {"C:1", false},
                                                  {"9a:1", false}, {"+a:1", false}, {"a_b:1", false},   {"ab", false},
                                                  {"b.:1", true},  {"b.c", false}};
    std::string text;
    for (const auto& [link, scheme] : links) text += "{|L|}{|" + link + "|}";
    Load(text);
    for (size_t k = 0; k < std::size(links); ++k) {
        ASSERT_TRUE(app.OnHelpCommand(static_cast<uint16_t>(5 + k), nullptr));
        ASSERT_EQ(opener.targets.size(), k + 1);
        EXPECT_EQ(opener.targets[k] == links[k].first, links[k].second) << opener.targets[k];
    }
}

TEST_F(HelpLinksOpened, DamagedLists)
{
    // Unequal markers: no links at all.
    Load("{|A|}{|a:1|}{|B|}{|b:2");
    EXPECT_EQ(Links(), 0u);
    EXPECT_EQ(Menu(), (std::vector<std::string>{"Help...=2", "-", "-", "About Plug-in...=1"}));
    // Not packed, or missing: no links.
    qwtest::SkinBuilder raw;
    raw.Blob("InfoM", {'{', '|', 'A', '|', '}'});
    ASSERT_TRUE(raw.LoadInto(app));
    app.LoadHelpLinks();
    EXPECT_EQ(Links(), 0u);
    // A caption without its link ends the walk.
    Load("{|A|}{|a:1|}{|B|}");
    EXPECT_EQ(Links(), 1u);
    // A closing before its opening ends the walk, as does an opening inside the segment before.
    Load("{|A|}{|a:1|}|}{|B|}{|");
    EXPECT_EQ(Links(), 1u);
    Load("{|A|}{|a:1|}{|B{|b:2|}|}");
    EXPECT_EQ(Links(), 1u);
    // Twenty-one segments: the 21st is not looked for; ten links reach the menu.
    std::string many;
    for (int i = 0; i < 11; ++i) many += "{|L" + std::to_string(i) + "|}{|x:" + std::to_string(i) + "|}";
    Load(many);
    EXPECT_EQ(Links(), 10u);
    // Separators count as links: the menu offers only what its commands reach.
    Load("{|---|}{|---|}{|---|}{|---|}{|---|}{|---|}{|---|}{|---|}{|---|}{|---|}{|---|}{|Z|}{|z:1|}");
    EXPECT_EQ(Links(), 12u);
    for (const std::string& item : Menu()) EXPECT_EQ(item.find("Z="), std::string::npos);
    EXPECT_FALSE(app.OnHelpCommand(QW_HELP_LAST_LINK, nullptr) || app.OnHelpCommand(QW_HELP_LAST_LINK + 2, nullptr));
    EXPECT_TRUE(opener.targets.empty());
}

// --- the message box and the About window, headless from the compiled skin ---

class SkinWindows : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)); }
    // Runs a box, acting once it waits.
    int32_t Run(uint8_t left, uint8_t right, std::function<void(CWnd_MessageBox&)> act,
                const char* header = "Pieces Layout Has Changed", const char* text = "Do you want to reset effects?")
    {
        CWnd_MessageBox box;
        box.SetMessage(header, text, left, right);
        EXPECT_TRUE(box.CreateFromSkin("MessageBox", -32000, -32000, nullptr, 0)) << box.GetError();
        ui.Ws().PushIdleAction([&] { act(box); });
        return box.RunModal();
    }
    bool Shown(CWnd_MessageBox& box, const char* name)
    {
        CQWF_Control* c = box.GetControl(box.FindControl(name));
        return c && c->IsEnabled();
    }
    qwtest::HeadlessUi ui;
};

TEST_F(SkinWindows, MessageBoxButtons)
{
    // The defaults show Cancel alone.
    EXPECT_EQ(Run(0, 4, [&](CWnd_MessageBox& b) {
        EXPECT_FALSE(Shown(b, "MessageBox_OKl") || Shown(b, "MessageBox_YESl") || Shown(b, "MessageBox_OKr") ||
                     Shown(b, "MessageBox_YESr") || Shown(b, "MessageBox_NO"));
        EXPECT_TRUE(Shown(b, "MessageBox_CANCEL"));
        // Enter and Escape leave it open; the hidden OK at the left is not hit.
        ui.Key(qwp::vk::Return);
        ui.Key(qwp::vk::Escape);
        EXPECT_TRUE(b.GetHWND());
        ui.ClickControl(b, "MessageBox_OKl");
        EXPECT_TRUE(b.GetHWND());
        ui.ClickControl(b, "MessageBox_CANCEL");
    }), 0);
    EXPECT_EQ(Run(1, 4, [&](CWnd_MessageBox& b) {
        EXPECT_TRUE(Shown(b, "MessageBox_OKl") && Shown(b, "MessageBox_CANCEL"));
        ui.ClickControl(b, "MessageBox_OKl");
    }), 1);
    EXPECT_EQ(Run(2, 3, [&](CWnd_MessageBox& b) { ui.ClickControl(b, "MessageBox_NO"); }), 0);
    EXPECT_EQ(Run(2, 3, [&](CWnd_MessageBox& b) { ui.ClickControl(b, "MessageBox_YESl"); }), 1);
    EXPECT_EQ(Run(0, 2, [&](CWnd_MessageBox& b) { ui.ClickControl(b, "MessageBox_YESr"); }), 1);
    // The close box ends any box with 0.
    EXPECT_EQ(Run(1, 1, [&](CWnd_MessageBox& b) {
        EXPECT_TRUE(Shown(b, "MessageBox_OKr"));
        ui.ClickControl(b, "MessageBox_CloseX");
    }), 0);
    // A box without buttons still ends: Escape gives 0.
    EXPECT_EQ(Run(0, 5, [&](CWnd_MessageBox& b) {
        for (const char* n : {"MessageBox_OKl", "MessageBox_OKr", "MessageBox_YESl", "MessageBox_YESr",
                              "MessageBox_NO", "MessageBox_CANCEL"})
            EXPECT_FALSE(Shown(b, n)) << n;
        ui.Key(qwp::vk::Return);
        EXPECT_TRUE(b.GetHWND());
        ui.Key(qwp::vk::Escape);
    }), 0);
    // A header wider than its box still opens, and Ask answers as the box does.
    const std::string wide(200, 'W');
    EXPECT_EQ(Run(1, 0, [&](CWnd_MessageBox& b) { ui.ClickControl(b, "MessageBox_OKl"); }, wide.c_str(), "x"), 1);
    ui.Ws().PushIdleAction([&] { ui.Key(qwp::vk::Escape); });
    EXPECT_EQ(CWnd_MessageBox::Ask(nullptr, "Header", "Text", 0, 0), 0);
}

TEST_F(SkinWindows, AboutClosesOnAnyPressOrKey)
{
    CApp& app = static_cast<CApp&>(ui.App());
    (void)app;
    for (int how = 0; how < 3; ++how) {
        CWnd_About about;
        ASSERT_TRUE(about.CreateFromSkin("About", -32000, -32000, nullptr, 0)) << about.GetError();
        ui.Ws().PushIdleAction([&] {
            if (how == 0) ui.Click(about, 200, 100);
            if (how == 1) ui.Click(about, 5, 5, 1);
            if (how == 2) ui.Key('Q');
        });
        EXPECT_EQ(about.RunModal(), 0) << how;
        EXPECT_FALSE(about.GetHWND());
    }
}

// --- the About selector ---

TEST(AboutSelector, RunsTheAboutWindowOrReportsTheMissingSkin)
{
    RegisterFilterApp();
    qwtest::HeadlessUi ui;
    CPluginMain plugin;
    intptr_t data = 0;
    int16_t result = 7;
    plugin.SetHostPointers(nullptr, &data, &result);
    // The About window of the application shows; a click ends it and the call succeeds.
    plugin.GetPluginFolder() = qwp::ToWindowsPath((qwtest::BinaryDir() + "/bin/").c_str()).c_str();
    bool seen = false;
    ui.Ws().PushIdleAction([&] {
        auto* app = static_cast<CApp*>(CQWF_App::GetApp());
        ASSERT_NE(app, &ui.App());
        CWnd_About& about = app->GetAboutWindow();
        seen = about.GetHWND() != 0 && app->GetMainWindow() == &about && about.GetPlugin() == &plugin;
        ui.Click(about, 100, 100);
    });
    plugin.DoAbout();
    EXPECT_TRUE(seen);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(CQWF_App::GetApp(), &ui.App());
    EXPECT_TRUE(ui.Ws().MessageBoxes().empty());
    // Without the skin package: the message, and the call ends cancelled.
    qwtest::TempDir empty;
    plugin.GetPluginFolder() = qwp::ToWindowsPath((empty.Path() + "/").c_str()).c_str();
    plugin.DoAbout();
    EXPECT_EQ(result, -128);
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.Ws().MessageBoxes()[0].request.caption, "Quarrow. Jigcrafter 3.0 Error");
    EXPECT_EQ(ui.Ws().MessageBoxes()[0].request.text,
              "Cannot load the resource file.\nPlease, try to reinstall plug-in and if the problem persists, "
              "contact Quarrow.");
    plugin.SetHostPointers(nullptr, nullptr, nullptr);
}

// --- screenshots under X11 ---

TEST(SkinWindowsX11, AboutAndMessageBoxScreenshots)
{
    qwtest::X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    CWnd_About about;
    ASSERT_TRUE(about.CreateFromSkin("About", -32000, -32000, nullptr, 0));
    about.Show();
    ui.Pump();
    EXPECT_TRUE(ui.Screenshot(about, "filter_about"));
    ui.Click(about, 200, 120);
    EXPECT_FALSE(about.GetHWND());

    CWnd_MessageBox box;
    box.SetMessage("Pieces Layout Has Changed", "Do you want to reset effects?", 2, 3);
    ASSERT_TRUE(box.CreateFromSkin("MessageBox", -32000, -32000, nullptr, 0));
    box.Show();
    ui.Pump();
    EXPECT_TRUE(ui.Screenshot(box, "filter_message_box_yes_no"));
    box.Close();
    CWnd_MessageBox two;
    two.SetMessage("Export", "You are about to write 1200 files.\nDo you want to continue?", 1, 4);
    ASSERT_TRUE(two.CreateFromSkin("MessageBox", -32000, -32000, nullptr, 0));
    two.Show();
    ui.Pump();
    EXPECT_TRUE(ui.Screenshot(two, "filter_message_box_ok_cancel"));
    two.Close();
}

}  // namespace
