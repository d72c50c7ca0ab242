// Scaling a plane set into a target of another size.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/core/qwf_progress.h"
#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_imagefx_internal.h"

using namespace qwf_fx;

namespace {
struct ScaleGeometry {
    double fx, fy;
    int64_t sw, sh;      // scaled size
    int64_t xoff, yoff;  // where the scaled picture sits in the target
};

ScaleGeometry Geometry(const QWF_PlaneSet& s, const QWF_PlaneSet& t, bool keepAspect)
{
    ScaleGeometry g;
    g.fx = static_cast<double>(t.width) / s.width;
    g.fy = static_cast<double>(t.height) / s.height;
    g.sw = t.width;
    g.sh = t.height;
    g.xoff = g.yoff = 0;
    if (keepAspect) {
        const double f = g.fx < g.fy ? g.fx : g.fy;
        g.fx = g.fy = f;
        g.sw = static_cast<int64_t>(f * s.width);
        g.sh = static_cast<int64_t>(f * s.height);
        if (g.sw > t.width) g.sw = t.width;
        if (g.sw < 1) g.sw = 1;
        if (g.sh > t.height) g.sh = t.height;
        if (g.sh < 1) g.sh = 1;
        g.xoff = (t.width - g.sw) / 2;
        g.yoff = (t.height - g.sh) / 2;
    }
    return g;
}

// Fills the target row outside the scaled picture with the fill byte.
void FillMargins(const QWF_PlaneSet& t, int plane, int64_t y, const ScaleGeometry& g,
                 uint8_t fill)
{
    uint8_t* row = RowOf(t, plane, y);
    if (y < g.yoff || y >= g.yoff + g.sh) {
        std::memset(row, fill, static_cast<size_t>(t.width));
        return;
    }
    std::memset(row, fill, static_cast<size_t>(g.xoff));
    const int64_t right = g.xoff + g.sw;
    if (right < t.width) std::memset(row + right, fill, static_cast<size_t>(t.width - right));
}
}  // namespace

