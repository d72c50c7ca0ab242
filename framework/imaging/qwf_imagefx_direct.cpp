// The direct Gaussian filter on rows and columns of bytes or floats, without lanes: rows are
// filtered along the row, columns a strip of neighbouring columns at a time down the rows, both
// in vector steps over neighbouring positions. Every position goes through exactly the
// arithmetic of the lane kernels (DirectLanesBody), and comes back to a byte through ToByte or to
// a float as the lanes' floats do.
#include <cmath>
#include <cstring>
#include <type_traits>

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

// The sum of position x's taps in their fixed order (t[k][x]: the sample k positions on), the
// one order every path of the direct filter keeps.
template <class S>
inline double PositionSum(const double* w, int K, const S* const* t, size_t x)
{
    double sum = w[0] * static_cast<double>(t[0][x]);
    for (int k = 1; k < K; ++k) sum += w[k] * static_cast<double>(t[k][x]);
    for (int k = 1; k < K; ++k) sum += w[k] * static_cast<double>(t[-k][x]);
    return sum;
}

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
    for (; x < to; ++x) out[x] = Back(PositionSum(w, K, t, x) / fs, out);
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


// --- bytes in integers at AVX-512 ---------------------------------------------------------------
//
// A byte result is ToByte(D), D the double computation above (taps in their fixed order, the sum
// divided by the full weight sum fs). With c[k] = w[k] / fs, the exact quotient is
//   v = a[0] (1 + z) + sum over k >= 1 of c[k] s[k],   s[k] = a[k] + a[-k] - 2 a[0],
// z the distance of the weights' quotients from summing to 1 (below 2^-47), and D lies within
// 2^-36 of v (2K - 1 products and sums and a division of values below 256 in doubles).
//
// Each position is first computed in integers: q[k] = round(c[k] 2^P), P as large as keeps every
// q[k] in 16 bits (P from 16 to 22), and S = sum q[k] s[k] (exact in 32 bits: the q[k] sum to at
// most 2^(P - 1) + 9, so |S| <= 255 2^P + 4590).
// Since |c[k] 2^P - q[k]| <= 1/2 (plus 2^-31 for c[k] in doubles), with A = sum |s[k]|:
//   |2^P v - (2^P a[0] + S)| <= A / 2 + 2^-12,  so  |2^P D - (2^P a[0] + S)| < A / 2 + 2^-11.
// Let S = n 2^P + r (0 <= r < 2^P) and m = a[0] + n. ToByte gives m (limited to 0-255) for every
// D in [m - h(m), m + 1 - h(m + 1)), h(j) half the spacing of the floats just below j (a float
// rounds those D to m .. m + 1 - ulp, ties going to the integer): 2^-25 <= h(j) <= 2^-17 for j
// from 1 to 256, and for m <= 0 the lower end does not matter, nor the upper for m >= 255. So
// m is the byte where both
//   2 r >= A                           (r - A / 2 - 2^-11 >= -2^(P - 25) since P >= 16) and
//   2 r + A <= 2^(P + 1) - 2^(P - 16) - 1   (r + A / 2 + 2^-11 < 2^P (1 - 2^-17)).
// Flat stretches and straight ramps have A = 0 and r = 0 and pass. The positions that fail
// either test (a sum of tap differences that lands close to a byte's edge) are computed as the
// double kernel computes them.

// The integer weights of a kernel, or none (shift 0) where they do not fit the bounds above.
struct ByteWeights {
    int shift = 0;
    int32_t limit = 0;
    int16_t q[kMaxTaps] = {};
};

inline ByteWeights MakeByteWeights(const QWF_Gaussian& g, double fs)
{
    ByteWeights b;
    const int K = g.kernelCount;
    if (K < 2 || K > kMaxTaps || !(fs > 0)) return b;
    double c[kMaxTaps], top = 0;
    for (int k = 1; k < K; ++k) {
        c[k] = g.kernel[k] / fs;
        if (!(c[k] >= 0 && c[k] <= 0.5)) return b;
        if (c[k] > top) top = c[k];
    }
    int P = 22;
    while (P > 16 && top * static_cast<double>(int64_t{1} << P) > 32767.0) --P;
    if (top * static_cast<double>(int64_t{1} << P) > 32767.0) return b;
    for (int k = 1; k < K; ++k)
        b.q[k] = static_cast<int16_t>(std::nearbyint(c[k] * static_cast<double>(int64_t{1} << P)));
    b.shift = P;
    b.limit = (int32_t{1} << (P + 1)) - (int32_t{1} << (P - 16)) - 1;
    return b;
}

