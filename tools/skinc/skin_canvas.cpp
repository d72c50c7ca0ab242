#include "tools/skinc/skin_canvas.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// Signed distance from a point to a rounded box (negative inside).
double RoundBoxDistance(double px, double py, double x, double y, double w, double h, double r)
{
    r = std::min(r, std::min(w, h) / 2);
    const double qx = std::fabs(px - (x + w / 2)) - (w / 2 - r);
    const double qy = std::fabs(py - (y + h / 2)) - (h / 2 - r);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    const double inside = std::min(std::max(qx, qy), 0.0);
    return outside + inside - r;
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Coverage of a pixel by a shape whose edge lies at signed distance d from its centre.
double EdgeCover(double d) { return Clamp01(0.5 - d); }

constexpr double kPi = 3.14159265358979323846;

// Distance from a point to an arc of the circle (cx, cy, r) between two angles (degrees,
// clockwise from 3 o'clock on screen).
double ArcDistance(double px, double py, double cx, double cy, double r, double a0, double a1)
{
    double a = std::atan2(py - cy, px - cx) * 180 / kPi;
    double from = std::fmod(a0, 360.0), span = a1 - a0;
    if (from < 0) from += 360;
    if (span < 0) span = -span, from = std::fmod(a1, 360.0) + (a1 < 0 ? 360 : 0);
    double rel = a - from;
    while (rel < 0) rel += 360;
    while (rel >= 360) rel -= 360;
    if (rel <= span) return std::fabs(std::hypot(px - cx, py - cy) - r);
    const double e0 = (from) * kPi / 180, e1 = (from + span) * kPi / 180;
    return std::min(std::hypot(px - (cx + r * std::cos(e0)), py - (cy + r * std::sin(e0))),
                    std::hypot(px - (cx + r * std::cos(e1)), py - (cy + r * std::sin(e1))));
}

}  // namespace

Canvas::Canvas(const Rect& area) : m_area(area)
{
    m_px.assign(static_cast<size_t>(std::max(0, area.Width())) * std::max(0, area.Height()) * 4, 0.0);
}

void Canvas::Blend(int i, const Colour& c, double cover)
{
    const double a = c.a * cover;
    if (a <= 0) return;
    double* p = &m_px[static_cast<size_t>(i) * 4];
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
}

template <typename Coverage>
void Canvas::Paint(double x0, double y0, double x1, double y1, const Colour& c, Coverage coverage)
{
    const int ix0 = std::max(m_area.left, static_cast<int>(std::floor(x0)));
    const int iy0 = std::max(m_area.top, static_cast<int>(std::floor(y0)));
    const int ix1 = std::min(m_area.right, static_cast<int>(std::ceil(x1)));
    const int iy1 = std::min(m_area.bottom, static_cast<int>(std::ceil(y1)));
    for (int y = iy0; y < iy1; ++y) {
        for (int x = ix0; x < ix1; ++x) {
            const double cover = coverage(x + 0.5, y + 0.5);
            if (cover > 0) Blend((y - m_area.top) * Width() + (x - m_area.left), c, cover);
        }
    }
}

void Canvas::RoundRect(double x, double y, double w, double h, double radius, const Colour& top, const Colour& bottom)
{
    FillRows(x, y, w, h, radius, top, bottom, 0);
}

void Canvas::FillRows(double x, double y, double w, double h, double r, const Colour& top, const Colour& bottom,
                      double lowered)
{
    if (w <= 0 || h <= 0) return;
    // Inside the box and, when lowered, inside the box moved down by that much too.
    auto cover = [&](double px, double py) {
        double c = EdgeCover(RoundBoxDistance(px, py, x, y, w, h, r));
        if (lowered > 0) c = std::min(c, EdgeCover(RoundBoxDistance(px, py, x, y + lowered, w, h, r)));
        return c;
    };
    if (top == bottom) {
        Paint(x, y, x + w, y + h, top, cover);
        return;
    }
    // A vertical gradient: one colour per row, from the first row's to the last row's.
    const int iy0 = static_cast<int>(std::floor(y)), iy1 = static_cast<int>(std::ceil(y + h));
    for (int row = iy0; row < iy1; ++row) {
        const double t = iy1 - iy0 > 1 ? double(row - iy0) / (iy1 - iy0 - 1) : 0;
        const Colour c{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                       top.b + (bottom.b - top.b) * t, top.a + (bottom.a - top.a) * t};
        Paint(x, row, x + w, row + 1, c, cover);
    }
}

