// Motion blur: straight along rows or columns through the blur's line filter, at any other
// angle along lines that run across the image, sixteen lines filtered side by side.
#include <cmath>
#include <cstring>

#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_imagefx_internal.h"
#include "platform/qw_cpu.h"

#include <immintrin.h>

using namespace qwf_fx;

namespace {
// Where a lane's line begins (forward pass) or ends (backward pass): the first three steps of
// its pass take the starting formulas of the filter.
struct PassEvent {
    size_t pos;
    int lane, step;
};

template <int VW>
struct MotionVec {
    typedef double VD __attribute__((vector_size(VW * 8), aligned(8)));
    typedef uint8_t VB __attribute__((vector_size(VW), aligned(1)));
    typedef float VF __attribute__((vector_size(VW * 4)));
    typedef int32_t VI __attribute__((vector_size(VW * 4)));
};

// One group's bytes for its pixels: lane l of column u (uMin..uMax) is the value at
// work[(u - uMin + left) * kLanes + l], for the pixel on row (or column) c0 + l, c0 = v0 - off[u].
// Each value is limited to 0-255 and turned into its byte, blended by the column's fraction f into
// (1 - f) * byte + f * (the next lane's value) when the next lane lies inside: to
// out[(u - uMin) * kLanes + l]. Lane 15's byte is blended so by the next group's lane 0, whose
// limited value goes to first[u - uMin].
struct GroupEmit {
    const double* work;
    size_t left;
    int64_t uMin, uMax, v0, nC;
    const int64_t* off;
    const double* frac;
    uint8_t* out;
    double* first;
};

// VW bytes to doubles; through 32-bit integers with the vector level's own instructions (GCC
// turns a direct conversion of the bytes into one byte at a time).
template <int VW>
struct LoadBytes {
    static inline __attribute__((always_inline)) void From(const uint8_t* p, typename MotionVec<VW>::VD* v)
    {
        typename MotionVec<VW>::VB b;
        std::memcpy(&b, p, sizeof b);
        *v = __builtin_convertvector(b, typename MotionVec<VW>::VD);
    }
};

template <>
struct LoadBytes<4> {
    QW_AVX2 static inline void From(const uint8_t* p, MotionVec<4>::VD* v)
    {
        int32_t word;
        std::memcpy(&word, p, 4);
        const __m256d d = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
        std::memcpy(v, &d, sizeof d);
    }
};

template <>
struct LoadBytes<8> {
    QW_AVX512 static inline void From(const uint8_t* p, MotionVec<8>::VD* v)
    {
        typedef int32_t VI __attribute__((vector_size(32)));
        const __m256i i = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        VI vi;
        std::memcpy(&vi, &i, sizeof vi);
        *v = __builtin_convertvector(vi, MotionVec<8>::VD);
    }
};

// Eight doubles to bytes as ToByte turns each (in the low 8 bytes), and the bytes' values.
QW_AVX512 static inline __m128i Bytes8(__m512d v,
                                       __m256i& ints)
{
    __m256 f = _mm512_maskz_cvtpd_ps(0xFF, v);
    f = _mm256_max_ps(f, _mm256_setzero_ps());  // NaN and anything not above 0 become 0
    f = _mm256_min_ps(f, _mm256_set1_ps(255.0f));
    ints = _mm256_cvttps_epi32(f);
    return _mm256_maskz_cvtepi32_epi8(0xFF, ints);
}

// The same for doubles already limited to 0-255 (their single-precision values lie there too).
QW_AVX512 static inline __m128i Bytes8Limited(__m512d v,
                                              __m256i& ints)
{
    ints = _mm256_cvttps_epi32(_mm512_maskz_cvtpd_ps(0xFF, v));
    return _mm256_maskz_cvtepi32_epi8(0xFF, ints);
}

// Column u's bytes (GroupEmit) from its values val0 (lanes 0-7) and val1 (lanes 8-15).
QW_AVX512 static inline void EmitColumn512(
    const GroupEmit& w, int64_t u, const double* in0, const double* in1)
{
    // The values come by address (only double-aligned): the caller is a lambda, which clang does
    // not compile for this function's vector level, so 512-bit arguments by value would change
    // the call's ABI.
    __m512d val0 = _mm512_loadu_pd(in0), val1 = _mm512_loadu_pd(in1);
    const __m512d zero = _mm512_setzero_pd(), top = _mm512_set1_pd(255.0);
    val0 = _mm512_maskz_min_pd(0xFF, _mm512_maskz_max_pd(0xFF, val0, zero), top);
    val1 = _mm512_maskz_min_pd(0xFF, _mm512_maskz_max_pd(0xFF, val1, zero), top);
    // Each lane's next lane (lane 15's is never used).
    const __m512d next0 = _mm512_castsi512_pd(
        _mm512_maskz_alignr_epi64(0xFF, _mm512_castpd_si512(val1), _mm512_castpd_si512(val0), 1));
    const __m512d next1 = _mm512_castsi512_pd(
        _mm512_maskz_alignr_epi64(0xFF, _mm512_castpd_si512(val1), _mm512_castpd_si512(val1), 1));
    const int64_t c0 = w.v0 - w.off[u];
    const int64_t hi = w.nC - 1 - c0 < kLanes - 1 ? w.nC - 1 - c0 : kLanes - 1;
    const double f = w.frac[u], gf = 1 - f;
    const __m512d vf = _mm512_set1_pd(f), vg = _mm512_set1_pd(gf);
    __m256i i0, i1, j0, j1;
    const __m128i own = _mm_unpacklo_epi64(Bytes8Limited(val0, i0), Bytes8Limited(val1, i1));
    const __m512d m0 = _mm512_add_pd(_mm512_mul_pd(vg, _mm512_maskz_cvtepi32_pd(0xFF, i0)), _mm512_mul_pd(vf, next0));
    const __m512d m1 = _mm512_add_pd(_mm512_mul_pd(vg, _mm512_maskz_cvtepi32_pd(0xFF, i1)), _mm512_mul_pd(vf, next1));
    const __m128i mixed = _mm_unpacklo_epi64(Bytes8(m0, j0), Bytes8(m1, j1));
    // Lanes below hi take the blend.
    const __m128i out = _mm_mask_blend_epi8(static_cast<__mmask16>((1u << hi) - 1), own, mixed);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w.out + static_cast<size_t>(u - w.uMin) * kLanes), out);
    w.first[u - w.uMin] = _mm512_cvtsd_f64(val0);
}

// Four doubles already limited to 0-255 to bytes as ToByte turns them.
QW_AVX2 static inline __m128i Bytes4Limited(__m256d v)
{
    const __m128i i = _mm_cvttps_epi32(_mm256_cvtpd_ps(v));
    return _mm_packus_epi16(_mm_packs_epi32(i, i), _mm_setzero_si128());
}

