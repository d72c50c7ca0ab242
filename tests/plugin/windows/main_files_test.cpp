// The main window's exports, documents and preferences through their windows, headless over the
// fake host: 300 pieces of a 600 x 450 picture go to one layered PSD file (after the warning about
// more than 100 layers) and to 300 PNG files, the knives to EPS and Illustrator 3, a document is
// saved and loaded again (a 9-byte file is refused), and the preferences reach the settings store.
// On a full disk every writer of the filter keeps the earlier file of its name. Under X11 the
// three option windows are photographed as the main window opens them.
#include "plugin/main/wnd_main.h"

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_uiscript.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tests/plugin/windows/main_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {
constexpr int32_t kW = 600;
constexpr int32_t kH = 450;

std::string Win(const std::string& path)
{
    return qwp::ToWindowsPath(path.c_str());
}

struct Host {
    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    CPluginMain plugin;
    explicit Host(const std::string& dataDir)
    {
        fakehost::Reset(rec, kW, kH, plugInModeRGBColor, 3);
        plugin.SetHostPointers(&rec, &data, &result);
        EXPECT_TRUE(plugin.ReadHostInfo());
        plugin.GetEngine().SetColourLayout(plugin.GetHostInfo()->layout);
        EXPECT_TRUE(plugin.ReadMask(true));
        plugin.GetDataFolder() = (Win(dataDir) + "\\").c_str();
        EXPECT_TRUE(plugin.LoadPreferences("plugin.conf"));
    }
};

using maintest::CutterOf;

// Opens the main window and cuts rows x columns pieces.
void OpenAndCut(qwtest::UiDriver& ui, CWnd_Main& w, Host& host, int rows, int columns)
{
    ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindow(ui, host, w));
    CWnd_Cutter* c = CutterOf(w);
    maintest::SetGrid(*c, rows, columns);
    // Razor cut: the pieces meet without a knife's width between them.
    if (!c->GetControl(c->FindControl("Cutter_RazorCut"))->GetCheck()) {
        ASSERT_TRUE(ui.ClickControl(*c, "Cutter_RazorCut"));
    }
    ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
}

// Idle actions on the open windows, one per wait of the program, in order.
struct Steps {
    HeadlessUi& ui;
    std::vector<std::string> failures;
    void Click(const char* window, const char* control)
    {
        std::string w = window, c = control;
        ui.Ws().PushIdleAction([this, w, c] {
            CQWF_Window* win = CQWF_UiScript::FindWindow(w.c_str());
            if (!win || !ui.ClickControl(*win, c.c_str()))
                failures.push_back(w + ">" + c);
        });
    }
};

std::string ReadText(const std::string& path)
{
    std::string s;
    qwtest::ReadWholeFile(path, s);
    return s;
}

using qwtest::BE32;

// The layer count of a PSD file, read from its sections as the format lays them out.
int PsdLayerCount(const std::string& s)
{
    if (s.size() < 40 || s.compare(0, 4, "8BPS") != 0) return -1;
    size_t at = 26;
    at += 4 + BE32(s, at);  // colour mode data
    at += 4 + BE32(s, at);  // image resources
    if (at + 10 > s.size()) return -1;
    at += 4;                // layer and mask information length
    at += 4;                // layer information length
    const int16_t count = static_cast<int16_t>((uint8_t(s[at]) << 8) | uint8_t(s[at + 1]));
    return count < 0 ? -count : count;
}
}  // namespace