void Canvas::Box(double x, double y, double w, double h, const BoxPaint& p)
{
    double r = p.radius;
    if (p.border.a > 0) {
        RoundRect(x, y, w, h, r, p.border, p.border);
        x += 1;
        y += 1;
        w -= 2;
        h -= 2;
        r = std::max(0.0, r - 1);
    }
    if (w <= 0 || h <= 0) return;
    // A highlight is the inner shape in its colour with the fill laid one pixel lower over it.
    if (p.highlight.a > 0) RoundRect(x, y, w, h, r, p.highlight, p.highlight);
    FillRows(x, y, w, h, r, p.fill, p.hasGradient ? p.fill2 : p.fill, p.highlight.a > 0 ? 1 : 0);
}

void Canvas::Circle(double cx, double cy, double r, const Colour& c)
{
    Paint(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1, c,
          [&](double px, double py) { return EdgeCover(std::hypot(px - cx, py - cy) - r); });
}

void Canvas::Polyline(const std::vector<double>& xy, bool closed, double width, const Colour& c)
{
    if (xy.size() < 2) return;
    double x0 = xy[0], y0 = xy[1], x1 = xy[0], y1 = xy[1];
    for (size_t i = 0; i + 1 < xy.size(); i += 2) {
        x0 = std::min(x0, xy[i]);
        x1 = std::max(x1, xy[i]);
        y0 = std::min(y0, xy[i + 1]);
        y1 = std::max(y1, xy[i + 1]);
    }
    const double pad = width / 2 + 1;
    const size_t n = xy.size() / 2;
    Paint(x0 - pad, y0 - pad, x1 + pad, y1 + pad, c, [&](double px, double py) {
        double d = 1e9;
        if (n == 1) d = std::hypot(px - xy[0], py - xy[1]);
        for (size_t i = 0; i + 1 < n; ++i)
            d = std::min(d, SegmentDistance(px, py, xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3]));
        if (closed && n > 2) d = std::min(d, SegmentDistance(px, py, xy[2 * n - 2], xy[2 * n - 1], xy[0], xy[1]));
        return EdgeCover(d - width / 2);
    });
}

void Canvas::Icon(const IconDef& icon, double x, double y, double size, const Colour& c)
{
    const double s = size / 16.0;
    // All strokes share one coverage (their union), so crossings are not painted twice.
    Paint(x - 1, y - 1, x + size + 1, y + size + 1, c, [&](double px, double py) {
        const double ux = (px - x) / s, uy = (py - y) / s;
        double cover = 0;
        for (const IconStroke& st : icon.strokes) {
            const double half = st.width / 2;
            double d = 1e9;
            const std::vector<double>& p = st.points;
            switch (st.kind) {
            case IconStroke::Polyline: {
                const size_t n = p.size() / 2;
                if (n == 1) d = std::hypot(ux - p[0], uy - p[1]);
                for (size_t i = 0; i + 1 < n; ++i)
                    d = std::min(d, SegmentDistance(ux, uy, p[2 * i], p[2 * i + 1], p[2 * i + 2], p[2 * i + 3]));
                if (st.closed && n > 2) d = std::min(d, SegmentDistance(ux, uy, p[2 * n - 2], p[2 * n - 1], p[0], p[1]));
                d -= half;
                break;
            }
            case IconStroke::Circle: d = std::fabs(std::hypot(ux - p[0], uy - p[1]) - p[2]) - half; break;
            case IconStroke::Dot: d = std::hypot(ux - p[0], uy - p[1]) - p[2]; break;
            case IconStroke::Arc: d = ArcDistance(ux, uy, p[0], p[1], p[2], p[3], p[4]) - half; break;
            case IconStroke::Box: {
                const double inside = RoundBoxDistance(ux, uy, p[0], p[1], p[2], p[3], 0);
                d = std::fabs(inside) - half;
                break;
            }
            }
            cover = std::max(cover, EdgeCover(d * s));
        }
        return cover;
    });
}

