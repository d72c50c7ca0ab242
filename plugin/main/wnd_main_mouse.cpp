// Mouse editing in the main window's preview and on its splitter rulers: the window hands each
// press, move and release to the window-free gesture model with the preview's geometry (in
// preview pixels, the layout overlay's own) and draws what the model asks for. Ctrl and Shift
// come from the mouse event, Alt and Space from the live key state.
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_ruler.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/wnd_main.h"

#include <algorithm>

class CWnd_Main::CMouseSink : public CLayoutMouseSink {
public:
    explicit CMouseSink(CWnd_Main& w) : m_w(w) {}
    bool IsEffectWindowOpen() override { return m_w.m_effectOpen != 0; }
    bool IsPreviewPanning() override { return m_w.m_preview.IsPanning(); }
    void ShowPointerInfo(bool withPosition) override
    {
        if (!withPosition)
            return;
        const CQWF_CtrlPreview::Point p = m_w.m_preview.GetPointer();
        m_w.UpdateInfoText(p.x, p.y, false);
    }
    void DrawGridKnives(int xCount, int yCount, const float* xLines, const float* yLines) override
    {
        const CQWF_CtrlPreview::Point scroll = m_w.m_preview.GetScroll();
        const CQWF_CtrlPreview::Point size = m_w.m_preview.GetZoomedSize();
        const QWF_Rect& pr = m_w.m_previewRect;
        const QWF_Rect clip = {std::max(0, -scroll.x), std::max(0, -scroll.y),
                               std::min(pr.right - pr.left, size.x - scroll.x),
                               std::min(pr.bottom - pr.top, size.y - scroll.y)};
        m_w.m_drawing.Clear();
        m_w.m_drawing.DrawGridKnives(xCount, yCount, xLines, yLines, clip, size.x, size.y,
                                     scroll.x + clip.left, scroll.y + clip.top);
        m_w.m_layoutLayer.Blit(&m_w.m_drawing.GetOverlay(), 0, 0);
        m_w.RepaintPreview();
    }
    void BeginKnotDragDrawing(bool moving) override
    {
        if (moving)
            m_w.m_layout.RecalcLayout(m_w.m_layout.GetView(), false);
    }
    void DrawDraggedKnife(const KnifeRecord& knife, double, double, double, double) override
    {
        m_w.m_drawing.DrawKnifeOutline(m_w.m_layout, knife);
    }
    void EndKnotDragDrawing(bool) override
    {
        m_w.m_layoutLayer.Blit(&m_w.m_drawing.GetOverlay(), 0, 0);
        m_w.RepaintPreview();
    }