TEST(MainFiles, ExportsDocumentsAndPreferences)
{
    HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(maintest::PackagePath().c_str(), true));
    qwtest::TempDir dir;
    Host host(dir.Path());
    CWnd_Main w;
    OpenAndCut(ui, w, host, 15, 20);
    ASSERT_EQ(host.plugin.GetEngine().GetPieceCount(), 300);
    Steps steps{ui, {}};

    // 300 pieces into one PSD: more than 100 layers are confirmed first.
    const std::string psd = dir.Path() + "/pieces.psd";
    steps.Click("Export", "Export_All");
    steps.Click("Export", "Export_ToPSD");
    steps.Click("Export", "Export_Export");
    steps.Click("MessageBox", "MessageBox_OKl");
    ui.Ws().AnswerFile(Win(psd));
    w.ShowExportDialog();
    EXPECT_TRUE(steps.failures.empty()) << steps.failures.front();
    const std::string psdBytes = ReadText(psd);
    EXPECT_EQ(PsdLayerCount(psdBytes), 300);
    EXPECT_EQ(BE32(psdBytes, 14), static_cast<uint32_t>(kH));
    EXPECT_EQ(BE32(psdBytes, 18), static_cast<uint32_t>(kW));
    uint8_t stored = 0;
    EXPECT_TRUE(host.plugin.GetPreferences()->GetByte("Export Settings>ExportWhat", stored));
    EXPECT_EQ(stored, 3);

    // And as 300 PNG files with simple names.
    std::filesystem::create_directories(dir.Path() + "/png");
    steps.Click("Export", "Export_ToPNG");
    steps.Click("Export", "Export_NamingSimple");
    steps.Click("Export", "Export_Export");
    ui.Ws().AnswerFile(Win(dir.Path() + "/png/piece.png"));
    w.ShowExportDialog();
    EXPECT_TRUE(steps.failures.empty());
    int pngs = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path() + "/png")) {
        const std::string bytes = ReadText(e.path().string());
        pngs += bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
    }
    EXPECT_EQ(pngs, 300);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/png/piece_001.png"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/png/piece_300.png"));
    // Every piece is shown again afterwards.
    for (int32_t i = 0; i < 300; ++i)
        ASSERT_EQ(host.plugin.GetEngine().GetPiece(i)->shown, 1) << i;

    // Preferences: a solid colour for transparent areas, stored on OK only.
    steps.Click("Pref", "Pref_TSolid");
    steps.Click("Pref", "Pref_Cancel");
    w.ShowPreferences();
    EXPECT_FALSE(host.plugin.GetPreferences()->GetByte("Preferences>AlphaSolid", stored));
    steps.Click("Pref", "Pref_TSolid");
    steps.Click("Pref", "Pref_Ok");
    w.ShowPreferences();
    EXPECT_TRUE(steps.failures.empty());
    ASSERT_TRUE(host.plugin.GetPreferences()->GetByte("Preferences>AlphaSolid", stored));
    EXPECT_EQ(stored, 1);

    // A document of the cut layout, saved and loaded again: back in Layout mode with its grid.
    const std::string doc = dir.Path() + "/layout.qwjd";
    ui.Ws().AnswerFile(Win(doc));
    EXPECT_TRUE(w.SaveDocument());
    const std::string docBytes = ReadText(doc);
    EXPECT_EQ(docBytes.compare(0, 6, "QWJW30"), 0);
    const std::string tiny = dir.Path() + "/tiny.qwjd";
    ASSERT_TRUE(qwtest::WriteWholeFile(tiny, std::string("QWJW30abc")));
    const size_t boxes = ui.Ws().MessageBoxes().size();
    ui.Ws().AnswerFile(Win(tiny));
    EXPECT_FALSE(w.LoadDocument());
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(ui.Ws().MessageBoxes().back().request.text, "Unknow file format or file corrupt...");
    EXPECT_EQ(ui.Ws().MessageBoxes().back().request.caption, "Error!");
    EXPECT_EQ(w.GetMode(), CWnd_Main::kPuzzleMode);
    // A document cut short: "Error reading data file...", and the window keeps its pieces.
    const std::string shortDoc = dir.Path() + "/short.qwjd";
    ASSERT_TRUE(qwtest::WriteWholeFile(shortDoc, docBytes.substr(0, docBytes.size() / 2)));
    ui.Ws().AnswerFile(Win(shortDoc));
    EXPECT_FALSE(w.LoadDocument());
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), boxes + 2);
    EXPECT_EQ(ui.Ws().MessageBoxes().back().request.text, "Error reading data file...");
    EXPECT_EQ(ui.Ws().MessageBoxes().back().request.caption, "Error!");
    EXPECT_EQ(w.GetMode(), CWnd_Main::kPuzzleMode);
    EXPECT_EQ(host.plugin.GetEngine().GetPieceCount(), 300);
    EXPECT_EQ(w.GetLayout().GetYLineCount(), 14);
    EXPECT_EQ(w.GetLayout().GetXLineCount(), 19);

    // A document chosen while no Cutter can be made is reported, not dropped.
    SetCutterFactory(nullptr);
    ui.Ws().AnswerFile(Win(doc));
    EXPECT_FALSE(w.LoadDocument());
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), boxes + 3);
    EXPECT_EQ(ui.Ws().MessageBoxes().back().request.caption, "Error!");
    EXPECT_EQ(w.GetMode(), CWnd_Main::kPuzzleMode);
    InstallCutterFactory();

    ui.Ws().AnswerFile(Win(doc));
    EXPECT_TRUE(w.LoadDocument());
    ui.Pump();
    EXPECT_EQ(w.GetMode(), CWnd_Main::kLayoutMode);
    EXPECT_EQ(w.GetLayout().GetYLineCount(), 14);
    EXPECT_EQ(w.GetLayout().GetXLineCount(), 19);

    // The knives: every knife to EPS and to Illustrator 3.
    const std::string eps = dir.Path() + "/knives.eps";
    steps.Click("ExportLM", "ExportLM_All");
    steps.Click("ExportLM", "ExportLM_ToEPS");
    steps.Click("ExportLM", "ExportLM_Export");
    ui.Ws().AnswerFile(Win(eps));
    w.ShowExportLMDialog();
    const std::string ai = dir.Path() + "/knives.ai";
    steps.Click("ExportLM", "ExportLM_ToAI");
    steps.Click("ExportLM", "ExportLM_Export");
    ui.Ws().AnswerFile(Win(ai));
    w.ShowExportLMDialog();
    EXPECT_TRUE(steps.failures.empty());
    const std::string epsText = ReadText(eps);
    EXPECT_EQ(epsText.compare(0, 10, "%!PS-Adobe"), 0);
    EXPECT_NE(epsText.find("%%BoundingBox"), std::string::npos) << epsText.substr(0, 300);
    const std::string aiText = ReadText(ai);
    EXPECT_EQ(aiText.compare(0, 10, "%!PS-Adobe"), 0);
    EXPECT_NE(aiText.find("%%BoundingBox"), std::string::npos);
    EXPECT_TRUE(host.plugin.GetPreferences()->GetByte("Export LM Settings>ExportTo", stored));
    EXPECT_EQ(stored, 2);
    w.Close();
}

