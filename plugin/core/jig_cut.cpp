// Cutting: the cell centres, the knife mask (Splitter mask) and the piece records made of the
// labelled regions (jig_label.cpp); Cut runs the steps in order.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "plugin/core/jigcrafter.h"

#include "platform/qw_threads.h"
#include "plugin/core/jig_objects.h"

namespace {

const char kMemoryMessage[] = "Memory allocation problem...";
const char kTooManyMessage[] = "Too many (>100'000!) pieces...";
const char kErrorCaption[] = "Error!";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Knife drawing.

void CJigcrafter::DrawKnife(const JigKnife* knife, double x0, double y0, double x1, double y1)
{
    DrawKnifeWith(m_pen, knife, x0, y0, x1, y1);
}

void CJigcrafter::DrawKnifeWith(JigKnifePen& pen, const JigKnife* knife, double x0, double y0,
                                double x1, double y1) const
{
    if (!knife || knife->nodeCount < 0) return;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    if (dx * dx + dy * dy < 1e-7) return;
    double w = knife->thickness < 1 ? 1.0 : static_cast<double>(knife->thickness);
    if (m_razorCut) w = 1.0;

    const int n = knife->nodeCount > kKnifeMaxNodes ? kKnifeMaxNodes : knife->nodeCount;
    pen.points[0] = QWF_PolyPoint{x0, y0, 0.0f};
    for (int j = 0; j < n; ++j) {
        QWF_DPoint p{0.0, 0.0};
        CQWF_2DMath::PointAtOffset(x0, y0, x1, y1, knife->h[j], knife->u[j], p);
        pen.points[j + 1] = QWF_PolyPoint{p.x, p.y, knife->s[j]};
    }
    pen.points[n + 1] = QWF_PolyPoint{x1, y1, 0.0f};

    pen.drawing.m_antiAlias = m_antiAliasing ? 1 : 0;
    pen.drawing.m_value = 255;
    if (n == 0) {
        pen.drawing.DrawSegment(x0, y0, x1, y1, w, 1, 1, 1);
        return;
    }
    // The work of the picture at most, and no more than the knife's own shapes can need.
    pen.geometry.SetCurveReach(std::min(m_pictureReach, CQWF_2DMath::CurveReach(dx, dy)));
    if (!pen.geometry.BezierToPolyline(pen.points, n + 2, 2.0, &pen.polyline, pen.polylineCount))
        return;
    const double spacing = w / 4.0 > 1.0 ? w / 4.0 : 1.0;
    pen.drawing.DrawPolyline(reinterpret_cast<const double*>(pen.polyline.GetData()),
                             pen.polylineCount, w, 1, 1, 1, spacing);
}

bool CJigcrafter::CheckCancel()
{
    return m_progress && m_progress->IsCancelled();
}

int64_t CJigcrafter::KnifeCount() const
{
    return static_cast<int64_t>(m_rowKnifeCount) + m_columnKnifeCount + m_extraKnifeCount;
}

bool CJigcrafter::KnifeAt(int64_t k, int32_t width, int32_t height, KnifeEnds& at) const
{
    const double w = width;
    const double h = height;
    if (k < m_rowKnifeCount) {
        // Rows of cells first: knife r x (x lines) + l of cell row r and x line l.
        const int32_t r = static_cast<int32_t>(k / m_rowKnivesPerRow);
        const int32_t l = static_cast<int32_t>(k % m_rowKnivesPerRow);
        at.knife = &reinterpret_cast<const JigKnife*>(m_rowKnives.GetData())[k];
        GetKnotPosition(l + 1, r, w, h, at.ax, at.ay);
        GetKnotPosition(l + 1, r + 1, w, h, at.bx, at.by);
        return true;
    }
    k -= m_rowKnifeCount;
    if (k < m_columnKnifeCount) {
        const int32_t l = static_cast<int32_t>(k / m_columnKnivesPerLine);
        const int32_t c = static_cast<int32_t>(k % m_columnKnivesPerLine);
        at.knife = &reinterpret_cast<const JigKnife*>(m_columnKnives.GetData())[k];
        GetKnotPosition(c, l + 1, w, h, at.ax, at.ay);
        GetKnotPosition(c + 1, l + 1, w, h, at.bx, at.by);
        return true;
    }
    k -= m_columnKnifeCount;
    const JigExtraKnife& x = reinterpret_cast<const JigExtraKnife*>(m_extraKnives.GetData())[k];
    const int32_t a = x.knotA;
    const int32_t b = x.knotB;
    // Knot indices outside the lattice name no knot: such a knife is not drawn.
    if (a < 0 || b < 0 || a >= m_knotCount || b >= m_knotCount || m_knotsPerRow <= 0)
        return false;
    at.knife = &x;
    GetKnotPosition(a % m_knotsPerRow, a / m_knotsPerRow, w, h, at.ax, at.ay);
    GetKnotPosition(b % m_knotsPerRow, b / m_knotsPerRow, w, h, at.bx, at.by);
    return true;
}

void CJigcrafter::SetPenTarget(JigKnifePen& pen, uint8_t oneBit, int32_t width, int32_t height,
                               uint8_t* mask, int64_t stride, int32_t top, int32_t bottom)
{
    pen.drawing.m_oneBit = oneBit;
    if (oneBit) {
        pen.drawing.SetTarget(mask, static_cast<int32_t>(stride), width, height);
        if (top <= 0 && bottom >= height)
            pen.drawing.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
        else
            pen.drawing.SetClip(0, top, width, bottom);
    } else {
        // An 8-bit target uses its width as the row stride: a wider stride is drawn through a
        // clip at the real width.
        pen.drawing.SetTarget(mask, static_cast<int32_t>(stride), static_cast<int32_t>(stride),
                              height);
        pen.drawing.SetClip(0, top, width, bottom);
    }
}

// ---------------------------------------------------------------------------------------------
// The knife mask on several threads. Every pixel a knife sets comes out the same whatever the
// clip (the line walks visit a clipped line's own pixels, coverage is a pixel's own, and lines
// meet by keeping the larger value or setting bits), and in whatever order the knives are
// drawn: the mask is cut into bands of rows, each thread draws every knife that can reach its
// band through a clip of the band. Which knives can reach a band: a knife's curve lies within
// the hull of its points and their control points, and its line within half its width and a
// pixel of that.

struct CJigcrafter::KnifeBands : qwp::OrderedWork {
    const CJigcrafter& engine;
    int32_t width = 0, height = 0;
    uint8_t* mask = nullptr;
    int64_t stride = 0;
    uint8_t oneBit = 0;  // the drawing's mode, the engine's pen's
    int32_t bandRows = 0, bands = 0;
    CQWF_Mem reach;  // per knife: its ends, and the rows it can reach (top, bottom)
    struct Reach {
        KnifeEnds at;
        double top, bottom;
        bool drawn;
    };
    int64_t knives = 0;
    JigKnifePen* pens = nullptr;  // of participants 1, 2, ...
    // The host's thread reports the progress and asks about a cancel: the steps of the
    // one-thread drawing (one a knife), as many as bands of the knives are done.
    CJigcrafter* host = nullptr;
    double from = 0, to = 0;
    double percent = 5.0;
    double step = 0;
    int64_t reported = 0;

