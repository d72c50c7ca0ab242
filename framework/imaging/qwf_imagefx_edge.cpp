// Stroke and bevel: the two edge effects of a piece.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_imagefx_internal.h"
#include "platform/qw_cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace qwf_fx;

namespace {

// 16 rows of floats to 16 interleaved lanes of doubles (sample i of row l at i * 16 + l), and
// back for the first `lanes` rows; `limit` limits the values to 0-255 first (v < 0 gives 0,
// v > 255 gives 255, anything else stays, as in the plain loop).
void FloatRowsToLanes(float* const rows[kLanes], size_t count, double* out)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= count; i += 4) {
        for (int q = 0; q < kLanes; q += 4) {
            __m128 r0 = _mm_loadu_ps(rows[q] + i), r1 = _mm_loadu_ps(rows[q + 1] + i);
            __m128 r2 = _mm_loadu_ps(rows[q + 2] + i), r3 = _mm_loadu_ps(rows[q + 3] + i);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            const __m128 r[4] = {r0, r1, r2, r3};
            for (int j = 0; j < 4; ++j) {
                double* d = out + (i + j) * kLanes + q;
                _mm_storeu_pd(d, _mm_cvtps_pd(r[j]));
                _mm_storeu_pd(d + 2, _mm_cvtps_pd(_mm_movehl_ps(r[j], r[j])));
            }
        }
    }
#endif
    for (; i < count; ++i)
        for (int l = 0; l < kLanes; ++l) out[i * kLanes + l] = rows[l][i];
}

inline double LimitPlain(double v, bool limit)
{
    if (limit) v = std::clamp(v, 0.0, 255.0);
    return v;
}

void LanesToFloatRows(const double* in, size_t count, float* const rows[kLanes], int lanes,
                      bool limit)
{
    size_t i = 0;
#if defined(__SSE2__)
    if (lanes == kLanes) {
        const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(255.0);
        for (; i + 4 <= count; i += 4) {
            for (int q = 0; q < kLanes; q += 4) {
                __m128 r[4];
                for (int j = 0; j < 4; ++j) {
                    const double* d = in + (i + j) * kLanes + q;
                    __m128d lo = _mm_loadu_pd(d), hi = _mm_loadu_pd(d + 2);
                    if (limit) {
                        // max(0, v) keeps v when it is not below 0 (NaN too); min(255, v) alike.
                        lo = _mm_min_pd(top, _mm_max_pd(zero, lo));
                        hi = _mm_min_pd(top, _mm_max_pd(zero, hi));
                    }
                    r[j] = _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
                }
                _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
                for (int k = 0; k < 4; ++k) _mm_storeu_ps(rows[q + k] + i, r[k]);
            }
        }
    }
#endif
    for (; i < count; ++i)
        for (int l = 0; l < lanes; ++l)
            rows[l][i] = static_cast<float>(LimitPlain(in[i * kLanes + l], limit));
}

