#include "platform/qw_surface.h"

#include "platform/qw_memhint.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace qwp {

struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t stride = 0;
    uint8_t* bits = nullptr;
};

struct DrawContext {
    bool screen = false;
    Bitmap* selected = nullptr;
    void (*present)(void*, intptr_t, int32_t, int32_t, int32_t, int32_t) = nullptr;
    void* owner = nullptr;
    intptr_t tag = 0;
};

namespace {
SurfaceFault g_fault = SurfaceFault::None;
DrawContext g_screen{true, nullptr};

bool Fails(SurfaceFault kind)
{
    if (g_fault != kind) return false;
    g_fault = SurfaceFault::None;
    return true;
}
}  // namespace

void InjectSurfaceFault(SurfaceFault fault) { g_fault = fault; }

DrawContext* GetScreenContext()
{
    if (Fails(SurfaceFault::ScreenContext)) return nullptr;
    return &g_screen;
}

void ReleaseScreenContext(DrawContext*) {}

Bitmap* CreateBitmap(DrawContext* dc, int32_t width, int32_t height, uint8_t** bits)
{
    if (bits) *bits = nullptr;
    if (!dc || width <= 0 || height <= 0 || Fails(SurfaceFault::CreateBitmap)) return nullptr;
    Bitmap* b = new (std::nothrow) Bitmap;
    if (!b) {
        NoteAllocationFailure();
        return nullptr;
    }
    b->width = width;
    b->height = height;
    b->stride = BitmapStride(static_cast<uint32_t>(width));
    b->bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(b->stride) * height, 1));
    if (!b->bits) {
        NoteAllocationFailure();
        delete b;
        return nullptr;
    }
    if (bits) *bits = b->bits;
    return b;
}

void DeleteBitmap(Bitmap* bitmap)
{
    if (!bitmap) return;
    std::free(bitmap->bits);
    delete bitmap;
}

int32_t BitmapWidth(const Bitmap* bitmap) { return bitmap ? bitmap->width : 0; }
int32_t BitmapHeight(const Bitmap* bitmap) { return bitmap ? bitmap->height : 0; }
uint8_t* BitmapBits(const Bitmap* bitmap) { return bitmap ? bitmap->bits : nullptr; }

DrawContext* CreateTargetContext(Bitmap* target,
                                 void (*present)(void*, intptr_t, int32_t, int32_t, int32_t, int32_t),
                                 void* owner, intptr_t tag)
{
    if (!target || Fails(SurfaceFault::MemoryContext)) return nullptr;
    DrawContext* dc = new (std::nothrow) DrawContext;
    if (!dc) return nullptr;
    dc->selected = target;
    dc->present = present;
    dc->owner = owner;
    dc->tag = tag;
    return dc;
}

DrawContext* CreateMemoryContext(DrawContext*)
{
    if (Fails(SurfaceFault::MemoryContext)) return nullptr;
    return new (std::nothrow) DrawContext;
}

void DeleteMemoryContext(DrawContext* dc)
{
    if (dc && !dc->screen) delete dc;
}

bool SelectBitmap(DrawContext* dc, Bitmap* bitmap, Bitmap** previous)
{
    if (previous) *previous = nullptr;
    if (!dc || dc->screen || Fails(SurfaceFault::SelectBitmap)) return false;
    if (previous) *previous = dc->selected;
    dc->selected = bitmap;
    return true;
}

void FlushDrawing() {}

bool CopyArea(DrawContext* target, int32_t dx, int32_t dy, int32_t width, int32_t height,
              DrawContext* source, int32_t sx, int32_t sy)
{
    if (Fails(SurfaceFault::CopyArea)) return false;
    if (!target || !source || !target->selected || !source->selected) return false;
    const Bitmap& t = *target->selected;
    const Bitmap& s = *source->selected;
    // Clip the source area, then the target area, moving the other side along.
    int64_t w = width, h = height;
    auto clip = [](int64_t& a, int64_t& b, int64_t& n, int64_t limit) {
        if (a < 0) { b -= a; n += a; a = 0; }
        if (a + n > limit) n = limit - a;
    };
    int64_t ax = sx, ay = sy, bx = dx, by = dy;
    clip(ax, bx, w, s.width);
    clip(ay, by, h, s.height);
    clip(bx, ax, w, t.width);
    clip(by, ay, h, t.height);
    if (w <= 0 || h <= 0) return true;
    for (int64_t i = 0; i < h; ++i) {
        const uint8_t* from = s.bits + (s.height - 1 - (ay + i)) * int64_t(s.stride) + ax * 3;
        uint8_t* to = t.bits + (t.height - 1 - (by + i)) * int64_t(t.stride) + bx * 3;
        std::memmove(to, from, static_cast<size_t>(w) * 3);
    }
    if (target->present)
        target->present(target->owner, target->tag, static_cast<int32_t>(bx), static_cast<int32_t>(by),
                        static_cast<int32_t>(w), static_cast<int32_t>(h));
    return true;
}

}  // namespace qwp
