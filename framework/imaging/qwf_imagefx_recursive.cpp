// The recursive Gaussian filter over groups of 16 interleaved lines of bytes in two passes: the
// forward pass takes its samples straight from the bytes and keeps its last results in
// registers, the backward pass hands each result straight back as a byte. Each sample goes
// through exactly the operations of the lane kernels (RecursivePassesBody), so every result is
// theirs; only the copies into and out of a block of doubles are gone.
#include <cstring>

#include "framework/imaging/qwf_imagefx_internal.h"
#include "platform/qw_cpu.h"

#include <immintrin.h>

namespace qwf_fx {

namespace {

static_assert(kLanes == 16, "one step of a group is 16 bytes");

template <int VW>
struct RecVec {
    typedef double VD __attribute__((vector_size(VW * 8), aligned(8)));
};

// Four vectors of four doubles to 16 bytes as ToByte turns each.
inline void StoreFour(const RecVec<4>::VD* v, uint8_t* p)
{
#if defined(__SSE2__)
    typedef float VF __attribute__((vector_size(16)));
    typedef int32_t VI __attribute__((vector_size(16)));
    __m128i q[4];
    for (int k = 0; k < 4; ++k) {
        VF f = __builtin_convertvector(v[k], VF);
        f = f > 0.0f ? f : VF{};  // NaN and anything not above 0 become 0
        f = f >= 255.0f ? VF{} + 255.0f : f;
        const VI i = __builtin_convertvector(f, VI);
        std::memcpy(&q[k], &i, sizeof i);
    }
    const __m128i w0 = _mm_packs_epi32(q[0], q[1]), w1 = _mm_packs_epi32(q[2], q[3]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(w0, w1));
#else
    double t[16];
    for (int k = 0; k < 4; ++k) std::memcpy(t + 4 * k, &v[k], sizeof(RecVec<4>::VD));
    Lane16ToBytes(t, p, 16);
#endif
}

// 16 bytes to 16 doubles in vectors of VW, and back through ToByte, at each vector level (the
// plain level keeps the lane kernels, which run faster there). The kernels of a level are
// flattened, so that these inline into code of their own level.
struct IoAvx2 {
    static constexpr int VW = 4;
    typedef RecVec<4>::VD VD;
    QW_AVX2 static inline void Load(
                                    const uint8_t* p, VD* v)
    {
        for (int k = 0; k < 4; ++k) {
            int32_t word;
            std::memcpy(&word, p + 4 * k, 4);
            const __m256d d = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
            std::memcpy(&v[k], &d, sizeof(VD));
        }
    }
    QW_AVX2 static inline void Store(const VD* v, uint8_t* p)
    {
        StoreFour(v, p);
    }
};

struct IoAvx512 {
    static constexpr int VW = 8;
    typedef RecVec<8>::VD VD;
    QW_AVX512 static inline void
    Load(const uint8_t* p, VD* v)
    {
        for (int k = 0; k < 2; ++k) {
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * k));
            typedef int32_t VI __attribute__((vector_size(32)));
            const __m256i i = _mm256_cvtepu8_epi32(b);
            VI vi;
            std::memcpy(&vi, &i, sizeof vi);
            v[k] = __builtin_convertvector(vi, VD);
        }
    }
    QW_AVX512 static inline void
    Store(const VD* v, uint8_t* p)
    {
        typedef float VF __attribute__((vector_size(32)));
        typedef int32_t VI __attribute__((vector_size(32)));
        typedef uint8_t VB __attribute__((vector_size(8)));
        for (int k = 0; k < 2; ++k) {
            VF f = __builtin_convertvector(v[k], VF);
            f = f > 0.0f ? f : VF{};  // NaN and anything not above 0 become 0
            f = f >= 255.0f ? VF{} + 255.0f : f;
            const VB b = __builtin_convertvector(__builtin_convertvector(f, VI), VB);
            std::memcpy(p + 8 * k, &b, 8);
        }
    }
};

