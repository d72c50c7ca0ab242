// Gaussian line filter, Gaussian blur and small convolutions.
//
// Lines are filtered in groups of independent "lanes" stored interleaved (sample i of lane l at
// i * L + l); every lane goes through exactly the same arithmetic as a single line, so grouping
// changes the speed only, never a result.
#include <cmath>
#include <cstring>

#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_imagefx_internal.h"
#include "platform/qw_cpu.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace qwf_fx;

void CQWF_ImageFX::InitGaussian(double sigma, QWF_Gaussian& st, CQWF_Mem* work, uint8_t edgeFlag,
                                uint8_t edgeValue)
{
    double q;
    if (sigma >= 2.5) q = 0.98711 * sigma - 0.96330;
    else q = 3.97156 - 4.14554 * std::sqrt(1 - 0.26891 * sigma);
    const double b0 = 1.57825 + 2.44413 * q + 1.4281 * q * q + 0.422205 * q * q * q;
    const double b1 = 2.44413 * q + 2.85619 * q * q + 1.26661 * q * q * q;
    const double b2 = -(1.4281 * q * q + 1.26661 * q * q * q);
    const double b3 = 0.422205 * q * q * q;
    st.a1 = b1 / b0;
    st.a2 = b2 / b0;
    st.a3 = b3 / b0;
    st.B = 1 - (st.a1 + st.a2 + st.a3);
    st.sigma = sigma;
    st.work = work;
    st.edgeFlag = edgeFlag;
    st.edgeValue = edgeValue;
    st.direct = 0;
    st.kernelCount = 0;
    st.level = static_cast<uint8_t>(qwp::GetCpuLevel());
    if (sigma < 1.5) {
        const double s = sigma < 0.1 ? 0.1 : 0.1 + 1.5 * sigma;
        const int K = 2 - static_cast<int>(-3.8 * s);
        if (static_cast<uint16_t>(K) < 20) {
            for (int i = 0; i < K; ++i) st.kernel[i] = 1000 * std::exp(-(i * i) / (2 * s * s));
            st.kernelCount = static_cast<uint16_t>(K);
            st.direct = 1;
        }
    }
}

