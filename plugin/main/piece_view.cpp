#include "plugin/main/piece_view.h"

#include "plugin/main/selection_geometry.h"

#include <algorithm>
#include <cstring>

const EffectCheckBox kEffectCheckBoxes[9] = {
    {kFxBlur, "Main_FXBlur"},           {kFxBevel, "Main_FXBevel"},
    {kFxHsl, "Main_FXHSL"},             {kFxColourOverlay, "Main_FXCOver"},
    {kFxBrightContrast, "Main_FXBC"},   {kFxMotionBlur, "Main_FXMBlur"},
    {kFxOpacity, "Main_FXOpacity"},     {kFxStroke, "Main_FXStroke"},
    {kFxImageOverlay, "Main_FXIOver"},
};

uint32_t PieceEffectBits(const JigPiece& p)
{
    const int a = kJigApplied;
    uint32_t m = 0;
    if (p.blur[a].on) m |= kFxBlur;
    if (p.bevel[a].on) m |= kFxBevel;
    if (p.hsl[a].on) m |= kFxHsl;
    if (p.colourOverlay[a].on) m |= kFxColourOverlay;
    if (p.brightContrast[a].on) m |= kFxBrightContrast;
    if (p.motionBlur[a].on) m |= kFxMotionBlur;
    if (p.opacity[a].on) m |= kFxOpacity;
    if (p.invert[a]) m |= kFxInvert;
    if (p.stroke[a].on) m |= kFxStroke;
    if (p.imageOverlay[a].on) m |= kFxImageOverlay;
    m |= p.shown ? kFxSomeShown : kFxSomeHidden;
    return m;
}

CPieceView::CPieceView(CJigcrafter& engine) : m_engine(engine) {}

void CPieceView::SetImageSize(int32_t width, int32_t height)
{
    if (width != m_width || height != m_height)
        m_marks.Free();
    m_width = width;
    m_height = height;
}

uint8_t CPieceView::GetPiecesFlagState() const
{
    const int32_t n = m_engine.GetPieceCount();
    const JigPiece* pieces = const_cast<CJigcrafter&>(m_engine).GetPieces();
    int32_t selected = 0;
    for (int32_t i = 0; i < n; ++i)
        selected += pieces[i].selected ? 1 : 0;
    if (selected == 0)
        return 0;
    return selected == n ? 1 : 2;
}

uint32_t CPieceView::GetPieceEffectFlags(int32_t index) const
{
    const int32_t n = m_engine.GetPieceCount();
    const JigPiece* pieces = const_cast<CJigcrafter&>(m_engine).GetPieces();
    if (n <= 0 || !pieces)
        return 0;
    if (index >= 0)
        return index < n ? PieceEffectBits(pieces[index]) : 0;
    if (index != -1)
        return 0;
    uint32_t selected = 0, all = 0;
    bool any = false;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t bits = PieceEffectBits(pieces[i]);
        all |= bits;
        if (pieces[i].selected) {
            selected |= bits;
            any = true;
        }
    }
    return any ? selected : all;
}

void CPieceView::UpdateEffectButtons(bool layoutMode, bool effectWindowOpen)
{
    if (layoutMode || effectWindowOpen)
        return;
    const uint32_t m = GetPieceEffectFlags(-1);
    for (const EffectCheckBox& box : kEffectCheckBoxes)
        m_pSink->SetCheck(box.name, (m & box.bit) != 0);
    m_pSink->EnableControl("Main_Show", (m & kFxSomeHidden) != 0);
    m_pSink->EnableControl("Main_Hide", (m & kFxSomeShown) != 0);
}

int32_t CPieceView::PieceAtPoint(int32_t x, int32_t y) const
{
    return qwsel::PieceAtPoint(const_cast<CJigcrafter&>(m_engine).GetPieces(),
                               m_engine.GetPieceCount(), x, y);
}

QWF_Rect CPieceView::GetPieceMaskBounds(int32_t index) const
{
    return qwsel::GetPieceMaskBounds(const_cast<CJigcrafter&>(m_engine).GetPieces(),
                                     m_engine.GetPieceCount(), index);
}

