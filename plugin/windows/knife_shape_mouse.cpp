// Mouse and keys of the knife-shape editor's preview: picking and dragging nodes, the rubber
// band, the scaling and rotating handles of the selection box, inserting on the curve, cursors.
#include "plugin/windows/knife_shape_editor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kCurveTolerance = 3.0;  // pixels from the curve that insert a node
constexpr double kStick = 14.0;          // pixels an edge sticks to the opposite one
constexpr double kPi = std::numbers::pi;

// An edge dragged past the opposite one sticks to it for `stick` pixels, then flips over,
// `stick` pixels behind the pointer. t is the edge's distance from the opposite one.
double Stick(double t, double stick)
{
    if (t >= 0.0)
        return t;
    if (t >= -stick)
        return 0.0;
    return t + stick;
}

// One axis of the scaling drag: the box runs from lo to hi at the grab; the low edge, the high
// edge or neither moves by d; with aboutCentre the opposite edge moves by the opposite amount.
void ScaleAxis(bool moveLow, bool moveHigh, bool aboutCentre, double lo, double hi, double d,
               double stick, double& newLo, double& newHi)
{
    newLo = lo;
    newHi = hi;
    if (!moveLow && !moveHigh)
        return;
    if (aboutCentre) {
        const double c = (lo + hi) / 2;
        const double t = Stick((hi - lo) / 2 + (moveHigh ? d : -d), stick);
        newLo = c - t;
        newHi = c + t;
    } else if (moveHigh) {
        newHi = lo + Stick(hi - lo + d, stick);
    } else {
        newLo = hi - Stick(hi - lo - d, stick);
    }
}
}  // namespace

int CKnifeShapeEditor::NodeAt(double x, double y) const
{
    for (int i = 0; i < m_state.shape.nodeCount; ++i)
        if (m_squares[i].Contains(x, y))
            return i;
    return -1;
}

int CKnifeShapeEditor::HandleAt(double x, double y) const
{
    for (int h = 0; h < kHandleCount; ++h)
        if (m_handleShown[h] && m_handles[h].Contains(x, y))
            return h;
    return -1;
}

bool CKnifeShapeEditor::InWidenedBox(double x, double y) const
{
    return m_boxValid && x >= m_box.left - 3 && x <= m_box.right + 3 && y >= m_box.top &&
           y <= m_box.bottom;
}

bool CKnifeShapeEditor::CurveHit(double x, double y, int& position) const
{
    double distance = 0.0;
    double t = 0.0;
    if (m_state.shape.nodeCount == 0) {
        position = 0;
        return CQWF_2DMath::DistanceToSegment(m_ax, m_ay, m_bx, m_by, x, y, distance, t) &&
               distance < kCurveTolerance;
    }
    if (!m_curveValid)
        return false;
    const double* p = GetCurvePoints();
    const uint32_t* seg = GetCurveSegments();
    for (int64_t j = 0; j + 1 < m_curveCount; ++j) {
        if (CQWF_2DMath::DistanceToSegment(p[2 * j], p[2 * j + 1], p[2 * j + 2], p[2 * j + 3], x, y,
                                        distance, t) &&
            distance < kCurveTolerance) {
            position = static_cast<int>(seg[j]);
            return true;
        }
    }
    return false;
}

void CKnifeShapeEditor::KeepGrabValues()
{
    const KnifeShape& s = m_state.shape;
    for (int i = 0; i < s.nodeCount; ++i) {
        m_grabH[i] = s.H[i];
        m_grabU[i] = s.U[i];
    }
}

void CKnifeShapeEditor::RestoreGrabValues()
{
    KnifeShape& s = m_state.shape;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (s.selected[i]) {
            s.H[i] = m_grabH[i];
            s.U[i] = m_grabU[i];
        }
    }
}

void CKnifeShapeEditor::StartNodeDrag(int node, double x, double y)
{
    m_drag = kDragNode;
    m_dragNode = node;
    const QWF_DPoint p = NodePoint(node);
    m_grabDx = x - p.x;
    m_grabDy = y - p.y;
    m_grabX = x;
    m_grabY = y;
    KeepGrabValues();
}

