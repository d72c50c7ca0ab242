#include "plugin/main/export_engine_source.h"

#include "plugin/core/jigcrafter.h"

namespace {
constexpr int kRgbPlanes = 4;  // the engine's pieces of an RGB document: R, G, B, alpha
}

void CEngineExportSource::SetDocumentImage(uint8_t* const planes[4], int64_t stride, int32_t width,
                                           int32_t height, const uint8_t* mask,
                                           int64_t maskStride, bool unionMode)
{
    for (int c = 0; c < 4; ++c) m_planes[c] = planes ? planes[c] : nullptr;
    m_stride = stride;
    m_width = width;
    m_height = height;
    m_mask = mask;
    m_maskStride = maskStride;
    m_union = unionMode;
}

bool CEngineExportSource::BuildDocumentImage(int32_t width, int32_t height, bool unionMode)
{
    if (width <= 0 || height <= 0) return false;
    const size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (!m_own.AllocZeroed(area * 4)) return false;
    uint8_t* planes[4];
    for (int c = 0; c < 4; ++c) planes[c] = m_own.GetData() + area * c;
    SetDocumentImage(planes, width, width, height, nullptr, 0, unionMode);
    return Recomposite(QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, nullptr, 0, 100);
}

int32_t CEngineExportSource::GetPieceCount() const
{
    return m_engine.GetPieceCount() > 0 ? m_engine.GetPieceCount() : 0;
}

bool CEngineExportSource::GetPiece(int32_t index, RenderedPiece& out) const
{
    const JigPiece* p = m_engine.GetPiece(index);
    if (!p || m_engine.GetScratchPlaneCount() != kRgbPlanes) return false;
    out.left = p->left;
    out.top = p->top;
    out.right = p->right;
    out.bottom = p->bottom;
    for (int c = 0; c < 4; ++c) out.planes[c] = p->workPlane[c];
    out.stride = p->workStride[0];
    out.row = p->row;
    out.column = p->column;
    out.selected = p->selected;
    out.shown = p->shown;
    out.opacityOn = p->opacity[kJigApplied].on;
    out.opacity = p->opacity[kJigApplied].value;
    out.bevelRendered = p->bevel[kJigApplied].on;
    return true;
}

void CEngineExportSource::SetShown(int32_t index, bool shown)
{
    if (JigPiece* p = m_engine.GetPiece(index)) p->shown = shown ? 1 : 0;
}

bool CEngineExportSource::RenderWithBevel(int32_t index, bool bevelOn)
{
    JigPiece* p = m_engine.GetPiece(index);
    if (!p) return false;
    p->bevel[kJigToApply].on = bevelOn ? 1 : 0;
    return m_engine.RenderPiece(index);
}

bool CEngineExportSource::GetDocumentImage(DocumentImage& out)
{
    if (!m_planes[0] || m_width <= 0 || m_height <= 0) return false;
    for (int c = 0; c < 4; ++c) out.planes[c] = m_planes[c];
    out.stride = m_stride;
    out.width = m_width;
    out.height = m_height;
    return true;
}

bool CEngineExportSource::Recomposite(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                      CQWF_Progress* progress, uint8_t from, uint8_t to)
{
    if (!m_planes[0]) return false;
    CQWF_Progress* previous = m_engine.GetProgress();
    if (progress) m_engine.SetProgressSink(progress);
    const bool ok = m_engine.Composite(m_width, m_height, m_planes, m_stride, 4, m_mask,
                                       m_maskStride, left, top, right, bottom, m_union, from, to);
    m_engine.SetProgressSink(previous);
    return ok;
}
