// The main window's keys (the few that act without the accelerator table), the hover tracking
// and the fading status line on timer 1, the focus release of the randomness edit line.
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_static.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/wnd_main.h"

#include <cstring>

namespace {
constexpr uint32_t kStatusTimer = 1;
}  // namespace

bool CWnd_Main::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    (void)modifiers;
    if (m_effectOpen || !m_created)
        return false;
    const bool layout = m_mode == kLayoutMode;
    switch (code) {
    case QWF_KEY_BACK:
    case QWF_KEY_INSERT:
    case QWF_KEY_DELETE: {
        const bool show = code != QWF_KEY_DELETE;
        if (layout) {
            KnifeFlagsChange([&] { m_layout.ShowKnives(show, true); });
            RedrawLayout();
        } else if (m_pieces) {
            PiecesChange([&] { RecompositePieces(m_pieces->ShowSelectedPieces(show)); });
        }
        return true;
    }
    case QWF_KEY_ESCAPE:
        if (layout) {
            if (m_layout.GetPickedKnotCount() > 0) {
                m_layout.UnpickLastKnot();
                RedrawLayout();
                m_layout.UpdateAddExtraButton();
            }
        } else if (m_mouse && m_mouse->CancelSelectionDrag()) {
            RenderPreview();
        }
        return true;
    default: return false;
    }
}

int32_t CWnd_Main::ReleaseFocus(int32_t index)
{
    const int32_t result = CQWF_Window::ReleaseFocus(index);
    if (index >= 0 && index == Find("Main_RndKnots", QWF_CTRL_EDIT))
        CommitRandomnessEdit();
    return result;
}

uint8_t CWnd_Main::HintMode() const
{
    return m_mode == kLayoutMode ? 2 : m_effectOpen ? 4 : 3;
}

bool CWnd_Main::OnHoverControl(int32_t index)
{
    CQWF_Control* c = index >= 0 ? GetControl(index) : nullptr;
    // The preview and the mode pictures leave the hint to the zones under them.
    if (c && (c == &m_preview || index == m_cModeL || index == m_cModeP))
        return false;
    if (c)
        m_hoverZone = CLayoutMouse::kZoneNone;
    const CQWF_String hint =
        CApp::GetHintText(c ? c->GetName() : "", "Main", HintMode(), c ? c->GetKind() : 128);
    SetStatusText(hint.GetBuffer());
    return CQWF_Window::OnHoverControl(index);
}

void CWnd_Main::ShowZoneHint(int32_t x, int32_t y)
{
    UpdateMouseGeometry();
    const int zone = CLayoutMouse::HoverZone(m_mouse->GetGeometry(), x - m_previewRect.left,
                                             y - m_previewRect.top);
    const uint8_t mode = HintMode();
    if (zone == m_hoverZone && (zone != CLayoutMouse::kZonePreview || mode == m_hoverHintMode))
        return;
    m_hoverZone = static_cast<uint8_t>(zone);
    m_hoverHintMode = mode;
    const char* name = "";
    switch (zone) {
    case CLayoutMouse::kZoneStatus: name = "Zone_Status"; break;
    case CLayoutMouse::kZonePreview: name = "Zone_Preview"; break;
    case CLayoutMouse::kZoneTopRuler: name = "Zone_HSplitter"; break;
    case CLayoutMouse::kZoneLeftRuler: name = "Zone_VSplitter"; break;
    default: break;
    }
    SetStatusText(CApp::GetHintText(name, "Main", mode, 128).GetBuffer());
}

void CWnd_Main::HoverTick()
{
    if (m_tick == 0 && GetHWND()) {
        int32_t x = 0, y = 0;
        QWF_Rect r{};
        const bool got = GetCursorPos(x, y);
        const bool over = got && GetWindowRect(r) &&
                          WindowFromPoint(r.left + x, r.top + y) == GetHWND();
        if (over)
            // A modifier pressed or released without a move changes the cursor too.
            OnSetCursor(x, y);
        if (got && (x != m_hoverX || y != m_hoverY)) {
            m_hoverX = x;
            m_hoverY = y;
            const bool inside = x >= m_previewRect.left && x < m_previewRect.right &&
                                y >= m_previewRect.top && y < m_previewRect.bottom;
            if (inside) {
                // Points beside the picture have no coordinate (-1 or 65535).
                const CQWF_CtrlPreview::Point p = m_preview.ClientToImage(x - m_previewRect.left, y - m_previewRect.top);
                UpdateInfoText(p.x, p.y, false);
            } else {
                UpdateInfoText(2147483647, 2147483647, true);
            }
        }
    }
    m_tick = static_cast<uint8_t>(m_tick >= 4 ? 0 : m_tick + 1);
}

bool CWnd_Main::OnTimer(uint32_t id)
{
    if (id != kStatusTimer)
        return CQWF_Window::OnTimer(id);
    HoverTick();
    m_statusLine.Tick();
    return false;
}

void CWnd_Main::SetStatusText(const char* text)
{
    m_statusLine.SetText(text ? text : "");
}

void CWnd_Main::FadeStatus()
{
    SetStatusText("");
}