// G groups (1 or 2) side by side. Samples of group b: in[b] + i * inStep (16 bytes each),
// results to out[b] + i * outStep; work holds G blocks of N * 16 doubles (the forward results).
template <class Io, int G>
inline void PassesBody(const QWF_Gaussian& g, size_t count,
                                                      const uint8_t* const* in, ptrdiff_t inStep,
                                                      uint8_t* const* out, ptrdiff_t outStep,
                                                      double* work)
{
    constexpr int VW = Io::VW;
    constexpr int NV = kLanes / VW;
    typedef typename Io::VD VD;
    const size_t P = RecursivePad(g.sigma);
    const size_t N = count + P;
    const size_t left = P / 2;
    const double a1 = g.a1, a2 = g.a2, a3 = g.a3, B = g.B;
    const VD vB = VD{} + B, v1 = VD{} + a1, v2 = VD{} + a2, v3 = VD{} + a3;
    const VD c0 = VD{} + (B + a1 + a2 + a3), s123 = VD{} + (a1 + a2 + a3), s23 = VD{} + (a2 + a3);
    const bool edge = g.edgeFlag != 0;
    const VD ev = VD{} + static_cast<double>(g.edgeValue);

    // The padding's samples: the edge value, or the line's first and last samples.
    VD first[G][NV], last[G][NV];
    for (int b = 0; b < G; ++b) {
        Io::Load(in[b], first[b]);
        Io::Load(in[b] + static_cast<ptrdiff_t>(count - 1) * inStep, last[b]);
        for (int v = 0; v < NV; ++v) {
            if (edge) first[b][v] = last[b][v] = ev;
        }
    }
    auto sample = [&](int b, size_t n, VD* x) {
        if (n < left) {
            for (int v = 0; v < NV; ++v) x[v] = first[b][v];
        } else if (n - left < count) {
            Io::Load(in[b] + static_cast<ptrdiff_t>(n - left) * inStep, x);
        } else {
            for (int v = 0; v < NV; ++v) x[v] = last[b][v];
        }
    };
    auto fwd = [&](int b, size_t n) { return work + (static_cast<size_t>(b) * N + n) * kLanes; };

    // Forward pass: the first three steps start the recursion from the first result.
    VD w1[G][NV], w2[G][NV], w3[G][NV];
    for (int b = 0; b < G; ++b) {
        VD x0[NV], x1[NV], x2[NV];
        sample(b, 0, x0);
        sample(b, 1, x1);
        sample(b, 2, x2);
        for (int v = 0; v < NV; ++v) {
            const VD f0 = c0 * x0[v];
            const VD f1 = vB * x1[v] + s123 * f0;
            const VD f2 = vB * x2[v] + v1 * f1 + s23 * f0;
            std::memcpy(fwd(b, 0) + v * VW, &f0, sizeof(VD));
            std::memcpy(fwd(b, 1) + v * VW, &f1, sizeof(VD));
            std::memcpy(fwd(b, 2) + v * VW, &f2, sizeof(VD));
            w1[b][v] = f2;
            w2[b][v] = f1;
            w3[b][v] = f0;
        }
    }
    auto forwardStep = [&](size_t n, auto&& load) {
#pragma GCC unroll 4
        for (int b = 0; b < G; ++b) {
            VD x[NV];
            load(b, x);
            double* f = fwd(b, n);
#pragma GCC unroll 4
            for (int v = 0; v < NV; ++v) {
                const VD r = vB * x[v] + v1 * w1[b][v] + v2 * w2[b][v] + v3 * w3[b][v];
                std::memcpy(f + v * VW, &r, sizeof(VD));
                w3[b][v] = w2[b][v];
                w2[b][v] = w1[b][v];
                w1[b][v] = r;
            }
        }
    };
    size_t n = 3;
    for (; n < N && n < left; ++n)
        forwardStep(n, [&](int b, VD* x) {
            for (int v = 0; v < NV; ++v) x[v] = first[b][v];
        });
    for (; n < N && n < left + count; ++n) {
        const ptrdiff_t o = static_cast<ptrdiff_t>(n - left) * inStep;
        // Samples a few steps on asked for early: the steps of columns lie a row apart.
        if (n - left + 8 < count)
            for (int b = 0; b < G; ++b) __builtin_prefetch(in[b] + o + 8 * inStep);
        forwardStep(n, [&](int b, VD* x) { Io::Load(in[b] + o, x); });
    }
    for (; n < N; ++n)
        forwardStep(n, [&](int b, VD* x) {
            for (int v = 0; v < NV; ++v) x[v] = last[b][v];
        });

    // Backward pass over the forward results; each result inside the line goes out as a byte.
    auto emit = [&](int b, size_t m, const VD* r) {
        if (m >= left && m - left < count)
            Io::Store(r, out[b] + static_cast<ptrdiff_t>(m - left) * outStep);
    };
    VD y1[G][NV], y2[G][NV], y3[G][NV];
    for (int b = 0; b < G; ++b) {
        VD e0[NV], e1[NV], e2[NV];
        for (int v = 0; v < NV; ++v) {
            VD f0, f1, f2;
            std::memcpy(&f0, fwd(b, N - 1) + v * VW, sizeof(VD));
            std::memcpy(&f1, fwd(b, N - 2) + v * VW, sizeof(VD));
            std::memcpy(&f2, fwd(b, N - 3) + v * VW, sizeof(VD));
            e0[v] = c0 * f0;
            e1[v] = vB * f1 + s123 * e0[v];
            e2[v] = vB * f2 + v1 * e1[v] + s23 * e0[v];
            y1[b][v] = e2[v];
            y2[b][v] = e1[v];
            y3[b][v] = e0[v];
        }
        emit(b, N - 1, e0);
        emit(b, N - 2, e1);
        emit(b, N - 3, e2);
    }
    auto backwardStep = [&](size_t m, bool store) {
#pragma GCC unroll 4
        for (int b = 0; b < G; ++b) {
            const double* f = fwd(b, m);
            VD r[NV];
#pragma GCC unroll 4
            for (int v = 0; v < NV; ++v) {
                VD x;
                std::memcpy(&x, f + v * VW, sizeof(VD));
                r[v] = vB * x + v1 * y1[b][v] + v2 * y2[b][v] + v3 * y3[b][v];
                y3[b][v] = y2[b][v];
                y2[b][v] = y1[b][v];
                y1[b][v] = r[v];
            }
            if (store) Io::Store(r, out[b] + static_cast<ptrdiff_t>(m - left) * outStep);
        }
    };
    size_t m = N - 3;
    for (; m-- > 0 && m >= left + count;) backwardStep(m, false);
    if (m < left + count) {
        // m is the first step inside the line (or wrapped past 0 when there is none).
        for (++m; m-- > left;) backwardStep(m, true);
        for (++m; m-- > 0;) backwardStep(m, false);
    }
}

