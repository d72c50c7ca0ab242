// The cutting engine's piece table as the rendered-piece source of the piece export, with the
// document image the engine's pieces are composited into.
#pragma once

#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "plugin/main/piece_export.h"

class CJigcrafter;

class CEngineExportSource : public CRenderedPieceSource {
public:
    explicit CEngineExportSource(CJigcrafter& engine) : m_engine(engine) {}

    // The document image is the caller's (the main window's rendered image): red, green, blue and
    // alpha planes of width x height, with the mask of the filtered area (may be null) that the
    // composite's alpha never exceeds.
    void SetDocumentImage(uint8_t* const planes[4], int64_t stride, int32_t width, int32_t height,
                          const uint8_t* mask, int64_t maskStride, bool unionMode);
    // An own document image of width x height with every shown piece composited into it.
    bool BuildDocumentImage(int32_t width, int32_t height, bool unionMode);

    int32_t GetPieceCount() const override;
    bool GetPiece(int32_t index, RenderedPiece& out) const override;
    void SetShown(int32_t index, bool shown) override;
    bool RenderWithBevel(int32_t index, bool bevelOn) override;
    bool GetDocumentImage(DocumentImage& out) override;
    bool Recomposite(int32_t left, int32_t top, int32_t right, int32_t bottom,
                     CQWF_Progress* progress, uint8_t from, uint8_t to) override;

private:
    CJigcrafter& m_engine;
    CQWF_Mem m_own;  // the own document image's planes
    uint8_t* m_planes[4] = {};
    int64_t m_stride = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    const uint8_t* m_mask = nullptr;
    int64_t m_maskStride = 0;
    bool m_union = false;
};
