// Editing the grid as a whole and one line at a time, the knife parameters the Cutter sets,
// knot picking and the extra knives between picked knots.
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_model_impl.h"

#include <algorithm>
#include <cstring>

void CLayoutModel::CutterAmplitudes(float& s, float& h, float& u) const
{
    s = h = u = 0.0f;
    if (m_pCutter) {
        s = m_pCutter->ampSmooth;
        h = m_pCutter->ampAcross;
        u = m_pCutter->ampAlong;
    }
}

// ---------------------------------------------------------------------------------------------
// The grid and the knife parameters

bool CLayoutModel::ResizeGrid(int rows, int columns)
{
    if (rows < 0)
        rows = m_yLineCount + 1;
    if (columns < 0)
        columns = m_xLineCount + 1;
    if (rows != m_yLineCount + 1 || columns != m_xLineCount + 1)
        RecordUndo(0, kFullGrid);
    if (!SetGridSize(columns, rows, false, true))
        return false;
    // After a rebuild nothing is selected, so every knife takes the Cutter's shape.
    float s, h, u;
    CutterAmplitudes(s, h, u);
    CloneShapeToKnives(true, s, h, u, false);
    RefreshOverlay();
    UpdateSelectionState();
    return true;
}

void CLayoutModel::ApplyKnifeShape(float s, float h, float u, bool selectedNodesOnly,
                                   bool recordUndo)
{
    if (recordUndo)
        RecordUndo(0, kFullShape);
    CloneShapeToKnives(true, s, h, u, selectedNodesOnly);
    Redraw();
}

void CLayoutModel::ApplyKnifeShapeFlipH(float s, float h, float u)
{
    RecordUndo(0, kFullShape);
    FlipKnivesAcross(true, s, h, u);
    Redraw();
}

void CLayoutModel::ApplyKnifeShapeFlipU(float s, float h, float u)
{
    RecordUndo(0, kFullShape);
    FlipKnivesAlong(true, s, h, u);
    Redraw();
}

void CLayoutModel::SetKnifeThickness(int thickness, bool razor)
{
    RecordUndo(0, kFullThickness);
    SetKnivesThickness(std::clamp(thickness, 1, 100), razor, true);
    Redraw();
}

void CLayoutModel::SetTipsSize(int tips)
{
    RecordUndo(0, kFullTips);
    SetKnivesTips(std::clamp(tips, 0, 100), true);
    Redraw();
}

void CLayoutModel::SetKnotRandomness(float amplitude)
{
    if (!m_layoutMode)
        return;
    TakeUndoSnapshot(kUndoKnots);
    m_knotAmplitude = amplitude > 1.0f ? 1.0f : (amplitude >= 0.0f ? amplitude : 0.0f);
    RandomizeKnots(false);
    Redraw();
    RecordUndo(kUndoKnots, 0);
}

void CLayoutModel::DistributeGridLines(bool horizontal, bool redraw)
{
    TakeUndoSnapshot(kUndoLines);
    float* lines = horizontal ? m_yLines : m_xLines;
    const int n = horizontal ? m_yLineCount : m_xLineCount;
    const float step = 1.0f / static_cast<float>(n + 1);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
        sum += step;
        lines[i] = sum;
    }
    if (redraw)
        RefreshOverlay();
    RecordUndo(kUndoLines, 0);
}

void CLayoutModel::ArrangeGridLines(bool horizontal, int line, bool redraw)
{
    float* lines = horizontal ? m_yLines : m_xLines;
    const int n = horizontal ? m_yLineCount : m_xLineCount;
    // No line to centre (a direction without lines, or an index past them).
    if (n == 0 || line < 0 || (n >= 2 && line >= n))
        return;
    TakeUndoSnapshot(kUndoLines);
    if (n < 2)
        lines[0] = 0.5f;
    else if (line == 0)
        lines[0] = lines[1] / 2.0f;
    else if (line == n - 1)
        lines[line] = (lines[line - 1] + 1.0f) / 2.0f;
    else
        lines[line] = (lines[line - 1] + lines[line + 1]) / 2.0f;
    if (redraw)
        RefreshOverlay();
    RecordUndo(kUndoLines, 0);
}

