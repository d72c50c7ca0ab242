// Piece rendering and compositing: a piece's working image receives the image planes of its box
// with the cut mask as alpha, then its effects in a fixed order; the composite lays the shown
// pieces over a target plane set.
#include <cstdint>
#include <cstring>

#include "plugin/core/jig_composite.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effects.h"
#include "plugin/core/qw_8bfplugin.h"

namespace {

constexpr int32_t kWhole = -32000;
constexpr int32_t kEffectLimit = 65535;  // the effects object takes 16-bit sizes

}  // namespace

void CJigcrafter::BindPieceBuffers(int direction, int32_t index)
{
    BindPieceBuffersIn(m_work, direction, index);
}

void CJigcrafter::BindPieceBuffersIn(JigRenderWork& wk, int direction, int32_t index)
{
    JigPiece* p = GetPiece(index);
    if (!p) return;
    const uint8_t count = m_scratchPlaneCount;
    uint8_t* scratch[5] = {};
    uint8_t* work[5] = {};
    for (int i = 0; i < count && i < kJigMaxPlanes; ++i) {
        scratch[i] = wk.scratchPlanes[i];
        work[i] = p->workPlane[i];
    }
    const auto w = static_cast<uint16_t>(p->Width());
    const auto h = static_cast<uint16_t>(p->Height());
    const auto scratchStride = static_cast<int32_t>(wk.scratchStride);
    const auto workStride = static_cast<int32_t>(p->workStride[0]);
    if (direction == 2) {
        uint8_t* source[5] = {};
        for (int i = 0; i + 1 < count && i < kJigMaxPlanes; ++i)
            source[i] = const_cast<uint8_t*>(p->source[i]);
        if (count <= kJigMaxPlanes) source[count - 1] = wk.sourceMask.GetData();
        wk.effects.SetSourcePlanes(source, static_cast<int32_t>(p->sourceStride[0]), count, 1, w, h);
        wk.effects.SetTargetPlanes(work, workStride, count, 1, w, h);
    } else if (direction == 1) {
        wk.effects.SetSourcePlanes(scratch, scratchStride, count, 1, w, h);
        wk.effects.SetTargetPlanes(work, workStride, count, 1, w, h);
    } else if (direction == 3) {
        wk.effects.SetSourcePlanes(work, workStride, count, 1, w, h);
        wk.effects.SetTargetPlanes(work, workStride, count, 1, w, h);
    } else {
        wk.effects.SetSourcePlanes(work, workStride, count, 1, w, h);
        wk.effects.SetTargetPlanes(scratch, scratchStride, count, 1, w, h);
    }
}

void CJigcrafter::LoadImageOverlay(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                   bool automatic, int32_t layerId)
{
    LoadImageOverlayIn(m_work, left, top, right, bottom, automatic, layerId);
}