// One step of 16 lanes to 16 neighbouring floats, limited as in LanesToFloatRows.
inline void LanesToFloatRow16(const double* d, float* p, bool limit)
{
#if defined(__SSE2__)
    const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(255.0);
    for (int q = 0; q < kLanes; q += 4) {
        __m128d lo = _mm_loadu_pd(d + q), hi = _mm_loadu_pd(d + q + 2);
        if (limit) {
            lo = _mm_min_pd(top, _mm_max_pd(zero, lo));
            hi = _mm_min_pd(top, _mm_max_pd(zero, hi));
        }
        _mm_storeu_ps(p + q, _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
    }
#else
    for (int l = 0; l < kLanes; ++l) p[l] = static_cast<float>(LimitPlain(d[l], limit));
#endif
}

// Filters every row (or every column) of a grid of floats or bytes in place, in groups of
// interleaved lanes, two groups side by side for the recursive filter. Values return as floats
// (the recursive filter's limited to 0-255), or as bytes through ToByte.
template <class T>
bool FilterGrid(const QWF_Gaussian& g, T* base, size_t w, size_t h, ptrdiff_t stride, bool rows,
                CQWF_Mem& work, int16_t& error)
{
    const size_t count = rows ? w : h;  // samples per line
    const size_t lines = rows ? h : w;  // number of lines
    if (count == 0 || lines == 0) return true;
    if constexpr (sizeof(T) == 1) {
        if (DirectWithoutLanes(g)) {
            const size_t need =
                (rows ? DirectRowWorkDoubles(w) : DirectColumnsWorkDoubles(g)) * sizeof(double);
            if (!work.Reserve(need)) {
                error = work.GetError() ? work.GetError() : static_cast<int16_t>(QWF_ERR_MEMORY);
                return false;
            }
            double* d = reinterpret_cast<double*>(work.GetData());
            if (rows) {
                for (size_t y = 0; y < h; ++y) {
                    T* row = base + static_cast<ptrdiff_t>(y) * stride;
                    DirectRow(g, row, row, w, d);
                }
            } else {
                DirectColumns(g, base, stride, base, stride, w, h, d, 1);
            }
            return true;
        }
    }
    if constexpr (sizeof(T) == 1) {
        if (RecursiveOnBytes(g, count)) {
            const size_t doubles = RecursiveBytesWorkDoubles(g, count);
            const size_t need = doubles * sizeof(double) + 2 * count * kLanes;
            if (!work.Reserve(need)) {
                error = work.GetError() ? work.GetError() : static_cast<int16_t>(QWF_ERR_MEMORY);
                return false;
            }
            double* d = reinterpret_cast<double*>(work.GetData());
            uint8_t* bytes = work.GetData() + doubles * sizeof(double);
            if (!rows) {
                RecursiveColumns(g, base, stride, base, stride, w, h, bytes, d);
                return true;
            }
            for (size_t y0 = 0; y0 < h; y0 += 2 * kLanes) {
                int lanes[2];
                lanes[0] = static_cast<int>(h - y0 < kLanes ? h - y0 : kLanes);
                const size_t rest = h - y0 - static_cast<size_t>(lanes[0]);
                lanes[1] = static_cast<int>(rest < kLanes ? rest : kLanes);
                const int groups = lanes[1] ? 2 : 1;
                uint8_t* rp[2 * kLanes];
                for (int b = 0; b < groups; ++b)
                    for (int l = 0; l < kLanes; ++l)
                        rp[b * kLanes + l] =
                            base + static_cast<ptrdiff_t>(y0 + b * kLanes + (l < lanes[b] ? l : 0)) * stride;
                RecursiveRows(g, count, rp, rp, lanes, groups, bytes, d);
            }
            return true;
        }
    }
    double* in[2];
    if (!LanesInputPair(g, count, work, in)) {
        error = work.GetError() ? work.GetError() : static_cast<int16_t>(QWF_ERR_MEMORY);
        return false;
    }
    const bool limit = !g.direct;
    auto load = [&](size_t l0, int lanes, double* data) {
        if (rows) {
            T* rp[kLanes];
            for (int l = 0; l < kLanes; ++l)
                rp[l] = base + static_cast<ptrdiff_t>(l0 + (l < lanes ? l : 0)) * stride;
            if constexpr (sizeof(T) == 1) BytesToLanes(rp, count, data);
            else FloatRowsToLanes(rp, count, data);
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            const T* p = base + static_cast<ptrdiff_t>(i) * stride + l0;
            // Rows a few ahead asked for early: each row is a different cache line.
            if (i + 8 < count) __builtin_prefetch(p + 8 * stride);
            double* d = data + i * kLanes;
            if (lanes == kLanes) {
                if constexpr (sizeof(T) == 1) {
                    BytesToLane16(p, d);
                } else {
                    for (int l = 0; l < kLanes; ++l) d[l] = static_cast<double>(p[l]);
                }
                continue;
            }
            for (int l = 0; l < kLanes; ++l) d[l] = static_cast<double>(p[l < lanes ? l : 0]);
        }
    };
    auto store = [&](size_t l0, int lanes, const double* out) {
        if (rows) {
            T* rp[kLanes];
            for (int l = 0; l < kLanes; ++l)
                rp[l] = base + static_cast<ptrdiff_t>(l0 + (l < lanes ? l : 0)) * stride;
            if constexpr (sizeof(T) == 1) LanesToBytes(out, count, rp, lanes);
            else LanesToFloatRows(out, count, rp, lanes, limit);
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            T* p = base + static_cast<ptrdiff_t>(i) * stride + l0;
            const double* d = out + i * kLanes;
            if constexpr (sizeof(T) == 1) {
                Lane16ToBytes(d, p, lanes);
            } else if (lanes == kLanes) {
                LanesToFloatRow16(d, p, limit);
            } else {
                for (int l = 0; l < lanes; ++l) p[l] = static_cast<T>(LimitPlain(d[l], limit));
            }
        }
    };
    const size_t step = g.direct ? kLanes : 2 * kLanes;
    for (size_t l0 = 0; l0 < lines; l0 += step) {
        int lanes[2];
        lanes[0] = static_cast<int>(lines - l0 < kLanes ? lines - l0 : kLanes);
        const size_t rest = lines - l0 - static_cast<size_t>(lanes[0]);
        lanes[1] = static_cast<int>(g.direct ? 0 : (rest < kLanes ? rest : kLanes));
        const int groups = lanes[1] ? 2 : 1;
        for (int b = 0; b < groups; ++b) load(l0 + static_cast<size_t>(b) * kLanes, lanes[b], in[b]);
        const double* out[2];
        LanesRunPair(g, count, work, out, groups);
        for (int b = 0; b < groups; ++b) store(l0 + static_cast<size_t>(b) * kLanes, lanes[b], out[b]);
    }
    return true;
}

struct BevelLight {
    double lx, ly, z, k, hf, df, d;
    uint8_t flatH, flatS;  // the result of a flat map (both gradients 0)
};

// The lighting of one pixel from its two gradients (already scaled by the depth).
inline __attribute__((always_inline)) void BevelPixel(double gx, double gy, const BevelLight& L,
                                                      uint8_t& hOut, uint8_t& sOut)
{
    const double n = std::sqrt(gx * gx + gy * gy + 1);
    double P = (L.lx * gx + L.ly * gy + L.z) / n;
    if (P < 0) P = 0;
    double hv = 0, sv = 0;
    if (P > L.z) hv = L.hf * (P - L.z);
    else sv = L.d - std::trunc(P * L.df);
    hv = std::clamp(hv, 0.0, 255.0);
    sv = std::clamp(sv, 0.0, 255.0);
    hOut = static_cast<uint8_t>(hv);
    sOut = static_cast<uint8_t>(sv);
}

template <int VW>
struct BevelVec;
template <>
struct BevelVec<4> {
    typedef double VD __attribute__((vector_size(32)));
    typedef float VF __attribute__((vector_size(16), aligned(4)));
    typedef int32_t VI __attribute__((vector_size(16)));
    typedef int64_t VL __attribute__((vector_size(32)));
};

// The lighting of VW neighbouring pixels from two rows of the height map: highlight and shadow
// masks, each lane through the same operations as one pixel alone. Where the map is flat around
// all VW pixels (both gradients exactly 0) they all take the flat result, which is the same
// arithmetic on zero gradients.
// a: row 0 at the pixels, b: row 0 one on, c: row 1 one on.
template <int VW>
inline __attribute__((always_inline)) void BevelStep(const typename BevelVec<VW>::VF& a,
                                                     const typename BevelVec<VW>::VF& b,
                                                     const typename BevelVec<VW>::VF& c,
                                                     const BevelLight& L, uint8_t flatH,
                                                     uint8_t flatS, uint8_t* hm, uint8_t* sm)
{
    typedef typename BevelVec<VW>::VD VD;
    typedef typename BevelVec<VW>::VI VI;
    typedef typename BevelVec<VW>::VL VL;
    typedef uint8_t VB __attribute__((vector_size(VW)));
    const VD zero = VD{} + 0.0, top = VD{} + 255.0;
    // Equal floats are exactly the ones whose difference is 0 (no flush to zero here).
    const auto same = (a == b) & (c == b);
    bool flat = true;
    for (int i = 0; i < VW; ++i) flat = flat && same[i] != 0;
    if (flat) {
        std::memset(hm, flatH, VW);
        std::memset(sm, flatS, VW);
        return;
    }
    const VD gx = __builtin_convertvector(b - a, VD) * L.k;
    const VD gy = __builtin_convertvector(c - b, VD) * L.k;
    VD n = gx * gx + gy * gy + 1.0;
    for (int i = 0; i < VW; ++i) n[i] = __builtin_sqrt(n[i]);
    VD P = (L.lx * gx + L.ly * gy + L.z) / n;
    P = P < 0.0 ? zero : P;
    const VL lit = P > L.z;
    VD hv = lit ? L.hf * (P - L.z) : zero;
    hv = hv < 0.0 ? zero : (hv > 255.0 ? top : hv);
    // The shadow d - trunc(P * d / z): P is at most about 1 and d / z below 2^28, so the
    // truncation is the conversion to 32-bit integers, and d - trunc an integer as well.
    const VI t = __builtin_convertvector(P * L.df, VI);
    VI sv = (VI{} + static_cast<int32_t>(L.d)) - t;
    sv = sv < 0 ? VI{} : (sv > 255 ? VI{} + 255 : sv);
    sv = __builtin_convertvector(lit, VI) ? VI{} : sv;
    const VB hb = __builtin_convertvector(__builtin_convertvector(hv, VI), VB);
    const VB sb = __builtin_convertvector(sv, VB);
    std::memcpy(hm, &hb, VW);
    std::memcpy(sm, &sb, VW);
}

// One row of pixels from two rows of the height map (W + 1 values of each), VW at a time; the
// last few pixels through a step of copies, or left to the caller (maskedTail), whom the
// return value tells where they start.
template <int VW, bool maskedTail = false>
inline __attribute__((always_inline)) size_t BevelRowBody(const float* m0, const float* m1,
                                                          size_t W, const BevelLight& L,
                                                          uint8_t* hm, uint8_t* sm)
{
    typedef typename BevelVec<VW>::VF VF;
    const uint8_t flatH = L.flatH, flatS = L.flatS;
    size_t x = 0;
    // Loads through copies: the map rows are only float-aligned, and clang does not carry the
    // vector type's lowered alignment through the template (it emitted aligned loads).
    VF a, b, c;
    for (; x + VW <= W; x += VW) {
        std::memcpy(&a, m0 + x, sizeof a);
        std::memcpy(&b, m0 + x + 1, sizeof b);
        std::memcpy(&c, m1 + x + 1, sizeof c);
        BevelStep<VW>(a, b, c, L, flatH, flatS, hm + x, sm + x);
    }
    if (x < W && !maskedTail) {
        const size_t n = W - x;
        float a0[VW + 1] = {}, a1[VW + 1] = {};
        std::memcpy(a0, m0 + x, (n + 1) * sizeof(float));
        std::memcpy(a1, m1 + x, (n + 1) * sizeof(float));
        uint8_t h[VW], s[VW];
        std::memcpy(&a, a0, sizeof a);
        std::memcpy(&b, a0 + 1, sizeof b);
        std::memcpy(&c, a1 + 1, sizeof c);
        BevelStep<VW>(a, b, c, L, flatH, flatS, h, s);
        std::memcpy(hm + x, h, n);
        std::memcpy(sm + x, s, n);
    }
    return x;
}

template <>
struct BevelVec<8> {
    typedef double VD __attribute__((vector_size(64)));
    typedef float VF __attribute__((vector_size(32), aligned(4)));
    typedef int32_t VI __attribute__((vector_size(32)));
    typedef int64_t VL __attribute__((vector_size(64)));
};

// The row kernel at each vector level: the same body, compiled for the level's instructions
// (square root and truncation become vector instructions, both exact as their scalar forms).
QW_AVX512 inline void BevelRowAvx512(
    const float* m0, const float* m1, size_t W, const BevelLight& L, uint8_t* hm, uint8_t* sm)
{
    typedef BevelVec<8>::VF VF;
    const size_t x = BevelRowBody<8, true>(m0, m1, W, L, hm, sm);
    if (x < W) {
        // The last pixels through masked loads: no copies to wait for.
        const size_t n = W - x;
        const __mmask8 k = static_cast<__mmask8>((1u << n) - 1);
        const VF a = (VF)_mm256_maskz_loadu_ps(k, m0 + x), b = (VF)_mm256_maskz_loadu_ps(k, m0 + x + 1);
        const VF c = (VF)_mm256_maskz_loadu_ps(k, m1 + x + 1);
        uint8_t h[8], s[8];
        BevelStep<8>(a, b, c, L, L.flatH, L.flatS, h, s);
        std::memcpy(hm + x, h, n);
        std::memcpy(sm + x, s, n);
    }
}

QW_AVX2 inline void BevelRowAvx2(const float* m0, const float* m1, size_t W,
                                 const BevelLight& L, uint8_t* hm, uint8_t* sm)
{
    BevelRowBody<4>(m0, m1, W, L, hm, sm);
}

inline void BevelRowPlain(const float* m0, const float* m1, size_t W, const BevelLight& L, uint8_t* hm,
                   uint8_t* sm)
{
    BevelRowBody<4>(m0, m1, W, L, hm, sm);
}

// One row of the bevel's colour change: t = s + ((a - b) * (H - s)) >> 8 when a > b,
// s + ((b - a) * (D - s)) >> 8 when b > a, s otherwise (shifts of negative values round down).
inline __attribute__((always_inline)) void BevelBlendTail(const uint8_t* s, const uint8_t* a,
                                                          const uint8_t* b, size_t x, size_t n,
                                                          int Hc, int Dc, uint8_t* t)
{
    for (; x < n; ++x) {
        const int sv = s[x], d = a[x] - b[x];
        int tv = sv;
        if (d > 0) tv = sv + ((d * (Hc - sv)) >> 8);
        else if (d < 0) tv = sv + ((-d * (Dc - sv)) >> 8);
        t[x] = static_cast<uint8_t>(tv);
    }
}

// In 16-bit lanes: with m = |a - b| and the colour c it moves to, the product m * |c - s| is at
// most 255 * 255 and exact as an unsigned 16-bit value q; (m * (c - s)) >> 8 is then q >> 8, or
// -((q + 255) >> 8) when c < s (the shift of a negative value rounds down). The last pixels go
// through masked loads (AVX-512) or a step on copies (AVX2).
QW_AVX512 __attribute__((always_inline)) inline __m512i BevelBlend32(__m512i sv, __m512i av,
                                                                     __m512i bv, __m512i hv,
                                                                     __m512i dv)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i d = _mm512_sub_epi16(av, bv);
    const __m512i m = _mm512_abs_epi16(d);
    const __m512i c = _mm512_mask_blend_epi16(_mm512_cmpgt_epi16_mask(d, zero), dv, hv);
    const __m512i diff = _mm512_sub_epi16(c, sv);
    const __m512i q = _mm512_mullo_epi16(m, _mm512_abs_epi16(diff));
    const __m512i up = _mm512_srli_epi16(q, 8);
    const __m512i down = _mm512_srli_epi16(_mm512_add_epi16(q, _mm512_set1_epi16(255)), 8);
    const __m512i r = _mm512_mask_sub_epi16(up, _mm512_cmplt_epi16_mask(diff, zero), zero, down);
    return _mm512_add_epi16(sv, r);
}

// 32 bytes widened, and 32 results narrowed (zero-masked with every lane set: the plain forms
// trip a false warning).
QW_AVX512 __attribute__((always_inline)) inline __m512i BlendWiden32(const uint8_t* p)
{
    return _mm512_maskz_cvtepu8_epi16(~0u, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
QW_AVX512 __attribute__((always_inline)) inline void BlendNarrow32(__m512i v, uint8_t* p)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtepi16_epi8(~0u, v));
}

QW_AVX512 inline void BevelBlendAvx512(const uint8_t* s, const uint8_t* a,
                                       const uint8_t* b, size_t n, int Hc,
                                       int Dc, uint8_t* t)
{
    const __m512i hv = _mm512_set1_epi16(static_cast<int16_t>(Hc));
    const __m512i dv = _mm512_set1_epi16(static_cast<int16_t>(Dc));
    size_t x = 0;
    for (; x + 32 <= n; x += 32)
        BlendNarrow32(BevelBlend32(BlendWiden32(s + x), BlendWiden32(a + x), BlendWiden32(b + x), hv, dv), t + x);
    if (x < n) {
        // The last pixels through masked loads and a masked store.
        const __mmask32 k = (__mmask32{1} << (n - x)) - 1;
        auto widen = [k](const uint8_t* p) QW_AVX512 __attribute__((always_inline)) {
            return _mm512_maskz_cvtepu8_epi16(~0u, _mm256_maskz_loadu_epi8(k, p));
        };
        const __m512i r = BevelBlend32(widen(s + x), widen(a + x), widen(b + x), hv, dv);
        _mm256_mask_storeu_epi8(t + x, k, _mm512_maskz_cvtepi16_epi8(~0u, r));
    }
}

QW_AVX2 __attribute__((always_inline)) inline __m256i BevelBlend16(__m256i sv, __m256i av, __m256i bv,
                                                                   __m256i hv, __m256i dv)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i d = _mm256_sub_epi16(av, bv);
    const __m256i m = _mm256_abs_epi16(d);
    const __m256i c = _mm256_blendv_epi8(dv, hv, _mm256_cmpgt_epi16(d, zero));
    const __m256i diff = _mm256_sub_epi16(c, sv);
    const __m256i q = _mm256_mullo_epi16(m, _mm256_abs_epi16(diff));
    const __m256i up = _mm256_srli_epi16(q, 8);
    const __m256i down = _mm256_srli_epi16(_mm256_add_epi16(q, _mm256_set1_epi16(255)), 8);
    const __m256i r = _mm256_blendv_epi8(up, _mm256_sub_epi16(zero, down), _mm256_cmpgt_epi16(zero, diff));
    return _mm256_add_epi16(sv, r);
}