template <class Io>
inline void PassesOf(const QWF_Gaussian& g, size_t count,
                                                    const uint8_t* const* in, ptrdiff_t inStep,
                                                    uint8_t* const* out, ptrdiff_t outStep,
                                                    int groups, double* work)
{
    if (groups == 4) PassesBody<Io, 4>(g, count, in, inStep, out, outStep, work);
    else if (groups == 2) PassesBody<Io, 2>(g, count, in, inStep, out, outStep, work);
    else PassesBody<Io, 1>(g, count, in, inStep, out, outStep, work);
}

QW_AVX2 __attribute__((flatten)) void PassesAvx2(const QWF_Gaussian& g, size_t count,
                                                 const uint8_t* const* in, ptrdiff_t inStep,
                                                 uint8_t* const* out, ptrdiff_t outStep,
                                                 int groups, double* work)
{
    PassesOf<IoAvx2>(g, count, in, inStep, out, outStep, groups, work);
}

QW_AVX512 __attribute__((flatten)) void PassesAvx512(
    const QWF_Gaussian& g, size_t count, const uint8_t* const* in, ptrdiff_t inStep,
    uint8_t* const* out, ptrdiff_t outStep, int groups, double* work)
{
    PassesOf<IoAvx512>(g, count, in, inStep, out, outStep, groups, work);
}

