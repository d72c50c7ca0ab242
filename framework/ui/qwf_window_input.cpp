// The window's behaviour once it exists: the event procedure, routing of mouse, wheel and keys
// to the controls with capture, focus and hover, click chains, timers, the modal loop and the
// message pump.
#include <algorithm>
#include <cstdlib>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_clock.h"

using qwp::EventType;

uint32_t QWF_KeyCode(uint32_t key)
{
    switch (key) {
    case qwp::vk::Up: return QWF_KEY_UP;
    case qwp::vk::Down: return QWF_KEY_DOWN;
    case qwp::vk::Left: return QWF_KEY_LEFT;
    case qwp::vk::Right: return QWF_KEY_RIGHT;
    case qwp::vk::Back: return QWF_KEY_BACK;
    case qwp::vk::Return: return QWF_KEY_ENTER;
    case qwp::vk::Escape: return QWF_KEY_ESCAPE;
    case qwp::vk::Delete: return QWF_KEY_DELETE;
    case qwp::vk::End: return QWF_KEY_END;
    case qwp::vk::Home: return QWF_KEY_HOME;
    case qwp::vk::Tab: return QWF_KEY_TAB;
    case qwp::vk::PageUp: return QWF_KEY_PAGEUP;
    case qwp::vk::PageDown: return QWF_KEY_PAGEDOWN;
    case qwp::vk::Insert: return QWF_KEY_INSERT;
    default: break;
    }
    if (key >= qwp::vk::F1 && key <= qwp::vk::F12) return QWF_KEY_F1 + (key - qwp::vk::F1);
    return 0;
}

uint8_t QWF_AcceleratorChar(uint32_t key)
{
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return static_cast<uint8_t>(key);
    switch (key) {
    case qwp::vk::Add: return '+';
    case qwp::vk::Subtract: return '_';
    case qwp::vk::Semicolon: return ';';
    case qwp::vk::Equals: return '=';
    case qwp::vk::Comma: return ',';
    case qwp::vk::Minus: return '-';
    case qwp::vk::Period: return '.';
    case qwp::vk::Slash: return '/';
    case qwp::vk::Grave: return '`';
    case qwp::vk::BracketLeft: return '[';
    case qwp::vk::Backslash: return '\\';
    case qwp::vk::BracketRight: return ']';
    case qwp::vk::Quote: return '\'';
    default: return 0;
    }
}

namespace {
// Mouse events carry Ctrl and Shift only.
uint32_t MouseModifiers(uint32_t flags)
{
    return ((flags & qwp::kMouseShift) ? QWF_MOD_SHIFT : 0) | ((flags & qwp::kMouseCtrl) ? QWF_MOD_CTRL : 0);
}

bool IsKeyMessage(EventType t)
{
    return t == EventType::KeyDown || t == EventType::KeyUp || t == EventType::Char ||
           t == EventType::SysKeyDown || t == EventType::SysKeyUp;
}

// A control the pointer may reach: not locked and not hidden.
bool Reachable(const CQWF_Control* c) { return c && !c->IsLocked() && c->IsShown(); }

// The pointer's button and move events; the wheel is not one of them.
bool IsMouseMessage(EventType t)
{
    return t == EventType::MouseMove || t == EventType::LButtonDown || t == EventType::LButtonUp ||
           t == EventType::RButtonDown || t == EventType::RButtonUp || t == EventType::MButtonDown ||
           t == EventType::MButtonUp;
}
}  // namespace

intptr_t CQWF_Window::NativeClient::HandleEvent(const qwp::Event& event)
{
    return m_shadow ? m_window->ShadowProc(event) : m_window->WindowProc(event);
}

intptr_t CQWF_Window::ShadowProc(const qwp::Event& event)
{
    switch (event.type) {
    case EventType::Close:
    case EventType::Paint:
    case EventType::HitTest: return 0;
    case EventType::Destroy:
        m_shadowHwnd = 0;  // only the shadow window's events come here
        return 0;
    default: return qwp::WS().DefaultHandling(event);
    }
}

