// The application object: package loading, accelerators, the modal run against a host window,
// clipboard and message box; and the control base's skin elements, focus and notifications.
#include <gtest/gtest.h>

#include "framework/imaging/qwf_layer.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::HeadlessUi;
using qwtest::SkinBuilder;

namespace {

std::vector<uint8_t> Accelerator(uint8_t ctrl, uint8_t alt, uint8_t shift, uint8_t key, int16_t id)
{
    std::vector<uint8_t> r(108, 0xEE);
    r[0] = ctrl;
    r[1] = alt;
    r[2] = shift;
    r[4] = key;
    r[6] = static_cast<uint8_t>(id & 0xFF);
    r[7] = static_cast<uint8_t>((id >> 8) & 0xFF);
    return r;
}

// A plain native window of a host program.
struct HostWindow : qwp::WindowClient {
    intptr_t HandleEvent(const qwp::Event& e) override { return qwp::WS().DefaultHandling(e); }
};

}  // namespace

TEST(App, PackageResourceAndAccelerators)
{
    HeadlessUi ui;
    CQWF_App& app = ui.App();
    EXPECT_EQ(app.GetStorage(), nullptr);
    // The windows take the skin entries of this platform ("NR", not "MAC").
    EXPECT_TRUE(app.IsWindowsPlatform());
    EXPECT_FALSE(app.LoadPackageFromResource(false));
    EXPECT_EQ(app.GetError(), QWF_ERR_NO_RESOURCE);

    SkinBuilder skin;
    std::vector<uint8_t> table;
    for (auto r : {Accelerator(1, 0, 0, 'Z', 13), Accelerator(0, 0, 0, 'Z', 1), Accelerator(1, 0, 1, 'S', -2),
                   Accelerator(0, 0, 0, 229, 8), Accelerator(1, 1, 0, 'I', 10)})
        table.insert(table.end(), r.begin(), r.end());
    skin.Blob("UIResources>Accelerators", SkinBuilder::Pack(table));
    AddWindowSkin(skin, "Demo", 120, 80);
    ASSERT_TRUE(skin.LoadInto(app));
    ASSERT_NE(app.GetStorage(), nullptr);
    EXPECT_EQ(app.GetAcceleratorCount(), 5u);
    // Ctrl+Z matches 'z' and 'Z' only with Ctrl alone; the first match wins; ids are signed.
    EXPECT_EQ(app.FindAccelerator('z', true, false, false), 13);
    EXPECT_EQ(app.FindAccelerator('Z', true, false, false), 13);
    EXPECT_EQ(app.FindAccelerator('Z', true, true, false), -1);
    EXPECT_EQ(app.FindAccelerator('Z', false, false, false), 1);
    EXPECT_EQ(app.FindAccelerator('S', true, false, true), -2);

    // Keys reach the accelerators through the window: Ctrl+Z, and F10 (with Alt's key).
    RecordingWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 10, 10, nullptr, 0));
    w.Show();
    ui.Ws().KeyDown(qwp::vk::Control);
    ui.Key('Z');
    ui.Ws().KeyUp(qwp::vk::Control);
    ui.Key(qwp::vk::F10);
    EXPECT_EQ(w.Only("notify"), (std::vector<std::string>{"notify:336:13::0", "notify:336:8::0"}));
    // A key takes the modifiers it was pressed with, even when they are released before the
    // program reads it (as a script types): Ctrl+Alt+I, then Ctrl+Shift+S, both queued whole.
    w.log.clear();
    ui.Chord('I', true, false, true);
    ui.Chord('S', true, true);
    EXPECT_EQ(w.Only("notify"), (std::vector<std::string>{"notify:336:10::0", "notify:336:-2::0"}));

    // A block of 250 bytes holds two records; a damaged package keeps no storage.
    SkinBuilder two;
    table.resize(250);
    two.Blob("UIResources>Accelerators", SkinBuilder::Pack(table));
    ASSERT_TRUE(two.LoadInto(app));
    EXPECT_EQ(app.GetAcceleratorCount(), 2u);
    SkinBuilder broken;
    broken.DWord("A>B", 1);
    std::vector<uint8_t> bytes = broken.Bytes();
    bytes[40] ^= 0xFF;
    std::string path = qwtest::OutputDir() + "/damaged.qws4";
    qwtest::WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
    EXPECT_FALSE(app.LoadPackageFromFile(qwp::ToWindowsPath(path.c_str()).c_str(), true));
    EXPECT_EQ(app.GetError(), QWF_ERR_STORAGE_DIGEST);
    EXPECT_EQ(app.GetStorage(), nullptr);
    EXPECT_EQ(app.FindAccelerator('Z', true, false, false), 13);  // the table stays until a load
}

