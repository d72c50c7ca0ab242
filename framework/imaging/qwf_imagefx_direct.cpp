// The direct Gaussian filter on rows and columns of bytes or floats, without lanes: rows are
// filtered along the row, columns a strip of neighbouring columns at a time down the rows, both
// in vector steps over neighbouring positions. Every position goes through exactly the
// arithmetic of the lane kernels (DirectLanesBody), and comes back to a byte through ToByte or to
// a float as the lanes' floats do.
#include <cstring>

#include "framework/imaging/qwf_imagefx_internal.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// GCC 12 takes the undefined upper halves inside its 512-bit intrinsics for uninitialised values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif


namespace qwf_fx {

namespace {

// Columns of one strip of the column filter: its rows of doubles stay in the first level cache.
constexpr size_t kStrip = 256;
// Rows ahead of the one read that the column filter asks for early.
constexpr int64_t kAheadRows = 4;
// Rows of one strip filtered before the next strip's turn when strips go side by side.
constexpr int64_t kBandRows = 32;

template <int VW>
struct DirectVec {
    static_assert(VW == 4 || VW == 8 || VW == 16, "vector widths of the kernels");
    typedef double VD __attribute__((vector_size(VW * 8), aligned(8)));
    typedef float VF __attribute__((vector_size(VW * 4)));
    typedef int32_t VI __attribute__((vector_size(VW * 4)));
    typedef uint8_t VB __attribute__((vector_size(VW)));
};

// The weight sum of a position whose taps all lie inside the line, summed as the lane kernels do.
inline double FullSum(const QWF_Gaussian& g)
{
    const int K = g.kernelCount;
    double s = g.kernel[0];
    for (int k = 1; k < K; ++k) s += g.kernel[k];
    for (int k = 1; k < K; ++k) s += g.kernel[k];
    return s;
}

// Position i of a line of n samples with taps reaching past an end: sample(j) reads sample j.
template <class Sample>
inline double EdgePosition(const QWF_Gaussian& g, int64_t i, int64_t n, Sample sample)
{
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    double sum = w[0] * sample(i);
    double ws = w[0];
    for (int k = 1; k < K; ++k) {
        if (i + k < n) {
            sum += w[k] * sample(i + k);
            ws += w[k];
        } else if (edge) {
            sum += w[k] * ev;
            ws += w[k];
        }
    }
    for (int k = 1; k < K; ++k) {
        if (i - k >= 0) {
            sum += w[k] * sample(i - k);
            ws += w[k];
        } else if (edge) {
            sum += w[k] * ev;
            ws += w[k];
        }
    }
    return sum / ws;
}

// A result back to its sample type.
inline uint8_t Back(double v, uint8_t*) { return ToByte(v); }
inline float Back(double v, float*) { return static_cast<float>(v); }

// VW neighbouring doubles to floats.
template <int VW>
inline __attribute__((always_inline)) void StoreOut(const typename DirectVec<VW>::VD& v, float* out)
{
    const typename DirectVec<VW>::VF f = __builtin_convertvector(v, typename DirectVec<VW>::VF);
    std::memcpy(out, &f, sizeof f);
}

// VW neighbouring doubles to bytes as ToByte turns each.
template <int VW>
inline __attribute__((always_inline)) void StoreOut(const typename DirectVec<VW>::VD& v, uint8_t* out)
{
    typedef typename DirectVec<VW>::VF VF;
    typedef typename DirectVec<VW>::VI VI;
    typedef typename DirectVec<VW>::VB VB;
    VF f = __builtin_convertvector(v, VF);
    f = f > 0.0f ? f : VF{};  // NaN and anything not above 0 become 0
    f = f >= 255.0f ? VF{} + 255.0f : f;
    const VB b = __builtin_convertvector(__builtin_convertvector(f, VI), VB);
    std::memcpy(out, &b, VW);
}

// Two steps of VW neighbouring doubles (a, then b) stored as one: the same conversions as
// StoreOut, done once on the 2 * VW values.
template <int VW>
inline __attribute__((always_inline)) void StoreOutPair(const typename DirectVec<VW>::VD& a,
                                                        const typename DirectVec<VW>::VD& b,
                                                        float* out)
{
    StoreOut<VW>(a, out);
    StoreOut<VW>(b, out + VW);
}

// 2 * VW bytes at each vector level (a function of that level's own, inlined into the
// flattened kernels of the level).
template <int VW>
void StoreOutPair(const typename DirectVec<VW>::VD& a, const typename DirectVec<VW>::VD& b,
                  uint8_t* out);

template <>
__attribute__((target("avx2"))) inline void StoreOutPair<4>(const DirectVec<4>::VD& a,
                                                            const DirectVec<4>::VD& b,
                                                            uint8_t* out)
{
    __m256d da, db;
    std::memcpy(&da, &a, sizeof da);
    std::memcpy(&db, &b, sizeof db);
    __m256 f = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(da)), _mm256_cvtpd_ps(db), 1);
    // The maximum gives its second operand for NaN: NaN and anything not above 0 become 0.
    f = _mm256_min_ps(_mm256_max_ps(f, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
    const __m256i i = _mm256_cvttps_epi32(f);
    const __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(i), _mm256_extracti128_si256(i, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(w, w));
}

template <>
__attribute__((target("avx512f,avx512vl,avx512bw"))) inline void StoreOutPair<8>(
    const DirectVec<8>::VD& a, const DirectVec<8>::VD& b, uint8_t* out)
{
    __m512d da, db;
    std::memcpy(&da, &a, sizeof da);
    std::memcpy(&db, &b, sizeof db);
    const __m512 both = _mm512_castpd_ps(_mm512_insertf64x4(
        _mm512_castps_pd(_mm512_castps256_ps512(_mm512_cvtpd_ps(da))),
        _mm256_castps_pd(_mm512_cvtpd_ps(db)), 1));
    // The maximum gives its second operand for NaN: NaN and anything not above 0 become 0; past
    // 255 the unsigned saturation gives 255 (past 2^31 too, where the truncation gives
    // 0x80000000).
    const __m512 f = _mm512_max_ps(both, _mm512_setzero_ps());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm512_cvtusepi32_epi8(_mm512_cvttps_epi32(f)));
}

// Taps each side of the direct filter: at most 19 (10 below the sigma where the recursive filter
// takes over, each count of those with its own unrolled loop).
constexpr int kMaxTaps = 19;
constexpr int kUnrolledTaps = 10;

// Positions [from, to) whose taps all lie inside, for K taps each side (counting the centre;
// kTaps of them, or `taps` when kTaps is 0). With kStep 0, up[k][x] is the sample k positions on
// from position x (k from -(K - 1) to K - 1); with kStep set, that sample is up[0][x + k * kStep],
// so that every tap is one fixed distance from the centre.
template <int VW, int kTaps, ptrdiff_t kStep, class T>
inline __attribute__((always_inline)) void InnerPositions(const double* w, int taps,
                                                          const double* const* up, double fs,
                                                          size_t from, size_t to, T* out)
{
    typedef typename DirectVec<VW>::VD VD;
    const int K = kTaps ? kTaps : taps;
    constexpr int kHeld = kTaps ? kTaps : kMaxTaps;
    // The weights and tap rows in local copies: the stores of results could otherwise reach
    // them, and they would be read again for every step.
    VD wv[kHeld];
    const double* tap[2 * kHeld - 1];
    for (int k = 0; k < K; ++k) wv[k] = VD{} + w[k];
    for (int k = -(K - 1); k <= K - 1; ++k) tap[kHeld - 1 + k] = kStep ? up[0] + k * kStep : up[k];
    const double* const* t = tap + (kHeld - 1);
    const double* const centre = up[0];
    // Loads through a copy: the rows are only double-aligned, and clang can take the vector type
    // here for a fully aligned one.
    auto at = [&](VD& v, int k, size_t i) {
        if constexpr (kStep != 0) std::memcpy(&v, centre + i + k * kStep, sizeof v);
        else std::memcpy(&v, t[k] + i, sizeof v);
    };
    const VD vfs = VD{} + fs;
    size_t x = from;
    // Four steps side by side: each sum is a chain of dependent additions, so independent
    // chains keep the adders busy.
    constexpr int NV = 4;
    for (; x + NV * VW <= to; x += NV * VW) {
        VD sum[NV], a[NV];
        for (int v = 0; v < NV; ++v) {
            at(a[v], 0, x + v * VW);
            sum[v] = wv[0] * a[v];
        }
#pragma GCC unroll 20
        for (int k = 1; k < K; ++k)
            for (int v = 0; v < NV; ++v) {
                at(a[v], k, x + v * VW);
                sum[v] += wv[k] * a[v];
            }
#pragma GCC unroll 20
        for (int k = 1; k < K; ++k)
            for (int v = 0; v < NV; ++v) {
                at(a[v], -k, x + v * VW);
                sum[v] += wv[k] * a[v];
            }
        StoreOutPair<VW>(sum[0] / vfs, sum[1] / vfs, out + x);
        StoreOutPair<VW>(sum[2] / vfs, sum[3] / vfs, out + x + 2 * VW);
    }
    for (; x + VW <= to; x += VW) {
        VD a;
        at(a, 0, x);
        VD sum = wv[0] * a;
#pragma GCC unroll 20
        for (int k = 1; k < K; ++k) {
            at(a, k, x);
            sum += wv[k] * a;
        }
#pragma GCC unroll 20
        for (int k = 1; k < K; ++k) {
            at(a, -k, x);
            sum += wv[k] * a;
        }
        StoreOut<VW>(sum / vfs, out + x);
    }
    for (; x < to; ++x) {
        double sum = w[0] * t[0][x];
        for (int k = 1; k < K; ++k) sum += w[k] * t[k][x];
        for (int k = 1; k < K; ++k) sum += w[k] * t[-k][x];
        out[x] = Back(sum / fs, out);
    }
}

template <int VW, ptrdiff_t kStep = 0, int K = 1, class T>
inline __attribute__((always_inline)) void InnerPositionsOf(const QWF_Gaussian& g,
                                                            const double* const* up, double fs,
                                                            size_t from, size_t to, T* out)
{
    if constexpr (K > kUnrolledTaps) {
        InnerPositions<VW, 0, kStep, T>(g.kernel, g.kernelCount, up, fs, from, to, out);
    } else if (g.kernelCount == K) {
        InnerPositions<VW, K, kStep, T>(g.kernel, K, up, fs, from, to, out);
    } else {
        InnerPositionsOf<VW, kStep, K + 1, T>(g, up, fs, from, to, out);
    }
}

// n floats to doubles.
inline __attribute__((always_inline)) void ToDoubles(const float* in, double* d, size_t n)
{
    typedef float VF __attribute__((vector_size(16), aligned(4)));
    typedef double VD __attribute__((vector_size(32), aligned(8)));
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        *reinterpret_cast<VD*>(d + i) = __builtin_convertvector(*reinterpret_cast<const VF*>(in + i), VD);
    for (; i < n; ++i) d[i] = in[i];
}

// n bytes to doubles at each vector level (functions of that level's own, inlined into the
// flattened kernels of the level).
template <int VW>
void WidenBytes(const uint8_t* in, double* d, size_t n);

template <>
__attribute__((target("avx2"))) inline void WidenBytes<4>(const uint8_t* in, double* d, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i q = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i)));
        _mm256_storeu_pd(d + i, _mm256_cvtepi32_pd(_mm256_castsi256_si128(q)));
        _mm256_storeu_pd(d + i + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(q, 1)));
    }
    for (; i < n; ++i) d[i] = in[i];
}

