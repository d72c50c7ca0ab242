#include "plugin/main/selection_geometry.h"

#include "framework/imaging/qwf_2dmath.h"

#include <algorithm>
#include <vector>

namespace qwsel {

bool PointInLasso(const int32_t* xs, const int32_t* ys, int64_t count, int32_t x, int32_t y)
{
    if (count < 1 || !xs || !ys)
        return false;
    bool inside = false;
    for (int64_t i = 0, j = count - 1; i < count; j = i++) {
        const int64_t yi = ys[i];
        const int64_t yj = ys[j];
        if ((y >= yi && y < yj) || (y >= yj && y < yi)) {
            // In 64 bits: the product of two coordinate differences does not fit 32.
            const int64_t cross = xs[i] + (static_cast<int64_t>(xs[j]) - xs[i]) * (y - yi) / (yj - yi);
            if (x < cross)
                inside = !inside;
        }
    }
    return inside;
}

namespace {
// The abscissas at which the edges cross row y by the rule of PointInLasso, sorted: a point
// (x, y) lies inside when an odd number of them is greater than x.
int64_t RowCrossings(const int32_t* xs, const int32_t* ys, int64_t count, int32_t y, int64_t* out)
{
    int64_t k = 0;
    for (int64_t i = 0, j = count - 1; i < count; j = i++) {
        const int64_t yi = ys[i];
        const int64_t yj = ys[j];
        if ((y >= yi && y < yj) || (y >= yj && y < yi))
            out[k++] = xs[i] + (static_cast<int64_t>(xs[j]) - xs[i]) * (y - yi) / (yj - yi);
    }
    std::sort(out, out + k);
    return k;
}
}  // namespace

bool LassoCrossesRect(const int32_t* xs, const int32_t* ys, int64_t count, int32_t left,
                      int32_t top, int32_t right, int32_t bottom)
{
    if (count < 1 || !xs || !ys)
        return false;
    const double l = left, t = top, r = static_cast<double>(right) - 1.0,
                 b = static_cast<double>(bottom) - 1.0;
    const double edges[4][4] = {{l, t, r, t}, {r, t, r, b}, {r, b, l, b}, {l, b, l, t}};
    for (int64_t i = 0, j = count - 1; i < count; j = i++) {
        // An edge whose box misses the rectangle meets none of its edges.
        if (std::max(xs[i], xs[j]) < left || std::min(xs[i], xs[j]) > r ||
            std::max(ys[i], ys[j]) < top || std::min(ys[i], ys[j]) > b)
            continue;
        for (const auto& e : edges)
            if (CQWF_2DMath::SegmentsIntersect(xs[j], ys[j], xs[i], ys[i], e[0], e[1], e[2], e[3]))
                return true;
    }
    return false;
}

QWF_Rect GetPieceMaskBounds(const JigPiece* pieces, int32_t count, int32_t index)
{
    if (!pieces || index < 0 || index >= count)
        return {kNoRect, kNoRect, kNoRect, kNoRect};
    const JigPiece& p = pieces[index];
    int32_t minX = 1000000, minY = 1000000, maxX = -1000000, maxY = -1000000;
    const int32_t w = p.Width();
    const int32_t h = p.Height();
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max(w, 0)));
    for (int32_t y = 0; p.maskRuns && y < h; ++y) {
        CJigcrafter::ReadPieceMaskRow(p, y, bytes.data());
        const uint8_t* row = bytes.data();
        int32_t x0 = 0;
        while (x0 < w && !row[x0])
            ++x0;
        if (x0 == w)
            continue;
        int32_t x1 = w - 1;
        while (!row[x1])
            --x1;
        minX = std::min(minX, p.left + x0);
        maxX = std::max(maxX, p.left + x1);
        minY = std::min(minY, p.top + y);
        maxY = std::max(maxY, p.top + y);
    }
    if (maxX < minX)
        return {1000000, 1000000, -1000000, -1000000};
    return {minX, minY, maxX + 1, maxY + 1};
}