QW_AVX2 __attribute__((always_inline)) inline __m256i BlendWiden16(const uint8_t* p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
// 16 results in 0-255 to 16 bytes.
QW_AVX2 __attribute__((always_inline)) inline void BlendNarrow16(__m256i v, uint8_t* p)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0xD8)));
}

QW_AVX2 inline void BevelBlendAvx2(const uint8_t* s, const uint8_t* a,
                                   const uint8_t* b, size_t n, int Hc, int Dc,
                                   uint8_t* t)
{
    const __m256i hv = _mm256_set1_epi16(static_cast<int16_t>(Hc));
    const __m256i dv = _mm256_set1_epi16(static_cast<int16_t>(Dc));
    size_t x = 0;
    for (; x + 16 <= n; x += 16)
        BlendNarrow16(BevelBlend16(BlendWiden16(s + x), BlendWiden16(a + x), BlendWiden16(b + x), hv, dv), t + x);
    if (x < n) {
        uint8_t cs[16] = {}, ca[16] = {}, cb[16] = {}, ct[16];
        std::memcpy(cs, s + x, n - x);
        std::memcpy(ca, a + x, n - x);
        std::memcpy(cb, b + x, n - x);
        BlendNarrow16(BevelBlend16(BlendWiden16(cs), BlendWiden16(ca), BlendWiden16(cb), hv, dv), ct);
        std::memcpy(t + x, ct, n - x);
    }
}

inline void BevelBlendPlain(const uint8_t* s, const uint8_t* a, const uint8_t* b, size_t n, int Hc,
                     int Dc, uint8_t* t)
{
    BevelBlendTail(s, a, b, 0, n, Hc, Dc, t);
}

// The lit intervals [spans[2k], spans[2k + 1]) of one row: their masks from the blurred rows
// m0 and m1 (map column i at [i]) to h and d (the row's W bytes), then their colours in `nc`
// planes, source row src[i] to target row dst[i].
struct BevelSpanRow {
    const float* m0;
    const float* m1;
    const int64_t* spans;
    int64_t count;
    uint8_t* h;
    uint8_t* d;
    int nc;
    const uint8_t* const* src;
    uint8_t* const* dst;
    const uint8_t* highlight;
    const uint8_t* shadow;
};

// One row's lit intervals at a vector level, in one call (the intervals are short: the kernels
// inline into it).
#define QW_BEVEL_SPANS(ROW, BLEND)                                                                 \
    for (int64_t k = 0; k < j.count; ++k) {                                                        \
        const int64_t a = j.spans[2 * k], e = j.spans[2 * k + 1];                                  \
        ROW(j.m0 + a, j.m1 + a, static_cast<size_t>(e - a), L, j.h + a, j.d + a);                  \
    }                                                                                              \
    for (int i = 0; i < j.nc; ++i)                                                                 \
        for (int64_t k = 0; k < j.count; ++k) {                                                    \
            const int64_t a = j.spans[2 * k], e = j.spans[2 * k + 1];                              \
            BLEND(j.src[i] + a, j.h + a, j.d + a, static_cast<size_t>(e - a), j.highlight[i],      \
                  j.shadow[i], j.dst[i] + a);                                                      \
        }

QW_AVX512 void BevelSpansAvx512(const BevelSpanRow& j,
                                const BevelLight& L)
{
    QW_BEVEL_SPANS(BevelRowAvx512, BevelBlendAvx512)
}
QW_AVX2 void BevelSpansAvx2(const BevelSpanRow& j, const BevelLight& L)
{
    QW_BEVEL_SPANS(BevelRowAvx2, BevelBlendAvx2)
}
void BevelSpansPlain(const BevelSpanRow& j, const BevelLight& L) { QW_BEVEL_SPANS(BevelRowPlain, BevelBlendPlain) }
#undef QW_BEVEL_SPANS

// The lighting and colour-change kernels of a vector level.
struct BevelKernels {
    void (*row)(const float* m0, const float* m1, size_t W, const BevelLight& L, uint8_t* hm,
                uint8_t* sm);
    void (*blend)(const uint8_t* s, const uint8_t* a, const uint8_t* b, size_t n, int Hc, int Dc,
                  uint8_t* t);
    void (*spans)(const BevelSpanRow& j, const BevelLight& L);
};

const qwp::KernelTable<BevelKernels> kBevelKernels = {
    {BevelRowPlain, BevelBlendPlain, BevelSpansPlain},
    {BevelRowAvx2, BevelBlendAvx2, BevelSpansAvx2},
    {BevelRowAvx512, BevelBlendAvx512, BevelSpansAvx512}};

// The stroke's colour over one row at full opacity: t = s + (c - s) * m / 255, the quotient
// truncated toward zero, i.e. s + q or s - q with q = floor(|c - s| * m / 255). For a product
// x of at most 255 * 255, floor(x / 255) = (x + 1 + (x >> 8)) >> 8.
inline __attribute__((always_inline)) void StrokeBlendTail(const uint8_t* s, const uint8_t* m,
                                                           size_t x, size_t n, int c, uint8_t* t)
{
    for (; x < n; ++x) t[x] = static_cast<uint8_t>(s[x] + (c - s[x]) * m[x] / 255);
}

typedef uint8_t StrokeB32 __attribute__((vector_size(32)));
typedef uint16_t StrokeW32 __attribute__((vector_size(64)));
typedef uint8_t StrokeB16 __attribute__((vector_size(16)));
typedef uint16_t StrokeW16 __attribute__((vector_size(32)));

template <class B, class W>
inline __attribute__((always_inline)) void StrokeBlendBody(const uint8_t* s, const uint8_t* m,
                                                           size_t n, int c, uint8_t* t)
{
    constexpr size_t N = sizeof(B);
    const W cv = W{} + static_cast<uint16_t>(c);
    size_t x = 0;
    for (; x + N <= n; x += N) {
        B sb, mb;
        std::memcpy(&sb, s + x, N);
        std::memcpy(&mb, m + x, N);
        const W sv = __builtin_convertvector(sb, W), mv = __builtin_convertvector(mb, W);
        const auto up = sv < cv;
        const W diff = up ? cv - sv : sv - cv;
        const W prod = diff * mv;
        const W q = (prod + 1 + (prod >> 8)) >> 8;
        const B out = __builtin_convertvector(up ? sv + q : sv - q, B);
        std::memcpy(t + x, &out, N);
    }
    StrokeBlendTail(s, m, x, n, c, t);
}

// The width-1 mask over one inner row: 255 - (least alpha of the eight neighbours) at an
// opaque pixel off the image's left and right border, 255 anywhere else. The centre is 255
// there, so the least of the whole 3 x 3 block is the least of its neighbours.
inline __attribute__((always_inline)) void ThinMaskTail(const uint8_t* up, const uint8_t* cur,
                                                        const uint8_t* down, int64_t x,
                                                        int64_t W, uint8_t* out)
{
    for (; x < W; ++x) {
        uint8_t v = 255;
        if (cur[x] == 255 && x > 0 && x < W - 1) {
            int mn = 255;
            for (int dx = -1; dx <= 1; ++dx) {
                mn = up[x + dx] < mn ? up[x + dx] : mn;
                mn = cur[x + dx] < mn ? cur[x + dx] : mn;
                mn = down[x + dx] < mn ? down[x + dx] : mn;
            }
            v = static_cast<uint8_t>(255 - mn);
        }
        out[x] = v;
    }
}

template <class B>
inline __attribute__((always_inline)) void ThinMaskBody(const uint8_t* up, const uint8_t* cur,
                                                        const uint8_t* down, int64_t W,
                                                        uint8_t* out)
{
    constexpr int64_t N = sizeof(B);
    ThinMaskTail(up, cur, down, 0, W < 1 ? W : 1, out);
    int64_t x = 1;
    for (; x + N + 1 <= W; x += N) {
        B v[9];
        const uint8_t* rows[3] = {up, cur, down};
        for (int r = 0; r < 3; ++r)
            for (int dx = -1; dx <= 1; ++dx) std::memcpy(&v[r * 3 + dx + 1], rows[r] + x + dx, N);
        B mn = v[0];
        for (int k = 1; k < 9; ++k) mn = v[k] < mn ? v[k] : mn;
        const B full = B{} + 255;
        const B o = v[4] == full ? full - mn : full;
        std::memcpy(out + x, &o, N);
    }
    ThinMaskTail(up, cur, down, x, W, out);
}

QW_AVX512 void StrokeBlendAvx512(const uint8_t* s,
                                 const uint8_t* m, size_t n,
                                 int c, uint8_t* t)
{
    StrokeBlendBody<StrokeB32, StrokeW32>(s, m, n, c, t);
}
QW_AVX2 void StrokeBlendAvx2(const uint8_t* s, const uint8_t* m, size_t n,
                             int c, uint8_t* t)
{
    StrokeBlendBody<StrokeB16, StrokeW16>(s, m, n, c, t);
}
QW_AVX512 void ThinMaskAvx512(const uint8_t* up,
                              const uint8_t* cur,
                              const uint8_t* down, int64_t W,
                              uint8_t* out)
{
    typedef uint8_t B64 __attribute__((vector_size(64)));
    ThinMaskBody<B64>(up, cur, down, W, out);
}
QW_AVX2 void ThinMaskAvx2(const uint8_t* up, const uint8_t* cur,
                          const uint8_t* down, int64_t W, uint8_t* out)
{
    ThinMaskBody<StrokeB32>(up, cur, down, W, out);
}

// The plain level in vectors of 16 bytes (the base instruction set's): the products in 16-bit
// lanes as in StrokeBlendBody.
void StrokeBlendPlain(const uint8_t* s, const uint8_t* m, size_t n, int c, uint8_t* t)
{
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
    const __m128i cv = _mm_set1_epi16(static_cast<int16_t>(c));
    auto half = [&](__m128i sv, __m128i mv) {
        const __m128i up = _mm_cmpgt_epi16(cv, sv);
        const __m128i diff = _mm_or_si128(_mm_subs_epu16(cv, sv), _mm_subs_epu16(sv, cv));
        const __m128i prod = _mm_mullo_epi16(diff, mv);
        const __m128i q = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(prod, one), _mm_srli_epi16(prod, 8)), 8);
        return _mm_or_si128(_mm_and_si128(up, _mm_add_epi16(sv, q)), _mm_andnot_si128(up, _mm_sub_epi16(sv, q)));
    };
    size_t x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i sb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
        const __m128i mb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
        const __m128i lo = half(_mm_unpacklo_epi8(sb, zero), _mm_unpacklo_epi8(mb, zero));
        const __m128i hi = half(_mm_unpackhi_epi8(sb, zero), _mm_unpackhi_epi8(mb, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + x), _mm_packus_epi16(lo, hi));
    }
    StrokeBlendTail(s, m, x, n, c, t);
}
void ThinMaskPlain(const uint8_t* up, const uint8_t* cur, const uint8_t* down, int64_t W,
                   uint8_t* out)
{
    ThinMaskBody<StrokeB16>(up, cur, down, W, out);
}

