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
    static constexpr int VW = 2;

    static inline void Weights(V* to, int16_t q0, int16_t q1)
    {
        *to = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(q0) |
                                                   (static_cast<uint32_t>(static_cast<uint16_t>(q1)) << 16)));
    }

    // Bits 2i and 2i + 1 of a 16-bit lane mask: position i (only the even bits are kept).
    static inline size_t OpenPosition(int bit) { return static_cast<size_t>(bit >> 1); }

    static inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

    struct Bounds {
        __m128i frac, lim, sh, centreShift;
    };
    static inline Bounds MakeBounds(int shift, int32_t limit)
    {
        return {_mm_set1_epi32((int32_t{1} << shift) - 1), _mm_set1_epi32(limit), _mm_cvtsi32_si128(shift),
                _mm_cvtsi32_si128(shift - 14)};
    }

    // As the 256-bit step (qwf_imagefx_direct_256.h); A > min(2 r, lim - 2 r) taken as
    // A > 2 r or A > lim - 2 r.
    template <int kTaps>
    static inline uint64_t Step(int taps, const V* qp, const Bounds& bounds, const int16_t* t,
                                ptrdiff_t stride, size_t x, uint8_t* out)
    {
        const int K = kTaps ? kTaps : taps;
        auto load = [&](int k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + k * stride + static_cast<ptrdiff_t>(x)));
        };
        const __m128i zero = _mm_setzero_si128();
        const __m128i c = load(0);
        const __m128i c2 = _mm_add_epi16(c, c);
        __m128i a = zero;
        auto term = [&](int k) {
            if (k > K) return zero;
            if (k == K) return _mm_sll_epi16(c, bounds.centreShift);
            const __m128i d = _mm_sub_epi16(_mm_add_epi16(load(k), load(-k)), c2);
            a = _mm_add_epi16(a, Abs16(d));
            return d;
        };
        __m128i slo = zero, shi = zero;
#pragma GCC unroll 10
        for (int k = 1; k <= K; k += 2) {
            const __m128i s1 = term(k), s2 = term(k + 1);
            slo = _mm_add_epi32(slo, _mm_madd_epi16(_mm_unpacklo_epi16(s1, s2), qp[k]));
            shi = _mm_add_epi32(shi, _mm_madd_epi16(_mm_unpackhi_epi16(s1, s2), qp[k]));
        }
        const __m128i rlo = _mm_slli_epi32(_mm_and_si128(slo, bounds.frac), 1);
        const __m128i rhi = _mm_slli_epi32(_mm_and_si128(shi, bounds.frac), 1);
        // A against 2 r and against its distance from the upper bound, each limited to 16 bits.
        const __m128i low = _mm_packs_epi32(rlo, rhi);
        const __m128i high = _mm_packs_epi32(_mm_sub_epi32(bounds.lim, rlo), _mm_sub_epi32(bounds.lim, rhi));
        const uint32_t open = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi16(a, low), _mm_cmpgt_epi16(a, high))));
        // The pack puts the halves back in order and limits m to 0-255.
        const __m128i m = _mm_packs_epi32(_mm_sra_epi32(slo, bounds.sh), _mm_sra_epi32(shi, bounds.sh));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(m, m));
        return open & 0x5555u;
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