// The passes of a vector level (none at the plain level, whose lane kernels run faster) and
// how many groups of columns go side by side: four with the 32 vector registers of AVX-512
// (their steps wait on each other's results less).
struct RecursiveKernels {
    void (*passes)(const QWF_Gaussian& g, size_t count, const uint8_t* const* in,
                   ptrdiff_t inStep, uint8_t* const* out, ptrdiff_t outStep, int groups,
                   double* work);
    size_t columnGroups;
};

const qwp::KernelTable<RecursiveKernels> kRecursiveKernels = {
    {nullptr, 0}, {PassesAvx2, 2}, {PassesAvx512, 4}};

const RecursiveKernels& KernelsOf(const QWF_Gaussian& g)
{
    return kRecursiveKernels.At(static_cast<qwp::CpuLevel>(g.level));
}

}  // namespace

bool RecursiveOnBytes(const QWF_Gaussian& g, size_t count)
{
    return KernelsOf(g).passes && !g.direct && count > 0 && count + RecursivePad(g.sigma) > 3 &&
           count <= (static_cast<size_t>(1) << 30);
}

size_t RecursiveBytesWorkDoubles(const QWF_Gaussian& g, size_t count)
{
    return 4 * (count + RecursivePad(g.sigma)) * kLanes;
}

void RecursiveBytes(const QWF_Gaussian& g, size_t count, const uint8_t* const* in,
                    ptrdiff_t inStep, uint8_t* const* out, ptrdiff_t outStep, int groups,
                    double* work)
{
    KernelsOf(g).passes(g, count, in, inStep, out, outStep, groups, work);
}

}  // namespace qwf_fx

namespace qwf_fx {

void RecursiveRows(const QWF_Gaussian& g, size_t count, const uint8_t* const* rows,
                   uint8_t* const* targets, const int lanes[2], int groups, uint8_t* bytes,
                   double* work)
{
    uint8_t* group[2] = {bytes, bytes + count * kLanes};
    for (int b = 0; b < groups; ++b) RowsToInterleaved(rows + b * kLanes, count, group[b]);
    const uint8_t* in[2] = {group[0], group[1]};
    RecursiveBytes(g, count, in, kLanes, group, kLanes, groups, work);
    for (int b = 0; b < groups; ++b) InterleavedToRows(group[b], count, targets + b * kLanes, lanes[b]);
}

void RecursiveColumns(const QWF_Gaussian& g, const uint8_t* from, ptrdiff_t fromStride,
                      uint8_t* to, ptrdiff_t toStride, size_t w, size_t h, uint8_t* bytes,
                      double* work)
{
    size_t x0 = 0;
    // Whole groups read and write the grid in place of the interleaved lines, as many at a time
    // as the level's kernels take.
    const size_t most = KernelsOf(g).columnGroups;
    while (x0 + kLanes <= w) {
        const size_t left = (w - x0) / kLanes;
        const int groups = static_cast<int>(left >= most ? most : (left >= 2 ? 2 : 1));
        const uint8_t* in[4] = {from + x0, from + x0 + kLanes, from + x0 + 2 * kLanes, from + x0 + 3 * kLanes};
        uint8_t* out[4] = {to + x0, to + x0 + kLanes, to + x0 + 2 * kLanes, to + x0 + 3 * kLanes};
        RecursiveBytes(g, h, in, fromStride, out, toStride, groups, work);
        x0 += static_cast<size_t>(groups) * kLanes;
    }
    if (x0 >= w) return;
    // The last columns through interleaved lines, the first of them standing in for the
    // missing ones.
    const size_t lanes = w - x0;
    for (size_t i = 0; i < h; ++i) {
        const uint8_t* s = from + static_cast<ptrdiff_t>(i) * fromStride + x0;
        for (size_t l = 0; l < kLanes; ++l) bytes[i * kLanes + l] = s[l < lanes ? l : 0];
    }
    const uint8_t* in[2] = {bytes, nullptr};
    uint8_t* out[2] = {bytes, nullptr};
    RecursiveBytes(g, h, in, kLanes, out, kLanes, 1, work);
    for (size_t i = 0; i < h; ++i)
        std::memcpy(to + static_cast<ptrdiff_t>(i) * toStride + x0, bytes + i * kLanes, lanes);
}

}  // namespace qwf_fx