intptr_t CQWF_Window::WindowProc(const qwp::Event& e)
{
    qwp::WindowSystem& ws = qwp::WS();
    switch (e.type) {
    case EventType::Destroy:
        if (!m_modal && !m_owner && m_inLoop) ws.PostQuit(0);
        if (e.window == m_hwnd) {
            m_hwnd = 0;
            m_shadowHwnd = 0;
        }
        return 0;
    case EventType::Move: MoveShadow(); return 0;
    case EventType::Activate:
        OnActivate((e.flags & 1) != 0);
        return ws.DefaultHandling(e);
    case EventType::ActivateApp:
        ShowShadow((e.flags & 1) != 0);
        return ws.DefaultHandling(e);
    case EventType::Shown:
        ShowShadow(true);
        return ws.DefaultHandling(e);
    case EventType::EnterMove: ShowShadow(false); return 0;
    case EventType::ExitMove: ShowShadow(true); return 0;
    case EventType::Paint:
        if (m_hwnd) PaintNow(e.x, e.y, e.x + e.width, e.y + e.height);
        return 1;
    case EventType::Close:
        if (m_modal)
            EndModal(0);
        else
            Close();
        return 0;
    case EventType::HitTest: return NcHitTest(e.screenX, e.screenY) ? 1 : 0;
    case EventType::SetCursor: {
        const EventType cause = static_cast<EventType>(e.code);
        if ((e.flags & 1) && (cause == EventType::LButtonDown || cause == EventType::RButtonDown ||
                              cause == EventType::MButtonDown))
            ws.Beep();
        int32_t x = 0, y = 0;
        GetCursorPos(x, y);
        return OnSetCursor(x, y) ? 1 : ws.DefaultHandling(e);
    }
    case EventType::KeyDown:
    case EventType::KeyUp: {
        int32_t x = 0, y = 0;
        if (GetCursorPos(x, y)) OnSetCursor(x, y);
        const uint32_t mods = e.flags & (QWF_MOD_ALT | QWF_MOD_SHIFT | QWF_MOD_CTRL);
        const uint32_t code = QWF_KeyCode(e.code);
        if (e.type == EventType::KeyDown) {
            CQWF_App* app = CQWF_App::GetApp();
            const uint8_t accel = QWF_AcceleratorChar(e.code);
            // A key that the focused edit line uses itself (its clipboard and undo keys) is its
            // own while it has the focus, not a shortcut of the window.
            const CQWF_Control* focused = FocusedControl();
            const bool edits = focused && focused->GetKind() == QWF_CTRL_EDIT &&
                               static_cast<const CQWF_CtrlEditLine*>(focused)->UsesKey(accel, mods);
            if (app && accel && !edits) app->HandleKey(accel, this, mods);
            if (app && code >= QWF_KEY_F1 && code <= QWF_KEY_F12) app->HandleKey(static_cast<uint8_t>(code), this, mods);
        }
        if (!code || !m_hwnd) return ws.DefaultHandling(e);
        const bool handled = e.type == EventType::KeyDown ? RouteKeyDown(code, mods) : RouteKeyUp(code, mods);
        return handled ? 0 : ws.DefaultHandling(e);
    }
    case EventType::Char: {
        const uint32_t mods = e.flags & (QWF_MOD_ALT | QWF_MOD_SHIFT | QWF_MOD_CTRL);
        return RouteChar(e.code, mods) ? 0 : ws.DefaultHandling(e);
    }
    case EventType::SysKeyDown:
    case EventType::SysKeyUp: {
        int32_t x = 0, y = 0;
        if (GetCursorPos(x, y)) OnSetCursor(x, y);
        if (e.type == EventType::SysKeyDown && e.code == qwp::vk::F10) {
            if (CQWF_App* app = CQWF_App::GetApp())
                app->HandleKey(QWF_KEY_F10, this, e.flags & (QWF_MOD_ALT | QWF_MOD_SHIFT | QWF_MOD_CTRL));
            return 0;
        }
        return ws.DefaultHandling(e);
    }
    case EventType::Timer: DispatchTimer(e.code); return 0;
    case EventType::MouseMove: OnMouseMoveMessage(e.x, e.y, MouseModifiers(e.flags)); return 0;
    case EventType::LButtonDown: OnLButtonDownMessage(e.x, e.y, MouseModifiers(e.flags)); return 0;
    case EventType::LButtonUp: OnLButtonUpMessage(e.x, e.y, MouseModifiers(e.flags)); return 0;
    case EventType::RButtonDown: OnRButtonDown(e.x, e.y, MouseModifiers(e.flags)); return 0;
    case EventType::RButtonUp:
        if (!OnRButtonUp(e.x, e.y, MouseModifiers(e.flags))) OnRButtonUpUnhandled(e.x, e.y, MouseModifiers(e.flags));
        return 0;
    case EventType::MouseWheel: {
        qwp::ScreenRect r;
        if (!ws.GetWindowRect(m_hwnd, r)) return 0;
        OnMouseWheelMessage(e.screenX - r.left, e.screenY - r.top, MouseModifiers(e.flags), e.delta / 120);
        return 0;
    }
    case EventType::CaptureChanged:
        if (m_buttonDown) OnLButtonUpMessage(-1, -1, 0);
        return 0;
    default: return ws.DefaultHandling(e);
    }
}