template <>
__attribute__((target("avx512f,avx512vl,avx512bw"))) inline void WidenBytes<8>(const uint8_t* in,
                                                                              double* d, size_t n)
{
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m512i q = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
        _mm512_storeu_pd(d + i, _mm512_cvtepi32_pd(_mm512_castsi512_si256(q)));
        _mm512_storeu_pd(d + i + 8, _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(q, 1)));
    }
    for (; i < n; ++i) d[i] = in[i];
}

template <int VW>
inline __attribute__((always_inline)) void ToDoublesAt(const uint8_t* in, double* d, size_t n)
{
    WidenBytes<VW>(in, d, n);
}

template <int VW>
inline __attribute__((always_inline)) void ToDoublesAt(const float* in, double* d, size_t n)
{
    ToDoubles(in, d, n);
}

template <int VW, class T>
inline __attribute__((always_inline)) void RowBody(const QWF_Gaussian& g, const T* in, T* out,
                                                   size_t count, double* d)
{
    const int K = g.kernelCount;
    const int64_t n = static_cast<int64_t>(count);
    ToDoublesAt<VW>(in, d, count);
    auto sample = [&](int64_t j) { return d[j]; };
    const int64_t innerFrom = K - 1, innerTo = n - (K - 1);  // [innerFrom, innerTo)
    if (innerFrom >= innerTo) {
        for (int64_t i = 0; i < n; ++i) out[i] = Back(EdgePosition(g, i, n, sample), out);
        return;
    }
    for (int64_t i = 0; i < innerFrom; ++i) out[i] = Back(EdgePosition(g, i, n, sample), out);
    const double* centre = d;
    InnerPositionsOf<VW, 1>(g, &centre, FullSum(g), static_cast<size_t>(innerFrom),
                            static_cast<size_t>(innerTo), out);
    for (int64_t i = innerTo; i < n; ++i) out[i] = Back(EdgePosition(g, i, n, sample), out);
}