TEST(App, ModalRunDisablesTheHostsTopLevelWindowAndGivesItBack)
{
    HeadlessUi ui;
    CQWF_App& app = ui.App();
    HostWindow hostClient;
    qwp::WindowParams params;
    params.width = 400;
    params.height = 300;
    params.client = &hostClient;
    const qwp::WindowHandle frame = ui.Ws().CreateWindow(params);
    params.kind = qwp::WindowKind::Child;
    params.owner = frame;
    params.width = 100;
    const qwp::WindowHandle view = ui.Ws().CreateWindow(params);
    params.kind = qwp::WindowKind::TopLevel;
    const qwp::WindowHandle palette = ui.Ws().CreateWindow(params);
    ui.Ws().ShowWindow(frame, qwp::ShowMode::Show);
    ui.Ws().ShowWindow(view, qwp::ShowMode::Show);
    ui.Ws().ShowWindow(palette, qwp::ShowMode::Show);
    ui.Ws().SetActiveWindow(frame);
    // The owner of a child window is its top-level ancestor's last active popup.
    intptr_t root = 0;
    EXPECT_EQ(app.FindOwnerWindow(view, &root), frame);
    EXPECT_EQ(root, 0);
    ui.Ws().SetActiveWindow(palette);
    EXPECT_EQ(app.FindOwnerWindow(view, &root), palette);
    EXPECT_EQ(root, frame);
    ui.Ws().SetActiveWindow(frame);

    bool disabledDuringRun = false;
    ui.Ws().PushIdleAction([&] {
        disabledDuringRun = !ui.Ws().IsEnabled(frame);
        ui.Ws().PostQuit(0);
    });
    EXPECT_EQ(app.RunModal(77, view), 0);
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_TRUE(ui.Ws().IsEnabled(frame));
    EXPECT_EQ(ui.Ws().GetActiveWindow(), frame);
    EXPECT_EQ(app.GetInstance(), 77);
    EXPECT_EQ(app.GetOwnerWindow(), frame);

    // A host window that was disabled already stays so, also when the main window closes (here
    // by the idle policy).
    ui.Ws().EnableWindow(frame, false);
    RecordingWindow main;
    ASSERT_TRUE(main.Create("main", 0, 0, 50, 50, 0, nullptr, 0, false));
    app.SetMainWindow(&main);
    main.Show();
    app.RunModal(0, frame);
    app.SetMainWindow(nullptr);
    EXPECT_FALSE(ui.Ws().IsEnabled(frame));
    // Neither host nor active window: nothing is disabled or activated.
    ui.Ws().SetActiveWindow(0);
    EXPECT_EQ(app.FindOwnerWindow(0, &root), 0);
    ui.Ws().PushIdleAction([&] { ui.Ws().PostQuit(0); });
    app.RunModal(0, 0);
    EXPECT_EQ(ui.Ws().GetActiveWindow(), 0);
}

