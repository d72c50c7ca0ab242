// Through the X11 backend: a popup menu over the compiled Demo window, chosen by a synthetic
// click and by keys, dismissed by Escape and by a click outside; the desktop's file and folder
// chooser run as stand-in programs placed first on PATH, which record the arguments they get
// while the program's windows stay disabled and served; a missing chooser is said in a box.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/stat.h>

#include "framework/ui/qwf_filedialog.h"
#include "framework/ui/qwf_popupmenu.h"
#include "platform/qw_menu.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::X11Ui;

namespace {

class DemoWindow : public RecordingWindow {
public:
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override
    {
        RecordingWindow::OnNotify(code, index, name, kind, data);
        if (code == QWF_NOTIFY_MENU && data) commands.push_back(*static_cast<uint16_t*>(data));
        return true;
    }
    bool Paint(qwp::DrawContext* dc, int32_t left, int32_t top, int32_t right, int32_t bottom) override
    {
        ++paints;
        return CQWF_Window::Paint(dc, left, top, right, bottom);
    }
    std::vector<int32_t> commands;
    int paints = 0;
};

// The centre of an item of the menu the request shows, on the screen.
void ItemCentre(const qwp::MenuRequest& request, const qwp::ScreenRect& place, int32_t item, int32_t& x, int32_t& y)
{
    qwp::PopupMenuView view(request);
    x = view.Width() / 2;
    int32_t top = 0;
    while (top < view.Height() && view.ItemAt(x, top) != item) ++top;
    int32_t bottom = top;
    while (bottom < view.Height() && view.ItemAt(x, bottom) == item) ++bottom;
    x += place.left;
    y = place.top + (top + bottom) / 2;
}

// Synthetic input from inside a loop: Sync makes the server's answer wait in the queue, so the
// loop takes it before it becomes idle again.
void PressKey(X11Ui& ui, uint32_t key)
{
    ui.Ws().FakeKey(key, true);
    ui.Ws().FakeKey(key, false);
    ui.Ws().Sync();
}

void ClickAt(X11Ui& ui, int32_t x, int32_t y)
{
    ui.Ws().FakeMotion(x, y);
    ui.Ws().FakeButton(1, true);
    ui.Ws().FakeButton(1, false);
    ui.Ws().Sync();
}

using ScopedEnv = qwtest::EnvGuard;

// The stand-in chooser: records DISPLAY and its arguments (NUL-separated), waits for the test's
// go-ahead file, prints the answer and ends with the given status.
const char* const kStandIn = R"(#!/bin/sh
{ printf '%s\0' "$DISPLAY"; printf '%s\0' "$@"; } > "$QW_STANDIN_ARGS"
n=0
while [ ! -e "$QW_STANDIN_GO" ]; do
  n=$((n + 1))
  [ "$n" -gt 1000 ] && exit 3
  sleep 0.02
done
[ -n "$QW_STANDIN_ANSWER" ] && printf '%s\n' "$QW_STANDIN_ANSWER"
exit "${QW_STANDIN_STATUS:-0}"
)";

std::vector<std::string> RecordedArguments(const std::string& file)
{
    std::string bytes;
    qwtest::ReadWholeFile(file, bytes);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(bytes.substr(start, end - start));
    return args;
}

// A message box in front of the window, from inside its loop: the first one is painted and
// photographed; each is answered with Return. False when the window itself is in front.
bool AnswerBox(X11Ui& ui, CQWF_Window& window, int& boxes, qwtest::Picture& shot)
{
    const qwp::WindowHandle active = ui.Ws().GetActiveWindow();
    if (!active || active == window.GetHWND()) return false;
    if (!boxes++) {
        qwp::Event e;
        ui.Ws().Sync();
        while (ui.Ws().TakeEvent(e, active)) ui.Ws().Dispatch(e);
        ui.Ws().CaptureWindow(active, shot.rgb, shot.width, shot.height);
    }
    PressKey(ui, qwp::vk::Return);
    return true;
}

bool WriteLayout(CQWF_StdFile* file, void*) { return file->Write("QWJW30", 6) == 6; }

