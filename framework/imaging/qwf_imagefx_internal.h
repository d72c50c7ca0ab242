// Helpers shared by the pixel-effect sources (not part of the public interface).
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/imaging/qwf_imagefx.h"
#include "platform/qw_cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qwf_fx {

// Lines filtered together by the blurs.
constexpr int kLanes = 16;

inline uint8_t* RowOf(const QWF_PlaneSet& s, int plane, int64_t y)
{
    return s.planes[plane] + y * static_cast<int64_t>(s.stride);
}

inline int ColourPlanesOf(const QWF_PlaneSet& s) { return s.count - (s.alpha ? 1 : 0); }

// A filtered value back to a byte: through single precision, truncated toward zero.
inline uint8_t ToByte(double v)
{
    const float f = static_cast<float>(v);
    if (!(f > 0.0f)) return 0;
    if (f >= 255.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(f));
}

// sum / weight truncated toward zero and limited to 0-255; 0 when the weight is 0.
inline uint8_t DivClamp(int64_t sum, int64_t weight)
{
    if (weight == 0) return 0;
    if (sum == 0 || ((sum < 0) != (weight < 0))) return 0;
    const uint64_t s = sum < 0 ? static_cast<uint64_t>(-sum) : static_cast<uint64_t>(sum);
    const uint64_t w = weight < 0 ? static_cast<uint64_t>(-weight) : static_cast<uint64_t>(weight);
    if (s >= 255 * w) return 255;
    return static_cast<uint8_t>(s / w);
}

// DivClamp by one weight fixed for many sums: a multiplication by the reciprocal, corrected to
// the exact truncated quotient.
class ConstDivider {
public:
    explicit ConstDivider(int64_t weight)
        : m_weight(weight), m_abs(weight < 0 ? -weight : weight),
          m_inverse(weight == 0 ? 0.0 : 1.0 / static_cast<double>(weight < 0 ? -weight : weight))
    {
    }
    uint8_t operator()(int64_t sum) const
    {
        if (m_weight == 0 || sum == 0 || ((sum < 0) != (m_weight < 0))) return 0;
        const int64_t s = sum < 0 ? -sum : sum;
        if (s >= 255 * m_abs) return 255;
        int64_t q = static_cast<int64_t>(static_cast<double>(s) * m_inverse);
        if (q * m_abs > s) --q;
        else if ((q + 1) * m_abs <= s) ++q;
        return static_cast<uint8_t>(q);
    }

private:
    int64_t m_weight, m_abs;
    double m_inverse;
};

// Padding of the recursive filter (7 sigma); 0 when sigma cannot be padded.
size_t RecursivePad(double sigma);

// The same two steps for two groups of kLanes interleaved lines filtered side by side (the
// recursive filter runs faster so): in[b] is where the caller writes group b's samples (false
// when the work block cannot grow), out[b] then holds its filtered values.
bool LanesInputPair(const QWF_Gaussian& g, size_t count, CQWF_Mem& work, double* in[2]);
// `groups` (1 or 2) says how many groups hold lines.
void LanesRunPair(const QWF_Gaussian& g, size_t count, CQWF_Mem& work, const double* out[2],
                  int groups);

// Filters `L` interleaved lines of `count` samples in place (sample i of line l at i * L + l).
template <int L>
bool FilterLanes(const QWF_Gaussian& g, double* data, size_t count, CQWF_Mem& work);

// Two steps of the same filter without copies: the place where the caller writes `count`
// samples of `L` interleaved lines (null when the work block cannot grow), then the filtered
// values (recursive results not yet limited to 0-255; ToByte limits them).
template <int L>
double* LanesInput(const QWF_Gaussian& g, size_t count, CQWF_Mem& work);
template <int L>
const double* LanesRun(const QWF_Gaussian& g, size_t count, CQWF_Mem& work);

// True when the filter runs the direct kernel on bytes without lanes: a direct filter that is not
// the identity (qwf_imagefx_direct.h; every level).
bool DirectWithoutLanes(const QWF_Gaussian& g);

