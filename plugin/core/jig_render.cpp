// Piece rendering: the working image of a piece receives the image planes of its box with the cut
// mask as alpha. The effect steps are not built yet; the effect settings stay as they are.
#include <cstring>

#include "plugin/core/jigcrafter.h"

bool CJigcrafter::RenderPiece(int32_t index)
{
    JigPiece* p = GetPiece(index);
    if (!p) return false;
    const int32_t planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    const int64_t w = p->Width();
    const int64_t h = p->Height();
    for (int32_t i = 0; i < planes && i < kJigMaxPlanes; ++i) {
        const uint8_t* src = p->source[i];
        uint8_t* dst = p->workPlane[i];
        if (!dst) continue;
        for (int64_t y = 0; y < h; ++y) {
            if (src)
                std::memcpy(dst + y * p->workStride[i], src + y * p->sourceStride[i],
                            static_cast<size_t>(w));
            else
                std::memset(dst + y * p->workStride[i], 0, static_cast<size_t>(w));
        }
    }
    // Opacity acts when compositing.
    p->opacity[kJigApplied] = p->opacity[kJigToApply];
    return true;
}
