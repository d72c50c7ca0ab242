#include <climits>
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_model_impl.h"

#include "platform/qw_random.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {
template <typename T> T Clamp(T v, T lo, T hi) { return v < lo ? lo : (v > hi ? hi : v); }

float Rnd() { return static_cast<float>(qwp::Random15()); }
}  // namespace

CLayoutModel::CLayoutModel() = default;

CLayoutModel::~CLayoutModel()
{
    ReleaseKnifeCaches();
}

// ---------------------------------------------------------------------------------------------
// Knife blocks

void CLayoutModel::FreeOutline(KnifeRecord& knife)
{
    delete knife.pOutline;
    knife.pOutline = nullptr;
    knife.outlinePoints = 0;
}

void CLayoutModel::ReleaseKnifeCaches()
{
    KnifeRecord* rows = RowKnives();
    for (int32_t i = 0; i < m_rowCount; ++i)
        FreeOutline(rows[i]);
    KnifeRecord* cols = ColumnKnives();
    for (int32_t i = 0; i < m_colCount; ++i)
        FreeOutline(cols[i]);
    // Extra records beyond the count are kept zero-filled, so only the counted ones hold caches.
    ExtraKnifeRecord* extras = ExtraKnives();
    for (int32_t i = 0; i < m_extraCount; ++i)
        FreeOutline(extras[i].knife);
}

void CLayoutModel::SetExtraCount(int32_t n)
{
    ExtraKnifeRecord* extras = ExtraKnives();
    for (int32_t i = n; i < m_extraCount; ++i) {
        FreeOutline(extras[i].knife);
        std::memset(&extras[i], 0, sizeof(ExtraKnifeRecord));
    }
    m_extraCount = n;
}