// Lays `side` rows of a disc's rim (16 bytes a row, 0 off the rim) on the mask by maximum: the
// rows start at p, ts apart, and each has `room` bytes from p inside the mask's row. Bytes off
// the rim keep their value (the maximum with 0).
void StampRimPlain(uint8_t* p, ptrdiff_t ts, const uint8_t* rim, int64_t side, int64_t room)
{
    (void)room;
    for (int64_t i = 0; i < side; ++i)
        for (int64_t j = 0; j < side; ++j) {
            uint8_t& m = p[i * ts + j];
            m = rim[i * 16 + j] > m ? rim[i * 16 + j] : m;
        }
}

QW_AVX2 void StampRimAvx2(uint8_t* p, ptrdiff_t ts, const uint8_t* rim,
                          int64_t side, int64_t room)
{
    if (room < 16) {
        StampRimPlain(p, ts, rim, side, room);
        return;
    }
    for (int64_t i = 0; i < side; ++i) {
        __m128i* q = reinterpret_cast<__m128i*>(p + i * ts);
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rim + i * 16));
        _mm_storeu_si128(q, _mm_max_epu8(_mm_loadu_si128(q), r));
    }
}

QW_AVX512 void StampRimAvx512(uint8_t* p, ptrdiff_t ts,
                              const uint8_t* rim,
                              int64_t side, int64_t room)
{
    (void)room;
    const __mmask16 k = static_cast<__mmask16>((1u << side) - 1);
    for (int64_t i = 0; i < side; ++i) {
        uint8_t* q = p + i * ts;
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rim + i * 16));
        _mm_mask_storeu_epi8(q, k, _mm_max_epu8(_mm_maskz_loadu_epi8(k, q), r));
    }
}

// No byte of the eight at p is 255.
inline bool NoOpaqueByte(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    v = ~v;  // a byte of 255 becomes 0
    return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) == 0;
}

// The stroke's row kernels of a vector level.
struct StrokeKernels {
    void (*blend)(const uint8_t* s, const uint8_t* m, size_t n, int c, uint8_t* t);
    void (*thin)(const uint8_t* up, const uint8_t* cur, const uint8_t* down, int64_t W,
                 uint8_t* out);
    void (*stamp)(uint8_t* p, ptrdiff_t ts, const uint8_t* rim, int64_t side, int64_t room);
};

const qwp::KernelTable<StrokeKernels> kStrokeKernels = {
    {StrokeBlendPlain, ThinMaskPlain, StampRimPlain},
    {StrokeBlendAvx2, ThinMaskAvx2, StampRimAvx2},
    {StrokeBlendAvx512, ThinMaskAvx512, StampRimAvx512}};

// The bevel's height map is the alpha (255 without alpha) with a border of 0, blurred by rows
// then columns. The direct filter's positions whose taps reach past an end take the edge value 0
// for them, which is the very arithmetic of the same position on a map extended by zeros: every
// blurred value is one function of the (2R + 1) x (2R + 1) map values around it, R = taps - 1.
// Pixel (x, y) reads the blurred map at (row y, columns x and x + 1) and (row y + 1, column
// x + 1) (map row j is source row j - 1, map column i source column i - 1). Where the map holds
// one value over the (2R + 2) x (2R + 2) block around those, its gradients are exactly 0 and it
// takes the flat result. A block holds one value when it holds no changed cell: a map value
// that differs from its left or upper neighbour's (a cell on the block's first row or column
// compared with one outside only adds work). So the map is blurred row by row only near the
// changed cells: the rows of the row filter in a ring of 2R + 1, the column filter's results
// for the two rows the lighting reads.
//
// Taps of the direct filter at most (it serves sigmas below 1.5).
constexpr int kMaxRingTaps = 20;

// The sets of a step are masks of map columns (bit i: column i): per map row the columns within
// R + 1 of a changed cell, ORed over a window of rows:
// - lit pixels of row y: rows y - R .. y + R + 1;
// - blurred values of map row j: rows j - R - 1 .. j + R + 1, and the column after each (every
//   value the lit pixels of rows j - 1 and j read);
// - row filter values of map row j: rows j - 2R - 1 .. j + 2R + 1, and the column after each
//   (every value the blurred values of rows j - R .. j + R read).
// The kernels take the sets' intervals in vector steps from their first column.

// The bevel's sets and buffers, per call.
struct BevelRing {
    const uint8_t* alpha;  // first alpha row; null: every pixel opaque
    ptrdiff_t alphaStride;
    int64_t W, H, R;
    const uint8_t* opaque;  // W bytes of 255 (used without alpha)
    const uint8_t* zeros;   // W bytes of 0
    // Column masks, `words` words each: per map row j (from -pad on, zero rows outside 1 .. H + 1)
    // at masks + (j + pad) * words, then per row y the OR over rows y - R .. y + R + 1 (lit).
    int64_t words;
    int64_t pad;
    uint64_t* masks;
    uint64_t* lit;
    int64_t* spans;  // intervals [a, b) of a set: 2 * (W + 2) values
    // The row filter's rows (2R + 1 of them, map row j in slot j mod (2R + 1)), the column
    // filter's two rows (map row j in j & 1), the doubles of one row's map values.
    double* rows;
    float* blur[2];
    uint8_t* map;  // one map row of bytes, map column i at map[i], zeros around (R + 48 each side)
    double* dmap;  // the same as doubles where the row filter reads them
    int64_t rowLength;  // doubles (or floats) of a row buffer: W + 2 and room for vector steps

    // Source row r (0 <= r < H), zeros outside.
    const uint8_t* Row(int64_t r) const
    {
        if (r < 0 || r >= H) return zeros;
        return alpha ? alpha + r * alphaStride : opaque;
    }
    double* RowSlot(int64_t j) const
    {
        const int64_t n = 2 * R + 1;
        return rows + ((j % n + n) % n) * rowLength;
    }
};

// Sets bits [a, b) of a mask.
inline void SetBits(uint64_t* m, int64_t a, int64_t b)
{
    if (a >= b) return;
    const int64_t wa = a >> 6, wb = (b - 1) >> 6;
    const uint64_t first = ~uint64_t{0} << (a & 63);
    const uint64_t last = ~uint64_t{0} >> (63 - ((b - 1) & 63));
    if (wa == wb) {
        m[wa] |= first & last;
        return;
    }
    m[wa] |= first;
    for (int64_t w = wa + 1; w < wb; ++w) m[w] = ~uint64_t{0};
    m[wb] |= last;
}

// The map columns within `reach` of map row j's changed cells (cur and up: its source row and
// the one above, W bytes each) as bits of m (`words` words, bit i: map column i; columns
// 0 .. W + 1). Source column u is map column u + 1; map columns 0 and W + 1 hold 0.
void BevelChangedColumns(const uint8_t* cur, const uint8_t* up, int64_t W, int64_t reach,
                         int64_t words, uint64_t* m)
{
    std::memset(m, 0, static_cast<size_t>(words) * sizeof(uint64_t));
    const int64_t end = W + 2;
    // Runs of changed cells [a, b) widened, those closer than twice the reach taken as one.
    int64_t runA = -1, runB = -1;
    auto mark = [&](int64_t a, int64_t b) {
        if (runB >= 0 && a <= runB + 2 * reach) {
            runB = b;
            return;
        }
        if (runB >= 0) SetBits(m, runA - reach < 0 ? 0 : runA - reach, runB + reach > end ? end : runB + reach);
        runA = a;
        runB = b;
    };
    auto changed = [&](int64_t u) {
        const int left = u > 0 ? cur[u - 1] : 0;
        return cur[u] != left || cur[u] != up[u];
    };
    int64_t u = 0;
    if (W > 0 && changed(0)) mark(1, 2);
    u = 1;
#if defined(__SSE2__)
    for (; u + 16 <= W; u += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + u));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + u - 1));
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + u));
        uint32_t d = ~static_cast<uint32_t>(
                         _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(c, l), _mm_cmpeq_epi8(c, p)))) &
                     0xFFFFu;
        while (d) {
            // A run of changed cells from bit s0 on (d < 2^16: it ends by bit 16).
            const int s0 = __builtin_ctz(d);
            const int len = __builtin_ctz(~(d >> s0));
            mark(u + s0 + 1, u + s0 + len + 1);
            d &= ~((1u << (s0 + len)) - 1u);
        }
    }
#endif
    for (; u < W; ++u)
        if (changed(u)) mark(u + 1, u + 2);
    if (cur[W - 1] != 0) mark(W + 1, W + 2);
    if (runB >= 0) SetBits(m, runA - reach < 0 ? 0 : runA - reach, runB + reach > end ? end : runB + reach);
}

// The column masks of every map row and their ORs over the lit pixels' windows of 2R + 2 rows:
// per group of 2R + 2 rows the ORs from each row to the group's end (in `lit`) and from the
// group's start to each row (in `tail`), so that a window is the OR of one row of each.
void BevelMasks(BevelRing& r, uint64_t* tail)
{
    const int64_t words = r.words, R = r.R, L = 2 * R + 2;
    const int64_t n = r.H + 2 + 2 * r.pad;  // rows from -pad
    std::memset(r.masks, 0, static_cast<size_t>(n * words) * sizeof(uint64_t));
    for (int64_t j = 1; j <= r.H + 1; ++j)
        BevelChangedColumns(r.Row(j - 1), r.Row(j - 2), r.W, R + 1, words, r.masks + (j + r.pad) * words);
    for (int64_t t = 0; t < n; ++t) {
        const uint64_t* m = r.masks + t * words;
        uint64_t* head = tail + t * words;
        if (t % L == 0) std::memcpy(head, m, static_cast<size_t>(words) * sizeof(uint64_t));
        else
            for (int64_t w = 0; w < words; ++w) head[w] = head[w - words] | m[w];
    }
    for (int64_t t = n - 1; t >= 0; --t) {
        const uint64_t* m = r.masks + t * words;
        uint64_t* out = r.lit + t * words;
        if (t % L == L - 1 || t == n - 1) std::memcpy(out, m, static_cast<size_t>(words) * sizeof(uint64_t));
        else
            for (int64_t w = 0; w < words; ++w) out[w] = out[w + words] | m[w];
    }
    // Row y's window: rows y - R .. y + R + 1, from the group ORs (the window spans at most two
    // groups); kept in `lit` at row y - R (every later window starts later).
    for (int64_t t = 0; t + L - 1 < n; ++t) {
        uint64_t* out = r.lit + t * words;
        const uint64_t* head = tail + (t + L - 1) * words;
        for (int64_t w = 0; w < words; ++w) out[w] |= head[w];
    }
}

// The lit window of row y (rows y - R .. y + R + 1).
inline const uint64_t* BevelLitMask(const BevelRing& r, int64_t y)
{
    return r.lit + (y - r.R + r.pad) * r.words;
}

