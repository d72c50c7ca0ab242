// The main window's cursor: where the point lies for the mouse editing state.
#include "plugin/main/main_cursor.h"

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
