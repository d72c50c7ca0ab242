// Cutting: the cell centres, the knife mask (Splitter mask) and the piece records made of the
// labelled regions (jig_label.cpp); Cut runs the steps in order.
#include <algorithm>
#include <cstring>
#include <new>

#include "plugin/core/jigcrafter.h"

#include "platform/qw_threads.h"

namespace {

const char kMemoryMessage[] = "Memory allocation problem...";
const char kTooManyMessage[] = "Too many (>100'000!) pieces...";
const char kErrorCaption[] = "Error!";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Knife drawing.

void CJigcrafter::DrawKnife(const JigKnife* knife, double x0, double y0, double x1, double y1)
{
    if (!knife || knife->nodeCount < 0) return;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    if (dx * dx + dy * dy < 1e-7) return;
    double w = knife->thickness < 1 ? 1.0 : static_cast<double>(knife->thickness);
    if (m_razorCut) w = 1.0;

    const int n = knife->nodeCount > kKnifeMaxNodes ? kKnifeMaxNodes : knife->nodeCount;
    m_knifePoints[0] = QWF_PolyPoint{x0, y0, 0.0f};
    for (int j = 0; j < n; ++j) {
        QWF_DPoint p{0.0, 0.0};
        CQWF_2DMath::PointAtOffset(x0, y0, x1, y1, knife->h[j], knife->u[j], p);
        m_knifePoints[j + 1] = QWF_PolyPoint{p.x, p.y, knife->s[j]};
    }
    m_knifePoints[n + 1] = QWF_PolyPoint{x1, y1, 0.0f};

    m_drawing.m_antiAlias = m_antiAliasing ? 1 : 0;
    m_drawing.m_value = 255;
    if (n == 0) {
        m_drawing.DrawSegment(x0, y0, x1, y1, w, 1, 1, 1);
        return;
    }
    // The work of the picture at most, and no more than the knife's own shapes can need.
    m_geometry.SetCurveReach(std::min(m_pictureReach, CQWF_2DMath::CurveReach(dx, dy)));
    if (!m_geometry.BezierToPolyline(m_knifePoints, n + 2, 2.0, &m_polyline, m_polylineCount))
        return;
    const double spacing = w / 4.0 > 1.0 ? w / 4.0 : 1.0;
    m_drawing.DrawPolyline(reinterpret_cast<const double*>(m_polyline.GetData()),
                           m_polylineCount, w, 1, 1, 1, spacing);
}

bool CJigcrafter::CheckCancel()
{
    return m_progress && m_progress->IsCancelled();
}

bool CJigcrafter::DrawSplitterMask(int32_t width, int32_t height, uint8_t* mask, int64_t stride,
                                   double from, double to)
{
    if (!mask || width <= 0 || height <= 0 || stride <= 0) return false;
    SetProgress(0, from, to);
    if (CheckCancel()) return false;
    const size_t clearBytes = static_cast<size_t>(height) * static_cast<size_t>(stride);
    // The cut's own mask comes back cleared from the labelling of the last cut.
    const bool own = mask == m_knifeMask.GetData();
    if (!(own && m_knifeMaskClear && clearBytes <= m_knifeMask.GetSize()))
        qwp::FillParallel(mask, clearBytes, 0);
    if (own) m_knifeMaskClear = false;
    if (CheckCancel()) return false;
    SetProgress(5, from, to);

    if (m_drawing.m_oneBit) {
        m_drawing.SetTarget(mask, static_cast<int32_t>(stride), width, height);
        m_drawing.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
    } else {
        // An 8-bit target uses its width as the row stride: a wider stride is drawn through a
        // clip at the real width.
        m_drawing.SetTarget(mask, static_cast<int32_t>(stride), static_cast<int32_t>(stride),
                            height);
        m_drawing.SetClip(0, 0, width, height);
    }

    // A knife's curve is flattened with the work of the picture, however far its nodes lie.
    m_pictureReach = CQWF_2DMath::CurveReach(width, height);
    const int64_t total =
        static_cast<int64_t>(m_rowKnifeCount) + m_columnKnifeCount + m_extraKnifeCount;
    const double step = total > 0 ? 95.0 / static_cast<double>(total) : 0.0;
    double percent = 5.0;
    bool ok = true;
    auto advance = [&]() -> bool {
        percent += step;
        if (SetProgress(percent, from, to) && CheckCancel()) return false;
        return true;
    };

    const double w = width;
    const double h = height;
    const JigKnife* rows = GetRowKnives();
    for (int32_t r = 0; ok && r < m_rowKnifeRows; ++r) {
        for (int32_t l = 0; l < m_rowKnivesPerRow; ++l) {
            double ax, ay, bx, by;
            GetKnotPosition(l + 1, r, w, h, ax, ay);
            GetKnotPosition(l + 1, r + 1, w, h, bx, by);
            DrawKnife(&rows[static_cast<int64_t>(r) * m_rowKnivesPerRow + l], ax, ay, bx, by);
            if (!advance()) {
                ok = false;
                break;
            }
        }
    }
    const JigKnife* columns = GetColumnKnives();
    for (int32_t l = 0; ok && l < m_columnKnifeLines; ++l) {
        for (int32_t c = 0; c < m_columnKnivesPerLine; ++c) {
            double ax, ay, bx, by;
            GetKnotPosition(c, l + 1, w, h, ax, ay);
            GetKnotPosition(c + 1, l + 1, w, h, bx, by);
            DrawKnife(&columns[static_cast<int64_t>(l) * m_columnKnivesPerLine + c], ax, ay, bx,
                      by);
            if (!advance()) {
                ok = false;
                break;
            }
        }
    }
    const JigExtraKnife* extras = GetExtraKnives();
    for (int32_t i = 0; ok && i < m_extraKnifeCount; ++i) {
        const int32_t a = extras[i].knotA;
        const int32_t b = extras[i].knotB;
        // Knot indices outside the lattice name no knot: such a knife is not drawn.
        if (a >= 0 && b >= 0 && a < m_knotCount && b < m_knotCount && m_knotsPerRow > 0) {
            double ax, ay, bx, by;
            GetKnotPosition(a % m_knotsPerRow, a / m_knotsPerRow, w, h, ax, ay);
            GetKnotPosition(b % m_knotsPerRow, b / m_knotsPerRow, w, h, bx, by);
            DrawKnife(&extras[i], ax, ay, bx, by);
        }
        if (!advance()) ok = false;
    }
    m_drawing.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
    m_drawing.SetTarget(nullptr, 0, 0, 0);
    if (!ok) return false;
    SetProgress(100, from, to);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Nearest cell centre: a bucket grid over the centres, searched ring by ring around the query
// point; the nearest centre wins, the first in centre order on a tie.

bool CJigcrafter::BuildCellIndex(const double* centres, int64_t count, int32_t width,
                                 int32_t height)
{
    m_cellBucketsX = m_cellBucketsY = 0;
    if (count <= 0) return true;
    int32_t side = 1;
    while (static_cast<int64_t>(side) * side < count) ++side;
    m_cellBucketsX = m_cellBucketsY = side;
    m_cellBucketW = (width > 0 ? width : 1) / static_cast<double>(side);
    m_cellBucketH = (height > 0 ? height : 1) / static_cast<double>(side);
    const int64_t buckets = static_cast<int64_t>(side) * side;
    if (!m_cellBucketStart.AllocZeroed(static_cast<size_t>(buckets + 1) * sizeof(int32_t)))
        return false;
    if (!m_cellIndex.Alloc(static_cast<size_t>(count) * sizeof(int32_t))) return false;
    int32_t* start = reinterpret_cast<int32_t*>(m_cellBucketStart.GetData());
    int32_t* index = reinterpret_cast<int32_t*>(m_cellIndex.GetData());
    auto bucketOf = [&](int64_t i) -> int64_t {
        int64_t bx = static_cast<int64_t>(centres[2 * i] / m_cellBucketW);
        int64_t by = static_cast<int64_t>(centres[2 * i + 1] / m_cellBucketH);
        bx = bx < 0 ? 0 : (bx >= side ? side - 1 : bx);
        by = by < 0 ? 0 : (by >= side ? side - 1 : by);
        return by * side + bx;
    };
    for (int64_t i = 0; i < count; ++i) ++start[bucketOf(i) + 1];
    for (int64_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
    // Fill in centre order so that every bucket lists its centres in ascending order.
    CQWF_Mem fillPos;
    if (!fillPos.Alloc(static_cast<size_t>(buckets) * sizeof(int32_t))) return false;
    int32_t* pos = reinterpret_cast<int32_t*>(fillPos.GetData());
    std::memcpy(pos, start, static_cast<size_t>(buckets) * sizeof(int32_t));
    for (int64_t i = 0; i < count; ++i) index[pos[bucketOf(i)]++] = static_cast<int32_t>(i);
    return true;
}

void CJigcrafter::NearestCell(double px, double py, const double* centres,
                              const int32_t* cellLabels, int64_t count, int32_t& column,
                              int32_t& row) const
{
    column = 1;
    row = 1;
    if (count <= 0 || m_cellBucketsX <= 0) return;
    const int32_t side = m_cellBucketsX;
    const int32_t* start = reinterpret_cast<const int32_t*>(m_cellBucketStart.GetData());
    const int32_t* index = reinterpret_cast<const int32_t*>(m_cellIndex.GetData());
    int64_t qx = static_cast<int64_t>(px / m_cellBucketW);
    int64_t qy = static_cast<int64_t>(py / m_cellBucketH);
    qx = qx < 0 ? 0 : (qx >= side ? side - 1 : qx);
    qy = qy < 0 ? 0 : (qy >= side ? side - 1 : qy);

    double best = 0.0;
    int64_t bestIndex = -1;
    for (int64_t ring = 0; ring < side; ++ring) {
        const int64_t x0 = qx - ring, x1 = qx + ring, y0 = qy - ring, y1 = qy + ring;
        for (int64_t by = y0; by <= y1; ++by) {
            if (by < 0 || by >= side) continue;
            const bool edgeRow = (by == y0 || by == y1);
            for (int64_t bx = x0; bx <= x1; bx += (edgeRow ? 1 : (x1 - x0 > 0 ? x1 - x0 : 1))) {
                if (bx >= 0 && bx < side) {
                    const int64_t b = by * side + bx;
                    for (int32_t k = start[b]; k < start[b + 1]; ++k) {
                        const int64_t i = index[k];
                        const double ddx = centres[2 * i] - px;
                        const double ddy = centres[2 * i + 1] - py;
                        const double d = ddx * ddx + ddy * ddy;
                        if (bestIndex < 0 || d < best || (d == best && i < bestIndex)) {
                            best = d;
                            bestIndex = i;
                        }
                    }
                }
                if (x1 == x0) break;
            }
        }
        if (bestIndex >= 0) {
            // Every centre outside the searched square lies at least this far away.
            const double left = px - (x0 * m_cellBucketW);
            const double right = (x1 + 1) * m_cellBucketW - px;
            const double top = py - (y0 * m_cellBucketH);
            const double bottom = (y1 + 1) * m_cellBucketH - py;
            double bound = left < right ? left : right;
            if (top < bound) bound = top;
            if (bottom < bound) bound = bottom;
            if (bound > 0.0 && bound * bound > best * (1.0 + 1e-12) + 1e-9) break;
        }
    }
    if (bestIndex >= 0) {
        column = cellLabels[2 * bestIndex];
        row = cellLabels[2 * bestIndex + 1];
    }
}

// ---------------------------------------------------------------------------------------------

bool CJigcrafter::AddPiece(const uint8_t* labels, int64_t labelStride, int64_t labelWidth,
                           int64_t labelHeight, const QWF_Rect& boxIn, bool clear,
                           const CutSource& src, const CutCells& cells)
{
    QWF_Rect box = boxIn;
    if (box.left < 0) box.left = 0;
    if (box.top < 0) box.top = 0;
    if (box.right > labelWidth) box.right = static_cast<int32_t>(labelWidth);
    if (box.bottom > labelHeight) box.bottom = static_cast<int32_t>(labelHeight);
    if (box.left >= box.right || box.top >= box.bottom) return true;

    int32_t column = 1, row = 1;
    NearestCell((box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0, cells.centres,
                cells.labels, cells.count, column, row);

    if (m_pieceCount >= m_pieceCapacity) {
        // At least 1000 records more; geometric growth keeps large tables from being copied
        // over and over.
        int64_t capacity = static_cast<int64_t>(m_pieceCount) + 1000;
        if (capacity < m_pieceCount + m_pieceCount / 2) capacity = m_pieceCount + m_pieceCount / 2;
        if (!m_pieces.Resize(static_cast<size_t>(capacity) * sizeof(JigPiece))) {
            ShowError(kMemoryMessage, kErrorCaption);
            return false;
        }
        m_pieceCapacity = static_cast<int32_t>(capacity);
    }

    const int64_t w = box.right - box.left;
    const int64_t h = box.bottom - box.top;
    int64_t count = 0;
    const uint8_t* runs = EncodeMaskRuns(labels, labelStride, box, clear, count);
    if (!runs) {
        ShowError(kMemoryMessage, kErrorCaption);
        return false;
    }
    const int32_t planeCount = src.planeCount;

    JigPiece& p = GetPieces()[m_pieceCount];
    std::memset(&p, 0, sizeof p);
    p.maskRuns = runs;
    p.left = box.left;
    p.top = box.top;
    p.right = box.right;
    p.bottom = box.bottom;
    for (int32_t i = 0; i < planeCount; ++i) {
        p.source[i] = src.planes && src.planes[i]
                          ? src.planes[i] + box.top * src.planeStride + box.left
                          : nullptr;
        p.sourceStride[i] = src.planeStride;
    }
    p.maskPlane = src.maskPlane ? src.maskPlane + box.top * src.maskStride + box.left : nullptr;
    p.maskStride = src.maskPlane ? src.maskStride : 0;
    p.renderBlock = -1;
    ++m_pieceCount;

    if (w > m_widest) m_widest = static_cast<int32_t>(w);
    if (h > m_tallest) m_tallest = static_cast<int32_t>(h);
    p.pixelCount = static_cast<int32_t>(count);
    p.selected = 0;
    p.column = column;
    p.row = row;
    p.shown = 1;
    p.SetEffects(m_defaults, kJigApplied);
    p.SetEffects(m_defaults, kJigToApply);
    return true;
}

bool CJigcrafter::CutSetProgress(double percent)
{
    if (SetProgress(percent, m_cutFrom, m_cutTo) && CheckCancel()) return false;
    return true;
}

void CJigcrafter::ReportMemory()
{
    ShowError(kMemoryMessage, kErrorCaption);
}

void CJigcrafter::ReportTooManyPieces()
{
    ShowError(kTooManyMessage, kErrorCaption);
}

// Cell centres: the crossing of each cell's diagonals, labelled (column, row), and the bucket
// grid that finds the nearest one.
bool CJigcrafter::FindCellCentres(int32_t width, int32_t height, CQWF_Mem& centreMem,
                                  CQWF_Mem& labelMem, CutCells& cells)
{
    const int64_t cellCount = static_cast<int64_t>(m_knotsPerRow > 0 ? m_knotsPerRow - 1 : 0) *
                              (m_knotRows > 0 ? m_knotRows - 1 : 0);
    if (!centreMem.Alloc(static_cast<size_t>(cellCount) * 2 * sizeof(double)) ||
        !labelMem.Alloc(static_cast<size_t>(cellCount) * 2 * sizeof(int32_t))) {
        ReportMemory();
        return false;
    }
    double* centres = reinterpret_cast<double*>(centreMem.GetData());
    int32_t* cellLabels = reinterpret_cast<int32_t*>(labelMem.GetData());
    int64_t centreCount = 0;
    for (int32_t r = 0; r + 1 < m_knotRows; ++r) {
        for (int32_t c = 0; c + 1 < m_knotsPerRow; ++c) {
            double ax, ay, bx, by, cx, cy, dx, dy;
            GetKnotPosition(c, r, width, height, ax, ay);
            GetKnotPosition(c + 1, r + 1, width, height, bx, by);
            GetKnotPosition(c + 1, r, width, height, cx, cy);
            GetKnotPosition(c, r + 1, width, height, dx, dy);
            int colinear = 0;
            QWF_DPoint p{0.0, 0.0};
            if (!CQWF_2DMath::SegmentIntersection(ax, ay, bx, by, cx, cy, dx, dy, colinear, p) ||
                colinear)
                continue;
            centres[2 * centreCount] = p.x;
            centres[2 * centreCount + 1] = p.y;
            cellLabels[2 * centreCount] = c + 1;
            cellLabels[2 * centreCount + 1] = r + 1;
            ++centreCount;
        }
    }
    cells.centres = centres;
    cells.labels = cellLabels;
    cells.count = centreCount;
    if (!BuildCellIndex(centres, centreCount, width, height)) {
        ReportMemory();
        return false;
    }
    return true;
}

// The scratch image the renderer works in, as large as the largest piece.
bool CJigcrafter::PrepareScratch()
{
    if (m_widest > 0 && m_tallest > 0) {
        const size_t planeBytes = static_cast<size_t>(m_widest) * static_cast<size_t>(m_tallest);
        if (m_scratch.GetSize() < planeBytes * m_scratchPlaneCount &&
            !m_scratch.Alloc(planeBytes * m_scratchPlaneCount)) {
            ReportMemory();
            return false;
        }
        m_scratchStride = m_widest;
        m_scratchHeight = m_tallest;
        for (int i = 0; i < kJigMaxPlanes; ++i)
            m_scratchPlanes[i] =
                i < m_scratchPlaneCount ? m_scratch.GetData() + static_cast<size_t>(i) * planeBytes
                                        : nullptr;
    }
    return true;
}

bool CJigcrafter::Cut(int32_t width, int32_t height, const uint8_t* maskPlane,
                      int64_t maskStride, const uint8_t* const* planes, int64_t planeStride,
                      int32_t planeCount, double from, double to, bool render)
{
    FreePieces();
    if (width <= 0 || height <= 0 || width > (1 << 28) || height > (1 << 28) || planeCount < 0 ||
        planeCount >= kJigMaxPlanes)
        return false;
    m_cutFrom = from;
    m_cutTo = to;
    bool opaque = maskPlane && maskStride == 0;
    for (int32_t x = 0; opaque && x < width; ++x) opaque = maskPlane[x] == 255;
    const CutSource src{planes, planeStride, planeCount, maskPlane, maskStride, opaque};

    CQWF_Mem centreMem, labelMem;
    CutCells cells;
    if (!FindCellCentres(width, height, centreMem, labelMem, cells)) return false;

    if (!CutSetProgress(0)) return false;
    m_scratchPlaneCount = static_cast<uint8_t>(planeCount + 1);
    m_widest = 0;
    m_tallest = 0;

    // Knife mask, single holes closed, the knife lines' piece and the labelling of the regions.
    if (!LabelPieces(width, height, src, cells)) return false;

    SetProgress(95, from, to);
    CheckCancel();
    if (!PrepareScratch()) return false;

    SetProgress(100, from, to);
    CheckCancel();
    if (render)
        for (int32_t i = 0; i < m_pieceCount; ++i) RenderPiece(i);
    return true;
}