bool CQWF_ImageFX::ScaleToFit(uint8_t keepAspect)
{
    const QWF_PlaneSet& s = m_source;
    const QWF_PlaneSet& t = m_target;
    if (s.count != t.count || s.width <= 0 || s.height <= 0) {
        // A source without pixels cannot be scaled (its factors would divide by zero).
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (!CheckUsable()) return false;
    if (t.width == 0 || t.height == 0) return true;
    if (s.width == t.width && s.height == t.height) {
        for (int k = 0; k < s.count; ++k) CopyPlane(k);
        return true;
    }
    const ScaleGeometry g = Geometry(s, t, keepAspect != 0);
    if (g.fx >= 1 || g.fy >= 1) return ScaleUp(keepAspect);
    const int64_t bx = (s.width + g.sw - 1) / g.sw, by = (s.height + g.sh - 1) / g.sh;
    if (bx * by >= 6250001) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    // Column and row ends, sampling steps.
    const size_t need = static_cast<size_t>(g.sw + g.sh) * sizeof(int64_t) +
                        static_cast<size_t>(g.sw) * sizeof(uint64_t);
    if (!m_offsetBlock.Reserve(need)) {
        SetError(m_offsetBlock.GetError());
        return false;
    }
    int64_t* colEnd = reinterpret_cast<int64_t*>(m_offsetBlock.GetData());
    int64_t* rowEnd = colEnd + g.sw;
    uint64_t* sums = reinterpret_cast<uint64_t*>(rowEnd + g.sh);
    {
        const double step = static_cast<double>(s.width) / g.sw;
        double acc = 0;
        for (int64_t i = 0; i < g.sw; ++i) {
            acc += step;
            colEnd[i] = static_cast<int64_t>(static_cast<float>(acc));
        }
    }
    {
        const double step = static_cast<double>(s.height) / g.sh;
        double acc = 0;
        for (int64_t i = 0; i < g.sh; ++i) {
            acc += step;
            rowEnd[i] = static_cast<int64_t>(static_cast<float>(acc));
        }
    }
    auto samplingStep = [](double ratio) -> int64_t {
        int64_t k = static_cast<int64_t>(ratio / 32);
        if (k < 1) k = 1;
        while (k > 1 && ratio / (k - 1) <= 32) --k;
        while (ratio / k > 32) ++k;
        return k;
    };
    const int64_t sx = samplingStep(static_cast<double>(s.width) / g.sw);
    const int64_t sy = samplingStep(static_cast<double>(s.height) / g.sh);
    for (int k = 0; k < s.count; ++k) {
        int64_t r0 = 0;
        for (int64_t r = 0; r < g.sh; ++r) {
            const int64_t r1 = rowEnd[r] < s.height ? rowEnd[r] : s.height;
            std::memset(sums, 0, static_cast<size_t>(g.sw) * sizeof(uint64_t));
            int64_t rowsUsed = 0;
            for (int64_t yy = r0; yy < r1; yy += sy) {
                ++rowsUsed;
                const uint8_t* src = RowOf(s, k, yy);
                int64_t c0 = 0;
                for (int64_t c = 0; c < g.sw; ++c) {
                    const int64_t c1 = colEnd[c] < s.width ? colEnd[c] : s.width;
                    uint64_t acc = 0;
                    for (int64_t xx = c0; xx < c1; xx += sx) acc += src[xx];
                    sums[c] += acc;
                    c0 = colEnd[c];
                }
            }
            uint8_t* dst = RowOf(t, k, g.yoff + r) + g.xoff;
            int64_t c0 = 0;
            for (int64_t c = 0; c < g.sw; ++c) {
                const int64_t c1 = colEnd[c] < s.width ? colEnd[c] : s.width;
                const int64_t colsUsed = c1 > c0 ? (c1 - c0 + sx - 1) / sx : 0;
                const uint64_t n = static_cast<uint64_t>(colsUsed * rowsUsed);
                dst[c] = n ? static_cast<uint8_t>(sums[c] / n) : 0;
                c0 = colEnd[c];
            }
            r0 = rowEnd[r];
        }
        for (int64_t y = 0; y < t.height; ++y) FillMargins(t, k, y, g, m_fill);
    }
    return true;
}

bool CQWF_ImageFX::ScaleUp(uint8_t keepAspect)
{
    const QWF_PlaneSet& s = m_source;
    const QWF_PlaneSet& t = m_target;
    if (s.count != t.count || s.width <= 0 || s.height <= 0) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (!CheckUsable()) return false;
    if (m_progress) m_progress->SetPercent(0);
    if (t.width == 0 || t.height == 0) {
        if (m_progress) m_progress->SetPercent(100);
        return true;
    }
    const ScaleGeometry g = Geometry(s, t, keepAspect != 0);
    const double wx = g.fx < 1 ? 1 / g.fx : 1;
    const double wy = g.fy < 1 ? 1 / g.fy : 1;
    const double ix = 1 / g.fx, iy = 1 / g.fy;
    const bool shrinkX = g.fx < 1, shrinkY = g.fy < 1;
    // The footprint pieces of every target column: (source column, weight), computed once.
    const int64_t maxPieces = static_cast<int64_t>(std::ceil(wx)) + 2;
    const size_t need = static_cast<size_t>(g.sw) * (sizeof(int64_t) * 2) +
                        static_cast<size_t>(g.sw * maxPieces) * (sizeof(int64_t) + sizeof(double));
    if (!m_offsetBlock.Reserve(need)) {
        SetError(m_offsetBlock.GetError());
        return false;
    }
    int64_t* first = reinterpret_cast<int64_t*>(m_offsetBlock.GetData());
    int64_t* countOf = first + g.sw;
    int64_t* index = countOf + g.sw;
    double* weight = reinterpret_cast<double*>(index + g.sw * maxPieces);
    {
        double x0 = 0;
        int64_t n = 0;
        for (int64_t c = 0; c < g.sw; ++c) {
            const double x1 = x0 + wx;
            first[c] = n;
            double left = x0;
            int64_t pieces = 0;
            while (left < x1 && pieces < maxPieces) {
                const double cell = std::floor(left);
                const double right = cell + 1 < x1 ? cell + 1 : x1;
                const double pw = right - left;
                int64_t i = static_cast<int64_t>(cell);
                if (i >= s.width) i = s.width - 1;
                if (i < 0) i = 0;
                index[n] = i;
                weight[n] = shrinkX ? pw * g.fx : pw;
                ++n;
                ++pieces;
                left = right;
            }
            countOf[c] = pieces;
            x0 += ix;
        }
    }
    const double stepPercent =
        100.0 / static_cast<double>(std::max<int64_t>(s.count * (t.height + g.sh), 1));
    double percent = 0;
    auto advance = [&]() -> bool {
        percent += stepPercent;
        if (!m_progress) return true;
        const double p = std::min(percent, 100.0);
        m_progress->SetPercent(static_cast<uint8_t>(p));
        return !m_progress->IsCancelled();
    };
    const int64_t maxRows = static_cast<int64_t>(std::ceil(wy)) + 2;
    int64_t rowIndex[64];
    double rowWeight[64];
    const bool rowsOnStack = maxRows <= 64;
    for (int k = 0; k < s.count; ++k) {
        double y0 = 0;
        for (int64_t r = 0; r < g.sh; ++r) {
            const double y1 = y0 + wy;
            uint8_t* dst = RowOf(t, k, g.yoff + r) + g.xoff;
            // The row's footprint pieces, the same for every column.
            int64_t nRows = 0;
            {
                double top = y0;
                while (top < y1 && (!rowsOnStack || nRows < maxRows)) {
                    const double cell = std::floor(top);
                    const double bottom = cell + 1 < y1 ? cell + 1 : y1;
                    int64_t j = static_cast<int64_t>(cell);
                    if (j >= s.height) j = s.height - 1;
                    if (j < 0) j = 0;
                    if (rowsOnStack) {
                        rowIndex[nRows] = j;
                        rowWeight[nRows] = shrinkY ? (bottom - top) * g.fy : bottom - top;
                    }
                    ++nRows;
                    top = bottom;
                }
            }
            for (int64_t c = 0; c < g.sw; ++c) {
                double sum = 0;
                if (rowsOnStack) {
                    for (int64_t q = 0; q < nRows; ++q) {
                        const uint8_t* src = RowOf(s, k, rowIndex[q]);
                        const double ph = rowWeight[q];
                        for (int64_t p = first[c]; p < first[c] + countOf[c]; ++p)
                            sum += src[index[p]] * weight[p] * ph;
                    }
                } else {
                    double top = y0;
                    while (top < y1) {
                        const double cell = std::floor(top);
                        const double bottom = cell + 1 < y1 ? cell + 1 : y1;
                        const double ph = shrinkY ? (bottom - top) * g.fy : bottom - top;
                        int64_t j = static_cast<int64_t>(cell);
                        if (j >= s.height) j = s.height - 1;
                        if (j < 0) j = 0;
                        const uint8_t* src = RowOf(s, k, j);
                        for (int64_t p = first[c]; p < first[c] + countOf[c]; ++p)
                            sum += src[index[p]] * weight[p] * ph;
                        top = bottom;
                    }
                }
                const double v = std::clamp(sum, 0.0, 255.0);
                dst[c] = static_cast<uint8_t>(v);
            }
            y0 += iy;
            if (!advance()) return false;
        }
    }
    for (int k = 0; k < s.count; ++k) {
        for (int64_t y = 0; y < t.height; ++y) {
            FillMargins(t, k, y, g, m_fill);
            if (!advance()) return false;
        }
    }
    if (m_progress) m_progress->SetPercent(100);
    return true;
}