// 32 positions from x (the lanes `lanes` of them) to bytes; returns the lanes left open. The tap
// differences of two taps k and k + 1 go interleaved into 32-bit lanes, where one multiply-add
// takes both (qp[k]: their weights): the positions 0-3 of each 8 in the low unpacked half (bits
// 0-15 of the result, four to each 8), 4-7 in the high one (bits 16-31).
template <int kTaps>
__attribute__((target("avx512f,avx512vl,avx512bw"))) inline uint32_t
BytesStepAvx512(int taps, const __m512i* qp, int shift, int32_t limit, const int16_t* const* t,
                size_t x, __mmask32 lanes, uint8_t* out)
{
    const int K = kTaps ? kTaps : taps;
    const __m512i zero = _mm512_setzero_si512();
    const __m512i c = _mm512_maskz_loadu_epi16(lanes, t[0] + x);
    const __m512i c2 = _mm512_add_epi16(c, c);
    __m512i slo = zero, shi = zero, a = zero;
#pragma GCC unroll 10
    for (int k = 1; k < K; k += 2) {
        const __m512i s1 = _mm512_sub_epi16(_mm512_add_epi16(_mm512_maskz_loadu_epi16(lanes, t[k] + x),
                                                             _mm512_maskz_loadu_epi16(lanes, t[-k] + x)),
                                            c2);
        a = _mm512_add_epi16(a, _mm512_abs_epi16(s1));
        __m512i s2 = zero;
        if (k + 1 < K) {
            s2 = _mm512_sub_epi16(_mm512_add_epi16(_mm512_maskz_loadu_epi16(lanes, t[k + 1] + x),
                                                   _mm512_maskz_loadu_epi16(lanes, t[-k - 1] + x)),
                                  c2);
            a = _mm512_add_epi16(a, _mm512_abs_epi16(s2));
        }
        slo = _mm512_add_epi32(slo, _mm512_madd_epi16(_mm512_unpacklo_epi16(s1, s2), qp[k]));
        shi = _mm512_add_epi32(shi, _mm512_madd_epi16(_mm512_unpackhi_epi16(s1, s2), qp[k]));
    }
    const __m512i frac = _mm512_set1_epi32((int32_t{1} << shift) - 1);
    const __m512i lim = _mm512_set1_epi32(limit);
    const __m128i sh = _mm_cvtsi32_si128(shift);
    // The centre and A in the same halves.
    const __m512i clo = _mm512_unpacklo_epi16(c, zero), chi = _mm512_unpackhi_epi16(c, zero);
    const __m512i alo = _mm512_unpacklo_epi16(a, zero), ahi = _mm512_unpackhi_epi16(a, zero);
    const __m512i mlo = _mm512_add_epi32(clo, _mm512_sra_epi32(slo, sh));
    const __m512i mhi = _mm512_add_epi32(chi, _mm512_sra_epi32(shi, sh));
    const __m512i rlo = _mm512_slli_epi32(_mm512_and_si512(slo, frac), 1);
    const __m512i rhi = _mm512_slli_epi32(_mm512_and_si512(shi, frac), 1);
    const __mmask16 openLo = _mm512_cmpgt_epi32_mask(alo, _mm512_min_epi32(rlo, _mm512_sub_epi32(lim, rlo)));
    const __mmask16 openHi = _mm512_cmpgt_epi32_mask(ahi, _mm512_min_epi32(rhi, _mm512_sub_epi32(lim, rhi)));
    // m fits 16 bits (from -256 to 510); the pack puts the halves back in order, then 0-255.
    const __m512i m = _mm512_packs_epi32(mlo, mhi);
    const __m256i bytes = _mm512_cvtusepi16_epi8(_mm512_max_epi16(m, zero));
    _mm256_mask_storeu_epi8(out + x, lanes, bytes);
    return static_cast<uint32_t>(openLo) | (static_cast<uint32_t>(openHi) << 16);
}

// Positions [from, to) whose taps all lie inside (t[k][x]: the sample k positions on from x).
template <int kTaps>
__attribute__((target("avx512f,avx512vl,avx512bw"))) inline void
BytePositionsAvx512(const QWF_Gaussian& g, const ByteWeights& b, const int16_t* const* t,
                    double fs, size_t from, size_t to, uint8_t* out)
{
    const int K = kTaps ? kTaps : g.kernelCount;
    constexpr int kHeld = kTaps ? kTaps : kMaxTaps;
    // Weights and tap rows in local copies: the stores of results could otherwise reach them.
    __m512i qp[kHeld];
    const int16_t* tap[2 * kHeld - 1];
    for (int k = 1; k < K; k += 2) {
        const uint32_t next = k + 1 < K ? static_cast<uint16_t>(b.q[k + 1]) : 0;
        qp[k] = _mm512_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(b.q[k]) | (next << 16)));
    }
    for (int k = -(K - 1); k <= K - 1; ++k) tap[kHeld - 1 + k] = t[k];
    const int16_t* const* r = tap + (kHeld - 1);
    size_t x = from;
    while (x < to) {
        const size_t n = to - x < 32 ? to - x : 32;
        const __mmask32 lanes = n == 32 ? ~__mmask32{0} : static_cast<__mmask32>((uint32_t{1} << n) - 1);
        uint32_t open = BytesStepAvx512<kTaps>(K, qp, b.shift, b.limit, r, x, lanes, out);
        if (__builtin_expect(open != 0, 0)) {
            for (; open; open &= open - 1) {
                const int bit = __builtin_ctz(open);
                const int half = bit >> 4, i = bit & 15;
                const size_t at = x + static_cast<size_t>((i >> 2) * 8 + half * 4 + (i & 3));
                if (at < to) out[at] = ToByte(PositionSum(g.kernel, K, r, at) / fs);
            }
        }
        x += n;
    }
}