bool CPieceView::PieceNeedsRender(int32_t index, bool rgb) const
{
    if (index < 0 || index >= m_engine.GetPieceCount())
        return false;
    return ::PieceNeedsRender(const_cast<CJigcrafter&>(m_engine).GetPieces()[index], rgb);
}

// ---------------------------------------------------------------------------------------------
// Selection and its marks.

void CPieceView::MarkPiece(int32_t index, uint8_t value)
{
    if (!m_marks.GetData() || index < 0 || index >= m_engine.GetPieceCount())
        return;
    const JigPiece& p = m_engine.GetPieces()[index];
    const int32_t w = p.Width();
    if (w <= 0 || !p.maskRuns)
        return;
    CQWF_Mem rowMem;
    if (!rowMem.Alloc(static_cast<size_t>(w)))
        return;
    uint8_t* row = rowMem.GetData();
    for (int32_t y = 0; y < p.Height(); ++y) {
        const int32_t iy = p.top + y;
        if (iy < 0 || iy >= m_height)
            continue;
        CJigcrafter::ReadPieceMaskRow(p, y, row);
        uint8_t* out = m_marks.GetData() + static_cast<int64_t>(iy) * m_width;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t ix = p.left + x;
            if (row[x] && ix >= 0 && ix < m_width)
                out[ix] = value;
        }
    }
}

bool CPieceView::RebuildMarks()
{
    ClearError();
    if (m_width <= 0 || m_height <= 0) {
        m_marks.Free();
        return true;
    }
    const size_t bytes = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    if (m_marks.GetSize() != bytes && !m_marks.Alloc(bytes)) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    std::memset(m_marks.GetData(), 0, bytes);
    const int32_t n = m_engine.GetPieceCount();
    for (int32_t i = 0; i < n; ++i)
        if (m_engine.GetPieces()[i].selected)
            MarkPiece(i, 255);
    if (m_showExtras)
        m_pSink->SetPreviewMarks(m_marks.GetData(), m_width);
    return true;
}

void CPieceView::SelectPiece(int32_t index, uint8_t value, bool redraw)
{
    if (index < 0 || index >= m_engine.GetPieceCount())
        return;
    m_engine.GetPieces()[index].selected = value ? 1 : 0;
    MarkPiece(index, value ? 255 : 0);
    if (redraw)
        m_pSink->RenderPreview();
}

void CPieceView::SelectAllPieces(bool redraw)
{
    const int32_t n = m_engine.GetPieceCount();
    for (int32_t i = 0; i < n; ++i)
        SelectPiece(i, 1, false);
    if (redraw)
        m_pSink->RenderPreview();
}

void CPieceView::DeselectAllPieces(bool redraw)
{
    const int32_t n = m_engine.GetPieceCount();
    for (int32_t i = 0; i < n; ++i)
        m_engine.GetPieces()[i].selected = 0;
    if (m_marks.GetData())
        std::memset(m_marks.GetData(), 0, m_marks.GetSize());
    if (redraw)
        m_pSink->RenderPreview();
}

void CPieceView::SelectPieces(const CQWF_DWordArray& indices, uint8_t value, bool redraw)
{
    for (size_t k = 0; k < indices.GetCount(); ++k)
        SelectPiece(static_cast<int32_t>(indices.GetAt(k)), value, false);
    if (redraw)
        m_pSink->RenderPreview();
}

void CPieceView::ShowExtras(bool on, bool redraw)
{
    if (on == m_showExtras)
        return;
    m_showExtras = on;
    m_pSink->ShowExtrasButtons(on);
    if (on && !m_marks.GetData())
        RebuildMarks();
    m_pSink->SetPreviewMarks(on ? m_marks.GetData() : nullptr, on ? m_width : 0);
    if (redraw)
        m_pSink->RenderPreview();
}

// ---------------------------------------------------------------------------------------------
// Selection overlay.

