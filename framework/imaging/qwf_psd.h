// Layered Photoshop documents (8 bits per channel): a writer with PackBits-compressed channels and
// a merged image composed over white, and a reader for the merged image and the layers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/imaging/qwf_imagefile.h"

struct QWF_PSDSettings {
    int16_t width = 0;
    int16_t height = 0;
    uint8_t colorMode = QWF_MODE_RGB;  // 1 RGB, 2 grayscale, 3 CMYK
    double resolution = 72.0;         // pixels per inch
    int32_t lightAngle = 30;          // degrees
    const uint8_t* profile = nullptr;  // ICC profile bytes, may be null
    uint32_t profileSize = 0;
};

// One layer: the colour planes in order (R, G, B; gray; or C, M, Y, K) and then the transparency
// plane. Planes beyond the layer's channels are ignored.
struct QWF_PSDLayer {
    int16_t width = 0;
    int16_t height = 0;
    int16_t left = 0;
    int16_t top = 0;
    uint8_t visible = 1;
    uint8_t opacity = 255;
    char name[64] = {};
    const uint8_t* planes[5] = {};
    int32_t stride = 0;
    // Reading only: the section type of an "lsct" block (0 none, 1 and 2 a group, 3 a group end).
    uint8_t sectionType = 0;
};

class CQWF_ImagePSD : public CQWF_ImageReader, public CQWF_ImageWriter {
public:
    CQWF_ImagePSD() = default;
    ~CQWF_ImagePSD() override;

    bool SetWriteSettings(const QWF_PSDSettings& settings);
    // Copies the description; the planes stay the caller's and must live until Write returns.
    bool AddLayer(const QWF_PSDLayer& layer);
    bool AddLayer(int16_t width, int16_t height, int16_t left, int16_t top, uint8_t visible,
                  uint8_t opacity, const char* name, const uint8_t* const planes[5],
                  int32_t stride);
    int64_t GetLayerCount() const { return static_cast<int64_t>(m_layerCount); }
    bool Write();
    void Release() override;

    using CQWF_ImageReader::ReadImage;
    using CQWF_ImageReader::ReadInfo;
    bool ReadInfo(const uint8_t* bytes, size_t length) override;
    bool ReadImage(const uint8_t* bytes, size_t length) override;

    // Reads the layers (the merged image when the file has none).
    virtual bool Read(const uint8_t* bytes, size_t length);
    virtual bool Read(const CQWF_Mem& block);
    virtual bool Read(CQWF_StdFile& file);
    virtual bool Read();
    // Layers read by Read; their planes are held until the next read or destruction.
    int64_t GetReadLayerCount() const { return static_cast<int64_t>(m_readCount); }
    const QWF_PSDLayer* GetReadLayer(int64_t index) const;

    // Packs one row with PackBits into out (room for n + n / 2 + 2 bytes); returns the packed
    // length.
    static size_t PackRow(const uint8_t* row, size_t n, uint8_t* out);
    // Unpacks PackBits data into exactly n bytes; false when the data is short or overruns.
    static bool UnpackRow(const uint8_t*& data, const uint8_t* end, uint8_t* out, size_t n);

private:
    bool WriteHeaderAndResources();
    bool WriteLayers();
    bool WriteMerged();
    bool PackChannel(const QWF_PSDLayer& layer, int channel, uint64_t& length);
    void FreeReadLayers();
    bool ParseHeader(const uint8_t* bytes, size_t length);

    QWF_PSDSettings m_settings;
    CQWF_Mem m_layers;  // QWF_PSDLayer records in the order added
    size_t m_layerCount = 0;
    CQWF_Mem m_work;    // packed channel data
    CQWF_Mem m_row;     // one composed row of the merged image

    CQWF_Mem m_readLayers;  // QWF_PSDLayer records read
    size_t m_readCount = 0;
    CQWF_Mem m_readPixels;  // planes of every read layer
};

namespace qwf {
// Test hook: the largest section length the PSD writer accepts (default: the format's 32 bits).
void SetPsdSectionLimit(uint64_t limit);
}