namespace qwf_fx {

size_t RecursivePad(double sigma)
{
    const double p = 7 * sigma;
    if (!(p >= 1)) return 0;
    if (p > 1e12) return static_cast<size_t>(1e12);  // no block of that size can be had
    return static_cast<size_t>(static_cast<int64_t>(p));
}

// Doubles of work space for `lanes` lines; 0 when the size does not fit in memory at all.
static size_t WorkDoubles(const QWF_Gaussian& g, size_t count, size_t lanes)
{
    const size_t n = g.direct ? count : count + RecursivePad(g.sigma);
    if (n > (static_cast<size_t>(1) << 31)) return 0;
    return n * lanes;
}

static bool FilterIsIdentity(const QWF_Gaussian& g, size_t count)
{
    return count == 0 || (g.direct && g.sigma < 0.1);
}

// Four doubles; rows of lanes are only 8-byte aligned.
typedef double V4 __attribute__((vector_size(32), aligned(8)));

// VW doubles per vector step (4 or 8); every lane goes through the same operations in the
// same order whatever the width.
template <int L, int VW = 4>
static inline __attribute__((always_inline)) void DirectLanesBody(const QWF_Gaussian& g,
                                                                    double* data, size_t count,
                                                                    double* out)
{
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    const int64_t n = static_cast<int64_t>(count);
    // Weight sum of a position whose taps all lie inside the line (or with the edge flag).
    double fullSum = w[0];
    for (int k = 1; k < K; ++k) fullSum += w[k];
    for (int k = 1; k < K; ++k) fullSum += w[k];
    for (int64_t i = 0; i < n; ++i) {
        const bool inner = i - (K - 1) >= 0 && i + (K - 1) < n;
        if (inner) {
            if constexpr (L % VW == 0) {
                typedef double VD __attribute__((vector_size(VW * 8), aligned(8)));
                constexpr int NV = L / VW;
                const VD fs = VD{} + fullSum;
                VD sum[NV];
                const VD w0 = VD{} + w[0];
                for (int v = 0; v < NV; ++v) sum[v] = w0 * *reinterpret_cast<const VD*>(data + i * L + v * VW);
                for (int k = 1; k < K; ++k) {
                    const VD wk = VD{} + w[k];
                    const double* p = data + (i + k) * L;
                    for (int v = 0; v < NV; ++v) sum[v] += wk * *reinterpret_cast<const VD*>(p + v * VW);
                }
                for (int k = 1; k < K; ++k) {
                    const VD wk = VD{} + w[k];
                    const double* p = data + (i - k) * L;
                    for (int v = 0; v < NV; ++v) sum[v] += wk * *reinterpret_cast<const VD*>(p + v * VW);
                }
                for (int v = 0; v < NV; ++v) *reinterpret_cast<VD*>(out + i * L + v * VW) = sum[v] / fs;
            } else {
                double sum[L];
                for (int l = 0; l < L; ++l) sum[l] = w[0] * data[i * L + l];
                for (int k = 1; k < K; ++k) {
                    const double* p = data + (i + k) * L;
                    for (int l = 0; l < L; ++l) sum[l] += w[k] * p[l];
                }
                for (int k = 1; k < K; ++k) {
                    const double* p = data + (i - k) * L;
                    for (int l = 0; l < L; ++l) sum[l] += w[k] * p[l];
                }
                for (int l = 0; l < L; ++l) out[i * L + l] = sum[l] / fullSum;
            }
            continue;
        }
        double sum[L];
        double ws = w[0];
        for (int l = 0; l < L; ++l) sum[l] = w[0] * data[i * L + l];
        for (int k = 1; k < K; ++k) {
            if (i + k < n) {
                for (int l = 0; l < L; ++l) sum[l] += w[k] * data[(i + k) * L + l];
                ws += w[k];
            } else if (edge) {
                for (int l = 0; l < L; ++l) sum[l] += w[k] * ev;
                ws += w[k];
            }
        }
        for (int k = 1; k < K; ++k) {
            if (i - k >= 0) {
                for (int l = 0; l < L; ++l) sum[l] += w[k] * data[(i - k) * L + l];
                ws += w[k];
            } else if (edge) {
                for (int l = 0; l < L; ++l) sum[l] += w[k] * ev;
                ws += w[k];
            }
        }
        for (int l = 0; l < L; ++l) out[i * L + l] = sum[l] / ws;
    }
}

// The recursive passes over N padded samples of L lanes: bit 0 of `passes` runs the forward
// pass, bit 1 the backward pass.
template <int L>
static inline __attribute__((always_inline)) void RecursivePassesBody(const QWF_Gaussian& g,
                                                                        double* buf, size_t N,
                                                                        int passes)
{
    const double a1 = g.a1, a2 = g.a2, a3 = g.a3, B = g.B;
    const double c0 = B + a1 + a2 + a3;
    const double s123 = a1 + a2 + a3;
    const double s23 = a2 + a3;
    constexpr int NV = L % 4 == 0 ? L / 4 : 1;
    const V4 vB = {B, B, B, B}, v1 = {a1, a1, a1, a1}, v2 = {a2, a2, a2, a2},
             v3 = {a3, a3, a3, a3};
    if (passes & 1) {
        for (int l = 0; l < L; ++l) buf[l] = c0 * buf[l];
        if (N > 1)
            for (int l = 0; l < L; ++l) buf[L + l] = B * buf[L + l] + s123 * buf[l];
        if (N > 2)
            for (int l = 0; l < L; ++l) buf[2 * L + l] = B * buf[2 * L + l] + a1 * buf[L + l] + s23 * buf[l];
        if constexpr (L % 4 == 0) {
            if (N > 3) {
                V4 w1[NV];
                for (int v = 0; v < NV; ++v) w1[v] = *reinterpret_cast<const V4*>(buf + 2 * L + v * 4);
                for (size_t n = 3; n < N; ++n) {
                    double* p = buf + n * L;
                    // Unrolled, so that the previous results stay in registers.
#pragma GCC unroll 8
                    for (int v = 0; v < NV; ++v) {
                        const V4 x = *reinterpret_cast<const V4*>(p + v * 4);
                        const V4 w2 = *reinterpret_cast<const V4*>(p - 2 * L + v * 4);
                        const V4 w3 = *reinterpret_cast<const V4*>(p - 3 * L + v * 4);
                        const V4 r = vB * x + v1 * w1[v] + v2 * w2 + v3 * w3;
                        *reinterpret_cast<V4*>(p + v * 4) = r;
                        w1[v] = r;
                    }
                }
            }
        } else {
            for (size_t n = 3; n < N; ++n) {
                double* p = buf + n * L;
                for (int l = 0; l < L; ++l)
                    p[l] = B * p[l] + a1 * p[l - L] + a2 * p[l - 2 * L] + a3 * p[l - 3 * L];
            }
        }
    }
    if (passes & 2) {
        double* e = buf + (N - 1) * L;
        for (int l = 0; l < L; ++l) e[l] = c0 * e[l];
        if (N > 1)
            for (int l = 0; l < L; ++l) e[l - L] = B * e[l - L] + s123 * e[l];
        if (N > 2)
            for (int l = 0; l < L; ++l) e[l - 2 * L] = B * e[l - 2 * L] + a1 * e[l - L] + s23 * e[l];
        if constexpr (L % 4 == 0) {
            if (N > 3) {
                V4 y1[NV];
                for (int v = 0; v < NV; ++v) y1[v] = *reinterpret_cast<const V4*>(buf + (N - 3) * L + v * 4);
                for (size_t n = N - 3; n-- > 0;) {
                    double* p = buf + n * L;
#pragma GCC unroll 8
                    for (int v = 0; v < NV; ++v) {
                        const V4 x = *reinterpret_cast<const V4*>(p + v * 4);
                        const V4 y2 = *reinterpret_cast<const V4*>(p + 2 * L + v * 4);
                        const V4 y3 = *reinterpret_cast<const V4*>(p + 3 * L + v * 4);
                        const V4 r = vB * x + v1 * y1[v] + v2 * y2 + v3 * y3;
                        *reinterpret_cast<V4*>(p + v * 4) = r;
                        y1[v] = r;
                    }
                }
            }
        } else {
            for (size_t n = N - 3; N > 3 && n-- > 0;) {
                double* p = buf + n * L;
                for (int l = 0; l < L; ++l)
                    p[l] = B * p[l] + a1 * p[l + L] + a2 * p[l + 2 * L] + a3 * p[l + 3 * L];
            }
        }
    }
}

template <int L>
QW_AVX2 static void DirectLanesAvx2(const QWF_Gaussian& g, double* data,
                                    size_t count, double* out)
{
    DirectLanesBody<L>(g, data, count, out);
}

template <int L>
QW_AVX512 static void DirectLanesAvx512(
    const QWF_Gaussian& g, double* data, size_t count, double* out)
{
    DirectLanesBody<L, 8>(g, data, count, out);
}

template <int L>
static void DirectLanesPlain(const QWF_Gaussian& g, double* data, size_t count, double* out)
{
    DirectLanesBody<L>(g, data, count, out);
}

template <int L>
QW_AVX2 static void RecursivePassesAvx2(const QWF_Gaussian& g,
                                        double* buf, size_t N,
                                        int passes = 3)
{
    RecursivePassesBody<L>(g, buf, N, passes);
}

template <int L>
static void RecursivePassesPlain(const QWF_Gaussian& g, double* buf, size_t N, int passes = 3)
{
    RecursivePassesBody<L>(g, buf, N, passes);
}

template <int VW>
struct VecOf;
template <>
struct VecOf<4> {
    typedef double VD __attribute__((vector_size(32), aligned(8)));
};
template <>
struct VecOf<8> {
    typedef double VD __attribute__((vector_size(64), aligned(8)));
};

// The recursive passes over two separate groups of kLanes interleaved lines of N padded
// samples each, step by step side by side: each step of a line waits for its previous one, so
// two groups keep twice as many independent steps in flight. Every lane goes through the same
// operations as in RecursivePassesBody.
template <int VW>
static inline __attribute__((always_inline)) void RecursivePairBody(const QWF_Gaussian& g,
                                                                      double* bufA, double* bufB,
                                                                      size_t N)
{
    typedef typename VecOf<VW>::VD VD;
    constexpr int L = kLanes;
    constexpr int NV = L / VW;
    const double a1 = g.a1, a2 = g.a2, a3 = g.a3, B = g.B;
    const double c0 = B + a1 + a2 + a3;
    const double s123 = a1 + a2 + a3;
    const double s23 = a2 + a3;
    const VD vB = VD{} + B, v1 = VD{} + a1, v2 = VD{} + a2, v3 = VD{} + a3;
    double* const bufs[2] = {bufA, bufB};
    for (double* buf : bufs) {
        for (int l = 0; l < L; ++l) buf[l] = c0 * buf[l];
        if (N > 1)
            for (int l = 0; l < L; ++l) buf[L + l] = B * buf[L + l] + s123 * buf[l];
        if (N > 2)
            for (int l = 0; l < L; ++l) buf[2 * L + l] = B * buf[2 * L + l] + a1 * buf[L + l] + s23 * buf[l];
    }
    if (N > 3) {
        // The previous results stay in registers (the loops over the groups and vectors are
        // unrolled by hand so that the compiler keeps them there).
        VD wa[NV], wb[NV];
#pragma GCC unroll 8
        for (int v = 0; v < NV; ++v) {
            wa[v] = *reinterpret_cast<const VD*>(bufA + 2 * L + v * VW);
            wb[v] = *reinterpret_cast<const VD*>(bufB + 2 * L + v * VW);
        }
        for (size_t n = 3; n < N; ++n) {
            double* pa = bufA + n * L;
            double* pb = bufB + n * L;
#pragma GCC unroll 8
            for (int v = 0; v < NV; ++v) {
                const VD xa = *reinterpret_cast<const VD*>(pa + v * VW);
                const VD xb = *reinterpret_cast<const VD*>(pb + v * VW);
                const VD ra = vB * xa + v1 * wa[v] + v2 * *reinterpret_cast<const VD*>(pa - 2 * L + v * VW) +
                              v3 * *reinterpret_cast<const VD*>(pa - 3 * L + v * VW);
                const VD rb = vB * xb + v1 * wb[v] + v2 * *reinterpret_cast<const VD*>(pb - 2 * L + v * VW) +
                              v3 * *reinterpret_cast<const VD*>(pb - 3 * L + v * VW);
                *reinterpret_cast<VD*>(pa + v * VW) = ra;
                *reinterpret_cast<VD*>(pb + v * VW) = rb;
                wa[v] = ra;
                wb[v] = rb;
            }
        }
    }
    for (double* buf : bufs) {
        double* e = buf + (N - 1) * L;
        for (int l = 0; l < L; ++l) e[l] = c0 * e[l];
        if (N > 1)
            for (int l = 0; l < L; ++l) e[l - L] = B * e[l - L] + s123 * e[l];
        if (N > 2)
            for (int l = 0; l < L; ++l) e[l - 2 * L] = B * e[l - 2 * L] + a1 * e[l - L] + s23 * e[l];
    }
    if (N > 3) {
        VD ya[NV], yb[NV];
#pragma GCC unroll 8
        for (int v = 0; v < NV; ++v) {
            ya[v] = *reinterpret_cast<const VD*>(bufA + (N - 3) * L + v * VW);
            yb[v] = *reinterpret_cast<const VD*>(bufB + (N - 3) * L + v * VW);
        }
        for (size_t n = N - 3; n-- > 0;) {
            double* pa = bufA + n * L;
            double* pb = bufB + n * L;
#pragma GCC unroll 8
            for (int v = 0; v < NV; ++v) {
                const VD xa = *reinterpret_cast<const VD*>(pa + v * VW);
                const VD xb = *reinterpret_cast<const VD*>(pb + v * VW);
                const VD ra = vB * xa + v1 * ya[v] + v2 * *reinterpret_cast<const VD*>(pa + 2 * L + v * VW) +
                              v3 * *reinterpret_cast<const VD*>(pa + 3 * L + v * VW);
                const VD rb = vB * xb + v1 * yb[v] + v2 * *reinterpret_cast<const VD*>(pb + 2 * L + v * VW) +
                              v3 * *reinterpret_cast<const VD*>(pb + 3 * L + v * VW);
                *reinterpret_cast<VD*>(pa + v * VW) = ra;
                *reinterpret_cast<VD*>(pb + v * VW) = rb;
                ya[v] = ra;
                yb[v] = rb;
            }
        }
    }
}

QW_AVX512 static void RecursivePairAvx512(
    const QWF_Gaussian& g, double* bufA, double* bufB, size_t N)
{
    RecursivePairBody<8>(g, bufA, bufB, N);
}

QW_AVX2 static void RecursivePairAvx2(const QWF_Gaussian& g,
                                      double* bufA, double* bufB, size_t N)
{
    RecursivePairBody<4>(g, bufA, bufB, N);
}

static void RecursivePairPlain(const QWF_Gaussian& g, double* bufA, double* bufB, size_t N)
{
    RecursivePairBody<4>(g, bufA, bufB, N);
}

// The kernels of kLanes interleaved lines at each vector level, chosen by the filter's level
// (fixed when the filter is set up, so once per effect call).
struct LaneKernels {
    void (*direct)(const QWF_Gaussian& g, double* data, size_t count, double* out);
    void (*recursive)(const QWF_Gaussian& g, double* buf, size_t N, int passes);
    void (*pair)(const QWF_Gaussian& g, double* bufA, double* bufB, size_t N);
};

const qwp::KernelTable<LaneKernels> kLaneKernels = {
    {DirectLanesPlain<kLanes>, RecursivePassesPlain<kLanes>, RecursivePairPlain},
    {DirectLanesAvx2<kLanes>, RecursivePassesAvx2<kLanes>, RecursivePairAvx2},
    {DirectLanesAvx512<kLanes>, RecursivePassesAvx2<kLanes>, RecursivePairAvx512},
};

static const LaneKernels& KernelsOf(const QWF_Gaussian& g)
{
    return kLaneKernels.At(static_cast<qwp::CpuLevel>(g.level));
}

// Single lines (and any other lane count) always take the plain kernels.
template <int L>
static void RecursivePasses(const QWF_Gaussian& g, double* buf, size_t N, int passes = 3)
{
    if constexpr (L == kLanes) KernelsOf(g).recursive(g, buf, N, passes);
    else RecursivePassesPlain<L>(g, buf, N, passes);
}

template <int L>
static void DirectLanes(const QWF_Gaussian& g, double* data, size_t count, double* out)
{
    if constexpr (L == kLanes) KernelsOf(g).direct(g, data, count, out);
    else DirectLanesPlain<L>(g, data, count, out);
}

template <int L>
double* LanesInput(const QWF_Gaussian& g, size_t count, CQWF_Mem& work)
{
    const size_t total = WorkDoubles(g, count, L);
    const size_t need = (total == 0 ? 0 : (g.direct ? 2 * total : total)) * sizeof(double);
    if (need == 0 && count != 0) {
        work.SetError(QWF_ERR_MEMORY);
        return nullptr;
    }
    if (work.GetSize() < need + sizeof(double) && !work.Alloc(need + sizeof(double)))
        return nullptr;
    double* buf = reinterpret_cast<double*>(work.GetData());
    if (FilterIsIdentity(g, count) || g.direct) return buf;
    return buf + (RecursivePad(g.sigma) / 2) * L;
}

template <int L>
const double* LanesRun(const QWF_Gaussian& g, size_t count, CQWF_Mem& work)
{
    double* buf = reinterpret_cast<double*>(work.GetData());
    if (FilterIsIdentity(g, count)) return buf;
    if (g.direct) {
        DirectLanes<L>(g, buf, count, buf + count * L);
        return buf + count * L;
    }
    const size_t P = RecursivePad(g.sigma);
    const size_t N = count + P;
    const size_t left = P / 2;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    const double* first = buf + left * L;
    const double* last = buf + (left + count - 1) * L;
    for (size_t i = 0; i < left; ++i)
        for (int l = 0; l < L; ++l) buf[i * L + l] = edge ? ev : first[l];
    for (size_t i = left + count; i < N; ++i)
        for (int l = 0; l < L; ++l) buf[i * L + l] = edge ? ev : last[l];
    RecursivePasses<L>(g, buf, N);
    return buf + left * L;
}

// Doubles of one group's space in a work block of two groups.
static size_t GroupDoubles(const QWF_Gaussian& g, size_t count)
{
    const size_t total = WorkDoubles(g, count, kLanes);
    return g.direct ? 2 * total : total;
}

bool LanesInputPair(const QWF_Gaussian& g, size_t count, CQWF_Mem& work, double* in[2])
{
    const size_t group = GroupDoubles(g, count);
    const size_t need = 2 * group * sizeof(double);
    if (need == 0 && count != 0) {
        work.SetError(QWF_ERR_MEMORY);
        return false;
    }
    if (work.GetSize() < need + sizeof(double) && !work.Alloc(need + sizeof(double)))
        return false;
    double* buf = reinterpret_cast<double*>(work.GetData());
    const size_t skip = (FilterIsIdentity(g, count) || g.direct) ? 0 : (RecursivePad(g.sigma) / 2) * kLanes;
    in[0] = buf + skip;
    in[1] = buf + group + skip;
    return true;
}

void LanesRunPair(const QWF_Gaussian& g, size_t count, CQWF_Mem& work, const double* out[2],
                  int groups)
{
    double* bufs[2] = {reinterpret_cast<double*>(work.GetData()),
                       reinterpret_cast<double*>(work.GetData()) + GroupDoubles(g, count)};
    if (FilterIsIdentity(g, count)) {
        out[0] = bufs[0];
        out[1] = bufs[1];
        return;
    }
    constexpr int L = kLanes;
    if (g.direct) {
        for (int b = 0; b < groups; ++b) {
            DirectLanes<L>(g, bufs[b], count, bufs[b] + count * L);
            out[b] = bufs[b] + count * L;
        }
        return;
    }
    const size_t P = RecursivePad(g.sigma);
    const size_t N = count + P;
    const size_t left = P / 2;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    for (int b = 0; b < groups; ++b) {
        double* buf = bufs[b];
        const double* first = buf + left * L;
        const double* last = buf + (left + count - 1) * L;
        for (size_t i = 0; i < left; ++i)
            for (int l = 0; l < L; ++l) buf[i * L + l] = edge ? ev : first[l];
        for (size_t i = left + count; i < N; ++i)
            for (int l = 0; l < L; ++l) buf[i * L + l] = edge ? ev : last[l];
    }
    const LaneKernels& k = KernelsOf(g);
    if (groups == 1) k.recursive(g, bufs[0], N, 3);
    else k.pair(g, bufs[0], bufs[1], N);
    out[0] = bufs[0] + left * L;
    out[1] = bufs[1] + left * L;
}

template <int L>
bool FilterLanes(const QWF_Gaussian& g, double* data, size_t count, CQWF_Mem& work)
{
    if (FilterIsIdentity(g, count)) return true;
    double* in = LanesInput<L>(g, count, work);
    if (!in) return false;
    std::memcpy(in, data, sizeof(double) * L * count);
    const double* out = LanesRun<L>(g, count, work);
    if (g.direct) {
        std::memcpy(data, out, sizeof(double) * L * count);
    } else {
        // The recursive filter limits its results to 0-255.
        for (size_t i = 0; i < count * L; ++i) {
            const double v = out[i];
            data[i] = v < 0 ? 0 : (v > 255 ? 255 : v);
        }
    }
    return true;
}

template bool FilterLanes<1>(const QWF_Gaussian&, double*, size_t, CQWF_Mem&);
template bool FilterLanes<kLanes>(const QWF_Gaussian&, double*, size_t, CQWF_Mem&);
template double* LanesInput<kLanes>(const QWF_Gaussian&, size_t, CQWF_Mem&);
template const double* LanesRun<kLanes>(const QWF_Gaussian&, size_t, CQWF_Mem&);


}  // namespace qwf_fx