    // Puzzle mode; points arrive in preview pixels, the preview control's own.
    bool PreviewToImage(int32_t x, int32_t y, int32_t& ix, int32_t& iy) override
    {
        const CQWF_CtrlPreview::Point p = m_w.m_preview.WindowToImage(x, y);
        ix = p.x;
        iy = p.y;
        return true;
    }
    int32_t PieceAtPoint(int32_t ix, int32_t iy) override
    {
        return m_w.m_pieces ? m_w.m_pieces->PieceAtPoint(ix, iy) : -1;
    }
    bool IsPieceSelected(int32_t piece) override
    {
        const JigPiece* p = m_w.m_plugin ? m_w.m_plugin->GetEngine().GetPiece(piece) : nullptr;
        return p && p->selected;
    }
    int32_t GetRangeAnchor() override { return m_w.m_pieces ? m_w.m_pieces->GetRangeAnchor() : -1; }
    void SetRangeAnchor(int32_t piece) override
    {
        if (m_w.m_pieces)
            m_w.m_pieces->SetRangeAnchor(piece);
    }
    void BeginPiecesChange() override { m_w.BeginPiecesChange(); }
    void EndPiecesChange() override { m_w.EndPiecesChange(); }
    void SelectPiece(int32_t piece, bool select, bool deselect, bool redraw) override
    {
        CPieceView* v = m_w.m_pieces;
        if (!v || piece < 0 || piece >= v->GetEngine().GetPieceCount())
            return;
        if (!select && !deselect)
            v->DeselectAllPieces(false);
        v->SelectPiece(piece, deselect ? 0 : 1, false);
        Redraw(redraw);
    }
    void DeselectAllPieces(bool redraw) override
    {
        if (!m_w.m_pieces)
            return;
        m_w.m_pieces->DeselectAllPieces(false);
        m_w.m_pieces->SetRangeAnchor(-1);
        Redraw(redraw);
    }
    void SelectPieceRange(bool select, bool deselect, int32_t from, int32_t to, bool redraw) override
    {
        if (m_w.m_pieces)
            m_w.m_pieces->SelectRange(select, deselect, from, to, redraw);
    }
    void SelectPiecesInRect(int32_t left, int32_t top, int32_t right, int32_t bottom, bool select,
                            bool deselect, bool redraw) override
    {
        if (!m_w.m_pieces)
            return;
        int32_t l, t, r, b;
        PreviewToImage(left, top, l, t);
        PreviewToImage(right, bottom, r, b);
        m_w.m_pieces->SelectInImageRect(QWF_Rect{l, t, r, b}, select, deselect, redraw);
    }
    void SelectPiecesInLasso(const CQWF_DWordArray& points, bool select, bool deselect,
                             bool redraw) override
    {
        if (!m_w.m_pieces)
            return;
        const size_t n = points.GetCount();
        CQWF_Mem xs, ys;
        if (n == 0 || !xs.Alloc(n * sizeof(int32_t)) || !ys.Alloc(n * sizeof(int32_t)))
            return;
        auto* px = reinterpret_cast<int32_t*>(xs.GetData());
        auto* py = reinterpret_cast<int32_t*>(ys.GetData());
        for (size_t i = 0; i < n; ++i) {
            int32_t x, y;
            UnpackLassoPoint(points.GetAt(i), x, y);
            PreviewToImage(x, y, px[i], py[i]);
        }
        m_w.m_pieces->SelectInPolygon(px, py, static_cast<int64_t>(n), select, deselect, redraw);
    }
    void BeginSelectionDrag() override
    {
        CPieceView* v = m_w.m_pieces;
        CQWF_Layer* face = m_w.GetLayer(0);
        if (!v || !face)
            return;
        v->SetPreviewRect(m_w.m_previewRect);
        if (!v->BuildPreviewMask(*face))
            return;
        m_w.m_selectionLayer.SetVisible(1);
    }
    void EndSelectionDrag() override
    {
        m_w.m_selectionLayer.SetVisible(0);
        m_w.RepaintPreview();
    }
    void DrawRubberBand(const QWF_Rect* band) override
    {
        if (!m_w.m_pieces)
            return;
        if (!band) {
            m_w.m_pieces->DrawRubberBand(nullptr);
            return;
        }
        const QWF_Rect r = {band->left + m_w.m_previewRect.left, band->top + m_w.m_previewRect.top,
                            band->right + m_w.m_previewRect.left,
                            band->bottom + m_w.m_previewRect.top};
        m_w.m_pieces->DrawRubberBand(&r);
    }
    void DrawLasso(const CQWF_DWordArray& points) override
    {
        if (!m_w.m_pieces)
            return;
        CQWF_DWordArray moved;
        for (size_t i = 0; i < points.GetCount(); ++i) {
            int32_t x, y;
            UnpackLassoPoint(points.GetAt(i), x, y);
            moved.Add(PackLassoPoint(x + m_w.m_previewRect.left, y + m_w.m_previewRect.top));
        }
        m_w.m_pieces->DrawLasso(moved);
    }

private:
    void Redraw(bool redraw)
    {
        if (!redraw || !m_w.m_pieces)
            return;
        m_w.m_pieces->ShowExtras(true, false);
        m_w.RenderPreview();
        m_w.m_pieces->UpdateEffectButtons(false, m_w.m_effectOpen != 0);
    }

    CWnd_Main& m_w;
};

void CWnd_Main::CreateMouse()
{
    m_mouseSink = new (std::nothrow) CMouseSink(*this);
    m_mouse = m_mouseSink ? new (std::nothrow) CLayoutMouse(m_layout, *m_mouseSink) : nullptr;
}

void CWnd_Main::DestroyMouse()
{
    delete m_mouse;
    m_mouse = nullptr;
    delete m_mouseSink;
    m_mouseSink = nullptr;
}