bool CPieceView::BuildPreviewMask(const CQWF_Image& face)
{
    ClearError();
    const int32_t w = m_preview.right - m_preview.left;
    const int32_t h = m_preview.bottom - m_preview.top;
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (m_overlay.GetWidth() != w || m_overlay.GetHeight() != h || m_overlay.GetType() != 2) {
        if (!m_overlay.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2)) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
    }
    m_overlay.Fill(0);
    const int32_t fw = face.GetWidth();
    const int32_t fh = face.GetHeight();
    const int faceCount = CQWF_Image::PlaneCount(face.GetType());
    for (int c = 0; c < 3; ++c) {
        uint8_t* out = m_overlay.GetPlane(c);
        const uint8_t* in = faceCount >= 3 ? face.GetPlane(c) : nullptr;
        for (int32_t y = 0; y < h; ++y) {
            const int32_t fy = m_preview.top + y;
            for (int32_t x = 0; x < w; ++x) {
                const int32_t fx = m_preview.left + x;
                uint8_t v = 0;
                if (in && fx >= 0 && fy >= 0 && fx < fw && fy < fh)
                    v = in[static_cast<int64_t>(fy) * fw + fx];
                out[static_cast<int64_t>(y) * w + x] = v <= 127 ? 255 : 0;
            }
        }
    }
    return true;
}

void CPieceView::DrawRubberBand(const QWF_Rect* band)
{
    if (m_overlay.IsEmpty())
        return;
    m_overlay.Fill(0, 8);
    if (band && band->left < band->right && band->top < band->bottom) {
        const int32_t l = band->left - m_preview.left;
        const int32_t t = band->top - m_preview.top;
        const int32_t r = band->right - 1 - m_preview.left;
        const int32_t b = band->bottom - 1 - m_preview.top;
        m_overlay.DrawAlphaLine(l, t, l, b, 255);
        m_overlay.DrawAlphaLine(l, t, r, t, 255);
        m_overlay.DrawAlphaLine(r, t, r, b, 255);
        m_overlay.DrawAlphaLine(l, b, r, b, 255);
    }
    m_pSink->RepaintPreview();
}

void CPieceView::DrawLasso(const CQWF_DWordArray& points)
{
    if (m_overlay.IsEmpty())
        return;
    m_overlay.Fill(0, 8);
    const size_t n = points.GetCount();
    for (size_t i = 0; i < n; ++i) {
        int32_t x0, y0, x1, y1;
        UnpackLassoPoint(points.GetAt(i), x0, y0);
        UnpackLassoPoint(points.GetAt((i + 1) % n), x1, y1);
        m_overlay.DrawAlphaLine(x0 - m_preview.left, y0 - m_preview.top, x1 - m_preview.left,
                                y1 - m_preview.top, 255);
    }
    m_pSink->RepaintPreview();
}

// ---------------------------------------------------------------------------------------------

bool CPieceView::CompositePieces(CQWF_Image& target, const uint8_t* mask, int64_t maskStride,
                                 const QWF_Rect& rect, bool redraw, double from, double to)
{
    ClearError();
    if (target.IsEmpty() || CQWF_Image::PlaneCount(target.GetType()) != 4) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    uint8_t* planes[4];
    for (int i = 0; i < 4; ++i)
        planes[i] = target.GetPlane(i);
    CQWF_Progress* progress = m_pSink->BeginProgress("Rendering is in progress:");
    CQWF_Progress* before = m_engine.GetProgress();
    if (progress)
        m_engine.SetProgressSink(progress);
    // Anti-aliased edges unless razor cut: the union of neighbouring pieces' edges is taken.
    const bool smooth = m_engine.GetAntiAliasing() && !m_engine.GetRazorCut();
    const bool ok = m_engine.Composite(target.GetWidth(), target.GetHeight(), planes,
                                       target.GetWidth(), 4, mask, maskStride, rect.left,
                                       rect.top, rect.right, rect.bottom, smooth, from, to);
    m_engine.SetProgressSink(before);
    m_pSink->EndProgress(progress);
    m_pSink->FadeStatus();
    if (redraw)
        m_pSink->RenderPreview();
    return ok;
}

void CPieceView::BeginPiecesChange()
{
    if (!m_undo.Begin(m_engine, m_anchor))
        m_undo.Invalidate();
}

void CPieceView::EndPiecesChange(bool onlyIfChanged)
{
    m_undo.End(m_engine, onlyIfChanged);
}
