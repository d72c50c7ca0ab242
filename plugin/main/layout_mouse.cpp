#include "plugin/main/layout_mouse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
// Markers sit this far into their ruler strip.
constexpr int32_t kMarkerInset = 3;
}  // namespace

bool CLayoutMouse::InRect(const QWF_Rect& r, int32_t x, int32_t y) const
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool CLayoutMouse::InPreview(int32_t x, int32_t y) const { return InRect(m_geo.preview, x, y); }

int CLayoutMouse::HoverZone(const MouseGeometry& g, int32_t x, int32_t y)
{
    auto in = [&](const QWF_Rect& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
    if (in(g.status))
        return kZoneStatus;
    if (in(g.preview))
        return kZonePreview;
    if (in(g.topRuler))
        return kZoneTopRuler;
    if (in(g.leftRuler))
        return kZoneLeftRuler;
    return kZoneNone;
}

void CLayoutMouse::UpdateRulerMarkers()
{
    m_topCount = 0;
    m_leftCount = 0;
    const float* xl = m_model.GetXLines();
    for (int i = 0; i < m_model.GetXLineCount(); ++i) {
        const double X = m_geo.originX + xl[i] * m_geo.zoomedW - m_geo.scrollX;
        if (X < m_geo.preview.left || X >= m_geo.preview.right)
            continue;
        m_top[m_topCount++] = {static_cast<int32_t>(std::floor(X)), m_geo.topRuler.top + kMarkerInset, i};
    }
    const float* yl = m_model.GetYLines();
    for (int i = 0; i < m_model.GetYLineCount(); ++i) {
        const double Y = m_geo.originY + yl[i] * m_geo.zoomedH - m_geo.scrollY;
        if (Y < m_geo.preview.top || Y >= m_geo.preview.bottom)
            continue;
        m_left[m_leftCount++] = {m_geo.leftRuler.left + kMarkerInset, static_cast<int32_t>(std::floor(Y)), i};
    }
}

int CLayoutMouse::MarkerAt(bool top, int32_t x, int32_t y) const
{
    const RulerMarker* m = top ? m_top : m_left;
    const size_t n = top ? m_topCount : m_leftCount;
    // The hit box reaches one pixel further along the ruler's own axis.
    const int32_t wx = top ? 4 : 5;
    const int32_t wy = top ? 5 : 4;
    for (size_t i = 0; i < n; ++i)
        if (m[i].x - 2 <= x && x < m[i].x + wx && m[i].y - 2 <= y && y < m[i].y + wy)
            return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Layout mode

bool CLayoutMouse::RulerDown(bool top, int32_t x, int32_t y, uint32_t flags)
{
    const QWF_Rect& ruler = top ? m_geo.topRuler : m_geo.leftRuler;
    const bool shift = flags & kShift, ctrl = flags & kCtrl, alt = flags & kAlt;
    const int m = MarkerAt(top, x, y);
    if (m >= 0) {
        const RulerMarker& mk = (top ? m_top : m_left)[m];
        const bool horizontal = !top;  // the left ruler holds the y lines
        auto selectLine = [&](uint8_t value) {
            m_model.TakeUndoSnapshot(CLayoutModel::kUndoKnifeFlags);
            m_model.SelectKnifeLine(mk.line, horizontal, value, true);
            m_model.RecordUndo(CLayoutModel::kUndoKnifeFlags, 0);
        };
        if (shift && !ctrl) {
            selectLine(1);
        } else if (alt && !shift && !ctrl) {
            selectLine(0);
        } else if (!shift && !ctrl && !alt) {
            m_model.TakeUndoSnapshot(CLayoutModel::kUndoLines);
            m_lineDrag = true;
            m_lineVertical = top;
            m_line = mk.line;
            m_grab = top ? x - mk.x : y - mk.y;
            m_sink.ShowPointerInfo(true);
        } else if (ctrl && alt) {
            m_model.RecordUndo(0, CLayoutModel::kFullLine);
            m_model.DeleteGridLine(top, mk.line);
            UpdateRulerMarkers();
        } else {
            selectLine(1);  // Ctrl without Alt
        }
        return true;
    }
    if (InRect(ruler, x, y) && ctrl && shift) {
        m_model.RecordUndo(0, CLayoutModel::kFullLine);
        m_model.InsertGridLine(top, x, y);
        UpdateRulerMarkers();
        return true;
    }
    return false;
}

bool CLayoutMouse::LayoutDown(int32_t x, int32_t y, uint32_t flags)
{
    if (RulerDown(true, x, y, flags) || RulerDown(false, x, y, flags))
        return true;
    const bool shift = flags & kShift, ctrl = flags & kCtrl, alt = flags & kAlt;
    if (m_model.GetKnotsShown()) {
        const KnotHit* hits = m_model.GetKnotHits();
        for (size_t i = 0; i < m_model.GetKnotHitCount(); ++i) {
            const KnotHit& h = hits[i];
            if (!(h.left <= x && x <= h.right && h.top <= y && y <= h.bottom))
                continue;
            if (ctrl) {
                m_model.ResetKnot(h.knot);
            } else if (shift || h.corner) {
                m_model.PickKnot(h.knot);
                m_model.Redraw();
            } else {
                StartKnotDrag(h.knot, x, y);
            }
            return true;
        }
    }
    if (!InPreview(x, y))
        return false;
    if (!(flags & kSpace) && !m_sink.IsPreviewPanning()) {
        CQWF_DWordArray ids;
        if (m_model.CollectKnivesAt(x, y, ids)) {
            const uint32_t* list = static_cast<const uint32_t*>(ids.GetPtr(0));
            m_model.TakeUndoSnapshot(CLayoutModel::kUndoKnifeFlags);
            m_model.SelectKnivesById(ctrl, shift, alt, list, ids.GetCount(), false, 0, true);
            m_model.RecordUndo(CLayoutModel::kUndoKnifeFlags, 0);
            return true;
        }
    }
    if (!shift && !ctrl && !alt) {
        m_model.TakeUndoSnapshot(CLayoutModel::kUndoKnifeFlags);
        m_model.SelectKnives(0, true, true, true, true);
        m_model.SetLastKnife(-1, false, false);
        m_model.RecordUndo(CLayoutModel::kUndoKnifeFlags, 0);
    }
    return true;
}

void CLayoutMouse::StartKnotDrag(int32_t knot, int32_t x, int32_t y)
{
    m_model.TakeUndoSnapshot(CLayoutModel::kUndoKnots);
    const int32_t e = m_model.GetKnotsPerRow();
    const int32_t c = knot % e;
    const int32_t r = knot / e;
    const int32_t xl = m_model.GetXLineCount();
    const int32_t yl = m_model.GetYLineCount();
    const KnotRecord& k = m_model.Knots()[knot];
    m_knotDrag = true;
    m_knotMoved = false;
    m_knot = knot;
    m_grabX = x - k.viewX;
    m_grabY = y - k.viewY;
    // The row knives above and below, the column knives left and right.
    const bool onLine = c >= 1 && c <= xl;
    const bool onRow = r >= 1 && r <= yl;
    m_gridKnives[0] = onLine && r >= 1 ? (r - 1) * xl + (c - 1) : -1;
    m_gridKnives[1] = onLine && r <= yl ? r * xl + (c - 1) : -1;
    m_gridKnives[2] = onRow && c >= 1 ? (r - 1) * (xl + 1) + (c - 1) : -1;
    m_gridKnives[3] = onRow && c <= xl ? (r - 1) * (xl + 1) + c : -1;
    m_extraCount = 0;

    // The drag mark is on exactly the knives that follow the knot.
    auto mark = [](KnifeRecord& kn, bool on) { kn.marked = on ? 1 : 0; };
    for (int32_t i = 0; i < m_model.GetRowKnifeCount(); ++i)
        mark(m_model.RowKnives()[i], i == m_gridKnives[0] || i == m_gridKnives[1]);
    for (int32_t i = 0; i < m_model.GetColumnKnifeCount(); ++i)
        mark(m_model.ColumnKnives()[i], i == m_gridKnives[2] || i == m_gridKnives[3]);
    for (int32_t i = 0; i < m_model.GetExtraKnifeCount(); ++i) {
        ExtraKnifeRecord& xk = m_model.ExtraKnives()[i];
        const bool ends = (xk.knotA == knot || xk.knotB == knot) && m_extraCount < kMaxDragExtras;
        if (ends) {
            m_extras[m_extraCount] = i;
            m_extraEnd[m_extraCount] = xk.knotA == knot ? 0 : 1;
            ++m_extraCount;
        }
        mark(xk.knife, ends);
    }
    m_model.SetKnotDragActive(true);
    m_model.RecalcLayout(m_model.GetView(), false);
    DrawDragKnives(false);
}

void CLayoutMouse::MoveKnot(int32_t x, int32_t y)
{
    m_knotMoved = true;
    const int32_t e = m_model.GetKnotsPerRow();
    const int32_t c = m_knot % e;
    const int32_t r = m_knot / e;
    KnotRecord& k = m_model.Knots()[m_knot];
    // The offset along one axis: the pointer's distance from the knot's line over the width of
    // the cell on that side.
    auto offset = [](const float* lines, int count, int index, double scaled, double pos) {
        const double line = lines[index - 1] * scaled;
        const double d = pos - line;
        if (d < 0.0) {
            const double cell = (lines[index - 1] - (index >= 2 ? lines[index - 2] : 0.0)) * scaled;
            return cell < 0.0001 ? 0.0f : static_cast<float>(std::clamp(d / cell, -1.0, 0.0));
        }
        const double cell = ((index - 1 < count - 1 ? lines[index] : 1.0) - lines[index - 1]) * scaled;
        return cell < 0.0001 ? 0.0f : static_cast<float>(std::clamp(d / cell, 0.0, 1.0));
    };
    if (c > 0 && c < e - 1)
        k.x = offset(m_model.GetXLines(), m_model.GetXLineCount(), c, m_model.GetScaledWidth(),
                     x - m_grabX + m_model.GetOriginX());
    if (r > 0 && r < m_model.GetKnotRows() - 1)
        k.y = offset(m_model.GetYLines(), m_model.GetYLineCount(), r, m_model.GetScaledHeight(),
                     y - m_grabY + m_model.GetOriginY());
    m_model.GetKnotPositionByIndex(m_knot, m_model.GetScaledWidth(), m_model.GetScaledHeight(),
                                   m_model.GetOriginX(), m_model.GetOriginY(), k.viewX, k.viewY);
    DrawDragKnives(true);
}

void CLayoutMouse::DrawDragKnives(bool moving)
{
    m_sink.BeginKnotDragDrawing(moving);
    const KnotRecord* knots = m_model.Knots();
    const KnotRecord& k = knots[m_knot];
    auto draw = [&](KnifeRecord& knife, int32_t a, int32_t b) {
        // The knot's end goes to its current position, the other end stays where it was.
        const KnotRecord& ka = a == m_knot ? k : knots[a];
        const KnotRecord& kb = b == m_knot ? k : knots[b];
        if (m_model.BuildKnifeOutline(knife, ka.viewX, ka.viewY, kb.viewX, kb.viewY))
            m_sink.DrawDraggedKnife(knife, ka.viewX, ka.viewY, kb.viewX, kb.viewY);
    };
    for (int i = 0; i < 4; ++i) {
        if (m_gridKnives[i] < 0)
            continue;
        const bool row = i < 2;
        int32_t a, b;
        m_model.GetKnifeKnots(m_gridKnives[i], row, a, b);
        if (KnifeRecord* knife = m_model.GetKnife(m_gridKnives[i], row, false))
            draw(*knife, a, b);
    }
    for (int i = 0; i < m_extraCount; ++i) {
        ExtraKnifeRecord& xk = m_model.ExtraKnives()[m_extras[i]];
        draw(xk.knife, xk.knotA, xk.knotB);
    }
    m_sink.EndKnotDragDrawing(moving);
}

void CLayoutMouse::EndKnotDrag()
{
    m_knotDrag = false;
    for (int i = 0; i < 4; ++i)
        if (KnifeRecord* knife = m_model.GetKnife(m_gridKnives[i], i < 2, false))
            knife->marked = 0;
    for (int i = 0; i < m_extraCount; ++i)
        if (m_extras[i] < m_model.GetExtraKnifeCount())
            m_model.ExtraKnives()[m_extras[i]].knife.marked = 0;
    m_model.SetKnotDragActive(false);
    if (!m_knotMoved)
        m_model.PickKnot(m_knot);
    m_model.Redraw();
    m_model.RecordUndo(CLayoutModel::kUndoKnots, 0);
}

// ---------------------------------------------------------------------------------------------
// Puzzle mode

void CLayoutMouse::PuzzleDown(int32_t x, int32_t y, uint32_t flags)
{
    if ((flags & kSpace) || !InPreview(x, y) || m_sink.IsEffectWindowOpen())
        return;
    m_pressX = x;
    m_pressY = y;
    m_buttonDown = true;
    int32_t piece = -1;
    int32_t ix, iy;
    if (m_sink.PreviewToImage(x, y, ix, iy))
        piece = m_sink.PieceAtPoint(ix, iy);
    if (m_sink.IsPreviewPanning())
        return;
    const bool shift = flags & kShift, ctrl = flags & kCtrl, alt = flags & kAlt;
    // While razor cut is off, piece 0 is the knife lines and kept apart from ranges.
    const bool apart = m_model.GetFlag(CLayoutModel::kFlagRazor) == 0;
    if (shift && !ctrl) {
        int32_t anchor = m_sink.GetRangeAnchor();
        if (apart && anchor == 0)
            anchor = -1;
        if (piece < 0 || (anchor >= 0 && apart && piece == 0))
            return;
        m_sink.BeginPiecesChange();
        if (anchor < 0)
            m_sink.SelectPiece(piece, true, false, true);
        else
            m_sink.SelectPieceRange(!alt, alt, anchor, piece, true);
        m_sink.EndPiecesChange();
        m_sink.SetRangeAnchor(piece);
    } else if (ctrl && !shift && !alt) {
        if (piece < 0)
            return;
        const bool selected = m_sink.IsPieceSelected(piece);
        m_sink.BeginPiecesChange();
        m_sink.SelectPiece(piece, !selected, selected, true);
        m_sink.EndPiecesChange();
        if (!selected)
            m_sink.SetRangeAnchor(piece);
    } else if (!shift && !ctrl && !alt) {
        m_sink.BeginPiecesChange();
        if (piece < 0)
            m_sink.DeselectAllPieces(true);
        else
            m_sink.SelectPiece(piece, false, false, true);
        m_sink.EndPiecesChange();
        if (piece >= 0)
            m_sink.SetRangeAnchor(piece);
    }
}

void CLayoutMouse::Track(int32_t x, int32_t y)
{
    if (!m_lassoMode) {
        QWF_Rect band = {std::max(std::min(m_pressX, x), m_geo.preview.left),
                         std::max(std::min(m_pressY, y), m_geo.preview.top),
                         std::min(std::max(m_pressX, x) + 1, m_geo.preview.right),
                         std::min(std::max(m_pressY, y) + 1, m_geo.preview.bottom)};
        const bool empty = band.left >= band.right || band.top >= band.bottom;
        m_sink.DrawRubberBand(empty ? nullptr : &band);
        return;
    }
    const size_t n = m_lasso.GetCount();
    bool add = n == 0;
    if (!add) {
        const uint32_t last = m_lasso.GetAt(n - 1);
        const int32_t lx = static_cast<int16_t>(last >> 16);
        const int32_t ly = static_cast<int16_t>(last & 0xFFFF);
        add = std::abs(x - lx) > 1 || std::abs(y - ly) > 1;
    }
    if (add)
        m_lasso.Add((static_cast<uint32_t>(x & 0xFFFF) << 16) | static_cast<uint32_t>(y & 0xFFFF));
    m_sink.DrawLasso(m_lasso);
}

bool CLayoutMouse::CancelSelectionDrag()
{
    if (!m_selDrag)
        return false;
    m_selDrag = false;
    m_buttonDown = false;
    m_lasso.RemoveAll();
    m_sink.EndSelectionDrag();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Entry points

bool CLayoutMouse::OnMouseDown(int32_t x, int32_t y, uint32_t flags)
{
    if (m_model.IsLayoutMode())
        return LayoutDown(x, y, flags);
    PuzzleDown(x, y, flags);
    return false;
}

bool CLayoutMouse::OnMouseMove(int32_t x, int32_t y, uint32_t flags)
{
    if (m_lineDrag) {
        const bool v = m_lineVertical;
        const int n = v ? m_model.GetXLineCount() : m_model.GetYLineCount();
        float* lines = v ? m_model.XLines() : m_model.YLines();
        const int32_t image = v ? m_model.GetImageWidth() : m_model.GetImageHeight();
        const double zoomed = v ? m_geo.zoomedW : m_geo.zoomedH;
        if (m_line < n && zoomed > 0.0 && image > 0) {
            const double lo = v ? m_geo.preview.left : m_geo.preview.top;
            const double hi = v ? m_geo.preview.right : m_geo.preview.bottom;
            const double pos = std::clamp((v ? x : y) - m_grab, lo, hi);
            const double f = (pos - (v ? m_geo.originX : m_geo.originY) + (v ? m_geo.scrollX : m_geo.scrollY)) / zoomed;
            // No nearer than 3 image pixels to the neighbouring lines.
            const double gap = 3.0 / image;
            const double lower = m_line == 0 ? 0.0 : lines[m_line - 1] + gap;
            const double upper = m_line == n - 1 ? 1.0 : lines[m_line + 1] - gap;
            double value = std::min(f, upper);
            if (lower > value)
                value = lower;
            lines[m_line] = static_cast<float>(value);
        }
        m_sink.DrawGridKnives(m_model.GetXLineCount(), m_model.GetYLineCount(), m_model.GetXLines(),
                              m_model.GetYLines());
        UpdateRulerMarkers();
        m_sink.ShowPointerInfo(true);
        return true;
    }
    if (!m_sink.PreviewMouseMove(x, y, flags))
        m_sink.ShowPointerInfo(false);
    if (m_knotDrag)
        MoveKnot(x, y);
    if (m_model.IsLayoutMode() || m_sink.IsPreviewPanning())
        return false;
    if (m_selDrag) {
        Track(x, y);
        m_sink.UpdateCursor();
    } else if (m_buttonDown && (std::abs(x - m_pressX) > 5 || std::abs(y - m_pressY) > 5)) {
        const bool shift = flags & kShift, ctrl = flags & kCtrl, alt = flags & kAlt;
        if (ctrl && !shift && !alt)
            return false;
        m_lassoMode = ctrl;
        m_selDrag = true;
        m_lasso.RemoveAll();
        m_sink.BeginSelectionDrag();
        if (m_lassoMode)
            Track(m_pressX, m_pressY);
        Track(x, y);
    }
    return false;
}

bool CLayoutMouse::OnMouseUp(int32_t x, int32_t y, uint32_t flags)
{
    if (m_lineDrag) {
        m_lineDrag = false;
        m_model.Redraw();
        m_model.RecordUndo(CLayoutModel::kUndoLines, 0);
        UpdateRulerMarkers();
        return true;
    }
    if (m_knotDrag) {
        EndKnotDrag();
        return true;
    }
    if (m_model.IsLayoutMode())
        return false;
    m_buttonDown = false;
    if (!m_selDrag)
        return false;
    const bool alt = flags & kAlt;
    m_sink.BeginPiecesChange();
    if (!m_lassoMode) {
        const int32_t l = std::max(std::min(m_pressX, x), m_geo.preview.left);
        const int32_t t = std::max(std::min(m_pressY, y), m_geo.preview.top);
        const int32_t r = std::min(std::max(m_pressX, x) + 1, m_geo.preview.right);
        const int32_t b = std::min(std::max(m_pressY, y) + 1, m_geo.preview.bottom);
        if (l < r && t < b)
            m_sink.SelectPiecesInRect(l, t, r, b, !alt, alt, true);
    } else {
        m_sink.SelectPiecesInLasso(m_lasso, !alt, alt, true);
    }
    m_sink.EndPiecesChange();
    m_selDrag = false;
    m_sink.EndSelectionDrag();
    return false;
}
