// The direct filter's kernels at the AVX2 level: 16 positions a step in 16-bit lanes, the last
// step of a row ending at its end (over positions done before).
#include <immintrin.h>

#include "framework/imaging/qwf_imagefx_direct.h"
#include "platform/qw_cpu.h"

namespace qwf_fx {
namespace direct {
namespace {

struct OpsAvx2 {
    typedef __m256i V;
    static constexpr size_t kN = 16;
    static constexpr bool kMasked = false;
    static constexpr int VW = 4;

    QW_AVX2 static inline void Weights(V* to, int16_t q0, int16_t q1)
    {
        *to = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(q0) |
                                                      (static_cast<uint32_t>(static_cast<uint16_t>(q1)) << 16)));
    }

    // Bit b of the open positions: 32-bit lane b & 7 of the low (b < 8) or high unpacked half.
    static inline size_t OpenPosition(int bit)
    {
        const int half = bit >> 3, i = bit & 7;
        return static_cast<size_t>((i >> 2) * 8 + half * 4 + (i & 3));
    }

    // As the AVX-512 step (each 128-bit half of a vector unpacks on its own).
    template <int kTaps>
    QW_AVX2 static inline uint64_t Step(int taps, const V* qp, int shift, int32_t limit,
                                        const int16_t* const* t, size_t x, size_t, uint8_t* out)
    {
        const int K = kTaps ? kTaps : taps;
        auto load = [x](const int16_t* p) QW_AVX2 {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
        };
        const __m256i zero = _mm256_setzero_si256();
        const __m256i c = load(t[0]);
        const __m256i c2 = _mm256_add_epi16(c, c);
        __m256i slo = zero, shi = zero, a = zero;
#pragma GCC unroll 10
        for (int k = 1; k < K; k += 2) {
            const __m256i s1 = _mm256_sub_epi16(_mm256_add_epi16(load(t[k]), load(t[-k])), c2);
            a = _mm256_add_epi16(a, _mm256_abs_epi16(s1));
            __m256i s2 = zero;
            if (k + 1 < K) {
                s2 = _mm256_sub_epi16(_mm256_add_epi16(load(t[k + 1]), load(t[-k - 1])), c2);
                a = _mm256_add_epi16(a, _mm256_abs_epi16(s2));
            }
            slo = _mm256_add_epi32(slo, _mm256_madd_epi16(_mm256_unpacklo_epi16(s1, s2), qp[k]));
            shi = _mm256_add_epi32(shi, _mm256_madd_epi16(_mm256_unpackhi_epi16(s1, s2), qp[k]));
        }
        const __m256i frac = _mm256_set1_epi32((int32_t{1} << shift) - 1);
        const __m256i lim = _mm256_set1_epi32(limit);
        const __m128i sh = _mm_cvtsi32_si128(shift);
        const __m256i clo = _mm256_unpacklo_epi16(c, zero), chi = _mm256_unpackhi_epi16(c, zero);
        const __m256i alo = _mm256_unpacklo_epi16(a, zero), ahi = _mm256_unpackhi_epi16(a, zero);
        const __m256i mlo = _mm256_add_epi32(clo, _mm256_sra_epi32(slo, sh));
        const __m256i mhi = _mm256_add_epi32(chi, _mm256_sra_epi32(shi, sh));
        const __m256i rlo = _mm256_slli_epi32(_mm256_and_si256(slo, frac), 1);
        const __m256i rhi = _mm256_slli_epi32(_mm256_and_si256(shi, frac), 1);
        const __m256i openLo = _mm256_cmpgt_epi32(alo, _mm256_min_epi32(rlo, _mm256_sub_epi32(lim, rlo)));
        const __m256i openHi = _mm256_cmpgt_epi32(ahi, _mm256_min_epi32(rhi, _mm256_sub_epi32(lim, rhi)));
        // The pack puts the halves back in order and limits m to 0-255; the permute joins the
        // two halves' bytes.
        const __m256i m = _mm256_packs_epi32(mlo, mhi);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(m, m), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm256_castsi256_si128(bytes));
        return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(openLo))) |
               (static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(openHi))) << 8);
    }

    QW_AVX2 static inline void Widen(const uint8_t* in, int16_t* d, size_t n)
    {
        size_t i = 0;
        for (; i + 16 <= n; i += 16)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))));
        for (; i < n; ++i) d[i] = in[i];
    }
};

QW_AVX2 __attribute__((flatten)) void RowAvx2(const QWF_Gaussian& g, const ByteWeights& b,
                                              const uint8_t* in, uint8_t* out, size_t count,
                                              int16_t* work)
{
    RowBody<OpsAvx2>(g, b, in, out, count, work);
}

QW_AVX2 __attribute__((flatten)) void ColumnsAvx2(const QWF_Gaussian& g, const ByteWeights& b,
                                                  const uint8_t* from, ptrdiff_t fs, uint8_t* to,
                                                  ptrdiff_t ts, size_t w, size_t h, int16_t* ring,
                                                  size_t rings)
{
    ColumnsBody<OpsAvx2>(g, b, from, fs, to, ts, w, h, ring, rings);
}

}  // namespace

constinit const DirectKernels kDirectAvx2 = {RowAvx2, ColumnsAvx2};

}  // namespace direct
}  // namespace qwf_fx
