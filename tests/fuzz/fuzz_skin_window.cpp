// Loads arbitrary bytes as a skin package the way the filter loads its own (a file with its digest
// checked) and opens the toolkit's Demo window from it on the headless window system, with a
// control of every kind, their fonts and a preview of a small picture. A window that opens is
// shown and used: a click on every control, the wheel over the preview, typing into the edit
// line, a drag along the slider, then it closes. A damaged skin must end in a refusal, never in a
// crash or a face larger than the screen allows.
#include <cstring>
#include <vector>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_preview.h"
#include "framework/ui/qwf_ruler.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_winsys_headless.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;

namespace {
struct Control {
    const char* name;
    uint8_t kind;
};
const Control kControls[] = {
    {"Demo_OK", QWF_CTRL_BUTTON},          {"Demo_Cancel", QWF_CTRL_BUTTON},
    {"Demo_ZoomIn", QWF_CTRL_BUTTON},      {"Demo_ZoomOut", QWF_CTRL_BUTTON},
    {"Demo_Grid", QWF_CTRL_BUTTON},        {"Demo_Menu", QWF_CTRL_BUTTON},
    {"Demo_Check", QWF_CTRL_CHECKBOX},     {"Demo_Rows", QWF_CTRL_RADIO},
    {"Demo_Columns", QWF_CTRL_RADIO},      {"Demo_Slider", QWF_CTRL_SLIDER},
    {"Demo_Angle", QWF_CTRL_SLIDER},       {"Demo_Value", QWF_CTRL_STATIC_TEXT},
    {"Demo_Text", QWF_CTRL_STATIC_TEXT},   {"Demo_Logo", QWF_CTRL_STATIC_IMAGE},
    {"Demo_Progress", QWF_CTRL_PROGRESS},  {"Demo_Edit", QWF_CTRL_EDIT},
    {"Demo_List", QWF_CTRL_LIST},          {"Demo_ListScroll", QWF_CTRL_SCROLLBAR},
    {"Demo_Scroll", QWF_CTRL_SCROLLBAR},   {"Demo_ScrollLeft", QWF_CTRL_BUTTON},
    {"Demo_ScrollRight", QWF_CTRL_BUTTON}, {"Demo_HScroll", QWF_CTRL_SCROLLBAR},
    {"Demo_VScroll", QWF_CTRL_SCROLLBAR},  {"Demo_HRuler", QWF_CTRL_RULER},
    {"Demo_VRuler", QWF_CTRL_RULER},       {"Demo_Navigator", QWF_CTRL_STATIC_IMAGE},
};
constexpr size_t kControlCount = sizeof kControls / sizeof kControls[0];

// The window closes itself on its close request; nothing else.
class DemoWindow : public CQWF_Window {
public:
    int32_t index[kControlCount];
    bool OnNotify(int32_t, int32_t, const char*, uint8_t, void*) override { return true; }
};

template <class T>
T* As(DemoWindow& w, size_t i)
{
    return w.index[i] >= 0 ? static_cast<T*>(w.GetControl(w.index[i])) : nullptr;
}

size_t Find(const char* name)
{
    for (size_t i = 0; i < kControlCount; ++i)
        if (std::strcmp(kControls[i].name, name) == 0) return i;
    std::abort();
}

void Pump(qwp::HeadlessWindowSystem& ws)
{
    qwp::Event e;
    for (int i = 0; i < 10000 && ws.TakeEvent(e, 0, {qwp::EventType::Quit}); ++i) ws.Dispatch(e);
}

void ClickAt(qwp::HeadlessWindowSystem& ws, DemoWindow& w, int32_t x, int32_t y)
{
    QWF_Rect r{0, 0, 0, 0};
    w.GetWindowRect(r);
    ws.Click(r.left + x, r.top + y);
    Pump(ws);
}

// Sets up and uses the window; the fonts may be missing or damaged.
void Use(qwp::HeadlessWindowSystem& ws, DemoWindow& w, CQWF_Image& photo)
{
    for (size_t i = 0; i < kControlCount; ++i) w.index[i] = w.AddControl(kControls[i].name, kControls[i].kind);
    CQWF_Font* small = w.GetFont(w.LoadFont("Small Font"));
    CQWF_Font* info = w.GetFont(w.LoadFont("Info Font"));
    CQWF_Font* edit = w.GetFont(w.LoadFont("Edit Font"));
    CQWF_Font* listFont = w.GetFont(w.LoadFont("List Font"));
    for (const char* name : {"Demo_HRuler", "Demo_VRuler"})
        if (auto* ruler = As<CQWF_CtrlRuler>(w, Find(name)); ruler && small) ruler->SetFont(small);
    for (const char* name : {"Demo_Value", "Demo_Text"})
        if (auto* text = As<CQWF_CtrlStaticText>(w, Find(name)); text && info) {
            text->SetTextFont(info);
            text->SetTextAt("1200 x 900 at 25 %", 0, 5, 14);
        }
    if (auto* line = As<CQWF_CtrlEditLine>(w, Find("Demo_Edit")); line && edit) {
        line->SetFont(edit);
        line->SetText("Sample photograph", false);
    }
    auto* list = As<CQWF_CtrlList>(w, Find("Demo_List"));
    if (list && listFont) {
        list->SetFont(listFont);
        if (w.index[Find("Demo_ListScroll")] >= 0) list->AttachScrollBar(false, true, 20, 5, 5, w.index[Find("Demo_ListScroll")]);
        for (int i = 0; i < 12; ++i) list->AddItem("Layer", i == 2, 0, i < 11);
    }
    if (auto* bar = As<CQWF_CtrlScrollBar>(w, Find("Demo_Scroll")))
        bar->AttachButtons(w.index[Find("Demo_ScrollLeft")], w.index[Find("Demo_ScrollRight")]);
    CQWF_CtrlPreview preview;
    QWF_Rect view{0, 0, 0, 0};
    const bool previewShown = w.LoadRect("Demo_Preview", view) && w.AttachControl(&preview) >= 0 &&
                              preview.SetSource(view.left, view.top, view.right, view.bottom, &photo,
                                                As<CQWF_CtrlScrollBar>(w, Find("Demo_VScroll")),
                                                As<CQWF_CtrlScrollBar>(w, Find("Demo_HScroll")),
                                                As<CQWF_CtrlRuler>(w, Find("Demo_HRuler")),
                                                As<CQWF_CtrlRuler>(w, Find("Demo_VRuler")),
                                                As<CQWF_CtrlStaticImage>(w, Find("Demo_Navigator")));
    if (previewShown) preview.SetZoom(2, -1, -1, true);
    w.Show();
    Pump(ws);

    // A click on the middle of every control's rectangle, the wheel over the preview, typing.
    for (size_t i = 0; i < kControlCount; ++i) {
        CQWF_Control* c = w.index[i] >= 0 ? w.GetControl(w.index[i]) : nullptr;
        if (!c) continue;
        const QWF_Rect r = c->GetRect();
        ClickAt(ws, w, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    if (previewShown) {
        QWF_Rect r{0, 0, 0, 0};
        w.GetWindowRect(r);
        ws.MovePointer(r.left + (view.left + view.right) / 2, r.top + (view.top + view.bottom) / 2);
        ws.Wheel(2);
        Pump(ws);
    }
    ws.TypeText("Ab 1");
    ws.PressKey(qwp::vk::Back);
    Pump(ws);
    if (CQWF_Control* slider = w.index[Find("Demo_Slider")] >= 0 ? w.GetControl(w.index[Find("Demo_Slider")]) : nullptr) {
        const QWF_Rect s = slider->GetRect();
        QWF_Rect r{0, 0, 0, 0};
        w.GetWindowRect(r);
        ws.MovePointer(r.left + s.left + 2, r.top + (s.top + s.bottom) / 2);
        ws.PressButton(0);
        Pump(ws);
        ws.MovePointer(r.left + s.right - 2, r.top + (s.top + s.bottom) / 2);
        Pump(ws);
        ws.ReleaseButton(0);
        Pump(ws);
    }
    ws.AdvanceTime(2000);
    Pump(ws);
    w.Close();
    Pump(ws);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static qwp::HeadlessWindowSystem ws;
    static CQWF_Image photo;
    static const bool once = [] {
        qwp::SetWindowSystem(&ws);
        Check(photo.Create(300, 200, QWF_IMAGE_RGB));
        photo.Fill(0xFF806040u);
        return true;
    }();
    (void)once;
    std::vector<uint8_t> bytes(data, data + size);
    qwfuzz::SealPackage(bytes);
    Check(qwfuzz::WriteFile(qwfuzz::HostPath("skin.qws4"), bytes.data(), bytes.size()));

    CQWF_App app;
    CQWF_App::SetApp(&app);
    if (app.LoadPackageFromFile(qwfuzz::WindowsPath("skin.qws4").c_str(), true)) {
        DemoWindow w;
        if (w.CreateFromSkin("Demo", QWF_WHOLE, QWF_WHOLE, nullptr, 0)) {
            Check(w.GetWidth() > 0 && w.GetHeight() > 0);
            Use(ws, w, photo);
        }
    }
    CQWF_App::SetApp(nullptr);
    return 0;
}
