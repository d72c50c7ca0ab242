// Shape state, preview geometry, node operations, history and cloning of the knife-shape editor.
#include "plugin/windows/knife_shape_editor.h"

#include "plugin/main/main_commands.h"  // made from skin/accelerators.skin

#include <algorithm>
#include <cmath>

namespace {

// Whole preview pixel of a coordinate; far-away or non-finite values are held to a safe range.
int32_t Pixel(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int32_t>(std::lround(std::clamp(v, -1.0e9, 1.0e9)));
}

constexpr double kCurveStep = 4.0;
}  // namespace

CKnifeShapeEditor::CKnifeShapeEditor()
{
    m_state.tipsSize = 100;
    m_state.thickness = 3;
    MakeDefaultShape(m_state.shape);
    m_history.Reset(m_state.shape);
}

CKnifeShapeEditor::~CKnifeShapeEditor() = default;

void CKnifeShapeEditor::MakeDefaultShape(KnifeShape& shape)
{
    static const double kH[5] = {0.0, -0.165, -0.297, -0.165, 0.0};
    static const double kU[5] = {0.434, 0.3515, 0.5, 0.6485, 0.566};
    shape = KnifeShape{};
    shape.nodeCount = 5;
    for (int i = 0; i < 5; ++i) {
        shape.H[i] = kH[i];
        shape.U[i] = kU[i];
        shape.S[i] = 0.5;
        shape.selected[i] = 1;
    }
}

void CKnifeShapeEditor::SetPreviewSize(int32_t width, int32_t height)
{
    m_width = std::max<int32_t>(width, 0);
    m_height = std::max<int32_t>(height, 0);
}

void CKnifeShapeEditor::SetZoom(int zoom) { m_zoom = std::clamp(zoom, 0, 2); }

void CKnifeShapeEditor::SetTipsAndThickness(uint16_t tipsSize, uint16_t thickness)
{
    m_state.tipsSize = tipsSize;
    m_state.thickness = thickness;
}

int CKnifeShapeEditor::GetSelectedCount() const
{
    int n = 0;
    for (int i = 0; i < m_state.shape.nodeCount; ++i)
        n += m_state.shape.selected[i] ? 1 : 0;
    return n;
}

void CKnifeShapeEditor::SetSelection(uint8_t value)
{
    for (int i = 0; i < m_state.shape.nodeCount; ++i)
        m_state.shape.selected[i] = value;
}

// ---------------------------------------------------------------------------------------------
// Geometry

QWF_DPoint CKnifeShapeEditor::NodePoint(double h, double u) const
{
    QWF_DPoint p{m_ax, m_ay};
    CQWF_2DMath::PointAtOffset(m_ax, m_ay, m_bx, m_by, h, u, p);
    return p;
}

QWF_DPoint CKnifeShapeEditor::NodePoint(int node) const
{
    return NodePoint(m_state.shape.H[node], m_state.shape.U[node]);
}

bool CKnifeShapeEditor::PointToNode(double x, double y, double& h, double& u) const
{
    return CQWF_2DMath::SignedDistanceToLine(m_ax, m_ay, m_bx, m_by, x, y, h, u);
}

void CKnifeShapeEditor::UpdateGeometry()
{
    const int divisor = 1 << m_zoom;
    const int32_t edge = std::max<int32_t>((m_height - 25) / divisor, 1);
    m_top = std::max<int32_t>(0, (m_height - edge) / 2);
    m_bottom = std::min<int32_t>(m_top + edge, m_height - 1);
    if (m_bottom <= m_top)
        m_bottom = m_top + 1;
    m_edge = edge;
    m_ax = m_bx = m_width / 2;
    m_ay = m_top;
    m_by = m_bottom;
    if (m_width > 0)
        m_hMax = std::max(0.0, (m_width - 25) / 2.0 / edge);

    const KnifeShape& s = m_state.shape;
    const int n = std::min<int>(s.nodeCount, kKnifeMaxNodes);
    for (int i = 0; i < n; ++i) {
        const QWF_DPoint p = NodePoint(i);
        const int32_t cx = Pixel(p.x);
        const int32_t cy = Pixel(p.y);
        m_squares[i] = ShapeRect{cx - 3, cy - 3, cx + 4, cy + 4};
    }

    m_curveValid = true;
    if (n > 0) {
        QWF_PolyPoint chain[kKnifeMaxNodes + 2];
        chain[0] = QWF_PolyPoint{m_ax, m_ay, 0.0f};
        for (int i = 0; i < n; ++i) {
            const QWF_DPoint p = NodePoint(i);
            chain[i + 1] = QWF_PolyPoint{p.x, p.y, static_cast<float>(s.S[i])};
        }
        chain[n + 1] = QWF_PolyPoint{m_bx, m_by, 0.0f};
        m_math.SetCurveReach(CQWF_2DMath::CurveReach(m_width, m_height));
        m_curveValid = m_math.BezierToPolyline(chain, n + 2, kCurveStep, &m_curve, m_curveCount,
                                               &m_curveSegments);
        if (!m_curveValid)
            m_curveCount = 0;
    } else {
        m_curveCount = 0;
    }
    UpdateSelectionBox();
}