// The same for any doubles (NaN and anything not above 0 become 0).
QW_AVX2 static inline __m128i Bytes4(__m256d v)
{
    __m128 f = _mm256_cvtpd_ps(v);
    f = _mm_min_ps(_mm_max_ps(f, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    const __m128i i = _mm_cvttps_epi32(f);
    return _mm_packus_epi16(_mm_packs_epi32(i, i), _mm_setzero_si128());
}

// A group's bytes for its pixels (GroupEmit) at AVX2.
QW_AVX2 static void EmitAvx2(const GroupEmit& w)
{
    const __m256d zero = _mm256_setzero_pd(), top = _mm256_set1_pd(255.0);
    for (int64_t u = w.uMin; u <= w.uMax; ++u) {
        const int64_t c0 = w.v0 - w.off[u];
        const int64_t hi = w.nC - 1 - c0 < kLanes - 1 ? w.nC - 1 - c0 : kLanes - 1;
        const double* r = w.work + (static_cast<size_t>(u - w.uMin) + w.left) * kLanes;
        const double f = w.frac[u], gf = 1 - f;
        const __m256d vf = _mm256_set1_pd(f), vg = _mm256_set1_pd(gf);
        __m128i own = _mm_setzero_si128(), mixed = _mm_setzero_si128();
        for (int v = 0; v < 4; ++v) {
            const __m256d val = _mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(r + 4 * v), zero), top);
            const __m256d next = _mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(r + 4 * v + 1), zero), top);
            if (v == 0) w.first[u - w.uMin] = _mm256_cvtsd_f64(val);
            const __m128i o = Bytes4Limited(val);
            const __m256d ov = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(o));
            const __m128i m = Bytes4(_mm256_add_pd(_mm256_mul_pd(vg, ov), _mm256_mul_pd(vf, next)));
            // Lanes 4v .. 4v + 3.
            switch (v) {
            case 0: own = _mm_insert_epi32(own, _mm_cvtsi128_si32(o), 0); mixed = _mm_insert_epi32(mixed, _mm_cvtsi128_si32(m), 0); break;
            case 1: own = _mm_insert_epi32(own, _mm_cvtsi128_si32(o), 1); mixed = _mm_insert_epi32(mixed, _mm_cvtsi128_si32(m), 1); break;
            case 2: own = _mm_insert_epi32(own, _mm_cvtsi128_si32(o), 2); mixed = _mm_insert_epi32(mixed, _mm_cvtsi128_si32(m), 2); break;
            default: own = _mm_insert_epi32(own, _mm_cvtsi128_si32(o), 3); mixed = _mm_insert_epi32(mixed, _mm_cvtsi128_si32(m), 3); break;
            }
        }
        // Lanes below hi (as a byte) take the blend; bytes compare unsigned with the top bit
        // flipped.
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i lane = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m128i blend = _mm_cmpgt_epi8(_mm_xor_si128(_mm_set1_epi8(static_cast<char>(static_cast<uint8_t>(hi))), flip),
                                             _mm_xor_si128(lane, flip));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w.out + static_cast<size_t>(u - w.uMin) * kLanes),
                         _mm_blendv_epi8(own, mixed, blend));
    }
}

// A group's bytes for its pixels (GroupEmit) with the base instruction set (SSE2), four lanes at
// a time.
static void EmitSse2(const GroupEmit& w)
{
    const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(255.0);
    const __m128 zerof = _mm_setzero_ps(), topf = _mm_set1_ps(255.0f);
    auto limited = [&](const double* p) { return _mm_min_pd(_mm_max_pd(_mm_loadu_pd(p), zero), top); };
    for (int64_t u = w.uMin; u <= w.uMax; ++u) {
        const int64_t c0 = w.v0 - w.off[u];
        const int64_t hi = w.nC - 1 - c0 < kLanes - 1 ? w.nC - 1 - c0 : kLanes - 1;
        const double* r = w.work + (static_cast<size_t>(u - w.uMin) + w.left) * kLanes;
        const double f = w.frac[u], gf = 1 - f;
        const __m128d vf = _mm_set1_pd(f), vg = _mm_set1_pd(gf);
        __m128i own[4], mixed[4];
        for (int q = 0; q < 4; ++q) {
            const double* p = r + 4 * q;
            const __m128d v0 = limited(p), v1 = limited(p + 2);
            const __m128d n0 = limited(p + 1), n1 = limited(p + 3);
            if (q == 0) w.first[u - w.uMin] = _mm_cvtsd_f64(v0);
            own[q] = _mm_cvttps_epi32(_mm_movelh_ps(_mm_cvtpd_ps(v0), _mm_cvtpd_ps(v1)));
            const __m128d o0 = _mm_cvtepi32_pd(own[q]), o1 = _mm_cvtepi32_pd(_mm_srli_si128(own[q], 8));
            const __m128d m0 = _mm_add_pd(_mm_mul_pd(vg, o0), _mm_mul_pd(vf, n0));
            const __m128d m1 = _mm_add_pd(_mm_mul_pd(vg, o1), _mm_mul_pd(vf, n1));
            const __m128 mf = _mm_movelh_ps(_mm_cvtpd_ps(m0), _mm_cvtpd_ps(m1));
            mixed[q] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(mf, zerof), topf));
        }
        const __m128i ob = _mm_packus_epi16(_mm_packs_epi32(own[0], own[1]), _mm_packs_epi32(own[2], own[3]));
        const __m128i mb = _mm_packus_epi16(_mm_packs_epi32(mixed[0], mixed[1]), _mm_packs_epi32(mixed[2], mixed[3]));
        // Lanes below hi (as a byte) take the blend; bytes compare unsigned with the top bit
        // flipped.
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i lane = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m128i blend = _mm_cmpgt_epi8(_mm_xor_si128(_mm_set1_epi8(static_cast<char>(static_cast<uint8_t>(hi))), flip),
                                             _mm_xor_si128(lane, flip));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w.out + static_cast<size_t>(u - w.uMin) * kLanes),
                         _mm_or_si128(_mm_and_si128(blend, mb), _mm_andnot_si128(blend, ob)));
    }
}