namespace {
// The lines left from here are taken as one group of up to kLanes lines, or two groups side by
// side for the recursive filter; returns the number of groups and the lines of each.
int SplitLaneGroups(int64_t left, bool direct, int lanes[2])
{
    lanes[0] = static_cast<int>(left < kLanes ? left : kLanes);
    const int64_t rest = left - kLanes;
    lanes[1] = static_cast<int>(rest <= 0 || direct ? 0 : (rest < kLanes ? rest : kLanes));
    return lanes[1] ? 2 : 1;
}
}  // namespace

bool CQWF_ImageFX::FilterLine(QWF_Gaussian& st)
{
    if (!st.line) return st.count == 0;
    CQWF_Mem local;
    CQWF_Mem& work = st.work ? *st.work : local;
    return FilterLanes<1>(st, st.line, st.count, work);
}

void CQWF_ImageFX::FillFromOpaque(const uint8_t* bytes, double* out, size_t count,
                                  const uint8_t* mask)
{
    if (!bytes || !out || !mask) return;
    FillOpaqueStrided(bytes, 1, mask, 1, count, out, 1);
}

bool CQWF_ImageFX::GrowDoubles(CQWF_Mem& block, size_t count)
{
    const size_t need = count * sizeof(double);
    if (block.GetSize() >= need) return true;
    if (!block.Alloc(need)) {
        SetError(block.GetError());
        return false;
    }
    return true;
}

