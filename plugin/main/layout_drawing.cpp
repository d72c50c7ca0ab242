#include "plugin/main/layout_drawing.h"

#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool CLayoutDrawing::SetSize(int32_t width, int32_t height)
{
    ClearError();
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (m_overlay.GetWidth() == width && m_overlay.GetHeight() == height && !m_overlay.IsEmpty())
        return true;
    const size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (!m_overlay.Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height), 2) ||
        !m_scratch.AllocZeroed(area)) {
        m_overlay.Free();
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    m_overlay.Fill(0);
    return AttachScratch();
}

bool CLayoutDrawing::AttachScratch()
{
    return m_drawing.SetTarget(m_scratch.GetData(), m_overlay.GetWidth(), m_overlay.GetWidth(),
                               m_overlay.GetHeight());
}

void CLayoutDrawing::Clear(const QWF_Rect* rect)
{
    if (m_overlay.IsEmpty())
        return;
    m_overlay.Fill(0, 255, rect ? *rect : QWF_WHOLE_RECT);
}

void CLayoutDrawing::FlushCoverage(const QWF_Rect& boxIn, uint32_t colour, uint8_t opacity)
{
    const int32_t w = m_overlay.GetWidth();
    const int32_t h = m_overlay.GetHeight();
    // An empty box (or one wholly outside) runs no row or column below.
    const QWF_Rect box = {std::max(boxIn.left, 0), std::max(boxIn.top, 0),
                          std::min(boxIn.right, w), std::min(boxIn.bottom, h)};
    const uint32_t c[3] = {colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF};
    uint8_t* planes[4];
    for (int i = 0; i < 4; ++i)
        planes[i] = m_overlay.GetPlane(i);
    for (int32_t y = box.top; y < box.bottom; ++y) {
        uint8_t* cov = m_scratch.GetData() + static_cast<int64_t>(y) * w;
        for (int32_t x = box.left; x < box.right; ++x) {
            const uint32_t a = cov[x] * opacity / 255u;
            cov[x] = 0;
            if (!a)
                continue;
            const int64_t o = static_cast<int64_t>(y) * w + x;
            const uint32_t d = planes[3][o];
            const uint32_t rest = d * (255u - a) / 255u;
            const uint32_t outA = a + rest;
            for (int k = 0; k < 3; ++k)
                planes[k][o] = static_cast<uint8_t>((c[k] * a + planes[k][o] * rest) / outA);
            planes[3][o] = static_cast<uint8_t>(outA);
        }
    }
}

bool CLayoutDrawing::DrawKnifeCurve(CLayoutModel& model, KnifeRecord& k, double x0, double y0,
                                    double x1, double y1)
{
    if (!model.BuildKnifeOutline(k, x0, y0, x1, y1))
        return false;
    DrawKnifeOutline(model, k);
    return true;
}

void CLayoutDrawing::DrawKnifeOutline(const CLayoutModel& model, const KnifeRecord& k)
{
    if (m_overlay.IsEmpty() || !k.pOutline || k.outlinePoints < 2)
        return;
    const bool razor = model.GetFlag(CLayoutModel::kFlagRazor) != 0;
    double width = 1.0;
    if (!razor)
        width = static_cast<double>(std::clamp<int64_t>(model.ZoomLength(k.thickness), 1, 1600));
    uint32_t colour = k.selected ? m_colours.selectedKnife : m_colours.knife;
    if (k.marked) {
        width = 1.0;
        colour = m_colours.marking;
    }
    const uint8_t opacity = k.hidden ? m_hiddenOpacity : 255;
    m_drawing.m_antiAlias = model.GetFlag(CLayoutModel::kFlagAntiAlias) ? 1 : 0;
    m_drawing.m_value = 255;
    const double* p = reinterpret_cast<const double*>(k.pOutline->GetData());
    double minX = p[0], maxX = p[0], minY = p[1], maxY = p[1];
    for (int64_t i = 1; i < k.outlinePoints; ++i) {
        minX = std::min(minX, p[2 * i]);
        maxX = std::max(maxX, p[2 * i]);
        minY = std::min(minY, p[2 * i + 1]);
        maxY = std::max(maxY, p[2 * i + 1]);
    }
    if (k.outlinePoints < 3) {
        m_drawing.DrawSegment(p[0], p[1], p[2], p[3], width, 1, 1, 1);
    } else {
        const double spacing = std::max(width / 2.0, 1.0);
        m_drawing.DrawPolyline(p, k.outlinePoints, width, 1, 1, 1, spacing * spacing);
    }
    const double pad = width / 2.0 + 2.0;
    const QWF_Rect box = {static_cast<int32_t>(std::floor(std::max(minX - pad, -1.0))),
                          static_cast<int32_t>(std::floor(std::max(minY - pad, -1.0))),
                          static_cast<int32_t>(std::ceil(std::min(maxX + pad, 70000.0))) + 1,
                          static_cast<int32_t>(std::ceil(std::min(maxY + pad, 70000.0))) + 1};
    FlushCoverage(box, colour, opacity);
}