void CKnifeShapeEditor::StartHandleDrag(int handle, double x, double y, bool rotate)
{
    const KnifeShape& s = m_state.shape;
    m_drag = kDragHandle;
    m_handle = handle;
    m_rotate = rotate;
    m_grabX = x;
    m_grabY = y;
    KeepGrabValues();
    bool first = true;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        const QWF_DPoint p = NodePoint(i);
        if (first) {
            m_boxL = m_boxR = p.x;
            m_boxT = m_boxB = p.y;
            first = false;
        } else {
            m_boxL = std::min(m_boxL, p.x);
            m_boxR = std::max(m_boxR, p.x);
            m_boxT = std::min(m_boxT, p.y);
            m_boxB = std::max(m_boxB, p.y);
        }
    }
    m_rotCx = (m_boxL + m_boxR) / 2;
    m_rotCy = (m_boxT + m_boxB) / 2;
    double farthest = 0.0;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        const QWF_DPoint p = NodePoint(i);
        if (rotate) {
            m_relX[i] = p.x;
            m_relY[i] = p.y;
            farthest = std::max(farthest, std::hypot(p.x - m_rotCx, p.y - m_rotCy));
        } else {
            m_relX[i] = m_boxR != m_boxL ? (p.x - m_boxL) / (m_boxR - m_boxL) : 0.0;
            m_relY[i] = m_boxB != m_boxT ? (p.y - m_boxT) / (m_boxB - m_boxT) : 0.0;
        }
    }
    m_rotRadius = std::max(std::round(farthest), 10.0) + 8.0;
    const double dx = x - m_rotCx;
    const double dy = y - m_rotCy;
    const double len = std::hypot(dx, dy);
    m_rotHx = m_rotCx + (len > 0 ? m_rotRadius * dx / len : m_rotRadius);
    m_rotHy = m_rotCy + (len > 0 ? m_rotRadius * dy / len : 0.0);
}

void CKnifeShapeEditor::PlaceClamped(int node, double x, double y)
{
    double h = 0.0;
    double u = 0.0;
    if (!PointToNode(x, y, h, u))
        return;
    m_state.shape.H[node] = std::clamp(h, -m_hMax, m_hMax);
    m_state.shape.U[node] = std::clamp(u, 0.0, 1.0);
}

void CKnifeShapeEditor::OnLButtonDown(double x, double y, uint32_t mods)
{
    KnifeShape& s = m_state.shape;
    const bool ctrl = (mods & kModCtrl) != 0;
    m_drag = kDragNone;
    if (!m_showExtras) {
        ToggleShowExtras();
        return;
    }
    if (m_showAnchors) {
        const int i = NodeAt(x, y);
        if (i >= 0) {
            if (s.selected[i]) {
                if (ctrl)
                    s.selected[i] = 0;
                else
                    StartNodeDrag(i, x, y);
            } else {
                if (!ctrl)
                    SetSelection(0);
                s.selected[i] = 1;
                StartNodeDrag(i, x, y);
            }
            ShowSmoothness();
            DrawKnife();
            return;
        }
    }
    const int handle = HandleAt(x, y);
    if (handle >= 0) {
        StartHandleDrag(handle, x, y, ctrl);
        DrawKnife();
        return;
    }
    if ((!m_showAnchors || (mods & kModSpace)) && GetSelectedCount() > 0) {
        if (InWidenedBox(x, y)) {
            int last = -1;
            for (int i = 0; i < s.nodeCount; ++i)
                if (s.selected[i])
                    last = i;
            StartNodeDrag(last, x, y);
        } else if (!m_showAnchors) {
            ToggleAnchorPoints();
        }
        return;
    }
    int position = 0;
    if (CurveHit(x, y, position)) {
        if (InsertNode(x, y, ctrl && s.nodeCount > 0, position))
            StartNodeDrag(position, x, y);
        DrawKnife();
        return;
    }
    if (!(mods & (kModCtrl | kModShift | kModAlt))) {
        SetSelection(0);
        ShowSmoothness();
    }
    m_drag = kDragBand;
    m_bandX0 = m_bandX1 = x;
    m_bandY0 = m_bandY1 = y;
    std::copy(s.selected, s.selected + kKnifeMaxNodes, m_bandSaved);
    DrawKnife();
}

