#include "platform/qw_winsys_headless.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <poll.h>
#include <utility>
#include <vector>

#include "platform/qw_chooser.h"
#include "platform/qw_clock.h"
#include "platform/qw_surface.h"

namespace qwp {

namespace {
// A US keyboard: the character a key gives without and with Shift (0: none).
struct KeyChars {
    uint32_t key;
    uint8_t plain;
    uint8_t shifted;
};
constexpr KeyChars kKeyChars[] = {
    {'0', '0', ')'}, {'1', '1', '!'}, {'2', '2', '@'}, {'3', '3', '#'}, {'4', '4', '$'},
    {'5', '5', '%'}, {'6', '6', '^'}, {'7', '7', '&'}, {'8', '8', '*'}, {'9', '9', '('},
    {vk::Space, ' ', ' '}, {vk::Return, '\r', '\r'}, {vk::Back, 8, 8}, {vk::Tab, '\t', '\t'},
    {vk::Escape, 27, 27}, {vk::Semicolon, ';', ':'}, {vk::Equals, '=', '+'}, {vk::Comma, ',', '<'},
    {vk::Minus, '-', '_'}, {vk::Period, '.', '>'}, {vk::Slash, '/', '?'}, {vk::Grave, '`', '~'},
    {vk::BracketLeft, '[', '{'}, {vk::Backslash, '\\', '|'}, {vk::BracketRight, ']', '}'},
    {vk::Quote, '\'', '"'}, {vk::Multiply, '*', '*'}, {vk::Add, '+', '+'},
    {vk::Subtract, '-', '-'}, {vk::Decimal, '.', '.'}, {vk::Divide, '/', '/'},
};

uint8_t CharOfKey(uint32_t key, bool shift, bool ctrl)
{
    if (key >= 'A' && key <= 'Z') {
        if (ctrl) return static_cast<uint8_t>(key - 'A' + 1);
        return static_cast<uint8_t>(shift ? key : key + 32);
    }
    if (ctrl) return 0;
    if (key >= vk::Numpad0 && key <= vk::Numpad0 + 9) return static_cast<uint8_t>('0' + key - vk::Numpad0);
    for (const KeyChars& k : kKeyChars)
        if (k.key == key) return shift ? k.shifted : k.plain;
    return 0;
}

bool KeyForChar(uint8_t c, uint32_t& key, bool& shift)
{
    if (c >= 'a' && c <= 'z') {
        key = c - 32u;
        shift = false;
        return true;
    }
    if (c >= 'A' && c <= 'Z') {
        key = c;
        shift = true;
        return true;
    }
    for (const KeyChars& k : kKeyChars) {
        if (k.key >= vk::Multiply && k.key <= vk::Divide) continue;
        if (k.plain == c) {
            key = k.key;
            shift = false;
            return true;
        }
        if (k.shifted == c) {
            key = k.key;
            shift = true;
            return true;
        }
    }
    return false;
}

int64_t Distance(const ScreenRect& a, const ScreenRect& b)
{
    int64_t dx = std::max<int64_t>({0, int64_t(a.left) - b.right, int64_t(b.left) - a.right});
    int64_t dy = std::max<int64_t>({0, int64_t(a.top) - b.bottom, int64_t(b.top) - a.bottom});
    return dx * dx + dy * dy;
}

int64_t OverlapArea(const ScreenRect& a, const ScreenRect& b)
{
    int64_t w = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    int64_t h = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return std::max<int64_t>(w, 0) * std::max<int64_t>(h, 0);
}
}  // namespace

std::unique_ptr<WindowSystem> CreateHeadlessWindowSystem()
{
    return std::make_unique<HeadlessWindowSystem>();
}

std::unique_ptr<WindowSystem> CreateProgramHeadlessWindowSystem()
{
    auto ws = std::make_unique<HeadlessWindowSystem>();
    ws->SetEchoMessageBoxes(true);
    return ws;
}

HeadlessWindowSystem::HeadlessWindowSystem()
{
    m_wasVirtual = IsVirtualClock();
    UseVirtualClock(true);
    // A system clock counts from its start long ago; so does this one.
    if (TickCount64() < 1000000) SetVirtualTime(1000000);
    m_monitors = {{0, 0, 1366, 768}};
    m_workAreas = {{0, 0, 1366, 728}};
}

HeadlessWindowSystem::~HeadlessWindowSystem() { UseVirtualClock(m_wasVirtual); }

void HeadlessWindowSystem::SetMonitors(const std::vector<ScreenRect>& monitors,
                                       const std::vector<ScreenRect>& workAreas)
{
    if (monitors.empty() || monitors.size() != workAreas.size()) return;
    m_monitors = monitors;
    m_workAreas = workAreas;
}

ScreenRect HeadlessWindowSystem::WorkArea() const { return m_workAreas[0]; }

ScreenRect HeadlessWindowSystem::NearestWorkArea(const ScreenRect& rect) const
{
    size_t best = 0;
    int64_t bestArea = -1, bestDistance = 0;
    for (size_t i = 0; i < m_monitors.size(); ++i) {
        int64_t area = OverlapArea(rect, m_monitors[i]);
        int64_t distance = Distance(rect, m_monitors[i]);
        if (area > bestArea || (area == 0 && bestArea == 0 && distance < bestDistance)) {
            best = i;
            bestArea = area;
            bestDistance = distance;
        }
    }
    return m_workAreas[best];
}

bool HeadlessWindowSystem::CaptureScreen(std::vector<uint8_t>& rgb, int32_t& width,
                                         int32_t& height) const
{
    const ScreenRect screen = m_monitors[0];
    width = screen.right - screen.left;
    height = screen.bottom - screen.top;
    rgb.assign(static_cast<size_t>(width) * height * 3, 0x40);
    // Bottom to top; children are drawn right after their parent.
    std::vector<WindowHandle> order(m_stack.rbegin(), m_stack.rend());
    auto draw = [&](const Win& w) {
        if (!w.visible) return;
        const int32_t ww = w.rect.right - w.rect.left, wh = w.rect.bottom - w.rect.top;
        const bool overlay = w.params.kind == WindowKind::Overlay;
        if (overlay && w.overlay.size() != static_cast<size_t>(ww) * wh * 4) return;
        const uint32_t stride = BitmapStride(static_cast<uint32_t>(ww));
        const uint8_t* bits = BitmapBits(w.backing);
        // Each row as the spans its shape covers (the rectangles may overlap: each pixel once).
        std::vector<std::pair<int32_t, int32_t>> spans;
        for (int32_t y = std::max(0, -w.rect.top); y < wh; ++y) {
            const int32_t sy = w.rect.top + y - screen.top;
            if (sy >= height) break;
            spans.clear();
            if (w.shape.empty()) spans.push_back({0, ww});
            for (const ScreenRect& r : w.shape)
                if (y >= r.top && y < r.bottom && r.left < r.right) spans.push_back({r.left, r.right});
            std::sort(spans.begin(), spans.end());
            int32_t done = std::max(0, -w.rect.left);
            for (const auto& span : spans) {
                const int32_t end = std::min({span.second, ww, width + screen.left - w.rect.left});
                for (int32_t x = std::max(span.first, done); x < end; ++x) {
                    const int32_t sx = w.rect.left + x - screen.left;
                    uint8_t* d = &rgb[(static_cast<size_t>(sy) * width + sx) * 3];
                    if (overlay) {
                        const uint8_t* s = &w.overlay[(static_cast<size_t>(y) * ww + x) * 4];
                        const uint32_t a = s[3];
                        // Premultiplied source over: d = s + d * (255 - a) / 255.
                        d[0] = static_cast<uint8_t>(std::min<uint32_t>(255, s[2] + d[0] * (255 - a) / 255));
                        d[1] = static_cast<uint8_t>(std::min<uint32_t>(255, s[1] + d[1] * (255 - a) / 255));
                        d[2] = static_cast<uint8_t>(std::min<uint32_t>(255, s[0] + d[2] * (255 - a) / 255));
                    } else {
                        const uint8_t* s = bits + static_cast<size_t>(wh - 1 - y) * stride + x * 3u;
                        d[0] = s[2];
                        d[1] = s[1];
                        d[2] = s[0];
                    }
                }
                done = std::max(done, end);
            }
        }
    };
    // Each window is followed by its children, oldest first, each with its own children.
    std::function<void(WindowHandle)> drawFamily = [&](WindowHandle h) {
        const Win* w = Find(h);
        if (!w || !w->visible) return;
        draw(*w);
        for (WindowHandle c : AllWindows())
            if (IsChild(c) && GetParent(c) == h) drawFamily(c);
    };
    for (WindowHandle h : order)
        if (!IsChild(h)) drawFamily(h);
    return true;
}

const std::vector<uint8_t>* HeadlessWindowSystem::OverlayPixels(WindowHandle window) const
{
    const Win* w = Find(window);
    return w && w->params.kind == WindowKind::Overlay ? &w->overlay : nullptr;
}

const std::vector<ScreenRect>* HeadlessWindowSystem::ShapeOf(WindowHandle window) const
{
    const Win* w = Find(window);
    return w ? &w->shape : nullptr;
}

void HeadlessWindowSystem::GetPointerPosition(int32_t& x, int32_t& y) const
{
    x = m_px;
    y = m_py;
}

bool HeadlessWindowSystem::IsKeyHeld(uint32_t key) const
{
    return std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end();
}

uint32_t HeadlessWindowSystem::LiveModifiers() const
{
    uint32_t m = 0;
    if (IsKeyHeld(vk::Alt)) m |= kModAlt;
    if (IsKeyHeld(vk::Shift)) m |= kModShift;
    if (IsKeyHeld(vk::Control)) m |= kModCtrl;
    if (IsKeyHeld(vk::Space)) m |= kModSpace;
    return m;
}

uint32_t HeadlessWindowSystem::MouseFlags() const
{
    uint32_t f = 0;
    if (m_buttons & 1) f |= kMouseLeft;
    if (m_buttons & 2) f |= kMouseRight;
    if (m_buttons & 4) f |= kMouseMiddle;
    if (IsKeyHeld(vk::Shift)) f |= kMouseShift;
    if (IsKeyHeld(vk::Control)) f |= kMouseCtrl;
    return f;
}

void HeadlessWindowSystem::MovePointer(int32_t x, int32_t y)
{
    Progress();
    m_px = x;
    m_py = y;
    DeliverPointer(EventType::MouseMove, x, y, MouseFlags());
}

void HeadlessWindowSystem::PressButton(int button)
{
    Progress();
    static constexpr EventType kDown[] = {EventType::LButtonDown, EventType::RButtonDown,
                                          EventType::MButtonDown};
    if (button < 0 || button > 2) return;
    m_buttons |= 1u << button;
    DeliverPointer(kDown[button], m_px, m_py, MouseFlags());
}

void HeadlessWindowSystem::ReleaseButton(int button)
{
    Progress();
    static constexpr EventType kUp[] = {EventType::LButtonUp, EventType::RButtonUp,
                                        EventType::MButtonUp};
    if (button < 0 || button > 2) return;
    m_buttons &= ~(1u << button);
    DeliverPointer(kUp[button], m_px, m_py, MouseFlags());
}

void HeadlessWindowSystem::Click(int32_t x, int32_t y, int button)
{
    MovePointer(x, y);
    PressButton(button);
    ReleaseButton(button);
}

void HeadlessWindowSystem::Wheel(int32_t notches)
{
    Progress();
    DeliverPointer(EventType::MouseWheel, m_px, m_py, MouseFlags(), notches * 120);
}

void HeadlessWindowSystem::KeyDown(uint32_t key, bool repeat)
{
    Progress();
    if (!IsKeyHeld(key)) m_keys.push_back(key);
    const uint8_t c = CharOfKey(key, IsKeyHeld(vk::Shift), IsKeyHeld(vk::Control));
    uint32_t mods = LiveModifiers() & (kModAlt | kModShift | kModCtrl);
    DeliverKey(true, key, c, mods, repeat);
}

void HeadlessWindowSystem::KeyUp(uint32_t key)
{
    Progress();
    m_keys.erase(std::remove(m_keys.begin(), m_keys.end(), key), m_keys.end());
    uint32_t mods = LiveModifiers() & (kModAlt | kModShift | kModCtrl);
    DeliverKey(false, key, 0, mods, false);
}

void HeadlessWindowSystem::PressKey(uint32_t key)
{
    KeyDown(key);
    KeyUp(key);
}

void HeadlessWindowSystem::TypeText(const std::string& text)
{
    for (char ch : text) {
        const uint8_t c = static_cast<uint8_t>(ch);
        uint32_t key = 0;
        bool shift = false;
        if (c == '\n') {
            PressKey(vk::Return);
            continue;
        }
        if (!KeyForChar(c, key, shift)) {
            // A character without a key of its own arrives as a character only.
            Progress();
            DeliverKey(true, 0, c, LiveModifiers() & (kModShift | kModCtrl), false);
            continue;
        }
        const bool held = IsKeyHeld(vk::Shift);
        if (shift && !held) KeyDown(vk::Shift);
        if (!shift && held) KeyUp(vk::Shift);
        PressKey(key);
        if (shift && !held) KeyUp(vk::Shift);
        if (!shift && held) KeyDown(vk::Shift);
    }
}

void HeadlessWindowSystem::AdvanceTime(uint64_t milliseconds)
{
    Progress();
    AdvanceVirtualTime(milliseconds);
}

void HeadlessWindowSystem::PushIdleAction(std::function<void()> action)
{
    m_idleActions.push_back(std::move(action));
}

bool HeadlessWindowSystem::NativeWait(uint64_t until)
{
    if (!m_idleActions.empty()) {
        auto action = std::move(m_idleActions.front());
        m_idleActions.pop_front();
        Progress();
        action();
        return true;
    }
    if (RunIdleHook() && HasPendingEvents()) return true;
    const uint64_t now = TickCount64();
    if (until) {
        const uint64_t step = until > now ? until - now : 0;
        if (m_idleSpent + step <= m_idleLimit) {
            m_idleSpent += step;
            if (step) SetVirtualTime(until);
            return true;
        }
    }
    // Nobody acts: the user cancels the window in front.
    WindowHandle target = 0;
    if (IsWindow(m_active) && IsEnabled(m_active)) target = m_active;
    for (size_t i = 0; !target && i < m_stack.size(); ++i) {
        const Win* w = Find(m_stack[i]);
        if (w && w->visible && w->enabled && w->params.kind == WindowKind::TopLevel) target = w->handle;
    }
    if (!target) return false;
    if (target == m_lastClosed && ++m_closes > 3) return false;
    if (target != m_lastClosed) m_closes = 1;
    m_lastClosed = target;
    m_idleSpent = 0;
    NoteCloseRequest(target);
    return true;
}

void HeadlessWindowSystem::NativeWaitFor(int descriptor, uint64_t until)
{
    const uint64_t now = TickCount64();
    uint64_t next = until;
    const uint64_t due = NextTimerDue();
    if (due && due < next) next = due;
    if (descriptor >= 0) {
        // A real program is waited for: each virtual step of 20 ms lets it run for up to 50 real
        // ones, so that a slow machine does not make its answer late.
        next = std::min(next, now + 20);
        struct pollfd p = {descriptor, POLLIN, 0};
        if (next > now) poll(&p, 1, 50);
    }
    if (next > now) SetVirtualTime(next);
}

int32_t HeadlessWindowSystem::NativeMessageBox(const MessageBoxRequest& request, bool& handled)
{
    if (m_echoBoxes) std::fprintf(stderr, "message box: %s: %s\n", request.caption.c_str(), request.text.c_str());
    handled = true;
    int32_t result;
    if (!m_boxAnswers.empty()) {
        result = m_boxAnswers.front();
        m_boxAnswers.pop_front();
    } else if (m_showBoxes) {
        handled = false;
        m_boxes.push_back({request, 0});
        return 0;
    } else {
        result = MessageBoxCancelResult(request.buttons);
    }
    m_boxes.push_back({request, result});
    return result;
}

void HeadlessWindowSystem::MessageBoxAnswered(int32_t result)
{
    if (!m_boxes.empty()) m_boxes.back().result = result;
}

int32_t HeadlessWindowSystem::NativePopupMenu(const MenuRequest& request)
{
    m_menus.push_back(request);
    if (m_menuAnswers.empty()) return -1;
    int32_t index = m_menuAnswers.front();
    m_menuAnswers.pop_front();
    if (index < 0 || static_cast<size_t>(index) >= request.items.size()) return -1;
    const MenuItem& item = request.items[static_cast<size_t>(index)];
    return item.separator || item.greyed ? -1 : index;
}

namespace {
// The next scripted path; none, or an empty one, cancels.
bool NextPath(std::deque<std::string>& answers, std::string& path)
{
    if (answers.empty()) return false;
    std::string answer = answers.front();
    answers.pop_front();
    if (answer.empty()) return false;
    path = answer;
    return true;
}
}  // namespace

bool HeadlessWindowSystem::NativeChooseFile(const FileChoiceRequest& request, std::string& path)
{
    m_files.push_back(request);
    return NextPath(m_fileAnswers, path);
}

bool HeadlessWindowSystem::NativeChooseFolder(const FolderChoiceRequest& request, std::string& path)
{
    m_folders.push_back(request);
    return NextPath(m_folderAnswers, path);
}

bool HeadlessWindowSystem::NativeChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3])
{
    m_colors.push_back(request);
    if (m_colorAnswers.empty()) return false;
    const std::string answer = m_colorAnswers.front();
    m_colorAnswers.pop_front();
    return ChosenColor("#" + answer, rgb);
}

bool HeadlessWindowSystem::HasClipboardText()
{
    return !m_clipboardFails && m_clipboardHasText;
}

bool HeadlessWindowSystem::GetClipboardText(std::string& text)
{
    if (m_clipboardFails || !m_clipboardHasText) return false;
    text = m_clipboard;
    return true;
}

bool HeadlessWindowSystem::SetClipboardText(const std::string& text)
{
    if (m_clipboardFails) return false;
    m_clipboard = text;
    m_clipboardHasText = !text.empty();
    return true;
}

}  // namespace qwp