void CJigcrafter::LoadImageOverlayIn(JigRenderWork& wk, int32_t left, int32_t top, int32_t right,
                                     int32_t bottom, bool automatic, int32_t layerId)
{
    const QWF_PlaneSet& target = wk.effects.Target();
    const int64_t w = static_cast<int64_t>(right) - left;
    const int64_t h = static_cast<int64_t>(bottom) - top;
    auto clear = [&]() {
        for (int i = 0; i < target.count && i < kJigMaxPlanes; ++i) {
            if (!target.planes[i]) continue;
            for (int64_t y = 0; y < h && y < target.height; ++y)
                std::memset(target.planes[i] + y * target.stride, 0,
                            static_cast<size_t>(w < target.width ? w : target.width));
        }
    };
    if (w <= 0 || h <= 0) return;
    // Every way out without a layer's pixels leaves the target 0; a layer read overwrites it
    // wholly, so it is not cleared first.
    auto* host = static_cast<CQWF_8BFPluginVirtual*>(m_hostLayer);
    if (!m_layersAvailable || !host) return clear();
    // The table holds every layer's bounds over the whole document; it is built once per run
    // (the first overlay after SetLayers), not once per piece.
    if (!m_layerTableBuilt) {
        m_layerTableBuilt = true;
        host->BuildLayerTable(kWhole, kWhole, kWhole, kWhole, true);
    }
    size_t layerCount = 0;
    const QWF_LayerEntry* layers = host->GetLayerTable(layerCount);
    if (!layers || layerCount == 0) return clear();

    // The box in document coordinates.
    const QWF_HostInfo* info = host->GetHostInfo();
    const int32_t dl = left + info->docLeft;
    const int32_t dt = top + info->docTop;
    const int32_t dr = right + info->docLeft;
    const int32_t db = bottom + info->docTop;
    auto usable = [&](const QWF_LayerEntry& e) {
        return e.left != kWhole && e.left < e.right && e.top < e.bottom && e.left <= dl &&
               e.top <= dt && e.right >= dr && e.bottom >= db;
    };
    const QWF_LayerEntry* chosen = nullptr;
    if (automatic) {
        int64_t best = 0;
        for (size_t i = 0; i < layerCount; ++i) {
            const QWF_LayerEntry& e = layers[i];
            if (e.id == -1 || !usable(e)) continue;
            const int64_t area =
                (static_cast<int64_t>(e.right) - e.left) * (static_cast<int64_t>(e.bottom) - e.top);
            if (!chosen || area <= best) {  // a later layer wins a tie
                chosen = &e;
                best = area;
            }
        }
    } else if (layerId != -2) {
        for (size_t i = 0; i < layerCount; ++i)
            if (layers[i].id == layerId) {
                if (usable(layers[i])) chosen = &layers[i];
                break;
            }
    }
    if (!chosen) return clear();

    // The host reads rows of exactly the box's width; the target may have a wider stride.
    const int n = target.count;
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (m_overlay.GetSize() < area * static_cast<size_t>(n) &&
        !m_overlay.Alloc(area * static_cast<size_t>(n)))
        return clear();
    uint8_t* planes[5] = {};
    for (int i = 0; i < n && i < kJigMaxPlanes; ++i) planes[i] = m_overlay.GetData() + area * i;
    if (!host->ReadLayerPlanes(chosen->id, planes, static_cast<int32_t>(w),
                               static_cast<int32_t>(h), n, dl, dt, dr, db)) {
        clear();
        return;
    }
    for (int i = 0; i < n && i < kJigMaxPlanes; ++i)
        for (int64_t y = 0; y < h; ++y)
            std::memcpy(target.planes[i] + y * target.stride, planes[i] + y * w,
                        static_cast<size_t>(w));
}

bool CJigcrafter::RenderPiece(int32_t index)
{
    return RenderPieceIn(m_work, index, true);
}