KnifeRecord* CLayoutModel::GetKnife(int32_t index, bool rowFamily, bool extraFamily) const
{
    if (index < 0)
        return nullptr;
    if (extraFamily)
        return index < m_extraCount ? &ExtraKnives()[index].knife : nullptr;
    if (rowFamily)
        return index < m_rowCount ? &RowKnives()[index] : nullptr;
    return index < m_colCount ? &ColumnKnives()[index] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Grid and defaults

CLayoutModel::GridCounts CLayoutModel::CountsOfGrid(int xLines, int yLines)
{
    GridCounts g{};
    g.xl = Clamp(xLines, 0, kGridMaxLines);
    g.yl = Clamp(yLines, 0, kGridMaxLines);
    g.knots = (g.xl + 2) * (g.yl + 2);
    g.rows = g.xl * (g.yl + 1);
    g.columns = g.yl * (g.xl + 1);
    return g;
}

bool CLayoutModel::SetGridSize(int columns, int rows, bool force, bool clearExtras)
{
    const GridCounts g = CountsOfGrid(columns - 1, rows - 1);
    const int xl = g.xl;
    const int yl = g.yl;
    const int kpr = xl + 2;
    const int kr = yl + 2;
    const bool latticeMatches = m_knots.GetData() && m_knotsPerRow == kpr && m_knotRows == kr &&
                                m_knotCount == g.knots;
    if (!force && xl == m_xLineCount && yl == m_yLineCount && latticeMatches)
        return true;

    // A direction whose count changed (every direction when forced) is spaced evenly.
    if (force || xl != m_xLineCount) {
        const float step = 1.0f / static_cast<float>(xl + 1);
        float sum = 0.0f;
        for (int k = 0; k < xl; ++k) {
            sum += step;
            m_xLines[k] = sum;
        }
    }
    if (force || yl != m_yLineCount) {
        const float step = 1.0f / static_cast<float>(yl + 1);
        float sum = 0.0f;
        for (int k = 0; k < yl; ++k) {
            sum += step;
            m_yLines[k] = sum;
        }
    }

    // Caches of the old knives go before their blocks do.
    ReleaseKnifeCaches();
    m_xLineCount = static_cast<uint16_t>(xl);
    m_yLineCount = static_cast<uint16_t>(yl);
    m_pickedKnotCount = 0;
    m_lastKnife = -1;
    m_flags[kFlagSelected] = 0;

    const size_t knots = static_cast<size_t>(g.knots);
    if (!m_knots.AllocZeroed(knots * sizeof(KnotRecord))) {
        m_knotsPerRow = m_knotRows = 0;
        m_knotCount = 0;
        m_rowCount = m_colCount = 0;
        m_rowKnives.Free();
        m_colKnives.Free();
        return false;
    }
    m_knotsPerRow = static_cast<uint16_t>(kpr);
    m_knotRows = static_cast<uint16_t>(kr);
    m_knotCount = static_cast<int32_t>(knots);
    RandomizeKnots(true);

    const int32_t rowCount = g.rows;
    const int32_t colCount = g.columns;
    m_rowCount = m_colCount = 0;
    bool ok = m_rowKnives.AllocZeroed(static_cast<size_t>(rowCount) * sizeof(KnifeRecord)) &&
              m_colKnives.AllocZeroed(static_cast<size_t>(colCount) * sizeof(KnifeRecord));
    if (ok) {
        m_rowCount = rowCount;
        m_colCount = colCount;
        for (int32_t i = 0; i < rowCount; ++i) {
            RowKnives()[i].tipsSize = 100;
            RowKnives()[i].thickness = 3;
        }
        for (int32_t i = 0; i < colCount; ++i) {
            ColumnKnives()[i].tipsSize = 100;
            ColumnKnives()[i].thickness = 3;
        }
    }
    if (clearExtras)
        SetExtraCount(0);
    return ok;
}

int CLayoutModel::ColumnsForRows(int rows) const
{
    rows = Clamp(rows, 1, kGridMaxLines);
    if (m_imageH <= 0)
        return 1;
    const int64_t c = static_cast<int64_t>(rows) * m_imageW / m_imageH;
    return static_cast<int>(Clamp<int64_t>(c, 1, kGridMaxLines));
}

int CLayoutModel::RowsForColumns(int columns) const
{
    columns = Clamp(columns, 1, kGridMaxLines);
    int result = 1;
    if (m_imageW > 0) {
        const int64_t r = static_cast<int64_t>(columns) * m_imageH / m_imageW;
        result = static_cast<int>(Clamp<int64_t>(r, 1, kGridMaxLines));
    }
    if (ColumnsForRows(result) != columns) {
        if (ColumnsForRows(result + 1) == columns)
            result = result + 1;
        else if (ColumnsForRows(result - 1) == columns)
            result = result - 1;
    }
    return Clamp(result, 1, kGridMaxLines);
}

void CLayoutModel::DefaultKnifeShape(KnifeRecord& knife)
{
    static const float kU[5] = {0.434f, 0.3515f, 0.5f, 0.6485f, 0.566f};
    static const float kH[5] = {0.0f, -0.165f, -0.297f, -0.165f, 0.0f};
    knife.nodeCount = 5;
    float sum = 0.0f;
    for (int i = 0; i < 5; ++i) {
        knife.U[i] = kU[i];
        knife.H[i] = kH[i];
        knife.S[i] = 0.5f;
        sum += kU[i];
    }
    knife.meanU = sum / 5.0f;
    knife.length = 0.0f;
    knife.tipsSize = 100;
    knife.thickness = 3;
}

bool CLayoutModel::DefaultLayout()
{
    int columns;
    int rows;
    if (m_imageW > m_imageH) {
        rows = 2;
        columns = ColumnsForRows(2);
    } else {
        columns = 2;
        rows = RowsForColumns(2);
    }
    if (!SetGridSize(columns, rows, false, true))
        return false;
    for (int32_t i = 0; i < m_rowCount; ++i)
        DefaultKnifeShape(RowKnives()[i]);
    for (int32_t i = 0; i < m_colCount; ++i)
        DefaultKnifeShape(ColumnKnives()[i]);
    UpdateSelectionState();
    return true;
}

// The default layout built from scratch, where a last layout could not be read: the grid is
// rebuilt even when its size is unchanged, so that nothing of a read that ran out of memory
// stays behind.
bool CLayoutModel::ForcedDefaultLayout()
{
    int columns;
    int rows;
    if (m_imageW > m_imageH) {
        rows = 2;
        columns = ColumnsForRows(2);
    } else {
        columns = 2;
        rows = RowsForColumns(2);
    }
    if (!SetGridSize(columns, rows, true, true))
        return false;
    return DefaultLayout();
}

// ---------------------------------------------------------------------------------------------
// Knots

void CLayoutModel::RandomizeKnots(bool all)
{
    KnotRecord* knots = Knots();
    if (!knots)  // no lattice; a lattice holds four knots at least
        return;
    const float a = m_knotAmplitude;
    auto treat = [&](KnotRecord& k) {
        if (a > 0.001f) {
            k.x = a * (2.0f * Rnd()) / 32767.0f - a;
            k.y = a * (2.0f * Rnd()) / 32767.0f - a;
        } else {
            k.x = 0.0f;
            k.y = 0.0f;
        }
    };
    if (all || !m_flags[kFlagSelected]) {
        for (int32_t i = 0; i < m_knotCount; ++i)
            treat(knots[i]);
        return;
    }
    // Only the knots at which a selected knife ends.
    CQWF_Mem marks;
    if (!marks.AllocZeroed(static_cast<size_t>(m_knotCount)))
        return;
    uint8_t* mark = marks.GetData();
    const int32_t e = m_knotsPerRow;
    const int xl = m_xLineCount;
    for (int32_t k = 0; k < m_rowCount; ++k) {
        if (!RowKnives()[k].selected)
            continue;
        const int32_t row = k / xl;
        const int32_t line = k % xl;
        mark[row * e + line + 1] = 1;
        mark[(row + 1) * e + line + 1] = 1;
    }
    for (int32_t k = 0; k < m_colCount; ++k) {
        if (!ColumnKnives()[k].selected)
            continue;
        const int32_t line = k / (xl + 1);
        const int32_t col = k % (xl + 1);
        mark[(line + 1) * e + col] = 1;
        mark[(line + 1) * e + col + 1] = 1;
    }
    for (int32_t k = 0; k < m_extraCount; ++k) {
        const ExtraKnifeRecord& x = ExtraKnives()[k];
        if (!x.knife.selected)
            continue;
        if (x.knotA >= 0 && x.knotA < m_knotCount)
            mark[x.knotA] = 1;
        if (x.knotB >= 0 && x.knotB < m_knotCount)
            mark[x.knotB] = 1;
    }
    for (int32_t i = 0; i < m_knotCount; ++i)
        if (mark[i])
            treat(knots[i]);
}

void CLayoutModel::GetKnotPosition(int column, int row, double width, double height,
                                   double originX, double originY, double& x, double& y) const
{
    x = 0.0;
    y = 0.0;
    const KnotRecord* knots = Knots();
    if (!knots || m_knotCount <= 0 || column < 0 || row < 0 || column >= m_knotsPerRow ||
        row >= m_knotRows) {
        x -= originX;
        y -= originY;
        return;
    }
    const KnotRecord& k = knots[row * m_knotsPerRow + column];
    x = KnotCoordinate(m_xLines, m_xLineCount, column, k.x) * width - originX;
    y = KnotCoordinate(m_yLines, m_yLineCount, row, k.y) * height - originY;
    if (column == m_knotsPerRow - 1)
        x = width - originX;
    if (row == m_knotRows - 1)
        y = height - originY;
}

void CLayoutModel::GetKnotPositionByIndex(int32_t index, double width, double height,
                                          double originX, double originY, double& x,
                                          double& y) const
{
    if (m_knotsPerRow == 0 || m_knotCount <= 0 || index < 0 || index >= m_knotCount) {
        x = 0.0;
        y = 0.0;
        return;
    }
    GetKnotPosition(index % m_knotsPerRow, index / m_knotsPerRow, width, height, originX, originY,
                    x, y);
}

int32_t CLayoutModel::RemapKnotIndex(int32_t index, bool inserting, bool vertical, int line) const
{
    return RemapKnot(index, m_knotsPerRow, m_knotCount, inserting, vertical, line);
}

int32_t CLayoutModel::RemapKnot(int32_t index, int32_t knotsPerRow, int32_t knotCount,
                                bool inserting, bool vertical, int line)
{
    const int32_t e = knotsPerRow;
    if (index < 0 || index >= knotCount || e <= 0)
        return -1;
    const int32_t r = index / e;
    const int32_t c = index % e;
    if (inserting) {
        if (vertical)
            return c + (line < c ? 1 : 0) + r * (e + 1);
        return line < r ? c + e * (r + 1) : c + e * r;
    }
    const int32_t d = line + 1;
    if (vertical) {
        if (c == d)
            return -1;
        return c - (c > d ? 1 : 0) + r * (e - 1);
    }
    if (r == d)
        return -1;
    return c + e * (r - (r > d ? 1 : 0));
}

bool CLayoutModel::CanInsertGridLine(bool vertical, double x, double y) const
{
    if ((vertical ? m_xLineCount : m_yLineCount) >= 99)
        return false;
    // Asked on the splitter rulers, which lie beside the picture: only the position along the
    // lines' axis counts, as when the line is inserted.
    const LayoutView& v = m_view;
    if (vertical ? !(v.previewL < x && x < v.previewR) : !(v.previewT < y && y < v.previewB))
        return false;
    double f;
    return PointFraction(vertical, x, y, f) && f >= 0.0 && f <= 1.0;
}

bool CLayoutModel::PointFraction(bool vertical, double x, double y, double& f) const
{
    const LayoutView& v = m_view;
    if (vertical) {
        if (m_imageW <= 0 || v.previewR <= v.previewL)
            return false;
        const double ix = v.imageL + (x - v.previewL) * (v.imageR - v.imageL) / (v.previewR - v.previewL);
        f = ix / m_imageW;
    } else {
        if (m_imageH <= 0 || v.previewB <= v.previewT)
            return false;
        const double iy = v.imageT + (y - v.previewT) * (v.imageB - v.imageT) / (v.previewB - v.previewT);
        f = iy / m_imageH;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Knife parameters

void CLayoutModel::SetKnivesThickness(int value, bool razor, bool onlySelected)
{
    m_flags[kFlagRazor] = razor ? 1 : 0;
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) { k.thickness = value; });
}

void CLayoutModel::SetKnivesTips(int value, bool onlySelected)
{
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) { k.tipsSize = value; });
}

