// Planar 8-bit image and the line rasteriser that draws into one of its planes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

// Rectangle: left, top, right, bottom; right and bottom exclusive.
struct QWF_Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The value of all four sides of the whole-image rectangle.
inline constexpr int32_t QWF_WHOLE = -32000;
inline constexpr QWF_Rect QWF_WHOLE_RECT{QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE};

inline bool QWF_IsWholeRect(const QWF_Rect& r)
{
    return r.left == QWF_WHOLE && r.top == QWF_WHOLE && r.right == QWF_WHOLE &&
           r.bottom == QWF_WHOLE;
}

// Image types and their plane counts (planes stored one after the other).
enum QWF_ImageType : uint8_t {
    QWF_IMAGE_NONE = 0,
    QWF_IMAGE_RGB = 1,    // R, G, B
    QWF_IMAGE_RGBA = 2,   // R, G, B, alpha
    QWF_IMAGE_4 = 3,      // four planes, no alpha
    QWF_IMAGE_4A = 4,     // four planes, then alpha
    QWF_IMAGE_1 = 5,      // one plane
    QWF_IMAGE_2 = 6,      // two planes
};

// 8-bit planar image: plane k starts at byte k * width * height, rows of exactly width bytes.
// Colours are 0xAABBGGRR (red = plane 0 in the low byte, alpha in the high byte).
class CQWF_Image : public CQWF_FrameWork {
public:
    CQWF_Image();
    ~CQWF_Image() override;

    CQWF_Image(const CQWF_Image&) = delete;
    CQWF_Image& operator=(const CQWF_Image&) = delete;

    // Number of planes of a type (0 for an unknown type).
    static int PlaneCount(uint8_t type);

    void Free();
    bool Create(uint16_t width, uint16_t height, uint8_t type);
    bool CreateFrom(const CQWF_Image* source, uint8_t type = 0);
    bool ConvertType(uint8_t type);

    uint8_t GetType() const { return m_type; }
    uint16_t GetWidth() const { return m_width; }
    uint16_t GetHeight() const { return m_height; }
    bool GetSize(int16_t& width, int16_t& height) const;
    bool GetSize(int32_t& width, int32_t& height) const;
    bool IsEmpty() const { return m_pMem == nullptr; }

    // Bytes of one plane (width * height) and of the whole pixel block.
    size_t GetPlaneSize() const { return static_cast<size_t>(m_width) * m_height; }
    size_t GetDataSize() const { return m_pMem ? m_pMem->GetSize() : 0; }
    // The pixel block (null when empty).
    uint8_t* GetData() const { return m_pMem ? m_pMem->GetData() : nullptr; }
    CQWF_Mem* GetMem() const { return m_pMem; }
    // Start of plane k (null when empty or k is not a plane of the type).
    uint8_t* GetPlane(int k) const;

    // Byte at x, y of plane 0; null with error 2 when empty, error 1 when outside.
    uint8_t* GetPixelPtr(uint16_t x, uint16_t y);
    // One pointer per plane of the type (up to 6) and the row stride (= width).
    bool GetPlanes(uint8_t** planes, int64_t& stride);

    bool Fill(uint32_t colour, uint8_t planeMask = 255, const QWF_Rect& rect = QWF_WHOLE_RECT);
    bool FillChecker(int32_t cellWidth, int32_t cellHeight, uint32_t colour1, uint32_t colour2,
                     const QWF_Rect& rect = QWF_WHOLE_RECT);
    bool TileFrom(const CQWF_Image* source, const QWF_Rect& sourceRect = QWF_WHOLE_RECT,
                  const QWF_Rect& targetRect = QWF_WHOLE_RECT);
    bool Blit(const CQWF_Image* source, int32_t sourceX, int32_t sourceY,
              const QWF_Rect& targetRect = QWF_WHOLE_RECT);
    bool BlitAlpha(const CQWF_Image* source, int32_t sourceX, int32_t sourceY,
                   const QWF_Rect& targetRect = QWF_WHOLE_RECT, uint8_t opacity = 100);

    void SetAlphaPixel(int32_t x, int32_t y, uint8_t value, const QWF_Rect& clip = QWF_WHOLE_RECT);
    void BlendPixel(int32_t x, int32_t y, uint32_t colour, const QWF_Rect& clip = QWF_WHOLE_RECT);
    void DrawAlphaLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t value,
                       const QWF_Rect& clip = QWF_WHOLE_RECT);
    bool DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                  const QWF_Rect& clip = QWF_WHOLE_RECT);
    void DrawCircle(int32_t cx, int32_t cy, int32_t radius, uint32_t colour,
                    const QWF_Rect& clip = QWF_WHOLE_RECT);

protected:
    // Clips r (sentinel = whole image) to the image; false when the result is empty.
    bool ClipRect(const QWF_Rect& r, QWF_Rect& out) const;
    // The clip rectangle of the pixel primitives intersected with the image.
    QWF_Rect PixelClip(const QWF_Rect& clip) const;

    CQWF_Mem* m_pMem = nullptr;
    uint8_t m_type = 0;
    uint16_t m_width = 0;
    uint16_t m_height = 0;
};

// Draws lines and polylines given in doubles into one 8-bit plane or a 1-bit mask.
class CQWF_ImageDrawing : public CQWF_FrameWork {
public:
    CQWF_ImageDrawing();
    ~CQWF_ImageDrawing() override;

    bool SetTarget(uint8_t* plane, int32_t bitStride, int32_t width, int32_t height);
    // Targets the last (alpha) plane of a type-2 or type-4 image.
    bool Attach(CQWF_Image* image);
    void SetClip(int32_t left, int32_t top, int32_t right, int32_t bottom);

    bool DrawLine(double x0, double y0, double x1, double y1, double width);
    bool DrawWideLine(double x0, double y0, double x1, double y1, double width, uint8_t roundCaps,
                      uint8_t mode, uint8_t footprint);
    bool DrawSegment(double x0, double y0, double x1, double y1, double width, uint8_t roundCaps,
                     uint8_t mode, uint8_t footprint);
    // points: count pairs (x, y) of doubles.
    bool DrawPolyline(const double* points, int64_t count, double width, uint8_t roundCaps,
                      uint8_t mode, uint8_t footprint, double minDistanceSquared);

    bool DrawBitLine(double x0, double y0, double x1, double y1);
    bool DrawThinLine(double x0, double y0, double x1, double y1);
    bool DrawThickLine(double x0, double y0, double x1, double y1, double width);

    // Set directly by the owner.
    uint8_t m_antiAlias = 1;
    uint8_t m_value = 255;
    uint8_t m_oneBit = 0;

    uint8_t* GetTarget() const { return m_target; }

protected:
    void SetBit(int32_t x, int32_t y);
    void StampDisc(int32_t x, int32_t y, int32_t diameter);
    // The effective clip: the clip rectangle (sentinel = whole target) within the target.
    QWF_Rect EffectiveClip() const;

    uint8_t* m_target = nullptr;
    int32_t m_bitStride = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    QWF_Rect m_clip = QWF_WHOLE_RECT;
};