void CKnifeShapeEditor::UpdateSelectionBox()
{
    const KnifeShape& s = m_state.shape;
    int selected = 0;
    ShapeRect box{0, 0, 0, 0};
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        const ShapeRect& q = m_squares[i];
        if (selected++ == 0) {
            box = q;
        } else {
            box.left = std::min(box.left, q.left);
            box.top = std::min(box.top, q.top);
            box.right = std::max(box.right, q.right);
            box.bottom = std::max(box.bottom, q.bottom);
        }
    }
    m_boxValid = selected > 0;
    m_box = box;
    for (bool& shown : m_handleShown)
        shown = false;
    if (selected < 2)
        return;
    const int32_t L = box.left, T = box.top, R = box.right, B = box.bottom;
    const int32_t cx = (L + R) / 2, cy = (T + B) / 2;
    m_handles[0] = ShapeRect{L - 6, T - 6, L - 1, T - 1};
    m_handles[1] = ShapeRect{cx - 2, T - 6, cx + 3, T - 1};
    m_handles[2] = ShapeRect{R + 1, T - 6, R + 6, T - 1};
    m_handles[3] = ShapeRect{R + 1, cy - 2, R + 6, cy + 3};
    m_handles[4] = ShapeRect{R + 1, B + 1, R + 6, B + 6};
    m_handles[5] = ShapeRect{cx - 2, B + 1, cx + 3, B + 6};
    m_handles[6] = ShapeRect{L - 6, B + 1, L - 1, B + 6};
    m_handles[7] = ShapeRect{L - 6, cy - 2, L - 1, cy + 3};
    const bool oneColumn = R - L == 7;
    const bool oneRow = B - T == 7;
    for (int h = 0; h < kHandleCount; ++h) {
        const bool vertical = h == 1 || h == 5;
        const bool horizontal = h == 3 || h == 7;
        m_handleShown[h] = (!oneColumn || vertical) && (!oneRow || horizontal);
    }
}

void CKnifeShapeEditor::DrawKnife()
{
    UpdateGeometry();
    m_view->RedrawKnife();
}

void CKnifeShapeEditor::DrawOverlay(bool immediate)
{
    UpdateSelectionBox();
    if (immediate)
        m_showExtras = true;
    m_view->RedrawOverlay(immediate);
}

// ---------------------------------------------------------------------------------------------
// Node operations

void CKnifeShapeEditor::FinishEdit(bool selectedOnly)
{
    DrawKnife();
    PushUndo(true);
    ShowSmoothness();
    CloneToSplitter(selectedOnly);
}

bool CKnifeShapeEditor::InsertNode(double x, double y, bool keepSelection, int position)
{
    KnifeShape& s = m_state.shape;
    const int n = s.nodeCount;
    double h = 0.0;
    double u = 0.0;
    if (n >= kKnifeMaxNodes || !PointToNode(x, y, h, u)) {
        m_view->Beep();
        return false;
    }
    position = std::clamp(position, 0, n);
    if (!keepSelection)
        SetSelection(0);
    for (int i = n; i > position; --i) {
        s.H[i] = s.H[i - 1];
        s.U[i] = s.U[i - 1];
        s.S[i] = s.S[i - 1];
        s.selected[i] = s.selected[i - 1];
    }
    s.H[position] = h;
    s.U[position] = u;
    s.S[position] = m_newNodeS;
    s.selected[position] = 1;
    s.nodeCount = static_cast<uint8_t>(n + 1);
    DrawKnife();
    PushUndo(true);
    ShowSmoothness();
    return true;
}

void CKnifeShapeEditor::DeleteSelectedNodes()
{
    KnifeShape& s = m_state.shape;
    if (GetSelectedCount() == 0)
        return;
    int kept = 0;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (s.selected[i])
            continue;
        s.H[kept] = s.H[i];
        s.U[kept] = s.U[i];
        s.S[kept] = s.S[i];
        s.selected[kept] = 0;
        ++kept;
    }
    s.nodeCount = static_cast<uint8_t>(kept);
    FinishEdit(false);
}