bool CJigcrafter::RenderPieceIn(JigRenderWork& wk, int32_t index, bool report)
{
    JigPiece* p = GetPiece(index);
    if (!p) return false;
    const int32_t planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    const int64_t w = p->Width();
    const int64_t h = p->Height();

    // The scratch image is sized by the cut to the widest and tallest piece; a piece table
    // changed since then gets room here.
    if (w > wk.scratchStride || h > wk.scratchHeight || !wk.scratchPlanes[planes - 1]) {
        const int64_t sw = w > wk.scratchStride ? w : wk.scratchStride;
        const int64_t sh = h > wk.scratchHeight ? h : wk.scratchHeight;
        const size_t planeBytes = static_cast<size_t>(sw) * static_cast<size_t>(sh);
        if (!wk.scratch.Alloc(planeBytes * static_cast<size_t>(planes))) {
            // The old image went with the failed allocation: none is left.
            wk.DropScratch();
            if (report) ShowError("Memory allocation problem...", "Error!");
            return false;
        }
        wk.scratchStride = sw;
        wk.scratchHeight = static_cast<int32_t>(sh);
        for (int i = 0; i < kJigMaxPlanes; ++i)
            wk.scratchPlanes[i] =
                i < planes ? wk.scratch.GetData() + static_cast<size_t>(i) * planeBytes : nullptr;
    }

    // The rendered image: made by the first render of the piece, kept for the later ones.
    if (!AllocRender(*p)) {
        if (report) ShowError("Memory allocation problem...", "Error!");
        return false;
    }

    // 1. The box's bytes of every colour plane; the last plane is the cut mask (alpha). Colour
    // planes of one row stride are read where they are, with the cut mask laid out in rows of
    // that stride; others are copied to the scratch image.
    const int64_t sourceStride = p->sourceStride[0];
    bool inPlace = wk.readInPlace && w > 0 && h > 0 && planes >= 2 && planes <= kJigMaxPlanes && sourceStride >= w &&
                   sourceStride <= INT32_MAX;
    for (int32_t i = 0; inPlace && i + 1 < planes; ++i)
        inPlace = p->source[i] && p->sourceStride[i] == sourceStride;
    if (inPlace) {
        const size_t maskBytes = static_cast<size_t>(sourceStride) * static_cast<size_t>(h - 1) +
                                 static_cast<size_t>(w) + kMaskRowSlack;
        if (wk.sourceMask.GetSize() < maskBytes && !wk.sourceMask.Alloc(maskBytes)) inPlace = false;
    }
    if (inPlace) {
        ReadPieceMaskWithSlack(index, wk.sourceMask.GetData(), sourceStride);
    } else {
        for (int32_t i = 0; i + 1 < planes && i < kJigMaxPlanes; ++i) {
            const uint8_t* src = p->source[i];
            uint8_t* dst = wk.scratchPlanes[i];
            for (int64_t y = 0; y < h; ++y) {
                if (src)
                    std::memcpy(dst + y * wk.scratchStride, src + y * p->sourceStride[i],
                                static_cast<size_t>(w));
                else
                    std::memset(dst + y * wk.scratchStride, 0, static_cast<size_t>(w));
            }
        }
        if (planes <= kJigMaxPlanes)
            ReadPieceMask(index, wk.scratchPlanes[planes - 1], wk.scratchStride);
    }

    // 2. Opacity acts when compositing.
    p->opacity[kJigApplied] = p->opacity[kJigToApply];

    // 3. The effects. `at` tells where the current result lies: 2 the source planes read in
    // place, 1 the scratch image, 0 the working planes.
    int at = inPlace ? 2 : 1;
    // The effects object takes 16-bit sizes: a larger box keeps its plain copy.
    const bool effectsFit = w <= kEffectLimit && h <= kEffectLimit;
    auto bind = [&]() { BindPieceBuffersIn(wk, at, index); };
    // An effect that fails leaves its target unwritten: the result stays where it was.
    auto done = [&](bool ok) {
        if (ok) at = at == 0 ? 1 : 0;
    };
    const uint8_t layout = m_colourLayout;
    const qwjig::ColourForm form = qwjig::ColourFormOf(planes, layout);
    const int T = kJigToApply;
    const int A = kJigApplied;

    // Invert.
    if (p->invert[T] && effectsFit) {
        bind();
        done(wk.effects.Invert());
    }
    p->invert[A] = p->invert[T];

    // Image overlay, only with document layers.
    if (m_layersAvailable) {
        if (p->imageOverlay[T].on && effectsFit) {
            bind();
            LoadImageOverlayIn(wk, p->left, p->top, p->right, p->bottom,
                               p->imageOverlay[T].layerChoice == 0, p->imageOverlay[T].layerId);
            done(wk.effects.BlendSource(p->imageOverlay[T].opacity));
        }
        p->imageOverlay[A] = p->imageOverlay[T];
    }

    // Colour overlay; a fully opaque one makes the blurs pointless.
    bool blursOff = false;
    if (p->colourOverlay[T].on && effectsFit) {
        bind();
        done(qwjig::RunColourOverlay(wk.effects, p->colourOverlay[T], form));
        if (p->colourOverlay[T].opacity == 255) blursOff = true;
    }
    p->colourOverlay[A] = p->colourOverlay[T];

    // Hue/saturation/lightness, RGB only.
    if (p->hsl[T].on && layout == 1 && effectsFit) {
        bind();
        done(qwjig::RunHsl(wk.effects, p->hsl[T]));
    }
    p->hsl[A] = p->hsl[T];

    // Brightness/contrast.
    if (p->brightContrast[T].on && effectsFit) {
        bind();
        done(qwjig::RunBrightContrast(wk.effects, p->brightContrast[T]));
    }
    p->brightContrast[A] = p->brightContrast[T];

    // Motion blur.
    if (p->motionBlur[T].on && !blursOff && effectsFit) {
        bind();
        done(qwjig::RunMotionBlur(wk.effects, p->motionBlur[T]));
    }
    p->motionBlur[A] = p->motionBlur[T];

    // Gaussian blur.
    if (p->blur[T].on && !blursOff && effectsFit) {
        bind();
        done(qwjig::RunBlur(wk.effects, p->blur[T]));
    }
    p->blur[A] = p->blur[T];

    // Stroke.
    if (p->stroke[T].on && effectsFit) {
        bind();
        done(qwjig::RunStroke(wk.effects, p->stroke[T], form));
    }
    p->stroke[A] = p->stroke[T];

    // Bevel.
    if (p->bevel[T].on && effectsFit) {
        // A lit pixel's colour depends on its own colour and the alpha's height map alone, and
        // the alpha stays: on the working planes the bevel runs in place, so that their flat
        // pixels are neither copied to the scratch image nor back.
        const bool inWork = at == 0;
        BindPieceBuffersIn(wk, inWork ? 3 : at, index);
        const bool ok = qwjig::RunBevel(wk.effects, p->bevel[T], form);
        if (!inWork) done(ok);
    }
    p->bevel[A] = p->bevel[T];

    // 4. A result still in the scratch image or the source goes to the working planes.
    if (at != 0) {
        for (int32_t i = 0; i < planes && i < kJigMaxPlanes; ++i) {
            const uint8_t* from = at == 1 ? wk.scratchPlanes[i]
                                  : i + 1 < planes ? p->source[i]
                                                   : wk.sourceMask.GetData();
            const int64_t fromStride = at == 1 ? wk.scratchStride : sourceStride;
            for (int64_t y = 0; y < h; ++y)
                std::memcpy(p->workPlane[i] + y * p->workStride[i], from + y * fromStride,
                            static_cast<size_t>(w));
        }
    }
    return true;
}

