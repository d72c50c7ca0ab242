// The composite's and the write-back's row kernels: plain, AVX2 (32 pixels a step) and AVX-512
// (64 pixels a step).
// The vector kernels compute every pixel of a step in 16-bit lanes with the plain kernel's
// integer formulas, so all give the same bytes. The AVX2 tails go to the plain kernel; the
// AVX-512 kernels end with one step of fewer lanes.
#include "plugin/core/jig_composite.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QW_COMPOSITE_X86 1
#endif

namespace qwjig {
namespace {

inline void BlendPixel(const CompositeRow& r, int32_t i)
{
    const int a = r.srcAlpha[i];
    if (a == 0) return;
    const int d = r.dstAlpha[i];
    for (int32_t c = 0; c < r.colours; ++c) {
        const int sv = r.src[c][i];
        uint8_t& t = r.dst[c][i];
        t = d != 0 ? static_cast<uint8_t>(t + (((sv - t) * a) >> 8)) : static_cast<uint8_t>(sv);
    }
    int nd;
    switch (r.mode) {
    case 0: nd = d != 0 ? 255 - (((255 - a) * (255 - d)) >> 8) : a; break;
    case 1: nd = d != 0 ? 255 : a; break;
    default: {
        const int a2 = (a * r.z) >> 8;
        nd = d != 0 ? 255 - (((255 - a2) * (255 - d)) >> 8) : a2;
        break;
    }
    }
    r.dstAlpha[i] = static_cast<uint8_t>(nd);
}

// Pixels [from, n): eight at a time wholly outside the piece (skipped) or wholly opaque over a
// transparent target (copied); anything else pixel by pixel.
void CompositeTail(const CompositeRow& r, int32_t from, int32_t n)
{
    const uint8_t opaqueAlpha = static_cast<uint8_t>(r.mode < 2 ? 255 : (255 * r.z) >> 8);
    int32_t i = from;
    for (; i + 8 <= n; i += 8) {
        uint64_t a8, d8;
        std::memcpy(&a8, r.srcAlpha + i, 8);
        std::memcpy(&d8, r.dstAlpha + i, 8);
        if (a8 == 0) continue;
        if (a8 == ~uint64_t{0} && d8 == 0) {
            for (int32_t c = 0; c < r.colours; ++c) std::memcpy(r.dst[c] + i, r.src[c] + i, 8);
            std::memset(r.dstAlpha + i, opaqueAlpha, 8);
            continue;
        }
        for (int32_t k = i; k < i + 8; ++k) BlendPixel(r, k);
    }
    for (; i < n; ++i) BlendPixel(r, i);
}

void CompositePlain(const CompositeRow& r, int32_t n)
{
    CompositeTail(r, 0, n);
}

void BlendTail(const uint8_t* p, const uint8_t* a, uint8_t* out, int64_t x, int64_t n,
               uint8_t background)
{
    for (; x < n; ++x) {
        const uint16_t v = static_cast<uint16_t>((255 - a[x]) * background + p[x] * a[x]);
        // v / 255 for v up to 255 x 255.
        out[x] = static_cast<uint8_t>((v + 1 + (v >> 8)) >> 8);
    }
}

void BlendPlain(const uint8_t* p, const uint8_t* a, uint8_t* out, int64_t n, uint8_t background)
{
    BlendTail(p, a, out, 0, n, background);
}

#if defined(QW_COMPOSITE_X86)

// t + ((s - t) x a >> 8) is (t x (256 - a) + s x a) >> 8: no term leaves 16 bits unsigned.
QW_AVX2 inline __m256i Mix16Avx2(__m256i t, __m256i s, __m256i a,
                                 __m256i inv)
{
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(t, inv), _mm256_mullo_epi16(s, a)), 8);
}

// 255 - ((255 - a)(255 - d) >> 8) for 16-bit lanes.
QW_AVX2 inline __m256i Union16Avx2(__m256i a, __m256i d)
{
    const __m256i full = _mm256_set1_epi16(255);
    return _mm256_sub_epi16(
        full, _mm256_srli_epi16(
                  _mm256_mullo_epi16(_mm256_sub_epi16(full, a), _mm256_sub_epi16(full, d)), 8));
}