void CKnifeShapeEditor::DragNodes(double x, double y)
{
    KnifeShape& s = m_state.shape;
    const int g = m_dragNode;
    if (g < 0 || g >= s.nodeCount)
        return;
    // The pointer's travel since the grab, as a change of (H, U): zero travel gives back the
    // grabbed values exactly.
    const double ex = m_bx - m_ax;
    const double ey = m_by - m_ay;
    const double len2 = ex * ex + ey * ey;
    const double dx = x - m_grabX;
    const double dy = y - m_grabY;
    const double targetU = std::clamp(m_grabU[g] + (dx * ex + dy * ey) / len2, 0.0, 1.0);
    const double targetH = m_grabH[g] + (dx * -ey + dy * ex) / len2;
    double shiftH = m_grabH[g] - targetH;
    double shiftU = m_grabU[g] - targetU;
    double loH = -HUGE_VAL, hiH = HUGE_VAL, loU = -HUGE_VAL, hiU = HUGE_VAL;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        loH = std::max(loH, m_grabH[i] - m_hMax);
        hiH = std::min(hiH, m_grabH[i] + m_hMax);
        loU = std::max(loU, m_grabU[i] - 1.0);
        hiU = std::min(hiU, m_grabU[i]);
    }
    shiftH = loH <= hiH ? std::clamp(shiftH, loH, hiH) : 0.0;
    shiftU = loU <= hiU ? std::clamp(shiftU, loU, hiU) : 0.0;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (s.selected[i]) {
            s.H[i] = m_grabH[i] - shiftH;
            s.U[i] = m_grabU[i] - shiftU;
        }
    }
}

ShapeRect CKnifeShapeEditor::GetRubberBand() const
{
    const double l = std::min(m_bandX0, m_bandX1), r = std::max(m_bandX0, m_bandX1);
    const double t = std::min(m_bandY0, m_bandY1), b = std::max(m_bandY0, m_bandY1);
    return ShapeRect{static_cast<int32_t>(std::floor(l)), static_cast<int32_t>(std::floor(t)),
                     static_cast<int32_t>(std::floor(r)) + 1, static_cast<int32_t>(std::floor(b)) + 1};
}

void CKnifeShapeEditor::DragBand(double x, double y, uint32_t mods)
{
    KnifeShape& s = m_state.shape;
    m_bandX1 = std::clamp(x, 0.0, static_cast<double>(std::max(m_width - 1, 0)));
    m_bandY1 = std::clamp(y, 0.0, static_cast<double>(std::max(m_height - 1, 0)));
    std::copy(m_bandSaved, m_bandSaved + kKnifeMaxNodes, s.selected);
    const ShapeRect band = GetRubberBand();
    const bool remove = (mods & kModAlt) != 0;
    for (int i = 0; i < s.nodeCount; ++i) {
        const ShapeRect& q = m_squares[i];
        const bool overlaps = q.left < band.right && band.left < q.right && q.top < band.bottom &&
                              band.top < q.bottom;
        if (overlaps)
            s.selected[i] = remove ? 0 : 1;
    }
}

void CKnifeShapeEditor::DragRotate(double x, double y, uint32_t mods)
{
    KnifeShape& s = m_state.shape;
    const double grabAngle = std::atan2(m_rotCy - m_grabY, m_rotCx - m_grabX);
    const double pointerAngle = std::atan2(m_rotCy - y, m_rotCx - x);
    double angle = grabAngle - pointerAngle;
    // The same turn either way round: snapping truncates towards no turn at all.
    if (angle > kPi)
        angle -= 2 * kPi;
    else if (angle <= -kPi)
        angle += 2 * kPi;
    if (mods & kModShift) {
        const int step = (mods & kModAlt) ? 45 : 15;
        int degrees = static_cast<int>(angle * 180.0 / kPi);
        degrees -= degrees % step;
        angle = degrees * kPi / 180.0;
    }
    const double dx = x - m_rotCx;
    const double dy = y - m_rotCy;
    const double len = std::hypot(dx, dy);
    if (len > 0) {
        m_rotHx = m_rotCx + m_rotRadius * dx / len;
        m_rotHy = m_rotCy + m_rotRadius * dy / len;
    }
    if (angle == 0.0) {
        RestoreGrabValues();
        return;
    }
    // The nodes turn with the pointer: by the pointer's angle less the grab's.
    const double c = std::cos(-angle);
    const double sn = std::sin(-angle);
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        const double vx = m_relX[i] - m_rotCx;
        const double vy = m_relY[i] - m_rotCy;
        PlaceClamped(i, m_rotCx + vx * c - vy * sn, m_rotCy + vx * sn + vy * c);
    }
}

