// Planar image (implementation in progress).
#include "framework/imaging/qwf_image.h"

CQWF_Image::CQWF_Image() = default;
CQWF_Image::~CQWF_Image() { Free(); }
int CQWF_Image::PlaneCount(uint8_t type)
{
    static const int kPlanes[7] = {0, 3, 4, 4, 5, 1, 2};
    return type <= 6 ? kPlanes[type] : 0;
}
void CQWF_Image::Free() { delete m_pMem; m_pMem = nullptr; m_type = 0; m_width = m_height = 0; ClearError(); }
bool CQWF_Image::Create(uint16_t, uint16_t, uint8_t) { Free(); SetError(QWF_ERR_MEMORY); return false; }
bool CQWF_Image::CreateFrom(const CQWF_Image*, uint8_t) { SetError(QWF_ERR_ARGUMENT); return false; }
bool CQWF_Image::ConvertType(uint8_t) { SetError(QWF_ERR_EMPTY); return false; }
bool CQWF_Image::GetSize(int16_t& w, int16_t& h) const { w = (int16_t)m_width; h = (int16_t)m_height; return true; }
bool CQWF_Image::GetSize(int32_t& w, int32_t& h) const { w = m_width; h = m_height; return true; }
uint8_t* CQWF_Image::GetPlane(int) const { return nullptr; }
uint8_t* CQWF_Image::GetPixelPtr(uint16_t, uint16_t) { SetError(QWF_ERR_EMPTY); return nullptr; }
bool CQWF_Image::GetPlanes(uint8_t**, int64_t&) { SetError(QWF_ERR_ARGUMENT); return false; }
bool CQWF_Image::Fill(uint32_t, uint8_t, const QWF_Rect&) { SetError(QWF_ERR_EMPTY); return false; }
bool CQWF_Image::FillChecker(int32_t, int32_t, uint32_t, uint32_t, const QWF_Rect&) { return false; }
bool CQWF_Image::TileFrom(const CQWF_Image*, const QWF_Rect&, const QWF_Rect&) { return false; }
bool CQWF_Image::Blit(const CQWF_Image*, int32_t, int32_t, const QWF_Rect&) { return false; }
bool CQWF_Image::BlitAlpha(const CQWF_Image*, int32_t, int32_t, const QWF_Rect&, uint8_t) { return false; }
void CQWF_Image::SetAlphaPixel(int32_t, int32_t, uint8_t, const QWF_Rect&) {}
void CQWF_Image::BlendPixel(int32_t, int32_t, uint32_t, const QWF_Rect&) {}
void CQWF_Image::DrawAlphaLine(int32_t, int32_t, int32_t, int32_t, uint8_t, const QWF_Rect&) {}
bool CQWF_Image::DrawLine(int32_t, int32_t, int32_t, int32_t, uint32_t, const QWF_Rect&) { return false; }
void CQWF_Image::DrawCircle(int32_t, int32_t, int32_t, uint32_t, const QWF_Rect&) {}
bool CQWF_Image::ClipRect(const QWF_Rect&, QWF_Rect&) const { return false; }
QWF_Rect CQWF_Image::PixelClip(const QWF_Rect& c) const { return c; }