// Filters the rows of one plane from `from` into `to` (both may be the same set); with a mask
// set, each row is first filled from the pixels whose alpha in that set's alpha plane is not 0.
bool CQWF_ImageFX::FilterRows(const QWF_Gaussian& g, const QWF_PlaneSet& from,
                              const QWF_PlaneSet& to, int plane, const QWF_PlaneSet* maskSet)
{
    const size_t w = static_cast<size_t>(from.width);
    const int64_t h = from.height;
    if (DirectWithoutLanes(g)) {
        // Row by row along the row, a masked row filled first.
        if (!GrowDoubles(m_workBlock, DirectRowWorkDoubles(w))) return false;
        if (maskSet && m_lineBlock.GetSize() < w && !m_lineBlock.Alloc(w)) {
            SetError(m_lineBlock.GetError());
            return false;
        }
        double* work = reinterpret_cast<double*>(m_workBlock.GetData());
        for (int64_t y = 0; y < h; ++y) {
            const uint8_t* row = RowOf(from, plane, y);
            if (maskSet) {
                FillOpaqueBytes(row, 1, RowOf(*maskSet, maskSet->count - 1, y), 1, w,
                                m_lineBlock.GetData(), 1);
                row = m_lineBlock.GetData();
            }
            DirectRow(g, row, RowOf(to, plane, y), w, work);
        }
        return true;
    }
    if (RecursiveOnBytes(g, w)) {
        // Two groups of kLanes rows at a time, masked rows filled first.
        const size_t groupBytes = w * kLanes;
        if (!GrowDoubles(m_workBlock, RecursiveBytesWorkDoubles(g, w))) return false;
        if (m_lineBlock.GetSize() < 4 * groupBytes && !m_lineBlock.Alloc(4 * groupBytes)) {
            SetError(m_lineBlock.GetError());
            return false;
        }
        uint8_t* filled = m_lineBlock.GetData();
        uint8_t* bytes = filled + 2 * groupBytes;
        double* work = reinterpret_cast<double*>(m_workBlock.GetData());
        for (int64_t y0 = 0; y0 < h; y0 += 2 * kLanes) {
            int lanes[2];
            const int groups = SplitLaneGroups(h - y0, false, lanes);
            const uint8_t* rows[2 * kLanes];
            uint8_t* targets[2 * kLanes];
            for (int b = 0; b < groups; ++b) {
                const int64_t yb = y0 + b * kLanes;
                for (int l = 0; l < kLanes; ++l) {
                    const int64_t y = yb + (l < lanes[b] ? l : 0);
                    const uint8_t* row = RowOf(from, plane, y);
                    if (maskSet && l < lanes[b]) {
                        uint8_t* f = filled + static_cast<size_t>(b) * groupBytes + static_cast<size_t>(l) * w;
                        FillOpaqueBytes(row, 1, RowOf(*maskSet, maskSet->count - 1, y), 1, w, f, 1);
                        row = f;
                    } else if (maskSet) {
                        row = rows[b * kLanes];
                    }
                    rows[b * kLanes + l] = row;
                    targets[b * kLanes + l] = RowOf(to, plane, y);
                }
            }
            RecursiveRows(g, w, rows, targets, lanes, groups, bytes, work);
        }
        return true;
    }
    double* in[2];
    if (!LanesInputPair(g, w, m_workBlock, in)) {
        SetError(m_workBlock.GetError() ? m_workBlock.GetError() : int16_t{QWF_ERR_MEMORY});
        return false;
    }
    if (maskSet && m_lineBlock.GetSize() < 2 * w * kLanes && !m_lineBlock.Alloc(2 * w * kLanes)) {
        SetError(m_lineBlock.GetError());
        return false;
    }
    // Groups of kLanes rows, two at a time for the recursive filter (the direct kernel runs
    // through its lines in a smaller work space one group at a time).
    const int64_t step = g.direct ? kLanes : 2 * kLanes;
    for (int64_t y0 = 0; y0 < h; y0 += step) {
        int lanes[2];
        const int groups = SplitLaneGroups(h - y0, g.direct, lanes);
        for (int b = 0; b < groups; ++b) {
            const int64_t yb = y0 + b * kLanes;
            const int lb = lanes[b];
            uint8_t* scratch = maskSet ? m_lineBlock.GetData() + static_cast<size_t>(b) * w * kLanes : nullptr;
            const uint8_t* rows[kLanes];
            for (int l = 0; l < kLanes; ++l) {
                const int64_t y = yb + (l < lb ? l : 0);
                rows[l] = RowOf(from, plane, y);
                if (maskSet && l < lb) {
                    uint8_t* filled = scratch + static_cast<size_t>(l) * w;
                    FillOpaqueBytes(rows[l], 1, RowOf(*maskSet, maskSet->count - 1, y), 1, w, filled, 1);
                    rows[l] = filled;
                } else if (maskSet) {
                    rows[l] = scratch;
                }
            }
            BytesToLanes(rows, w, in[b]);
        }
        const double* out[2];
        LanesRunPair(g, w, m_workBlock, out, groups);
        for (int b = 0; b < 2; ++b) {
            if (!lanes[b]) continue;
            const int64_t yb = y0 + b * kLanes;
            uint8_t* targets[kLanes];
            for (int l = 0; l < kLanes; ++l) targets[l] = RowOf(to, plane, yb + (l < lanes[b] ? l : 0));
            LanesToBytes(out[b], w, targets, lanes[b]);
        }
    }
    return true;
}