void CKnifeShapeEditor::SelectAllNodes()
{
    SetSelection(1);
    m_showAnchors = true;
    DrawOverlay(true);
    ShowSmoothness();
    PushUndo(true);
}

void CKnifeShapeEditor::DeselectAllNodes()
{
    SetSelection(0);
    m_showAnchors = true;
    DrawOverlay(true);
    ShowSmoothness();
    PushUndo(true);
}

void CKnifeShapeEditor::InverseNodeSelection()
{
    KnifeShape& s = m_state.shape;
    for (int i = 0; i < s.nodeCount; ++i)
        s.selected[i] = s.selected[i] ? 0 : 1;
    m_showAnchors = true;
    DrawOverlay(true);
    ShowSmoothness();
    PushUndo(true);
}

void CKnifeShapeEditor::AlignNodes(int kind)
{
    KnifeShape& s = m_state.shape;
    if (kind < kAlignTop || kind > kAlignRight || GetSelectedCount() == 0)
        return;
    double minU = 0, maxU = 0, minH = 0, maxH = 0;
    bool first = true;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        if (first) {
            minU = maxU = s.U[i];
            minH = maxH = s.H[i];
            first = false;
        } else {
            minU = std::min(minU, s.U[i]);
            maxU = std::max(maxU, s.U[i]);
            minH = std::min(minH, s.H[i]);
            maxH = std::max(maxH, s.H[i]);
        }
    }
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        switch (kind) {
        case kAlignTop: s.U[i] = minU; break;
        case kAlignVCenter: s.U[i] = (minU + maxU) / 2; break;
        case kAlignBottom: s.U[i] = maxU; break;
        case kAlignLeft: s.H[i] = maxH; break;
        case kAlignHCenter: s.H[i] = (minH + maxH) / 2; break;
        default: s.H[i] = minH; break;
        }
    }
    FinishEdit(false);
}

int CKnifeShapeEditor::CNodesSorterIDS::Compare(const void* a, const void* b)
{
    const uint32_t ia = *static_cast<const uint32_t*>(a);
    const uint32_t ib = *static_cast<const uint32_t*>(b);
    const KnifeShape& s = m_editor->m_state.shape;
    if (ia >= s.nodeCount || ib >= s.nodeCount)
        return 0;
    const double va = m_byU ? s.U[ia] : s.H[ia];
    const double vb = m_byU ? s.U[ib] : s.H[ib];
    return va < vb ? -1 : (va > vb ? 1 : 0);
}

void CKnifeShapeEditor::DistributeNodes(bool vertical)
{
    KnifeShape& s = m_state.shape;
    CNodesSorterIDS order(this, vertical);
    for (int i = 0; i < s.nodeCount; ++i)
        if (s.selected[i] && order.Add(static_cast<uint32_t>(i)) < 0)
            return;
    const size_t count = order.GetCount();
    if (count < 3 || !order.Sort(true))
        return;
    double* values = vertical ? s.U : s.H;
    const double first = values[order.GetAt(0)];
    const double last = values[order.GetAt(count - 1)];
    const double step = (last - first) / static_cast<double>(count - 1);
    double v = first;
    for (size_t k = 1; k + 1 < count; ++k) {
        v += step;
        values[order.GetAt(k)] = v;
    }
    FinishEdit(false);
}

void CKnifeShapeEditor::FlipH()
{
    KnifeShape& s = m_state.shape;
    for (int i = 0; i < s.nodeCount; ++i)
        s.H[i] = -s.H[i];
    DrawKnife();
    PushUndo(true);
    CloneToSplitterFlipH();
}

void CKnifeShapeEditor::FlipU()
{
    KnifeShape& s = m_state.shape;
    const int n = s.nodeCount;
    for (int i = 0; i < n; ++i)
        s.U[i] = 1.0 - s.U[i];
    std::reverse(s.H, s.H + n);
    std::reverse(s.U, s.U + n);
    std::reverse(s.S, s.S + n);
    std::reverse(s.selected, s.selected + n);
    DrawKnife();
    PushUndo(true);
    CloneToSplitterFlipU();
}

void CKnifeShapeEditor::SetSmoothness(double value, bool finished)
{
    if (!(value >= 0.0))
        value = 0.0;
    value = std::min(value, 1.0);
    m_newNodeS = value;
    KnifeShape& s = m_state.shape;
    bool changed = false;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (s.selected[i] && s.S[i] != value) {
            s.S[i] = value;
            changed = true;
        }
    }
    if (changed)
        DrawKnife();
    if (finished) {
        PushUndo(true);
        CloneToSplitter(true);
    }
}