// The recursive filter over kLanes interleaved lines that begin and end at different steps:
// lane l's padded line lies at steps s..e of the M steps of `x` (its samples there, any bytes
// elsewhere). Each step runs the general recursion for every lane at once; the steps named by
// the events (each lane's first three steps of each pass, forward events by rising, backward
// ones by falling position) are then redone lane by lane with the starting formulas, so that
// each lane goes through exactly the operations of its own line. `work` (M * kLanes doubles)
// receives the forward results and then, in place, the backward ones.
// After each backward step, hook(n, results) sees the step's final results.
template <int VW, class Hook>
static inline __attribute__((always_inline)) void StaggeredBody(const QWF_Gaussian& g,
                                                                const uint8_t* x, size_t M,
                                                                const PassEvent* fwd, int nf,
                                                                const PassEvent* bwd, int nb,
                                                                double* work, Hook&& hook)
{
    typedef typename MotionVec<VW>::VD VD;
    constexpr int NV = kLanes / VW;
    const double a1 = g.a1, a2 = g.a2, a3 = g.a3, B = g.B;
    const double c0 = B + a1 + a2 + a3, s123 = a1 + a2 + a3, s23 = a2 + a3;
    const VD vB = VD{} + B, v1 = VD{} + a1, v2 = VD{} + a2, v3 = VD{} + a3;
    VD w1[NV], w2[NV], w3[NV];
    for (int v = 0; v < NV; ++v) w1[v] = w2[v] = w3[v] = VD{};
    int ev = 0;
    for (size_t n = 0; n < M; ++n) {
        double* f = work + n * kLanes;
        const uint8_t* xp = x + n * kLanes;
#pragma GCC unroll 4
        for (int v = 0; v < NV; ++v) {
            VD xv;
            LoadBytes<VW>::From(xp + v * VW, &xv);
            const VD r = vB * xv + v1 * w1[v] + v2 * w2[v] + v3 * w3[v];
            std::memcpy(f + v * VW, &r, sizeof r);
            w3[v] = w2[v];
            w2[v] = w1[v];
            w1[v] = r;
        }
        if (ev < nf && fwd[ev].pos == n) {
            do {
                const int l = fwd[ev].lane;
                const double xs = xp[l];
                if (fwd[ev].step == 0) f[l] = c0 * xs;
                else if (fwd[ev].step == 1) f[l] = B * xs + s123 * f[l - kLanes];
                else f[l] = B * xs + a1 * f[l - kLanes] + s23 * f[l - 2 * kLanes];
            } while (++ev < nf && fwd[ev].pos == n);
            for (int v = 0; v < NV; ++v) std::memcpy(&w1[v], f + v * VW, sizeof(VD));
        }
    }
    VD y1[NV], y2[NV], y3[NV];
    for (int v = 0; v < NV; ++v) y1[v] = y2[v] = y3[v] = VD{};
    ev = 0;
    for (size_t n = M; n-- > 0;) {
        double* f = work + n * kLanes;
        VD r[NV];
#pragma GCC unroll 4
        for (int v = 0; v < NV; ++v) {
            VD xv;
            std::memcpy(&xv, f + v * VW, sizeof xv);
            r[v] = vB * xv + v1 * y1[v] + v2 * y2[v] + v3 * y3[v];
            y3[v] = y2[v];
            y2[v] = y1[v];
            y1[v] = r[v];
        }
        if (ev < nb && bwd[ev].pos == n) {
            double xs[kLanes];
            std::memcpy(xs, f, sizeof xs);
            for (int v = 0; v < NV; ++v) std::memcpy(f + v * VW, &r[v], sizeof(VD));
            do {
                const int l = bwd[ev].lane;
                if (bwd[ev].step == 0) f[l] = c0 * xs[l];
                else if (bwd[ev].step == 1) f[l] = B * xs[l] + s123 * f[l + kLanes];
                else f[l] = B * xs[l] + a1 * f[l + kLanes] + s23 * f[l + 2 * kLanes];
            } while (++ev < nb && bwd[ev].pos == n);
            for (int v = 0; v < NV; ++v) std::memcpy(&y1[v], f + v * VW, sizeof(VD));
        } else {
            for (int v = 0; v < NV; ++v) std::memcpy(f + v * VW, &r[v], sizeof(VD));
        }
        hook(n, y1);
    }
}

// The staggered filter of one group and its bytes for the pixels (`ge`, whose values are the
// filter's work), at each vector level; AVX-512 turns each column into bytes as soon as the
// backward pass has it.
typedef void (*StaggeredFn)(const QWF_Gaussian&, const uint8_t*, size_t, const PassEvent*, int,
                            const PassEvent*, int, double*, const GroupEmit&);

void StaggeredPlain(const QWF_Gaussian& g, const uint8_t* x, size_t M, const PassEvent* fwd,
                    int nf, const PassEvent* bwd, int nb, double* work, const GroupEmit& ge)
{
    StaggeredBody<2>(g, x, M, fwd, nf, bwd, nb, work, [](size_t, const MotionVec<2>::VD*) {});
    EmitSse2(ge);
}

QW_AVX2 __attribute__((flatten)) void StaggeredAvx2(const QWF_Gaussian& g,
                                                    const uint8_t* x, size_t M,
                                                    const PassEvent* fwd, int nf,
                                                    const PassEvent* bwd, int nb,
                                                    double* work, const GroupEmit& ge)
{
    StaggeredBody<4>(g, x, M, fwd, nf, bwd, nb, work, [](size_t, const MotionVec<4>::VD*) {});
    EmitAvx2(ge);
}

QW_AVX512 __attribute__((flatten)) void StaggeredAvx512(
    const QWF_Gaussian& g, const uint8_t* x, size_t M, const PassEvent* fwd, int nf,
    const PassEvent* bwd, int nb, double* work, const GroupEmit& ge)
{
    const size_t cols = static_cast<size_t>(ge.uMax - ge.uMin + 1);
    StaggeredBody<8>(g, x, M, fwd, nf, bwd, nb, work,
                     [&](size_t n, const MotionVec<8>::VD* y) __attribute__((always_inline)) {
                         if (n - ge.left >= cols) return;  // also below left, wrapped
                         EmitColumn512(ge, ge.uMin + static_cast<int64_t>(n - ge.left),
                                       reinterpret_cast<const double*>(&y[0]),
                                       reinterpret_cast<const double*>(&y[1]));
                     });
}

// FillFromOpaque along each lane of a group, in place, over all M steps of x, whose mask bytes
// in m are 0 outside each lane's line. A transparent sample takes the byte of the nearer opaque
// one of its lane, the right one when both lie equally far (so a gap's left half takes the left
// byte and the rest the right one), the only one when there is one side, 128 when none; so the
// steps before and after a lane's line take its first and last filled values, the padding of
// the recursive filter. `dist` holds M * kLanes 64-bit values.
constexpr int64_t kNoOpaque = int64_t{1} << 40;  // farther than any opaque sample

void FillLanesPlain(uint8_t* x, const uint8_t* m, size_t M, int64_t* dist)
{
    uint8_t near[kLanes];
    int64_t d[kLanes];
    for (int l = 0; l < kLanes; ++l) near[l] = 0, d[l] = kNoOpaque;
    // Forward: each transparent sample takes the last opaque byte and its distance.
    for (size_t n = 0; n < M; ++n) {
        uint8_t* xp = x + n * kLanes;
        const uint8_t* mp = m + n * kLanes;
        for (int l = 0; l < kLanes; ++l) {
            if (mp[l] != 0) {
                near[l] = xp[l];
                d[l] = 0;
            } else {
                xp[l] = near[l];
                dist[n * kLanes + l] = ++d[l];
            }
        }
    }
    // Backward: the next opaque byte wins unless the last one lies nearer.
    for (int l = 0; l < kLanes; ++l) near[l] = 0, d[l] = kNoOpaque;
    for (size_t n = M; n-- > 0;) {
        uint8_t* xp = x + n * kLanes;
        const uint8_t* mp = m + n * kLanes;
        for (int l = 0; l < kLanes; ++l) {
            if (mp[l] != 0) {
                near[l] = xp[l];
                d[l] = 0;
                continue;
            }
            const int64_t left = dist[n * kLanes + l], right = ++d[l];
            if (left >= kNoOpaque && right >= kNoOpaque) xp[l] = 128;
            else if (left >= right) xp[l] = near[l];
        }
    }
}

// The same sixteen lanes at once with 16-bit distances, for M up to kFillSteps. A step where all
// sixteen samples are opaque keeps its bytes and only restarts the distances (its own distances
// are never read), so it stores nothing.
constexpr size_t kFillSteps = 32000;