QW_AVX2 void CompositeAvx2(const CompositeRow& r, int32_t n)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi8(-1);
    const __m256i k256 = _mm256_set1_epi16(256);
    const __m256i z16 = _mm256_set1_epi16(static_cast<int16_t>(r.z));
    const uint8_t opaque = static_cast<uint8_t>(r.mode < 2 ? 255 : (255 * r.z) >> 8);
    const __m256i opaqueAlpha = _mm256_set1_epi8(static_cast<char>(opaque));
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.srcAlpha + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.dstAlpha + i));
        const __m256i aZero = _mm256_cmpeq_epi8(a, zero);
        const uint32_t aZeroBits = static_cast<uint32_t>(_mm256_movemask_epi8(aZero));
        if (aZeroBits == 0xFFFFFFFFu) continue;
        const __m256i dZero = _mm256_cmpeq_epi8(d, zero);
        const uint32_t dZeroBits = static_cast<uint32_t>(_mm256_movemask_epi8(dZero));
        if (dZeroBits == 0xFFFFFFFFu &&
            static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, ones))) ==
                0xFFFFFFFFu) {
            for (int32_t c = 0; c < r.colours; ++c)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.dst[c] + i),
                                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.src[c] + i)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.dstAlpha + i), opaqueAlpha);
            continue;
        }
        const __m256i aLo = _mm256_unpacklo_epi8(a, zero);
        const __m256i aHi = _mm256_unpackhi_epi8(a, zero);
        const __m256i invLo = _mm256_sub_epi16(k256, aLo);
        const __m256i invHi = _mm256_sub_epi16(k256, aHi);
        for (int32_t c = 0; c < r.colours; ++c) {
            const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.dst[c] + i));
            const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.src[c] + i));
            const __m256i lo = Mix16Avx2(_mm256_unpacklo_epi8(t, zero),
                                         _mm256_unpacklo_epi8(s, zero), aLo, invLo);
            const __m256i hi = Mix16Avx2(_mm256_unpackhi_epi8(t, zero),
                                         _mm256_unpackhi_epi8(s, zero), aHi, invHi);
            __m256i v = _mm256_blendv_epi8(_mm256_packus_epi16(lo, hi), s, dZero);
            v = _mm256_blendv_epi8(v, t, aZero);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.dst[c] + i), v);
        }
        __m256i nd;
        if (r.mode == 1) {
            nd = _mm256_blendv_epi8(ones, a, dZero);
        } else {
            __m256i eLo = aLo, eHi = aHi;
            if (r.mode >= 2) {
                eLo = _mm256_srli_epi16(_mm256_mullo_epi16(aLo, z16), 8);
                eHi = _mm256_srli_epi16(_mm256_mullo_epi16(aHi, z16), 8);
            }
            const __m256i u = _mm256_packus_epi16(Union16Avx2(eLo, _mm256_unpacklo_epi8(d, zero)),
                                                  Union16Avx2(eHi, _mm256_unpackhi_epi8(d, zero)));
            nd = _mm256_blendv_epi8(u, _mm256_packus_epi16(eLo, eHi), dZero);
        }
        nd = _mm256_blendv_epi8(nd, d, aZero);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.dstAlpha + i), nd);
    }
    // The plain tail and the caller's SSE code after it run without the wide registers' state.
    _mm256_zeroupper();
    CompositeTail(r, i, n);
}

// ((255 - a) x background + p x a + 1 + (that >> 8)) >> 8 for 16-bit lanes.
QW_AVX2 inline __m256i Blend16Avx2(__m256i p, __m256i a, __m256i bg)
{
    const __m256i full = _mm256_set1_epi16(255);
    const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(full, a), bg),
                                       _mm256_mullo_epi16(p, a));
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(1)), _mm256_srli_epi16(v, 8)), 8);
}

QW_AVX2 void BlendAvx2(const uint8_t* p, const uint8_t* a, uint8_t* out,
                       int64_t n, uint8_t background)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bg = _mm256_set1_epi16(background);
    int64_t x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
        const __m256i av = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + x));
        const __m256i lo =
            Blend16Avx2(_mm256_unpacklo_epi8(pv, zero), _mm256_unpacklo_epi8(av, zero), bg);
        const __m256i hi =
            Blend16Avx2(_mm256_unpackhi_epi8(pv, zero), _mm256_unpackhi_epi8(av, zero), bg);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(lo, hi));
    }
    _mm256_zeroupper();
    BlendTail(p, a, out, x, n, background);
}