template <int K = 2>
__attribute__((target("avx512f,avx512vl,avx512bw"))) inline void
BytePositionsOf(const QWF_Gaussian& g, const ByteWeights& b, const int16_t* const* t, double fs,
                size_t from, size_t to, uint8_t* out)
{
    if constexpr (K > kUnrolledTaps) {
        BytePositionsAvx512<0>(g, b, t, fs, from, to, out);
    } else if (g.kernelCount == K) {
        BytePositionsAvx512<K>(g, b, t, fs, from, to, out);
    } else {
        BytePositionsOf<K + 1>(g, b, t, fs, from, to, out);
    }
}

// n bytes to 16-bit samples.
__attribute__((target("avx512f,avx512vl,avx512bw"))) inline void WidenBytesTo16(const uint8_t* in,
                                                                              int16_t* d, size_t n)
{
    size_t i = 0;
    for (; i + 32 <= n; i += 32)
        _mm512_storeu_si512(d + i, _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i))));
    for (; i < n; ++i) d[i] = in[i];
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

// The row's samples go into the work space d first: as doubles (S = double) or, for bytes in
// integers, as 16-bit samples (S = int16_t, with the integer weights b).
template <int VW, class S, class T>
inline __attribute__((always_inline)) void RowBody(const QWF_Gaussian& g, const T* in, T* out,
                                                   size_t count, S* d,
                                                   const ByteWeights* b = nullptr)
{
    const int K = g.kernelCount;
    const int64_t n = static_cast<int64_t>(count);
    if constexpr (std::is_same_v<S, int16_t>) WidenBytesTo16(in, d, count);
    else ToDoublesAt<VW>(in, d, count);
    auto sample = [&](int64_t j) { return static_cast<double>(d[j]); };
    const int64_t innerFrom = K - 1, innerTo = n - (K - 1);  // [innerFrom, innerTo)
    if (innerFrom >= innerTo) {
        for (int64_t i = 0; i < n; ++i) out[i] = Back(EdgePosition(g, i, n, sample), out);
        return;
    }
    for (int64_t i = 0; i < innerFrom; ++i) out[i] = Back(EdgePosition(g, i, n, sample), out);
    if constexpr (std::is_same_v<S, int16_t>) {
        const int16_t* taps[2 * kMaxTaps - 1];
        for (int k = -(K - 1); k <= K - 1; ++k) taps[kMaxTaps - 1 + k] = d + k;
        BytePositionsOf(g, *b, taps + (kMaxTaps - 1), FullSum(g), static_cast<size_t>(innerFrom),
                        static_cast<size_t>(innerTo), out);
    } else {
        const double* centre = d;
        InnerPositionsOf<VW, 1>(g, &centre, FullSum(g), static_cast<size_t>(innerFrom),
                                static_cast<size_t>(innerTo), out);
    }
    for (int64_t i = innerTo; i < n; ++i) out[i] = Back(EdgePosition(g, i, n, sample), out);
}

// VW neighbouring samples of doubles or 16-bit integers as doubles.
template <int VW>
inline __attribute__((always_inline)) void LoadDoubles(typename DirectVec<VW>::VD& v, const double* p)
{
    std::memcpy(&v, p, sizeof v);
}

template <int VW>
inline __attribute__((always_inline)) void LoadDoubles(typename DirectVec<VW>::VD& v, const int16_t* p)
{
    typedef int16_t VS __attribute__((vector_size(VW * 2)));
    VS i;
    std::memcpy(&i, p, sizeof i);
    v = __builtin_convertvector(i, typename DirectVec<VW>::VD);
}

