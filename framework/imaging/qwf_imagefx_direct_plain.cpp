// The direct filter's kernels at the plain level: 8 positions a step in 16-bit lanes of the base
// instruction set (SSE2), the last step of a row ending at its end (over positions done before).
#include <emmintrin.h>

#include "framework/imaging/qwf_imagefx_direct.h"

namespace qwf_fx {
namespace direct {
namespace {

struct OpsPlain {
    typedef __m128i V;
    static constexpr size_t kN = 8;
    static constexpr bool kMasked = false;
    static constexpr int VW = 2;

    static inline void Weights(V* to, int16_t q0, int16_t q1)
    {
        *to = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(q0) |
                                                   (static_cast<uint32_t>(static_cast<uint16_t>(q1)) << 16)));
    }

    // Bit b of the open positions: 32-bit lane b & 3 of the low (b < 4) or high unpacked half.
    static inline size_t OpenPosition(int bit) { return static_cast<size_t>(bit); }

    static inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

    // As the AVX-512 step; a > min(r, lim - r) taken as a > r or a > lim - r.
    template <int kTaps>
    static inline uint64_t Step(int taps, const V* qp, int shift, int32_t limit,
                                const int16_t* const* t, size_t x, size_t, uint8_t* out)
    {
        const int K = kTaps ? kTaps : taps;
        auto load = [x](const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x)); };
        const __m128i zero = _mm_setzero_si128();
        const __m128i c = load(t[0]);
        const __m128i c2 = _mm_add_epi16(c, c);
        __m128i slo = zero, shi = zero, a = zero;
#pragma GCC unroll 10
        for (int k = 1; k < K; k += 2) {
            const __m128i s1 = _mm_sub_epi16(_mm_add_epi16(load(t[k]), load(t[-k])), c2);
            a = _mm_add_epi16(a, Abs16(s1));
            __m128i s2 = zero;
            if (k + 1 < K) {
                s2 = _mm_sub_epi16(_mm_add_epi16(load(t[k + 1]), load(t[-k - 1])), c2);
                a = _mm_add_epi16(a, Abs16(s2));
            }
            slo = _mm_add_epi32(slo, _mm_madd_epi16(_mm_unpacklo_epi16(s1, s2), qp[k]));
            shi = _mm_add_epi32(shi, _mm_madd_epi16(_mm_unpackhi_epi16(s1, s2), qp[k]));
        }
        const __m128i frac = _mm_set1_epi32((int32_t{1} << shift) - 1);
        const __m128i lim = _mm_set1_epi32(limit);
        const __m128i sh = _mm_cvtsi32_si128(shift);
        const __m128i clo = _mm_unpacklo_epi16(c, zero), chi = _mm_unpackhi_epi16(c, zero);
        const __m128i alo = _mm_unpacklo_epi16(a, zero), ahi = _mm_unpackhi_epi16(a, zero);
        const __m128i mlo = _mm_add_epi32(clo, _mm_sra_epi32(slo, sh));
        const __m128i mhi = _mm_add_epi32(chi, _mm_sra_epi32(shi, sh));
        const __m128i rlo = _mm_slli_epi32(_mm_and_si128(slo, frac), 1);
        const __m128i rhi = _mm_slli_epi32(_mm_and_si128(shi, frac), 1);
        const __m128i openLo = _mm_or_si128(_mm_cmpgt_epi32(alo, rlo), _mm_cmpgt_epi32(alo, _mm_sub_epi32(lim, rlo)));
        const __m128i openHi = _mm_or_si128(_mm_cmpgt_epi32(ahi, rhi), _mm_cmpgt_epi32(ahi, _mm_sub_epi32(lim, rhi)));
        // The pack puts the halves back in order and limits m to 0-255.
        const __m128i m = _mm_packs_epi32(mlo, mhi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(m, m));
        return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(openLo))) |
               (static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(openHi))) << 4);
    }

    static inline void Widen(const uint8_t* in, int16_t* d, size_t n)
    {
        const __m128i zero = _mm_setzero_si128();
        size_t i = 0;
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(v, zero));
        }
        for (; i < n; ++i) d[i] = in[i];
    }
};

__attribute__((flatten)) void RowPlain(const QWF_Gaussian& g, const ByteWeights& b,
                                       const uint8_t* in, uint8_t* out, size_t count, int16_t* work)
{
    RowBody<OpsPlain>(g, b, in, out, count, work);
}

__attribute__((flatten)) void ColumnsPlain(const QWF_Gaussian& g, const ByteWeights& b,
                                           const uint8_t* from, ptrdiff_t fs, uint8_t* to,
                                           ptrdiff_t ts, size_t w, size_t h, int16_t* ring,
                                           size_t rings)
{
    ColumnsBody<OpsPlain>(g, b, from, fs, to, ts, w, h, ring, rings);
}

}  // namespace

constinit const DirectKernels kDirectPlain = {RowPlain, ColumnsPlain};

}  // namespace direct
}  // namespace qwf_fx
