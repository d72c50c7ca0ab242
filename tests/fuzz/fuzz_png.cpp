// Reads arbitrary bytes as a PNG file, header and pixels, and touches every plane that was read.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "framework/imaging/qwf_png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        CQWF_ImagePNG info;
        info.ReadInfo(data, size);
    }
    CQWF_ImagePNG png;
    if (!png.ReadImage(data, size)) return 0;
    uint16_t w = 0, h = 0;
    png.GetSize(w, h);
    volatile uint8_t sink = 0;
    for (int k : {0, 1, 2, 3, QWF_PLANE_ALPHA})
        if (const uint8_t* p = png.GetPlaneData(k))
            for (size_t i = 0; i < size_t(w) * h; ++i) sink = sink ^ p[i];
    return 0;
}
