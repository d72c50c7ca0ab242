// Pixel effects over planar 8-bit plane sets: colour effects, blurs, convolution, stroke,
// bevel and scaling. An effect reads the source plane set and writes the target plane set;
// both point into memory that the caller owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

class CQWF_Image;
class CQWF_Progress;

// One set of planes: colour planes first, the alpha plane last when the alpha flag is set.
// Pixel (x, y) of plane k is byte y * stride + x of plane k.
struct QWF_PlaneSet {
    uint8_t* first = nullptr;
    uint8_t* planes[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    int32_t stride = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t count = 0;
    uint8_t alpha = 0;
};

// State of the one-dimensional Gaussian line filter (recursive filter for larger sigmas,
// a direct kernel of at most 19 taps below 1.5).
struct QWF_Gaussian {
    double a1 = 0, a2 = 0, a3 = 0, B = 1;
    double sigma = 0;
    double* line = nullptr;
    size_t count = 0;
    CQWF_Mem* work = nullptr;
    uint8_t edgeFlag = 0;
    uint8_t edgeValue = 0;
    uint8_t direct = 0;
    double kernel[20] = {};
    uint16_t kernelCount = 0;
    uint8_t level = 0;  // vector level of the filter's kernels (qwp::CpuLevel), set by InitGaussian
};

class CQWF_ImageFX : public CQWF_FrameWork {
public:
    CQWF_ImageFX();
    ~CQWF_ImageFX() override;

    CQWF_ImageFX(const CQWF_ImageFX&) = delete;
    CQWF_ImageFX& operator=(const CQWF_ImageFX&) = delete;

    // Frame.
    bool SetSourcePlanes(uint8_t* const planes[5], int32_t stride, uint8_t count, uint8_t alpha,
                         uint16_t width, uint16_t height);
    bool SetTargetPlanes(uint8_t* const planes[5], int32_t stride, uint8_t count, uint8_t alpha,
                         uint16_t width, uint16_t height);
    void GetTargetPlanes(uint8_t* planes[5], int32_t* stride, uint8_t* count, uint8_t* alpha,
                         uint16_t* width, uint16_t* height) const;
    bool SetSourceBuffer(uint8_t* first, int32_t stride, uint8_t count, uint8_t alpha,
                         uint16_t width, uint16_t height);
    bool SetTargetBuffer(uint8_t* first, int32_t stride, uint8_t count, uint8_t alpha,
                         uint16_t width, uint16_t height);
    bool SetSourceImage(CQWF_Image* image);
    bool SetTargetImage(CQWF_Image* image);

    const QWF_PlaneSet& Source() const { return m_source; }
    const QWF_PlaneSet& Target() const { return m_target; }

    void SetFillByte(uint8_t value) { m_fill = value; }
    void SetProgress(CQWF_Progress* progress) { m_progress = progress; }

    // Colour effects.
    bool Invert();
    bool BlendSource(uint8_t opacity);
    bool ColorOverlay(const uint8_t* colour, uint8_t opacity);
    bool BrightnessContrast(int8_t brightness, int8_t contrast, uint8_t midpoint);
    bool AdjustHSL(int16_t hue, int16_t saturation, int16_t lightness, uint8_t lightnessFirst);
    bool Desaturate();

    // Line filter shared by the blurs and the bevel.
    static void InitGaussian(double sigma, QWF_Gaussian& state, CQWF_Mem* work, uint8_t edgeFlag,
                             uint8_t edgeValue);
    static bool FilterLine(QWF_Gaussian& state);
    static void FillFromOpaque(const uint8_t* bytes, double* out, size_t count,
                               const uint8_t* mask);

    // Blurs and convolution.
    bool Blur(double sigma, uint8_t alphaFlag, uint8_t maskFlag);
    bool MotionBlur(double angle, double distance, uint8_t alphaFlag, uint8_t maskFlag);
    bool Convolve(const int16_t* kernel, uint16_t kernelWidth, uint16_t kernelHeight,
                  uint8_t alphaFlag);
    bool Sharpen(uint8_t alphaFlag);

    // Edge effects.
    bool Stroke(const uint8_t* colour, uint8_t opacity, uint8_t width);
    bool MakeDisc(uint8_t shift, uint8_t* out, uint16_t radius);
    bool Bevel(uint16_t size, uint16_t depth, double soften, float lightX, float lightY,
               float lightZ, const uint8_t* highlight, uint8_t highlightOpacity,
               const uint8_t* shadow, uint8_t shadowOpacity);

    // Scaling.
    bool ScaleToFit(uint8_t keepAspect);
    bool ScaleUp(uint8_t keepAspect);

private:
    bool SetPlanes(QWF_PlaneSet& set, uint8_t* const planes[5], int32_t stride, uint8_t count,
                   uint8_t alpha, int32_t width, int32_t height);
    bool SetBuffer(QWF_PlaneSet& set, uint8_t* first, int32_t stride, uint8_t count,
                   uint8_t alpha, int32_t width, int32_t height);
    bool SetImage(QWF_PlaneSet& set, CQWF_Image* image);
    bool CheckSameShape();
    bool CheckUsable();
    void CopyPlane(int plane);
    void CopyAlpha();
    bool GrowDoubles(CQWF_Mem& block, size_t count);
    bool FilterRows(const QWF_Gaussian& g, const QWF_PlaneSet& from, const QWF_PlaneSet& to,
                    int plane, const QWF_PlaneSet* maskSet);
    bool FilterColumns(const QWF_Gaussian& g, const QWF_PlaneSet& from, const QWF_PlaneSet& to,
                       int plane, const QWF_PlaneSet* maskSet);
    bool MotionBlurAngled(const QWF_Gaussian& g, int plane, double angle, bool useMask);

    CQWF_Mem m_lineBlock;      // a line of doubles for the blurs
    CQWF_Mem m_workBlock;      // padded work lines
    CQWF_Mem m_offsetBlock;    // per-column offsets of the angled motion blur
    CQWF_Mem m_fractionBlock;  // per-column fractions of the angled motion blur
    CQWF_Mem m_motionLines;    // lines of the angled motion blur
    CQWF_Mem m_motionMasks;    // masks of the angled motion blur
    CQWF_Mem m_heightMap;      // bevel height map
    CQWF_Mem m_highlightMask;  // bevel highlight mask
    CQWF_Mem m_shadowMask;     // bevel shadow mask
    uint8_t m_fill = 0;
    CQWF_Progress* m_progress = nullptr;
    QWF_PlaneSet m_source;
    QWF_PlaneSet m_target;
};