void CKnifeShapeEditor::SetShape(const KnifeShape& shape, bool clone)
{
    CShapeHistory::CopyShape(m_state.shape, shape);
    SetSelection(1);
    DrawKnife();
    PushUndo(false);
    ShowSmoothness();
    if (clone)
        CloneToSplitter(false);
}

SmoothnessDisplay CKnifeShapeEditor::GetSmoothnessDisplay() const
{
    const KnifeShape& s = m_state.shape;
    SmoothnessDisplay d{false, false, 0};
    int count = 0;
    double sum = 0.0;
    double first = 0.0;
    for (int i = 0; i < s.nodeCount; ++i) {
        if (!s.selected[i])
            continue;
        if (count == 0)
            first = s.S[i];
        else if (s.S[i] != first)
            d.mixed = true;
        sum += s.S[i];
        ++count;
    }
    if (count == 0)
        return d;
    d.enabled = true;
    const double v = d.mixed ? sum / count : first;
    d.value = static_cast<int>(std::clamp(v * 100.0, 0.0, 100.0));
    return d;
}

void CKnifeShapeEditor::ShowSmoothness()
{
    m_view->ShowSmoothness(GetSmoothnessDisplay());
    m_view->EnableReClone(IsReCloneEnabled());
}

void CKnifeShapeEditor::ToggleShowExtras()
{
    if (!m_showAnchors) {
        m_showAnchors = true;
        m_showExtras = true;
    } else {
        m_showExtras = !m_showExtras;
    }
    m_view->RedrawOverlay(true);
}

void CKnifeShapeEditor::ToggleAnchorPoints()
{
    if (m_showExtras) {
        m_showAnchors = !m_showAnchors;
    } else {
        m_showAnchors = true;
        m_showExtras = true;
    }
    m_view->RedrawOverlay(true);
}

// ---------------------------------------------------------------------------------------------
// Menu and commands

void CKnifeShapeEditor::GetNodeMenu(NodeMenuItem* items) const
{
    const int n = m_state.shape.nodeCount;
    const int selected = GetSelectedCount();
    const bool some = selected > 0;
    int k = 0;
    auto add = [&](int id, const char* text, const char* key, bool enabled, bool checked, bool shift = false) {
        items[k++] = NodeMenuItem{id, text, key, enabled, checked, shift};
    };
    auto separator = [&] { add(0, nullptr, nullptr, false, false); };
    add(kCmdUndo, "Undo", nullptr, m_history.CanUndo(), false);
    add(kCmdRedo, "Redo", nullptr, m_history.CanRedo(), false);
    separator();
    add(kCmdSelectAll, "Select All", "A", selected < n, false);
    add(kCmdDeselect, "Deselect", "D", some, false);
    // Ctrl+I alone is the main window's Invert; the selection's inverse is Ctrl+Shift+I, as in
    // the main window's menus.
    add(kCmdInverse, "Inverse Selection", "I", true, false, true);
    separator();
    static const char* const kAlign[6] = {"Align Top", "Align Vertical Center", "Align Bottom",
                                          "Align Left", "Align Horizontal Center", "Align Right"};
    for (int i = 0; i < 6; ++i)
        add(kCmdAlignFirst + i, kAlign[i], nullptr, some, false);
    separator();
    add(kCmdDistributeV, "Distribute Vertically", nullptr, selected >= 3, false);
    add(kCmdDistributeH, "Distribute Horizontally", nullptr, selected >= 3, false);
    separator();
    add(kCmdDelete, "Delete", nullptr, some, false);
    separator();
    add(kCmdShowExtras, "Show Extras", "H", true, m_showExtras);
    add(kCmdShowAnchors, "Show Anchor Points", "H", true, m_showExtras && m_showAnchors);
}

bool CKnifeShapeEditor::RunNodeCommand(int id)
{
    switch (id) {
    case kCmdSelectAll: SelectAllNodes(); return true;
    case kCmdDeselect: DeselectAllNodes(); return true;
    case kCmdInverse: InverseNodeSelection(); return true;
    case kCmdDelete: DeleteSelectedNodes(); return true;
    case kCmdShowExtras: ToggleShowExtras(); return true;
    case kCmdShowAnchors: ToggleAnchorPoints(); return true;
    case kCmdDistributeV: DistributeNodes(true); return true;
    case kCmdDistributeH: DistributeNodes(false); return true;
    case kCmdUndo: Undo(); return true;
    case kCmdRedo: Redo(); return true;
    default: break;
    }
    if (id >= kCmdAlignFirst && id < kCmdAlignFirst + 6) {
        AlignNodes(id - kCmdAlignFirst);
        return true;
    }
    return false;
}

