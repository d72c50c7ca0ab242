// The piece list's commands of Puzzle mode: selection by the whole table, at random, by range,
// band and polygon; visibility; the effect commands (switch on or off, copy, paste, reset); the
// render loop with its restart; and the exchange of Puzzle mode's undo state.
#include "plugin/main/piece_view.h"

#include "plugin/main/selection_geometry.h"

#include <algorithm>

namespace {
bool Empty(const QWF_Rect& r)
{
    return r.left >= r.right || r.top >= r.bottom;
}

void Unite(QWF_Rect& into, const QWF_Rect& r)
{
    if (Empty(r))
        return;
    if (Empty(into)) {
        into = r;
        return;
    }
    into.left = std::min(into.left, r.left);
    into.top = std::min(into.top, r.top);
    into.right = std::max(into.right, r.right);
    into.bottom = std::max(into.bottom, r.bottom);
}

QWF_Rect PieceRect(const JigPiece& p)
{
    return QWF_Rect{p.left, p.top, p.right, p.bottom};
}

// Calls fn with both copies of the effect group of a type (0..9, invert excluded).
template <typename Fn> void WithGroup(JigPiece& p, int type, Fn&& fn)
{
    switch (type) {
    case kEffectBlur: fn(p.blur); break;
    case kEffectBevel: fn(p.bevel); break;
    case kEffectHsl: fn(p.hsl); break;
    case kEffectColourOverlay: fn(p.colourOverlay); break;
    case kEffectBrightContrast: fn(p.brightContrast); break;
    case kEffectMotionBlur: fn(p.motionBlur); break;
    case kEffectOpacity: fn(p.opacity); break;
    case kEffectStroke: fn(p.stroke); break;
    case kEffectImageOverlay: fn(p.imageOverlay); break;
    default: break;
    }
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Selection.

int32_t CPieceView::FirstSelectable() const
{
    return m_engine.GetRazorCut() ? 0 : 1;
}

uint8_t CPieceView::SettleTarget(bool select, bool deselect)
{
    if (!select && !deselect) {
        DeselectAllPieces(false);
        return 1;
    }
    return select ? 1 : 0;
}

void CPieceView::AfterSelection(bool redraw)
{
    if (!redraw)
        return;
    ShowExtras(true, false);
    m_pSink->RenderPreview();
    UpdateEffectButtons(false, false);
}

void CPieceView::InvertSelection(bool redraw)
{
    m_anchor = -1;
    const int32_t n = m_engine.GetPieceCount();
    for (int32_t i = 0; i < n; ++i)
        m_engine.GetPieces()[i].selected = m_engine.GetPieces()[i].selected ? 0 : 1;
    RebuildMarks();
    AfterSelection(redraw);
}

void CPieceView::SelectShownPieces(bool hiddenOnes, bool redraw)
{
    m_anchor = -1;
    DeselectAllPieces(false);
    const int32_t n = m_engine.GetPieceCount();
    for (int32_t i = 0; i < n; ++i)
        if ((m_engine.GetPieces()[i].shown == 0) == hiddenOnes)
            SelectPiece(i, 1, false);
    AfterSelection(redraw);
}

bool CPieceView::SelectRandom(uint8_t value, bool redraw)
{
    m_anchor = -1;
    CQWF_Progress* progress = m_pSink->BeginProgress("Selecting is in progress:");
    if (progress)
        progress->SetPercent(0);
    CQWF_DWordArray picked;
    const bool ok = qwsel::PiecesRandom(m_engine.GetPieces(), m_engine.GetPieceCount(), value ? 1 : 0,
                                        picked);
    if (progress)
        progress->SetPercent(85);
    if (ok)
        SelectPieces(picked, value ? 1 : 0, false);
    AfterSelection(redraw);
    if (progress)
        progress->SetPercent(100);
    m_pSink->EndProgress(progress);
    m_pSink->FadeStatus();
    return ok;
}

void CPieceView::SelectFirstPiece(bool select, bool redraw)
{
    if (m_engine.GetRazorCut() || m_engine.GetPieceCount() <= 0)
        return;
    SelectPiece(0, select ? 1 : 0, false);
    AfterSelection(redraw);
}

void CPieceView::SelectRange(bool select, bool deselect, int32_t from, int32_t to, bool redraw)
{
    const int32_t n = m_engine.GetPieceCount();
    if (from < 0 || to < 0 || from >= n || to >= n)
        return;
    const uint8_t target = SettleTarget(select, deselect);
    CQWF_DWordArray picked;
    if (qwsel::PiecesInRange(m_engine.GetPieces(), n, FirstSelectable(), from, to, target, picked))
        SelectPieces(picked, target, false);
    AfterSelection(redraw);
}

void CPieceView::SelectInImageRect(const QWF_Rect& rect, bool select, bool deselect, bool redraw)
{
    m_anchor = -1;
    const uint8_t target = SettleTarget(select, deselect);
    CQWF_DWordArray picked;
    if (qwsel::PiecesInRect(m_engine.GetPieces(), m_engine.GetPieceCount(), FirstSelectable(), rect,
                            m_width, m_height, target, picked))
        SelectPieces(picked, target, false);
    AfterSelection(redraw);
}

void CPieceView::SelectInPolygon(const int32_t* xs, const int32_t* ys, int64_t count, bool select,
                                 bool deselect, bool redraw)
{
    m_anchor = -1;
    const uint8_t target = SettleTarget(select, deselect);
    CQWF_Progress* progress = m_pSink->BeginProgress("Selecting is in progress:");
    CQWF_DWordArray picked;
    if (count >= 3 &&
        qwsel::PiecesInPolygon(m_engine.GetPieces(), m_engine.GetPieceCount(), FirstSelectable(),
                               xs, ys, count, m_width, m_height, target, picked, progress, 5.0,
                               100.0))
        SelectPieces(picked, target, false);
    m_pSink->EndProgress(progress);
    AfterSelection(redraw);
    m_pSink->FadeStatus();
}

// ---------------------------------------------------------------------------------------------
// Visibility.

QWF_Rect CPieceView::ShowPiece(int32_t index, bool shown)
{
    QWF_Rect dirty{0, 0, 0, 0};
    if (index < 0 || index >= m_engine.GetPieceCount())
        return dirty;
    JigPiece& p = m_engine.GetPieces()[index];
    if ((p.shown != 0) != shown) {
        p.shown = shown ? 1 : 0;
        dirty = PieceRect(p);
    }
    return dirty;
}

QWF_Rect CPieceView::ShowSelectedPieces(bool shown)
{
    QWF_Rect dirty{0, 0, 0, 0};
    const bool any = GetPiecesFlagState() != 0;
    for (int32_t i = 0; i < m_engine.GetPieceCount(); ++i)
        if (!any || m_engine.GetPieces()[i].selected)
            Unite(dirty, ShowPiece(i, shown));
    return dirty;
}

QWF_Rect CPieceView::ReverseVisibility()
{
    QWF_Rect dirty{0, 0, 0, 0};
    const bool any = GetPiecesFlagState() != 0;
    for (int32_t i = 0; i < m_engine.GetPieceCount(); ++i) {
        JigPiece& p = m_engine.GetPieces()[i];
        if (any && !p.selected)
            continue;
        p.shown = p.shown ? 0 : 1;
        Unite(dirty, PieceRect(p));
    }
    return dirty;
}

// ---------------------------------------------------------------------------------------------
// Effect commands.

void CPieceView::SetPiecesEffect(int type, bool explicitValue, bool on, int32_t target,
                                 CQWF_DWordArray& changed)
{
    const int32_t n = m_engine.GetPieceCount();
    if (type < 0 || type > 9 || n <= 0 || target >= n || target < -1)
        return;
    const uint32_t mask = GetPieceEffectFlags(target);
    const bool state = explicitValue ? on : (mask & (1u << type)) == 0;
    const bool any = GetPiecesFlagState() != 0;
    for (int32_t i = 0; i < n; ++i) {
        if (target >= 0 ? i != target : (any && !m_engine.GetPieces()[i].selected))
            continue;
        JigPiece& p = m_engine.GetPieces()[i];
        bool differs = false;
        if (type == kEffectInvert) {
            differs = (p.invert[kJigApplied] != 0) != state;
            if (differs)
                p.invert[kJigToApply] = state ? 1 : 0;
        } else {
            WithGroup(p, type, [&](auto& group) {
                differs = (group[kJigApplied].on != 0) != state;
                if (differs) {
                    group[kJigToApply] = group[kJigApplied];
                    group[kJigToApply].on = state ? 1 : 0;
                }
            });
        }
        if (differs)
            changed.Add(static_cast<uint32_t>(i));
    }
}

bool CPieceView::CopyEffects(int32_t index)
{
    const int32_t n = m_engine.GetPieceCount();
    if (index < 0) {
        for (index = 0; index < n && !m_engine.GetPieces()[index].selected; ++index) {
        }
    }
    if (index >= n)
        return false;
    m_engine.GetPieces()[index].GetEffects(m_clipboard, kJigApplied);
    m_clipboardFull = true;
    return true;
}

bool CPieceView::PasteEffects(int32_t index, CQWF_DWordArray& changed)
{
    const int32_t n = m_engine.GetPieceCount();
    if (!m_clipboardFull || index >= n || index < -1)
        return false;
    const bool any = GetPiecesFlagState() != 0;
    for (int32_t i = 0; i < n; ++i) {
        if (index >= 0 ? i != index : (any && !m_engine.GetPieces()[i].selected))
            continue;
        m_engine.GetPieces()[i].SetEffects(m_clipboard, kJigToApply);
        changed.Add(static_cast<uint32_t>(i));
    }
    return true;
}

void CPieceView::ResetEffects(CQWF_DWordArray& changed)
{
    const bool any = GetPiecesFlagState() != 0;
    const JigEffectSet& fresh = m_engine.GetDefaultEffects();
    for (int32_t i = 0; i < m_engine.GetPieceCount(); ++i) {
        JigPiece& p = m_engine.GetPieces()[i];
        if (any && !p.selected)
            continue;
        p.SetEffects(fresh, kJigToApply);
        if (!p.shown) {
            // Shown again, and drawn anew.
            p.shown = 1;
            p.bevel[kJigApplied].on = 0;
        }
        changed.Add(static_cast<uint32_t>(i));
    }
}

// ---------------------------------------------------------------------------------------------
// Rendering.

void CPieceView::SetCompositeTarget(CQWF_Image* target, const uint8_t* mask, int64_t maskStride,
                                    bool rgb)
{
    m_target = target;
    m_targetMask = mask;
    m_targetMaskStride = maskStride;
    m_rgb = rgb;
}

bool CPieceView::Recomposite(const QWF_Rect& rect, bool redraw)
{
    if (Empty(rect) || !m_target || m_target->IsEmpty())
        return true;
    const bool ok = CompositePieces(*m_target, m_targetMask, m_targetMaskStride, rect, redraw, 0, 100);
    UpdateEffectButtons(false, false);
    return ok;
}

bool CPieceView::RenderPieces(const int32_t* list, int32_t count, bool redraw, bool live)
{
    if (!list || count <= 0)
        return true;
    if (m_busy) {
        m_restart = true;
        return true;
    }
    m_busy = true;
    CQWF_Progress* progress = m_pSink->BeginProgress("Rendering is in progress:");
    auto report = [&](int percent) {
        if (progress)
            progress->SetPercent(static_cast<uint8_t>(percent));
    };
    QWF_Rect dirty{0, 0, 0, 0};
    bool ok = true;
    for (bool again = true; again;) {
        again = false;
        report(0);
        const double step = 70.0 / count;
        double percent = 0.0;
        int shown = 0;
        for (int32_t k = 0; k < count; ++k) {
            if (static_cast<int>(percent) != shown) {
                shown = static_cast<int>(percent);
                report(shown);
            }
            percent += step;
            if (live) {
                m_pSink->DispatchDuringRender();
                if (m_restart) {
                    // A newer request: the pieces rendered so far stay in the area to composite.
                    m_restart = false;
                    again = true;
                    break;
                }
            }
            const int32_t i = list[k];
            if (i < 0 || i >= m_engine.GetPieceCount())
                continue;
            // Only what was rendered is composited again.
            if (!PieceNeedsRender(i, m_rgb))
                continue;
            if (!m_engine.RenderPiece(i)) {
                ok = false;
                break;
            }
            Unite(dirty, PieceRect(m_engine.GetPieces()[i]));
        }
        if (!ok)
            break;
    }
    if (ok && !Empty(dirty) && m_target && !m_target->IsEmpty()) {
        report(70);
        // The composite reports through its own progress; this one ends first.
        m_pSink->EndProgress(progress);
        progress = nullptr;
        ok = CompositePieces(*m_target, m_targetMask, m_targetMaskStride, dirty, redraw, 70, 100);
    }
    report(100);
    m_pSink->EndProgress(progress);
    m_busy = false;
    m_restart = false;
    m_pSink->FadeStatus();
    return ok;
}

bool CPieceView::UndoPiecesChange()
{
    if (!m_undo.HasState() || m_busy)
        return false;
    struct Visitor : CPiecesUndo::CVisitor {
        CPieceView& v;
        QWF_Rect shownArea{0, 0, 0, 0};
        CQWF_DWordArray render;
        explicit Visitor(CPieceView& view) : v(view) {}
        bool OnPieceSwapped(int32_t index, bool, bool shownChanged, bool needsRender) override
        {
            if (needsRender)
                render.Add(static_cast<uint32_t>(index));
            else if (shownChanged)
                Unite(shownArea, PieceRect(v.m_engine.GetPieces()[index]));
            return true;
        }
    } visitor(*this);
    if (!m_undo.Swap(m_engine, m_rgb, m_anchor, &visitor))
        return false;
    RebuildMarks();
    bool ok = true;
    if (visitor.render.GetCount() > 0)
        ok = RenderPieces(reinterpret_cast<const int32_t*>(visitor.render.GetPtr(0)),
                          static_cast<int32_t>(visitor.render.GetCount()), false, false);
    if (ok)
        ok = Recomposite(visitor.shownArea, false);
    m_pSink->RenderPreview();
    UpdateEffectButtons(false, false);
    return ok;
}