// The value shared by the knives in scope; when they differ, the mean clamped to lo..hi.
template <typename Field>
int CLayoutModel::CommonKnifeValue(bool onlySelected, bool& mixed, Field field, int none, int lo,
                                   int hi) const
{
    mixed = false;
    int64_t n = 0;
    int64_t sum = 0;
    int first = 0;
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) {
        const int v = k.*field;
        if (n == 0)
            first = v;
        else if (v != first)
            mixed = true;
        sum += v;
        ++n;
    });
    if (n == 0)
        return none;
    if (!mixed)
        return first;
    return static_cast<int>(Clamp<int64_t>(sum / n, lo, hi));
}

int CLayoutModel::GetKnivesCommonA(bool onlySelected, bool& mixed) const
{
    return CommonKnifeValue(onlySelected, mixed, &KnifeRecord::tipsSize, 100, INT32_MIN, 100);
}

int CLayoutModel::GetKnivesCommonB(bool onlySelected, bool& mixed) const
{
    return CommonKnifeValue(onlySelected, mixed, &KnifeRecord::thickness, 1, 1, 100);
}

int CLayoutModel::SetKnifeShape(KnifeRecord& knife, float amplitudeS, float amplitudeH,
                                float amplitudeU, bool onlySelectedNodes, bool flip,
                                bool flipAcross, bool takeSizes)
{
    static const KnifeShape kEmpty{};
    const KnifeShape& shape = m_pCutter ? m_pCutter->shape : kEmpty;
    const int count = std::min<int>(shape.nodeCount, kKnifeMaxNodes);
    if (count != knife.nodeCount) {
        knife.nodeCount = count;
        for (int i = 0; i < count; ++i) {
            knife.U[i] = static_cast<float>(shape.U[i]);
            knife.H[i] = static_cast<float>(shape.H[i]);
            knife.S[i] = static_cast<float>(shape.S[i]);
        }
        flip = false;
    }
    if (takeSizes && m_pCutter) {
        knife.tipsSize = m_pCutter->tipsSize;
        knife.thickness = m_pCutter->thickness;
    }
    knife.meanU = 0.0f;
    knife.length = 0.0f;
    if (count == 0)
        return 0;
    if (flip) {
        if (flipAcross) {
            for (int i = 0; i < count; ++i)
                knife.H[i] = -knife.H[i];
        } else {
            for (int i = 0; i < count; ++i)
                knife.U[i] = 1.0f - knife.U[i];
            std::reverse(knife.U, knife.U + count);
            std::reverse(knife.H, knife.H + count);
            std::reverse(knife.S, knife.S + count);
        }
    }
    const float a = amplitudeS * amplitudeS;
    const float b = amplitudeH * amplitudeH;
    const float c = amplitudeU * amplitudeU;
    for (int i = 0; i < count; ++i) {
        if (onlySelectedNodes && !shape.selected[i])
            continue;
        const float s = a * 2.0f * Rnd() / 32767.0f - a + static_cast<float>(shape.S[i]);
        knife.S[i] = Clamp(s, 0.0f, 1.0f);
        knife.H[i] = b * Rnd() / 32767.0f - b / 2.0f + static_cast<float>(shape.H[i]);
        const float u = c * Rnd() / 32767.0f - c / 2.0f + static_cast<float>(shape.U[i]);
        knife.U[i] = Clamp(u, 0.0f, 1.0f);
    }
    float sum = 0.0f;
    for (int i = 0; i < count; ++i)
        sum += knife.U[i];
    knife.meanU = sum / static_cast<float>(count);
    return count;
}

