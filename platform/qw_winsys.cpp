#include "platform/qw_winsys.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/qw_clock.h"
#include "platform/qw_envcheck.h"
#include "platform/qw_surface.h"
#include "platform/qw_uidraw.h"

namespace qwp {

namespace {
bool Kept(const std::vector<EventType>& keep, EventType type)
{
    return std::find(keep.begin(), keep.end(), type) != keep.end();
}

bool IsButtonDown(EventType t)
{
    return t == EventType::LButtonDown || t == EventType::RButtonDown || t == EventType::MButtonDown;
}

bool Overlaps(const ScreenRect& r) { return r.left < r.right && r.top < r.bottom; }
}  // namespace

int32_t MessageBoxCancelResult(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return kIdOk;
    case MessageButtons::AbortRetryIgnore: return kIdAbort;
    case MessageButtons::YesNo: return kIdNo;
    default: return kIdCancel;
    }
}

WindowSystem::WindowSystem() = default;

WindowSystem::~WindowSystem()
{
    for (auto& w : m_windows) DeleteBitmap(w->backing);
}

WindowSystem::Win* WindowSystem::Find(WindowHandle window)
{
    if (!window) return nullptr;
    for (auto& w : m_windows)
        if (w->handle == window) return w.get();
    return nullptr;
}

const WindowSystem::Win* WindowSystem::Find(WindowHandle window) const
{
    return const_cast<WindowSystem*>(this)->Find(window);
}

size_t WindowSystem::WindowCount() const { return m_windows.size(); }

std::vector<WindowHandle> WindowSystem::AllWindows() const
{
    std::vector<WindowHandle> out;
    for (auto& w : m_windows) out.push_back(w->handle);
    return out;
}

bool WindowSystem::HasPendingEvents() const
{
    if (!m_queue.empty() || m_quit) return true;
    for (auto& w : m_windows)
        if (Overlaps(w->paint)) return true;
    const uint64_t now = TickCount64();
    for (const TimerEntry& t : m_timers)
        if (t.due <= now) return true;
    return false;
}

WindowHandle WindowSystem::CreateWindow(const WindowParams& params)
{
    if (params.width <= 0 || params.height <= 0 || params.width > 32767 || params.height > 32767) return 0;
    const Win* parent = Find(params.owner);
    if (params.owner && !parent) return 0;
    if (params.kind == WindowKind::Child && !parent) return 0;
    auto win = std::make_unique<Win>();
    win->handle = m_nextHandle;
    m_nextHandle += 4;
    win->params = params;
    int32_t x = params.x, y = params.y;
    if (params.kind == WindowKind::Child) {
        x += parent->rect.left;
        y += parent->rect.top;
    }
    win->rect = {x, y, x + params.width, y + params.height};
    DrawContext* screen = GetScreenContext();
    uint8_t* bits = nullptr;
    win->backing = screen ? CreateBitmap(screen, params.width, params.height, &bits) : nullptr;
    ReleaseScreenContext(screen);
    if (!win->backing) return 0;
    if (!NativeCreate(*win)) {
        DeleteBitmap(win->backing);
        return 0;
    }
    WindowHandle h = win->handle;
    m_windows.push_back(std::move(win));
    m_stack.insert(m_stack.begin(), h);
    return h;
}

bool WindowSystem::IsWindow(WindowHandle window) const { return Find(window) != nullptr; }

void WindowSystem::PurgeWindow(WindowHandle window)
{
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [&](const Event& e) { return e.window == window; }),
                  m_queue.end());
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [&](const TimerEntry& t) { return t.window == window; }),
                   m_timers.end());
}

bool WindowSystem::DestroyWindow(WindowHandle window)
{
    Win* w = Find(window);
    if (!w || w->dying) return false;
    DestroyOne(window);
    return true;
}