// The set of the lit windows of rows y0 and y1 (with the column after each when `next`) as
// intervals of columns [0, limit) in r.spans; returns their number. One pass over the words:
// a word's bits where the set starts or ends an interval are those that differ from the bit
// before them, taken in order.
int64_t BevelSet(BevelRing& r, int64_t y0, int64_t y1, bool next, int64_t limit)
{
    const int64_t words = r.words;
    const uint64_t* m0 = BevelLitMask(r, y0);
    const uint64_t* m1 = BevelLitMask(r, y1);
    int64_t* spans = r.spans;
    int64_t n = 0;
    bool open = false;
    uint64_t carry = 0, last = 0;  // the top bits of the previous word's masks and set
    for (int64_t w = 0; w < words; ++w) {
        const uint64_t v = m0[w] | m1[w];
        const uint64_t set = next ? v | (v << 1) | carry : v;
        carry = v >> 63;
        uint64_t edges = set ^ ((set << 1) | last);
        last = set >> 63;
        while (edges) {
            const int64_t at = w * 64 + __builtin_ctzll(edges);
            edges &= edges - 1;
            if (open) {
                spans[2 * n + 1] = at < limit ? at : limit;
                ++n;
                open = false;
            } else {
                if (at >= limit) return n;
                spans[2 * n] = at;
                open = true;
            }
        }
    }
    if (open) spans[2 * n++ + 1] = limit;
    return n;
}

// The direct filter's rows and columns for the ring, VW positions at a time with the filter's
// own arithmetic: the centre tap's product, then the taps after it, then the taps before it,
// divided by the weight sum; each result rounded to a float.
template <int VW>
struct RingVec {
    typedef double VD __attribute__((vector_size(VW * 8), aligned(8)));
    typedef float VF __attribute__((vector_size(VW * 4), aligned(4)));
};

// Row filter values of positions [a, a + n) of a map row of bytes (p[i]: map column i, readable
// from i = -R - 32 to W + R + 33; d[i] the same as doubles, from a - R to a + n + R + VW),
// rounded to floats, to out as doubles (VW - 1 past the end may be written). Where all 2R + VW bytes a step reads are 0 or all 255, its values are 0 or
// `full` (what the same arithmetic gives for 255 throughout).
template <int VW, int KT>
inline __attribute__((always_inline)) void RingRowBody(const double* w, int taps, double fs,
                                                       double full, const uint8_t* p, const double* d,
                                                       size_t a, size_t n, double* out)
{
    typedef typename RingVec<VW>::VD VD;
    typedef typename RingVec<VW>::VF VF;
    typedef uint8_t B16 __attribute__((vector_size(16)));
    const int K = KT ? KT : taps;
    const int R = K - 1;
    const VD vfs = VD{} + fs;
    for (size_t q = a; q < a + n; q += VW) {
        const uint8_t* c = p + q;
        // The step's bytes c[-R] .. c[VW - 1 + R], 16 at a time (the last 16 may overlap).
        const int span = 2 * R + VW;
        const uint8_t first = c[-R];
        if (first == 0 || first == 255) {
            const B16 f = B16{} + first;
            bool same = true;
            for (int o = 0; same && o < span; o += 16) {
                const int at = o + 16 <= span ? o : span - 16;
                B16 v;
                std::memcpy(&v, c - R + at, sizeof v);
                const B16 e = v == f;
                uint64_t lo, hi;
                std::memcpy(&lo, &e, 8);
                std::memcpy(&hi, reinterpret_cast<const char*>(&e) + 8, 8);
                same = (lo & hi) == ~uint64_t{0};
            }
            if (same) {
                const VD v = VD{} + (first ? full : 0.0);
                std::memcpy(out + q, &v, sizeof v);
                continue;
            }
        }
        const double* x = d + q;
        VD v;
        std::memcpy(&v, x, sizeof v);
        VD sum = (VD{} + w[0]) * v;
#pragma GCC unroll 10
        for (int k = 1; k < K; ++k) {
            std::memcpy(&v, x + k, sizeof v);
            sum += (VD{} + w[k]) * v;
        }
#pragma GCC unroll 10
        for (int k = 1; k < K; ++k) {
            std::memcpy(&v, x - k, sizeof v);
            sum += (VD{} + w[k]) * v;
        }
        const VD back = __builtin_convertvector(__builtin_convertvector(sum / vfs, VF), VD);
        std::memcpy(out + q, &back, sizeof back);
    }
}

// Columns [a, a + n) of one blurred row from the row filter's rows (row(k): the row k on,
// -R <= k <= R), to out (VW - 1 past the end may be written).
template <int VW, int KT>
inline __attribute__((always_inline)) void RingColumnBody(const double* w, int taps, double fs,
                                                          const double* const* rows, size_t a,
                                                          size_t n, float* out)
{
    typedef typename RingVec<VW>::VD VD;
    typedef typename RingVec<VW>::VF VF;
    const int K = KT ? KT : taps;
    const int R = K - 1;
    const VD vfs = VD{} + fs;
    const double* const* up = rows + R;
    for (size_t q = a; q < a + n; q += VW) {
        VD x;
        std::memcpy(&x, up[0] + q, sizeof x);
        VD sum = (VD{} + w[0]) * x;
#pragma GCC unroll 10
        for (int k = 1; k < K; ++k) {
            std::memcpy(&x, up[k] + q, sizeof x);
            sum += (VD{} + w[k]) * x;
        }
#pragma GCC unroll 10
        for (int k = 1; k < K; ++k) {
            std::memcpy(&x, up[-k] + q, sizeof x);
            sum += (VD{} + w[k]) * x;
        }
        const VF f = __builtin_convertvector(sum / vfs, VF);
        std::memcpy(out + q, &f, sizeof f);
    }
}

// The taps counts of the bevel's direct filters (sizes 1 to 4) with loops of their own.
template <int VW>
inline __attribute__((always_inline)) void RingRowTaps(const double* w, int taps, double fs, double full,
                                                       const uint8_t* p, const double* d, size_t a, size_t n,
                                                       double* out)
{
    switch (taps) {
    case 4: RingRowBody<VW, 4>(w, taps, fs, full, p, d, a, n, out); break;
    case 5: RingRowBody<VW, 5>(w, taps, fs, full, p, d, a, n, out); break;
    case 7: RingRowBody<VW, 7>(w, taps, fs, full, p, d, a, n, out); break;
    case 9: RingRowBody<VW, 9>(w, taps, fs, full, p, d, a, n, out); break;
    default: RingRowBody<VW, 0>(w, taps, fs, full, p, d, a, n, out); break;
    }
}

template <int VW>
inline __attribute__((always_inline)) void RingColumnTaps(const double* w, int taps, double fs,
                                                          const double* const* rows, size_t a,
                                                          size_t n, float* out)
{
    switch (taps) {
    case 4: RingColumnBody<VW, 4>(w, taps, fs, rows, a, n, out); break;
    case 5: RingColumnBody<VW, 5>(w, taps, fs, rows, a, n, out); break;
    case 7: RingColumnBody<VW, 7>(w, taps, fs, rows, a, n, out); break;
    case 9: RingColumnBody<VW, 9>(w, taps, fs, rows, a, n, out); break;
    default: RingColumnBody<VW, 0>(w, taps, fs, rows, a, n, out); break;
    }
}

QW_AVX512 void RingRowAvx512(const double* w, int taps, double fs,
                             double full, const uint8_t* p,
                             const double* d, size_t a, size_t n,
                             double* out)
{
    RingRowTaps<8>(w, taps, fs, full, p, d, a, n, out);
}
QW_AVX512 void RingColumnAvx512(const double* w, int taps, double fs,
                                const double* const* rows, size_t a,
                                size_t n, float* out)
{
    RingColumnTaps<8>(w, taps, fs, rows, a, n, out);
}
QW_AVX2 void RingRowAvx2(const double* w, int taps, double fs, double full,
                         const uint8_t* p, const double* d, size_t a, size_t n,
                         double* out)
{
    RingRowTaps<4>(w, taps, fs, full, p, d, a, n, out);
}
QW_AVX2 void RingColumnAvx2(const double* w, int taps, double fs,
                            const double* const* rows, size_t a, size_t n,
                            float* out)
{
    RingColumnTaps<4>(w, taps, fs, rows, a, n, out);
}
// The plain level in steps of two doubles (the base instruction set's vectors).
void RingRowPlain(const double* w, int taps, double fs, double full, const uint8_t* p,
                  const double* d, size_t a, size_t n, double* out)
{
    RingRowTaps<2>(w, taps, fs, full, p, d, a, n, out);
}
void RingColumnPlain(const double* w, int taps, double fs, const double* const* rows, size_t a,
                     size_t n, float* out)
{
    RingColumnTaps<2>(w, taps, fs, rows, a, n, out);
}

struct RingKernels {
    void (*row)(const double* w, int taps, double fs, double full, const uint8_t* p,
                const double* d, size_t a, size_t n, double* out);
    void (*column)(const double* w, int taps, double fs, const double* const* rows, size_t a,
                   size_t n, float* out);
};

const qwp::KernelTable<RingKernels> kRingKernels = {{RingRowPlain, RingColumnPlain},
                                                    {RingRowAvx2, RingColumnAvx2},
                                                    {RingRowAvx512, RingColumnAvx512}};

// The weight sum of a position whose taps all lie inside, summed as the direct filter does.
double RingWeightSum(const QWF_Gaussian& g)
{
    double s = g.kernel[0];
    for (int k = 1; k < g.kernelCount; ++k) s += g.kernel[k];
    for (int k = 1; k < g.kernelCount; ++k) s += g.kernel[k];
    return s;
}

// Map row j's row filter values over its set, into its slot of the ring (full: the value of
// a window of 255 throughout).
void BevelRingRow(BevelRing& r, const QWF_Gaussian& g, const RingKernels& rk, double fs, double full,
                  int64_t j)
{
    const int64_t W = r.W, R = r.R;
    // Rows j - 2R - 1 .. j + 2R + 1: the lit windows of rows j - R - 1 and j + R.
    const int64_t count = BevelSet(r, j - R - 1, j + R, true, W + 1);
    double* slot = r.RowSlot(j);
    if (count == 0) return;
    if (j < 1 || j > r.H) {
        for (int64_t s = 0; s < count; ++s)
            std::memset(slot + r.spans[2 * s], 0,
                        static_cast<size_t>(r.spans[2 * s + 1] - r.spans[2 * s]) * sizeof(double));
        return;
    }
    // The map row with zeros around it (map column i at r.map[i]; the pads stay 0).
    std::memcpy(r.map + 1, r.Row(j - 1), static_cast<size_t>(W));
    for (int64_t s = 0; s < count; ++s) {
        const int64_t a = r.spans[2 * s], b = r.spans[2 * s + 1];
        // The doubles the interval's steps read: map columns a - R .. b + R + 8, 16 at a time.
        for (int64_t i = a - R; i < b + R + 8; i += 16) {
#if defined(__SSE2__)
            Widen16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.map + i)), r.dmap + i);
#else
            for (int64_t k = 0; k < 16; ++k) r.dmap[i + k] = r.map[i + k];