// zenity and kdialog as the stand-in, first on PATH, on a GNOME desktop, in a folder of their own
// with an empty one beside it (PATH there: no chooser at all), for the object's life.
struct StandInChoosers {
    qwtest::TempDir dir;
    std::string bin = dir.File("bin"), empty = dir.File("empty");
    std::string argsFile = dir.File("args"), go = dir.File("go");
    std::string path = bin + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    ScopedEnv envPath{"PATH", path.c_str()};
    ScopedEnv envArgs{"QW_STANDIN_ARGS", argsFile.c_str()};
    ScopedEnv envGo{"QW_STANDIN_GO", go.c_str()};
    ScopedEnv envDesktop{"XDG_CURRENT_DESKTOP", "GNOME"};
    ScopedEnv envKde{"KDE_FULL_SESSION", nullptr};
    ScopedEnv envStatus{"QW_STANDIN_STATUS", nullptr};
    bool Make()
    {
        if (::mkdir(bin.c_str(), 0755) != 0 || ::mkdir(empty.c_str(), 0755) != 0) return false;
        for (const char* name : {"zenity", "kdialog"})
            if (!qwtest::WriteWholeFile(bin + "/" + name, kStandIn) || ::chmod((bin + "/" + name).c_str(), 0755) != 0)
                return false;
        return true;
    }
};

}  // namespace

TEST(X11Menus, PopupMenuOverTheDemoWindow)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    DemoWindow demo;
    ASSERT_TRUE(demo.CreateFromSkin("Demo", 60, 60, nullptr, 0));
    demo.Show();
    ui.Pump();

    CQWF_PlatformPopupMenu menu;
    ASSERT_TRUE(menu.Create());
    menu.AddItemWithKey("Relayout", 7, false, false, true, false, false, "R");
    menu.AddSeparator();
    menu.AddItem("Show extras", 3, true, false);
    menu.AddItemWithKey("Delete knives", 5, false, true, false, false, false, "Del");
    menu.AddItemWithKey("Select all", 9, false, false, true, true, false, "A");
    qwp::MenuRequest request;
    for (size_t i = 0; i < menu.GetItemCount(); ++i) {
        qwp::MenuItem item;
        item.text = menu.GetCaption(i).GetBuffer();
        item.separator = menu.GetCommand(i) == QWF_MENU_SEPARATOR;
        request.items.push_back(item);
    }

    // Open at the Demo's menu button; move over "Show extras", look at it, click it.
    int step = 0;
    qwp::ScreenRect place{};
    qwtest::Picture shot;
    bool hovered = false;
    ui.Ws().SetIdleHook([&] {
        if (!ui.Ws().OpenMenuRect(place)) return;
        int32_t x, y;
        ItemCentre(request, place, 2, x, y);
        if (step == 0) {
            ui.Ws().FakeMotion(x, y);
            ui.Ws().Sync();
        } else if (step == 1) {
            QWF_Rect r;
            demo.GetWindowRect(r);
            const qwp::ScreenRect all{std::min(r.left, place.left), std::min(r.top, place.top),
                                      std::max(r.right, place.right), std::max(r.bottom, place.bottom)};
            shot.width = all.right - all.left;
            shot.height = all.bottom - all.top;
            ui.Ws().CaptureScreen(all, shot.rgb);
            hovered = shot.At(place.right - 8 - all.left, y - all.top) == 0xF28C28;
            ClickAt(ui, x, y);
        }
        ++step;
    });
    ASSERT_TRUE(menu.Track(&demo, 716, 64, true));
    EXPECT_EQ(place.left, 60 + 716);
    EXPECT_EQ(place.top, 60 + 64);
    EXPECT_TRUE(hovered);
    ASSERT_GT(shot.width, 0);
    qwtest::WritePng(qwtest::OutputDir("screens") + "/popup_menu_x11.png", shot);
    EXPECT_EQ(demo.commands, (std::vector<int32_t>{3}));
    EXPECT_EQ(demo.Only("notify:"), (std::vector<std::string>{"notify:304:-1:Menu:255"}));

    // Keys: Down three times skips the separator and the greyed item; Return chooses.
    // Tracks the menu doing `act` once it is open.
    auto track = [&](bool leftButton, const std::function<void()>& act) {
        step = 0;
        ui.Ws().SetIdleHook([&] {
            if (ui.Ws().OpenMenuRect(place) && !step++) act();
        });
        return menu.Track(&demo, 200, 100, leftButton);
    };
    ASSERT_TRUE(track(false, [&] {
        for (uint32_t key : {qwp::vk::Down, qwp::vk::Down, qwp::vk::Down, qwp::vk::Return}) PressKey(ui, key);
    }));
    EXPECT_EQ(demo.commands, (std::vector<int32_t>{3, 9}));

    // Escape, then a click outside: dismissed without a notification; the click does not reach
    // the window below.
    ASSERT_TRUE(track(true, [&] { PressKey(ui, qwp::vk::Escape); }));
    demo.log.clear();
    ASSERT_TRUE(track(true, [&] { ClickAt(ui, 60 + 100, 60 + 400); }));
    ui.Ws().SetIdleHook(nullptr);
    ui.Pump();
    EXPECT_EQ(demo.commands.size(), 2u);
    EXPECT_TRUE(demo.Only("ldown").empty());
    EXPECT_TRUE(demo.Only("notify:").empty());
    demo.Close();
}

