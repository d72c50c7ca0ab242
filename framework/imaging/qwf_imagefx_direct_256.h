// The direct filter's steps of 16 positions in 256-bit vectors, included by the unit of the AVX2
// level (QW_DIRECT_TARGET QW_AVX2, QW_DIRECT_MASKS 0) and by the one of the AVX-512 level
// (QW_AVX512, QW_DIRECT_MASKS 1: the compares go into mask registers). The AVX-512 level takes
// 256-bit vectors too: in its encoding the 32 registers hold a step's weights and sums without
// spilling, and the loads of a row's taps cross fewer cache lines than 512-bit ones; on
// processors that run 512-bit operations in two halves they were faster than 512-bit steps.
#include <immintrin.h>

#include "framework/imaging/qwf_imagefx_direct.h"
#include "platform/qw_cpu.h"

#if QW_DIRECT_MASKS && defined(__GNUC__) && !defined(__clang__)
// GCC 12 takes the undefined parts inside its AVX-512 intrinsics for uninitialised values.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace qwf_fx {
namespace direct {
namespace {

struct Ops256 {
    typedef __m256i V;
    static constexpr size_t kN = 16;
    static constexpr int VW = 4;

    QW_DIRECT_TARGET static inline void Weights(V* to, int16_t q0, int16_t q1)
    {
        *to = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(q0) |
                                                      (static_cast<uint32_t>(static_cast<uint16_t>(q1)) << 16)));
    }

#if QW_DIRECT_MASKS
    // Bit b of the open positions: position b.
    static inline size_t OpenPosition(int bit) { return static_cast<size_t>(bit); }
#else
    // Bits 2i and 2i + 1 of a 16-bit lane mask: position i (only the even bits are kept).
    static inline size_t OpenPosition(int bit) { return static_cast<size_t>(bit >> 1); }
#endif

    struct Bounds {
        __m256i frac, lim;
        __m128i sh, centreShift;
    };
    QW_DIRECT_TARGET static inline Bounds MakeBounds(int shift, int32_t limit)
    {
        return {_mm256_set1_epi32((int32_t{1} << shift) - 1), _mm256_set1_epi32(limit),
                _mm_cvtsi32_si128(shift), _mm_cvtsi32_si128(shift - 14)};
    }

    // The terms k and k + 1 go interleaved into 32-bit lanes, where one multiply-add takes both
    // (qp[k]: their weights): the positions 0-3 of each 8 in the low unpacked half, 4-7 in the
    // high one; the packs put them back in order. The last step of a row ends at its end.
    template <int kTaps>
    QW_DIRECT_TARGET static inline uint64_t Step(int taps, const V* qp, const Bounds& bounds,
                                                 const int16_t* t, ptrdiff_t stride, size_t x,
                                                 uint8_t* out)
    {
        const int K = kTaps ? kTaps : taps;
        auto load = [&](int k) QW_DIRECT_TARGET {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k * stride + static_cast<ptrdiff_t>(x)));
        };
        const __m256i zero = _mm256_setzero_si256();
        const __m256i c = load(0);
        const __m256i c2 = _mm256_add_epi16(c, c);
        __m256i a = zero;
        // Term k: s[k] for k < K (its size added to A), the scaled centre for k = K, else 0.
        auto term = [&](int k) QW_DIRECT_TARGET {
            if (k > K) return zero;
            if (k == K) return _mm256_sll_epi16(c, bounds.centreShift);
            const __m256i d = _mm256_sub_epi16(_mm256_add_epi16(load(k), load(-k)), c2);
            a = _mm256_add_epi16(a, _mm256_abs_epi16(d));
            return d;
        };
        __m256i slo = zero, shi = zero;
#pragma GCC unroll 10
        for (int k = 1; k <= K; k += 2) {
            const __m256i s1 = term(k), s2 = term(k + 1);
            slo = _mm256_add_epi32(slo, _mm256_madd_epi16(_mm256_unpacklo_epi16(s1, s2), qp[k]));
            shi = _mm256_add_epi32(shi, _mm256_madd_epi16(_mm256_unpackhi_epi16(s1, s2), qp[k]));
        }
        // 2 r and its distance from the upper bound, the smaller one against A.
        const __m256i rlo = _mm256_slli_epi32(_mm256_and_si256(slo, bounds.frac), 1);
        const __m256i rhi = _mm256_slli_epi32(_mm256_and_si256(shi, bounds.frac), 1);
        const __m256i room = _mm256_packs_epi32(_mm256_min_epi32(rlo, _mm256_sub_epi32(bounds.lim, rlo)),
                                                _mm256_min_epi32(rhi, _mm256_sub_epi32(bounds.lim, rhi)));
#if QW_DIRECT_MASKS
        const uint64_t open = _mm256_cmpgt_epi16_mask(a, room);
#else
        const uint64_t open = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi16(a, room))) & 0x55555555u;
#endif
        // m fits 16 bits (from -256 to 510); the pack limits it to 0-255, the permute joins the
        // two halves' bytes.
        const __m256i m = _mm256_packs_epi32(_mm256_sra_epi32(slo, bounds.sh), _mm256_sra_epi32(shi, bounds.sh));
        const __m128i bytes = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(m, m), 0xD8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), bytes);
        return open;
    }

    // n bytes to 16-bit samples.
    QW_DIRECT_TARGET static inline void Widen(const uint8_t* in, int16_t* d, size_t n)
    {
        size_t i = 0;
        for (; i + 16 <= n; i += 16)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))));
        for (; i < n; ++i) d[i] = in[i];
    }
};

QW_DIRECT_TARGET __attribute__((flatten)) void Row256(const QWF_Gaussian& g, const ByteWeights& b,
                                                      const uint8_t* in, uint8_t* out,
                                                      size_t count, int16_t* work)
{
    RowBody<Ops256>(g, b, in, out, count, work);
}

QW_DIRECT_TARGET __attribute__((flatten)) void Columns256(const QWF_Gaussian& g,
                                                          const ByteWeights& b,
                                                          const uint8_t* from, ptrdiff_t fs,
                                                          uint8_t* to, ptrdiff_t ts, size_t w,
                                                          size_t h, int16_t* ring, size_t rings)
{
    ColumnsBody<Ops256>(g, b, from, fs, to, ts, w, h, ring, rings);
}

}  // namespace
}  // namespace direct
}  // namespace qwf_fx