void CLayoutModel::CloneShapeToKnives(bool onlySelected, float a, float b, float c,
                                      bool onlySelectedNodes)
{
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) {
        SetKnifeShape(k, a, b, c, onlySelectedNodes, false, false, false);
    });
}

void CLayoutModel::FlipKnivesAcross(bool onlySelected, float a, float b, float c)
{
    ForEachConsidered(onlySelected,
                      [&](KnifeRecord& k, bool) { SetKnifeShape(k, a, b, c, true, true, true, false); });
}

void CLayoutModel::FlipKnivesAlong(bool onlySelected, float a, float b, float c)
{
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) {
        SetKnifeShape(k, a, b, c, true, true, false, false);
    });
}

void CLayoutModel::GetKnifeExtent(const KnifeRecord& knife, float& extentU, float& extentH)
{
    extentU = 0.0f;
    extentH = 0.0f;
    const int n = Clamp(knife.nodeCount, 0, kKnifeMaxNodes);
    if (n == 0)
        return;
    float minU = knife.U[0], maxU = knife.U[0], minH = knife.H[0], maxH = knife.H[0];
    for (int i = 1; i < n; ++i) {
        minU = std::min(minU, knife.U[i]);
        maxU = std::max(maxU, knife.U[i]);
        minH = std::min(minH, knife.H[i]);
        maxH = std::max(maxH, knife.H[i]);
    }
    extentU = maxU - minU;
    extentH = maxH - minH;
}