// Row y of the column filter when its taps reach past the top or the bottom (up[k]: the row k
// on, null outside the grid): the terms of EdgePosition, which are the same for the whole row,
// in vector steps along it.
template <int VW, class T>
inline __attribute__((always_inline)) void EdgeRow(const QWF_Gaussian& g, int64_t y, int64_t n,
                                                   const double* const* up, size_t count, T* out)
{
    typedef typename DirectVec<VW>::VD VD;
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    // The terms after the centre's, in order: a weight and its row (null: the edge value).
    double tw[2 * kMaxTaps];
    const double* tr[2 * kMaxTaps];
    int terms = 0;
    double ws = w[0];
    for (int side = 1; side >= -1; side -= 2) {
        for (int k = 1; k < K; ++k) {
            const int64_t j = y + side * k;
            if (j >= 0 && j < n) {
                tw[terms] = w[k];
                tr[terms++] = up[side * k];
                ws += w[k];
            } else if (edge) {
                tw[terms] = w[k];
                tr[terms++] = nullptr;
                ws += w[k];
            }
        }
    }
    const double* centre = up[0];
    size_t x = 0;
    for (; x + VW <= count; x += VW) {
        VD a;
        std::memcpy(&a, centre + x, sizeof a);
        VD sum = (VD{} + w[0]) * a;
        for (int i = 0; i < terms; ++i) {
            if (tr[i]) std::memcpy(&a, tr[i] + x, sizeof a);
            sum += tr[i] ? (VD{} + tw[i]) * a : VD{} + tw[i] * ev;
        }
        StoreOut<VW>(sum / ws, out + x);
    }
    for (; x < count; ++x) {
        double sum = w[0] * centre[x];
        for (int i = 0; i < terms; ++i) sum += tr[i] ? tw[i] * tr[i][x] : tw[i] * ev;
        out[x] = Back(sum / ws, out);
    }
}