bool CJigcrafter::Composite(int32_t width, int32_t height, uint8_t* const* planes, int64_t stride,
                            int32_t planeCount, const uint8_t* maskPlane, int64_t maskStride,
                            int32_t left, int32_t top, int32_t right, int32_t bottom,
                            bool unionMode, double from, double to)
{
    // 1.
    if (m_pieceCount <= 0) return true;
    if (!planes || planeCount < 2 || planeCount > kJigMaxPlanes || width <= 0 || height <= 0)
        return false;
    // 2.
    if (SetProgress(0, from, to) && CheckCancel()) return false;
    QWF_Rect r{0, 0, width, height};
    if (!(left == kWhole && top == kWhole && right == kWhole && bottom == kWhole)) {
        r.left = left > 0 ? left : 0;
        r.top = top > 0 ? top : 0;
        r.right = right < width ? right : width;
        r.bottom = bottom < height ? bottom : height;
    }
    if (r.left >= r.right || r.top >= r.bottom) return true;
    // 3.
    if (SetProgress(1, from, to) && CheckCancel()) return false;
    uint8_t* const alphaPlane = planes[planeCount - 1];
    const size_t rectWidth = static_cast<size_t>(r.right - r.left);
    for (int64_t y = r.top; y < r.bottom; ++y)
        std::memset(alphaPlane + y * stride + r.left, 0, rectWidth);
    // 4.
    if (SetProgress(5, from, to) && CheckCancel()) return false;
    for (int32_t k = 0; k < m_pieceCount; ++k) {
        const double percent = 5.0 + 85.0 * static_cast<double>(k) / m_pieceCount;
        if (SetProgress(percent, from, to) && CheckCancel()) return false;
        CompositePiece(GetPieces()[k], r, planes, stride, planeCount, unionMode);
    }
    // 5.
    if (SetProgress(90, from, to) && CheckCancel()) return false;
    if (maskPlane) {
        for (int64_t y = r.top; y < r.bottom; ++y) {
            uint8_t* da = alphaPlane + y * stride;
            const uint8_t* m = maskPlane + y * maskStride;
            for (int32_t x = r.left; x < r.right; ++x)
                if (m[x] < da[x]) da[x] = m[x];
        }
    }
    // 6.
    SetProgress(100, from, to);
    return !CheckCancel();
}

