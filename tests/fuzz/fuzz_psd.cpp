// Reads arbitrary bytes as a PSD file: the header, the merged image and the layers, and touches
// every plane that was read.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "framework/imaging/qwf_psd.h"

namespace {
void Touch(const uint8_t* p, size_t n)
{
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < n; ++i) sink = sink ^ p[i];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        CQWF_ImagePSD info;
        info.ReadInfo(data, size);
    }
    CQWF_ImagePSD merged;
    if (merged.ReadImage(data, size)) {
        uint16_t w = 0, h = 0;
        merged.GetSize(w, h);
        for (int k : {0, 1, 2, 3, QWF_PLANE_ALPHA})
            if (const uint8_t* p = merged.GetPlaneData(k)) Touch(p, size_t(w) * h);
    }
    CQWF_ImagePSD layers;
    if (layers.Read(data, size)) {
        for (int64_t i = 0; i < layers.GetReadLayerCount(); ++i) {
            const QWF_PSDLayer* l = layers.GetReadLayer(i);
            if (!l) continue;
            if (l->width <= 0 || l->height <= 0) continue;
            for (int k = 0; k < 5; ++k)
                for (int y = 0; l->planes[k] && y < l->height; ++y)
                    Touch(l->planes[k] + int64_t(y) * l->stride, size_t(l->width));
        }
    }
    return 0;
}