namespace {
QWF_Rect Intersect(const QWF_Rect& a, const QWF_Rect& b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool Empty(const QWF_Rect& r) { return r.left >= r.right || r.top >= r.bottom; }

QWF_Rect PieceRect(const JigPiece& p) { return {p.left, p.top, p.right, p.bottom}; }

// Calls fn(x, y) for every mask pixel of the piece inside r (image pixels) until it answers
// true; true then.
template <typename Fn> bool AnyMaskPixel(const JigPiece& p, const QWF_Rect& area, Fn fn)
{
    const QWF_Rect r = Intersect(area, PieceRect(p));
    if (Empty(r) || !p.maskRuns)
        return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(p.Width()));
    for (int32_t y = r.top; y < r.bottom; ++y) {
        CJigcrafter::ReadPieceMaskRow(p, y - p.top, bytes.data());
        const uint8_t* row = bytes.data();
        for (int32_t x = r.left; x < r.right; ++x)
            if (row[x - p.left] && fn(x, y))
                return true;
    }
    return false;
}

bool Append(CQWF_DWordArray& out, int32_t index) { return out.Add(static_cast<uint32_t>(index)) >= 0; }
}  // namespace

bool PieceTouchesMask(const JigPiece& piece, const uint8_t* mask, int32_t maskWidth,
                      int32_t maskHeight, int threshold, bool inverted)
{
    if (!mask)
        return false;
    return AnyMaskPixel(piece, {0, 0, maskWidth, maskHeight}, [&](int32_t x, int32_t y) {
        const int v = mask[static_cast<int64_t>(y) * maskWidth + x];
        return (inverted ? 255 - v : v) < threshold;
    });
}

int32_t PieceAtPoint(const JigPiece* pieces, int32_t count, int32_t x, int32_t y)
{
    for (int32_t i = 0; pieces && i < count; ++i) {
        const JigPiece& p = pieces[i];
        if (CJigcrafter::PieceMaskAt(p, x, y))
            return i;
    }
    return -1;
}

bool PiecesInRange(const JigPiece* pieces, int32_t count, int32_t first, int32_t a, int32_t b,
                   uint8_t target, CQWF_DWordArray& out)
{
    // An anchor kept from an earlier piece table may lie past this one.
    if (!pieces || a < 0 || b < 0 || a >= count || b >= count)
        return true;
    const QWF_Rect ra = GetPieceMaskBounds(pieces, count, a);
    const QWF_Rect rb = GetPieceMaskBounds(pieces, count, b);
    const QWF_Rect box = {std::min(ra.left, rb.left), std::min(ra.top, rb.top),
                          std::max(ra.right, rb.right), std::max(ra.bottom, rb.bottom)};
    if (Empty(box))
        return true;
    for (int32_t i = std::max(first, 0); i < count; ++i) {
        const JigPiece& p = pieces[i];
        if (p.selected == target)
            continue;
        int64_t inside = 0;
        AnyMaskPixel(p, box, [&](int32_t, int32_t) {
            ++inside;
            return false;
        });
        if (static_cast<int64_t>(p.pixelCount) < 2 * inside && !Append(out, i))
            return false;
    }
    return true;
}

bool PiecesInRect(const JigPiece* pieces, int32_t count, int32_t first, QWF_Rect rect,
                  int32_t imageWidth, int32_t imageHeight, uint8_t target, CQWF_DWordArray& out)
{
    rect = Intersect(rect, {0, 0, imageWidth, imageHeight});
    if (!pieces || Empty(rect))
        return true;
    for (int32_t i = std::max(first, 0); i < count; ++i) {
        if (pieces[i].selected == target)
            continue;
        if (AnyMaskPixel(pieces[i], rect, [](int32_t, int32_t) { return true; }) &&
            !Append(out, i))
            return false;
    }
    return true;
}