// The direct filter (DirectWithoutLanes) without lanes on bytes, each result through ToByte.
// One row of `count` samples (in and out may be the same), with DirectRowWorkDoubles(count)
// doubles of work space; the columns of a w x h grid (from and to may be the same grid), with
// DirectColumnsWorkDoubles(g) doubles of work space for each ring (below). Strides count samples.
size_t DirectRowWorkDoubles(size_t count);
size_t DirectColumnsWorkDoubles(const QWF_Gaussian& g);
// The strips a grid `w` samples wide is filtered in by the direct column filter.
size_t DirectColumnStrips(size_t w);
void DirectRow(const QWF_Gaussian& g, const uint8_t* in, uint8_t* out, size_t count, double* work);
// The columns take `rings` (1 up to DirectColumnStrips(w)) neighbouring strips side by side in
// bands of rows, with rings * DirectColumnsWorkDoubles(g) doubles of work space.
void DirectColumns(const QWF_Gaussian& g, const uint8_t* from, ptrdiff_t fromStride, uint8_t* to,
                   ptrdiff_t toStride, size_t w, size_t h, double* work, size_t rings);

// The recursive filter (not g.direct) on bytes, the forward pass reading the bytes and the
// backward pass writing them (through ToByte), without a separate copy into doubles and back.
// True when it applies to lines of `count` samples (at a vector level; the plain level keeps
// the lane kernels).
bool RecursiveOnBytes(const QWF_Gaussian& g, size_t count);
size_t RecursiveBytesWorkDoubles(const QWF_Gaussian& g, size_t count);
// `groups` (1, 2 or 4) groups of kLanes interleaved lines: sample i of line l of group b at
// in[b][i * inStep + l], its result to out[b][i * outStep + l] (out may be in: every sample is
// read before the first result is written).
void RecursiveBytes(const QWF_Gaussian& g, size_t count, const uint8_t* const* in,
                    ptrdiff_t inStep, uint8_t* const* out, ptrdiff_t outStep, int groups,
                    double* work);
// The rows of a byte grid in groups of kLanes, two groups at a time: rows[b * kLanes + l] is row
// l of group b (lanes[b] of them hold lines; the others repeat one of them), their results to
// targets likewise; `bytes` holds 2 * count * kLanes bytes.
void RecursiveRows(const QWF_Gaussian& g, size_t count, const uint8_t* const* rows,
                   uint8_t* const* targets, const int lanes[2], int groups, uint8_t* bytes,
                   double* work);
// Every column of a w x h byte grid (from and to may be the same grid); `bytes` holds
// h * kLanes bytes.
void RecursiveColumns(const QWF_Gaussian& g, const uint8_t* from, ptrdiff_t fromStride,
                      uint8_t* to, ptrdiff_t toStride, size_t w, size_t h, uint8_t* bytes,
                      double* work);
// The same for every column of a grid, each column first filled down its own column of `mask`
// (see CQWF_ImageFX::FillFromOpaque); from and to are different grids; `scratch` holds
// 5 * h * kLanes bytes.
void RecursiveMaskedColumns(const QWF_Gaussian& g, const uint8_t* from, ptrdiff_t fromStride,
                            const uint8_t* mask, ptrdiff_t maskStride, uint8_t* to,
                            ptrdiff_t toStride, size_t w, size_t h, uint8_t* scratch,
                            double* work);

// Fills a line from the bytes whose mask is not 0 (see CQWF_ImageFX::FillFromOpaque), reading
// and writing with steps.
void FillOpaqueStrided(const uint8_t* bytes, ptrdiff_t bstep, const uint8_t* mask,
                       ptrdiff_t mstep, size_t count, double* out, size_t ostep);