void WindowSystem::DestroyOne(WindowHandle window)
{
    Win* w = Find(window);
    if (!w || w->dying) return;
    w->dying = true;
    // Owned and child windows go first, the newest first.
    for (;;) {
        WindowHandle next = 0;
        for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it)
            if ((*it)->params.owner == window && !(*it)->dying) {
                next = (*it)->handle;
                break;
            }
        if (!next) break;
        DestroyOne(next);
    }
    w = Find(window);
    if (m_capture == window) m_capture = 0;
    if (m_moving == window) m_moving = 0;
    if (w->visible) {
        w->visible = false;
        NativeShow(*w, ShowMode::Hide);
    }
    if (m_active == window) PassActivationFrom(window);
    Event e;
    e.type = EventType::Destroy;
    e.window = window;
    Send(e);
    w = Find(window);
    NativeDestroy(*w);
    PurgeWindow(window);
    DeleteBitmap(w->backing);
    w->backing = nullptr;
    m_stack.erase(std::remove(m_stack.begin(), m_stack.end(), window), m_stack.end());
    for (auto& other : m_windows)
        if (other->lastActivePopup == window) other->lastActivePopup = 0;
    m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(),
                                   [&](const std::unique_ptr<Win>& p) { return p->handle == window; }),
                    m_windows.end());
}

WindowHandle WindowSystem::RootOf(WindowHandle window) const
{
    const Win* w = Find(window);
    while (w && w->params.owner) {
        const Win* up = Find(w->params.owner);
        if (!up) break;
        w = up;
    }
    return w ? w->handle : 0;
}

void WindowSystem::PassActivationFrom(WindowHandle window)
{
    const Win* w = Find(window);
    WindowHandle next = 0;
    for (WindowHandle o = w ? w->params.owner : 0; o;) {
        const Win* ow = Find(o);
        if (!ow) break;
        if (ow->visible && ow->enabled && ow->params.kind == WindowKind::TopLevel && !ow->dying) {
            next = o;
            break;
        }
        o = ow->params.owner;
    }
    SetActiveWindow(next);
    if (m_active == window) SetActiveWindow(0);
}

void WindowSystem::Raise(WindowHandle window)
{
    // The window goes to the top, its owned windows above it, keeping their own order.
    std::vector<WindowHandle> family{window};
    for (size_t i = 0; i < family.size(); ++i)
        for (WindowHandle h : m_stack) {
            const Win* o = Find(h);
            if (o && o->params.owner == family[i] && o->params.kind != WindowKind::Child &&
                std::find(family.begin(), family.end(), h) == family.end())
                family.push_back(h);
        }
    std::vector<WindowHandle> moved;
    for (WindowHandle h : m_stack)
        if (std::find(family.begin(), family.end(), h) != family.end()) moved.push_back(h);
    // Owners below their owned windows: the window itself last among the moved ones.
    std::stable_partition(moved.begin(), moved.end(), [&](WindowHandle h) { return h != window; });
    std::vector<WindowHandle> rest;
    for (WindowHandle h : m_stack)
        if (std::find(moved.begin(), moved.end(), h) == moved.end()) rest.push_back(h);
    m_stack = moved;
    m_stack.insert(m_stack.end(), rest.begin(), rest.end());
    NativeRestack();
}

bool WindowSystem::ShowWindow(WindowHandle window, ShowMode mode)
{
    Win* w = Find(window);
    if (!w || w->dying) return false;
    if (mode == ShowMode::Hide) {
        if (!w->visible) return true;
        w->visible = false;
        NativeShow(*w, mode);
        if (m_capture == window) ReleaseCapture();
        if (m_active == window) PassActivationFrom(window);
        return true;
    }
    if (!w->visible) {
        w->visible = true;
        w->everShown = true;
        NativeShow(*w, mode);
        AddPaint(window, {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top});
        Event e;
        e.type = EventType::Shown;
        e.window = window;
        Send(e);
        w = Find(window);
        if (!w) return true;
    }
    if (mode == ShowMode::Show && w->params.kind == WindowKind::TopLevel && w->enabled)
        SetActiveWindow(window);
    return true;
}

bool WindowSystem::IsVisible(WindowHandle window) const
{
    const Win* w = Find(window);
    return w && w->visible;
}

bool WindowSystem::MoveWindow(WindowHandle window, int32_t x, int32_t y)
{
    Win* w = Find(window);
    if (!w) return false;
    if (w->params.kind == WindowKind::Child) {
        const Win* p = Find(w->params.owner);
        if (p) x += p->rect.left, y += p->rect.top;
    }
    int32_t dx = x - w->rect.left, dy = y - w->rect.top;
    if (!dx && !dy) return true;
    w->rect.left += dx, w->rect.right += dx, w->rect.top += dy, w->rect.bottom += dy;
    NativeMove(*w);
    // Children move with their parent.
    for (auto& c : m_windows)
        if (c->params.kind == WindowKind::Child && c->params.owner == window) {
            c->rect.left += dx, c->rect.right += dx, c->rect.top += dy, c->rect.bottom += dy;
        }
    NoteMoved(window, w->rect.left, w->rect.top);
    return true;
}

