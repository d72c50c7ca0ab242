// A window and a control that record what reaches them, and a small skin, for the toolkit tests.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"

namespace uitest {

// The compiled skin package, as a Windows path.
inline std::string PackagePath() { return qwp::ToWindowsPath((qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str()); }

// A rectangle's left, top, right and bottom, to compare in one go.
template <class R>
std::array<int32_t, 4> Edges(const R& r)
{
    return {r.left, r.top, r.right, r.bottom};
}
using Ltrb = std::array<int32_t, 4>;

// Whether a point lies in one of the rectangles (right and bottom exclusive).
template <class R>
bool Inside(const std::vector<R>& rects, int32_t x, int32_t y)
{
    return std::any_of(rects.begin(), rects.end(), [&](const R& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; });
}

// A scroll bar's range and page.
template <class Bar>
std::pair<uint32_t, uint32_t> RangeAndPage(Bar* bar)
{
    uint32_t range = 0, page = 0;
    bar->GetRange(range, page);
    return {range, page};
}

// Colours of the test skin (0xRRGGBB).
constexpr uint32_t kFace = 0x2E3138;
constexpr uint32_t kCaption = 0xF28C28;
constexpr uint32_t kCaptionOff = 0x8A9099;

// Colours equal within 1 per channel (the face's alpha blend keeps 1 of the colour below).
inline bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d < -1 || d > 1) return false;
    }
    return true;
}

// A window skin "name": a w x h background with 8-pixel cut corners, a 28-pixel caption with a
// transparent hole at (w-50, 4)-(w-10, 24) where a control may sit, an inactive caption.
inline void AddWindowSkin(qwtest::SkinBuilder& skin, const std::string& name, int32_t w, int32_t h,
                          bool captions = true)
{
    const std::string folder = "UIResources>Windows>" + name;
    skin.Image(folder + ">Background", {0, 0, w, h}, [=](int32_t x, int32_t y) -> uint32_t {
        const int32_t dx = std::min(x, w - 1 - x), dy = std::min(y, h - 1 - y);
        const bool cut = dx + dy < 8;
        return (cut ? 0u : 0xFF000000u) | (kFace + ((x + y) & 1));
    });
    if (!captions) return;
    auto caption = [=](uint32_t colour) {
        return [=](int32_t x, int32_t y) -> uint32_t {
            const bool hole = x >= w - 50 && x < w - 10 && y >= 4 && y < 24;
            return (hole ? 0u : 0xFF000000u) | colour;
        };
    };
    skin.Image(folder + ">Caption_Active", {0, 0, w, 28}, caption(kCaption));
    skin.Image(folder + ">Caption_Inactive", {0, 0, w, 28}, caption(kCaptionOff));
}

class RecordingControl : public CQWF_Control {
public:
    RecordingControl(const QWF_Rect& rect, const char* name, std::vector<std::string>* log,
                     uint8_t kind = QWF_CTRL_BUTTON)
        : m_rect(rect), m_tag(name), m_log(log), m_kindWanted(kind)
    {
    }
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override
    {
        CQWF_Control::Create(window, index, name, storage);
        m_name = m_tag.c_str();
        m_kind = m_kindWanted;
        m_created = true;
        return true;
    }
    QWF_Rect GetRect() override { return m_rect; }
    bool HitTest(int32_t x, int32_t y) override
    {
        return x >= m_rect.left && x < m_rect.right && y >= m_rect.top && y < m_rect.bottom;
    }
    // Hit whether enabled or not, as a static image is.
    bool HitTestIfEnabled(int32_t x, int32_t y) override
    {
        return hitWhenDisabled ? HitTest(x, y) : CQWF_Control::HitTestIfEnabled(x, y);
    }
    bool OnMouseDown(int32_t x, int32_t y, uint32_t) override { return Note("down", x, y, downResult); }
    bool OnMouseUp(int32_t x, int32_t y, uint32_t) override { return Note("up", x, y, true); }
    bool OnMouseMove(int32_t x, int32_t y, uint32_t) override
    {
        return logMoves ? Note("move", x, y, moveResult) : moveResult;
    }
    bool OnMouseWheel(int32_t, int32_t, uint32_t, int32_t steps) override
    {
        return Note("wheel", steps, 0, wheelResult);
    }
    bool OnDoubleClick(int32_t x, int32_t y, uint32_t) override { return Note("double", x, y, true); }
    bool OnTripleClick(int32_t x, int32_t y, uint32_t) override { return Note("triple", x, y, true); }
    bool OnKeyDown(uint32_t code, uint32_t) override { return Note("key", code, 0, keyResult); }
    bool OnChar(uint32_t c, uint32_t) override { return Note("char", c, 0, true); }
    bool OnTimer(uint32_t slot) override { return Note("timer", slot, 0, true); }

    bool downResult = true;
    bool moveResult = false;
    bool wheelResult = true;
    bool keyResult = false;
    bool logMoves = false;
    bool hitWhenDisabled = false;

private:
    bool Note(const char* what, int32_t a, int32_t b, bool result)
    {
        if (m_log) m_log->push_back(m_tag + ":" + what + ":" + std::to_string(a) + "," + std::to_string(b));
        return result;
    }
    QWF_Rect m_rect;
    std::string m_tag;
    std::vector<std::string>* m_log;
    uint8_t m_kindWanted;
};

class RecordingWindow : public CQWF_Window {
public:
    bool OnHoverControl(int32_t index) override { return Note("hover:" + std::to_string(index), index != refuseHover); }
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void*) override
    {
        return Note("notify:" + std::to_string(code) + ":" + std::to_string(index) + ":" + (name ? name : "") + ":" +
                        std::to_string(kind),
                    true);
    }
    bool OnKeyDown(uint32_t code, uint32_t mods) override
    {
        Note("keydown:" + std::to_string(code) + "," + std::to_string(mods), true);
        if (code == QWF_KEY_ESCAPE && IsModal()) EndModal(0);
        if (code == QWF_KEY_ENTER && IsModal()) EndModal(1);
        return true;
    }
    bool OnChar(uint32_t c, uint32_t) override { return Note("char:" + std::to_string(c), true); }
    bool OnTimer(uint32_t id) override { return Note("timer:" + std::to_string(id), true); }
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t) override { return Note("ldown:" + Point(x, y), false); }
    bool OnLButtonUp(int32_t x, int32_t y, uint32_t) override { return Note("lup:" + Point(x, y), false); }
    bool OnDoubleClick(int32_t, int32_t, uint32_t) override { return Note("double", false); }
    bool OnTripleClick(int32_t, int32_t, uint32_t) override { return Note("triple", false); }
    // Entries of the log that start with the prefix.
    std::vector<std::string> Only(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& s : log)
            if (s.rfind(prefix, 0) == 0) out.push_back(s);
        return out;
    }

    std::vector<std::string> log;
    int32_t refuseHover = -100;

private:
    bool Note(const std::string& entry, bool result)
    {
        log.push_back(entry);
        return result;
    }
    static std::string Point(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }
};

}  // namespace uitest