void CKnifeShapeEditor::DragScale(double x, double y, uint32_t mods)
{
    KnifeShape& s = m_state.shape;
    double dx = x - m_grabX;
    double dy = y - m_grabY;
    if (dx == 0.0 && dy == 0.0) {
        RestoreGrabValues();
        return;
    }
    const int h = m_handle;
    const bool aboutCentre = (mods & kModAlt) != 0;
    double stickX = kStick;
    double stickY = kStick;
    const double w = m_boxR - m_boxL;
    const double ht = m_boxB - m_boxT;
    if ((mods & kModShift) && h % 2 == 0) {
        const double sign = (h == 0 || h == 4) ? 1.0 : -1.0;
        if (w > ht) {
            dy = sign * ht * dx / w;
            stickY = kStick * ht / w;
        } else if (ht > 0) {
            dx = sign * w * dy / ht;
            stickX = kStick * w / ht;
        }
    }
    const bool moveL = h == 0 || h == 6 || h == 7;
    const bool moveR = h == 2 || h == 3 || h == 4;
    const bool moveT = h == 0 || h == 1 || h == 2;
    const bool moveB = h == 4 || h == 5 || h == 6;
    double L, R, T, B;
    ScaleAxis(moveL, moveR, aboutCentre, m_boxL, m_boxR, dx, stickX, L, R);
    ScaleAxis(moveT, moveB, aboutCentre, m_boxT, m_boxB, dy, stickY, T, B);
    for (int i = 0; i < s.nodeCount; ++i)
        if (s.selected[i])
            PlaceClamped(i, L + (R - L) * m_relX[i], T + (B - T) * m_relY[i]);
}

void CKnifeShapeEditor::OnMouseMove(double x, double y, uint32_t mods)
{
    switch (m_drag) {
    case kDragNode:
        DragNodes(x, y);
        DrawKnife();
        break;
    case kDragBand:
        DragBand(x, y, mods);
        DrawOverlay(true);
        ShowSmoothness();
        break;
    case kDragHandle:
        if (m_rotate)
            DragRotate(x, y, mods);
        else
            DragScale(x, y, mods);
        DrawKnife();
        break;
    default:
        break;
    }
}

void CKnifeShapeEditor::OnLButtonUp(double, double, uint32_t)
{
    const Drag ended = m_drag;
    m_drag = kDragNone;
    m_dragNode = -1;
    m_handle = -1;
    if (ended == kDragNode || ended == kDragHandle)
        CloneToSplitter(true);
    DrawOverlay(false);
    PushUndo(true);
}

bool CKnifeShapeEditor::OnEscape()
{
    if (m_drag == kDragNone)
        return false;
    m_drag = kDragNone;
    m_dragNode = -1;
    m_handle = -1;
    RestoreFromHistory();
    return true;
}

int CKnifeShapeEditor::HandleCursor(int handle, bool rotate) const
{
    if (rotate)
        return kCursorRotate;
    if (handle == 1 || handle == 5)
        return kCursorSizeNS;
    if (handle == 3 || handle == 7)
        return kCursorSizeWE;
    return kCursorMove;
}

int CKnifeShapeEditor::GetCursor(double x, double y, uint32_t mods) const
{
    if (m_drag == kDragHandle)
        return HandleCursor(m_handle, m_rotate);
    if (m_drag == kDragNode)
        return kCursorMove;
    if (m_showExtras) {
        if (m_showAnchors && NodeAt(x, y) >= 0)
            return kCursorMove;
        const int handle = HandleAt(x, y);
        if (handle >= 0)
            return HandleCursor(handle, (mods & kModCtrl) != 0);
    }
    if ((!m_showAnchors || (mods & kModSpace)) && GetSelectedCount() > 0 && InWidenedBox(x, y))
        return kCursorMove;
    return kCursorArrow;
}