QW_AVX512 void FillLanesAvx512(uint8_t* x,
                               const uint8_t* m, size_t M,
                               int64_t* dist64)
{
    uint16_t* dist = reinterpret_cast<uint16_t*>(dist64);
    const __m256i one = _mm256_set1_epi16(1), zero = _mm256_setzero_si256();
    const __m256i far = _mm256_set1_epi16(static_cast<int16_t>(0x8000));  // above M
    __m128i near = _mm_setzero_si128();
    __m256i d = far;
    for (size_t n = 0; n < M; ++n) {
        const __m128i mb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + n * kLanes));
        const __mmask16 opaque = _mm_test_epi8_mask(mb, mb);
        if (opaque == 0xFFFF) {
            near = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n * kLanes));
            d = zero;
            continue;
        }
        near = _mm_mask_mov_epi8(near, opaque, _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n * kLanes)));
        d = _mm256_mask_mov_epi16(_mm256_add_epi16(d, one), opaque, zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + n * kLanes), near);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dist + n * kLanes), d);
    }
    near = _mm_setzero_si128();
    d = far;
    const __m128i mid = _mm_set1_epi8(static_cast<char>(128));
    for (size_t n = M; n-- > 0;) {
        const __m128i mb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + n * kLanes));
        const __mmask16 opaque = _mm_test_epi8_mask(mb, mb);
        const __m128i xv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n * kLanes));
        if (opaque == 0xFFFF) {
            near = xv;
            d = zero;
            continue;
        }
        near = _mm_mask_mov_epi8(near, opaque, xv);
        d = _mm256_mask_mov_epi16(_mm256_add_epi16(d, one), opaque, zero);
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dist + n * kLanes));
        // Opaque samples (whose distance is 0) and those nearer their left byte keep theirs.
        const __mmask16 keep = opaque | _mm256_cmplt_epu16_mask(left, d);
        const __mmask16 none = _mm256_cmpge_epu16_mask(left, far) & _mm256_cmpge_epu16_mask(d, far);
        __m128i out = _mm_mask_mov_epi8(near, keep, xv);
        out = _mm_mask_mov_epi8(out, static_cast<__mmask16>(none & ~opaque), mid);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + n * kLanes), out);
    }
    _mm256_zeroupper();
}

// The same at AVX2 and with the base instruction set (SSE2): bytes chosen by masks of whole
// bytes, the sixteen 16-bit distances in one vector (AVX2) or two. Unsigned distances compare
// as signed ones with the top bit flipped; a distance from `far` on has its top bit set.
QW_AVX2 void FillLanesAvx2(uint8_t* x, const uint8_t* m, size_t M, int64_t* dist64)
{
    uint16_t* dist = reinterpret_cast<uint16_t*>(dist64);
    const __m256i one = _mm256_set1_epi16(1), zero = _mm256_setzero_si256();
    const __m256i far = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
    const __m128i zero8 = _mm_setzero_si128();
    __m128i near = zero8;
    __m256i d = far;
    // Step n of either pass: its transparent samples (bytes of 0xFF) and its samples; the
    // nearest opaque byte and the distances move on to it. False where every sample is opaque
    // (the step keeps its bytes).
    auto step = [&](size_t n, __m128i& clear, __m128i& xv) QW_AVX2 {
        clear = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + n * kLanes)), zero8);
        xv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n * kLanes));
        if (_mm_movemask_epi8(clear) == 0) {
            near = xv;
            d = zero;
            return false;
        }
        near = _mm_blendv_epi8(xv, near, clear);
        d = _mm256_and_si256(_mm256_add_epi16(d, one), _mm256_cvtepi8_epi16(clear));
        return true;
    };
    __m128i clear, xv;
    for (size_t n = 0; n < M; ++n) {
        if (!step(n, clear, xv)) continue;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + n * kLanes), near);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dist + n * kLanes), d);
    }
    near = zero8;
    d = far;
    const __m128i mid = _mm_set1_epi8(static_cast<char>(128));
    for (size_t n = M; n-- > 0;) {
        if (!step(n, clear, xv)) continue;
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dist + n * kLanes));
        // Transparent samples nearer their left byte keep theirs; none on either side: 128.
        const __m256i nearer = _mm256_cmpgt_epi16(_mm256_xor_si256(d, far), _mm256_xor_si256(left, far));
        const __m256i none = _mm256_and_si256(_mm256_cmpgt_epi16(zero, left), _mm256_cmpgt_epi16(zero, d));
        const __m128i keep8 = _mm_packs_epi16(_mm256_castsi256_si128(nearer), _mm256_extracti128_si256(nearer, 1));
        const __m128i none8 = _mm_packs_epi16(_mm256_castsi256_si128(none), _mm256_extracti128_si256(none, 1));
        __m128i out = _mm_blendv_epi8(near, xv, _mm_andnot_si128(clear, _mm_set1_epi8(-1)));
        out = _mm_blendv_epi8(out, xv, _mm_and_si128(keep8, clear));
        out = _mm_blendv_epi8(out, mid, _mm_and_si128(none8, clear));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + n * kLanes), out);
    }
}

inline __m128i Select8(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

void FillLanesSse2(uint8_t* x, const uint8_t* m, size_t M, int64_t* dist64)
{
    uint16_t* dist = reinterpret_cast<uint16_t*>(dist64);
    const __m128i one = _mm_set1_epi16(1), zero = _mm_setzero_si128();
    const __m128i far = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    __m128i near = zero, d0 = far, d1 = far;
    // As in FillLanesAvx2, the distances of lanes 0-7 in d0, of 8-15 in d1.
    auto step = [&](size_t n, __m128i& clear, __m128i& xv) {
        clear = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + n * kLanes)), zero);
        xv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n * kLanes));
        if (_mm_movemask_epi8(clear) == 0) {
            near = xv;
            d0 = d1 = zero;
            return false;
        }
        near = Select8(clear, near, xv);
        d0 = _mm_and_si128(_mm_add_epi16(d0, one), _mm_unpacklo_epi8(clear, clear));
        d1 = _mm_and_si128(_mm_add_epi16(d1, one), _mm_unpackhi_epi8(clear, clear));
        return true;
    };
    __m128i clear, xv;
    for (size_t n = 0; n < M; ++n) {
        if (!step(n, clear, xv)) continue;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + n * kLanes), near);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dist + n * kLanes), d0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dist + n * kLanes + 8), d1);
    }
    near = zero;
    d0 = d1 = far;
    const __m128i mid = _mm_set1_epi8(static_cast<char>(128));
    for (size_t n = M; n-- > 0;) {
        if (!step(n, clear, xv)) continue;
        const __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dist + n * kLanes));
        const __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dist + n * kLanes + 8));
        const __m128i nearer = _mm_packs_epi16(_mm_cmpgt_epi16(_mm_xor_si128(d0, far), _mm_xor_si128(l0, far)),
                                               _mm_cmpgt_epi16(_mm_xor_si128(d1, far), _mm_xor_si128(l1, far)));
        const __m128i none = _mm_packs_epi16(_mm_and_si128(_mm_cmpgt_epi16(zero, l0), _mm_cmpgt_epi16(zero, d0)),
                                             _mm_and_si128(_mm_cmpgt_epi16(zero, l1), _mm_cmpgt_epi16(zero, d1)));
        __m128i out = Select8(clear, near, xv);
        out = Select8(_mm_and_si128(nearer, clear), xv, out);
        out = Select8(_mm_and_si128(none, clear), mid, out);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + n * kLanes), out);
    }
}