TEST(X11Menus, ChooserProgramsRunWhileTheWindowsWait)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    StandInChoosers choosers;
    ASSERT_TRUE(choosers.Make());
    qwtest::TempDir& dir = choosers.dir;
    const std::string &argsFile = choosers.argsFile, &go = choosers.go, &empty = choosers.empty;
    qwp::SetModuleFileNameForTesting((qwp::ToWindowsPath(dir.Path().c_str()) + "\\QWJigcrafter30.8bf").c_str());
    ASSERT_EQ(::mkdir(dir.File("shapes").c_str(), 0755), 0);
    const char* display = std::getenv("QW_TEST_DISPLAY");

    DemoWindow demo;
    ASSERT_TRUE(demo.CreateFromSkin("Demo", 60, 60, nullptr, 0));
    demo.Show();
    ui.Pump();

    // Save with zenity: the arguments, then the go-ahead once the window is disabled, its timer
    // has ticked and the part a window covered for a moment has been painted again. The answer
    // has no extension: the default one is added.
    demo.SetTimer(10, 5);
    struct Plain : qwp::WindowClient {
        intptr_t HandleEvent(const qwp::Event& e) override { return qwp::WS().DefaultHandling(e); }
    } plain;
    qwp::WindowHandle cover = 0;
    std::vector<bool> enabledWhileOpen;
    int phase = 0, ticksAtStart = 0, paintsAtStart = 0, boxes = 0;
    bool repainted = false;
    qwtest::Picture boxShot;
    auto hook = [&] {
        if (AnswerBox(ui, demo, boxes, boxShot)) return;
        if (phase == 0) {
            cover = ui.Ws().CreateWindow(
                {.x = 200, .y = 200, .width = 160, .height = 90, .title = {}, .className = {}, .client = &plain});
            ui.Ws().ShowWindow(cover, qwp::ShowMode::ShowNoActivate);
            phase = 1;
        } else if (phase == 1) {
            ticksAtStart = static_cast<int>(demo.Only("timer:5").size());
            paintsAtStart = demo.paints;
            ui.Ws().DestroyWindow(cover);
            phase = 2;
        } else if (phase == 2) {
            const int ticks = static_cast<int>(demo.Only("timer:5").size());
            repainted = demo.paints > paintsAtStart;
            // (Without the repaint the test fails after a while instead of waiting for ever.)
            if (ticks >= ticksAtStart + 2 && (repainted || ticks >= ticksAtStart + 300)) {
                enabledWhileOpen.push_back(ui.Ws().IsEnabled(demo.GetHWND()));
                qwtest::WriteWholeFile(go, "");
                phase = 3;
            }
        }
    };
    ui.Ws().SetIdleHook(hook);
    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter("Quarrow. Jigcrafter Document (.qwjd)", "qwjd");
    dialog.SetTitle("Save Document\x85");
    dialog.SetFileName("Untitled.qwjd");
    ASSERT_TRUE(dialog.SetInitialDirToModule("shapes"));
    ScopedEnv answer("QW_STANDIN_ANSWER", dir.File("Puzzle").c_str());
    ASSERT_TRUE(dialog.Save(WriteLayout, nullptr, &demo, 0x51576A64, 0));
    EXPECT_EQ(RecordedArguments(argsFile),
              (std::vector<std::string>{display, "--file-selection", "--save", "--confirm-overwrite",
                                        "--title=Save Document\xE2\x80\xA6", "--filename=" + dir.File("shapes/Untitled.qwjd"),
                                        "--file-filter=Quarrow. Jigcrafter Document (.qwjd) | *.[qQ][wW][jJ][dD]"}));
    EXPECT_EQ(enabledWhileOpen, (std::vector<bool>{false}));
    EXPECT_TRUE(repainted);
    EXPECT_TRUE(ui.Ws().IsEnabled(demo.GetHWND()));
    std::string bytes;
    EXPECT_TRUE(qwtest::ReadWholeFile(dir.File("Puzzle.qwjd"), bytes));
    EXPECT_EQ(bytes, "QWJW30");
    EXPECT_EQ(boxes, 0);

    // Again: now that name exists, which the chooser did not ask about; the box asks, Return
    // (Yes) replaces it.
    ASSERT_TRUE(qwtest::WriteWholeFile(go, ""));
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("Puzzle.qwjd"), "old"));
    ASSERT_TRUE(dialog.Save(WriteLayout, nullptr, &demo));
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(qwtest::ReadWholeFile(dir.File("Puzzle.qwjd"), bytes));
    EXPECT_EQ(bytes, "QWJW30");
    demo.KillTimer(5);

    // Open with kdialog on a KDE desktop.
    {
        ScopedEnv kde("XDG_CURRENT_DESKTOP", "KDE");
        ScopedEnv chosen("QW_STANDIN_ANSWER", dir.File("Puzzle.qwjd").c_str());
        dialog.SetTitle("Load Document...");
        ASSERT_TRUE(dialog.Open(&demo, 0x51576A64));
        EXPECT_EQ(RecordedArguments(argsFile),
                  (std::vector<std::string>{display, "--title", "Load Document...", "--getopenfilename",
                                            dir.File("shapes/"), "*.[qQ][wW][jJ][dD]|Quarrow. Jigcrafter Document (.qwjd)"}));
        EXPECT_EQ(std::string(dialog.GetChosenPath().GetBuffer()), qwp::ToWindowsPath(dir.File("Puzzle.qwjd").c_str()));
    }

    // The folder picker with zenity: start folder and title; the answer as a Windows-style path.
    qwp::SetDriveRoot(dir.File("drives").c_str());
    qwp::FolderChoiceRequest folder;
    folder.owner = demo.GetHWND();
    folder.title = "Please, choose destination folder...";
    folder.startFolder = "C:\\Program Files";
    std::string picked;
    {
        ScopedEnv chosen("QW_STANDIN_ANSWER", dir.File("drives/c/Photoshop/Plug-ins").c_str());
        ASSERT_TRUE(ui.Ws().ChooseFolder(folder, picked));
    }
    EXPECT_EQ(picked, "C:\\Photoshop\\Plug-ins");
    EXPECT_EQ(RecordedArguments(argsFile),
              (std::vector<std::string>{display, "--file-selection", "--directory",
                                        "--title=Please, choose destination folder...",
                                        "--filename=" + dir.File("drives/c/Program Files/")}));

    // Cancelled (status 1): nothing said. A chooser that fails: said in a box.
    {
        ScopedEnv status("QW_STANDIN_STATUS", "1");
        ScopedEnv chosen("QW_STANDIN_ANSWER", nullptr);
        EXPECT_FALSE(ui.Ws().ChooseFolder(folder, picked));
        EXPECT_EQ(boxes, 1);
    }
    {
        ScopedEnv status("QW_STANDIN_STATUS", "5");
        EXPECT_FALSE(ui.Ws().ChooseFolder(folder, picked));
        EXPECT_EQ(boxes, 2);
    }

    // No chooser on PATH: the box says so and the dialog ends as cancelled.
    {
        ScopedEnv none("PATH", empty.c_str());
        boxShot = qwtest::Picture();
        boxes = 0;
        EXPECT_FALSE(dialog.Open(&demo));
        EXPECT_EQ(boxes, 1);
        ASSERT_GT(boxShot.width, 0);
        qwtest::WritePng(qwtest::OutputDir("screens") + "/file_chooser_missing_x11.png", boxShot);
    }
    EXPECT_TRUE(ui.Ws().IsEnabled(demo.GetHWND()));
    qwp::SetDriveRoot(nullptr);
    qwp::SetModuleFileNameForTesting(nullptr);
    ui.Ws().SetIdleHook(nullptr);
    demo.Close();
}