void WindowSystem::NoteMoved(WindowHandle window, int32_t x, int32_t y)
{
    Win* w = Find(window);
    if (!w) return;
    int32_t width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    w->rect = {x, y, x + width, y + height};
    Event e;
    e.type = EventType::Move;
    e.window = window;
    e.x = x;
    e.y = y;
    Send(e);
}

bool WindowSystem::GetWindowRect(WindowHandle window, ScreenRect& rect) const
{
    const Win* w = Find(window);
    if (!w) return false;
    rect = w->rect;
    return true;
}

bool WindowSystem::PlaceBehind(WindowHandle window, WindowHandle above)
{
    if (!Find(window) || (above && !Find(above)) || window == above) return false;
    m_stack.erase(std::remove(m_stack.begin(), m_stack.end(), window), m_stack.end());
    auto at = above ? std::find(m_stack.begin(), m_stack.end(), above) + 1 : m_stack.end();
    m_stack.insert(at, window);
    NativeRestack();
    return true;
}

bool WindowSystem::EnableWindow(WindowHandle window, bool enable)
{
    Win* w = Find(window);
    if (!w) return false;
    bool was = w->enabled;
    w->enabled = enable;
    if (!enable && was) {
        if (m_capture == window) ReleaseCapture();
        if (m_active == window) {
            // A disabled window keeps its place but gets no keys.
        }
    }
    return was;
}

bool WindowSystem::IsEnabled(WindowHandle window) const
{
    const Win* w = Find(window);
    return w && w->enabled;
}

WindowHandle WindowSystem::GetParent(WindowHandle window) const
{
    const Win* w = Find(window);
    return w ? w->params.owner : 0;
}

bool WindowSystem::IsChild(WindowHandle window) const
{
    const Win* w = Find(window);
    return w && w->params.kind == WindowKind::Child;
}

std::vector<WindowHandle> WindowSystem::TopLevelWindows() const
{
    std::vector<WindowHandle> out;
    for (auto& w : m_windows)
        if (w->params.kind != WindowKind::Child && !w->dying) out.push_back(w->handle);
    return out;
}

bool WindowSystem::Contains(const Win& w, int32_t x, int32_t y) const
{
    if (x < w.rect.left || y < w.rect.top || x >= w.rect.right || y >= w.rect.bottom) return false;
    if (w.shape.empty()) return true;
    int32_t cx = x - w.rect.left, cy = y - w.rect.top;
    for (const ScreenRect& r : w.shape)
        if (cx >= r.left && cx < r.right && cy >= r.top && cy < r.bottom) return true;
    return false;
}

WindowHandle WindowSystem::WindowFromPoint(int32_t x, int32_t y) const
{
    for (WindowHandle h : m_stack) {
        const Win* w = Find(h);
        if (!w || !w->visible || w->inputTransparent || w->params.kind == WindowKind::Overlay ||
            w->params.kind == WindowKind::Child)
            continue;
        if (!Contains(*w, x, y)) continue;
        // The deepest visible child under the point.
        WindowHandle found = h;
        for (bool deeper = true; deeper;) {
            deeper = false;
            for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
                const Win& c = **it;
                if (c.params.kind == WindowKind::Child && c.params.owner == found && c.visible &&
                    Contains(c, x, y)) {
                    found = c.handle;
                    deeper = true;
                    break;
                }
            }
        }
        return found;
    }
    return 0;
}

bool WindowSystem::SetShape(WindowHandle window, const std::vector<ScreenRect>& rects)
{
    Win* w = Find(window);
    if (!w) return false;
    w->shape.clear();
    for (const ScreenRect& r : rects)
        if (Overlaps(r)) w->shape.push_back(r);
    NativeShape(*w);
    return true;
}

bool WindowSystem::SetInputTransparent(WindowHandle window, bool transparent)
{
    Win* w = Find(window);
    if (!w) return false;
    w->inputTransparent = transparent;
    NativeInputTransparent(*w);
    return true;
}

bool WindowSystem::SetTitle(WindowHandle window, const std::string& title)
{
    Win* w = Find(window);
    if (!w) return false;
    w->params.title = title;
    NativeTitle(*w);
    return true;
}