template <int VW, class T>
inline __attribute__((always_inline)) void ColumnsBody(const QWF_Gaussian& g, const T* from,
                                                       ptrdiff_t fromStride, T* to,
                                                       ptrdiff_t toStride, size_t w, size_t h,
                                                       double* ring, size_t rings)
{
    const int K = g.kernelCount;
    const int64_t R = 2 * K - 1;  // rows held: K - 1 above and below the one filtered
    const int64_t n = static_cast<int64_t>(h);
    const double fs = FullSum(g);
    const size_t strips = (w + kStrip - 1) / kStrip;
    // `rings` neighbouring strips side by side, each with a ring of its own, a band of rows of
    // one strip after the band of the one before: the pages of a band's rows stay in the
    // address translation caches for all the strips (a strip alone down the whole grid meets a
    // page of its own in every row).
    const int64_t band = rings > 1 ? kBandRows : n;
    for (size_t s0 = 0; s0 < strips; s0 += rings) {
        const size_t group = strips - s0 < rings ? strips - s0 : rings;
        // Row y of strip s in slot y % R of its ring.
        auto slotAt = [&](size_t s, int64_t y) {
            return ring + ((s - s0) * static_cast<size_t>(R) + static_cast<size_t>(y % R)) * kStrip;
        };
        auto load = [&](size_t s, int64_t y) {
            const size_t x0 = s * kStrip, sw = w - x0 < kStrip ? w - x0 : kStrip;
            // The strip's part of a row a few rows on asked for early: each row lies on pages
            // of its own, where the processor does not fetch ahead by itself.
            if (y + kAheadRows < n) {
                const char* ahead = reinterpret_cast<const char*>(from + (y + kAheadRows) * fromStride +
                                                                  static_cast<ptrdiff_t>(x0));
                for (size_t b = 0; b < sw * sizeof(T); b += 64) __builtin_prefetch(ahead + b);
            }
            ToDoublesAt<VW>(from + y * fromStride + static_cast<ptrdiff_t>(x0), slotAt(s, y), sw);
        };
        // Row y is read before any row at or above it is written (and strips share no sample),
        // so from and to may be the same grid.
        for (size_t s = s0; s < s0 + group; ++s)
            for (int64_t y = 0; y < n && y < K - 1; ++y) load(s, y);
        for (int64_t y0 = 0; y0 < n; y0 += band) {
            const int64_t y1 = n - y0 < band ? n : y0 + band;
            for (size_t s = s0; s < s0 + group; ++s) {
                const size_t x0 = s * kStrip, sw = w - x0 < kStrip ? w - x0 : kStrip;
                for (int64_t y = y0; y < y1; ++y) {
                    if (y + K - 1 < n) load(s, y + K - 1);
                    T* t = to + y * toStride + static_cast<ptrdiff_t>(x0);
                    const double* taps[2 * kMaxTaps];
                    for (int k = -(K - 1); k <= K - 1; ++k)
                        taps[K - 1 + k] = y + k >= 0 && y + k < n ? slotAt(s, y + k) : nullptr;
                    if (y - (K - 1) >= 0 && y + (K - 1) < n) InnerPositionsOf<VW>(g, taps + (K - 1), fs, 0, sw, t);
                    else EdgeRow<VW>(g, y, n, taps + (K - 1), sw, t);
                }
            }
        }
    }
}

