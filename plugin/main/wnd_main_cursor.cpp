// The main window's cursor: where the point lies for the mouse editing state, and the cursor
// the window shows there.
#include "plugin/main/main_cursor.h"

#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/wnd_main.h"

#include <cstring>

namespace {

bool Inside(const QWF_Rect& r, int32_t x, int32_t y, int32_t growRight, int32_t growBottom)
{
    return x >= r.left && x < r.right + growRight && y >= r.top && y < r.bottom + growBottom;
}

}  // namespace

void FillCursorZone(const CLayoutMouse& mouse, const CLayoutModel& model, int32_t x, int32_t y, CursorQuery& q)
{
    const MouseGeometry& g = mouse.GetGeometry();
    q.lineDrag = mouse.IsLineDragging();
    q.lineDragRow = q.lineDrag && !mouse.IsColumnLineDragged();
    // The top strip counts its bottom row as inside, the left strip its right column.
    q.inTopRuler = Inside(g.topRuler, x, y, 0, 1);
    q.inLeftRuler = !q.inTopRuler && Inside(g.leftRuler, x, y, 1, 0);
    q.onMarker = (q.inTopRuler || q.inLeftRuler) && mouse.MarkerAt(q.inTopRuler, x, y) >= 0;
    const bool insertKeys = (q.modifiers & CLayoutMouse::kCtrl) && (q.modifiers & CLayoutMouse::kShift);
    q.canInsertLine = insertKeys && (q.inTopRuler || q.inLeftRuler) && model.CanInsertGridLine(q.inTopRuler, x, y);
    q.inPreview = Inside(g.preview, x, y, 0, 0);
    q.selectionDrag = mouse.IsSelectionDragging();
}

bool CWnd_Main::OnSetCursor(int32_t x, int32_t y)
{
    if (!m_created || !m_mouse || !m_plugin)
        return CQWF_Window::OnSetCursor(x, y);
    UpdateMouseGeometry();
    CursorQuery q{};
    q.layoutMode = m_mode == kLayoutMode;
    // The mouse's bits are the window's modifier bits: 1 Alt, 2 Shift, 4 Ctrl, 16 Space.
    q.modifiers = GetModifierKeys() & (QWF_MOD_ALT | QWF_MOD_SHIFT | QWF_MOD_CTRL | QWF_MOD_SPACE);
    const int32_t px = x - m_previewRect.left, py = y - m_previewRect.top;
    FillCursorZone(*m_mouse, m_layout, px, py, q);
    q.panning = m_preview.IsPanning();
    auto enabled = [&](const char* name) {
        for (int32_t i = 0; i < GetControlCount(); ++i)
            if (GetControl(i)->GetKind() == QWF_CTRL_SCROLLBAR && !std::strcmp(GetControl(i)->GetName(), name))
                return GetControl(i)->IsEnabled();
        return false;
    };
    q.hScroll = enabled("Main_ScrollH_NR");
    q.vScroll = enabled("Main_ScrollV_NR");
    if (CQWF_Control* nav = GetControl(m_cNavigator)) {
        const QWF_Rect r = nav->GetRect();
        q.inNavigator = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    }
    q.piece = -1;
    if (!q.layoutMode && q.inPreview && m_pieces) {
        const CQWF_CtrlPreview::Point p = m_preview.WindowToImage(px, py);
        q.piece = m_pieces->PieceAtPoint(p.x, p.y);
        if (const JigPiece* piece = q.piece >= 0 ? m_plugin->GetEngine().GetPiece(q.piece) : nullptr) {
            q.pieceHidden = !piece->shown;
            q.pieceTranslucent = piece->opacity[kJigApplied].on && piece->opacity[kJigApplied].value != 255;
        }
    }
    const int id = ChooseMainCursor(q);
    if (!id)
        return CQWF_Window::OnSetCursor(x, y);
    SetCursor(id);
    return true;
}
