// Fuzz target: image fills, copies and drawing, the line rasteriser and the flood fill, driven
// by arbitrary sizes, rectangles and coordinates.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/imaging/qwf_2dmath.h"
#include "framework/imaging/qwf_image.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <typename T>
    T Get()
    {
        T v{};
        size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
    QWF_Rect Rect() { return QWF_Rect{Get<int32_t>(), Get<int32_t>(), Get<int32_t>(), Get<int32_t>()}; }
    // Doubles from raw bits (any value, NaN and infinities included) or small ones.
    double Coord()
    {
        uint8_t kind = Get<uint8_t>();
        if (kind & 1) return Get<double>();
        return Get<int16_t>() / 16.0;
    }
};

struct FillCtx {
    std::vector<uint8_t>* plane;
    int w;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader r{data, size};
    const uint16_t w = 1 + r.Get<uint8_t>() % 64, h = 1 + r.Get<uint8_t>() % 64;
    CQWF_Image dst, src;
    dst.Create(w, h, 1 + r.Get<uint8_t>() % 2);
    src.Create(1 + r.Get<uint8_t>() % 64, 1 + r.Get<uint8_t>() % 64, 1 + r.Get<uint8_t>() % 2);
    if (!dst.IsEmpty()) dst.Fill(0x80402010);
    if (!src.IsEmpty()) src.Fill(0x7F102030);

    CQWF_ImageDrawing drawing;
    std::vector<uint8_t> plane(static_cast<size_t>(w) * h, 0);
    int ops = 0;
    while (r.n > 0 && ops++ < 64) {
        switch (r.Get<uint8_t>() % 12) {
        case 0: dst.Fill(r.Get<uint32_t>(), r.Get<uint8_t>(), r.Rect()); break;
        case 1: dst.FillChecker(r.Get<int8_t>(), r.Get<int8_t>(), r.Get<uint32_t>(), r.Get<uint32_t>(), r.Rect()); break;
        case 2: dst.TileFrom(&src, r.Rect(), r.Rect()); break;
        case 3: dst.Blit(&src, r.Get<int32_t>(), r.Get<int32_t>(), r.Rect()); break;
        case 4: dst.BlitAlpha(&src, r.Get<int32_t>(), r.Get<int32_t>(), r.Rect(), r.Get<uint8_t>()); break;
        case 5: dst.BlendPixel(r.Get<int32_t>(), r.Get<int32_t>(), r.Get<uint32_t>(), r.Rect()); break;
        case 6:
            dst.DrawLine(r.Get<int32_t>(), r.Get<int32_t>(), r.Get<int32_t>(), r.Get<int32_t>(), r.Get<uint32_t>(), r.Rect());
            break;
        case 7: dst.DrawCircle(r.Get<int16_t>(), r.Get<int16_t>(), r.Get<int16_t>(), r.Get<uint32_t>(), r.Rect()); break;
        case 8: {
            const bool oneBit = r.Get<uint8_t>() & 1;
            drawing.m_oneBit = oneBit;
            drawing.m_antiAlias = r.Get<uint8_t>() & 1;
            drawing.m_value = r.Get<uint8_t>();
            // A 1-bit target of the same bytes holds 8 x w pixels a row.
            drawing.SetTarget(plane.data(), w, oneBit ? 8 * w : w, h);
            QWF_Rect c = r.Rect();
            drawing.SetClip(c.left, c.top, c.right, c.bottom);
            break;
        }
        case 9: {
            double x0 = r.Coord(), y0 = r.Coord(), x1 = r.Coord(), y1 = r.Coord();
            double width = (r.Get<uint16_t>() % 4000) / 10.0;
            drawing.DrawWideLine(x0, y0, x1, y1, width, r.Get<uint8_t>() & 1, r.Get<uint8_t>() & 1, r.Get<uint8_t>() & 1);
            break;
        }
        case 10: {
            double pts[8];
            for (double& v : pts) v = r.Coord();
            drawing.DrawPolyline(pts, 4, (r.Get<uint16_t>() % 400) / 10.0, 1, 1, 0, r.Coord());
            break;
        }
        case 11: {
            CQWF_2DMath g;
            FillCtx ctx{&plane, w};
            g.m_span = [](int32_t x, int32_t y, int32_t len, void* user) {
                FillCtx* c = static_cast<FillCtx*>(user);
                std::memset(c->plane->data() + static_cast<size_t>(y) * c->w + x, 1, static_cast<size_t>(len));
                return true;
            };
            g.SetByteBarrier(plane.data(), w, w, h);
            g.FloodFill(&ctx, r.Get<int32_t>(), r.Get<int32_t>());
            break;
        }
        }
    }
    return 0;
}