void CLayoutModel::EqualizeKnob(KnifeRecord& knife, double width, double height, double scale)
{
    if (knife.nodeCount < 2 || scale == 0.0)
        return;
    float eu;
    float eh;
    GetKnifeExtent(knife, eu, eh);
    const double d = knife.length / scale;
    const double ru = width != 0.0 ? d * eu / width : 0.0;
    const double rh = height != 0.0 ? d * eh / height : 0.0;
    const double m = std::max(ru, rh);
    // A knob without extent (or a knife without length) would divide by zero: it keeps the
    // largest size.
    double t = (m > 0.0 && std::isfinite(m)) ? 100.0 / m + 0.5 : 100.0;
    if (!(t < 100.0))
        t = 100.0;
    knife.tipsSize = Clamp(static_cast<int>(t), 1, 100);
}

bool CLayoutModel::CanEqualizeKnobs(bool onlySelected) const
{
    int n = 0;
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) {
        if (k.length > 0.0f && k.nodeCount > 1)
            ++n;
    });
    return n >= 2;
}

// ---------------------------------------------------------------------------------------------
// Knife clipboard and the Cutter

void CLayoutModel::CopyKnife(int32_t index, bool rowFamily, bool extraFamily)
{
    const KnifeRecord* src = nullptr;
    if (index == -1) {
        ForEachConsidered(true, [&](KnifeRecord& k, bool) {
            if (!src)
                src = &k;
        });
    } else {
        src = GetKnife(index, rowFamily, extraFamily);
    }
    if (!src)
        return;
    m_clipboard = *src;
    m_clipboard.pOutline = nullptr;  // the cache stays with its knife
    m_clipboard.outlinePoints = 0;
    m_clipboardEmpty = false;
}