// Rows 0..h-1 of a tile of sixteen columns (sixteen bytes each, in `rows`) to dst + at[i], each
// row only in the columns j whose pixels from lo[j] to hi[j] hold it.
QW_AVX512 void StoreTileRows(const uint8_t* rows, int64_t h,
                             uint8_t* dst, const int64_t* at,
                             const int32_t* lo, const int32_t* hi)
{
    const __m512i vlo = _mm512_loadu_si512(lo), vhi = _mm512_loadu_si512(hi);
    for (int64_t i = 0; i < h; ++i) {
        const __m512i row = _mm512_set1_epi32(static_cast<int32_t>(i));
        const __mmask16 m = _mm512_cmple_epi32_mask(vlo, row) & _mm512_cmple_epi32_mask(row, vhi);
        _mm_mask_storeu_epi8(dst + at[i], m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + i * kLanes)));
    }
    _mm256_zeroupper();
}

// The angled motion blur's kernels of a vector level: the staggered filter with the bytes of its
// group, the fill of a group of up to kFillSteps steps, and (with masked stores) the tile rows
// to the plane, or null where a tile is read whole and written back whole.
struct MotionKernels {
    StaggeredFn staggered;
    void (*fill)(uint8_t* x, const uint8_t* m, size_t M, int64_t* dist);
    void (*storeTileRows)(const uint8_t* rows, int64_t h, uint8_t* dst, const int64_t* at,
                          const int32_t* lo, const int32_t* hi);
};

const qwp::KernelTable<MotionKernels> kMotionKernels = {
    {StaggeredPlain, FillLanesSse2, nullptr},
    {StaggeredAvx2, FillLanesAvx2, nullptr},
    {StaggeredAvx512, FillLanesAvx512, StoreTileRows}};

// Events sorted by position, rising or falling.
void SortEvents(PassEvent* e, int n, bool rising)
{
    for (int i = 1; i < n; ++i) {
        const PassEvent k = e[i];
        int j = i;
        while (j > 0 && (rising ? e[j - 1].pos > k.pos : e[j - 1].pos < k.pos)) {
            e[j] = e[j - 1];
            --j;
        }
        e[j] = k;
    }
}

}  // namespace

bool CQWF_ImageFX::MotionBlur(double angle, double distance, uint8_t alphaFlag, uint8_t maskFlag)
{
    if (!CheckSameShape()) return false;
    if (!(distance >= 0.1) || !std::isfinite(angle) || !std::isfinite(distance)) {
        // A distance that is not a number blurs nothing either.
        for (int k = 0; k < m_source.count; ++k) CopyPlane(k);
        return true;
    }
    if (m_source.width == 0 || m_source.height == 0) return true;
    angle = std::fmod(angle, 180.0);
    if (angle < 0) angle += 180;
    QWF_Gaussian g;
    InitGaussian(distance, g, &m_workBlock, 0, 0);
    const QWF_PlaneSet* mask = (maskFlag && m_source.alpha) ? &m_source : nullptr;
    const int kind = (angle < 0.1 || angle > 179.9) ? 0 : ((angle > 89.9 && angle < 90.1) ? 1 : 2);
    for (int k = 0; k < m_source.count; ++k) {
        if (m_source.alpha && k == m_source.count - 1 && !alphaFlag) {
            CopyPlane(k);
            continue;
        }
        bool ok;
        if (kind == 0) ok = FilterRows(g, m_source, m_target, k, mask);
        else if (kind == 1) ok = FilterColumns(g, m_source, m_target, k, mask);
        else ok = MotionBlurAngled(g, k, angle, mask != nullptr);
        if (!ok) return false;
    }
    return true;
}

namespace {

// The walk of the angled motion blur over one plane: lines across the image at the angle, each
// filtered value written to its pixel and blended, by the fraction of its column, into the pixel
// one step back across the walk. Along the walk: u (x, or y when transposed); across: c (row, or
// column when transposed). Line v holds the pixels (u, v - off[u]) inside the plane.
struct AngledWalk {
    bool mirrored, transposed, useMask;
    int64_t nU, nC, vEnd;
    const int64_t* off;
    const double* frac;
    // Byte offsets of pixel (u, c): su[u] + sc[c] in the source, tu[u] + tc[c] in the target.
    const int64_t *su, *tu, *sc, *tc;
    const uint8_t* sp;  // the source plane
    const uint8_t* ap;  // the source alpha (null without)
    uint8_t* tp;        // the target plane
    ptrdiff_t ss, ts;   // strides
};

// The walk's geometry for a plane of W x H at `angle` (0-180, not 0 or 90), its tables in `off`
// (3 nU + 2 nC values) and `frac` (nU values).
void SetUpWalk(double angle, int64_t W, int64_t H, int64_t* off, double* frac, AngledWalk& w)
{
    w.mirrored = angle > 90;
    if (w.mirrored) angle = 180 - angle;
    w.transposed = angle > 45;
    w.nU = w.transposed ? H : W;
    w.nC = w.transposed ? W : H;
    const double pi = 3.14159265358979323846;
    const double t = w.transposed ? -std::tan((angle - 90) * pi / 180) : std::tan(angle * pi / 180);
    for (int64_t u = 0; u < w.nU; ++u) {
        const double p = t * static_cast<double>(u);
        off[u] = static_cast<int64_t>(static_cast<float>(p));
        frac[u] = p - static_cast<double>(off[u]);
    }
    int64_t* su = off + w.nU;
    int64_t* tu = su + w.nU;
    int64_t* sc = tu + w.nU;
    int64_t* tc = sc + w.nC;
    auto physRow = [&](int64_t r) { return w.mirrored ? H - 1 - r : r; };
    for (int64_t u = 0; u < w.nU; ++u) {
        su[u] = w.transposed ? physRow(u) * w.ss : u;
        tu[u] = w.transposed ? physRow(u) * w.ts : u;
    }
    for (int64_t c = 0; c < w.nC; ++c) {
        sc[c] = w.transposed ? c : physRow(c) * w.ss;
        tc[c] = w.transposed ? c : physRow(c) * w.ts;
    }
    w.off = off;
    w.frac = frac;
    w.su = su;
    w.tu = tu;
    w.sc = sc;
    w.tc = tc;
    w.vEnd = w.nC + off[w.nU - 1];
}

// The direct filter, one line at a time (`bytes` and `masks` hold nU bytes, `line` nU doubles).
// False when the filter's work block cannot grow.
bool DirectWalk(const QWF_Gaussian& g, const AngledWalk& w, uint8_t* bytes, uint8_t* masks,
                double* line, CQWF_Mem& work)
{
    const int64_t* off = w.off;
    int64_t ua = 0, ub = -1;  // the line's columns: ua..ub
    for (int64_t v = 0; v < w.vEnd; ++v) {
        // Columns whose cross position v - off(u) lies in 0..nC-1 form one run.
        while (ua < w.nU && v - off[ua] >= w.nC) ++ua;
        while (ub + 1 < w.nU && v - off[ub + 1] >= 0) ++ub;
        if (ua > ub) continue;
        const size_t n = static_cast<size_t>(ub - ua + 1);
        for (int64_t u = ua; u <= ub; ++u) {
            const size_t i = static_cast<size_t>(u - ua);
            bytes[i] = w.sp[w.su[u] + w.sc[v - off[u]]];
            if (w.useMask) masks[i] = w.ap[w.su[u] + w.sc[v - off[u]]];
        }
        if (w.useMask) {
            FillOpaqueStrided(bytes, 1, masks, 1, n, line, 1);
        } else {
            for (size_t i = 0; i < n; ++i) line[i] = bytes[i];
        }
        if (!FilterLanes<1>(g, line, n, work)) return false;
        for (int64_t u = ua; u <= ub; ++u) {
            const double val = line[u - ua];
            const int64_t c = v - off[u];
            w.tp[w.tu[u] + w.tc[c]] = ToByte(val);
            if (c > 0) {
                uint8_t& prev = w.tp[w.tu[u] + w.tc[c - 1]];
                prev = ToByte((1 - w.frac[u]) * prev + w.frac[u] * val);
            }
        }
    }
    return true;
}

// The recursive filter: groups of sixteen consecutive lines, each lane at the steps of its own
// columns (step n of a group is column gMin + n - left). Up to sixteen groups (a band) are
// gathered and written together, so that a column's pixels on their lines are read and written
// in one pass over the plane's memory; fewer across a narrow walk, so that their lines still lie
// inside together over most columns.
constexpr int kGroups = 16;
constexpr int64_t kTileRows = kGroups * kLanes + 32;  // rows of a tile of sixteen columns
// A tile column's bytes lie 16 bytes into a slot of kTileStride, so that a group's 16 bytes
// reach past its ends by up to 15 (lanes outside the plane) within the slot.
constexpr int64_t kTileStride = kTileRows + 32;

// One band of groups: lines v0 .. v0 + span - 1.
struct WalkBand {
    // Groups of a band, P the recursive filter's padding.
    WalkBand(const AngledWalk& walk, size_t pad)
        : w(walk),
          groupCount(walk.nC >= kGroups * 2 * kLanes ? kGroups
                     : walk.nC >= 2 * kLanes         ? static_cast<int>(walk.nC / (2 * kLanes))
                                                     : 1),
          span(groupCount * kLanes), P(pad), left(pad / 2)
    {
    }

