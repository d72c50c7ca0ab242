// Plane buffers for the pixel-effect tests.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/imaging/qwf_imagefx.h"
#include "platform/qw_random.h"
#include "support/test_support.h"

namespace fxtest {

// count planes of width x height bytes, rows `stride` bytes apart, planes one after the other;
// the last plane's last pixel is the last byte before a page that may not be touched.
struct Planes {
    int count = 0, width = 0, height = 0, stride = 0;
    bool alpha = false;
    qwtest::GuardedBytes data;

    Planes() = default;
    Planes(int c, int w, int h, bool a, int pad = 0, uint8_t fill = 0)
        : count(c), width(w), height(h), stride(w + pad), alpha(a),
          data(c > 0 && h > 0 ? static_cast<size_t>(c) * (w + pad) * h - pad : 0, fill)
    {
    }
    uint8_t* Plane(int k) { return data.data() + static_cast<size_t>(k) * stride * height; }
    uint8_t& At(int k, int x, int y) { return Plane(k)[static_cast<size_t>(y) * stride + x]; }
    uint8_t Get(int k, int x, int y) const
    {
        return data[static_cast<size_t>(k) * stride * height + static_cast<size_t>(y) * stride + x];
    }
    void FillPlane(int k, uint8_t v)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) At(k, x, y) = v;
    }
    void Randomise(int k)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) At(k, x, y) = static_cast<uint8_t>(qwp::Random15() & 255);
    }
    void RandomiseAll()
    {
        for (int k = 0; k < count; ++k) Randomise(k);
    }
    bool SamePlane(const Planes& o, int k) const
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (Get(k, x, y) != o.Get(k, x, y)) return false;
        return true;
    }
    void AsSource(CQWF_ImageFX& fx)
    {
        fx.SetSourceBuffer(Plane(0), stride, static_cast<uint8_t>(count), alpha ? 1 : 0,
                           static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    }
    void AsTarget(CQWF_ImageFX& fx)
    {
        fx.SetTargetBuffer(Plane(0), stride, static_cast<uint8_t>(count), alpha ? 1 : 0,
                           static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    }
};

inline void Bind(CQWF_ImageFX& fx, Planes& src, Planes& dst)
{
    src.AsSource(fx);
    dst.AsTarget(fx);
}

}  // namespace fxtest
