// Editing the layout's knives and knots: the recalculation that every edit ends with (knot
// positions, knife lengths and outlines, knot markers and their hit list), the knife hit test,
// and the operations on the knives' flags (selected, hidden, flip across, flip along).
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_model_impl.h"
#include "plugin/main/selection_geometry.h"

#include "platform/qw_random.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {
constexpr const char* kRecalcText = "The Splitter's calculation is in progress:";

int32_t RoundPixel(double v)
{
    v = std::clamp(v + 0.5, -1.0e9, 1.0e9);
    return static_cast<int32_t>(v);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Recalculation

void CLayoutModel::SetZoom(int level, int remainderX, int remainderY)
{
    m_zoom = std::clamp(level, 0, 8);
    m_zoomRemX = remainderX;
    m_zoomRemY = remainderY;
}

int64_t CLayoutModel::ZoomLength(int64_t length) const
{
    return m_zoom > 3 ? length * (int64_t{1} << (m_zoom - 4)) : length >> (4 - m_zoom);
}

void CLayoutModel::Redraw()
{
    RecalcLayout(m_view, false);
    m_pSink->RepaintPreview();
}

void CLayoutModel::RefreshOverlay()
{
    RecalcLayout(m_view, true);
    m_pSink->RepaintPreview();
}

void CLayoutModel::GetKnifeKnots(int32_t index, bool rowFamily, int32_t& a, int32_t& b) const
{
    const int32_t e = m_knotsPerRow;
    const int32_t xl = m_xLineCount;
    if (rowFamily) {
        const int32_t row = xl ? index / xl : 0;
        const int32_t line = xl ? index % xl : 0;
        a = row * e + line + 1;
        b = a + e;
    } else {
        const int32_t line = index / (xl + 1);
        const int32_t col = index % (xl + 1);
        a = (line + 1) * e + col;
        b = a + 1;
    }
}

void CLayoutModel::DrawKnotMarker(int32_t knot, double x, double y, bool corner)
{
    const int32_t rx = RoundPixel(x);
    const int32_t ry = RoundPixel(y);
    KnotHit hit{};
    hit.left = std::max(rx - 3, RoundPixel(m_view.previewL - 0.5));
    hit.top = std::max(ry - 3, RoundPixel(m_view.previewT - 0.5));
    hit.right = std::min(rx + 4, RoundPixel(m_view.previewR - 0.5));
    hit.bottom = std::min(ry + 4, RoundPixel(m_view.previewB - 0.5));
    if (hit.left >= hit.right || hit.top >= hit.bottom)
        return;
    hit.knot = knot;
    hit.corner = corner ? 1 : 0;
    const size_t need = (m_knotHitCount + 1) * sizeof(KnotHit);
    if (m_knotHits.GetSize() < need) {
        const size_t grown = std::max<size_t>(need * 2, 64 * sizeof(KnotHit));
        if (!(m_knotHits.GetData() ? m_knotHits.Resize(grown) : m_knotHits.Alloc(grown) != nullptr))
            return;
    }
    reinterpret_cast<KnotHit*>(m_knotHits.GetData())[m_knotHitCount++] = hit;
    const bool picked = (m_pickedKnotCount >= 1 && m_pickedKnots[0] == knot) ||
                        (m_pickedKnotCount >= 2 && m_pickedKnots[1] == knot);
    m_pSink->DrawKnotMarker(hit, x, y, picked);
}

void CLayoutModel::RecalcLayout(const LayoutView& view, bool wholeArea)
{
    m_view = view;
    const bool knots = GetKnotsShown();
    m_pSink->BeginLayoutDrawing(wholeArea, knots);
    m_knotHitCount = 0;

    // The image at the preview's zoom, and the offset of its visible part.
    m_scaledW = static_cast<double>(ZoomLength(m_imageW));
    m_scaledH = static_cast<double>(ZoomLength(m_imageH));
    // The knives' outlines lie on the image at this zoom: their flattening has the image's work.
    m_geometry.SetCurveReach(CQWF_2DMath::CurveReach(m_scaledW, m_scaledH));
    int64_t left = ZoomLength(static_cast<int64_t>(view.imageL));
    int64_t top = ZoomLength(static_cast<int64_t>(view.imageT));
    if (m_zoom > 4) {
        const int64_t unit = int64_t{1} << (m_zoom - 4);
        if (m_zoomRemX > 0)
            left += m_zoomRemX % unit;
        if (m_zoomRemY > 0)
            top += m_zoomRemY % unit;
    }
    m_originX = static_cast<double>(left) - view.previewL;
    m_originY = static_cast<double>(top) - view.previewT;

    // Progress for large layouts and for soft knives (both take long to draw). A layout without
    // knives has nothing to report.
    const int64_t total = static_cast<int64_t>(m_rowCount) + m_colCount + m_extraCount;
    const bool report = total > 0 && (total > 100 || !m_flags[kFlagRazor]);
    const double step = report ? 100.0 / static_cast<double>(total) : 0.0;
    double percent = 0.0;
    int written = -1;
    bool selectionShown = false;
    KnotRecord* const kr = Knots();

    auto place = [&](int32_t knot, double& x, double& y) {
        GetKnotPositionByIndex(knot, m_scaledW, m_scaledH, m_originX, m_originY, x, y);
        if (kr && knot >= 0 && knot < m_knotCount) {
            kr[knot].viewX = x;
            kr[knot].viewY = y;
        }
    };
    auto knife = [&](KnifeRecord& k, int32_t a, int32_t b, double ax, double ay, double bx,
                     double by, bool markA, bool markB) {
        k.length = static_cast<float>(std::hypot(bx - ax, by - ay));
        if (k.selected && !selectionShown) {
            selectionShown = true;
            m_pSink->ShowSelectionLayer();
        }
        if (knots && markA)
            DrawKnotMarker(a, ax, ay, false);
        if (knots && markB)
            DrawKnotMarker(b, bx, by, false);
        if (BuildKnifeOutline(k, ax, ay, bx, by))
            m_pSink->DrawKnifeCurve(k, ax, ay, bx, by);
        if (report) {
            const int p = static_cast<int>(percent);
            if (p != written) {
                written = p;
                m_pSink->SetProgressText(kRecalcText, p);
            }
            percent += step;
        }
    };

    const int32_t xl = m_xLineCount;
    for (int32_t i = 0; i < m_rowCount; ++i) {
        int32_t a, b;
        GetKnifeKnots(i, true, a, b);
        double ax, ay, bx, by;
        place(a, ax, ay);
        place(b, bx, by);
        knife(RowKnives()[i], a, b, ax, ay, bx, by, true, i / xl == m_yLineCount);
    }
    for (int32_t i = 0; i < m_colCount; ++i) {
        int32_t a, b;
        GetKnifeKnots(i, false, a, b);
        double ax, ay, bx, by;
        place(a, ax, ay);
        place(b, bx, by);
        const int32_t col = i % (xl + 1);
        knife(ColumnKnives()[i], a, b, ax, ay, bx, by, col == 0, col == xl);
    }
    for (int32_t i = 0; i < m_extraCount; ++i) {
        ExtraKnifeRecord& x = ExtraKnives()[i];
        double ax, ay, bx, by;
        place(x.knotA, ax, ay);
        place(x.knotB, bx, by);
        knife(x.knife, x.knotA, x.knotB, ax, ay, bx, by, false, false);
    }
    if (m_knotCount > 0) {
        const int32_t e = m_knotsPerRow;
        const int32_t corners[4] = {0, e - 1, m_knotCount - 1, m_knotCount - e};
        for (int32_t c : corners) {
            double x, y;
            place(c, x, y);
            if (knots)
                DrawKnotMarker(c, x, y, true);
        }
    }
    if (report)
        m_pSink->FadeStatus();
}

bool CLayoutModel::BuildKnifeOutline(KnifeRecord& k, double x0, double y0, double x1, double y1)
{
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    if (!(dx * dx + dy * dy >= 1e-7))
        return false;
    const int n = std::clamp(k.nodeCount, 0, kKnifeMaxNodes);
    QWF_PolyPoint pts[kKnifeMaxNodes + 2];
    pts[0] = {x0, y0, 0.0f};
    // The model keeps the raw shape: flips and the tips size are applied here.
    const double t = k.tipsSize / 100.0;
    const double m = k.flipAlong ? 1.0 - k.meanU : k.meanU;
    for (int i = 0; i < n; ++i) {
        const int src = k.flipAlong ? n - 1 - i : i;
        double u = k.flipAlong ? 1.0 - k.U[src] : k.U[src];
        double h = k.flipAcross ? -k.H[src] : k.H[src];
        if (k.tipsSize != 100) {
            u = m + t * (u - m);
            h = t * h;
        }
        QWF_DPoint p{x0, y0};
        CQWF_2DMath::PointAtOffset(x0, y0, x1, y1, h, u, p);
        pts[i + 1] = {p.x, p.y, k.S[src]};
    }
    pts[n + 1] = {x1, y1, 0.0f};
    if (!k.pOutline) {
        k.pOutline = new (std::nothrow) CQWF_Mem;
        if (!k.pOutline)
            return false;
    }
    k.outlinePoints = 0;
    if (n == 0) {
        if (k.pOutline->GetSize() < 4 * sizeof(double) && !k.pOutline->Alloc(4 * sizeof(double)))
            return false;
        double* d = reinterpret_cast<double*>(k.pOutline->GetData());
        d[0] = x0;
        d[1] = y0;
        d[2] = x1;
        d[3] = y1;
        k.outlinePoints = 2;
        return true;
    }
    int64_t count = 0;
    if (!m_geometry.BezierToPolyline(pts, n + 2, 8.0, k.pOutline, count))
        return false;
    k.outlinePoints = count;
    return true;
}

bool CLayoutModel::HitTestKnife(const KnifeRecord& knife, double x, double y) const
{
    if (!knife.pOutline || knife.outlinePoints < 2)
        return false;
    double f = m_flags[kFlagRazor] ? 0.0 : static_cast<double>(ZoomLength(knife.thickness));
    f = f > 9.0 ? f / 2.0 : 5.0;
    const double* p = reinterpret_cast<const double*>(knife.pOutline->GetData());
    const int64_t n = knife.outlinePoints;
    for (int64_t i = 0; i < n; ++i) {
        const double dx = p[2 * i] - x;
        const double dy = p[2 * i + 1] - y;
        if (dx * dx + dy * dy <= f * f)
            return true;
    }
    for (int64_t i = 0; i + 1 < n; ++i) {
        double d = 0.0;
        double t = 0.0;
        if (CQWF_2DMath::DistanceToSegment(p[2 * i], p[2 * i + 1], p[2 * i + 2], p[2 * i + 3], x,
                                           y, d, t) &&
            d <= f)
            return true;
    }
    return false;
}

bool CLayoutModel::CollectKnivesAt(double x, double y, CQWF_DWordArray& ids) const
{
    ids.RemoveAll();
    for (int32_t i = 0; i < m_rowCount; ++i)
        if (HitTestKnife(RowKnives()[i], x, y))
            ids.Add(static_cast<uint32_t>(i));
    for (int32_t i = 0; i < m_colCount; ++i)
        if (HitTestKnife(ColumnKnives()[i], x, y))
            ids.Add(static_cast<uint32_t>(kKnifeIdColumn + i));
    for (int32_t i = 0; i < m_extraCount; ++i)
        if (HitTestKnife(ExtraKnives()[i].knife, x, y))
            ids.Add(static_cast<uint32_t>(kKnifeIdExtra + i));
    return ids.GetCount() > 0;
}

KnifeRecord* CLayoutModel::GetKnifeById(uint32_t id) const
{
    if (id >= static_cast<uint32_t>(kKnifeIdExtra))
        return GetKnife(static_cast<int32_t>(id - kKnifeIdExtra), false, true);
    if (id < static_cast<uint32_t>(kKnifeIdColumn))
        return GetKnife(static_cast<int32_t>(id), true, false);
    return GetKnife(static_cast<int32_t>(id - kKnifeIdColumn), false, false);
}

// ---------------------------------------------------------------------------------------------
// Flags of the knives

void CLayoutModel::SetAntiAliasing(bool on)
{
    m_flags[kFlagAntiAlias] = on ? 1 : 0;
    Redraw();
}

void CLayoutModel::SelectKnifeLine(int line, bool horizontal, uint8_t value, bool redraw)
{
    const int xl = m_xLineCount;
    if (horizontal) {
        // The column knives of y line `line`, one per column of cells.
        if (line >= 0 && line < m_yLineCount)
            for (int c = 0; c <= xl; ++c)
                ColumnKnives()[line * (xl + 1) + c].selected = value;
    } else if (line >= 0 && line < xl) {
        // The row knives of x line `line` (knot column line + 1), one per row of cells.
        for (int r = 0; r <= m_yLineCount; ++r)
            RowKnives()[r * xl + line].selected = value;
    }
    UpdateSelectionState();
    if (redraw)
        Redraw();
}

void CLayoutModel::ShowKnivesById(bool show, const uint32_t* ids, size_t count, bool redraw)
{
    if (!ids || count == 0)
        return;
    for (size_t i = 0; i < count; ++i)
        if (KnifeRecord* k = GetKnifeById(ids[i]))
            k->hidden = show ? 0 : 1;
    if (redraw) {
        Redraw();
        UpdateSelectionState();
    }
}

void CLayoutModel::PasteKnifeToKnives(const uint32_t* ids, size_t count)
{
    if (m_clipboardEmpty)
        return;
    if (ids) {
        for (size_t i = 0; i < count; ++i) {
            const uint32_t id = ids[i];
            if (id >= static_cast<uint32_t>(kKnifeIdExtra))
                PasteKnifeShape(static_cast<int32_t>(id - kKnifeIdExtra), false, true);
            else if (id < static_cast<uint32_t>(kKnifeIdColumn))
                PasteKnifeShape(static_cast<int32_t>(id), true, false);
            else
                PasteKnifeShape(static_cast<int32_t>(id - kKnifeIdColumn), false, false);
        }
    } else {
        for (int family = 0; family < 3; ++family)
            ForEachInFamily(family, true, [&](KnifeRecord&, int32_t i) {
                PasteKnifeShape(i, family == 0, family == 2);
            });
    }
    if (m_layoutMode && m_pCutter)
        ShowCommonInCutter();
    Redraw();
    UpdateSelectionState();
}

void CLayoutModel::ShowKnives(bool show, bool redraw)
{
    ForEachConsidered(true, [&](KnifeRecord& k, bool) { k.hidden = show ? 0 : 1; });
    if (redraw) {
        Redraw();
        UpdateSelectionState();
    }
}

void CLayoutModel::ReverseKnivesVisibility(bool redraw)
{
    ForEachConsidered(true, [&](KnifeRecord& k, bool) { k.hidden = k.hidden ? 0 : 1; });
    if (redraw) {
        Redraw();
        UpdateSelectionState();
    }
}

void CLayoutModel::SelectKnives(uint8_t value, bool redraw, bool rows, bool columns, bool extras)
{
    const bool families[3] = {rows, columns, extras};
    for (int f = 0; f < 3; ++f)
        if (families[f])
            ForEachInFamily(f, false, [&](KnifeRecord& k, int32_t) { k.selected = value; });
    UpdateSelectionState();
    if (redraw)
        Redraw();
}

void CLayoutModel::SelectShownKnives(bool hiddenOnes, bool redraw)
{
    ForEachConsidered(false, [&](KnifeRecord& k, bool) {
        k.selected = (k.hidden ? hiddenOnes : !hiddenOnes) ? 1 : 0;
    });
    UpdateSelectionState();
    if (redraw)
        Redraw();
}

void CLayoutModel::InvertKnivesSelection(bool redraw)
{
    ForEachConsidered(false, [&](KnifeRecord& k, bool) { k.selected = k.selected ? 0 : 1; });
    UpdateSelectionState();
    if (redraw)
        Redraw();
}

void CLayoutModel::SelectKnivesRandom(uint8_t value, bool redraw)
{
    CQWF_DWordArray candidates;
    int64_t total = 0;
    for (int f = 0; f < 3; ++f) {
        const uint32_t base = f == 0 ? 0 : (f == 1 ? kKnifeIdColumn : kKnifeIdExtra);
        ForEachInFamily(f, false, [&](KnifeRecord& k, int32_t i) {
            ++total;
            if (k.selected != value)
                candidates.Add(base + static_cast<uint32_t>(i));
        });
    }
    const size_t n = candidates.GetCount();
    if (n == 0)
        return;
    qwsel::PickRandom(n, qwsel::RandomShare(n, static_cast<size_t>(total)), [&](size_t e) {
        if (KnifeRecord* k = GetKnifeById(candidates.GetAt(e)))
            k->selected = value;
    });
    UpdateSelectionState();
    if (redraw)
        Redraw();
}

void CLayoutModel::SelectKnivesById(bool toggle, bool extend, bool alternate,
                                    const uint32_t* ids, size_t count, bool keepCutter,
                                    uint8_t value, bool redraw)
{
    if (!ids || count == 0)
        return;
    if (!toggle && !extend && !alternate)
        ForEachConsidered(false, [](KnifeRecord& k, bool) { k.selected = 0; });
    if (!keepCutter)
        if (const KnifeRecord* first = GetKnifeById(ids[0]))
            SendKnifeToCutter(*first);
    for (size_t n = 0; n < count; ++n) {
        const uint32_t id = ids[n];
        KnifeRecord* k = GetKnifeById(id);
        if (!k)
            continue;
        const bool isExtra = id >= static_cast<uint32_t>(kKnifeIdExtra);
        const bool isRow = id < static_cast<uint32_t>(kKnifeIdColumn);
        const int32_t index = static_cast<int32_t>(
            isExtra ? id - kKnifeIdExtra : (isRow ? id : id - kKnifeIdColumn));
        if (toggle) {
            if (!extend && !alternate) {
                SetLastKnife(index, isRow, isExtra);
                k->selected = keepCutter ? value : (k->selected ? 0 : 1);
            } else if (extend) {
                if (alternate)
                    k->flipAlong = k->flipAlong ? 0 : 1;
                else
                    k->flipAcross = k->flipAcross ? 0 : 1;
            }
        } else if (extend) {
            if (!alternate && isExtra)
                continue;
            if (m_lastKnife >= 0) {
                // Ranges span the grid knives; an extra knife at either end spans nothing.
                if (!m_lastKnifeExtra && !isExtra)
                    SelectKnifeRange(alternate ? 0 : 1, m_lastKnife, m_lastKnifeRow, index, isRow);
                SetLastKnife(index, isRow, isExtra);
            } else {
                SetLastKnife(index, isRow, isExtra);
                k->selected = 1;
            }
        } else if (!alternate) {
            SetLastKnife(index, isRow, isExtra);
            k->selected = 1;
        }
    }
    UpdateSelectionState();
    if (redraw)
        Redraw();
}

void CLayoutModel::SelectKnivesByChannel(int mode, bool invert, const uint8_t* mask,
                                         int32_t width, int32_t height)
{
    if (!mask || m_knotCount <= 0 || mode < 0 || mode > 3)
        return;
    CQWF_Mem inside;
    if (!inside.AllocZeroed(static_cast<size_t>(m_knotCount)))
        return;
    uint8_t* in = inside.GetData();
    for (int32_t i = 0; i < m_knotCount; ++i) {
        double x, y;
        GetKnotPositionByIndex(i, m_imageW, m_imageH, 0.0, 0.0, x, y);
        // Knots on the right and bottom edges lie one past the last pixel: they read the
        // pixel they border.
        const double fx = std::min(std::floor(x), static_cast<double>(width) - 1.0);
        const double fy = std::min(std::floor(y), static_cast<double>(height) - 1.0);
        int v = 0;
        if (fx >= 0 && fy >= 0)
            v = mask[static_cast<int64_t>(fy) * width + static_cast<int64_t>(fx)];
        if (invert)
            v = 255 - v;
        in[i] = v < 128 ? 1 : 0;
    }
    if (mode == 0)
        ForEachConsidered(false, [](KnifeRecord& k, bool) { k.selected = 0; });
    const uint8_t value = mode == 2 ? 0 : 1;
    auto apply = [&](KnifeRecord& k, int32_t a, int32_t b) {
        const bool ia = a >= 0 && a < m_knotCount && in[a];
        const bool ib = b >= 0 && b < m_knotCount && in[b];
        if (mode == 3) {
            if (!ia || !ib)
                k.selected = 0;
        } else if (ia || ib) {
            k.selected = value;
        }
    };
    for (int f = 0; f < 2; ++f)
        ForEachInFamily(f, false, [&](KnifeRecord& k, int32_t i) {
            int32_t a, b;
            GetKnifeKnots(i, f == 0, a, b);
            apply(k, a, b);
        });
    for (int32_t i = 0; i < m_extraCount; ++i)
        apply(ExtraKnives()[i].knife, ExtraKnives()[i].knotA, ExtraKnives()[i].knotB);
    UpdateSelectionState();
    Redraw();
}

void CLayoutModel::SetFlips(KnifeRecord& k, bool flipH, bool flipU, uint8_t value)
{
    if (flipH)
        k.flipAcross = value;
    if (flipU)
        k.flipAlong = value;
}

void CLayoutModel::FlipKnivesInterleaved(bool flipH, bool flipU, bool onlySelected, bool redraw)
{
    for (int f = 0; f < 2; ++f) {
        uint8_t value = 0;
        ForEachInFamily(f, onlySelected, [&](KnifeRecord& k, int32_t) {
            SetFlips(k, flipH, flipU, value);
            value = value ? 0 : 1;
        });
    }
    if (redraw)
        Redraw();
}

void CLayoutModel::ClearKnivesFlip(bool flipH, bool flipU, bool onlySelected, bool redraw)
{
    for (int f = 0; f < 2; ++f)
        ForEachInFamily(f, onlySelected,
                        [&](KnifeRecord& k, int32_t) { SetFlips(k, flipH, flipU, 0); });
    if (redraw)
        Redraw();
}

void CLayoutModel::ToggleKnivesFlip(bool flipH, bool flipU, bool onlySelected, bool redraw)
{
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) {
        if (flipH)
            k.flipAcross = k.flipAcross ? 0 : 1;
        if (flipU)
            k.flipAlong = k.flipAlong ? 0 : 1;
    });
    if (redraw)
        Redraw();
}

void CLayoutModel::FlipKnivesRandom(bool flipH, bool flipU, bool onlySelected, bool redraw)
{
    ForEachConsidered(onlySelected, [&](KnifeRecord& k, bool) {
        if (flipH && qwp::Random15() < 16383)
            k.flipAcross = k.flipAcross ? 0 : 1;
        if (flipU && qwp::Random15() < 16383)
            k.flipAlong = k.flipAlong ? 0 : 1;
    });
    if (redraw)
        Redraw();
}

void CLayoutModel::ResetKnot(int32_t knot)
{
    if (knot < 0 || knot >= m_knotCount)
        return;
    TakeUndoSnapshot(kUndoKnots);
    Knots()[knot].x = 0.0f;
    Knots()[knot].y = 0.0f;
    Redraw();
    RecordUndo(kUndoKnots, 0);
}