// A full disk under every writer: a file of each chosen name is already there, the disk holding
// it has 100 bytes free, and every save fails. The user is told, the earlier file is as it was,
// and nothing else is left in its folder (no partial file, no temporary one).
TEST(MainFiles, AFullDiskKeepsEveryEarlierFile)
{
    HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(maintest::PackagePath().c_str(), true));
    qwtest::TempDir dir;
    const std::string data = dir.File("data"), disk = dir.File("disk");
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(disk);
    Host host(data);
    CWnd_Main w;
    OpenAndCut(ui, w, host, 3, 4);
    Steps steps{ui, {}};
    struct FreeSpaceOff {
        ~FreeSpaceOff() { qwp::SetFreeSpace(nullptr, -1); }
    } off;

    // Runs one save onto the small disk `folder` over the earlier files `names`.
    auto fullDisk = [&](const std::string& what, const std::string& folder,
                        const std::vector<std::string>& names, const std::function<void()>& save) {
        SCOPED_TRACE(what);
        std::vector<std::string> earlier;
        for (const std::string& name : names) {
            earlier.push_back("earlier " + name + " " + std::string(300, 'e'));
            ASSERT_TRUE(qwtest::WriteWholeFile(folder + "/" + name, earlier.back()));
        }
        const std::vector<std::string> before = qwtest::FolderNames(folder);
        const size_t boxes = ui.Ws().MessageBoxes().size();
        qwp::SetFreeSpace(Win(folder).c_str(), 100);
        save();
        qwp::SetFreeSpace(nullptr, -1);
        EXPECT_TRUE(steps.failures.empty());
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadText(folder + "/" + names[i]), earlier[i]) << names[i];
        EXPECT_EQ(qwtest::FolderNames(folder), before);
        ASSERT_EQ(ui.Ws().MessageBoxes().size(), boxes + 1);
        EXPECT_EQ(ui.Ws().MessageBoxes().back().request.text, "Cannot write file...");
        EXPECT_EQ(ui.Ws().MessageBoxes().back().request.caption, "Error!");
    };

    // Puzzle mode: the pieces as one layered PSD and as PNG files, the layout as a document.
    fullDisk("PSD", disk, {"pieces.psd"}, [&] {
        steps.Click("Export", "Export_All");
        steps.Click("Export", "Export_ToPSD");
        steps.Click("Export", "Export_Export");
        ui.Ws().AnswerFile(Win(disk + "/pieces.psd"));
        w.ShowExportDialog();
    });
    fullDisk("PNG files", disk, {"piece_01.png", "piece_02.png"}, [&] {
        steps.Click("Export", "Export_ToPNG");
        steps.Click("Export", "Export_NamingSimple");
        steps.Click("Export", "Export_Export");
        ui.Ws().AnswerFile(Win(disk + "/piece.png"));
        w.ShowExportDialog();
    });
    fullDisk("document", disk, {"layout.qwjd"}, [&] {
        ui.Ws().AnswerFile(Win(disk + "/layout.qwjd"));
        EXPECT_FALSE(w.SaveDocument());
    });

    // Layout mode: the knives as EPS and Illustrator 3, the Cutter's shape in its three forms,
    // a shape set of the presets manager.
    ASSERT_EQ(w.Relayout(), 0);
    ui.Pump();
    for (const char* kind : {"ExportLM_ToEPS", "ExportLM_ToAI"}) {
        const std::string name = std::strcmp(kind, "ExportLM_ToEPS") == 0 ? "knives.eps" : "knives.ai";
        fullDisk(name, disk, {name}, [&] {
            steps.Click("ExportLM", "ExportLM_All");
            steps.Click("ExportLM", kind);
            steps.Click("ExportLM", "ExportLM_Export");
            ui.Ws().AnswerFile(Win(disk + "/" + name));
            w.ShowExportLMDialog();
        });
    }
    CWnd_Cutter* c = CutterOf(w);
    ASSERT_NE(c, nullptr);
    const std::pair<int, const char*> shapeFiles[] = {{32, "shape.qwjh"}, {33, "shape.eps"}, {34, "shape.ai"}};
    for (const auto& [command, name] : shapeFiles) {
        fullDisk(name, disk, {name}, [&, command = command, name = name] {
            ui.Ws().AnswerFile(Win(disk + "/" + name));
            c->SaveShapeAs(command);
        });
    }
    fullDisk("shape set", disk, {"shapes.qwjk"}, [&] {
        ui.Ws().PushIdleAction([&] {
            ui.Ws().KeyDown(qwp::vk::Control);
            ui.Key('A');
            ui.Ws().KeyUp(qwp::vk::Control);
            ui.Pump();
        });
        ui.Ws().AnswerFile(Win(disk + "/shapes.qwjk"));
        steps.Click("PresMng", "PresMng_SaveSet");
        steps.Click("PresMng", "PresMng_Done");
        c->RunPresetsManager();
    });

    // Applying the layout: "last.data" in the data folder keeps the last layout that was stored.
    fullDisk("last layout", data, {"last.data"}, [&] {
        w.SetReady(1);
        EXPECT_TRUE(w.CommitLayout());
    });
    w.Close();
}