    // The steps of knives [reported, k); false on a cancel.
    bool ReportUpTo(int64_t k)
    {
        for (; reported < k; ++reported) {
            percent += step;
            if (host->SetProgress(percent, from, to) && host->CheckCancel()) return false;
        }
        return true;
    }

    explicit KnifeBands(const CJigcrafter& e) : engine(e) {}
    const Reach* Reaches() const { return reinterpret_cast<const Reach*>(reach.GetData()); }

    void DrawBand(JigKnifePen& pen, int32_t band)
    {
        const int32_t top = band * bandRows;
        const int32_t bottom = top + bandRows < height ? top + bandRows : height;
        SetPenTarget(pen, oneBit, width, height, mask, stride, top, bottom);
        const Reach* r = Reaches();
        for (int64_t k = 0; k < knives; ++k)
            if (r[k].drawn && r[k].bottom >= top && r[k].top < bottom)
                engine.DrawKnifeWith(pen, r[k].at.knife, r[k].at.ax, r[k].at.ay, r[k].at.bx,
                                     r[k].at.by);
        pen.drawing.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
        pen.drawing.SetTarget(nullptr, 0, 0, 0);
    }

    bool Work(int64_t band, int participant) override
    {
        DrawBand(participant == 0 ? host->m_pen : pens[participant - 1], static_cast<int32_t>(band));
        return true;
    }
    bool Take(int64_t band, bool) override { return ReportUpTo(knives * (band + 1) / bands); }
};

bool CJigcrafter::DrawKnivesParallel(int32_t threads, int32_t width, int32_t height,
                                     uint8_t* mask, int64_t stride, double from, double to,
                                     bool& shared)
{
    shared = true;
    KnifeBands kb(*this);
    kb.width = width;
    kb.height = height;
    kb.mask = mask;
    kb.stride = stride;
    kb.oneBit = m_pen.drawing.m_oneBit;
    kb.knives = KnifeCount();
    kb.host = this;
    kb.from = from;
    kb.to = to;
    // Two bands a thread, none thinner than 64 rows: a knife that crosses many bands is
    // flattened again in each of them.
    int32_t bandRows = (height + 2 * threads - 1) / (2 * threads);
    if (bandRows < 64) bandRows = 64;
    kb.bandRows = bandRows;
    kb.bands = (height + bandRows - 1) / bandRows;
    if (threads > kb.bands) threads = kb.bands;
    JigObjects<JigKnifePen> pens;
    if (!kb.reach.Alloc(static_cast<size_t>(kb.knives) * sizeof(KnifeBands::Reach)) ||
        !pens.Make(threads - 1)) {
        ReportMemory();
        return false;
    }
    kb.pens = pens.Data();
    // The rows each knife can reach.
    KnifeBands::Reach* r = reinterpret_cast<KnifeBands::Reach*>(kb.reach.GetData());
    CQWF_Mem controls;
    for (int64_t k = 0; k < kb.knives; ++k) {
        KnifeBands::Reach& kr = r[k];
        kr.drawn = KnifeAt(k, width, height, kr.at) && kr.at.knife->nodeCount >= 0;
        if (!kr.drawn) continue;
        const JigKnife& knife = *kr.at.knife;
        const double half =
            (m_razorCut || knife.thickness < 1 ? 1.0 : static_cast<double>(knife.thickness)) / 2.0;
        double top = std::min(kr.at.ay, kr.at.by), bottom = std::max(kr.at.ay, kr.at.by);
        const int n = knife.nodeCount > kKnifeMaxNodes ? kKnifeMaxNodes : knife.nodeCount;
        if (n > 0) {
            QWF_PolyPoint points[kKnifeMaxNodes + 2];
            points[0] = QWF_PolyPoint{kr.at.ax, kr.at.ay, 0.0f};
            for (int j = 0; j < n; ++j) {
                QWF_DPoint p{0.0, 0.0};
                CQWF_2DMath::PointAtOffset(kr.at.ax, kr.at.ay, kr.at.bx, kr.at.by, knife.h[j],
                                           knife.u[j], p);
                points[j + 1] = QWF_PolyPoint{p.x, p.y, knife.s[j]};
                top = std::min(top, p.y);
                bottom = std::max(bottom, p.y);
            }
            points[n + 1] = QWF_PolyPoint{kr.at.bx, kr.at.by, 0.0f};
            int64_t count = 0;
            if (m_pen.geometry.PolylineToBezier(points, n + 2, &controls, count)) {
                const double* c = reinterpret_cast<const double*>(controls.GetData());
                for (int64_t i = 0; i < count; ++i) {
                    top = std::min(top, c[2 * i + 1]);
                    bottom = std::max(bottom, c[2 * i + 1]);
                }
            } else {
                // No hull known: every band.
                top = -1e300;
                bottom = 1e300;
            }
        }
        kr.top = top - half - 2.0;
        kr.bottom = bottom + half + 2.0;
        // Not numbers: every band (the drawing refuses them the same way in each).
        if (!(kr.top <= kr.bottom)) {
            kr.top = -1e300;
            kr.bottom = 1e300;
        }
    }
    // A knife is drawn in every band it reaches, each time with the whole flattening of its
    // curve. When the knives reach more bands each than there are threads (nodes far out, as in
    // a damaged shape), the threads would only repeat that work: one thread draws the knives
    // once.
    int64_t drawn = 0;
    double spans = 0.0;
    for (int64_t k = 0; k < kb.knives; ++k) {
        if (!r[k].drawn) continue;
        ++drawn;
        const double first = std::max(0.0, std::floor(r[k].top / bandRows));
        const double last = std::min(static_cast<double>(kb.bands - 1), std::floor(r[k].bottom / bandRows));
        if (last >= first) spans += last - first + 1.0;
    }
    if (spans > static_cast<double>(drawn) * threads && !s_shareAllWork) {
        shared = false;
        return true;
    }
    kb.step = 95.0 / static_cast<double>(kb.knives);
    return qwp::RunOrdered(kb.bands, threads, kb) && kb.ReportUpTo(kb.knives);
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

    // A knife's curve is flattened with the work of the picture, however far its nodes lie.
    m_pictureReach = CQWF_2DMath::CurveReach(width, height);
    const int64_t total = KnifeCount();
    const int32_t threads = total > 1 ? qwp::ThreadCount() : 1;
    if (threads > 1) {
        bool shared = false;
        if (!DrawKnivesParallel(threads, width, height, mask, stride, from, to, shared)) return false;
        if (shared) {
            SetProgress(100, from, to);
            return true;
        }
    }

    SetPenTarget(m_pen, m_pen.drawing.m_oneBit, width, height, mask, stride, 0, height);
    const double step = total > 0 ? 95.0 / static_cast<double>(total) : 0.0;
    double percent = 5.0;
    bool ok = true;
    for (int64_t k = 0; k < total; ++k) {
        KnifeEnds at;
        if (KnifeAt(k, width, height, at)) DrawKnife(at.knife, at.ax, at.ay, at.bx, at.by);
        percent += step;
        if (SetProgress(percent, from, to) && CheckCancel()) {
            ok = false;
            break;
        }
    }
    m_pen.drawing.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
    m_pen.drawing.SetTarget(nullptr, 0, 0, 0);
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
    int64_t count = 0;
    const size_t used = EncodeBoxRuns(labels, labelStride, box, clear, m_runScratch, count);
    if (!used) {
        ShowError(kMemoryMessage, kErrorCaption);
        return false;
    }
    return AppendPiece(box, m_runScratch.GetData(), used, count, column, row, src);
}

bool CJigcrafter::AppendPiece(const QWF_Rect& box, const uint8_t* encoded, size_t bytes,
                              int64_t count, int32_t column, int32_t row, const CutSource& src)
{
    if (m_pieceCount >= m_pieceCapacity) {
        // At least 1000 records more; geometric growth keeps large tables from being copied
        // over and over.
        const int64_t held = m_pieceCount;
        const int64_t capacity = std::max(held + 1000, held * 3 / 2);
        if (!m_pieces.Resize(static_cast<size_t>(capacity) * sizeof(JigPiece))) {
            ShowError(kMemoryMessage, kErrorCaption);
            return false;
        }
        m_pieceCapacity = static_cast<int32_t>(capacity);
    }
    uint8_t* runs = PieceAlloc(bytes);
    if (!runs) {
        ShowError(kMemoryMessage, kErrorCaption);
        return false;
    }
    std::memcpy(runs, encoded, bytes);
    const int64_t w = box.right - box.left;
    const int64_t h = box.bottom - box.top;
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

    m_widest = std::max(m_widest, static_cast<int32_t>(w));
    m_tallest = std::max(m_tallest, static_cast<int32_t>(h));
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
        JigRenderWork& w = m_work;
        if (w.scratch.GetSize() < planeBytes * m_scratchPlaneCount &&
            !w.scratch.Alloc(planeBytes * m_scratchPlaneCount)) {
            // The old image went with the failed allocation: none is left.
            w.DropScratch();
            ReportMemory();
            return false;
        }
        w.scratchStride = m_widest;
        w.scratchHeight = m_tallest;
        for (int i = 0; i < kJigMaxPlanes; ++i)
            w.scratchPlanes[i] =
                i < m_scratchPlaneCount ? w.scratch.GetData() + static_cast<size_t>(i) * planeBytes
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