TEST(App, MainWindowLoopClipboardAndMessageBox)
{
    HeadlessUi ui;
    CQWF_App& app = ui.App();
    SkinBuilder skin;
    AddWindowSkin(skin, "Demo", 120, 80);
    ASSERT_TRUE(skin.LoadInto(app));
    RecordingWindow main;
    ASSERT_TRUE(main.CreateFromSkin("Demo", 10, 10, nullptr, 0));
    app.SetMainWindow(&main);
    main.Show();
    // The loop runs until the main window is closed (here by the idle policy) and its destruction
    // ends the loop.
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(main.GetHWND(), 0);
    EXPECT_TRUE(main.IsClosing());
    EXPECT_EQ(main.IsInLoop(), 0);

    CQWF_String text;
    EXPECT_FALSE(app.IsClipboardTextAvailable());
    EXPECT_FALSE(app.GetClipboardText(text));
    EXPECT_TRUE(app.SetClipboardText("12.5"));
    EXPECT_TRUE(app.GetClipboardText(text));
    EXPECT_STREQ(text.GetBuffer(), "12.5");
    EXPECT_TRUE(app.SetClipboardText(""));
    EXPECT_FALSE(app.IsClipboardTextAvailable());

    ui.Ws().AnswerMessageBox(qwp::kIdOk);
    EXPECT_EQ(app.MessageBox("Cannot load the resource file.", "Quarrow. Jigcrafter 3.0 Error", nullptr), qwp::kIdOk);
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.Ws().MessageBoxes()[0].request.owner, 0);
    app.Beep();
    EXPECT_EQ(ui.Ws().Beeps(), 1);
}