    const AngledWalk& w;
    const int groupCount;
    const int64_t span;
    const size_t P, left;  // the recursive filter's padding and its left part
    // Per group: its samples, interleaved (then its bytes for the pixels), and their alpha (then
    // the values of its lane 0).
    uint8_t* xb[kGroups] = {};
    uint8_t* xm[kGroups] = {};
    int64_t v0 = 0;
    int64_t la[kGroups][kLanes] = {}, lb[kGroups][kLanes] = {};  // lane l's columns (empty: none)
    int64_t gMin[kGroups] = {}, gMax[kGroups] = {};               // each group's columns
    int64_t uMin = 0, uMax = -1;                                  // the band's columns

    // The lanes of group k at column u that lie inside: lo..hi (none when lo > hi); c0 is the
    // cross position of its lane 0.
    void LanesOf(int k, int64_t u, int64_t& c0, int64_t& lo, int64_t& hi) const
    {
        c0 = v0 + k * kLanes - w.off[u];
        lo = c0 < 0 ? -c0 : 0;
        hi = w.nC - 1 - c0 < kLanes - 1 ? w.nC - 1 - c0 : kLanes - 1;
    }
    // The pixels of column u (a few columns on) asked for early, the source's and alpha's for the
    // gathering or the target's for the writing: they lie on other rows.
    void Prefetch(int64_t u, bool target) const;
    // Sixteen columns from u and the rows R..R+h-1 of the plane where their lines lie (R from one
    // before the first line when `before`); h is 0 for none. Lines may reach beyond the plane's
    // edges: lanes outside it are not read from it (they take any bytes, padded or filled over
    // later) and not written back.
    int64_t TileAt(int64_t u, bool before, int64_t& R) const;
};

void WalkBand::Prefetch(int64_t u, bool target) const
{
    if (u > uMax) return;
    const int64_t c0 = v0 - w.off[u];
    const int64_t cLo = c0 < 1 ? 0 : c0 - 1;  // with the pixel lane 0 blends
    const int64_t cHi = c0 + span - 1 < w.nC - 1 ? c0 + span - 1 : w.nC - 1;
    if (cLo > cHi) return;
    if (w.transposed) {
        for (int64_t c = cLo; c <= cHi + 63; c += 64) {
            const int64_t cc = c < cHi ? c : cHi;
            if (target) {
                __builtin_prefetch(w.tp + w.tu[u] + cc, 1);
            } else {
                __builtin_prefetch(w.sp + w.su[u] + cc);
                if (w.useMask) __builtin_prefetch(w.ap + w.su[u] + cc);
            }
            if (c >= cHi) break;
        }
        return;
    }
    for (int64_t c = cLo; c <= cHi; ++c) {
        if (target) {
            __builtin_prefetch(w.tp + w.tu[u] + w.tc[c], 1);
        } else {
            __builtin_prefetch(w.sp + w.su[u] + w.sc[c]);
            if (w.useMask) __builtin_prefetch(w.ap + w.su[u] + w.sc[c]);
        }
    }
}

int64_t WalkBand::TileAt(int64_t u, bool before, int64_t& R) const
{
    if (w.transposed || u + kLanes - 1 > uMax) return 0;
    int64_t top = v0 - w.off[u + kLanes - 1], bottom = v0 - w.off[u] + span - 1;
    if (top < 0) top = 0;
    if (bottom > w.nC - 1) bottom = w.nC - 1;
    if (top > bottom) return 0;
    R = before && top > 0 ? top - 1 : top;
    int64_t h = bottom - R + 1;
    if (h > kTileRows) return 0;
    // Whole blocks of sixteen rows where the plane has them.
    const int64_t whole = (h + 15) & ~int64_t{15};
    if (R + whole <= w.nC) h = whole;
    else if (w.nC >= whole) R = w.nC - whole, h = whole;
    return h;
}

// The band from line v0 on: each lane's columns (ua..ub: the columns of the last line looked
// at, carried from band to band). False when no line of the band has a pixel.
bool FindBandLines(WalkBand& b, int64_t v0, int64_t& ua, int64_t& ub)
{
    const AngledWalk& w = b.w;
    b.v0 = v0;
    b.uMin = w.nU;
    b.uMax = -1;
    for (int k = 0; k < b.groupCount; ++k) {
        b.gMin[k] = w.nU;
        b.gMax[k] = -1;
        for (int l = 0; l < kLanes; ++l) {
            const int64_t v = v0 + k * kLanes + l;
            b.la[k][l] = 0;
            b.lb[k][l] = -1;
            if (v >= w.vEnd) continue;
            while (ua < w.nU && v - w.off[ua] >= w.nC) ++ua;
            while (ub + 1 < w.nU && v - w.off[ub + 1] >= 0) ++ub;
            if (ua > ub) continue;
            b.la[k][l] = ua;
            b.lb[k][l] = ub;
            if (ua < b.gMin[k]) b.gMin[k] = ua;
            if (ub > b.gMax[k]) b.gMax[k] = ub;
        }
        if (b.gMin[k] < b.uMin) b.uMin = b.gMin[k];
        if (b.gMax[k] > b.uMax) b.uMax = b.gMax[k];
    }
    return b.uMax >= b.uMin;
}

// The band's pixels (and their alpha) into the groups' lanes: sixteen columns at a time through
// a tile of the plane's rows where one holds them, else column by column.
void GatherBand(const WalkBand& b)
{
    const AngledWalk& w = b.w;
    const int64_t* off = w.off;
    const int64_t v0 = b.v0;
    const size_t left = b.left;
    alignas(16) uint8_t tileSlots[kLanes * kTileStride];
    uint8_t* const tile = tileSlots + 16;  // column j at tile + j * kTileStride
    const ptrdiff_t sStride = w.mirrored ? -w.ss : w.ss;
    for (int64_t u = b.uMin; u <= b.uMax;) {
        int64_t R = 0;
        if (const int64_t h = b.TileAt(u, false, R)) {
            // The tile's rows read sixteen bytes at a time and turned into its columns; each
            // group's sixteen lanes of column u + j are then neighbouring bytes.
            b.Prefetch(u + 48, false);
            for (int pass = 0; pass < (w.useMask ? 2 : 1); ++pass) {
                const uint8_t* plane = pass ? w.ap : w.sp;
                uint8_t* const* dst = pass ? b.xm : b.xb;
                ColumnsToLines(plane + w.sc[R] + u, sStride, static_cast<size_t>(h), tile, kTileStride);
                for (int64_t j = 0; j < kLanes; ++j) {
                    const int64_t d = v0 - off[u + j] - R;
                    for (int k = 0; k < b.groupCount; ++k) {
                        const int64_t c0 = v0 + k * kLanes - off[u + j];
                        if (c0 + kLanes - 1 < 0 || c0 > w.nC - 1) continue;  // no lane inside
                        std::memcpy(dst[k] + (static_cast<size_t>(u + j - b.gMin[k]) + left) * kLanes,
                                    tile + j * kTileStride + d + k * kLanes, kLanes);
                    }
                }
            }
            u += kLanes;
            continue;
        }
        if (w.transposed || (u & 15) == 0) b.Prefetch(u + (w.transposed ? 16 : 48), false);
        const int64_t base = w.su[u];
        for (int k = 0; k < b.groupCount; ++k) {
            int64_t c0, lo, hi;
            b.LanesOf(k, u, c0, lo, hi);
            if (lo > hi) continue;
            const size_t at = (static_cast<size_t>(u - b.gMin[k]) + left) * kLanes;
            if (w.transposed && lo == 0 && hi == kLanes - 1) {
                // Sixteen neighbouring bytes of one row.
                std::memcpy(b.xb[k] + at, w.sp + base + c0, kLanes);
                if (w.useMask) std::memcpy(b.xm[k] + at, w.ap + base + c0, kLanes);
                continue;
            }
            for (int64_t l = lo; l <= hi; ++l) {
                const int64_t o = base + w.sc[c0 + l];
                b.xb[k][at + static_cast<size_t>(l)] = w.sp[o];
                if (w.useMask) b.xm[k][at + static_cast<size_t>(l)] = w.ap[o];
            }
        }
        ++u;
    }
}

// Group k's lanes filtered: each line filled from its opaque pixels when asked and padded with
// its first and last samples over all M steps, then the staggered filter with the group's bytes
// for its pixels.
void FilterGroup(const WalkBand& b, int k, const QWF_Gaussian& g, const MotionKernels& kernels,
                 double* work)
{
    const AngledWalk& w = b.w;
    if (b.gMax[k] < b.gMin[k]) return;
    const size_t P = b.P, left = b.left;
    const size_t M = static_cast<size_t>(b.gMax[k] - b.gMin[k] + 1) + P;
    const int64_t* ga = b.la[k];
    const int64_t* gb = b.lb[k];
    uint8_t* xb = b.xb[k];
    uint8_t* xm = b.xm[k];
    if (w.useMask) {
        // The masks outside the lanes' lines cleared: those steps take the fill.
        for (int l = 0; l < kLanes; ++l) {
            uint8_t* lane = xm + l;
            const size_t first = gb[l] < ga[l] ? M : static_cast<size_t>(ga[l] - b.gMin[k]) + left;
            const size_t last = gb[l] < ga[l] ? M : static_cast<size_t>(gb[l] - b.gMin[k]) + left;
            for (size_t n = 0; n < first; ++n) lane[n * kLanes] = 0;
            for (size_t n = last + 1; n < M; ++n) lane[n * kLanes] = 0;
        }
        int64_t* dist = reinterpret_cast<int64_t*>(work);
        if (M <= kFillSteps) kernels.fill(xb, xm, M, dist);
        else FillLanesPlain(xb, xm, M, dist);
    } else {
        for (int l = 0; l < kLanes; ++l) {
            uint8_t* lane = xb + l;
            if (gb[l] < ga[l]) {
                for (size_t n = 0; n < M; ++n) lane[n * kLanes] = 0;
                continue;
            }
            const size_t first = static_cast<size_t>(ga[l] - b.gMin[k]) + left;
            const size_t last = static_cast<size_t>(gb[l] - b.gMin[k]) + left;
            const uint8_t fv = lane[first * kLanes], lv = lane[last * kLanes];
            for (size_t n = 0; n < first; ++n) lane[n * kLanes] = fv;
            for (size_t n = last + 1; n < M; ++n) lane[n * kLanes] = lv;
        }
    }
    // Each lane's first three steps of each pass take the starting formulas of the filter.
    PassEvent fwd[3 * kLanes], bwd[3 * kLanes];
    int nf = 0, nb = 0;
    for (int l = 0; l < kLanes; ++l) {
        if (gb[l] < ga[l]) continue;
        const size_t s = static_cast<size_t>(ga[l] - b.gMin[k]);
        const size_t e = static_cast<size_t>(gb[l] - b.gMin[k]) + P;
        for (size_t j = 0; j < 3; ++j) {
            if (s + j <= e) fwd[nf++] = {s + j, l, static_cast<int>(j)};
            if (e - s >= j) bwd[nb++] = {e - j, l, static_cast<int>(j)};
        }
    }
    SortEvents(fwd, nf, true);
    SortEvents(bwd, nb, false);
    const GroupEmit ge = {work, left, b.gMin[k], b.gMax[k], b.v0 + k * kLanes, w.nC, w.off,
                          w.frac, xb, reinterpret_cast<double*>(xm)};
    kernels.staggered(g, xb, M, fwd, nf, bwd, nb, work, ge);
}

// The groups' bytes to their pixels, lane 0 of each group first blending the pixel before its
// own (lane 15's of the group before, written just before): sixteen columns at a time through
// a tile of the plane's rows where one holds them (read whole first, or with the level's masked
// stores only their pixels written), else column by column.
void ScatterBand(const WalkBand& b, const MotionKernels& kernels)
{
    const AngledWalk& w = b.w;
    const int64_t* off = w.off;
    const double* frac = w.frac;
    const int64_t* tc = w.tc;
    uint8_t* const tp = w.tp;
    const int64_t v0 = b.v0, nC = w.nC;
    const bool maskedStores = kernels.storeTileRows != nullptr;
    alignas(16) uint8_t tileSlots[kLanes * kTileStride];
    uint8_t* const tile = tileSlots + 16;  // column j at tile + j * kTileStride
    const ptrdiff_t tStride = w.mirrored ? -w.ts : w.ts;
    for (int64_t u = b.uMin; u <= b.uMax;) {
        int64_t R = 0;
        if (const int64_t h = b.TileAt(u, true, R)) {
            b.Prefetch(u + 48, true);
            // The tile's pixels turned into its columns, the lines' bytes put in, and back into
            // its rows. With masked stores only the pixels of the lines (and the one each
            // column's first line blends) are written, so the tile is not read first: that pixel
            // is read on its own.
            if (!maskedStores) ColumnsToLines(tp + tc[R] + u, tStride, static_cast<size_t>(h), tile, kTileStride);
            int32_t lo[kLanes], hi[kLanes];
            for (int64_t j = 0; j < kLanes; ++j) {
                const int64_t c0 = v0 - off[u + j];
                const double f = frac[u + j], gf = 1 - f;
                uint8_t* col = tile + j * kTileStride;
                const size_t at = static_cast<size_t>(u + j);
                // The column's pixels on the lines, and the one before them its first line
                // blends.
                const int64_t last = c0 + b.span - 1 < nC - 1 ? c0 + b.span - 1 : nC - 1;
                lo[j] = static_cast<int32_t>((c0 > 0 ? c0 - 1 : 0) - R);
                hi[j] = static_cast<int32_t>(last - R);
                if (c0 > nC - 1 || last < 0) lo[j] = 1, hi[j] = 0;
                else if (maskedStores && c0 > 0) col[c0 - 1 - R] = tp[tc[c0 - 1] + u + j];
                for (int k = 0; k < b.groupCount; ++k) {
                    const int64_t ck = c0 + k * kLanes;
                    if (ck + kLanes - 1 < 0 || ck > nC - 1) continue;  // no lane inside
                    const size_t i = at - static_cast<size_t>(b.gMin[k]);
                    uint8_t* dst = col + (ck - R);
                    if (ck > 0) dst[-1] = ToByte(gf * dst[-1] + f * reinterpret_cast<const double*>(b.xm[k])[i]);
                    std::memcpy(dst, b.xb[k] + i * kLanes, kLanes);
                }
            }
            uint8_t* cols[kLanes];
            for (int j = 0; j < kLanes; ++j) cols[j] = tile + j * kTileStride;
            alignas(16) uint8_t rowsOut[kLanes * kTileRows];
            RowsToInterleaved(cols, static_cast<size_t>(h), rowsOut);
            if (maskedStores) {
                kernels.storeTileRows(rowsOut, h, tp + u, tc + R, lo, hi);
            } else {
                for (int64_t i = 0; i < h; ++i) std::memcpy(tp + tc[R + i] + u, rowsOut + i * kLanes, kLanes);
            }
            u += kLanes;
            continue;
        }
        if (w.transposed || (u & 15) == 0) b.Prefetch(u + (w.transposed ? 16 : 48), true);
        const double f = frac[u], gf = 1 - f;
        const int64_t tb = w.tu[u];
        for (int k = 0; k < b.groupCount; ++k) {
            int64_t c0, lo, hi;
            b.LanesOf(k, u, c0, lo, hi);
            if (lo > hi) continue;
            const size_t at = static_cast<size_t>(u - b.gMin[k]);
            const uint8_t* o = b.xb[k] + at * kLanes;
            if (lo == 0 && c0 > 0) {
                uint8_t& p = tp[tb + tc[c0 - 1]];
                p = ToByte(gf * p + f * reinterpret_cast<const double*>(b.xm[k])[at]);
            }
            if (w.transposed && lo == 0 && hi == kLanes - 1) {
                std::memcpy(tp + tb + c0, o, kLanes);
            } else {
                for (int64_t l = lo; l <= hi; ++l) tp[tb + tc[c0 + l]] = o[l];
            }
        }
        ++u;
    }
}

}  // namespace