bool CLayoutModel::InsertGridLine(bool vertical, double x, double y)
{
    const int n = vertical ? m_xLineCount : m_yLineCount;
    if (n >= 99)
        return false;
    const LayoutView& v = m_view;
    if (vertical ? !(v.previewL < x && x < v.previewR) : !(v.previewT < y && y < v.previewB))
        return false;
    double f = 0.0;
    if (!PointFraction(vertical, x, y, f) || !(f >= 0.0 && f <= 1.0))
        return false;
    const float* lines = vertical ? m_xLines : m_yLines;
    const float fraction = static_cast<float>(f);
    int k = 0;
    while (k < n && !(lines[k] > fraction))
        ++k;
    return ChangeGridLine(true, vertical, k, fraction);
}

bool CLayoutModel::DeleteGridLine(bool vertical, int line)
{
    const int n = vertical ? m_xLineCount : m_yLineCount;
    if (line < 0 || line >= n || !m_pCutter)
        return false;
    return ChangeGridLine(false, vertical, line, 0.0f);
}

// Inserts a line at index k (with the fraction) or deletes line k of one direction; every other
// knot and knife keeps its values.
bool CLayoutModel::ChangeGridLine(bool inserting, bool vertical, int k, float fraction)
{
    const int32_t oldE = m_knotsPerRow;
    const int32_t oldKnots = m_knotCount;
    const int oldXl = m_xLineCount;
    const int oldYl = m_yLineCount;
    const int32_t oldRows = m_rowCount;
    const int32_t oldCols = m_colCount;

    // Copies of what the rebuilt grid takes over; nothing has changed when they fail.
    CQWF_Mem knotCopy, rowCopy, colCopy;
    float xLines[kGridMaxLines];
    float yLines[kGridMaxLines];
    std::memcpy(xLines, m_xLines, sizeof xLines);
    std::memcpy(yLines, m_yLines, sizeof yLines);
    const size_t knotBytes = static_cast<size_t>(oldKnots) * sizeof(KnotRecord);
    const size_t rowBytes = static_cast<size_t>(oldRows) * sizeof(KnifeRecord);
    const size_t colBytes = static_cast<size_t>(oldCols) * sizeof(KnifeRecord);
    if ((knotBytes && !knotCopy.Alloc(knotBytes)) || (rowBytes && !rowCopy.Alloc(rowBytes)) ||
        (colBytes && !colCopy.Alloc(colBytes)))
        return false;
    if (knotBytes)
        std::memcpy(knotCopy.GetData(), Knots(), knotBytes);
    if (rowBytes)
        std::memcpy(rowCopy.GetData(), RowKnives(), rowBytes);
    if (colBytes)
        std::memcpy(colCopy.GetData(), ColumnKnives(), colBytes);

    // Extra knives follow their knots; those whose knot goes are deleted.
    ExtraKnifeRecord* extras = ExtraKnives();
    for (int32_t i = 0; i < m_extraCount; ++i) {
        const int32_t a = RemapKnot(extras[i].knotA, oldE, oldKnots, inserting, vertical, k);
        const int32_t b = RemapKnot(extras[i].knotB, oldE, oldKnots, inserting, vertical, k);
        extras[i].mark = (a < 0 || b < 0) ? 1 : 0;
        if (!extras[i].mark) {
            extras[i].knotA = a;
            extras[i].knotB = b;
        }
    }
    DeleteExtraKnives(false, nullptr, 0, true, false);

    const int delta = inserting ? 1 : -1;
    const int columns = oldXl + 1 + (vertical ? delta : 0);
    const int rows = oldYl + 1 + (vertical ? 0 : delta);
    if (!SetGridSize(columns, rows, false, false))
        return false;

    // Lines: the direction gains or loses line k; the other keeps its own.
    const float* oldLines = vertical ? xLines : yLines;
    float* lines = vertical ? m_xLines : m_yLines;
    const int n = vertical ? m_xLineCount : m_yLineCount;
    for (int i = 0; i < n; ++i) {
        if (inserting)
            lines[i] = i < k ? oldLines[i] : (i == k ? fraction : oldLines[i - 1]);
        else
            lines[i] = oldLines[i < k ? i : i + 1];
    }
    std::memcpy(vertical ? m_yLines : m_xLines, vertical ? yLines : xLines,
                sizeof(float) * kGridMaxLines);

    // Knots keep their offsets; the knots of an inserted line start at the grid.
    KnotRecord* knots = Knots();
    std::memset(knots, 0, static_cast<size_t>(m_knotCount) * sizeof(KnotRecord));
    const KnotRecord* oldK = reinterpret_cast<const KnotRecord*>(knotCopy.GetData());
    for (int32_t o = 0; o < oldKnots; ++o) {
        const int32_t nk = RemapKnot(o, oldE, oldKnots, inserting, vertical, k);
        if (nk >= 0 && nk < m_knotCount) {
            knots[nk].x = oldK[o].x;
            knots[nk].y = oldK[o].y;
        }
    }

    // Knives: each takes the knife it came from, or a fresh shape on the inserted line.
    float s, h, u;
    CutterAmplitudes(s, h, u);
    auto take = [&](KnifeRecord& dst, const KnifeRecord* src) {
        if (!src) {
            SetKnifeShape(dst, s, h, u, false, false, false, true);
            return;
        }
        dst = *src;
        dst.length = 0.0f;
        dst.pOutline = nullptr;  // the old caches went with the old blocks
        dst.outlinePoints = 0;
        dst.marked = 0;
    };
    // The old index along the changed direction for new index i; -1 for the inserted one.
    auto source = [&](int i) { return inserting ? (i < k ? i : (i == k ? -1 : i - 1)) : (i < k ? i : i + 1); };
    const KnifeRecord* oldRow = reinterpret_cast<const KnifeRecord*>(rowCopy.GetData());
    const KnifeRecord* oldCol = reinterpret_cast<const KnifeRecord*>(colCopy.GetData());
    const int xl = m_xLineCount;
    for (int32_t i = 0; i < m_rowCount; ++i) {
        int row = i / xl;
        int line = i % xl;
        if (vertical)
            line = source(line);
        else
            row = source(row);
        take(RowKnives()[i], (row < 0 || line < 0) ? nullptr : &oldRow[row * oldXl + line]);
    }
    for (int32_t i = 0; i < m_colCount; ++i) {
        int line = i / (xl + 1);
        int col = i % (xl + 1);
        if (vertical)
            col = source(col);
        else
            line = source(line);
        take(ColumnKnives()[i], (line < 0 || col < 0) ? nullptr : &oldCol[line * (oldXl + 1) + col]);
    }

    m_pSink->CutterSetGridSize(m_xLineCount + 1, m_yLineCount + 1);
    UpdateSelectionState();
    RefreshOverlay();
    return true;
}