void WindowSystem::PresentCallback(void* owner, intptr_t tag, int32_t x, int32_t y, int32_t w,
                                   int32_t h)
{
    WindowSystem* ws = static_cast<WindowSystem*>(owner);
    Win* win = ws->Find(tag);
    if (win && w > 0 && h > 0) ws->NativePresent(*win, x, y, w, h);
}

DrawContext* WindowSystem::GetWindowContext(WindowHandle window)
{
    Win* w = Find(window);
    if (!w || !w->backing) return nullptr;
    return CreateTargetContext(w->backing, &PresentCallback, this, window);
}

void WindowSystem::ReleaseWindowContext(DrawContext* dc) { DeleteMemoryContext(dc); }

bool WindowSystem::UpdateOverlay(WindowHandle window, const uint8_t* bgra, int32_t width,
                                 int32_t height)
{
    Win* w = Find(window);
    if (!w || w->params.kind != WindowKind::Overlay || !bgra) return false;
    if (width != w->rect.right - w->rect.left || height != w->rect.bottom - w->rect.top) return false;
    if (!CanBlend()) return false;
    w->overlay.assign(bgra, bgra + static_cast<size_t>(width) * height * 4);
    return NativeUpdateOverlay(*w);
}

bool WindowSystem::CaptureWindow(WindowHandle window, std::vector<uint8_t>& rgb, int32_t& width,
                                 int32_t& height)
{
    const Win* w = Find(window);
    if (!w || !w->backing) return false;
    width = BitmapWidth(w->backing);
    height = BitmapHeight(w->backing);
    const uint32_t stride = BitmapStride(static_cast<uint32_t>(width));
    const uint8_t* bits = BitmapBits(w->backing);
    rgb.resize(static_cast<size_t>(width) * height * 3);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = bits + static_cast<size_t>(height - 1 - y) * stride;
        uint8_t* dst = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int32_t x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return true;
}

WindowHandle WindowSystem::SetActiveWindow(WindowHandle window)
{
    WindowHandle prev = m_active;
    if (window) {
        Win* w = Find(window);
        if (!w || w->dying || !w->visible || !w->enabled) return prev;
        if (w->params.kind == WindowKind::Overlay) return prev;
        if (w->params.kind == WindowKind::Child) {
            window = RootOf(window);
            w = Find(window);
            if (!w || !w->visible || !w->enabled) return prev;
        }
    }
    if (window == prev) {
        if (window) Raise(window);
        return prev;
    }
    m_active = window;
    if (window) {
        Raise(window);
        if (Win* root = Find(RootOf(window))) root->lastActivePopup = window;
    }
    NativeActivate(Find(window));
    auto sendApp = [&](uint32_t active) {
        for (WindowHandle h : TopLevelWindows()) {
            Event e;
            e.type = EventType::ActivateApp;
            e.window = h;
            e.flags = active;
            Send(e);
        }
    };
    auto sendActivate = [&](WindowHandle to, uint32_t active, WindowHandle other) {
        Event e;
        e.type = EventType::Activate;
        e.window = to;
        e.flags = active;
        e.param = other;
        Send(e);
    };
    if (!prev) sendApp(1);
    if (prev && IsWindow(prev)) sendActivate(prev, 0, window);
    if (window && m_active == window) sendActivate(window, 1, prev);
    if (!window) sendApp(0);
    return prev;
}

void WindowSystem::NoteFocus(WindowHandle window)
{
    // The system moved the focus (another program, or its window manager).
    if (window != m_active) SetActiveWindow(window);
}

WindowHandle WindowSystem::GetLastActivePopup(WindowHandle root) const
{
    const Win* r = Find(root);
    if (!r) return 0;
    const Win* p = Find(r->lastActivePopup);
    if (p && p->visible && p->enabled) return p->handle;
    return root;
}

WindowHandle WindowSystem::SetCapture(WindowHandle window)
{
    WindowHandle prev = m_capture;
    if (!Find(window)) return prev;
    m_capture = window;
    NativeCapture(Find(window));
    if (prev && prev != window && IsWindow(prev)) {
        Event e;
        e.type = EventType::CaptureChanged;
        e.window = prev;
        e.param = window;
        Send(e);
    }
    return prev;
}

bool WindowSystem::ReleaseCapture()
{
    WindowHandle prev = m_capture;
    m_capture = 0;
    NativeCapture(nullptr);
    if (prev && IsWindow(prev)) {
        Event e;
        e.type = EventType::CaptureChanged;
        e.window = prev;
        Send(e);
    }
    return true;
}