QW_AVX512 inline __m512i Blend16Avx512(__m512i p, __m512i a, __m512i bg)
{
    const __m512i full = _mm512_set1_epi16(255);
    const __m512i v = _mm512_add_epi16(_mm512_mullo_epi16(_mm512_sub_epi16(full, a), bg),
                                       _mm512_mullo_epi16(p, a));
    return _mm512_srli_epi16(
        _mm512_add_epi16(_mm512_add_epi16(v, _mm512_set1_epi16(1)), _mm512_srli_epi16(v, 8)), 8);
}

QW_AVX512 void BlendAvx512(const uint8_t* p, const uint8_t* a, uint8_t* out, int64_t n,
                           uint8_t background)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i bg = _mm512_set1_epi16(background);
    int64_t x = 0;
    for (; x + 64 <= n; x += 64) {
        const __m512i pv = _mm512_loadu_si512(p + x);
        const __m512i av = _mm512_loadu_si512(a + x);
        const __m512i lo =
            Blend16Avx512(_mm512_unpacklo_epi8(pv, zero), _mm512_unpacklo_epi8(av, zero), bg);
        const __m512i hi =
            Blend16Avx512(_mm512_unpackhi_epi8(pv, zero), _mm512_unpackhi_epi8(av, zero), bg);
        _mm512_storeu_si512(out + x, _mm512_packus_epi16(lo, hi));
    }
    // The last few pixels as one step of fewer lanes.
    if (x < n) {
        const __mmask64 lanes = (__mmask64{1} << (n - x)) - 1;
        const __m512i pv = _mm512_maskz_loadu_epi8(lanes, p + x);
        const __m512i av = _mm512_maskz_loadu_epi8(lanes, a + x);
        const __m512i lo =
            Blend16Avx512(_mm512_unpacklo_epi8(pv, zero), _mm512_unpacklo_epi8(av, zero), bg);
        const __m512i hi =
            Blend16Avx512(_mm512_unpackhi_epi8(pv, zero), _mm512_unpackhi_epi8(av, zero), bg);
        _mm512_mask_storeu_epi8(out + x, lanes, _mm512_packus_epi16(lo, hi));
    }
    _mm256_zeroupper();
}

QW_AVX512 inline __m512i Mix16Avx512(__m512i t, __m512i s, __m512i a, __m512i inv)
{
    return _mm512_srli_epi16(
        _mm512_add_epi16(_mm512_mullo_epi16(t, inv), _mm512_mullo_epi16(s, a)), 8);
}

QW_AVX512 inline __m512i Union16Avx512(__m512i a, __m512i d)
{
    const __m512i full = _mm512_set1_epi16(255);
    return _mm512_sub_epi16(
        full, _mm512_srli_epi16(
                  _mm512_mullo_epi16(_mm512_sub_epi16(full, a), _mm512_sub_epi16(full, d)), 8));
}

// Loads of a step: whole (64 lanes) or of the lanes set in `lanes` (the others read as 0 and
// not touched in memory).
template <bool Whole>
QW_AVX512 inline __m512i LoadStep(const uint8_t* p, __mmask64 lanes)
{
    if constexpr (Whole) return _mm512_loadu_si512(p);
    else return _mm512_maskz_loadu_epi8(lanes, p);
}

