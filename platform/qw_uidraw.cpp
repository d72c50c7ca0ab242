#include "platform/qw_uidraw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/qw_fontraster.h"
#include "platform/qw_surface.h"

namespace qwp {

Canvas::Canvas(int32_t w, int32_t h, uint32_t colour) : width(w), height(h)
{
    rgb.resize(static_cast<size_t>(std::max(w, 0)) * std::max(h, 0) * 3);
    Fill(0, 0, w, h, colour);
}

void Canvas::Blend(int32_t x, int32_t y, uint32_t colour, uint32_t coverage)
{
    if (x < 0 || y < 0 || x >= width || y >= height || !coverage) return;
    if (coverage > 255) coverage = 255;
    uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    const uint32_t c[3] = {(colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF};
    for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>((p[i] * (255 - coverage) + c[i] * coverage + 127) / 255);
}

void Canvas::Fill(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour)
{
    for (int32_t y = std::max(top, 0); y < std::min(bottom, height); ++y)
        for (int32_t x = std::max(left, 0); x < std::min(right, width); ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(colour >> 16);
            p[1] = static_cast<uint8_t>(colour >> 8);
            p[2] = static_cast<uint8_t>(colour);
        }
}

uint32_t RoundCoverage(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       int32_t radius)
{
    if (x < left || y < top || x >= right || y >= bottom) return 0;
    const double px = x + 0.5, py = y + 0.5;
    double cx = px, cy = py;
    if (px < left + radius) cx = left + radius;
    if (px > right - radius) cx = right - radius;
    if (py < top + radius) cy = top + radius;
    if (py > bottom - radius) cy = bottom - radius;
    if (cx == px || cy == py) return 255;
    const double d = std::hypot(px - cx, py - cy);
    const double cover = std::clamp(radius + 0.5 - d, 0.0, 1.0);
    return static_cast<uint32_t>(cover * 255 + 0.5);
}

void Canvas::FillRound(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t radius,
                       uint32_t colour)
{
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x) Blend(x, y, colour, RoundCoverage(x, y, left, top, right, bottom, radius));
}

void Canvas::FillDisc(double cx, double cy, double radius, uint32_t colour)
{
    for (int32_t y = static_cast<int32_t>(cy - radius - 1); y <= cy + radius + 1; ++y)
        for (int32_t x = static_cast<int32_t>(cx - radius - 1); x <= cx + radius + 1; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            Blend(x, y, colour, static_cast<uint32_t>(std::clamp(radius + 0.5 - d, 0.0, 1.0) * 255 + 0.5));
        }
}

void Canvas::Line(double x0, double y0, double x1, double y1, double w, uint32_t colour)
{
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    const int32_t l = static_cast<int32_t>(std::min(x0, x1) - w - 1), r = static_cast<int32_t>(std::max(x0, x1) + w + 1);
    const int32_t t = static_cast<int32_t>(std::min(y0, y1) - w - 1), b = static_cast<int32_t>(std::max(y0, y1) + w + 1);
    for (int32_t y = t; y <= b; ++y)
        for (int32_t x = l; x <= r; ++x) {
            const double px = x + 0.5 - x0, py = y + 0.5 - y0;
            const double u = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
            const double d = std::hypot(px - u * dx, py - u * dy);
            Blend(x, y, colour, static_cast<uint32_t>(std::clamp(w / 2 + 0.5 - d, 0.0, 1.0) * 255 + 0.5));
        }
}

bool UiFont::Load(const char* face, uint32_t pixelSize)
{
    FontRasterRequest request;
    request.face = face;
    request.pixelSize = pixelSize;
    std::string error;
    if (!RasteriseFont(request, m_block, error) || m_block.size() < 6) return false;
    m_first = m_block[4];
    m_last = m_block[5];
    size_t at = 6;
    for (int c = m_first; c <= m_last; ++c) {
        if (at + 5 > m_block.size()) return false;
        Glyph& g = m_glyphs[c];
        g.left = static_cast<int8_t>(m_block[at]);
        g.spacing = static_cast<int8_t>(m_block[at + 1]);
        g.top = static_cast<int8_t>(m_block[at + 2]);
        g.width = m_block[at + 3];
        g.height = m_block[at + 4];
        g.offset = at + 5;
        at += 5 + static_cast<size_t>(g.width) * g.height;
        if (at > m_block.size()) return false;
        if (g.width && g.height) {
            m_ascent = std::max<int32_t>(m_ascent, -g.top);
            m_descent = std::max<int32_t>(m_descent, g.top + g.height);
        }
    }
    m_loaded = true;
    return true;
}

int32_t UiFont::Width(const std::string& text) const
{
    if (!m_loaded) return static_cast<int32_t>(text.size()) * 7;
    int32_t w = 0;
    for (char ch : text) {
        const uint8_t c = static_cast<uint8_t>(ch);
        if (c < m_first || c > m_last) continue;
        const Glyph& g = m_glyphs[c];
        w += g.left + g.width + g.spacing;
    }
    return w;
}

void UiFont::Draw(Canvas& canvas, int32_t x, int32_t baseline, const std::string& text, uint32_t colour) const
{
    if (!m_loaded) return;
    for (char ch : text) {
        const uint8_t c = static_cast<uint8_t>(ch);
        if (c < m_first || c > m_last) continue;
        const Glyph& g = m_glyphs[c];
        const uint8_t* cover = &m_block[g.offset];
        for (int32_t gy = 0; gy < g.height; ++gy)
            for (int32_t gx = 0; gx < g.width; ++gx)
                canvas.Blend(x + g.left + gx, baseline + g.top + gy, colour, cover[gy * g.width + gx]);
        x += g.left + g.width + g.spacing;
    }
}

const UiFont& ToolkitFont(bool bold)
{
    static UiFont fonts[2];
    static bool tried[2] = {false, false};
    const int i = bold ? 1 : 0;
    if (!tried[i]) {
        tried[i] = true;
        fonts[i].Load(bold ? "DejaVu Sans Bold" : "DejaVu Sans", 12);
    }
    return fonts[i];
}

bool PresentCanvas(WindowSystem& ws, WindowHandle window, const Canvas& canvas)
{
    DrawContext* screen = GetScreenContext();
    uint8_t* bits = nullptr;
    Bitmap* bitmap = screen ? CreateBitmap(screen, canvas.width, canvas.height, &bits) : nullptr;
    ReleaseScreenContext(screen);
    if (!bitmap) return false;
    const uint32_t stride = BitmapStride(static_cast<uint32_t>(canvas.width));
    for (int32_t y = 0; y < canvas.height; ++y) {
        uint8_t* row = bits + static_cast<size_t>(canvas.height - 1 - y) * stride;
        const uint8_t* src = &canvas.rgb[static_cast<size_t>(y) * canvas.width * 3];
        for (int32_t x = 0; x < canvas.width; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
    }
    DrawContext* mem = CreateMemoryContext(nullptr);
    DrawContext* dc = ws.GetWindowContext(window);
    bool ok = mem && dc && SelectBitmap(mem, bitmap, nullptr) &&
              CopyArea(dc, 0, 0, canvas.width, canvas.height, mem, 0, 0);
    ws.ReleaseWindowContext(dc);
    DeleteMemoryContext(mem);
    DeleteBitmap(bitmap);
    return ok;
}

}  // namespace qwp