TEST(Control, SkinElementsFocusAndNotifications)
{
    HeadlessUi ui;
    SkinBuilder skin;
    AddWindowSkin(skin, "Demo", 120, 80);
    skin.Image("UIResources>Buttons>B>Normal", {10, 20, 14, 23}, [](int32_t x, int32_t y) {
        return 0xFF000000u | uint32_t(x << 16) | uint32_t(y << 8) | 7u;
    });
    skin.Blob("UIResources>Buttons>B>Broken", SkinBuilder::Pack({0, 0, 0, 0, 0, 4, 0, 4, 1, 2}));
    ASSERT_TRUE(skin.LoadInto(ui.App()));
    RecordingWindow w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 0, 0, nullptr, 0));
    std::vector<std::string> log;
    RecordingControl parent({0, 0, 10, 10}, "parent", &log), child({0, 0, 5, 5}, "child", &log);
    ASSERT_EQ(w.AttachControl(&parent), 0);
    ASSERT_EQ(w.AttachControl(&child), 1);

    // A present element is read; a missing or malformed one leaves rectangle and memory alone.
    CQWF_Control base;
    base.Create(&w, 5, "B", ui.App().GetStorage());
    QWF_Rect r{1, 1, 1, 1};
    CQWF_Mem mem;
    const uint8_t* px = base.LoadSkinElement("UIResources>Buttons>B>Normal", r, mem);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 23);
    EXPECT_EQ(px[0], 10);                    // red of (10, 20)
    EXPECT_EQ(px[12 + 5], 21);               // green of (11, 21)
    EXPECT_EQ(base.LoadSkinElement("UIResources>Buttons>B>Broken", r, mem), nullptr);
    EXPECT_EQ(base.LoadSkinElement("UIResources>Buttons>B>Missing", r, mem), nullptr);
    EXPECT_EQ(r.left, 10);
    // Its first plane (red: the column) at window points: the rectangle's right and bottom
    // edges lie outside; points compare as signed 16-bit values.
    QWF_SkinElement e;
    e.rect = r;
    e.pixels = px;
    const struct {
        int32_t x, y;
        uint8_t mask;
        bool inside;
    } points[] = {{10, 20, 10, true}, {13, 22, 13, true}, {14, 22, 0, false}, {13, 23, 0, false},
                  {9, 21, 0, false},  {11, 19, 0, false}, {10 + 65536, 20, 0, true}};
    for (const auto& p : points) {
        EXPECT_EQ(e.MaskAt(p.x, p.y), p.mask) << p.x << "," << p.y;
        EXPECT_EQ(e.Contains(p.x, p.y), p.inside) << p.x << "," << p.y;
    }
    e.pixels = nullptr;
    EXPECT_FALSE(e.Contains(10, 20));

    // Copies into a layer at an offset, clipped to it, the whole element (the layer cleared
    // first) or rows from a first one: the exact size, larger and smaller layers, offsets either
    // way and past the layer, three planes, an element without columns.
    const struct {
        uint16_t w, h;
        int32_t x, y, first, count;
        uint8_t type;
    } blits[] = {{4, 3, 0, 0, 0, 0, QWF_IMAGE_RGBA},  {4, 2, 0, 0, 0, 0, QWF_IMAGE_RGBA},
                 {3, 3, 0, 0, 0, 0, QWF_IMAGE_RGBA},  {5, 4, 0, 0, 0, 0, QWF_IMAGE_RGBA},
                 {4, 3, 1, 0, 0, 0, QWF_IMAGE_RGBA},  {4, 3, 0, 1, 0, 0, QWF_IMAGE_RGBA},
                 {3, 2, -2, -1, 0, 0, QWF_IMAGE_RGBA}, {3, 2, 5, 0, 0, 0, QWF_IMAGE_RGBA},
                 {4, 3, 0, 0, 0, 0, QWF_IMAGE_RGB},   {4, 3, 0, 1, 0, 1, QWF_IMAGE_RGBA},
                 {4, 3, 0, 0, 1, 5, QWF_IMAGE_RGBA},  {4, 3, 0, -1, 1, 2, QWF_IMAGE_RGBA},
                 {4, 3, 0, 0, 1, 0, QWF_IMAGE_RGBA}};
    for (const auto& b : blits) {
        for (const bool empty : {false, true}) {
            CQWF_Layer layer;
            ASSERT_TRUE(layer.Create(0, 0, b.w, b.h, b.type));
            layer.Fill(0xFFFFFFFF);
            const QWF_Rect er = empty ? QWF_Rect{r.left, r.top, r.left, r.bottom} : r;
            CQWF_Control::BlitSkinElement(&layer, b.x, b.y, px, er, b.first, b.count);
            const bool cleared = b.first == 0 && b.count == 0;
            const int32_t count = cleared ? 3 : b.count;
            for (int k = 0; k < CQWF_Image::PlaneCount(b.type); ++k)
                for (int32_t ly = 0; ly < b.h; ++ly)
                    for (int32_t lx = 0; lx < b.w; ++lx) {
                        const int32_t ex = lx - b.x, ey = ly - b.y + b.first;  // element column and row
                        const bool in = !empty && ex >= 0 && ex < 4 && ey >= b.first && ey < b.first + count && ey < 3;
                        const uint8_t want = !in ? (cleared ? 0 : 255) : k == 0 ? 10 + ex : k == 1 ? 20 + ey : k == 2 ? 7 : 255;
                        ASSERT_EQ(layer.GetPlane(k)[ly * b.w + lx], want) << b.w << "x" << b.h << " at " << b.x << "," << b.y
                                                                          << " rows " << b.first << "+" << b.count << (empty ? " empty" : "")
                                                                          << " plane " << k << " (" << lx << "," << ly << ")";
                    }
        }
    }

    EXPECT_FALSE(parent.SetTimer(10, 10));
    // Controls by kind and name: a missing folder, the preview (attached, never added) and an
    // unknown kind are refused.
    EXPECT_EQ(w.AddControl("Nope", QWF_CTRL_BUTTON), -1);
    EXPECT_EQ(w.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_EQ(w.AddControl("B", QWF_CTRL_PREVIEW), -1);
    EXPECT_EQ(w.AddControl("B", 13), -1);
    EXPECT_EQ(w.GetControlCount(), 2);
    // Focus: a child passes the request to its top parent unless that holds it already.
    child.SetParent(&parent);
    child.SetFocus(true);
    EXPECT_TRUE(parent.IsFocused());
    EXPECT_EQ(w.GetFocusIndex(), 0);
    EXPECT_FALSE(child.IsFocused());
    EXPECT_EQ(w.ReleaseFocus(1), 0);
    EXPECT_EQ(w.ReleaseFocus(0), 0);
    EXPECT_EQ(w.GetFocusIndex(), -1);
    // Notifications go to the window, or to the parent with notify-parent set.
    child.Notify(272, nullptr);
    EXPECT_EQ(w.Only("notify"), (std::vector<std::string>{"notify:272:1:child:5"}));
    child.SetNotifyParent(true);
    EXPECT_FALSE(child.Notify(272, nullptr));  // the base parent does not use it
    child.SetParent(nullptr);
    EXPECT_FALSE(child.Notify(272, nullptr));
    EXPECT_EQ(w.Only("notify").size(), 1u);
    w.Close();
}
