// The direct Gaussian filter without lanes: the integer weights of a filter, the work space and
// the kernels of the filter's vector level (qwf_imagefx_direct.h).
#include <cmath>

#include "framework/imaging/qwf_imagefx_direct.h"
#include "platform/qw_cpu.h"

namespace qwf_fx {
namespace direct {

double FullSum(const QWF_Gaussian& g)
{
    const int K = g.kernelCount;
    double s = g.kernel[0];
    for (int k = 1; k < K; ++k) s += g.kernel[k];
    for (int k = 1; k < K; ++k) s += g.kernel[k];
    return s;
}

ByteWeights MakeByteWeights(const QWF_Gaussian& g, double fs)
{
    ByteWeights b;
    const int K = g.kernelCount;
    if (K < 2 || K > kMaxTaps || !(fs > 0)) return b;
    double c[kMaxTaps], top = 0;
    for (int k = 1; k < K; ++k) {
        c[k] = g.kernel[k] / fs;
        if (!(c[k] >= 0 && c[k] <= 0.5)) return b;
        if (c[k] > top) top = c[k];
    }
    int P = 21;
    while (P > 16 && top * static_cast<double>(int64_t{1} << P) > 32767.0) --P;
    if (top * static_cast<double>(int64_t{1} << P) > 32767.0) return b;
    for (int k = 1; k < K; ++k) {
        b.q[k] = static_cast<int16_t>(std::nearbyint(c[k] * static_cast<double>(int64_t{1} << P)));
        b.fine[k] = static_cast<int64_t>(std::nearbyint(c[k] * static_cast<double>(int64_t{1} << kFineBits)));
    }
    b.shift = P;
    b.limit = (int32_t{1} << (P + 1)) - (int32_t{1} << (P - 16)) - 1;
    return b;
}

__attribute__((noinline)) void ExactPosition(const QWF_Gaussian& g, const ByteWeights& b,
                                             const int16_t* t, ptrdiff_t stride, double fs,
                                             size_t at, uint8_t* out)
{
    const int K = g.kernelCount;
    const ptrdiff_t p = static_cast<ptrdiff_t>(at);
    const int64_t a0 = t[p];
    constexpr int64_t kOne = int64_t{1} << kFineBits;
    int64_t sum = a0 * kOne;
    for (int k = 1; k < K; ++k) sum += b.fine[k] * (t[k * stride + p] + t[-k * stride + p] - 2 * a0);
    if ((sum & (kOne - 1)) <= kOne - (int64_t{1} << 32)) {
        const int64_t m = sum >> kFineBits;
        out[at] = static_cast<uint8_t>(m < 0 ? 0 : (m > 255 ? 255 : m));
        return;
    }
    out[at] = ToByte(PositionSum(g.kernel, K, t, stride, at) / fs);
}

namespace {
const qwp::KernelTable<DirectKernels> kDirect = {kDirectPlain, kDirectAvx2, kDirectAvx512};
}  // namespace

}  // namespace direct

using namespace direct;

size_t DirectRowWorkDoubles(size_t count) { return (count + 2 * kRowMargin) / 4 + 1; }

size_t DirectColumnsWorkDoubles(const QWF_Gaussian& g)
{
    return (StripRingSamples(g.kernelCount) + 3) / 4;
}

size_t DirectColumnStrips(size_t w)
{
    return (w + kStrip - 1) / kStrip;
}

bool DirectWithoutLanes(const QWF_Gaussian& g)
{
    return g.direct && g.sigma >= 0.1 && MakeByteWeights(g, FullSum(g)).shift != 0;
}

void DirectRow(const QWF_Gaussian& g, const uint8_t* in, uint8_t* out, size_t count, double* work)
{
    if (count == 0) return;
    kDirect.At(static_cast<qwp::CpuLevel>(g.level))
        .row(g, MakeByteWeights(g, FullSum(g)), in, out, count, reinterpret_cast<int16_t*>(work));
}

void DirectColumns(const QWF_Gaussian& g, const uint8_t* from, ptrdiff_t fromStride, uint8_t* to,
                   ptrdiff_t toStride, size_t w, size_t h, double* work, size_t rings)
{
    if (w == 0 || h == 0) return;
    kDirect.At(static_cast<qwp::CpuLevel>(g.level))
        .columns(g, MakeByteWeights(g, FullSum(g)), from, fromStride, to, toStride, w, h,
                 reinterpret_cast<int16_t*>(work), rings == 0 ? 1 : rings);
}

}  // namespace qwf_fx
