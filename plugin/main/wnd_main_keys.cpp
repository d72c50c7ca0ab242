// The main window's keys (the few that act without the accelerator table), the hover tracking
// and the fading status line on timer 1, the focus release of the randomness edit line.
#include "framework/ui/qwf_static.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/wnd_main.h"

#include <cstring>

namespace {
constexpr uint8_t kEdit = 8;
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
    if (index >= 0 && index == Find("Main_RndKnots", kEdit))
        CommitRandomnessEdit();
    return result;
}

bool CWnd_Main::OnHoverControl(int32_t index)
{
    CQWF_Control* c = GetControl(index);
    const CQWF_String hint =
        CApp::GetHintText(c ? c->GetName() : "", "Main", m_mode, c ? c->GetKind() : 0);
    SetStatusText(hint.GetBuffer());
    return CQWF_Window::OnHoverControl(index);
}

void CWnd_Main::HoverTick()
{
    if (m_tick == 0 && GetHWND()) {
        int32_t x = 0, y = 0;
        if (GetCursorPos(x, y) && (x != m_hoverX || y != m_hoverY)) {
            m_hoverX = x;
            m_hoverY = y;
            const bool inside = x >= m_previewRect.left && x < m_previewRect.right &&
                                y >= m_previewRect.top && y < m_previewRect.bottom;
            if (inside) {
                const CQWF_CtrlPreview::Point p = m_preview.WindowToImage(x - m_previewRect.left, y - m_previewRect.top);
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