bool WindowSystem::DefineCursor(int32_t id, const uint8_t* bgra, int32_t width, int32_t height,
                                int32_t hotX, int32_t hotY)
{
    if (id < 100 || !bgra || width <= 0 || height <= 0 || width > 256 || height > 256) return false;
    Cursor c;
    c.id = id;
    c.width = width;
    c.height = height;
    c.hotX = std::clamp(hotX, 0, width - 1);
    c.hotY = std::clamp(hotY, 0, height - 1);
    c.bgra.assign(bgra, bgra + static_cast<size_t>(width) * height * 4);
    for (Cursor& old : m_cursors)
        if (old.id == id) {
            old = std::move(c);
            return true;
        }
    m_cursors.push_back(std::move(c));
    return true;
}

const WindowSystem::Cursor* WindowSystem::FindCursor(int32_t id) const
{
    for (const Cursor& c : m_cursors)
        if (c.id == id) return &c;
    return nullptr;
}

bool WindowSystem::HasCursor(int32_t id) const
{
    return id == kCursorArrow || id == kCursorIBeam || FindCursor(id) != nullptr;
}

void WindowSystem::SetCursorShape(int32_t id)
{
    if (!HasCursor(id)) id = kCursorArrow;
    if (id == m_cursor) return;
    m_cursor = id;
    NativeCursor(id >= 100 ? FindCursor(id) : nullptr);
}

bool WindowSystem::SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds)
{
    if (!Find(window)) return false;
    uint32_t interval = std::max<uint32_t>(milliseconds, 1);
    uint64_t due = TickCount64() + interval;
    for (TimerEntry& t : m_timers)
        if (t.window == window && t.id == id) {
            t.interval = interval;
            t.due = due;
            return true;
        }
    m_timers.push_back({window, id, interval, due});
    return true;
}

bool WindowSystem::KillTimer(WindowHandle window, uint32_t id)
{
    auto it = std::find_if(m_timers.begin(), m_timers.end(),
                           [&](const TimerEntry& t) { return t.window == window && t.id == id; });
    if (it == m_timers.end()) return false;
    m_timers.erase(it);
    // A tick already made for it is withdrawn too.
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [&](const Event& e) {
                                     return e.type == EventType::Timer && e.window == window &&
                                            e.code == id;
                                 }),
                  m_queue.end());
    return true;
}

uint64_t WindowSystem::NextTimerDue() const
{
    uint64_t next = m_idleWake;
    for (const TimerEntry& t : m_timers)
        if (!next || t.due < next) next = t.due;
    return next;
}

bool WindowSystem::TakeQueued(Event& event, WindowHandle window, const std::vector<EventType>& keep)
{
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        if (window && it->window != window) continue;
        if (Kept(keep, it->type)) continue;
        event = *it;
        m_queue.erase(it);
        return true;
    }
    return false;
}

bool WindowSystem::TakeEvent(Event& event, WindowHandle window, const std::vector<EventType>& keep)
{
    NativePoll();
    if (TakeQueued(event, window, keep)) return true;
    if (!window && m_quit && !Kept(keep, EventType::Quit)) {
        m_quit = false;
        event = Event();
        event.type = EventType::Quit;
        event.param = m_quitCode;
        return true;
    }
    if (!Kept(keep, EventType::Paint)) {
        for (auto& w : m_windows) {
            if (window && w->handle != window) continue;
            if (!Overlaps(w->paint)) continue;
            event = Event();
            event.type = EventType::Paint;
            event.window = w->handle;
            event.x = w->paint.left;
            event.y = w->paint.top;
            event.width = w->paint.right - w->paint.left;
            event.height = w->paint.bottom - w->paint.top;
            w->paint = ScreenRect();
            return true;
        }
    }
    if (!Kept(keep, EventType::Timer)) {
        const uint64_t now = TickCount64();
        TimerEntry* best = nullptr;
        for (TimerEntry& t : m_timers) {
            if (window && t.window != window) continue;
            if (t.due <= now && (!best || t.due < best->due)) best = &t;
        }
        if (best) {
            event = Event();
            event.type = EventType::Timer;
            event.window = best->window;
            event.code = best->id;
            best->due = now + best->interval;
            return true;
        }
    }
    return false;
}