void CJigcrafter::CompositePiece(const JigPiece& p, const QWF_Rect& r, uint8_t* const* planes,
                                 int64_t stride, int32_t planeCount, bool unionMode)
{
    const int32_t colourPlanes = planeCount - 1;
    uint8_t* const alphaPlane = planes[planeCount - 1];
    const JigOpacityFx& op = p.opacity[kJigApplied];
    if (!p.shown || (op.on && op.value == 0)) return;
    int z = 255;
    int mode = unionMode ? 0 : 1;
    if (op.on) {
        z = op.value;
        mode += z != 255 ? 2 : 0;
    }
    const int32_t x0 = p.left > r.left ? p.left : r.left;
    const int32_t y0 = p.top > r.top ? p.top : r.top;
    const int32_t x1 = p.right < r.right ? p.right : r.right;
    const int32_t y1 = p.bottom < r.bottom ? p.bottom : r.bottom;
    if (x0 >= x1 || y0 >= y1) return;
    const int32_t pieceColour = m_scratchPlaneCount > 0 ? m_scratchPlaneCount - 1 : 0;
    const int32_t nc = colourPlanes < pieceColour ? colourPlanes : pieceColour;
    const uint8_t* pieceAlpha = p.workPlane[pieceColour];
    if (!pieceAlpha) return;
    const int64_t ps = p.workStride[pieceColour];
    const uint8_t* pieceColourPlanes[kJigMaxPlanes] = {};
    for (int32_t c = 0; c < nc; ++c) pieceColourPlanes[c] = p.workPlane[c];
    const int32_t n = x1 - x0;
    const qwjig::CompositeRowFn rowFn = qwjig::CompositeRowFor(qwp::GetCpuLevel());
    qwjig::CompositeRow row{};
    row.colours = nc < qwjig::kCompositeMaxColours ? nc : qwjig::kCompositeMaxColours;
    row.mode = mode;
    row.z = z;
    for (int32_t y = y0; y < y1; ++y) {
        const int64_t srcRow = static_cast<int64_t>(y - p.top) * ps + (x0 - p.left);
        const int64_t dstRow = y * stride + x0;
        for (int32_t c = 0; c < row.colours; ++c) {
            row.src[c] = pieceColourPlanes[c] + srcRow;
            row.dst[c] = planes[c] + dstRow;
        }
        row.srcAlpha = pieceAlpha + srcRow;
        row.dstAlpha = alphaPlane + dstRow;
        // The target's rows lie a whole image row apart: the next one is fetched meanwhile.
        if (y + 1 < y1)
            for (int32_t x = 0; x < n; x += 64) {
                __builtin_prefetch(row.dstAlpha + stride + x, 1);
                for (int32_t c = 0; c < row.colours; ++c)
                    __builtin_prefetch(row.dst[c] + stride + x, 1);
            }
        rowFn(row, n);
    }
}