bool CQWF_ImageFX::MotionBlurAngled(const QWF_Gaussian& g, int plane, double angle, bool useMask)
{
    const int64_t W = m_source.width, H = m_source.height;
    const bool transposed = (angle > 90 ? 180 - angle : angle) > 45;
    const size_t need = static_cast<size_t>(transposed ? H : W);
    const size_t tableCount = 3 * need + 2 * static_cast<size_t>(transposed ? W : H);
    if (!m_offsetBlock.Reserve(tableCount * sizeof(int64_t))) {
        SetError(m_offsetBlock.GetError());
        return false;
    }
    if (!GrowDoubles(m_fractionBlock, need) || !GrowDoubles(m_motionLines, need)) return false;
    if (!m_motionMasks.Reserve(need * 2)) {
        SetError(m_motionMasks.GetError());
        return false;
    }
    AngledWalk w;
    w.useMask = useMask;
    w.ss = m_source.stride;
    w.ts = m_target.stride;
    w.sp = m_source.planes[plane];
    w.ap = m_source.alpha ? m_source.planes[m_source.count - 1] : nullptr;
    w.tp = m_target.planes[plane];
    SetUpWalk(angle, W, H, reinterpret_cast<int64_t*>(m_offsetBlock.GetData()),
              reinterpret_cast<double*>(m_fractionBlock.GetData()), w);
    if (g.direct) {
        if (!DirectWalk(g, w, m_motionMasks.GetData(), m_motionMasks.GetData() + need,
                        reinterpret_cast<double*>(m_motionLines.GetData()), m_workBlock)) {
            SetError(m_workBlock.GetError());
            return false;
        }
        return true;
    }
    WalkBand b(w, RecursivePad(g.sigma));
    const size_t maxM = static_cast<size_t>(w.nU) + b.P;
    if (!GrowDoubles(m_workBlock, (maxM + 1) * kLanes)) return false;
    const size_t groupBytes = maxM * kLanes;
    const size_t byteCount = groupBytes * 2 * kGroups;
    if (!m_motionMasks.Reserve(byteCount)) {
        SetError(m_motionMasks.GetError());
        return false;
    }
    for (int k = 0; k < kGroups; ++k) {
        b.xb[k] = m_motionMasks.GetData() + static_cast<size_t>(2 * k) * groupBytes;
        b.xm[k] = b.xb[k] + groupBytes;
    }
    double* work = reinterpret_cast<double*>(m_workBlock.GetData());
    const MotionKernels& kernels = kMotionKernels.At(static_cast<qwp::CpuLevel>(g.level));
    int64_t ua = 0, ub = -1;  // the columns of the last line looked at
    for (int64_t v0 = 0; v0 < w.vEnd; v0 += b.span) {
        if (!FindBandLines(b, v0, ua, ub)) continue;
        GatherBand(b);
        for (int k = 0; k < b.groupCount; ++k) FilterGroup(b, k, g, kernels, work);
        ScatterBand(b, kernels);
    }
    return true;
}