bool PiecesInPolygon(const JigPiece* pieces, int32_t count, int32_t first, const int32_t* xs,
                     const int32_t* ys, int64_t n, int32_t imageWidth, int32_t imageHeight,
                     uint8_t target, CQWF_DWordArray& out, CQWF_Progress* progress, double from,
                     double to)
{
    if (!pieces || n < 1 || !xs || !ys)
        return true;
    int32_t l = xs[0], t = ys[0], r = xs[0], b = ys[0];
    for (int64_t k = 1; k < n; ++k) {
        l = std::min(l, xs[k]);
        t = std::min(t, ys[k]);
        r = std::max(r, xs[k]);
        b = std::max(b, ys[k]);
    }
    const QWF_Rect box =
        Intersect({l, t, r == INT32_MAX ? r : r + 1, b == INT32_MAX ? b : b + 1},
                  {0, 0, imageWidth, imageHeight});
    if (Empty(box))
        return true;
    CQWF_Mem crossingBlock;
    if (!crossingBlock.Alloc(static_cast<size_t>(n) * sizeof(int64_t)))
        return false;
    int64_t* crossings = reinterpret_cast<int64_t*>(crossingBlock.GetData());
    int lastPercent = -1;
    for (int32_t i = std::max(first, 0); i < count; ++i) {
        if (progress) {
            const int pc = static_cast<int>(from + (to - from) * i / count);
            if (pc != lastPercent) {
                lastPercent = pc;
                progress->SetPercent(static_cast<uint8_t>(std::clamp(pc, 0, 100)));
            }
        }
        const JigPiece& p = pieces[i];
        if (p.selected == target)
            continue;
        const QWF_Rect inter = Intersect(PieceRect(p), box);
        if (Empty(inter))
            continue;
        const bool whole = inter.left == box.left && inter.top == box.top &&
                           inter.right == box.right && inter.bottom == box.bottom;
        // The even-odd rule's integer crossing can count a pixel beside an edge on the edge's
        // other side, so an outline that passes within a pixel of the rectangle crosses it.
        bool take = false;
        if (whole || LassoCrossesRect(xs, ys, n, inter.left - 1, inter.top - 1, inter.right + 1,
                                      inter.bottom + 1)) {
            // Row by row: the polygon's crossings of the row, sorted, classify its pixels.
            std::vector<uint8_t> bytes(static_cast<size_t>(p.Width()));
            for (int32_t y = inter.top; y < inter.bottom && !take; ++y) {
                const int64_t k = RowCrossings(xs, ys, n, y, crossings);
                CJigcrafter::ReadPieceMaskRow(p, y - p.top, bytes.data());
                const uint8_t* row = bytes.data();
                int64_t right = 0;  // crossings at or left of x
                for (int32_t x = inter.left; x < inter.right; ++x) {
                    while (right < k && crossings[right] <= x)
                        ++right;
                    if (row[x - p.left] && ((k - right) & 1)) {
                        take = true;
                        break;
                    }
                }
            }
        } else {
            // The outline stays outside this rectangle, so it lies wholly inside or wholly
            // outside the polygon: the piece's first pixel here decides (none: not taken).
            bool firstInside = false;
            const bool any = AnyMaskPixel(p, inter, [&](int32_t x, int32_t y) {
                firstInside = PointInLasso(xs, ys, n, x, y);
                return true;
            });
            take = any && firstInside;
        }
        if (take && !Append(out, i))
            return false;
    }
    return true;
}

bool PiecesRandom(const JigPiece* pieces, int32_t count, uint8_t value, CQWF_DWordArray& out)
{
    CQWF_DWordArray candidates;
    for (int32_t i = 0; pieces && i < count; ++i)
        if (pieces[i].selected != value && !Append(candidates, i))
            return false;
    const size_t n = candidates.GetCount();
    bool ok = true;
    const bool picked = PickRandom(n, RandomShare(n, static_cast<size_t>(count)), [&](size_t k) {
        ok = ok && out.Add(candidates.GetAt(k)) >= 0;
    });
    return picked && ok;
}

}  // namespace qwsel