#endif
        }
        rk.row(g.kernel, g.kernelCount, fs, full, r.map, r.dmap, static_cast<size_t>(a),
               static_cast<size_t>(b - a), slot);
    }
}

// The colour change of one row without masks of the whole picture: the masks of its lit
// intervals and their colours, the stretches between the intervals by the flat masks (a plain
// copy of the whole row first when they are equal: no change). flatRows: W bytes of flatH, then
// W of flatS.
struct BevelColours {
    const uint8_t* const* source;
    uint8_t* const* target;
    ptrdiff_t ss, ts;
    int nc;
    const uint8_t* highlight;
    const uint8_t* shadow;
    const uint8_t* flatRows;
    bool copyFlat;
};

// How many rows ahead the colour rows are fetched.
constexpr int64_t kBevelFetchAhead = 8;

// Row y's lit intervals (in r.spans, `count` of them): masks to h and d (the row's W bytes;
// the bytes between intervals are left) and, with colours, the whole row coloured.
void BevelRingRowOut(const BevelRing& r, const BevelKernels& kernels, const BevelLight& light,
                     const BevelColours* c, int64_t y, int64_t count, uint8_t* h, uint8_t* d)
{
    const int64_t W = r.W;
    const uint8_t* src[5];  // a plane set holds five planes at most
    uint8_t* dst[5];
    const int nc = c ? c->nc : 0;
    for (int i = 0; i < nc; ++i) {
        const uint8_t* s = c->source[i] + y * c->ss;
        uint8_t* t = c->target[i] + y * c->ts;
        src[i] = s;
        dst[i] = t;
        // The source's rows lie a whole picture row apart (beyond what the hardware fetches
        // ahead): a row a few steps on is fetched meanwhile.
        if (y + kBevelFetchAhead < r.H) {
            const uintptr_t ahead = reinterpret_cast<uintptr_t>(s + kBevelFetchAhead * c->ss);
            for (uintptr_t line = ahead & ~uintptr_t{63}; line < ahead + static_cast<uintptr_t>(W); line += 64)
                __builtin_prefetch(reinterpret_cast<const void*>(line));
        }
        if (c->copyFlat) {
            if (t != s) std::memcpy(t, s, static_cast<size_t>(W));
            continue;
        }
        const uint8_t* fh = c->flatRows;
        const uint8_t* fs = c->flatRows + W;
        int64_t x = 0;
        for (int64_t k = 0; k <= count; ++k) {
            const int64_t a = k < count ? r.spans[2 * k] : W;
            if (a > x)
                kernels.blend(s + x, fh + x, fs + x, static_cast<size_t>(a - x), c->highlight[i], c->shadow[i], t + x);
            if (k == count) break;
            x = r.spans[2 * k + 1];
        }
    }
    const BevelSpanRow job{r.blur[y & 1], r.blur[(y + 1) & 1], r.spans, count, h, d, nc, src, dst,
                           c ? c->highlight : nullptr, c ? c->shadow : nullptr};
    kernels.spans(job, light);
}

// The whole ring: per row, its masks to hm and sm (rows W bytes apart, masks: flat masks
// between the lit intervals) or, with colours, one row of masks at hm and sm coloured at once.
void BevelRingRun(BevelRing& r, const QWF_Gaussian& g, const BevelKernels& kernels,
                  const BevelLight& light, uint8_t flatH, uint8_t flatS, const BevelColours* colours,
                  uint8_t* hm, uint8_t* sm)
{
    const int64_t W = r.W, H = r.H, R = r.R;
    const RingKernels& rk = kRingKernels.At(static_cast<qwp::CpuLevel>(g.level));
    const double fs = RingWeightSum(g);
    const double* up[2 * kMaxRingTaps - 1];
    // The row filter's rows -R .. R - 1 first; then per step j, row j + R, blurred row j, and
    // the pixels of row j - 1.
    // A row filter window of 255 throughout, by the kernels' arithmetic.
    double sum = g.kernel[0] * 255.0;
    for (int k = 1; k < g.kernelCount; ++k) sum += g.kernel[k] * 255.0;
    for (int k = 1; k < g.kernelCount; ++k) sum += g.kernel[k] * 255.0;
    const double full = static_cast<float>(sum / fs);
    for (int64_t j = -R; j < R; ++j) BevelRingRow(r, g, rk, fs, full, j);
    for (int64_t j = 0; j <= H; ++j) {
        BevelRingRow(r, g, rk, fs, full, j + R);
        // Rows j - R - 1 .. j + R + 1: the lit windows of rows j - 1 and j.
        const int64_t count = BevelSet(r, j - 1, j, true, W + 1);
        // Rows j - R .. j + R: slots from that of row j - R on, round the ring.
        const int64_t n = 2 * R + 1;
        int64_t slot = ((j - R) % n + n) % n;
        for (int64_t k = 0; k < n; ++k, slot = slot + 1 == n ? 0 : slot + 1)
            up[k] = r.rows + slot * r.rowLength;
        float* out = r.blur[j & 1];
        for (int64_t s = 0; s < count; ++s) {
            const int64_t a = r.spans[2 * s], b = r.spans[2 * s + 1];
            rk.column(g.kernel, g.kernelCount, fs, up, static_cast<size_t>(a), static_cast<size_t>(b - a), out);
        }
        if (j == 0) continue;
        const int64_t y = j - 1;
        const int64_t lit = BevelSet(r, y, y, false, W);
        if (colours) {
            BevelRingRowOut(r, kernels, light, colours, y, lit, hm, sm);
            continue;
        }
        uint8_t* h = hm + y * W;
        uint8_t* d = sm + y * W;
        int64_t x = 0;
        for (int64_t s = 0; s < lit; ++s) {
            const int64_t a = r.spans[2 * s];
            std::memset(h + x, flatH, static_cast<size_t>(a - x));
            std::memset(d + x, flatS, static_cast<size_t>(a - x));
            x = r.spans[2 * s + 1];
        }
        std::memset(h + x, flatH, static_cast<size_t>(W - x));
        std::memset(d + x, flatS, static_cast<size_t>(W - x));
        BevelRingRowOut(r, kernels, light, nullptr, y, lit, h, d);
    }
}

}  // namespace