bool WindowSystem::GetEvent(Event& event)
{
    for (;;) {
        if (TakeEvent(event, 0)) return event.type != EventType::Quit;
        if (!NativeWait(NextTimerDue())) {
            WatchdogFailure("the program waits for events that can never arrive");
            event = Event();
            event.type = EventType::Quit;
            event.param = -1;
            return false;
        }
    }
}

intptr_t WindowSystem::Dispatch(const Event& event)
{
    if (!event.window) return 0;
    return Send(event);
}

intptr_t WindowSystem::Send(const Event& event)
{
    const Win* w = Find(event.window);
    if (!w) return 0;
    if (w->params.client) return w->params.client->HandleEvent(event);
    return DefaultHandling(event);
}

bool WindowSystem::Post(const Event& event)
{
    if (event.window && !Find(event.window)) return false;
    if (event.type == EventType::Quit) {
        PostQuit(static_cast<int32_t>(event.param));
        return true;
    }
    m_queue.push_back(event);
    return true;
}

void WindowSystem::PostQuit(int32_t code)
{
    m_quit = true;
    m_quitCode = code;
}

intptr_t WindowSystem::DefaultHandling(const Event& event)
{
    switch (event.type) {
    case EventType::Close: DestroyWindow(event.window); return 0;
    case EventType::SetCursor:
        if (!(event.flags & 1)) SetCursorShape(kCursorArrow);
        return 0;
    default: return 0;
    }
}

void WindowSystem::AddPaint(WindowHandle window, const ScreenRect& area)
{
    Win* w = Find(window);
    if (!w) return;
    ScreenRect a = area;
    a.left = std::max(a.left, 0);
    a.top = std::max(a.top, 0);
    a.right = std::min(a.right, w->rect.right - w->rect.left);
    a.bottom = std::min(a.bottom, w->rect.bottom - w->rect.top);
    if (!Overlaps(a)) return;
    if (!Overlaps(w->paint)) {
        w->paint = a;
    } else {
        w->paint.left = std::min(w->paint.left, a.left);
        w->paint.top = std::min(w->paint.top, a.top);
        w->paint.right = std::max(w->paint.right, a.right);
        w->paint.bottom = std::max(w->paint.bottom, a.bottom);
    }
}

void WindowSystem::NoteCloseRequest(WindowHandle window)
{
    Event e;
    e.type = EventType::Close;
    e.window = window;
    Post(e);
}

void WindowSystem::DeliverPointer(EventType type, int32_t sx, int32_t sy, uint32_t flags,
                                  int32_t delta)
{
    if (m_moving) {
        WindowHandle moving = m_moving;
        if (type == EventType::MouseMove) {
            MoveWindow(moving, sx - m_moveDx, sy - m_moveDy);
        } else if (type == EventType::LButtonUp) {
            m_moving = 0;
            Event e;
            e.type = EventType::ExitMove;
            e.window = moving;
            Send(e);
        }
        return;
    }
    WindowHandle target;
    if (type == EventType::MouseWheel)
        target = m_active;
    else
        target = m_capture ? m_capture : WindowFromPoint(sx, sy);
    Win* w = Find(target);
    if (!w) return;
    // A window is disabled when it or a parent is.
    bool enabled = true;
    for (const Win* p = w; p; p = p->params.kind == WindowKind::Child ? Find(p->params.owner) : nullptr)
        enabled = enabled && p->enabled;
    Event e;
    e.window = target;
    e.x = sx - w->rect.left;
    e.y = sy - w->rect.top;
    e.screenX = sx;
    e.screenY = sy;
    e.flags = flags;
    if (!enabled) {
        if (type != EventType::MouseWheel && !m_capture) {
            e.type = EventType::SetCursor;
            e.code = static_cast<uint32_t>(type);
            e.flags = 1;
            Send(e);
        }
        return;
    }
    if (IsButtonDown(type) && !m_capture) {
        WindowHandle root = target;
        while (IsChild(root)) root = GetParent(root);
        if (root != m_active) SetActiveWindow(root);
        if (!Find(target)) return;
    }
    if (type == EventType::LButtonDown && !m_capture) {
        Event hit;
        hit.type = EventType::HitTest;
        hit.window = target;
        hit.screenX = sx;
        hit.screenY = sy;
        if (Send(hit)) {
            w = Find(target);
            if (!w) return;
            Event enter;
            enter.type = EventType::EnterMove;
            enter.window = target;
            Send(enter);
            w = Find(target);
            if (w && !NativeBeginMove(*w, sx, sy)) {
                m_moving = target;
                m_moveDx = sx - w->rect.left;
                m_moveDy = sy - w->rect.top;
            }
            return;
        }
    }
    if (!m_capture && type != EventType::MouseWheel) {
        Event cur = e;
        cur.type = EventType::SetCursor;
        cur.code = static_cast<uint32_t>(type);
        cur.flags = 0;
        Send(cur);
    }
    e.type = type;
    e.delta = delta;
    Post(e);
}

