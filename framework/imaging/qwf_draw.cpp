// Line rasteriser (implementation in progress).
#include "framework/imaging/qwf_image.h"

CQWF_ImageDrawing::CQWF_ImageDrawing() = default;
CQWF_ImageDrawing::~CQWF_ImageDrawing() = default;
bool CQWF_ImageDrawing::SetTarget(uint8_t* p, int32_t bs, int32_t w, int32_t h) { m_target = p; m_bitStride = bs; m_width = w; m_height = h; return true; }
bool CQWF_ImageDrawing::Attach(CQWF_Image*) { SetError(QWF_ERR_ARGUMENT); return false; }
void CQWF_ImageDrawing::SetClip(int32_t l, int32_t t, int32_t r, int32_t b) { m_clip = QWF_Rect{l, t, r, b}; }
bool CQWF_ImageDrawing::DrawLine(double, double, double, double, double) { return false; }
bool CQWF_ImageDrawing::DrawWideLine(double, double, double, double, double, uint8_t, uint8_t, uint8_t) { return false; }
bool CQWF_ImageDrawing::DrawSegment(double, double, double, double, double, uint8_t, uint8_t, uint8_t) { return false; }
bool CQWF_ImageDrawing::DrawPolyline(const double*, int64_t, double, uint8_t, uint8_t, uint8_t, double) { return false; }
bool CQWF_ImageDrawing::DrawBitLine(double, double, double, double) { return false; }
bool CQWF_ImageDrawing::DrawThinLine(double, double, double, double) { return false; }
bool CQWF_ImageDrawing::DrawThickLine(double, double, double, double, double) { return false; }
void CQWF_ImageDrawing::SetBit(int32_t, int32_t) {}
void CQWF_ImageDrawing::StampDisc(int32_t, int32_t, int32_t) {}
QWF_Rect CQWF_ImageDrawing::EffectiveClip() const { return m_clip; }