namespace qwf_fx {

namespace {
// Group of `lanes` columns from x0 (up to kLanes), each filled down its own mask column, to
// interleaved lines in `out` (h * kLanes bytes); `scratch` holds 3 * h * kLanes bytes.
void FilledColumns(const uint8_t* from, ptrdiff_t fromStride, const uint8_t* mask,
                   ptrdiff_t maskStride, size_t x0, size_t lanes, size_t h, uint8_t* scratch,
                   uint8_t* out)
{
    uint8_t* lines = scratch;
    uint8_t* masks = lines + h * kLanes;
    uint8_t* filled = masks + h * kLanes;
    if (lanes == kLanes) {
        ColumnsToLines(from + x0, fromStride, h, lines, h);
        ColumnsToLines(mask + x0, maskStride, h, masks, h);
        const uint8_t* rows[kLanes];
        for (int l = 0; l < kLanes; ++l) {
            const size_t o = static_cast<size_t>(l) * h;
            FillOpaqueBytes(lines + o, 1, masks + o, 1, h, filled + o, 1);
            rows[l] = filled + o;
        }
        RowsToInterleaved(rows, h, out);
        return;
    }
    for (size_t i = 0; i < h; ++i) {
        const uint8_t* sp = from + static_cast<ptrdiff_t>(i) * fromStride + x0;
        const uint8_t* m = mask + static_cast<ptrdiff_t>(i) * maskStride + x0;
        for (size_t l = 0; l < kLanes; ++l) {
            lines[i * kLanes + l] = sp[l < lanes ? l : 0];
            masks[i * kLanes + l] = m[l < lanes ? l : 0];
        }
    }
    for (int l = 0; l < kLanes; ++l)
        FillOpaqueBytes(lines + l, kLanes, masks + l, kLanes, h, out + l, kLanes);
}
}  // namespace

void RecursiveMaskedColumns(const QWF_Gaussian& g, const uint8_t* from, ptrdiff_t fromStride,
                            const uint8_t* mask, ptrdiff_t maskStride, uint8_t* to,
                            ptrdiff_t toStride, size_t w, size_t h, uint8_t* scratch,
                            double* work)
{
    uint8_t* group[2] = {scratch + 3 * h * kLanes, scratch + 4 * h * kLanes};
    size_t x0 = 0;
    // Whole groups, two at a time, write their results in place.
    while (x0 + kLanes <= w) {
        const int groups = x0 + 2 * kLanes <= w ? 2 : 1;
        for (int b = 0; b < groups; ++b)
            FilledColumns(from, fromStride, mask, maskStride, x0 + static_cast<size_t>(b) * kLanes,
                          kLanes, h, scratch, group[b]);
        const uint8_t* in[2] = {group[0], group[1]};
        uint8_t* out[2] = {to + x0, to + x0 + kLanes};
        RecursiveBytes(g, h, in, kLanes, out, toStride, groups, work);
        x0 += static_cast<size_t>(groups) * kLanes;
    }
    if (x0 >= w) return;
    const size_t lanes = w - x0;
    FilledColumns(from, fromStride, mask, maskStride, x0, lanes, h, scratch, group[0]);
    const uint8_t* in[2] = {group[0], nullptr};
    uint8_t* out[2] = {group[0], nullptr};
    RecursiveBytes(g, h, in, kLanes, out, kLanes, 1, work);
    for (size_t i = 0; i < h; ++i)
        std::memcpy(to + static_cast<ptrdiff_t>(i) * toStride + x0, group[0] + i * kLanes, lanes);
}

}  // namespace qwf_fx