void CLayoutModel::EqualizeKnobs(bool selectedOnly, bool redraw)
{
    // The reference is the shortest knife with a knob that has some size.
    const KnifeRecord* ref = nullptr;
    ForEachConsidered(selectedOnly, [&](KnifeRecord& k, bool) {
        if (!(k.length > 0.0f) || k.nodeCount < 2 || k.tipsSize <= 0)
            return;
        float eu, eh;
        GetKnifeExtent(k, eu, eh);
        if (!(eu > 0.0f || eh > 0.0f))
            return;
        if (!ref || k.length < ref->length)
            ref = &k;
    });
    if (!ref)
        return;
    RecordUndo(0, kFullTips);
    float eu, eh;
    GetKnifeExtent(*ref, eu, eh);
    const double width = eu * ref->tipsSize / 100.0;
    const double height = eh * ref->tipsSize / 100.0;
    const double scale = ref->length;
    // A direction in which the reference has no extent does not limit the others.
    ForEachConsidered(selectedOnly, [&](KnifeRecord& k, bool) { EqualizeKnob(k, width, height, scale); });
    if (redraw)
        Redraw();
}

// ---------------------------------------------------------------------------------------------
// Knot picking and extra knives

void CLayoutModel::ShowKnots(bool show, bool redraw)
{
    if (!m_layoutMode || m_knotDrag)
        return;
    m_showExtras[0] = show ? 1 : 0;
    UpdateExtrasButtons();
    if (redraw)
        Redraw();
}

