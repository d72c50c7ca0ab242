// Helpers shared by the pixel-effect sources (not part of the public interface).
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/imaging/qwf_imagefx.h"

namespace qwf_fx {

// Lines filtered together by the blurs.
constexpr int kLanes = 8;

inline uint8_t* RowOf(const QWF_PlaneSet& s, int plane, int64_t y)
{
    return s.planes[plane] + y * static_cast<int64_t>(s.stride);
}

inline int ColourPlanesOf(const QWF_PlaneSet& s) { return s.count - (s.alpha ? 1 : 0); }

// A filtered value back to a byte: through single precision, truncated toward zero.
inline uint8_t ToByte(double v)
{
    const float f = static_cast<float>(v);
    if (!(f > 0.0f)) return 0;
    if (f >= 255.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(f));
}

// sum / weight truncated toward zero and limited to 0-255; 0 when the weight is 0.
inline uint8_t DivClamp(int64_t sum, int64_t weight)
{
    if (weight == 0) return 0;
    if (sum == 0 || ((sum < 0) != (weight < 0))) return 0;
    const uint64_t s = sum < 0 ? static_cast<uint64_t>(-sum) : static_cast<uint64_t>(sum);
    const uint64_t w = weight < 0 ? static_cast<uint64_t>(-weight) : static_cast<uint64_t>(weight);
    if (s >= 255 * w) return 255;
    return static_cast<uint8_t>(s / w);
}

// Padding of the recursive filter (7 sigma); 0 when sigma cannot be padded.
size_t RecursivePad(double sigma);

// Filters `L` interleaved lines of `count` samples in place (sample i of line l at i * L + l).
template <int L>
bool FilterLanes(const QWF_Gaussian& g, double* data, size_t count, CQWF_Mem& work);

// Fills a line from the bytes whose mask is not 0 (see CQWF_ImageFX::FillFromOpaque), reading
// and writing with steps.
void FillOpaqueStrided(const uint8_t* bytes, ptrdiff_t bstep, const uint8_t* mask,
                       ptrdiff_t mstep, size_t count, double* out, size_t ostep);

}  // namespace qwf_fx
