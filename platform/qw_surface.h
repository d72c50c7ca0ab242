// Drawing surfaces: 24-bit bitmaps (bottom-up rows of blue, green, red bytes, each row padded to
// a multiple of 4 bytes) and the drawing contexts that copy between them. This build keeps every
// surface in memory; the screen context is a context without a target of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qwp {

struct Bitmap;
struct DrawContext;

// Bytes of one bitmap row: ((width * 24 + 31) >> 5) * 4.
inline uint32_t BitmapStride(uint32_t width) { return ((width * 24 + 31) >> 5) * 4; }

// The screen's context (null when none can be had) and its release.
DrawContext* GetScreenContext();
void ReleaseScreenContext(DrawContext* dc);

// A bitmap of width x height pixels compatible with the context; *bits receives the pixels
// (row 0 of the picture is the last row in memory). Null on failure.
Bitmap* CreateBitmap(DrawContext* dc, int32_t width, int32_t height, uint8_t** bits);
void DeleteBitmap(Bitmap* bitmap);
int32_t BitmapWidth(const Bitmap* bitmap);
int32_t BitmapHeight(const Bitmap* bitmap);
uint8_t* BitmapBits(const Bitmap* bitmap);

// A context that draws into a bitmap it does not own and reports every finished copy to
// present(owner, tag, x, y, width, height) with the area that changed (a window's pixels: the
// window system shows them). Delete it with DeleteMemoryContext.
DrawContext* CreateTargetContext(Bitmap* target,
                                 void (*present)(void* owner, intptr_t tag, int32_t x, int32_t y,
                                                 int32_t width, int32_t height),
                                 void* owner, intptr_t tag);

// A memory context compatible with another (or with the screen for null). Null on failure.
DrawContext* CreateMemoryContext(DrawContext* compatible);
void DeleteMemoryContext(DrawContext* dc);
// Selects a bitmap (or none) into a memory context; *previous receives the one it replaces.
bool SelectBitmap(DrawContext* dc, Bitmap* bitmap, Bitmap** previous);

// Completes drawing that is still pending.
void FlushDrawing();

// Copies width x height pixels unchanged from (sx, sy) of the source context's bitmap to
// (dx, dy) of the target's; the area is clipped to both bitmaps. False when either context has
// no bitmap or the copy fails.
bool CopyArea(DrawContext* target, int32_t dx, int32_t dy, int32_t width, int32_t height,
              DrawContext* source, int32_t sx, int32_t sy);

// Test hook: the next call of the given kind fails once.
enum class SurfaceFault {
    None,
    ScreenContext,
    CreateBitmap,
    MemoryContext,
    SelectBitmap,
    CopyArea,
};
void InjectSurfaceFault(SurfaceFault fault);

}  // namespace qwp
