#include "plugin/main/preview_source.h"

#include "framework/core/qwf_mem.h"

#include <cstring>

bool LoadPreviewSource(CPluginMain& plugin, CQWF_Image& out)
{
    const QWF_HostInfo& in = *plugin.GetHostInfo();
    const int32_t w = plugin.GetWorkingWidth();
    const int32_t h = plugin.GetWorkingHeight();
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535 || in.right - in.left != w ||
        in.bottom - in.top != h)
        return false;
    if (in.layout > 2) {
        plugin.SetResultBadParameters();
        return false;
    }
    if (!out.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2))
        return false;
    uint8_t* rgb[3] = {out.GetPlane(0), out.GetPlane(1), out.GetPlane(2)};
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (in.layout == 1) {
        for (int i = 0; i < 3; ++i)
            if (!plugin.ReadPlane(i, in.left, in.top, in.right, in.bottom, rgb[i], w))
                return false;
    } else {
        // CMYK planes are read into the image's own planes (the alpha plane taking black) and
        // made RGB in place, row by row; a grey plane is read into the alpha plane.
        const int n = in.layout == 2 ? 4 : 1;
        uint8_t* planes[4] = {out.GetPlane(0), out.GetPlane(1), out.GetPlane(2), out.GetPlane(3)};
        if (n == 1)
            planes[0] = out.GetPlane(3);
        for (int i = 0; i < n; ++i)
            if (!plugin.ReadPlane(i, in.left, in.top, in.right, in.bottom, planes[i], w))
                return false;
        for (int32_t y = 0; y < h; ++y) {
            const int64_t o = static_cast<int64_t>(y) * w;
            const uint8_t* src[4] = {planes[0] + o, planes[1] + o, planes[2] + o, planes[3] + o};
            uint8_t* dst[3] = {rgb[0] + o, rgb[1] + o, rgb[2] + o};
            if (!plugin.MakeRGBRows(src, dst, static_cast<size_t>(w))) {
                plugin.SetResultBadParameters();
                return false;
            }
        }
    }
    uint8_t* alpha = out.GetPlane(3);
    const uint8_t* mask = plugin.GetMask();
    if (!mask) {
        std::memset(alpha, 255, area);
    } else if (plugin.GetMaskStride() == 0) {
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(alpha + static_cast<int64_t>(y) * w, mask, static_cast<size_t>(w));
    } else {
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(alpha + static_cast<int64_t>(y) * w, mask + y * plugin.GetMaskStride(),
                        static_cast<size_t>(w));
    }
    return true;
}