bool CQWF_ImageFX::FilterColumns(const QWF_Gaussian& g, const QWF_PlaneSet& from,
                                 const QWF_PlaneSet& to, int plane, const QWF_PlaneSet* maskSet)
{
    const int64_t w = from.width;
    const size_t h = static_cast<size_t>(from.height);
    if (DirectWithoutLanes(g) && !maskSet) {
        // A strip of neighbouring columns at a time down the rows.
        const size_t strips = DirectColumnStrips(static_cast<size_t>(w));
        if (!GrowDoubles(m_workBlock, DirectColumnsWorkDoubles(g) * strips)) return false;
        DirectColumns(g, from.planes[plane], from.stride, to.planes[plane], to.stride,
                               static_cast<size_t>(w), h,
                               reinterpret_cast<double*>(m_workBlock.GetData()), strips);
        return true;
    }
    if (RecursiveOnBytes(g, h) && maskSet) {
        if (!GrowDoubles(m_workBlock, RecursiveBytesWorkDoubles(g, h))) return false;
        if (m_lineBlock.GetSize() < 5 * h * kLanes && !m_lineBlock.Alloc(5 * h * kLanes)) {
            SetError(m_lineBlock.GetError());
            return false;
        }
        RecursiveMaskedColumns(g, from.planes[plane], from.stride,
                               maskSet->planes[maskSet->count - 1], maskSet->stride,
                               to.planes[plane], to.stride, static_cast<size_t>(w), h,
                               m_lineBlock.GetData(), reinterpret_cast<double*>(m_workBlock.GetData()));
        return true;
    }
    if (RecursiveOnBytes(g, h) && !maskSet) {
        if (!GrowDoubles(m_workBlock, RecursiveBytesWorkDoubles(g, h))) return false;
        if (m_lineBlock.GetSize() < h * kLanes && !m_lineBlock.Alloc(h * kLanes)) {
            SetError(m_lineBlock.GetError());
            return false;
        }
        RecursiveColumns(g, from.planes[plane], from.stride, to.planes[plane], to.stride,
                         static_cast<size_t>(w), h, m_lineBlock.GetData(),
                         reinterpret_cast<double*>(m_workBlock.GetData()));
        return true;
    }
    double* in[2];
    if (!LanesInputPair(g, h, m_workBlock, in)) {
        SetError(m_workBlock.GetError() ? m_workBlock.GetError() : int16_t{QWF_ERR_MEMORY});
        return false;
    }
    if (maskSet && m_lineBlock.GetSize() < 3 * h * kLanes && !m_lineBlock.Alloc(3 * h * kLanes)) {
        SetError(m_lineBlock.GetError());
        return false;
    }
    const ptrdiff_t fs = from.stride;
    // Groups of kLanes columns, two at a time for the recursive filter (the direct kernel runs
    // through its lines in a smaller work space one group at a time).
    const int64_t step = g.direct ? kLanes : 2 * kLanes;
    for (int64_t x00 = 0; x00 < w; x00 += step) {
        int lanes[2];
        const int groups = SplitLaneGroups(w - x00, g.direct, lanes);
        for (int b = 0; b < groups; ++b) {
            const int64_t x0 = x00 + b * kLanes;
            const int lb = lanes[b];
            double* data = in[b];
            if (maskSet && lb == kLanes) {
                // Each column and its alpha column turned into a line, filled, and back into
                // lanes.
                uint8_t* lines = m_lineBlock.GetData();
                uint8_t* masks = lines + h * kLanes;
                uint8_t* filled = masks + h * kLanes;
                ColumnsToLines(from.planes[plane] + x0, fs, h, lines, h);
                ColumnsToLines(maskSet->planes[maskSet->count - 1] + x0, maskSet->stride, h, masks, h);
                const uint8_t* rows[kLanes];
                for (int l = 0; l < kLanes; ++l) {
                    const size_t o = static_cast<size_t>(l) * h;
                    FillOpaqueBytes(lines + o, 1, masks + o, 1, h, filled + o, 1);
                    rows[l] = filled + o;
                }
                BytesToLanes(rows, h, data);
            } else if (maskSet) {
                // The group's bytes and alpha side by side, then each column filled down its
                // own alpha column.
                uint8_t* bytes = m_lineBlock.GetData();
                uint8_t* masks = bytes + h * kLanes;
                uint8_t* filled = masks + h * kLanes;
                const ptrdiff_t ms = maskSet->stride;
                const uint8_t* ap = maskSet->planes[maskSet->count - 1];
                for (size_t i = 0; i < h; ++i) {
                    const uint8_t* sp = from.planes[plane] + static_cast<ptrdiff_t>(i) * fs + x0;
                    const uint8_t* m = ap + static_cast<ptrdiff_t>(i) * ms + x0;
                    for (int l = 0; l < kLanes; ++l) {
                        bytes[i * kLanes + l] = sp[l < lb ? l : 0];
                        masks[i * kLanes + l] = m[l < lb ? l : 0];
                    }
                }
                for (int l = 0; l < kLanes; ++l)
                    FillOpaqueBytes(bytes + l, kLanes, masks + l, kLanes, h, filled + l, kLanes);
                for (size_t i = 0; i < h; ++i) BytesToLane16(filled + i * kLanes, data + i * kLanes);
            } else if (lb == kLanes) {
                // Rows a few ahead asked for early: each row is a different cache line.
                const uint8_t* col = from.planes[plane] + x0;
                for (size_t i = 0; i < h; ++i) {
                    if (i + 8 < h) __builtin_prefetch(col + static_cast<ptrdiff_t>(i + 8) * fs);
                    BytesToLane16(col + static_cast<ptrdiff_t>(i) * fs, data + i * kLanes);
                }
            } else {
                for (size_t i = 0; i < h; ++i) {
                    const uint8_t* sp = from.planes[plane] + static_cast<ptrdiff_t>(i) * fs + x0;
                    double* d = data + i * kLanes;
                    for (int l = 0; l < kLanes; ++l) d[l] = sp[l < lb ? l : 0];
                }
            }
        }
        const double* out[2];
        LanesRunPair(g, h, m_workBlock, out, groups);
        const ptrdiff_t ts = to.stride;
        for (int b = 0; b < 2; ++b) {
            if (!lanes[b]) continue;
            const int64_t x0 = x00 + b * kLanes;
            for (size_t i = 0; i < h; ++i)
                Lane16ToBytes(out[b] + i * kLanes, to.planes[plane] + static_cast<ptrdiff_t>(i) * ts + x0, lanes[b]);
        }
    }
    return true;
}