void WindowSystem::DeliverKey(bool down, uint32_t key, uint8_t character, uint32_t modifiers,
                              bool repeat)
{
    Win* w = Find(m_active);
    if (!w || !w->enabled) return;
    // Alt without Ctrl makes a system key; with Ctrl held too it is an ordinary key (the
    // shortcuts Ctrl+Alt+...), as is every key without Alt but F10.
    const bool sys = ((modifiers & kModAlt) && !(modifiers & kModCtrl)) || key == vk::F10;
    Event e;
    e.window = m_active;
    e.type = down ? (sys ? EventType::SysKeyDown : EventType::KeyDown)
                  : (sys ? EventType::SysKeyUp : EventType::KeyUp);
    e.code = key;
    e.flags = modifiers;
    e.param = repeat ? 1 : 0;
    Post(e);
    if (down && character && !(modifiers & kModAlt)) {
        Event c;
        c.window = m_active;
        c.type = EventType::Char;
        c.code = character;
        c.flags = modifiers;
        c.param = e.param;
        Post(c);
    }
}

bool WindowSystem::RunIdleHook()
{
    if (!m_idleHook) return false;
    m_idleWake = 0;
    m_idleHook();
    return true;
}

void WindowSystem::WakeIdleHookAfter(uint32_t milliseconds)
{
    m_idleWake = TickCount64() + std::max<uint32_t>(milliseconds, 1);
}

void WindowSystem::WatchdogFailure(const char* reason)
{
    if (m_watchdog) {
        m_watchdog(reason);
        return;
    }
    std::fprintf(stderr, "window system watchdog: %s\n", reason);
    std::abort();
}

int32_t WindowSystem::NativeMessageBox(const MessageBoxRequest&, bool& handled)
{
    handled = false;
    return 0;
}

int32_t WindowSystem::NativePopupMenu(const MenuRequest&) { return -1; }

bool WindowSystem::NativeChooseFile(const FileChoiceRequest&, std::string&) { return false; }

bool WindowSystem::NativeChooseFolder(const FolderChoiceRequest&, std::string&) { return false; }

bool WindowSystem::NativeChooseColor(const ColorChoiceRequest&, uint8_t[3]) { return false; }

int32_t WindowSystem::MessageBox(const MessageBoxRequest& request)
{
    const WindowHandle before = m_active;
    bool handled = false;
    int32_t result = NativeMessageBox(request, handled);
    if (!handled) {
        result = RunDrawnMessageBox(*this, request);
        MessageBoxAnswered(result);
    }
    // A box without an owner leaves nobody active when it goes: the keyboard goes back to the
    // window that had it when the box came.
    const Win* w = Find(before);
    if (!m_active && w && w->visible && w->enabled && !w->dying) SetActiveWindow(before);
    return result;
}

int32_t WindowSystem::TrackPopupMenu(const MenuRequest& request)
{
    // The menu takes the pointer: a window holding it loses it first.
    if (m_capture) ReleaseCapture();
    return NativePopupMenu(request);
}

namespace {
// A chooser is modal over its owner: the owner is disabled while it runs and active after it.
class ModalOwner {
public:
    ModalOwner(WindowSystem& ws, WindowHandle owner) : m_ws(ws), m_owner(ws.IsWindow(owner) ? owner : 0)
    {
        m_disabled = m_owner && m_ws.IsEnabled(m_owner);
        if (m_disabled) m_ws.EnableWindow(m_owner, false);
    }
    ~ModalOwner()
    {
        if (!m_owner || !m_ws.IsWindow(m_owner)) return;
        if (m_disabled) m_ws.EnableWindow(m_owner, true);
        if (m_ws.IsVisible(m_owner)) m_ws.SetActiveWindow(m_owner);
    }
    ModalOwner(const ModalOwner&) = delete;
    ModalOwner& operator=(const ModalOwner&) = delete;

private:
    WindowSystem& m_ws;
    WindowHandle m_owner;
    bool m_disabled = false;
};
}  // namespace