// Row y of the column filter when its taps reach past the top or the bottom (up[k]: the row k
// on, null outside the grid): the terms of EdgePosition, which are the same for the whole row,
// in vector steps along it.
template <int VW, class R, class T>
inline __attribute__((always_inline)) void EdgeRow(const QWF_Gaussian& g, int64_t y, int64_t n,
                                                   const R* const* up, size_t count, T* out)
{
    typedef typename DirectVec<VW>::VD VD;
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    // The terms after the centre's, in order: a weight and its row (null: the edge value).
    double tw[2 * kMaxTaps];
    const R* tr[2 * kMaxTaps];
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
    const R* centre = up[0];
    size_t x = 0;
    for (; x + VW <= count; x += VW) {
        VD a;
        LoadDoubles<VW>(a, centre + x);
        VD sum = (VD{} + w[0]) * a;
        for (int i = 0; i < terms; ++i) {
            if (tr[i]) LoadDoubles<VW>(a, tr[i] + x);
            sum += tr[i] ? (VD{} + tw[i]) * a : VD{} + tw[i] * ev;
        }
        StoreOut<VW>(sum / ws, out + x);
    }
    for (; x < count; ++x) {
        double sum = w[0] * static_cast<double>(centre[x]);
        for (int i = 0; i < terms; ++i) sum += tr[i] ? tw[i] * static_cast<double>(tr[i][x]) : tw[i] * ev;
        out[x] = Back(sum / ws, out);
    }
}

// The ring holds doubles (S = double) or, for bytes in integers, 16-bit samples (S = int16_t,
// with the integer weights b).
template <int VW, class S, class T>
inline __attribute__((always_inline)) void ColumnsBody(const QWF_Gaussian& g, const T* from,
                                                       ptrdiff_t fromStride, T* to,
                                                       ptrdiff_t toStride, size_t w, size_t h,
                                                       S* ring, size_t rings,
                                                       const ByteWeights* b = nullptr)
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
            const T* src = from + y * fromStride + static_cast<ptrdiff_t>(x0);
            if constexpr (std::is_same_v<S, int16_t>) WidenBytesTo16(src, slotAt(s, y), sw);
            else ToDoublesAt<VW>(src, slotAt(s, y), sw);
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
                    // The ring's slots from row y - (K - 1) on, one remainder for the row.
                    const S* taps[2 * kMaxTaps];
                    S* const ringOf = ring + (s - s0) * static_cast<size_t>(R) * kStrip;
                    int64_t slot = (y + K) % R;  // y - (K - 1) + R, never negative
                    for (int k = -(K - 1); k <= K - 1; ++k) {
                        taps[K - 1 + k] = y + k >= 0 && y + k < n ? ringOf + static_cast<size_t>(slot) * kStrip : nullptr;
                        if (++slot == R) slot = 0;
                    }
                    if (y - (K - 1) >= 0 && y + (K - 1) < n) {
                        if constexpr (std::is_same_v<S, int16_t>) BytePositionsOf(g, *b, taps + (K - 1), fs, 0, sw, t);
                        else InnerPositionsOf<VW>(g, taps + (K - 1), fs, 0, sw, t);
                    } else {
                        EdgeRow<VW>(g, y, n, taps + (K - 1), sw, t);
                    }
                }
            }
        }
    }
}

// The row and the columns of bytes in integers.
__attribute__((target("avx512f,avx512vl,avx512bw"), flatten)) void RowBytesAvx512(
    const QWF_Gaussian& g, const ByteWeights& b, const uint8_t* in, uint8_t* out, size_t count,
    double* work)
{
    RowBody<8>(g, in, out, count, reinterpret_cast<int16_t*>(work), &b);
}

__attribute__((target("avx512f,avx512vl,avx512bw"), flatten)) void ColumnsBytesAvx512(
    const QWF_Gaussian& g, const ByteWeights& b, const uint8_t* from, ptrdiff_t fs, uint8_t* to,
    ptrdiff_t ts, size_t w, size_t h, double* ring, size_t rings)
{
    ColumnsBody<8>(g, from, fs, to, ts, w, h, reinterpret_cast<int16_t*>(ring), rings, &b);
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
    if constexpr (std::is_same_v<T, uint8_t>) {
        if (g.level >= qwp::kCpuAvx512) {
            const ByteWeights b = MakeByteWeights(g, FullSum(g));
            if (b.shift) {
                RowBytesAvx512(g, b, in, out, count, work);
                return;
            }
        }
    }
    if (g.level >= qwp::kCpuAvx512) RowAvx512(g, in, out, count, work);
    else RowAvx2(g, in, out, count, work);
}

template <class T>
void DirectColumns(const QWF_Gaussian& g, const T* from, ptrdiff_t fromStride, T* to,
                   ptrdiff_t toStride, size_t w, size_t h, double* work, size_t rings)
{
    if (w == 0 || h == 0) return;
    if (rings == 0) rings = 1;
    if constexpr (std::is_same_v<T, uint8_t>) {
        if (g.level >= qwp::kCpuAvx512) {
            const ByteWeights b = MakeByteWeights(g, FullSum(g));
            if (b.shift) {
                ColumnsBytesAvx512(g, b, from, fromStride, to, toStride, w, h, work, rings);
                return;
            }
        }
    }
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
