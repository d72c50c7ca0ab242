// Stroke and bevel: the two edge effects of a piece.
#include <cmath>
#include <cstring>

#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_imagefx_internal.h"

#if defined(__SSE2__)
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
    if (limit) v = v < 0 ? 0 : (v > 255 ? 255 : v);
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
    if (DirectWithoutLanes(g)) {
        const size_t need =
            (rows ? DirectRowWorkDoubles(w) : DirectColumnsWorkDoubles(g)) * sizeof(double);
        if (work.GetSize() < need && !work.Alloc(need)) {
            error = work.GetError() ? work.GetError() : static_cast<int16_t>(QWF_ERR_MEMORY);
            return false;
        }
        double* d = reinterpret_cast<double*>(work.GetData());
        if (rows) {
            for (size_t y = 0; y < h; ++y) {
                T* row = base + static_cast<ptrdiff_t>(y) * stride;
                DirectRow<T>(g, row, row, w, d);
            }
        } else {
            DirectColumns<T>(g, base, stride, base, stride, w, h, d);
        }
        return true;
    }
    if constexpr (sizeof(T) == 1) {
        if (RecursiveOnBytes(g, count)) {
            const size_t doubles = RecursiveBytesWorkDoubles(g, count);
            const size_t need = doubles * sizeof(double) + 2 * count * kLanes;
            if (work.GetSize() < need && !work.Alloc(need)) {
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
    hv = hv < 0 ? 0 : (hv > 255 ? 255 : hv);
    sv = sv < 0 ? 0 : (sv > 255 ? 255 : sv);
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
    uint8_t flatH, flatS;
    BevelPixel(0.0 * L.k, 0.0 * L.k, L, flatH, flatS);
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
#if defined(__x86_64__)
__attribute__((target("avx512f,avx512vl,avx512bw"))) void BevelRowAvx512(
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
        uint8_t flatH, flatS, h[8], s[8];
        BevelPixel(0.0 * L.k, 0.0 * L.k, L, flatH, flatS);
        BevelStep<8>(a, b, c, L, flatH, flatS, h, s);
        std::memcpy(hm + x, h, n);
        std::memcpy(sm + x, s, n);
    }
}

__attribute__((target("avx2"))) void BevelRowAvx2(const float* m0, const float* m1, size_t W,
                                                  const BevelLight& L, uint8_t* hm, uint8_t* sm)
{
    BevelRowBody<4>(m0, m1, W, L, hm, sm);
}
#endif

void BevelRowPlain(const float* m0, const float* m1, size_t W, const BevelLight& L, uint8_t* hm,
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

#if defined(__x86_64__)
// In 16-bit lanes: with m = |a - b| and the colour c it moves to, the product m * |c - s| is at
// most 255 * 255 and exact as an unsigned 16-bit value q; (m * (c - s)) >> 8 is then q >> 8, or
// -((q + 255) >> 8) when c < s (the shift of a negative value rounds down). The last pixels go
// through masked loads (AVX-512) or a step on copies (AVX2).
__attribute__((target("avx512f,avx512bw"), always_inline)) inline __m512i BevelBlend32(__m512i sv, __m512i av,
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
__attribute__((target("avx512f,avx512bw"), always_inline)) inline __m512i BlendWiden32(const uint8_t* p)
{
    return _mm512_maskz_cvtepu8_epi16(~0u, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
__attribute__((target("avx512f,avx512bw"), always_inline)) inline void BlendNarrow32(__m512i v, uint8_t* p)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtepi16_epi8(~0u, v));
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) void BevelBlendAvx512(const uint8_t* s, const uint8_t* a,
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
        auto widen = [k](const uint8_t* p) __attribute__((always_inline, target("avx512f,avx512bw,avx512vl"))) {
            return _mm512_maskz_cvtepu8_epi16(~0u, _mm256_maskz_loadu_epi8(k, p));
        };
        const __m512i r = BevelBlend32(widen(s + x), widen(a + x), widen(b + x), hv, dv);
        _mm256_mask_storeu_epi8(t + x, k, _mm512_maskz_cvtepi16_epi8(~0u, r));
    }
}

__attribute__((target("avx2"), always_inline)) inline __m256i BevelBlend16(__m256i sv, __m256i av, __m256i bv,
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

__attribute__((target("avx2"), always_inline)) inline __m256i BlendWiden16(const uint8_t* p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
// 16 results in 0-255 to 16 bytes.
__attribute__((target("avx2"), always_inline)) inline void BlendNarrow16(__m256i v, uint8_t* p)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0xD8)));
}

__attribute__((target("avx2"))) void BevelBlendAvx2(const uint8_t* s, const uint8_t* a,
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
#endif

void BevelBlendPlain(const uint8_t* s, const uint8_t* a, const uint8_t* b, size_t n, int Hc,
                     int Dc, uint8_t* t)
{
    BevelBlendTail(s, a, b, 0, n, Hc, Dc, t);
}

// The lighting and colour-change kernels of a vector level.
struct BevelKernels {
    void (*row)(const float* m0, const float* m1, size_t W, const BevelLight& L, uint8_t* hm,
                uint8_t* sm);
    void (*blend)(const uint8_t* s, const uint8_t* a, const uint8_t* b, size_t n, int Hc, int Dc,
                  uint8_t* t);
};

BevelKernels BevelKernelsFor(qwp::CpuLevel level)
{
#if defined(__x86_64__)
    if (level >= qwp::kCpuAvx512) return {BevelRowAvx512, BevelBlendAvx512};
    if (level >= qwp::kCpuAvx2) return {BevelRowAvx2, BevelBlendAvx2};
#endif
    (void)level;
    return {BevelRowPlain, BevelBlendPlain};
}

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

#if defined(__x86_64__)
__attribute__((target("avx512f,avx512bw"))) void StrokeBlendAvx512(const uint8_t* s,
                                                                   const uint8_t* m, size_t n,
                                                                   int c, uint8_t* t)
{
    StrokeBlendBody<StrokeB32, StrokeW32>(s, m, n, c, t);
}
__attribute__((target("avx2"))) void StrokeBlendAvx2(const uint8_t* s, const uint8_t* m, size_t n,
                                                     int c, uint8_t* t)
{
    StrokeBlendBody<StrokeB16, StrokeW16>(s, m, n, c, t);
}
__attribute__((target("avx512f,avx512bw"))) void ThinMaskAvx512(const uint8_t* up,
                                                                const uint8_t* cur,
                                                                const uint8_t* down, int64_t W,
                                                                uint8_t* out)
{
    typedef uint8_t B64 __attribute__((vector_size(64)));
    ThinMaskBody<B64>(up, cur, down, W, out);
}
__attribute__((target("avx2"))) void ThinMaskAvx2(const uint8_t* up, const uint8_t* cur,
                                                  const uint8_t* down, int64_t W, uint8_t* out)
{
    ThinMaskBody<StrokeB32>(up, cur, down, W, out);
}
#endif

void StrokeBlendPlain(const uint8_t* s, const uint8_t* m, size_t n, int c, uint8_t* t)
{
    StrokeBlendTail(s, m, 0, n, c, t);
}
void ThinMaskPlain(const uint8_t* up, const uint8_t* cur, const uint8_t* down, int64_t W,
                   uint8_t* out)
{
    ThinMaskTail(up, cur, down, 0, W, out);
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

#if defined(__x86_64__)
__attribute__((target("avx2"))) void StampRimAvx2(uint8_t* p, ptrdiff_t ts, const uint8_t* rim,
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

__attribute__((target("avx512f,avx512bw,avx512vl"))) void StampRimAvx512(uint8_t* p, ptrdiff_t ts,
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
#endif

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

StrokeKernels StrokeKernelsFor(qwp::CpuLevel level)
{
#if defined(__x86_64__)
    if (level >= qwp::kCpuAvx512) return {StrokeBlendAvx512, ThinMaskAvx512, StampRimAvx512};
    if (level >= qwp::kCpuAvx2) return {StrokeBlendAvx2, ThinMaskAvx2, StampRimAvx2};
#endif
    (void)level;
    return {StrokeBlendPlain, ThinMaskPlain, StampRimPlain};
}

// The bevel's height map is the alpha (255 without alpha) with a border of 0, blurred by rows
// then columns. The direct filter's positions whose taps reach past an end take the edge value 0
// for them, which is the very arithmetic of the same position on a map extended by zeros: every
// blurred value is one function of the (2R + 1) x (2R + 1) map values around it, R = taps - 1.
// Where those are all one value for the three taps of a pixel, its gradients are exactly 0 and
// it takes the flat result. So the map is blurred a band of rows at a time, only in the column
// intervals whose pixels can slope; the intervals' columns (each with R columns of map on either
// side) are laid side by side in one small grid, as the filter's positions there read only their
// own interval.
constexpr int64_t kBevelBandRows = 16;
// Intervals closer than this are taken as one.
constexpr int64_t kBevelJoinGap = 16;
// The grid's rows are a multiple of this many columns long.
constexpr int64_t kBevelGridStep = 16;

struct BevelBands {
    const uint8_t* alpha;   // first alpha row; null: every pixel opaque
    ptrdiff_t alphaStride;
    int64_t W, H, R;
    float* grid;            // kBevelBandRows + 1 + 2R rows of at most GridWidth floats
    double* work;           // DirectRowWorkDoubles of the whole grid and the column filter's rows
    uint8_t* diff;          // W bytes: per column, the differences down the band's map rows
    uint8_t* value;         // W bytes: per column, the band's first map row
    int64_t* spans;         // intervals [a, b) of pixels that can slope: 2 * (W + 1) values
    const uint8_t* opaque;  // W bytes of 255 (used without alpha)

    // Intervals with more than JoinGap(R) pixels between them stay apart, so that the grid is
    // never wider than GridWidth: each adds 2R + 1 columns, and is at least that far from the next.
    static int64_t JoinGap(int64_t R) { return kBevelJoinGap > 2 * R ? kBevelJoinGap : 2 * R; }
    static int64_t GridWidth(int64_t W, int64_t R) { return W + 2 * R + kBevelGridStep; }
    static size_t GridRows(int64_t R) { return static_cast<size_t>(kBevelBandRows + 1 + 2 * R); }

    // Source row r (0 <= r < H).
    const uint8_t* Row(int64_t r) const { return alpha ? alpha + r * alphaStride : opaque; }
};

// The intervals of the band of rows [y0, y1) whose pixels can slope; returns their number.
int64_t BevelBandSpans(const BevelBands& b, int64_t y0, int64_t y1)
{
    const int64_t W = b.W, R = b.R;
    // Map rows y0 - R .. y1 + R; map row j is source row j - 1, rows outside hold 0.
    const int64_t j0 = y0 - R, j1 = y1 + R;
    const int64_t r0 = j0 - 1 < 0 ? 0 : j0 - 1, r1 = j1 - 1 > b.H - 1 ? b.H - 1 : j1 - 1;
    const bool zeros = j0 < 1 || j1 > b.H;
    uint8_t* __restrict diff = b.diff;
    uint8_t* __restrict value = b.value;
    std::memcpy(value, b.Row(r0), static_cast<size_t>(W));
    if (zeros) std::memcpy(diff, value, static_cast<size_t>(W));
    else std::memset(diff, 0, static_cast<size_t>(W));
    // Eight bytes at a time (the local pointers keep the compiler from reloading them after
    // every byte stored).
    const int64_t words = W / 8 * 8;
    for (int64_t r = r0 + 1; r <= r1; ++r) {
        const uint8_t* __restrict row = b.Row(r);
        int64_t u = 0;
        for (; u < words; u += 8) {
            uint64_t d, v, x;
            std::memcpy(&d, diff + u, 8);
            std::memcpy(&v, value + u, 8);
            std::memcpy(&x, row + u, 8);
            d |= x ^ v;
            std::memcpy(diff + u, &d, 8);
        }
        for (; u < W; ++u) diff[u] |= static_cast<uint8_t>(row[u] ^ value[u]);
    }
    // Map column i = u + 1 breaks when it is not one value down the band or differs from column
    // i - 1 (column 0 holds 0).
    diff[0] |= value[0];
    for (int64_t u = 1; u < W; ++u) diff[u] |= static_cast<uint8_t>(value[u] ^ value[u - 1]);
    // A break at map column i reaches the pixels x with i in [x - R, x + 1 + R].
    int64_t count = 0;
    auto mark = [&](int64_t i) {
        int64_t a = i - 1 - R, e = i + R + 1;
        if (a < 0) a = 0;
        if (e > W) e = W;
        if (a >= e) return;
        if (count > 0 && a <= b.spans[2 * count - 1] + BevelBands::JoinGap(R)) {
            if (e > b.spans[2 * count - 1]) b.spans[2 * count - 1] = e;
            return;
        }
        b.spans[2 * count] = a;
        b.spans[2 * count + 1] = e;
        ++count;
    };
    int64_t u = 0;
    while (u < W) {
        if (u + 8 <= W) {
            uint64_t word;
            std::memcpy(&word, b.diff + u, 8);
            if (word == 0) {
                u += 8;
                continue;
            }
        }
        if (b.diff[u]) mark(u + 1);
        ++u;
    }
    if (b.value[W - 1]) mark(W + 1);  // the border column W + 1 holds 0
    return count;
}

// One band's height map blurred where its pixels can slope: the intervals in b.spans (their
// number returned) and the grid of gw columns, map row y0 - R first.
int64_t BevelBandMap(const BevelBands& b, const QWF_Gaussian& g, int64_t y0, int64_t y1, int64_t& gw)
{
    const int64_t W = b.W, R = b.R;
    const int64_t count = BevelBandSpans(b, y0, y1);
    // The grid: per interval [a, b), map columns a - R .. b + R; rows y0 - R .. y1 + R.
    gw = 0;
    for (int64_t s = 0; s < count; ++s) gw += b.spans[2 * s + 1] - b.spans[2 * s] + 1 + 2 * R;
    // Rows in whole steps of the filters' vectors (the columns after the intervals hold 0).
    const int64_t used = gw;
    gw = (gw + kBevelGridStep - 1) / kBevelGridStep * kBevelGridStep;
    const int64_t gh = y1 - y0 + 1 + 2 * R;
    for (int64_t r = 0; r < gh && gw > 0; ++r) {
        float* row = b.grid + r * gw;
        const int64_t src = y0 - R + r - 1;  // source row of map row y0 - R + r
        if (src < 0 || src >= b.H) {
            std::memset(row, 0, static_cast<size_t>(gw) * sizeof(float));
        } else {
            const uint8_t* a = b.Row(src);
            float* p = row;
            for (int64_t s = 0; s < count; ++s) {
                // Map column i is source column i - 1; outside the picture 0.
                const int64_t from = b.spans[2 * s] - R - 1, to = b.spans[2 * s + 1] + R - 1;
                int64_t u = from;
                for (; u <= to && u < 0; ++u) *p++ = 0.0f;
                const int64_t inside = to < W - 1 ? to : W - 1;
                for (; u <= inside; ++u) *p++ = a[u];
                for (; u <= to; ++u) *p++ = 0.0f;
            }
            std::memset(p, 0, static_cast<size_t>(gw - used) * sizeof(float));
        }
    }
    // The rows end to end are one line to the row filter: the positions kept read only their
    // own interval's columns of their own row.
    if (gw > 0) DirectRow<float>(g, b.grid, b.grid, static_cast<size_t>(gw * gh), b.work);
    if (gw > 0)
        DirectColumns<float>(g, b.grid, gw, b.grid, gw, static_cast<size_t>(gw),
                             static_cast<size_t>(gh), b.work);
    return count;
}

// The masks of row y of a band over its intervals (the blurred grid of gw columns from
// BevelBandMap), at h and d (the row's own W bytes); the bytes between intervals are left.
inline void BevelBandRow(const BevelBands& b, const BevelKernels& kernels, const BevelLight& light,
                         int64_t count, int64_t gw, int64_t y0, int64_t y, uint8_t* h, uint8_t* d)
{
    const int64_t R = b.R;
    const float* m0 = b.grid + (y - y0 + R) * gw + R;
    int64_t offset = 0;
    for (int64_t s = 0; s < count; ++s) {
        const int64_t a = b.spans[2 * s], e = b.spans[2 * s + 1];
        kernels.row(m0 + offset, m0 + offset + gw, static_cast<size_t>(e - a), light, h + a, d + a);
        offset += e - a + 1 + 2 * R;
    }
}

// One band's masks: rows y0 .. y1 - 1 of them at hm and sm (W bytes apart).
void BevelBand(const BevelBands& b, const QWF_Gaussian& g, const BevelKernels& kernels,
               const BevelLight& light, uint8_t flatH, uint8_t flatS, int64_t y0, int64_t y1,
               uint8_t* hm, uint8_t* sm)
{
    const int64_t W = b.W;
    int64_t gw = 0;
    const int64_t count = BevelBandMap(b, g, y0, y1, gw);
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t* h = hm + (y - y0) * W;
        uint8_t* d = sm + (y - y0) * W;
        int64_t x = 0;
        for (int64_t s = 0; s < count; ++s) {
            const int64_t a = b.spans[2 * s];
            std::memset(h + x, flatH, static_cast<size_t>(a - x));
            std::memset(d + x, flatS, static_cast<size_t>(a - x));
            x = b.spans[2 * s + 1];
        }
        std::memset(h + x, flatH, static_cast<size_t>(W - x));
        std::memset(d + x, flatS, static_cast<size_t>(W - x));
        BevelBandRow(b, kernels, light, count, gw, y0, y, h, d);
    }
}

// The colour change of one band without masks of the whole band: per row, the masks of its
// intervals, then every colour plane, the stretches between the intervals by the flat masks
// (a plain copy when they are equal: no change). flatRows: W bytes of flatH, then W of flatS.
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

void BevelBandColours(const BevelBands& b, const QWF_Gaussian& g, const BevelKernels& kernels,
                      const BevelLight& light, const BevelColours& c, int64_t y0, int64_t y1,
                      uint8_t* h, uint8_t* d)
{
    const int64_t W = b.W;
    int64_t gw = 0;
    const int64_t count = BevelBandMap(b, g, y0, y1, gw);
    const uint8_t* fh = c.flatRows;
    const uint8_t* fs = c.flatRows + W;
    for (int64_t y = y0; y < y1; ++y) {
        BevelBandRow(b, kernels, light, count, gw, y0, y, h, d);
        for (int i = 0; i < c.nc; ++i) {
            const uint8_t* s = c.source[i] + y * c.ss;
            uint8_t* t = c.target[i] + y * c.ts;
            const int Hc = c.highlight[i], Dc = c.shadow[i];
            int64_t x = 0;
            for (int64_t k = 0; k <= count; ++k) {
                const int64_t a = k < count ? b.spans[2 * k] : W;
                if (a > x) {
                    const size_t n = static_cast<size_t>(a - x);
                    if (c.copyFlat) std::memcpy(t + x, s + x, n);
                    else kernels.blend(s + x, fh + x, fs + x, n, Hc, Dc, t + x);
                }
                if (k == count) break;
                const int64_t e = b.spans[2 * k + 1];
                kernels.blend(s + a, h + a, d + a, static_cast<size_t>(e - a), Hc, Dc, t + a);
                x = e;
            }
        }
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
    for (int64_t i = 0; i < r; ++i)
        std::memcpy(out + (2 * r - i) * side, out + i * side, static_cast<size_t>(side));
    for (int64_t i = 0; i < side; ++i) {
        uint8_t* row = out + i * side;
        for (int64_t j = 0; j < r; ++j) row[2 * r - j] = row[j];
    }
    return true;
}

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
    const ptrdiff_t ss = m_source.stride, ts = m_target.stride;
    const uint8_t* A = m_source.planes[ap];
    uint8_t* M = m_target.planes[ap];
    const int64_t w = width;
    const int64_t side = 2 * w + 1;

    // Discs first, so that a failed allocation leaves the target untouched.
    int64_t* span = nullptr;       // per disc row: half-width of the part that is 255 in both
    int32_t* rim = nullptr;        // rim cells: dx, dy, outer, outer - inner
    int64_t rimCount = 0;
    if (w >= 2) {
        const size_t discBytes = static_cast<size_t>(side * side);
        const size_t spanBytes = static_cast<size_t>(side) * sizeof(int64_t);
        const size_t rimBytes = discBytes * 4 * sizeof(int32_t);
        const size_t need = 2 * discBytes + spanBytes + rimBytes;
        if (m_highlightMask.GetSize() < need && !m_highlightMask.Alloc(need)) {
            SetError(m_highlightMask.GetError());
            return false;
        }
        // Aligned parts first: spans, rim cells, then the two discs.
        span = reinterpret_cast<int64_t*>(m_highlightMask.GetData());
        rim = reinterpret_cast<int32_t*>(m_highlightMask.GetData() + spanBytes);
        uint8_t* outer = m_highlightMask.GetData() + spanBytes + rimBytes;
        uint8_t* inner = outer + discBytes;
        MakeDisc(3, outer, width);
        // The inner disc (radius w - 1) sits in the middle with a margin of one cell.
        std::memset(inner, 0, discBytes);
        const int64_t iside = 2 * (w - 1) + 1;
        uint8_t* tmp = reinterpret_cast<uint8_t*>(rim);  // scratch before the rim is built
        MakeDisc(3, tmp, static_cast<uint16_t>(w - 1));
        for (int64_t i = 0; i < iside; ++i)
            std::memcpy(inner + (i + 1) * side + 1, tmp + i * iside, static_cast<size_t>(iside));
        for (int64_t i = 0; i < side; ++i) {
            const uint8_t* o = outer + i * side;
            const uint8_t* n = inner + i * side;
            int64_t h = -1;
            while (h + 1 <= w && o[w + h + 1] == 255 && n[w + h + 1] == 255 &&
                   o[w - h - 1] == 255 && n[w - h - 1] == 255)
                ++h;
            span[i] = h;
        }
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
    }

    const StrokeKernels kernels = StrokeKernelsFor(qwp::GetCpuLevel());
    if (w > 1)
        for (int64_t y = 0; y < H; ++y) std::memset(M + y * ts, 0, static_cast<size_t>(W));
    if (w == 1) {
        for (int64_t y = 0; y < H; ++y) {
            uint8_t* mrow = M + y * ts;
            if (y == 0 || y == H - 1) std::memset(mrow, 255, static_cast<size_t>(W));
            else kernels.thin(A + (y - 1) * ss, A + y * ss, A + (y + 1) * ss, W, mrow);
        }
    } else {
        // Stamping pixels come in horizontal runs; the part of a disc that is 255 whatever the
        // alpha is laid down per row as intervals (counted in a difference row), the rim cell by
        // cell.
        const size_t rowBytes = (static_cast<size_t>(W) + 1) * sizeof(int32_t);
        if (m_shadowMask.GetSize() < rowBytes && !m_shadowMask.Alloc(rowBytes)) {
            SetError(m_shadowMask.GetError());
            return false;
        }
        int32_t* diff = reinterpret_cast<int32_t*>(m_shadowMask.GetData());
        std::memset(diff, 0, rowBytes);
        // Runs of stamping pixels: per image row, the index of its first (x0, x1) pair.
        const size_t startBytes = static_cast<size_t>(H + 1) * sizeof(int64_t);
        if (m_fractionBlock.GetSize() < startBytes && !m_fractionBlock.Alloc(startBytes)) {
            SetError(m_fractionBlock.GetError());
            return false;
        }
        int64_t* rowStart = reinterpret_cast<int64_t*>(m_fractionBlock.GetData());
        if (m_heightMap.GetSize() < 1024 && !m_heightMap.Alloc(1024)) {
            SetError(m_heightMap.GetError());
            return false;
        }
        int64_t runCount = 0;
        for (int64_t y = 0; y < H; ++y) {
            rowStart[y] = runCount;
            const uint8_t* cur = A + y * ss;
            const uint8_t* up = y > 0 ? cur - ss : nullptr;
            const uint8_t* down = y < H - 1 ? cur + ss : nullptr;
            const bool innerRow = up && down;
            uint8_t* mrow = M + y * ts;
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
                if (m_heightMap.GetSize() < need && !m_heightMap.Resize(need * 2)) {
                    SetError(m_heightMap.GetError());
                    return false;
                }
                int32_t* runs = reinterpret_cast<int32_t*>(m_heightMap.GetData());
                runs[runCount * 2] = static_cast<int32_t>(x);
                runs[runCount * 2 + 1] = static_cast<int32_t>(e);
                ++runCount;
                x = e + 1;
            }
        }
        rowStart[H] = runCount;
        const int32_t* runs = reinterpret_cast<const int32_t*>(m_heightMap.GetData());
        // The full part of the discs: per row, intervals counted in a difference row over the
        // span they touch.
        for (int64_t y = 0; y < H; ++y) {
            int64_t lo = W, hi = 0;
            const int64_t sy0 = y - w < 0 ? 0 : y - w;
            const int64_t sy1 = y + w >= H ? H - 1 : y + w;
            for (int64_t sy = sy0; sy <= sy1; ++sy) {
                const int64_t h = span[y - sy + w];
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
            uint8_t* mrow = M + y * ts;
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
        // The rim, by each stamping pixel's own alpha: every cell's value for every alpha from
        // a table, the cells as offsets into the mask away from the image's border.
        const size_t rimTable = static_cast<size_t>(rimCount) * 256;
        // Discs up to 16 cells wide also as rows of 16 bytes per alpha, laid a row at a time.
        const bool rows = side <= 16;
        const size_t rowTable = rows ? static_cast<size_t>(256 * side * 16) : 0;
        const size_t rimNeed = rimTable + static_cast<size_t>(rimCount) * sizeof(ptrdiff_t) + rowTable;
        if (m_motionMasks.GetSize() < rimNeed && !m_motionMasks.Alloc(rimNeed)) {
            SetError(m_motionMasks.GetError());
            return false;
        }
        ptrdiff_t* rimOffset = reinterpret_cast<ptrdiff_t*>(m_motionMasks.GetData());
        uint8_t* rimValue = m_motionMasks.GetData() + static_cast<size_t>(rimCount) * sizeof(ptrdiff_t);
        for (int64_t e = 0; e < rimCount; ++e) {
            const int32_t* c = rim + e * 4;
            rimOffset[e] = static_cast<ptrdiff_t>(c[1]) * ts + c[0];
            for (int a = 0; a < 256; ++a)
                rimValue[static_cast<size_t>(a) * rimCount + e] = static_cast<uint8_t>(c[2] - c[3] * a / 255);
        }
        uint8_t* rimRows = rimValue + rimTable;
        if (rows) {
            std::memset(rimRows, 0, rowTable);
            for (int a = 0; a < 256; ++a)
                for (int64_t e = 0; e < rimCount; ++e) {
                    const int32_t* c = rim + e * 4;
                    rimRows[(a * side + c[1] + w) * 16 + c[0] + w] = rimValue[static_cast<size_t>(a) * rimCount + e];
                }
        }
        for (int64_t y = 0; y < H; ++y) {
            for (int64_t ri = rowStart[y]; ri < rowStart[y + 1]; ++ri) {
                for (int64_t x = runs[ri * 2]; x <= runs[ri * 2 + 1]; ++x) {
                    const int a = A[y * ss + x];
                    const uint8_t* value = rimValue + static_cast<size_t>(a) * rimCount;
                    if (x - w >= 0 && y - w >= 0 && x + w < W && y + w < H) {
                        if (rows) {
                            kernels.stamp(M + (y - w) * ts + x - w, ts, rimRows + a * side * 16, side,
                                          W - (x - w));
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
                        const int32_t* c = rim + e * 4;
                        const int64_t px = x + c[0], py = y + c[1];
                        if (px < 0 || py < 0 || px >= W || py >= H) continue;
                        uint8_t& m = M[py * ts + px];
                        m = value[e] > m ? value[e] : m;
                    }
                }
            }
        }
    }

    // The colour by the mask, from a table of every (mask, source) pair.
    uint8_t table[256 * 256];
    for (int k = 0; k < nc; ++k) {
        const int c = colour[k];
        for (int m = 0; m < 256 && opacity != 255; ++m)
            for (int sv = 0; sv < 256; ++sv)
                table[m * 256 + sv] = static_cast<uint8_t>(
                    opacity == 255 ? sv + (c - sv) * m / 255 : sv + (c - sv) * m * opacity / 65025);
        for (int64_t y = 0; y < H; ++y) {
            const uint8_t* s = m_source.planes[k] + y * ss;
            uint8_t* t = m_target.planes[k] + y * ts;
            const uint8_t* m = M + y * ts;
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
    const double hf = h / (1 - z), df = d / z;
    const BevelLight light{lx, ly, z, k, hf, df, d};
    const BevelKernels kernels = BevelKernelsFor(static_cast<qwp::CpuLevel>(g.level));
    const ptrdiff_t ss = m_source.stride, ts = m_target.stride;
    // The direct filter blurs the map band by band where it can slope (its edge value 0 is what
    // that takes); without softening, each band's masks colour the band at once.
    const bool banded = DirectWithoutLanes(g) && g.edgeFlag && g.edgeValue == 0;
    const bool soft = soften > 0;
    // Without softening the banded masks are one row (the highlight block holding the rows of
    // flat masks after it).
    const int64_t maskRows = banded && !soft ? 3 : H;
    const size_t maskBytes = static_cast<size_t>(W) * static_cast<size_t>(maskRows);
    if (m_highlightMask.GetSize() < maskBytes && !m_highlightMask.Alloc(maskBytes)) {
        SetError(m_highlightMask.GetError());
        return false;
    }
    if (m_shadowMask.GetSize() < maskBytes && !m_shadowMask.Alloc(maskBytes)) {
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
        const size_t gridWidth = static_cast<size_t>(BevelBands::GridWidth(W, R));
        // The span table after the grid holds 64-bit values: the grid's bytes are rounded up
        // to a whole cache line so the table starts aligned.
        const size_t gridBytes =
            (gridWidth * BevelBands::GridRows(R) * sizeof(float) + 63) / 64 * 64;
        const size_t spanBytes = static_cast<size_t>(2 * (W + 1)) * sizeof(int64_t);
        const size_t rowBytes = (static_cast<size_t>(W) + 63) / 64 * 64;
        const size_t need = gridBytes + spanBytes + 3 * rowBytes;
        const size_t gridFloats = gridWidth * BevelBands::GridRows(R);
        const size_t rowDoubles = DirectRowWorkDoubles(gridFloats);
        const size_t workDoubles = rowDoubles > DirectColumnsWorkDoubles(g) ? rowDoubles : DirectColumnsWorkDoubles(g);
        if (m_heightMap.GetSize() < need && !m_heightMap.Alloc(need)) {
            SetError(m_heightMap.GetError());
            return false;
        }
        if (!GrowDoubles(m_workBlock, workDoubles)) return false;
        uint8_t* base = m_heightMap.GetData();
        BevelBands b;
        b.alpha = m_source.alpha ? m_source.planes[m_source.count - 1] : nullptr;
        b.alphaStride = ss;
        b.W = W;
        b.H = H;
        b.R = R;
        b.grid = reinterpret_cast<float*>(base);
        b.spans = reinterpret_cast<int64_t*>(base + gridBytes);
        b.diff = base + gridBytes + spanBytes;
        b.value = b.diff + rowBytes;
        uint8_t* opaque = b.value + rowBytes;
        if (!b.alpha) std::memset(opaque, 255, static_cast<size_t>(W));
        b.opaque = opaque;
        b.work = reinterpret_cast<double*>(m_workBlock.GetData());
        uint8_t flatH, flatS;
        BevelPixel(0.0 * k, 0.0 * k, light, flatH, flatS);
        BevelColours colours{m_source.planes, m_target.planes, ss, ts, nc, highlight, shadow, hm + W,
                             flatH == flatS};
        if (!soft && !colours.copyFlat) {
            std::memset(hm + W, flatH, static_cast<size_t>(W));
            std::memset(hm + 2 * W, flatS, static_cast<size_t>(W));
        }
        for (int64_t y0 = 0; y0 < H; y0 += kBevelBandRows) {
            const int64_t y1 = H - y0 < kBevelBandRows ? H : y0 + kBevelBandRows;
            if (soft) BevelBand(b, g, kernels, light, flatH, flatS, y0, y1, hm + y0 * W, sm + y0 * W);
            else BevelBandColours(b, g, kernels, light, colours, y0, y1, hm, sm);
        }
    } else {
        const size_t mw = static_cast<size_t>(W) + 2, mh = static_cast<size_t>(H) + 2;
        const size_t mapBytes = mw * mh * sizeof(float);
        if (m_heightMap.GetSize() < mapBytes && !m_heightMap.Alloc(mapBytes)) {
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