TEST(MainFiles, TheOptionWindowsUnderX11)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(maintest::PackagePath().c_str(), true));
    qwtest::TempDir dir;
    Host host(dir.Path());
    CWnd_Main w;
    OpenAndCut(ui, w, host, 3, 4);
    // Each option window photographed on the screen, then left with Escape.
    auto photograph = [&](const char* skin, const char* name, const std::function<void()>& open) {
        bool shot = false;
        ui.Ws().SetIdleHook([&] {
            CQWF_Window* d = CQWF_UiScript::FindWindow(skin);
            if (!d || shot) return;
            shot = true;
            ui.Pump();
            EXPECT_TRUE(ui.Screenshot(*d, name));
            ui.Key(qwp::vk::Escape);
        });
        open();
        ui.Ws().SetIdleHook(nullptr);
        EXPECT_TRUE(shot) << skin;
    };
    photograph("Export", "main_export_x11", [&] { w.ShowExportDialog(); });
    photograph("Pref", "main_preferences_x11", [&] { w.ShowPreferences(); });
    ASSERT_EQ(w.Relayout(), 0);
    ui.Pump();
    photograph("ExportLM", "main_exportlm_x11", [&] { w.ShowExportLMDialog(); });
    // The Cutter's shape with every node selected (the box and its handles), zoomed 1:2 with the
    // guide lines at the edge's ends, then its own dialogs.
    CWnd_Cutter* c = CutterOf(w);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(ui.ClickControl(*c, "Cutter_1x2"));
    c->GetEditor().RunNodeCommand(CKnifeShapeEditor::kCmdSelectAll);
    ui.Pump();
    EXPECT_TRUE(ui.Screenshot(*c, "cutter_shape_x11"));
    photograph("PresMng", "cutter_presets_x11", [&] { c->RunPresetsManager(); });
    photograph("AutoLayout", "cutter_autolayout_x11", [&] { c->RunAutoLayout(); });
    w.Close();
}