// --- the default virtual operations ---

bool CQWF_Window::Close()
{
    OnClose();
    if (m_hwnd) {
        qwp::WindowHandle h = m_hwnd;
        qwp::WS().DestroyWindow(h);
        m_hwnd = 0;
        m_shadowHwnd = 0;
    }
    return true;
}

bool CQWF_Window::OnClose()
{
    m_closing = 1;
    if (m_modal && m_owner && m_disabledList) {
        EnableOtherWindows(true, *m_disabledList);
        if (m_owner->GetHWND()) qwp::WS().SetActiveWindow(m_owner->GetHWND());
    }
    if (CQWF_App* app = CQWF_App::GetApp()) app->OnWindowClosed(this);
    return true;
}

bool CQWF_Window::IsInDragArea(int32_t x, int32_t y)
{
    CQWF_Layer* drag = GetDragLayer();
    if (drag && drag->GetType() == QWF_IMAGE_RGBA) {
        QWF_Rect r;
        drag->GetRect(r);
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
            const uint8_t* alpha = drag->GetPlane(3);
            if (alpha[static_cast<size_t>(y - r.top) * drag->GetWidth() + (x - r.left)] > 128) return true;
        }
    }
    if (m_dragMask && x >= m_dragRect.left && x < m_dragRect.right && y >= m_dragRect.top &&
        y < m_dragRect.bottom) {
        const int32_t w = m_dragRect.right - m_dragRect.left;
        if (m_dragMask[static_cast<size_t>(y - m_dragRect.top) * w + (x - m_dragRect.left)] > 128) return true;
    }
    return false;
}

bool CQWF_Window::NcHitTest(int32_t screenX, int32_t screenY)
{
    qwp::ScreenRect r;
    if (!qwp::WS().GetWindowRect(m_hwnd, r)) return false;
    return IsInDragArea(screenX - r.left, screenY - r.top);
}