void Canvas::Text(FontDef& font, int x, int baseline, const std::string& text, const Colour& c)
{
    CQWF_Font& f = *font.font;
    int pen = x;
    bool lineStart = true;
    for (unsigned char ch : text) {
        int8_t left, spacing, top;
        uint8_t w, h;
        const uint8_t* cover = f.GetGlyph(ch, left, spacing, top, w, h);
        if (!cover) continue;
        if (lineStart && left < 0) pen -= left;
        lineStart = false;
        for (int gy = 0; gy < h; ++gy) {
            for (int gx = 0; gx < w; ++gx) {
                const int px = pen + left + gx, py = baseline + top + gy;
                const uint8_t v = cover[gy * w + gx];
                if (!v || px < m_area.left || px >= m_area.right || py < m_area.top || py >= m_area.bottom) continue;
                Blend((py - m_area.top) * Width() + (px - m_area.left), c, v / 255.0);
            }
        }
        pen += left + w + spacing;
    }
}

void Canvas::Clear(const Rect& r)
{
    for (int y = std::max(r.top, m_area.top); y < std::min(r.bottom, m_area.bottom); ++y) {
        for (int x = std::max(r.left, m_area.left); x < std::min(r.right, m_area.right); ++x) {
            double* p = &m_px[(static_cast<size_t>(y - m_area.top) * Width() + (x - m_area.left)) * 4];
            p[0] = p[1] = p[2] = p[3] = 0;
        }
    }
}

void Canvas::CopyFrom(const Canvas& other)
{
    const Rect& o = other.m_area;
    for (int y = std::max(o.top, m_area.top); y < std::min(o.bottom, m_area.bottom); ++y) {
        for (int x = std::max(o.left, m_area.left); x < std::min(o.right, m_area.right); ++x) {
            const double* s = &other.m_px[(static_cast<size_t>(y - o.top) * other.Width() + (x - o.left)) * 4];
            double* d = &m_px[(static_cast<size_t>(y - m_area.top) * Width() + (x - m_area.left)) * 4];
            std::copy(s, s + 4, d);
        }
    }
}

void Canvas::Over(const Canvas& other)
{
    const Rect& o = other.m_area;
    for (int y = std::max(o.top, m_area.top); y < std::min(o.bottom, m_area.bottom); ++y) {
        for (int x = std::max(o.left, m_area.left); x < std::min(o.right, m_area.right); ++x) {
            const double* s = &other.m_px[(static_cast<size_t>(y - o.top) * other.Width() + (x - o.left)) * 4];
            double* d = &m_px[(static_cast<size_t>(y - m_area.top) * Width() + (x - m_area.left)) * 4];
            for (int k = 0; k < 4; ++k) d[k] = s[k] + d[k] * (1 - s[3]);
        }
    }
}

void Canvas::Pixel(int x, int y, uint8_t rgba[4]) const
{
    const double* p = &m_px[(static_cast<size_t>(y - m_area.top) * Width() + (x - m_area.left)) * 4];
    const double a = p[3];
    rgba[3] = static_cast<uint8_t>(std::lround(Clamp01(a) * 255));
    for (int k = 0; k < 3; ++k) rgba[k] = a > 0 ? static_cast<uint8_t>(std::lround(Clamp01(p[k] / a) * 255)) : 0;
}

std::vector<uint8_t> Canvas::Planes() const
{
    const size_t n = static_cast<size_t>(Width()) * Height();
    std::vector<uint8_t> out(n * 4);
    for (int y = 0; y < Height(); ++y) {
        for (int x = 0; x < Width(); ++x) {
            uint8_t rgba[4];
            Pixel(m_area.left + x, m_area.top + y, rgba);
            const size_t i = static_cast<size_t>(y) * Width() + x;
            for (int k = 0; k < 4; ++k) out[k * n + i] = rgba[k];
        }
    }
    return out;
}

std::vector<uint8_t> Canvas::Mask() const
{
    std::vector<uint8_t> out(static_cast<size_t>(Width()) * Height());
    for (size_t i = 0; i < out.size(); ++i) out[i] = m_px[i * 4 + 3] >= 0.5 ? 255 : 0;
    return out;
}

int TextWidth(FontDef& font, const std::string& text)
{
    int32_t w = 0, h = 0;
    font.font->MeasureText(text.c_str(), 0, w, h);
    return w;
}

int CapHeight(FontDef& font)
{
    int8_t left, spacing, top;
    uint8_t w, h;
    if (!font.font->GetGlyph('H', left, spacing, top, w, h)) return static_cast<int>(font.size * 3 / 4);
    return -top;
}

}  // namespace skinc