template <class T>
__attribute__((target("avx2"), flatten)) void RowAvx2(const QWF_Gaussian& g, const T* in, T* out, size_t n,
                                             double* d)
{
    RowBody<4>(g, in, out, n, d);
}

template <class T>
__attribute__((target("avx512f,avx512vl,avx512bw"), flatten)) void RowAvx512(const QWF_Gaussian& g,
                                                                    const T* in, T* out, size_t n,
                                                                    double* d)
{
    RowBody<8>(g, in, out, n, d);
}

template <class T>
__attribute__((target("avx2"), flatten)) void ColumnsAvx2(const QWF_Gaussian& g, const T* from,
                                                 ptrdiff_t fs, T* to, ptrdiff_t ts, size_t w,
                                                 size_t h, double* ring, size_t rings)
{
    ColumnsBody<4>(g, from, fs, to, ts, w, h, ring, rings);
}

template <class T>
__attribute__((target("avx512f,avx512vl,avx512bw"), flatten)) void ColumnsAvx512(
    const QWF_Gaussian& g, const T* from, ptrdiff_t fs, T* to, ptrdiff_t ts, size_t w, size_t h,
    double* ring, size_t rings)
{
    ColumnsBody<8>(g, from, fs, to, ts, w, h, ring, rings);
}

}  // namespace

size_t DirectRowWorkDoubles(size_t count) { return count; }

size_t DirectColumnsWorkDoubles(const QWF_Gaussian& g)
{
    return static_cast<size_t>(2 * g.kernelCount - 1) * kStrip;
}

size_t DirectColumnStrips(size_t w)
{
    return (w + kStrip - 1) / kStrip;
}

template <class T>
void DirectRow(const QWF_Gaussian& g, const T* in, T* out, size_t count, double* work)
{
    if (count == 0) return;
    if (g.level >= qwp::kCpuAvx512) RowAvx512(g, in, out, count, work);
    else RowAvx2(g, in, out, count, work);
}

template <class T>
void DirectColumns(const QWF_Gaussian& g, const T* from, ptrdiff_t fromStride, T* to,
                   ptrdiff_t toStride, size_t w, size_t h, double* work, size_t rings)
{
    if (w == 0 || h == 0) return;
    if (rings == 0) rings = 1;
    if (g.level >= qwp::kCpuAvx512) ColumnsAvx512(g, from, fromStride, to, toStride, w, h, work, rings);
    else ColumnsAvx2(g, from, fromStride, to, toStride, w, h, work, rings);
}

template void DirectRow<uint8_t>(const QWF_Gaussian&, const uint8_t*, uint8_t*, size_t, double*);
template void DirectRow<float>(const QWF_Gaussian&, const float*, float*, size_t, double*);
template void DirectColumns<uint8_t>(const QWF_Gaussian&, const uint8_t*, ptrdiff_t, uint8_t*,
                                     ptrdiff_t, size_t, size_t, double*, size_t);
template void DirectColumns<float>(const QWF_Gaussian&, const float*, ptrdiff_t, float*,
                                   ptrdiff_t, size_t, size_t, double*, size_t);

}  // namespace qwf_fx