void CLayoutModel::PasteKnifeShape(int32_t index, bool rowFamily, bool extraFamily)
{
    if (m_clipboardEmpty)
        return;
    KnifeRecord* k = GetKnife(index, rowFamily, extraFamily);
    if (!k)
        return;
    const KnifeRecord& c = m_clipboard;
    k->flipAcross = c.flipAcross;
    k->flipAlong = c.flipAlong;
    k->tipsSize = c.tipsSize;
    k->thickness = c.thickness;
    k->nodeCount = c.nodeCount;
    std::memcpy(k->U, c.U, sizeof k->U);
    std::memcpy(k->H, c.H, sizeof k->H);
    std::memcpy(k->S, c.S, sizeof k->S);
    k->meanU = c.meanU;
    k->length = 0.0f;
}

void CLayoutModel::SendKnifeToCutter(const KnifeRecord& knife)
{
    if (!m_pCutter)
        return;
    KnifeShape shape{};
    const int n = Clamp(knife.nodeCount, 0, kKnifeMaxNodes);
    shape.nodeCount = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        shape.H[i] = knife.H[i];
        shape.U[i] = knife.U[i];
        shape.S[i] = knife.S[i];
    }
    m_pSink->CutterSetShape(shape);
}

// ---------------------------------------------------------------------------------------------
// Selection

int CLayoutModel::GetKnivesSelectionState() const
{
    int64_t n = 0;
    int64_t sel = 0;
    ForEachConsidered(false, [&](KnifeRecord& k, bool) {
        ++n;
        if (k.selected)
            ++sel;
    });
    if (sel == 0)
        return 0;
    return sel == n ? 1 : 2;
}

void CLayoutModel::UpdateSelectionState()
{
    bool gridSel = false;
    bool extraSel = false;
    for (int32_t i = 0; i < m_rowCount && !gridSel; ++i)
        gridSel = RowKnives()[i].selected != 0;
    for (int32_t i = 0; i < m_colCount && !gridSel; ++i)
        gridSel = ColumnKnives()[i].selected != 0;
    for (int32_t i = 0; i < m_extraCount && !extraSel; ++i)
        extraSel = ExtraKnives()[i].knife.selected != 0;
    m_flags[kFlagSelected] = (gridSel || extraSel) ? 1 : 0;
    m_flags[kFlagExtraOnly] = (!gridSel && extraSel) ? 1 : 0;
    if (!m_flags[kFlagSelected])
        m_lastKnife = -1;
    if (!m_layoutMode)
        return;
    bool shown = false;
    bool hidden = false;
    bool extra = false;
    ForEachConsidered(true, [&](KnifeRecord& k, bool isExtra) {
        if (k.hidden)
            hidden = true;
        else
            shown = true;
        if (isExtra)
            extra = true;
    });
    m_flags[kFlagSomeShown] = shown ? 1 : 0;
    m_flags[kFlagSomeHidden] = hidden ? 1 : 0;
    m_flags[kFlagSomeExtra] = extra ? 1 : 0;
    if (m_pCutter)
        ShowCommonInCutter();
    UpdateKnifeButtons();
}

void CLayoutModel::ShowCommonInCutter()
{
    bool mixedA = false;
    bool mixedB = false;
    const int tips = GetKnivesCommonA(true, mixedA);
    const int thick = GetKnivesCommonB(true, mixedB);
    m_pSink->CutterShowTipsSize(tips, mixedA);
    m_pSink->CutterShowKnifeThickness(thick, mixedB, m_flags[kFlagRazor] != 0);
}

void CLayoutModel::UpdateKnifeButtons()
{
    if (!m_layoutMode)
        return;
    m_pSink->EnableControl("Main_DelKnives", m_flags[kFlagSomeExtra] != 0);
    m_pSink->EnableControl("Main_Show", m_flags[kFlagSomeHidden] != 0);
    m_pSink->EnableControl("Main_Hide", m_flags[kFlagSomeShown] != 0);
}