void CWnd_Main::UpdateMouseGeometry()
{
    if (!m_mouse)
        return;
    const int32_t ox = m_previewRect.left, oy = m_previewRect.top;
    auto moved = [&](const QWF_Rect& r) {
        return QWF_Rect{r.left - ox, r.top - oy, r.right - ox, r.bottom - oy};
    };
    const CQWF_CtrlPreview::Point scroll = m_preview.GetScroll();
    const CQWF_CtrlPreview::Point size = m_preview.GetZoomedSize();
    MouseGeometry g{};
    g.preview = moved(m_previewRect);
    g.topRuler = moved(m_hRulerRect);
    g.leftRuler = moved(m_vRulerRect);
    // The status area: the information and status lines under the picture.
    CQWF_Control* info = GetControl(m_cInfo);
    CQWF_Control* status = GetControl(m_cStatus);
    if (info && status) {
        const QWF_Rect a = info->GetRect(), b = status->GetRect();
        g.status = moved(QWF_Rect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                                  a.right > b.right ? a.right : b.right,
                                  a.bottom > b.bottom ? a.bottom : b.bottom});
    } else {
        g.status = moved(g.status);
    }
    g.originX = 0;
    g.originY = 0;
    g.scrollX = scroll.x;
    g.scrollY = scroll.y;
    g.zoomedW = size.x;
    g.zoomedH = size.y;
    m_mouse->SetGeometry(g);
    m_mouse->UpdateRulerMarkers();
}

void CWnd_Main::DrawKnotMarker(const KnotHit& hit, double x, double y, bool picked)
{
    // A black square; a corner knot's is hollow (its inside black at alpha 50); a knot picked
    // for an extra knife is ringed in red.
    CQWF_Image& o = m_drawing.GetOverlay();
    o.Fill(0xFF000000, 255, QWF_Rect{hit.left, hit.top, hit.right, hit.bottom});
    if (hit.corner)
        o.Fill(0x32000000, 255, QWF_Rect{hit.left + 1, hit.top + 1, hit.right - 1, hit.bottom - 1});
    if (picked)
        o.DrawCircle(static_cast<int32_t>(x + 0.5), static_cast<int32_t>(y + 0.5), 6, 0xFF0000FF);
}

bool CWnd_Main::OnLButtonDown(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_created || !m_mouse)
        return false;
    UpdateMouseGeometry();
    const uint32_t live = GetModifierKeys();
    const uint32_t mods = (flags & (QWF_MOD_SHIFT | QWF_MOD_CTRL)) | (live & (QWF_MOD_ALT | QWF_MOD_SPACE));
    const bool handled = m_mouse->OnMouseDown(x - m_previewRect.left, y - m_previewRect.top, mods);
    if (m_mode == kLayoutMode && handled)
        RedrawLayout();
    return handled;
}

bool CWnd_Main::OnMouseMove(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_created || !m_mouse)
        return false;
    const uint32_t live = GetModifierKeys();
    const uint32_t mods = (flags & (QWF_MOD_SHIFT | QWF_MOD_CTRL)) | (live & (QWF_MOD_ALT | QWF_MOD_SPACE));
    if (GetHoverIndex() < 0)
        ShowZoneHint(x, y);
    return m_mouse->OnMouseMove(x - m_previewRect.left, y - m_previewRect.top, mods);
}

bool CWnd_Main::OnLButtonUp(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_created || !m_mouse)
        return false;
    const uint32_t live = GetModifierKeys();
    const uint32_t mods = (flags & (QWF_MOD_SHIFT | QWF_MOD_CTRL)) | (live & (QWF_MOD_ALT | QWF_MOD_SPACE));
    const bool dragging = m_mouse->IsLineDragging() || m_mouse->IsKnotDragging();
    const bool handled = m_mouse->OnMouseUp(x - m_previewRect.left, y - m_previewRect.top, mods);
    if (m_mode == kLayoutMode && dragging)
        RedrawLayout();
    return handled;
}

bool CWnd_Main::OnRButtonUp(int32_t x, int32_t y, uint32_t flags)
{
    (void)flags;
    if (!m_created)
        return false;
    if (x >= m_previewRect.left && x < m_previewRect.right && y >= m_previewRect.top &&
        y < m_previewRect.bottom) {
        ShowContextMenu(x, y, false);
        return true;
    }
    if (ShowRulerMenu(x, y))
        return true;
    for (const char* name : {"Main_RulerTop", "Main_RulerLeft"}) {
        const CQWF_Control* c = GetControl(Find(name, QWF_CTRL_RULER));
        if (!c)
            continue;
        const QWF_Rect r = const_cast<CQWF_Control*>(c)->GetRect();
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
            ShowUnitsMenu(x, y);
            return true;
        }
    }
    return false;
}
