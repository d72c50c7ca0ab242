// The skin compiler's drawing surface: an RGBA picture in window coordinates on which skin
// images are drawn from primitives (boxes with borders and gradients, circles, strokes, icons,
// text), anti-aliased from exact shape distances. Pixel (i, j) covers window coordinates
// [left + i, left + i + 1) x [top + j, top + j + 1); integer coordinates are pixel edges.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/skinc/skin_style.h"

namespace skinc {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(const Rect& o) const
    {
        return o.left >= left && o.top >= top && o.right <= right && o.bottom <= bottom;
    }
    static Rect XYWH(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
};

// Box styling for Canvas::Box.
struct BoxPaint {
    double radius = 0;
    Colour fill;
    Colour fill2;          // bottom colour of a vertical gradient; used when hasGradient
    bool hasGradient = false;
    Colour border;         // 1 px outer border (transparent: none)
    Colour highlight;      // 1 px line along the inside top edge (transparent: none)
};

class Canvas {
public:
    explicit Canvas(const Rect& area);

    const Rect& Area() const { return m_area; }
    int Width() const { return m_area.Width(); }
    int Height() const { return m_area.Height(); }

    // Filled rounded box with optional gradient, border and top highlight.
    void Box(double x, double y, double w, double h, const BoxPaint& paint);
    void RoundRect(double x, double y, double w, double h, double radius, const Colour& top, const Colour& bottom);
    void Circle(double cx, double cy, double r, const Colour& c);
    // A stroke of the given width along a polyline (round caps and joins).
    void Polyline(const std::vector<double>& xy, bool closed, double width, const Colour& c);
    // An icon of the style drawn into the square (x, y, size, size).
    void Icon(const IconDef& icon, double x, double y, double size, const Colour& c);
    // Text on a baseline; the pen rules are the text layer's (a negative first offset is moved in).
    void Text(FontDef& font, int x, int baseline, const std::string& text, const Colour& c);

    // Makes every pixel of the rectangle fully transparent.
    void Clear(const Rect& r);
    // Copies the other canvas's pixels where the areas overlap.
    void CopyFrom(const Canvas& other);
    // Lays the other canvas's pixels over these where the areas overlap.
    void Over(const Canvas& other);

    // Straight RGBA bytes of a pixel (window coordinates).
    void Pixel(int x, int y, uint8_t rgba[4]) const;
    // The element planes: red, green, blue and alpha, each row after row.
    std::vector<uint8_t> Planes() const;
    // One byte per pixel: 255 where alpha is at least half, else 0.
    std::vector<uint8_t> Mask() const;

private:
    // Adds colour c with per-pixel coverage over the pixels of a bounding box.
    template <typename Coverage>
    void Paint(double x0, double y0, double x1, double y1, const Colour& c, Coverage coverage);
    void Blend(int i, const Colour& c, double cover);
    void FillRows(double x, double y, double w, double h, double r, const Colour& top, const Colour& bottom,
                  double lowered);

    Rect m_area;
    std::vector<double> m_px;  // premultiplied r, g, b, a per pixel
};

// Text measurements with the text layer's rules.
int TextWidth(FontDef& font, const std::string& text);
// Height of a capital letter above the baseline ("H").
int CapHeight(FontDef& font);

}  // namespace skinc