void CLayoutModel::SelectKnifeRange(uint8_t value, int32_t fromIndex, bool fromIsRow,
                                    int32_t toIndex, bool toIsRow)
{
    const int64_t xl = m_xLineCount;
    auto place = [&](int32_t k, bool isRow, int64_t& x, int64_t& y) -> bool {
        if (k < 0)
            return false;
        if (isRow) {
            if (k >= m_rowCount || xl == 0)
                return false;
            x = 2 * (k % xl) + 1;
            y = 2 * (k / xl);
        } else {
            if (k >= m_colCount)
                return false;
            x = 2 * (k % (xl + 1));
            y = 2 * (k / (xl + 1)) + 1;
        }
        return true;
    };
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!place(fromIndex, fromIsRow, x0, y0) || !place(toIndex, toIsRow, x1, y1))
        return;
    const int64_t left = std::min(x0, x1), right = std::max(x0, x1);
    const int64_t top = std::min(y0, y1), bottom = std::max(y0, y1);
    for (int32_t k = 0; k < m_rowCount; ++k) {
        int64_t x = 0, y = 0;
        place(k, true, x, y);
        if (x >= left && x <= right && y >= top && y <= bottom)
            RowKnives()[k].selected = value;
    }
    for (int32_t k = 0; k < m_colCount; ++k) {
        int64_t x = 0, y = 0;
        place(k, false, x, y);
        if (x >= left && x <= right && y >= top && y <= bottom)
            ColumnKnives()[k].selected = value;
    }
    UpdateSelectionState();
}

// ---------------------------------------------------------------------------------------------
// Extra knives

bool CLayoutModel::ReserveExtraKnives(int64_t n)
{
    if (n <= 0)
        return true;
    const size_t held = m_extraKnives.GetSize() / sizeof(ExtraKnifeRecord);
    if (held < static_cast<size_t>(n)) {
        const int64_t grown = n + std::max<int64_t>(n / 10, 100);
        const size_t bytes = static_cast<size_t>(grown) * sizeof(ExtraKnifeRecord);
        bool ok = m_extraKnives.GetData() ? m_extraKnives.Resize(bytes)
                                          : (m_extraKnives.AllocZeroed(bytes) != nullptr);
        if (!ok)
            return false;
    }
    if (n > m_extraCount)
        std::memset(ExtraKnives() + m_extraCount, 0,
                    static_cast<size_t>(n - m_extraCount) * sizeof(ExtraKnifeRecord));
    return true;
}

bool CLayoutModel::CanAddExtraKnife(int32_t a, int32_t b) const
{
    if (a == b || a < 0 || b < 0 || a >= m_knotCount || b >= m_knotCount)
        return false;
    const int32_t d = a > b ? a - b : b - a;
    if (d == 1 || d == m_knotsPerRow)
        return false;
    const ExtraKnifeRecord* x = ExtraKnives();
    for (int32_t i = 0; i < m_extraCount; ++i)
        if ((x[i].knotA == a && x[i].knotB == b) || (x[i].knotA == b && x[i].knotB == a))
            return false;
    return true;
}

void CLayoutModel::AddExtraKnife(int32_t a, int32_t b)
{
    if (m_extraCount + 1 >= kLayoutMaxExtraKnives + 1 || !CanAddExtraKnife(a, b))
        return;
    if (!ReserveExtraKnives(m_extraCount + 1)) {
        SetExtraCount(0);
        return;
    }
    ExtraKnifeRecord& x = ExtraKnives()[m_extraCount];
    ++m_extraCount;
    x.knife.hidden = 0;
    x.knife.selected = 0;
    x.knife.tipsSize = 100;
    x.knife.thickness = 3;
    x.knotA = a;
    x.knotB = b;
    float as = 0.0f, ah = 0.0f, au = 0.0f;
    if (m_pCutter) {
        as = m_pCutter->ampSmooth;
        ah = m_pCutter->ampAcross;
        au = m_pCutter->ampAlong;
    }
    SetKnifeShape(x.knife, as, ah, au, false, false, false, true);
}

void CLayoutModel::SetPickedKnots(int count, int32_t a, int32_t b)
{
    m_pickedKnotCount = Clamp(count, 0, 2);
    m_pickedKnots[0] = a;
    m_pickedKnots[1] = b;
}

void CLayoutModel::UpdateAddExtraButton()
{
    if (!m_layoutMode)
        return;
    const bool on =
        m_pickedKnotCount == 2 && CanAddExtraKnife(m_pickedKnots[0], m_pickedKnots[1]);
    m_pSink->EnableControl("Main_AddKnives", on);
}

void CLayoutModel::UpdateExtrasButtons()
{
    const bool on = GetShowExtras(m_layoutMode);
    m_pSink->EnableControl("Main_ShowExtras", !on);
    m_pSink->EnableControl("Main_HideExtras", on);
}

void CLayoutModel::ClearPendingRecords()
{
    m_pending.Free();
    m_pendingCount = 0;
}