bool CQWF_ImageFX::Blur(double sigma, uint8_t alphaFlag, uint8_t maskFlag)
{
    if (!CheckSameShape()) return false;
    if (std::isnan(sigma) || sigma < 0.1) {
        for (int k = 0; k < m_source.count; ++k) CopyPlane(k);
        return true;
    }
    if (m_source.width == 0 || m_source.height == 0) return true;
    QWF_Gaussian g;
    InitGaussian(sigma, g, &m_workBlock, 0, 0);
    const size_t longest = static_cast<size_t>(
        m_source.width > m_source.height ? m_source.width : m_source.height);
    if (!GrowDoubles(m_lineBlock, longest)) return false;
    const QWF_PlaneSet* mask = (maskFlag && m_source.alpha) ? &m_source : nullptr;
    for (int k = 0; k < m_source.count; ++k) {
        if (m_source.alpha && k == m_source.count - 1 && !alphaFlag) {
            CopyPlane(k);
            continue;
        }
        if (!FilterRows(g, m_source, m_target, k, mask)) return false;
        if (!FilterColumns(g, m_target, m_target, k, nullptr)) return false;
    }
    return true;
}

bool CQWF_ImageFX::Convolve(const int16_t* kernel, uint16_t kw, uint16_t kh, uint8_t alphaFlag)
{
    if (!CheckSameShape()) return false;
    if (!kernel && kw > 0 && kh > 0) { SetError(QWF_ERR_ARGUMENT); return false; }
    const int64_t W = m_source.width, H = m_source.height;
    if (W == 0 || H == 0) return true;
    int planes = m_source.count;
    if (!alphaFlag && m_source.alpha) {
        CopyPlane(m_source.count - 1);
        --planes;
    }
    const int64_t hx = kw / 2, hy = kh / 2;
    int64_t fullSum = 0, absSum = 0;
    for (size_t i = 0; i < static_cast<size_t>(kw) * kh; ++i) {
        fullSum += kernel[i];
        absSum += kernel[i] < 0 ? -kernel[i] : kernel[i];
    }
    if (!GrowDoubles(m_lineBlock, static_cast<size_t>(W))) return false;
    int64_t* acc = reinterpret_cast<int64_t*>(m_lineBlock.GetData());
    int32_t* acc32 = reinterpret_cast<int32_t*>(m_lineBlock.GetData());
    // Inner sums fit 32 bits for every kernel whose magnitudes add up to less than 2^31 / 255.
    const bool narrow = absSum * 255 < (int64_t{1} << 31);
    const ConstDivider inner(fullSum);
    const SumKernels& sums = kSumKernels.InForce();
    for (int k = 0; k < planes; ++k) {
        for (int64_t y = 0; y < H; ++y) {
            uint8_t* t = RowOf(m_target, k, y);
            if (kh == 0 || kw == 0) {
                std::memset(t, 0, static_cast<size_t>(W));
                continue;
            }
            const bool rowsInside = y - hy >= 0 && y - hy + kh - 1 < H;
            // Inner columns (all taps inside horizontally): accumulate tap by tap.
            const int64_t xa = hx, xb = W - (kw - 1 - hx);  // [xa, xb)
            if (rowsInside && xa < xb && narrow) {
                const size_t n = static_cast<size_t>(xb - xa);
                std::memset(acc32 + xa, 0, n * sizeof(int32_t));
                for (int64_t j = 0; j < kh; ++j) {
                    const uint8_t* s = RowOf(m_source, k, y - hy + j);
                    for (int64_t i = 0; i < kw; ++i) {
                        const int32_t wv = kernel[j * kw + i];
                        if (wv) sums.accumulate(acc32 + xa, s + i - hx + xa, wv, n);
                    }
                }
                sums.divide(acc32 + xa, t + xa, n, static_cast<int32_t>(fullSum));
            } else if (rowsInside && xa < xb) {
                for (int64_t x = xa; x < xb; ++x) acc[x] = 0;
                for (int64_t j = 0; j < kh; ++j) {
                    const uint8_t* s = RowOf(m_source, k, y - hy + j);
                    for (int64_t i = 0; i < kw; ++i) {
                        const int64_t wv = kernel[j * kw + i];
                        if (!wv) continue;
                        const uint8_t* sp = s + i - hx;
                        for (int64_t x = xa; x < xb; ++x) acc[x] += wv * sp[x];
                    }
                }
                for (int64_t x = xa; x < xb; ++x) t[x] = inner(acc[x]);
            }
            for (int64_t x = 0; x < W; ++x) {
                if (rowsInside && x >= xa && x < xb) {
                    x = xb - 1;
                    continue;
                }
                int64_t sum = 0, ws = 0;
                for (int64_t j = 0; j < kh; ++j) {
                    const int64_t yy = y - hy + j;
                    if (yy < 0 || yy >= H) continue;
                    const uint8_t* s = RowOf(m_source, k, yy);
                    for (int64_t i = 0; i < kw; ++i) {
                        const int64_t xx = x + i - hx;
                        if (xx < 0 || xx >= W) continue;
                        const int64_t wv = kernel[j * kw + i];
                        ws += wv;
                        sum += wv * s[xx];
                    }
                }
                t[x] = DivClamp(sum, ws);
            }
        }
    }
    return true;
}

bool CQWF_ImageFX::Sharpen(uint8_t alphaFlag)
{
    static const int16_t kSharpen[9] = {-1, -2, -1, -2, 40, -2, -1, -2, -1};
    return Convolve(kSharpen, 3, 3, alphaFlag);
}