// One step of 64 pixels from i, or of the lanes set in `lanes` (the row's last few pixels):
// the lanes outside are neither read nor written. Whole steps store unmasked where they can
// (masked stores are slow on some processors).
template <bool Whole>
QW_AVX512 inline void CompositeStepAvx512(const CompositeRow& r, int32_t i, __mmask64 lanes,
                                          __m512i opaqueAlpha, __m512i z16)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i ones = _mm512_set1_epi8(-1);
    const __m512i k256 = _mm512_set1_epi16(256);
    const __m512i a = LoadStep<Whole>(r.srcAlpha + i, lanes);
    const __mmask64 aSet = _mm512_test_epi8_mask(a, a);
    if (aSet == 0) return;
    const __m512i d = LoadStep<Whole>(r.dstAlpha + i, lanes);
    const __mmask64 dSet = _mm512_test_epi8_mask(d, d);
    if (dSet == 0 && _mm512_cmpeq_epi8_mask(a, ones) == lanes) {
        for (int32_t c = 0; c < r.colours; ++c) {
            const __m512i s = LoadStep<Whole>(r.src[c] + i, lanes);
            if constexpr (Whole) _mm512_storeu_si512(r.dst[c] + i, s);
            else _mm512_mask_storeu_epi8(r.dst[c] + i, lanes, s);
        }
        if constexpr (Whole) _mm512_storeu_si512(r.dstAlpha + i, opaqueAlpha);
        else _mm512_mask_storeu_epi8(r.dstAlpha + i, lanes, opaqueAlpha);
        return;
    }
    const __m512i aLo = _mm512_unpacklo_epi8(a, zero);
    const __m512i aHi = _mm512_unpackhi_epi8(a, zero);
    const __m512i invLo = _mm512_sub_epi16(k256, aLo);
    const __m512i invHi = _mm512_sub_epi16(k256, aHi);
    for (int32_t c = 0; c < r.colours; ++c) {
        const __m512i t = LoadStep<Whole>(r.dst[c] + i, lanes);
        const __m512i s = LoadStep<Whole>(r.src[c] + i, lanes);
        const __m512i lo = Mix16Avx512(_mm512_unpacklo_epi8(t, zero),
                                       _mm512_unpacklo_epi8(s, zero), aLo, invLo);
        const __m512i hi = Mix16Avx512(_mm512_unpackhi_epi8(t, zero),
                                       _mm512_unpackhi_epi8(s, zero), aHi, invHi);
        // Over a transparent target pixel the piece's colour; pixels of alpha 0 unwritten.
        const __m512i v = _mm512_mask_blend_epi8(dSet, s, _mm512_packus_epi16(lo, hi));
        _mm512_mask_storeu_epi8(r.dst[c] + i, aSet, v);
    }
    __m512i nd;
    if (r.mode == 1) {
        nd = _mm512_mask_blend_epi8(dSet, a, ones);
    } else {
        __m512i eLo = aLo, eHi = aHi;
        if (r.mode >= 2) {
            eLo = _mm512_srli_epi16(_mm512_mullo_epi16(aLo, z16), 8);
            eHi = _mm512_srli_epi16(_mm512_mullo_epi16(aHi, z16), 8);
        }
        const __m512i u = _mm512_packus_epi16(Union16Avx512(eLo, _mm512_unpacklo_epi8(d, zero)),
                                              Union16Avx512(eHi, _mm512_unpackhi_epi8(d, zero)));
        nd = _mm512_mask_blend_epi8(dSet, _mm512_packus_epi16(eLo, eHi), u);
    }
    _mm512_mask_storeu_epi8(r.dstAlpha + i, aSet, nd);
}

// Whole steps of 64 pixels, then the last few as one step of fewer lanes.
QW_AVX512 void CompositeAvx512(const CompositeRow& r, int32_t n)
{
    const __m512i z16 = _mm512_set1_epi16(static_cast<int16_t>(r.z));
    const uint8_t opaque = static_cast<uint8_t>(r.mode < 2 ? 255 : (255 * r.z) >> 8);
    const __m512i opaqueAlpha = _mm512_set1_epi8(static_cast<char>(opaque));
    int32_t i = 0;
    for (; i + 64 <= n; i += 64)
        CompositeStepAvx512<true>(r, i, ~__mmask64{0}, opaqueAlpha, z16);
    if (i < n)
        CompositeStepAvx512<false>(r, i, (__mmask64{1} << (n - i)) - 1, opaqueAlpha, z16);
    _mm256_zeroupper();
}


#endif  // QW_COMPOSITE_X86

// The row kernels of each level.
#if defined(QW_COMPOSITE_X86)
const qwp::KernelTable<CompositeRowFn> kCompositeRows = {CompositePlain, CompositeAvx2, CompositeAvx512};
const qwp::KernelTable<BlendRowFn> kBlendRows = {BlendPlain, BlendAvx2, BlendAvx512};
#else
const qwp::KernelTable<CompositeRowFn> kCompositeRows = {CompositePlain, CompositePlain, CompositePlain};
const qwp::KernelTable<BlendRowFn> kBlendRows = {BlendPlain, BlendPlain, BlendPlain};
#endif

}  // namespace

CompositeRowFn CompositeRowFor(qwp::CpuLevel level) { return kCompositeRows.At(level); }

BlendRowFn BlendRowFor(qwp::CpuLevel level) { return kBlendRows.At(level); }

}  // namespace qwjig