// rows[l][i] -> out[i * kLanes + l] for kLanes rows of count bytes, and back for the first
// `lanes` rows.
void RowsToInterleaved(const uint8_t* const rows[kLanes], size_t count, uint8_t* out);
void InterleavedToRows(const uint8_t* in, size_t count, uint8_t* const rows[kLanes], int lanes);

// kLanes neighbouring columns of h rows (`stride` bytes apart) to kLanes lines of bytes:
// out[l * outStride + i] = src[i * stride + l].
void ColumnsToLines(const uint8_t* src, ptrdiff_t stride, size_t h, uint8_t* out, size_t outStride);

// The same fill in bytes (a byte line holds the same values as its doubles).
void FillOpaqueBytes(const uint8_t* bytes, ptrdiff_t bstep, const uint8_t* mask, ptrdiff_t mstep,
                     size_t count, uint8_t* out, ptrdiff_t ostep);

// acc[x] += weight * src[x], and out[x] = DivClamp(acc[x], weight), for 32-bit sums; the
// kernels of a vector level.
struct SumKernels {
    void (*accumulate)(int32_t* acc, const uint8_t* src, int32_t weight, size_t n);
    void (*divide)(const int32_t* acc, uint8_t* out, size_t n, int32_t weight);
};
extern const qwp::KernelTable<SumKernels> kSumKernels;

// rows[l][i] -> out[i * kLanes + l] for kLanes rows of count bytes, and back (through ToByte)
// for the first `lanes` rows.
void BytesToLanes(const uint8_t* const rows[kLanes], size_t count, double* out);
void LanesToBytes(const double* in, size_t count, uint8_t* const rows[kLanes], int lanes);
// kLanes neighbouring bytes to one step of doubles, and back for the first `lanes`.
#if defined(__SSE2__)
// 16 bytes to 16 doubles.
inline void Widen16(__m128i v, double* out)
{
    const __m128i z = _mm_setzero_si128();
    const __m128i lo16 = _mm_unpacklo_epi8(v, z), hi16 = _mm_unpackhi_epi8(v, z);
    const __m128i q[4] = {_mm_unpacklo_epi16(lo16, z), _mm_unpackhi_epi16(lo16, z),
                          _mm_unpacklo_epi16(hi16, z), _mm_unpackhi_epi16(hi16, z)};
    for (int k = 0; k < 4; ++k) {
        _mm_storeu_pd(out + 4 * k, _mm_cvtepi32_pd(q[k]));
        _mm_storeu_pd(out + 4 * k + 2, _mm_cvtepi32_pd(_mm_srli_si128(q[k], 8)));
    }
}

// 16 doubles to 16 bytes through single precision, limited to 0-255 and truncated (ToByte).
inline __m128i Narrow16(const double* in)
{
    const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f);
    __m128i q[4];
    for (int k = 0; k < 4; ++k) {
        const __m128 lo = _mm_cvtpd_ps(_mm_loadu_pd(in + 4 * k));
        const __m128 hi = _mm_cvtpd_ps(_mm_loadu_pd(in + 4 * k + 2));
        __m128 f = _mm_movelh_ps(lo, hi);
        f = _mm_max_ps(f, zero);  // NaN and anything not above 0 become 0
        f = _mm_min_ps(f, top);
        q[k] = _mm_cvttps_epi32(f);
    }
    const __m128i w0 = _mm_packs_epi32(q[0], q[1]), w1 = _mm_packs_epi32(q[2], q[3]);
    return _mm_packus_epi16(w0, w1);
}
#endif

inline void BytesToLane16(const uint8_t* src, double* out)
{
#if defined(__SSE2__)
    Widen16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), out);
#else
    for (int l = 0; l < 16; ++l) out[l] = src[l];
#endif
}

inline void Lane16ToBytes(const double* in, uint8_t* dst, int lanes)
{
#if defined(__SSE2__)
    if (lanes == 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), Narrow16(in));
        return;
    }
#endif
    for (int l = 0; l < lanes; ++l) dst[l] = ToByte(in[l]);
}

}  // namespace qwf_fx