bool CKnifeShapeEditor::RunAccelerator(int id)
{
    switch (id) {
    case qwcmd::kShowExtras:
    case qwcmd::kShowExtras2: ToggleShowExtras(); return true;
    case qwcmd::kSelectAll: SelectAllNodes(); return true;
    case qwcmd::kShowAnchorPoints:
    case qwcmd::kShowAnchorPoints2: ToggleAnchorPoints(); return true;
    case qwcmd::kInverseSelection: InverseNodeSelection(); return true;
    case qwcmd::kDeselect: DeselectAllNodes(); return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------------------------
// History

void CKnifeShapeEditor::PushUndo(bool compare)
{
    m_history.Push(m_state.shape, compare);
    m_view->EnableUndoRedo(m_history.CanUndo(), m_history.CanRedo());
}

void CKnifeShapeEditor::ResetHistory()
{
    m_history.Reset(m_state.shape);
    m_view->EnableUndoRedo(false, false);
}

void CKnifeShapeEditor::RestoreFromHistory()
{
    if (m_history.Restore(m_state.shape)) {
        DrawKnife();
        ShowSmoothness();
        CloneToSplitter(false);
    }
}

void CKnifeShapeEditor::Undo() { StepHistory(true); }

void CKnifeShapeEditor::Redo() { StepHistory(false); }

void CKnifeShapeEditor::StepHistory(bool back)
{
    if (!(back ? m_history.Undo(m_state.shape) : m_history.Redo(m_state.shape))) {
        m_view->Beep();
        return;
    }
    RestoreFromHistory();
    m_view->EnableUndoRedo(m_history.CanUndo(), m_history.CanRedo());
}

// ---------------------------------------------------------------------------------------------
// Cloning

void CKnifeShapeEditor::SyncAmounts()
{
    m_state.ampSmooth = m_cloning.GetAmountS();
    m_state.ampAcross = m_cloning.GetAmountH();
    m_state.ampAlong = m_cloning.GetAmountU();
}

bool CKnifeShapeEditor::IsReCloneEnabled() const
{
    return m_cloning.IsCloningOn() && (GetSelectedCount() > 0 || m_state.shape.nodeCount == 0);
}

bool CKnifeShapeEditor::ChooseCloningMenu(int id)
{
    const int mode = id - CShapeCloning::kMenuFirst;
    if (mode < CShapeCloning::kNoCloning || mode > CShapeCloning::kExtreme)
        return false;
    m_cloning.SetMode(mode);
    ApplyCloningMode();
    return true;
}

void CKnifeShapeEditor::ApplyCustomMutations(float s, float u, float h, CQWF_Storage* prefs)
{
    if (prefs)
        CShapeCloning::SaveCustomAmounts(prefs, s, u, h);
    m_cloning.SetCustom(s, u, h);
    ApplyCloningMode();
}

void CKnifeShapeEditor::ApplyCloningMode()
{
    SyncAmounts();
    m_view->EnableReClone(IsReCloneEnabled());
    ShowCloningMode();
    CloneToSplitter(true);
}

void CKnifeShapeEditor::ResetCloning()
{
    m_cloning.Reset();
    SyncAmounts();
    ShowCloningMode();
    m_view->EnableReClone(IsReCloneEnabled());
}

void CKnifeShapeEditor::ShowCloningMode()
{
    m_view->ShowCloningText(CShapeCloning::GetModeText(m_cloning.GetMode()));
}

bool CKnifeShapeEditor::CloneToSplitter(bool selectedOnly)
{
    if (!m_cloning.IsCloningOn() || !m_target)
        return false;
    SyncAmounts();
    m_target->ApplyKnifeShape(m_cloning.GetAmountS(), m_cloning.GetAmountH(),
                              m_cloning.GetAmountU(), selectedOnly, true);
    return true;
}

void CKnifeShapeEditor::CloneToSplitterFlipH() { CloneFlipped(true); }

void CKnifeShapeEditor::CloneToSplitterFlipU() { CloneFlipped(false); }

void CKnifeShapeEditor::CloneFlipped(bool across)
{
    if (!m_cloning.IsCloningOn() || !m_target)
        return;
    SyncAmounts();
    const float s = m_cloning.GetAmountS(), h = m_cloning.GetAmountH(), u = m_cloning.GetAmountU();
    if (across)
        m_target->ApplyKnifeShapeFlipH(s, h, u);
    else
        m_target->ApplyKnifeShapeFlipU(s, h, u);
}
