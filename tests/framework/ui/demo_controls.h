// The compiled Demo window with its controls, for the tests of the control kinds: a window that
// records every notification with its data and the virtual time, and ways to read the skin's
// elements and compare them with what the window shows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_clock.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "ui_test_windows.h"

namespace democtl {

// One notification: code, control name, its data read as the code and kind say (0 without
// data), and when it came.
struct Note {
    int32_t code;
    std::string name;
    int64_t value;
    bool hasData;
    uint32_t time;
};

class NoteWindow : public CQWF_Window {
public:
    bool OnNotify(int32_t code, int32_t, const char* name, uint8_t kind, void* data) override
    {
        Note n{code, name ? name : "", 0, data != nullptr, qwp::TickCount()};
        if (data) {
            if (code == QWF_NOTIFY_CLICK && kind == QWF_CTRL_CHECKBOX)
                n.value = *static_cast<bool*>(data);
            else if (kind == QWF_CTRL_PROGRESS)
                n.value = *static_cast<int32_t*>(data);
            else
                n.value = *static_cast<uint32_t*>(data);
        }
        notes.push_back(n);
        return true;
    }
    // The notifications of a control (and code, when not 0).
    std::vector<Note> Of(const std::string& name, int32_t code = 0) const
    {
        std::vector<Note> out;
        for (const Note& n : notes)
            if (n.name == name && (!code || n.code == code)) out.push_back(n);
        return out;
    }
    // Their values.
    std::vector<int64_t> Values(const std::string& name, int32_t code) const
    {
        std::vector<int64_t> out;
        for (const Note& n : Of(name, code)) out.push_back(n.value);
        return out;
    }
    std::vector<Note> notes;
};

using uitest::PackagePath;

// An element of the package: rectangle and the four planes.
struct Element {
    QWF_Rect rect{0, 0, 0, 0};
    CQWF_Mem block;
    int32_t W() const { return rect.right - rect.left; }
    int32_t H() const { return rect.bottom - rect.top; }
    uint8_t At(int plane, int32_t x, int32_t y) const
    {
        return block.GetData()[8 + static_cast<size_t>(plane) * W() * H() + static_cast<size_t>(y - rect.top) * W() +
                               (x - rect.left)];
    }
    uint32_t Rgb(int32_t x, int32_t y) const { return uint32_t(At(0, x, y)) << 16 | uint32_t(At(1, x, y)) << 8 | At(2, x, y); }
};

inline bool ReadElement(const std::string& key, Element& e)
{
    CQWF_Storage* storage = CQWF_App::GetApp()->GetStorage();
    return QWF_ReadSkinElement(storage, key.c_str(), 4, e.block, e.rect);
}

using uitest::Near;

// The opaque pixels of an element that the picture does not show as they are (those inside the
// rectangle left out, where something else lies over the element).
inline int Unlike(const qwtest::Picture& p, const std::string& key, const QWF_Rect& except = {0, 0, 0, 0})
{
    Element e;
    if (!ReadElement(key, e)) return -1;
    int differ = 0;
    for (int32_t y = e.rect.top; y < e.rect.bottom; ++y)
        for (int32_t x = e.rect.left; x < e.rect.right; ++x) {
            if (x >= except.left && x < except.right && y >= except.top && y < except.bottom) continue;
            if (e.At(3, x, y) == 255 && !Near(p.At(x, y), e.Rgb(x, y))) ++differ;
        }
    return differ;
}

// The Demo window from the compiled package, headless, with the controls a test adds.
struct DemoWindow : ::testing::Test {
    qwtest::HeadlessUi ui;
    NoteWindow w;

    void SetUp() override
    {
        ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
        ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
    }
    template <class T>
    T* Add(const char* name, uint8_t kind)
    {
        const int32_t index = w.AddControl(name, kind);
        EXPECT_GE(index, 0) << name << " error " << w.GetError();
        return static_cast<T*>(w.GetControl(index));
    }
    void Show()
    {
        w.Show();
        ui.Pump();
    }
    int Unlike(const std::string& key, const QWF_Rect& except = {0, 0, 0, 0})
    {
        return democtl::Unlike(ui.Pixels(w), key, except);
    }
    // Moves the clock on in steps of a millisecond, dispatching after each.
    void Wait(uint32_t ms)
    {
        for (uint32_t i = 0; i < ms; ++i) ui.Advance(1);
    }
    // Moves the pointer to a screen point away from the window.
    void Away()
    {
        ui.Ws().MovePointer(5, 5);
        ui.Pump();
    }
};

// A small skin of the test's own: the window "T" (no caption) and the elements a test adds,
// headless.
struct SmallSkin {
    qwtest::HeadlessUi ui;
    qwtest::SkinBuilder skin;
    NoteWindow w;

    SmallSkin(int32_t width, int32_t height) { uitest::AddWindowSkin(skin, "T", width, height, false); }
    static std::function<uint32_t(int32_t, int32_t)> Solid(uint32_t argb)
    {
        return [argb](int32_t, int32_t) { return argb; };
    }
    // Loads the package and creates the window.
    bool Open() { return skin.LoadInto(ui.App()) && w.CreateFromSkin("T", 100, 100, nullptr, 0); }
    // The control made from the skin, null when the window refused it.
    template <class T>
    T* Add(const char* name, uint8_t kind)
    {
        return static_cast<T*>(w.GetControl(w.AddControl(name, kind)));
    }
};

}  // namespace democtl