bool CQWF_Window::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t) { return true; }
bool CQWF_Window::OnTimer(uint32_t) { return true; }
bool CQWF_Window::OnMouseMove(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnLButtonDown(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnLButtonUp(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnRButtonDown(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnRButtonUp(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnRButtonUpUnhandled(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnMouseWheel(int32_t, int32_t, uint32_t, int32_t) { return true; }
bool CQWF_Window::OnKeyDown(uint32_t, uint32_t) { return false; }
bool CQWF_Window::OnKeyUp(uint32_t, uint32_t) { return false; }
bool CQWF_Window::OnChar(uint32_t, uint32_t) { return false; }
bool CQWF_Window::OnDoubleClick(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnTripleClick(int32_t, int32_t, uint32_t) { return false; }
bool CQWF_Window::OnHoverControl(int32_t) { return true; }
bool CQWF_Window::OnNotify(int32_t, int32_t, const char*, uint8_t, void*) { return true; }

bool CQWF_Window::OnSetCursor(int32_t x, int32_t y)
{
    CQWF_Control* edit = nullptr;
    if (m_capture < 0) {
        for (int32_t i = GetControlCount() - 1; i >= 0 && !edit; --i) {
            CQWF_Control* c = GetControl(i);
            if (Reachable(c) && c->HitTestIfEnabled(x, y) && c->GetKind() == QWF_CTRL_EDIT) edit = c;
        }
    } else if (CQWF_Control* c = GetControl(m_capture)) {
        if (Reachable(c) && c->GetKind() == QWF_CTRL_EDIT) edit = c;
    }
    if (edit)
        SetIBeamCursor();
    else if (x >= 0 && x < m_width && y >= 0 && y < m_height)
        SetArrowCursor();
    return true;
}

void CQWF_Window::SetFocusControl(int32_t index)
{
    if (index == m_focus) return;
    for (int32_t i = 0; i < GetControlCount(); ++i) GetControl(i)->SetFocus(false);
    m_focus = index;
}

int32_t CQWF_Window::ReleaseFocus(int32_t index)
{
    const int32_t previous = m_focus;
    if (m_focus == index) m_focus = -1;
    return previous;
}

void CQWF_Window::UncheckRadioGroup(int32_t spare, uint8_t group)
{
    for (int32_t i = 0; i < GetControlCount(); ++i) {
        if (i == spare) continue;
        CQWF_Control* c = GetControl(i);
        if (c->GetRadioGroup() == group) c->SetCheck(false, false);
    }
}

// --- routing ---

CQWF_Control* CQWF_Window::FocusedControl() const { return GetControl(m_focus); }

bool CQWF_Window::OnLButtonDownMessage(int32_t x, int32_t y, uint32_t flags)
{
    if (IsInDragArea(x, y)) return true;
    m_buttonDown = 1;
    qwp::WS().SetCapture(m_hwnd);
    // Click chain: click, double click, triple click, then a new chain.
    CQWF_App* app = CQWF_App::GetApp();
    const uint32_t now = app ? app->GetTime() : qwp::TickCount();
    bool doubleClick = false, tripleClick = false;
    uint32_t stored = now;
    if (now - m_lastClickTime >= m_doubleClickTime || std::abs(x - m_lastClickX) > m_clickToleranceX ||
        std::abs(y - m_lastClickY) > m_clickToleranceY) {
        m_clickChain = 0;
    } else if (m_clickChain) {
        tripleClick = true;
        m_clickChain = 0;
        stored = 0;
    } else {
        doubleClick = true;
        m_clickChain = 1;
    }
    m_lastClickTime = stored;
    m_lastClickX = x;
    m_lastClickY = y;
    CQWF_Control* stopper = nullptr;
    for (int32_t i = GetControlCount() - 1; i >= 0; --i) {
        CQWF_Control* c = GetControl(i);
        if (!Reachable(c) || !c->HitTestIfEnabled(x, y)) continue;
        m_capture = i;
        if (i != m_focus) c->SetFocus(true);
        if (c->OnMouseDown(x, y, flags)) {
            stopper = c;
            break;
        }
    }
    if (!stopper) SetFocusControl(-1);
    const bool result = OnLButtonDown(x, y, flags);
    if (doubleClick) {
        if (stopper) stopper->OnDoubleClick(x, y, flags);
        OnDoubleClick(x, y, flags);
    } else if (tripleClick) {
        if (stopper) stopper->OnTripleClick(x, y, flags);
        OnTripleClick(x, y, flags);
    }
    return result;
}

bool CQWF_Window::OnLButtonUpMessage(int32_t x, int32_t y, uint32_t flags)
{
    m_buttonDown = 0;
    if (qwp::WS().GetCapture() == m_hwnd) qwp::WS().ReleaseCapture();
    if (m_capture < 0) {
        for (int32_t i = GetControlCount() - 1; i >= 0; --i) {
            CQWF_Control* c = GetControl(i);
            if (!Reachable(c) || !c->HitTestIfEnabled(x, y)) continue;
            if (c->OnMouseUp(x, y, flags)) break;
        }
    } else if (CQWF_Control* c = GetControl(m_capture)) {
        c->OnMouseUp(x, y, flags);
        m_capture = -1;
    } else {
        m_capture = -1;
    }
    return OnLButtonUp(x, y, flags);
}

bool CQWF_Window::OnMouseMoveMessage(int32_t x, int32_t y, uint32_t flags)
{
    if (IsInDragArea(x, y) && qwp::WS().GetCapture() != m_hwnd) return true;
    int32_t hover = -1;
    CQWF_Control* captured = m_capture >= 0 ? GetControl(m_capture) : nullptr;
    if (!captured) {
        for (int32_t i = GetControlCount() - 1; i >= 0; --i) {
            CQWF_Control* c = GetControl(i);
            if (!Reachable(c)) continue;
            if (!c->IsEnabled() && !c->GetDisabledOpacity()) continue;
            if (!c->HitTest(x, y)) continue;
            if (hover < 0 && (i == m_hover || OnHoverControl(i))) hover = i;
            if (c->HitTestIfEnabled(x, y) && c->OnMouseMove(x, y, flags)) break;
        }
    } else {
        if (m_capture == m_hover || OnHoverControl(m_capture)) hover = m_capture;
        captured->OnMouseMove(x, y, flags);
    }
    if (hover != m_hover) {
        m_hover = hover;
        OnHoverControl(hover);
    }
    return OnMouseMove(x, y, flags);
}

bool CQWF_Window::OnMouseWheelMessage(int32_t x, int32_t y, uint32_t flags, int32_t steps)
{
    CQWF_Control* focused = FocusedControl();
    if (focused && focused->GetKind() == QWF_CTRL_EDIT && focused->OnMouseWheel(x, y, flags, steps)) return true;
    if (m_capture < 0) {
        for (int32_t i = GetControlCount() - 1; i >= 0; --i) {
            CQWF_Control* c = GetControl(i);
            if (!Reachable(c) || !c->HitTestIfEnabled(x, y)) continue;
            if (c->OnMouseWheel(x, y, flags, steps)) return true;
        }
    } else if (CQWF_Control* c = GetControl(m_capture)) {
        if (c->OnMouseWheel(x, y, flags, steps)) return true;
    }
    return OnMouseWheel(x, y, flags, steps);
}

bool CQWF_Window::RouteKeyDown(uint32_t code, uint32_t modifiers)
{
    CQWF_Control* c = FocusedControl();
    if (c && c->OnKeyDown(code, modifiers)) return true;
    return OnKeyDown(code, modifiers);
}

bool CQWF_Window::RouteKeyUp(uint32_t code, uint32_t modifiers)
{
    if (CQWF_Control* c = FocusedControl()) c->OnKeyUp(code, modifiers);
    return OnKeyUp(code, modifiers);
}

bool CQWF_Window::RouteChar(uint32_t character, uint32_t modifiers)
{
    if (CQWF_Control* c = FocusedControl()) {
        // An edit line types the characters itself: they are not the window's keys as well.
        if (c->GetKind() == QWF_CTRL_EDIT) return c->OnChar(character, modifiers);
        c->OnChar(character, modifiers);
    }
    return OnChar(character, modifiers);
}

void CQWF_Window::DispatchTimer(uint32_t id)
{
    if (!m_timersEnabled) return;
    if (id < QWF_CONTROL_TIMER_BASE) {
        OnTimer(id);
        return;
    }
    const uint32_t slot = (id - QWF_CONTROL_TIMER_BASE) / 10000;
    const uint32_t index = id - QWF_CONTROL_TIMER_BASE - slot * 10000;
    if (index >= m_controls.GetCount()) return;
    GetControl(static_cast<int32_t>(index))->OnTimer(slot);
}

// --- timers ---

bool CQWF_Window::SetTimer(uint32_t milliseconds, uint32_t id)
{
    return m_hwnd && qwp::WS().SetTimer(m_hwnd, id, milliseconds);
}

bool CQWF_Window::KillTimer(uint32_t id) { return m_hwnd && qwp::WS().KillTimer(m_hwnd, id); }

bool CQWF_Window::SetControlTimer(uint32_t milliseconds, uint32_t slot, CQWF_Control* control)
{
    if (slot >= CQWF_Control::kTimerSlots || !control || GetControl(control->GetIndex()) != control) return false;
    const uint32_t id = QWF_CONTROL_TIMER_BASE + slot * 10000 + static_cast<uint32_t>(control->GetIndex());
    return SetTimer(milliseconds, id);
}

bool CQWF_Window::KillControlTimer(uint32_t slot, CQWF_Control* control)
{
    if (slot >= CQWF_Control::kTimerSlots || !control || GetControl(control->GetIndex()) != control) return false;
    return KillTimer(QWF_CONTROL_TIMER_BASE + slot * 10000 + static_cast<uint32_t>(control->GetIndex()));
}

bool CQWF_Window::LockControls(bool lock, int32_t index)
{
    if (index < -1 || index >= GetControlCount()) return false;
    if (index == -1) {
        for (int32_t i = 0; i < GetControlCount(); ++i) GetControl(i)->SetLocked(lock);
        if (lock) {
            m_focus = -1;
            m_capture = -1;
            m_hover = -1;
        }
        return true;
    }
    GetControl(index)->SetLocked(lock);
    if (lock) {
        if (index == m_focus) {
            m_focus = -1;
            m_capture = -1;
        }
        if (index == m_hover) m_hover = -1;
    }
    return true;
}

uint32_t CQWF_Window::GetModifierKeys() const
{
    const uint32_t live = qwp::WS().LiveModifiers();
    uint32_t m = 0;
    if (live & qwp::kModAlt) m |= QWF_MOD_ALT;
    if (live & qwp::kModShift) m |= QWF_MOD_SHIFT;
    if (live & qwp::kModCtrl) m |= QWF_MOD_CTRL;
    if (live & qwp::kModSpace) m |= QWF_MOD_SPACE;
    return m;
}

// --- the modal loop and the pump ---

int32_t CQWF_Window::RunModal()
{
    if (!m_hwnd) return -1;
    qwp::WindowSystem& ws = qwp::WS();
    m_modal = 1;
    m_exitCode = 0;
    Show();
    m_modalList.RemoveAll();
    EnableOtherWindows(false, m_modalList);
    m_disabledList = &m_modalList;
    m_inLoop = 1;
    qwp::Event event;
    while (ws.GetEvent(event)) ws.Dispatch(event);
    m_inLoop = 0;
    m_modal = 0;
    return m_exitCode;
}

int32_t CQWF_Window::EndModal(int32_t code)
{
    Close();
    qwp::WS().PostQuit(code);
    m_exitCode = code;
    m_modal = 0;
    return 0;
}

void CQWF_Window::EnableOtherWindows(bool enable, CQWF_PtrArray& list)
{
    qwp::WindowSystem& ws = qwp::WS();
    const std::vector<qwp::WindowHandle> windows = ws.TopLevelWindows();
    const CQWF_Window* below = this;
    for (const CQWF_Window* owner = m_owner; owner; below = owner, owner = owner->m_owner) {
        const qwp::WindowHandle ownerHwnd = owner->GetHWND();
        if (!ownerHwnd) continue;
        for (qwp::WindowHandle h : windows) {
            if (h != ownerHwnd && ws.GetParent(h) != ownerHwnd) continue;
            if (h == below->GetHWND()) continue;
            if (!enable) {
                if (ws.IsEnabled(h))
                    ws.EnableWindow(h, false);
                else
                    list.Add(reinterpret_cast<void*>(h));
            } else if (!ws.IsEnabled(h)) {
                bool keep = false;
                for (size_t i = 0; i < list.GetCount() && !keep; ++i)
                    keep = reinterpret_cast<qwp::WindowHandle>(list.GetAt(i)) == h;
                if (!keep) ws.EnableWindow(h, true);
            }
        }
    }
}

void CQWF_Window::PumpMessages(CQWF_Window* window, bool timers, bool activation, bool keys, bool mouse)
{
    qwp::WindowSystem& ws = qwp::WS();
    const qwp::WindowHandle h = window ? window->GetHWND() : 0;
    if (window) window->m_timersEnabled = timers ? 1 : 0;
    if (!window || h) {
        // A quit or a close request stays queued for the loop that owns it. Each timer is let
        // through once, so that a timer slower than its interval cannot keep the pump going.
        std::vector<EventType> keep{EventType::Quit, EventType::Close};
        std::vector<std::pair<qwp::WindowHandle, uint32_t>> ticked;
        qwp::Event e;
        while (ws.TakeEvent(e, h, keep)) {
            bool dispatch = false;
            switch (e.type) {
            case EventType::Timer: {
                const auto id = std::make_pair(e.window, e.code);
                if (std::find(ticked.begin(), ticked.end(), id) != ticked.end()) {
                    keep.push_back(EventType::Timer);
                    break;
                }
                ticked.push_back(id);
                dispatch = timers;
                break;
            }
            case EventType::Activate:
            case EventType::ActivateApp:
            case EventType::Paint: dispatch = activation; break;
            default:
                if (IsKeyMessage(e.type))
                    dispatch = keys;
                else if (IsMouseMessage(e.type))
                    dispatch = mouse;
                break;
            }
            if (dispatch) ws.Dispatch(e);
        }
    }
    if (window) window->m_timersEnabled = 1;
}