bool CQWF_ImageFX::MakeDisc(uint8_t shift, uint8_t* out, uint16_t radius)
{
    if (!out || shift > 8) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    const int64_t r = radius;
    const int64_t side = 2 * r + 1;
    std::memset(out, 0, static_cast<size_t>(side * side));
    const int64_t S = int64_t{1} << shift;
    const int64_t rs = r * S;
    const int64_t inc = 256 / (S * S);
    const int64_t R2 = rs * rs;
    // The top-left quadrant with the centre row and column, one subsample row at a time: the
    // subsamples inside the circle form one run -k..min(k, S-1) of x.
    for (int64_t y = -rs; y <= S - 1; ++y) {
        const int64_t m = R2 - y * y;
        if (m <= 0) continue;
        int64_t k = static_cast<int64_t>(std::sqrt(static_cast<double>(m - 1)));
        while (k * k > m - 1) --k;
        while ((k + 1) * (k + 1) <= m - 1) ++k;
        const int64_t x0 = -k < -rs ? -rs : -k;
        const int64_t x1 = k < S - 1 ? k : S - 1;
        if (x0 > x1) continue;
        uint8_t* row = out + ((y + rs) / S) * side;
        for (int64_t c = (x0 + rs) / S; c <= (x1 + rs) / S; ++c) {
            const int64_t cx0 = c * S - rs, cx1 = cx0 + S - 1;
            const int64_t a = x0 > cx0 ? x0 : cx0, b = x1 < cx1 ? x1 : cx1;
            const int64_t v = row[c] + (b - a + 1) * inc;
            row[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
    // The lower half and the right half mirror what lies above and left of the centre.
    for (int64_t i = 1; i <= r; ++i)
        std::memcpy(out + (r + i) * side, out + (r - i) * side, static_cast<size_t>(side));
    for (int64_t i = 0; i < side; ++i) {
        uint8_t* row = out + i * side;
        for (int64_t j = 1; j <= r; ++j) row[r + j] = row[r - j];
    }
    return true;
}

namespace {

// The stroke's mask plane M (the target's alpha plane) over the source alpha A, W x H.
struct StrokeMask {
    const uint8_t* A;
    uint8_t* M;
    ptrdiff_t ss, ts;
    int64_t W, H;
};

// The discs of a stroke of width w >= 2: per disc row the half-width of its part that is 255 in
// both discs (-1: none), and the other cells of either disc (the rim) as dx, dy, outer,
// outer - inner.
struct StrokeDiscs {
    int64_t w, side;
    const int64_t* span;
    const int32_t* rim;
    int64_t rimCount;
};

// The discs in `block` (outer radius w, inner w - 1 centred with a margin of one cell).
bool MakeStrokeDiscs(CQWF_ImageFX& fx, uint8_t width, CQWF_Mem& block, StrokeDiscs& d,
                     int16_t& error)
{
    const int64_t w = width, side = 2 * w + 1;
    const size_t discBytes = static_cast<size_t>(side * side);
    const size_t spanBytes = static_cast<size_t>(side) * sizeof(int64_t);
    const size_t rimBytes = discBytes * 4 * sizeof(int32_t);
    const size_t need = 2 * discBytes + spanBytes + rimBytes;
    if (!block.Reserve(need)) {
        error = block.GetError();
        return false;
    }
    // Aligned parts first: spans, rim cells, then the two discs.
    int64_t* span = reinterpret_cast<int64_t*>(block.GetData());
    int32_t* rim = reinterpret_cast<int32_t*>(block.GetData() + spanBytes);
    uint8_t* outer = block.GetData() + spanBytes + rimBytes;
    uint8_t* inner = outer + discBytes;
    fx.MakeDisc(3, outer, width);
    std::memset(inner, 0, discBytes);
    const int64_t iside = 2 * (w - 1) + 1;
    uint8_t* tmp = reinterpret_cast<uint8_t*>(rim);  // scratch before the rim is built
    fx.MakeDisc(3, tmp, static_cast<uint16_t>(w - 1));
    for (int64_t i = 0; i < iside; ++i)
        std::memcpy(inner + (i + 1) * side + 1, tmp + i * iside, static_cast<size_t>(iside));
    for (int64_t i = 0; i < side; ++i) {
        const uint8_t* o = outer + i * side;
        const uint8_t* n = inner + i * side;
        int64_t h = -1;
        while (h + 1 <= w && o[w + h + 1] == 255 && n[w + h + 1] == 255 && o[w - h - 1] == 255 &&
               n[w - h - 1] == 255)
            ++h;
        span[i] = h;
    }
    int64_t rimCount = 0;
    for (int64_t i = 0; i < side; ++i) {
        for (int64_t j = 0; j < side; ++j) {
            const int64_t dx = j - w;
            if (dx >= -span[i] && dx <= span[i]) continue;
            const int o = outer[i * side + j], n = inner[i * side + j];
            if (o == 0 && n == 0) continue;
            int32_t* e = rim + rimCount * 4;
            e[0] = static_cast<int32_t>(dx);
            e[1] = static_cast<int32_t>(i - w);
            e[2] = o;
            e[3] = o - n;
            ++rimCount;
        }
    }
    d = {w, side, span, rim, rimCount};
    return true;
}

// Width 1: 255 - (least alpha of the eight neighbours) at an opaque pixel off the border, 255
// anywhere else.
void ThinStrokeMask(const StrokeMask& p, const StrokeKernels& kernels)
{
    for (int64_t y = 0; y < p.H; ++y) {
        uint8_t* mrow = p.M + y * p.ts;
        if (y == 0 || y == p.H - 1) std::memset(mrow, 255, static_cast<size_t>(p.W));
        else kernels.thin(p.A + (y - 1) * p.ss, p.A + y * p.ss, p.A + (y + 1) * p.ss, p.W, mrow);
    }
}

// The pixels that set their mask to 255 (all but the opaque ones off the border), and of them
// the stamping ones (a four-neighbour of alpha 255) as horizontal runs: per row y its runs
// rowStart[y] .. rowStart[y + 1] - 1, run i from runs[2i] to runs[2i + 1] in `runsBlock`. False
// when that block cannot grow.
bool FindStampRuns(const StrokeMask& p, CQWF_Mem& runsBlock, int64_t* rowStart, int16_t& error)
{
    const int64_t W = p.W, H = p.H;
    int64_t runCount = 0;
    for (int64_t y = 0; y < H; ++y) {
        rowStart[y] = runCount;
        const uint8_t* cur = p.A + y * p.ss;
        const uint8_t* up = y > 0 ? cur - p.ss : nullptr;
        const uint8_t* down = y < H - 1 ? cur + p.ss : nullptr;
        const bool innerRow = up && down;
        uint8_t* mrow = p.M + y * p.ts;
        auto stamps = [&](int64_t x) -> bool {
            return (x > 0 && cur[x - 1] == 255) || (x < W - 1 && cur[x + 1] == 255) ||
                   (up && up[x] == 255) || (down && down[x] == 255);
        };
        int64_t x = 0;
        while (x < W) {
            const bool skip = innerRow && cur[x] == 255 && x > 0 && x < W - 1;
            if (skip) {
                ++x;
                // Opaque interior: eight at a time.
                while (x + 9 <= W) {
                    uint64_t word;
                    std::memcpy(&word, cur + x, 8);
                    if (word != ~uint64_t{0}) break;
                    x += 8;
                }
                continue;
            }
            // Eight pixels at a time away from every opaque one: 255 and no stamping.
            if (x > 0 && x + 9 <= W && NoOpaqueByte(cur + x - 1) && NoOpaqueByte(cur + x + 1) &&
                (!up || NoOpaqueByte(up + x)) && (!down || NoOpaqueByte(down + x))) {
                std::memset(mrow + x, 255, 8);
                x += 8;
                continue;
            }
            mrow[x] = 255;
            if (!stamps(x)) {
                ++x;
                continue;
            }
            int64_t e = x;
            while (e + 1 < W && !(innerRow && cur[e + 1] == 255 && e + 1 < W - 1) && stamps(e + 1)) {
                ++e;
                mrow[e] = 255;
            }
            const size_t need = static_cast<size_t>(runCount + 1) * 2 * sizeof(int32_t);
            if (runsBlock.GetSize() < need && !runsBlock.Resize(need * 2)) {
                error = runsBlock.GetError();
                return false;
            }
            int32_t* runs = reinterpret_cast<int32_t*>(runsBlock.GetData());
            runs[runCount * 2] = static_cast<int32_t>(x);
            runs[runCount * 2 + 1] = static_cast<int32_t>(e);
            ++runCount;
            x = e + 1;
        }
    }
    rowStart[H] = runCount;
    return true;
}

// The part of every stamping pixel's disc that is 255 whatever its alpha: per row, its
// intervals counted in a difference row (`diff`, W + 1 values of 0, left so) over the span they
// touch.
void LayDiscCores(const StrokeMask& p, const StrokeDiscs& d, const int32_t* runs,
                  const int64_t* rowStart, int32_t* diff)
{
    const int64_t W = p.W, H = p.H, w = d.w;
    for (int64_t y = 0; y < H; ++y) {
        int64_t lo = W, hi = 0;
        const int64_t sy0 = y - w < 0 ? 0 : y - w;
        const int64_t sy1 = y + w >= H ? H - 1 : y + w;
        for (int64_t sy = sy0; sy <= sy1; ++sy) {
            const int64_t h = d.span[y - sy + w];
            if (h < 0) continue;
            for (int64_t ri = rowStart[sy]; ri < rowStart[sy + 1]; ++ri) {
                int64_t a = runs[ri * 2] - h, b = runs[ri * 2 + 1] + h + 1;
                if (a < 0) a = 0;
                if (b > W) b = W;
                ++diff[a];
                --diff[b];
                if (a < lo) lo = a;
                if (b > hi) hi = b;
            }
        }
        if (lo >= hi) continue;
        int32_t run = 0;
        uint8_t* mrow = p.M + y * p.ts;
        int64_t x = lo;
        while (x < hi) {
            // Stretches without a change keep the count.
            int64_t e = x;
            while (e + 4 <= hi) {
                uint64_t w0, w1;
                std::memcpy(&w0, diff + e, 8);
                std::memcpy(&w1, diff + e + 2, 8);
                if (w0 | w1) break;
                e += 4;
            }
            if (e > x) {
                if (run > 0) std::memset(mrow + x, 255, static_cast<size_t>(e - x));
                x = e;
                continue;
            }
            run += diff[x];
            diff[x] = 0;
            if (run > 0) mrow[x] = 255;
            ++x;
        }
        diff[hi] = 0;
    }
}

// The rim of every stamping pixel's disc by its own alpha a: each cell outer - (outer - inner)
// a / 255, laid on the mask by maximum, from a table of every cell's value for every alpha (the
// cells as offsets into the mask away from the image's border; discs up to 16 cells wide also
// as rows of 16 bytes per alpha, laid a row at a time). False when the tables' block cannot grow.
bool StampRims(const StrokeMask& p, const StrokeDiscs& d, const int32_t* runs,
               const int64_t* rowStart, const StrokeKernels& kernels, CQWF_Mem& tables,
               int16_t& error)
{
    const int64_t W = p.W, H = p.H, w = d.w, side = d.side, rimCount = d.rimCount;
    const ptrdiff_t ts = p.ts;
    const size_t rimTable = static_cast<size_t>(rimCount) * 256;
    const bool rows = side <= 16;
    const size_t rowTable = rows ? static_cast<size_t>(256 * side * 16) : 0;
    const size_t rimNeed = rimTable + static_cast<size_t>(rimCount) * sizeof(ptrdiff_t) + rowTable;
    if (!tables.Reserve(rimNeed)) {
        error = tables.GetError();
        return false;
    }
    ptrdiff_t* rimOffset = reinterpret_cast<ptrdiff_t*>(tables.GetData());
    uint8_t* rimValue = tables.GetData() + static_cast<size_t>(rimCount) * sizeof(ptrdiff_t);
    for (int64_t e = 0; e < rimCount; ++e) {
        const int32_t* c = d.rim + e * 4;
        rimOffset[e] = static_cast<ptrdiff_t>(c[1]) * ts + c[0];
        for (int a = 0; a < 256; ++a)
            rimValue[static_cast<size_t>(a) * rimCount + e] = static_cast<uint8_t>(c[2] - c[3] * a / 255);
    }
    uint8_t* rimRows = rimValue + rimTable;
    if (rows) {
        std::memset(rimRows, 0, rowTable);
        for (int a = 0; a < 256; ++a)
            for (int64_t e = 0; e < rimCount; ++e) {
                const int32_t* c = d.rim + e * 4;
                rimRows[(a * side + c[1] + w) * 16 + c[0] + w] = rimValue[static_cast<size_t>(a) * rimCount + e];
            }
    }
    uint8_t* const M = p.M;
    for (int64_t y = 0; y < H; ++y) {
        for (int64_t ri = rowStart[y]; ri < rowStart[y + 1]; ++ri) {
            for (int64_t x = runs[ri * 2]; x <= runs[ri * 2 + 1]; ++x) {
                const int a = p.A[y * p.ss + x];
                const uint8_t* value = rimValue + static_cast<size_t>(a) * rimCount;
                if (x - w >= 0 && y - w >= 0 && x + w < W && y + w < H) {
                    if (rows) {
                        kernels.stamp(M + (y - w) * ts + x - w, ts, rimRows + a * side * 16, side, W - (x - w));
                        continue;
                    }
                    uint8_t* centre = M + y * ts + x;
                    for (int64_t e = 0; e < rimCount; ++e) {
                        uint8_t& m = centre[rimOffset[e]];
                        m = value[e] > m ? value[e] : m;
                    }
                    continue;
                }
                for (int64_t e = 0; e < rimCount; ++e) {
                    const int32_t* c = d.rim + e * 4;
                    const int64_t px = x + c[0], py = y + c[1];
                    if (px < 0 || py < 0 || px >= W || py >= H) continue;
                    uint8_t& m = M[py * ts + px];
                    m = value[e] > m ? value[e] : m;
                }
            }
        }
    }
    return true;
}

}  // namespace

bool CQWF_ImageFX::Stroke(const uint8_t* colour, uint8_t opacity, uint8_t width)
{
    if (!CheckSameShape()) return false;
    const int64_t W = m_source.width, H = m_source.height;
    const int nc = ColourPlanesOf(m_source);
    if (W <= 0 || H <= 0 || !m_source.alpha || (nc > 0 && !colour)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (width == 0) {
        for (int k = 0; k < m_source.count; ++k) CopyPlane(k);
        return true;
    }
    const int ap = m_source.count - 1;
    const StrokeMask mask{m_source.planes[ap], m_target.planes[ap], m_source.stride, m_target.stride, W, H};
    int16_t error = 0;
    // Discs first, so that a failed allocation leaves the target untouched.
    StrokeDiscs discs{};
    if (width >= 2 && !MakeStrokeDiscs(*this, width, m_highlightMask, discs, error)) {
        SetError(error);
        return false;
    }
    const StrokeKernels& kernels = kStrokeKernels.InForce();
    if (width == 1) {
        ThinStrokeMask(mask, kernels);
    } else {
        for (int64_t y = 0; y < H; ++y) std::memset(mask.M + y * mask.ts, 0, static_cast<size_t>(W));
        // Stamping pixels come in horizontal runs; the part of a disc that is 255 whatever the
        // alpha is laid down per row as intervals, the rim cell by cell.
        const size_t rowBytes = (static_cast<size_t>(W) + 1) * sizeof(int32_t);
        if (!m_shadowMask.Reserve(rowBytes)) {
            SetError(m_shadowMask.GetError());
            return false;
        }
        int32_t* diff = reinterpret_cast<int32_t*>(m_shadowMask.GetData());
        std::memset(diff, 0, rowBytes);
        const size_t startBytes = static_cast<size_t>(H + 1) * sizeof(int64_t);
        if (!m_fractionBlock.Reserve(startBytes)) {
            SetError(m_fractionBlock.GetError());
            return false;
        }
        int64_t* rowStart = reinterpret_cast<int64_t*>(m_fractionBlock.GetData());
        if (!m_heightMap.Reserve(1024)) {
            SetError(m_heightMap.GetError());
            return false;
        }
        if (!FindStampRuns(mask, m_heightMap, rowStart, error)) {
            SetError(error);
            return false;
        }
        const int32_t* runs = reinterpret_cast<const int32_t*>(m_heightMap.GetData());
        LayDiscCores(mask, discs, runs, rowStart, diff);
        if (!StampRims(mask, discs, runs, rowStart, kernels, m_motionMasks, error)) {
            SetError(error);
            return false;
        }
    }
    // The colour by the mask, from a table of every (mask, source) pair.
    uint8_t table[256 * 256];
    for (int k = 0; k < nc; ++k) {
        const int c = colour[k];
        for (int m = 0; m < 256 && opacity != 255; ++m)
            for (int sv = 0; sv < 256; ++sv)
                table[m * 256 + sv] = static_cast<uint8_t>(sv + (c - sv) * m * opacity / 65025);
        for (int64_t y = 0; y < H; ++y) {
            const uint8_t* s = m_source.planes[k] + y * m_source.stride;
            uint8_t* t = m_target.planes[k] + y * m_target.stride;
            const uint8_t* m = mask.M + y * mask.ts;
            if (opacity == 255) kernels.blend(s, m, static_cast<size_t>(W), c, t);
            else
                for (int64_t x = 0; x < W; ++x) t[x] = table[(m[x] << 8) | s[x]];
        }
    }
    CopyAlpha();
    return true;
}

bool CQWF_ImageFX::Bevel(uint16_t size, uint16_t depth, double soften, float lightX, float lightY,
                         float lightZ, const uint8_t* highlight, uint8_t highlightOpacity,
                         const uint8_t* shadow, uint8_t shadowOpacity)
{
    if (!CheckSameShape()) return false;
    const int nc = ColourPlanesOf(m_source);
    if ((nc > 0 && (!highlight || !shadow)) || std::isnan(soften) || std::isinf(soften)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    const int64_t W = m_source.width, H = m_source.height;
    if (W == 0 || H == 0) return true;
    // The light vector, normalised; a vector without a length is taken as straight up.
    double lx = -static_cast<double>(lightX), ly = lightY, lz = lightZ;
    const double len = std::sqrt(lx * lx + ly * ly + lz * lz);
    if (len > 0 && std::isfinite(len)) {
        lx /= len;
        ly /= len;
        lz /= len;
    } else {
        lx = 0;
        ly = 0;
        lz = 1;
    }
    QWF_Gaussian g;
    InitGaussian(size / 3.32, g, &m_workBlock, 1, 0);
    const double k = depth / 100.0;
    const double z = lz < 0.000001 ? 0.000001 : lz;
    const double h = highlightOpacity, d = shadowOpacity;
    // A light straight from the front lights no slope more than the flat (P never exceeds z):
    // its highlight factor is never used, and not divided out.
    const double hf = z < 1 ? h / (1 - z) : 0, df = d / z;
    BevelLight light{lx, ly, z, k, hf, df, d, 0, 0};
    BevelPixel(0.0 * k, 0.0 * k, light, light.flatH, light.flatS);
    const BevelKernels& kernels = kBevelKernels.At(static_cast<qwp::CpuLevel>(g.level));
    const ptrdiff_t ss = m_source.stride, ts = m_target.stride;
    // The direct filter's arithmetic blurs the map row by row only where it can slope (its edge
    // value 0 is what that takes); without softening, each row's masks colour the row at once.
    const bool banded = DirectWithoutLanes(g) && g.edgeFlag && g.edgeValue == 0 && g.kernelCount <= kMaxRingTaps;
    const bool soft = soften > 0;
    // Without softening the banded masks are one row (the highlight block holding the rows of
    // flat masks after it).
    const int64_t maskRows = banded && !soft ? 3 : H;
    const size_t maskBytes = static_cast<size_t>(W) * static_cast<size_t>(maskRows);
    if (!m_highlightMask.Reserve(maskBytes)) {
        SetError(m_highlightMask.GetError());
        return false;
    }
    if (!m_shadowMask.Reserve(maskBytes)) {
        SetError(m_shadowMask.GetError());
        return false;
    }
    uint8_t* hm = m_highlightMask.GetData();
    uint8_t* sm = m_shadowMask.GetData();
    // The colour change by the mask difference a - b: toward the highlight colour by a - b when
    // it is above 0, toward the shadow colour by b - a when it is below.
    auto blend = [&](int64_t y0, int64_t y1, const uint8_t* hrows, const uint8_t* srows) {
        for (int i = 0; i < nc; ++i)
            for (int64_t y = y0; y < y1; ++y)
                kernels.blend(m_source.planes[i] + y * ss, hrows + (y - y0) * W,
                              srows + (y - y0) * W, static_cast<size_t>(W), highlight[i],
                              shadow[i], m_target.planes[i] + y * ts);
    };
    if (banded) {
        const int64_t R = g.kernelCount - 1;
        auto up64 = [](size_t n) { return (n + 63) / 64 * 64; };
        const int64_t rowLength = W + 2 + 32;
        const int64_t words = (W + 2) / 64 + 2;
        const int64_t pad = 3 * R + 4;  // zero rows before map row 0 and after row H + 1
        const int64_t maskRowsN = H + 2 + 2 * pad;
        const size_t rowsBytes = up64(static_cast<size_t>((2 * R + 1) * rowLength) * sizeof(double));
        const size_t blurBytes = up64(static_cast<size_t>(rowLength) * sizeof(float));
        const size_t lineBytes = up64(static_cast<size_t>(W + 2 + 2 * (R + 48)));
        const size_t spanBytes = up64(static_cast<size_t>(2 * (W + 2)) * sizeof(int64_t));
        const size_t blockBytes = up64(static_cast<size_t>(maskRowsN * words) * sizeof(uint64_t));
        const size_t byteRow = up64(static_cast<size_t>(W));
        const size_t need = rowsBytes + 2 * blurBytes + 9 * lineBytes + spanBytes + 3 * blockBytes + 2 * byteRow;
        if (!m_heightMap.Reserve(need)) {
            SetError(m_heightMap.GetError());
            return false;
        }
        uint8_t* at = m_heightMap.GetData();
        auto take = [&at](size_t n) {
            uint8_t* p = at;
            at += n;
            return p;
        };
        BevelRing r;
        r.alpha = m_source.alpha ? m_source.planes[m_source.count - 1] : nullptr;
        r.alphaStride = ss;
        r.W = W;
        r.H = H;
        r.R = R;
        r.rowLength = rowLength;
        r.rows = reinterpret_cast<double*>(take(rowsBytes));
        r.blur[0] = reinterpret_cast<float*>(take(blurBytes));
        r.blur[1] = reinterpret_cast<float*>(take(blurBytes));
        r.map = take(lineBytes) + R + 48;
        r.dmap = reinterpret_cast<double*>(take(lineBytes * sizeof(double))) + R + 48;
        r.spans = reinterpret_cast<int64_t*>(take(spanBytes));
        r.words = words;
        r.pad = pad;
        r.masks = reinterpret_cast<uint64_t*>(take(blockBytes));
        r.lit = reinterpret_cast<uint64_t*>(take(blockBytes));
        uint64_t* tail = reinterpret_cast<uint64_t*>(take(blockBytes));
        uint8_t* zeros = take(byteRow);
        uint8_t* opaque = take(byteRow);
        // Rows read past the sets' ends hold earlier values or zeros: finite, never used.
        std::memset(r.rows, 0, rowsBytes + 2 * blurBytes + lineBytes);
        std::memset(zeros, 0, static_cast<size_t>(W));
        std::memset(opaque, 255, static_cast<size_t>(W));
        r.zeros = zeros;
        r.opaque = opaque;
        BevelMasks(r, tail);
        const uint8_t flatH = light.flatH, flatS = light.flatS;
        BevelColours colours{m_source.planes, m_target.planes, ss, ts, nc, highlight, shadow, hm + W,
                             flatH == flatS};
        if (!soft && !colours.copyFlat) {
            std::memset(hm + W, flatH, static_cast<size_t>(W));
            std::memset(hm + 2 * W, flatS, static_cast<size_t>(W));
        }
        BevelRingRun(r, g, kernels, light, flatH, flatS, soft ? nullptr : &colours, hm, sm);
    } else {
        const size_t mw = static_cast<size_t>(W) + 2, mh = static_cast<size_t>(H) + 2;
        const size_t mapBytes = mw * mh * sizeof(float);
        if (!m_heightMap.Reserve(mapBytes)) {
            SetError(m_heightMap.GetError());
            return false;
        }
        float* map = reinterpret_cast<float*>(m_heightMap.GetData());
        // A border of 0 around the alpha values (the inner rows are written whole below).
        std::memset(map, 0, mw * sizeof(float));
        std::memset(map + (mh - 1) * mw, 0, mw * sizeof(float));
        for (int64_t y = 0; y < H; ++y) {
            float* row = map + (y + 1) * static_cast<int64_t>(mw) + 1;
            row[-1] = 0.0f;
            row[W] = 0.0f;
            if (m_source.alpha) {
                const uint8_t* a = m_source.planes[m_source.count - 1] + y * ss;
                for (int64_t x = 0; x < W; ++x) row[x] = a[x];
            } else {
                for (int64_t x = 0; x < W; ++x) row[x] = 255.0f;
            }
        }
        int16_t err = 0;
        if (!FilterGrid<float>(g, map, mw, mh, static_cast<ptrdiff_t>(mw), true, m_workBlock, err) ||
            !FilterGrid<float>(g, map, mw, mh, static_cast<ptrdiff_t>(mw), false, m_workBlock, err)) {
            SetError(err);
            return false;
        }
        for (int64_t y = 0; y < H; ++y) {
            const float* m0 = map + y * static_cast<int64_t>(mw);
            kernels.row(m0, m0 + mw, static_cast<size_t>(W), light, hm + y * W, sm + y * W);
        }
    }
    if (soft) {
        QWF_Gaussian gs;
        InitGaussian(soften, gs, &m_workBlock, 1, 0);
        const size_t uw = static_cast<size_t>(W), uh = static_cast<size_t>(H);
        int16_t err = 0;
        if (!FilterGrid<uint8_t>(gs, hm, uw, uh, W, true, m_workBlock, err) ||
            !FilterGrid<uint8_t>(gs, hm, uw, uh, W, false, m_workBlock, err) ||
            !FilterGrid<uint8_t>(gs, sm, uw, uh, W, true, m_workBlock, err) ||
            !FilterGrid<uint8_t>(gs, sm, uw, uh, W, false, m_workBlock, err)) {
            SetError(err);
            return false;
        }
    }
    if (soft || !banded) blend(0, H, hm, sm);
    CopyAlpha();
    return true;
}
