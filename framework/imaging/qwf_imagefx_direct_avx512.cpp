// The direct filter's kernels at the AVX-512 level: 32 positions a step in 16-bit lanes, the end
// of a row through masked loads and stores.
#include <immintrin.h>

#include "framework/imaging/qwf_imagefx_direct.h"
#include "platform/qw_cpu.h"

// GCC 12 takes the undefined upper halves inside its 512-bit intrinsics for uninitialised values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace qwf_fx {
namespace direct {
namespace {

struct OpsAvx512 {
    typedef __m512i V;
    static constexpr size_t kN = 32;
    static constexpr bool kMasked = true;
    static constexpr int VW = 8;

    QW_AVX512 static inline void Weights(V* to, int16_t q0, int16_t q1)
    {
        *to = _mm512_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(q0) |
                                                      (static_cast<uint32_t>(static_cast<uint16_t>(q1)) << 16)));
    }

    // Bit b of the open positions: 32-bit lane b & 15 of the low (b < 16) or high unpacked half.
    static inline size_t OpenPosition(int bit)
    {
        const int half = bit >> 4, i = bit & 15;
        return static_cast<size_t>((i >> 2) * 8 + half * 4 + (i & 3));
    }

    // The tap differences of two taps k and k + 1 go interleaved into 32-bit lanes, where one
    // multiply-add takes both (qp[k]: their weights): the positions 0-3 of each 8 in the low
    // unpacked half (bits 0-15 of the result, four to each 8), 4-7 in the high one.
    template <int kTaps>
    QW_AVX512 static inline uint64_t Step(int taps, const V* qp, int shift, int32_t limit,
                                          const int16_t* const* t, size_t x, size_t n, uint8_t* out)
    {
        const int K = kTaps ? kTaps : taps;
        const __mmask32 lanes = n == 32 ? ~__mmask32{0} : static_cast<__mmask32>((uint32_t{1} << n) - 1);
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

    // n bytes to 16-bit samples.
    QW_AVX512 static inline void Widen(const uint8_t* in, int16_t* d, size_t n)
    {
        size_t i = 0;
        for (; i + 32 <= n; i += 32)
            _mm512_storeu_si512(d + i, _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i))));
        for (; i < n; ++i) d[i] = in[i];
    }
};

QW_AVX512 __attribute__((flatten)) void RowAvx512(const QWF_Gaussian& g, const ByteWeights& b,
                                                  const uint8_t* in, uint8_t* out, size_t count,
                                                  int16_t* work)
{
    RowBody<OpsAvx512>(g, b, in, out, count, work);
}

QW_AVX512 __attribute__((flatten)) void ColumnsAvx512(const QWF_Gaussian& g, const ByteWeights& b,
                                                      const uint8_t* from, ptrdiff_t fs,
                                                      uint8_t* to, ptrdiff_t ts, size_t w,
                                                      size_t h, int16_t* ring, size_t rings)
{
    ColumnsBody<OpsAvx512>(g, b, from, fs, to, ts, w, h, ring, rings);
}

}  // namespace

constinit const DirectKernels kDirectAvx512 = {RowAvx512, ColumnsAvx512};

}  // namespace direct
}  // namespace qwf_fx
