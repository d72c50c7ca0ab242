// 8-bit PNG images with transparency, written and read through libpng.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/imaging/qwf_imagefile.h"

class CQWF_PNGAreaCoder;

enum QWF_PNGMode : uint8_t {
    QWF_PNG_RGBA = 1,  // planes R, G, B, alpha
    QWF_PNG_GRAYA = 2, // planes gray, alpha
};

struct QWF_PNGSettings {
    int16_t width = 0;
    int16_t height = 0;
    uint8_t mode = QWF_PNG_RGBA;
    const uint8_t* planes[4] = {};
    int32_t stride = 0;              // bytes from one row of a plane to the next
    const char* product = nullptr;   // text of the "Product" chunk
    double resolution = 72.0;        // pixels per inch
    // RGB with alpha only: the planes may hold just an area of the picture, areaWidth x
    // areaHeight pixels from (areaLeft, areaTop), inside the picture; every other pixel has the
    // colour `outside` (0xAABBGGRR), and so has a channel whose plane is null throughout the
    // area. A zero areaWidth: the planes hold the whole picture.
    int32_t areaLeft = 0;
    int32_t areaTop = 0;
    int32_t areaWidth = 0;
    int32_t areaHeight = 0;
    uint32_t outside = 0;
    // When given, every alpha value a taken from the planes is written as alphaMap[a].
    const uint8_t* alphaMap = nullptr;
};

class CQWF_ImagePNG : public CQWF_ImageReader, public CQWF_ImageWriter {
public:
    CQWF_ImagePNG() = default;
    ~CQWF_ImagePNG() override;

    // Writes the picture through libpng row by row; a picture given by an area (see the
    // settings) has its image data made here, the rows outside the area compressed once for
    // every picture of the same width and colour that this object writes.
    bool Write(const QWF_PNGSettings& settings);
    void Release() override;

    using CQWF_ImageReader::ReadImage;
    using CQWF_ImageReader::ReadInfo;
    bool ReadInfo(const uint8_t* bytes, size_t length) override;
    bool ReadImage(const uint8_t* bytes, size_t length) override;

    // Pixels per metre for a resolution in pixels per inch, as written into pHYs.
    static uint32_t PixelsPerMetre(double resolution);

private:
    // The parts that run under libpng's error jump; they hold no objects with destructors.
    bool WriteStream(void* png, void* info, const QWF_PNGSettings& settings);
    bool WriteRows(void* png, void* info, const QWF_PNGSettings& settings, size_t channels);
    // The image data and the end of a picture given by an area, after libpng's chunks.
    bool WriteArea(const QWF_PNGSettings& settings);
    bool WriteChunk(const char* type, const uint8_t* data, size_t length);
    bool ReadStream(void* png, void* info, bool pixels);
    bool Read(const uint8_t* bytes, size_t length, bool pixels);

    static void WriteCallback(struct png_struct_def* png, unsigned char* data, size_t length);
    static void FlushCallback(struct png_struct_def* png);
    static void ReadCallback(struct png_struct_def* png, unsigned char* data, size_t length);

    CQWF_Mem m_row;      // one interleaved row while writing
    CQWF_Mem m_pixels;   // the interleaved image while reading
    CQWF_PNGAreaCoder* m_area = nullptr;
    const uint8_t* m_readPos = nullptr;
    const uint8_t* m_readEnd = nullptr;
};