void CLayoutDrawing::DrawGridKnives(int xCount, int yCount, const float* xLines,
                                    const float* yLines, const QWF_Rect& clipIn, double scaledW,
                                    double scaledH, double scrollX, double scrollY)
{
    if (m_overlay.IsEmpty())
        return;
    const QWF_Rect clip = {std::max(clipIn.left, 0), std::max(clipIn.top, 0),
                           std::min<int32_t>(clipIn.right, m_overlay.GetWidth()),
                           std::min<int32_t>(clipIn.bottom, m_overlay.GetHeight())};
    if (clip.left >= clip.right || clip.top >= clip.bottom)
        return;
    m_overlay.Fill(0, 255, clip);
    m_drawing.m_antiAlias = 1;
    m_drawing.m_value = 255;
    m_drawing.SetClip(clip.left, clip.top, clip.right, clip.bottom);
    for (int i = 0; xLines && i < xCount; ++i) {
        const double x = xLines[i] * scaledW - (scrollX - clip.left);
        if (x >= clip.left && x < clip.right)
            m_drawing.DrawLine(x, clip.top, x, clip.bottom - 1, 1.0);
    }
    for (int i = 0; yLines && i < yCount; ++i) {
        const double y = yLines[i] * scaledH - (scrollY - clip.top);
        if (y >= clip.top && y < clip.bottom)
            m_drawing.DrawLine(clip.left, y, clip.right - 1, y, 1.0);
    }
    m_drawing.SetClip(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE);
    FlushCoverage(clip, m_colours.gridLine, 255);
}

void CLayoutDrawing::DrawGrid(const CLayoutModel& model, int columns, int rows,
                              const QWF_Rect& clip, double scaledW, double scaledH,
                              double scrollX, double scrollY)
{
    float xs[kGridMaxLines];
    float ys[kGridMaxLines];
    const int xCount = std::clamp(columns - 1, 0, kGridMaxLines);
    const int yCount = std::clamp(rows - 1, 0, kGridMaxLines);
    for (int i = 0; i < xCount; ++i)
        xs[i] = xCount == model.GetXLineCount()
                    ? model.GetXLines()[i]
                    : static_cast<float>(i + 1) / static_cast<float>(xCount + 1);
    for (int i = 0; i < yCount; ++i)
        ys[i] = yCount == model.GetYLineCount()
                    ? model.GetYLines()[i]
                    : static_cast<float>(i + 1) / static_cast<float>(yCount + 1);
    DrawGridKnives(xCount, yCount, xs, ys, clip, scaledW, scaledH, scrollX, scrollY);
}

void CLayoutDrawing::DrawRulerMarks(CQWF_Image& top, const QWF_Rect& topRect,
                                    const RulerMarker* topMarks, size_t topCount,
                                    CQWF_Image& left, const QWF_Rect& leftRect,
                                    const RulerMarker* leftMarks, size_t leftCount,
                                    bool layoutMode, const LayoutColours& colours)
{
    const uint32_t fill = layoutMode ? colours.rulerLayout : colours.rulerPuzzle;
    // The wedge across the strip: (from, to) offsets along it over (from, to) rows across.
    static const int32_t kWedge[3][4] = {{0, 1, 6, 7}, {-1, 2, 5, 6}, {-2, 3, 1, 5}};
    if (!top.IsEmpty()) {
        top.Fill(fill | 0xFF000000u);
        for (size_t i = 0; topMarks && i < topCount; ++i) {
            const int32_t x = topMarks[i].x - topRect.left;
            for (const auto& w : kWedge)
                top.Fill(colours.rulerMark, 255, QWF_Rect{x + w[0], w[2], x + w[1], w[3]});
        }
    }
    if (!left.IsEmpty()) {
        left.Fill(fill | 0xFF000000u);
        for (size_t i = 0; leftMarks && i < leftCount; ++i) {
            const int32_t y = leftMarks[i].y - leftRect.top;
            for (const auto& w : kWedge)
                left.Fill(colours.rulerMark, 255, QWF_Rect{w[2], y + w[0], w[3], y + w[1]});
        }
    }
}

LayoutColours ReadLayoutColours(CQWF_Storage* skin)
{
    LayoutColours c;
    if (!skin)
        return c;
    const struct {
        const char* name;
        uint32_t* value;
    } keys[] = {{"Knife", &c.knife},
                {"Selected Knife", &c.selectedKnife},
                {"Marking", &c.marking},
                {"Grid Line", &c.gridLine},
                {"Ruler Layout Mode", &c.rulerLayout},
                {"Ruler Puzzle Mode", &c.rulerPuzzle},
                {"Ruler Mark", &c.rulerMark}};
    for (const auto& k : keys) {
        CQWF_String key;
        key.Format("UIResources>Windows>Main>Layout Colours>%s", k.name);
        uint32_t v = 0;
        if (skin->GetDWord(key, v))
            *k.value = v;
    }
    return c;
}