bool WindowSystem::ChooseFile(const FileChoiceRequest& request, std::string& path)
{
    if (m_capture) ReleaseCapture();
    ModalOwner modal(*this, request.owner);
    ++m_choosersRunning;
    const bool chosen = NativeChooseFile(request, path);
    --m_choosersRunning;
    return chosen;
}

bool WindowSystem::ChooseFolder(const FolderChoiceRequest& request, std::string& path)
{
    if (m_capture) ReleaseCapture();
    ModalOwner modal(*this, request.owner);
    ++m_choosersRunning;
    const bool chosen = NativeChooseFolder(request, path);
    --m_choosersRunning;
    return chosen;
}

bool WindowSystem::ChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3])
{
    if (m_capture) ReleaseCapture();
    ModalOwner modal(*this, request.owner);
    ++m_choosersRunning;
    const bool chosen = NativeChooseColor(request, rgb);
    --m_choosersRunning;
    return chosen;
}

bool WindowSystem::ServeWindowsWhile(const std::function<bool()>& ready, int descriptor, uint32_t milliseconds)
{
    const uint64_t until = TickCount64() + milliseconds;
    for (;;) {
        ServeWindows();
        if (ready()) return true;
        if (TickCount64() >= until) return false;
        NativeWaitFor(descriptor, until);
    }
}

void WindowSystem::ServeWindows()
{
    static const std::vector<EventType> keep{EventType::Quit, EventType::Close, EventType::User};
    Event e;
    while (TakeEvent(e, 0, keep)) {
        switch (e.type) {
        case EventType::Paint:
        case EventType::Timer:
        case EventType::Activate:
        case EventType::ActivateApp: Dispatch(e); break;
        default: break;
        }
    }
}

// --- the program's window system ---

std::unique_ptr<WindowSystem> CreateHeadlessWindowSystem();
// The headless system of a program that runs without a screen (qw_winsys_headless.h).
std::unique_ptr<WindowSystem> CreateProgramHeadlessWindowSystem();
std::unique_ptr<WindowSystem> CreateX11WindowSystem(const char* display);

namespace {
std::unique_ptr<WindowSystem> g_chosen;
WindowSystem* g_installed = nullptr;
}  // namespace

std::unique_ptr<WindowSystem> CreateWindowSystem(const char* name)
{
    if (!name) return nullptr;
    if (!std::strcmp(name, "headless")) return CreateHeadlessWindowSystem();
    if (!std::strcmp(name, "x11")) return CreateX11WindowSystem(nullptr);
    return nullptr;
}

std::string WindowSystemSettingError()
{
    return SettingValueError("QW_WINDOW_SYSTEM", "a window system", {"headless", "x11"});
}

WindowSystem& WS()
{
    if (g_installed) return *g_installed;
    if (!g_chosen) {
        const std::string error = WindowSystemSettingError();
        if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
        const char* env = std::getenv("QW_WINDOW_SYSTEM");
        if (env && *env && std::strcmp(env, "headless") != 0) g_chosen = CreateWindowSystem(env);
        if (!g_chosen && (!env || !*env || std::strcmp(env, "headless") != 0))
            g_chosen = CreateX11WindowSystem(nullptr);
        if (!g_chosen) g_chosen = CreateProgramHeadlessWindowSystem();
    }
    return *g_chosen;
}

bool OpenProgramWindowSystem(std::string& error)
{
    if (g_installed || g_chosen) return true;
    const char* env = std::getenv("QW_WINDOW_SYSTEM");
    if (env && !std::strcmp(env, "headless")) {
        g_chosen = CreateProgramHeadlessWindowSystem();
        return true;
    }
    g_chosen = CreateX11WindowSystem(nullptr);
    if (g_chosen) return true;
    const char* display = std::getenv("DISPLAY");
    error = std::string("no X11 display could be opened (") +
            (display && *display ? std::string("DISPLAY=") + display : std::string("DISPLAY is not set")) +
            "): run it on an X11 desktop, or with QW_WINDOW_SYSTEM=headless to run its windows in memory, "
            "where QW_UI_SCRIPT may name a UI script that plays the user";
    return false;
}

WindowSystem* SetWindowSystem(WindowSystem* system)
{
    WindowSystem* previous = g_installed;
    g_installed = system;
    return previous;
}

}  // namespace qwp