void CLayoutModel::PickKnot(int32_t knot)
{
    int32_t& first = m_pickedKnots[0];
    int32_t& second = m_pickedKnots[1];
    if (m_pickedKnotCount <= 0) {
        first = knot;
        m_pickedKnotCount = 1;
    } else if (m_pickedKnotCount == 1) {
        if (knot == first)
            m_pickedKnotCount = 0;
        else if (CanAddExtraKnife(knot, first)) {
            second = knot;
            m_pickedKnotCount = 2;
        } else {
            first = knot;
        }
    } else if (knot == first) {
        first = second;
        m_pickedKnotCount = 1;
    } else if (knot == second) {
        m_pickedKnotCount = 1;
    } else {
        // The pair slides along the clicks: the last picked knot joins the new one.
        first = second;
        if (CanAddExtraKnife(knot, first)) {
            second = knot;
        } else {
            first = knot;
            m_pickedKnotCount = 1;
        }
    }
    UpdateAddExtraButton();
}

void CLayoutModel::UnpickLastKnot()
{
    if (m_pickedKnotCount <= 0)
        return;
    --m_pickedKnotCount;
    Redraw();
    UpdateAddExtraButton();
}

void CLayoutModel::AddPickedExtraKnife(bool redraw)
{
    if (!m_layoutMode || m_pickedKnotCount != 2)
        return;
    AddExtraKnife(m_pickedKnots[0], m_pickedKnots[1]);
    if (redraw) {
        Redraw();
        UpdateAddExtraButton();
        UpdateSelectionState();
    }
}

void CLayoutModel::DeleteExtraKnives(bool selectedOnly, const uint32_t* ids, size_t count,
                                     bool useMarks, bool redraw)
{
    // The commands work in Layout mode; the grid-line edits pass their own marks.
    if (!m_layoutMode && !useMarks)
        return;
    ExtraKnifeRecord* x = ExtraKnives();
    if (!useMarks) {
        if (ids) {
            for (int32_t i = 0; i < m_extraCount; ++i)
                x[i].mark = 0;
            for (size_t n = 0; n < count; ++n)
                if (ids[n] >= static_cast<uint32_t>(kKnifeIdExtra) &&
                    ids[n] - kKnifeIdExtra < static_cast<uint32_t>(m_extraCount))
                    x[ids[n] - kKnifeIdExtra].mark = 1;
        } else {
            const bool keepUnselected = selectedOnly && m_flags[kFlagSelected];
            for (int32_t i = 0; i < m_extraCount; ++i)
                x[i].mark = (keepUnselected && !x[i].knife.selected) ? 0 : 1;
        }
    }
    int32_t kept = 0;
    for (int32_t i = 0; i < m_extraCount; ++i) {
        if (x[i].mark) {
            FreeOutline(x[i].knife);
            continue;
        }
        if (kept != i)
            x[kept] = x[i];
        ++kept;
    }
    std::fill(x + kept, x + m_extraCount, ExtraKnifeRecord{});
    m_extraCount = kept;
    if (redraw) {
        Redraw();
        UpdateAddExtraButton();
        UpdateSelectionState();
    }
}