// The colour chooser the same way: zenity's colour selection (its "rgb(...)" answer), kdialog's
// on a KDE desktop (its "#RRGGBB" answer), both starting from the colour asked about; cancelled
// says nothing; without either program a box says so and the choice ends as cancelled.
TEST(X11Menus, TheColorChooserRunsWhileTheWindowsWait)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
    // The chooser answers once the wait has been seen: the go-ahead comes from the idle hook.
    StandInChoosers choosers;
    ASSERT_TRUE(choosers.Make());
    const std::string &argsFile = choosers.argsFile, &go = choosers.go, &empty = choosers.empty;
    const char* display = std::getenv("QW_TEST_DISPLAY");

    DemoWindow demo;
    ASSERT_TRUE(demo.CreateFromSkin("Demo", 60, 60, nullptr, 0));
    demo.Show();
    ui.Pump();
    int boxes = 0;
    std::vector<bool> enabledWhileOpen;
    qwtest::Picture boxShot;
    ui.Ws().SetIdleHook([&] {
        if (AnswerBox(ui, demo, boxes, boxShot)) return;
        if (!qwp::PathExists(qwp::ToWindowsPath(go.c_str()).c_str())) {
            enabledWhileOpen.push_back(ui.Ws().IsEnabled(demo.GetHWND()));
            qwtest::WriteWholeFile(go, "");
        }
    });

    qwp::ColorChoiceRequest request;
    request.owner = demo.GetHWND();
    request.title = "Choose the stroke\x92s color";
    request.red = 0xF2, request.green = 0x8C, request.blue = 0x28;
    uint8_t rgb[3] = {0, 0, 0};
    {
        ScopedEnv answer("QW_STANDIN_ANSWER", "rgb(10,20,30)");
        ASSERT_TRUE(ui.Ws().ChooseColor(request, rgb));
    }
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 3), (std::vector<uint8_t>{10, 20, 30}));
    EXPECT_EQ(RecordedArguments(argsFile),
              (std::vector<std::string>{display, "--color-selection", "--title=Choose the stroke\xE2\x80\x99s color",
                                        "--color=#F28C28"}));
    EXPECT_EQ(enabledWhileOpen, (std::vector<bool>{false}));
    EXPECT_TRUE(ui.Ws().IsEnabled(demo.GetHWND()));
    {
        ScopedEnv kde("XDG_CURRENT_DESKTOP", "KDE");
        ScopedEnv answer("QW_STANDIN_ANSWER", "#0a141E");
        rgb[0] = rgb[1] = rgb[2] = 0;
        ASSERT_TRUE(ui.Ws().ChooseColor(request, rgb));
        EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 3), (std::vector<uint8_t>{0x0A, 0x14, 0x1E}));
        EXPECT_EQ(RecordedArguments(argsFile),
                  (std::vector<std::string>{display, "--title", "Choose the stroke\xE2\x80\x99s color", "--getcolor",
                                            "--default", "#F28C28"}));
    }
    {
        ScopedEnv status("QW_STANDIN_STATUS", "1");
        ScopedEnv answer("QW_STANDIN_ANSWER", nullptr);
        EXPECT_FALSE(ui.Ws().ChooseColor(request, rgb));
        EXPECT_EQ(boxes, 0);
    }
    {
        ScopedEnv none("PATH", empty.c_str());
        EXPECT_FALSE(ui.Ws().ChooseColor(request, rgb));
        EXPECT_EQ(boxes, 1);
        ASSERT_GT(boxShot.width, 0);
        qwtest::WritePng(qwtest::OutputDir("screens") + "/color_chooser_missing_x11.png", boxShot);
    }
    EXPECT_TRUE(ui.Ws().IsEnabled(demo.GetHWND()));
    ui.Ws().SetIdleHook(nullptr);
    demo.Close();
}
