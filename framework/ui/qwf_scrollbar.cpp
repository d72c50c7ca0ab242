#include "framework/ui/qwf_scrollbar.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_controlhover.h"
#include "framework/ui/qwf_window.h"

CQWF_CtrlScrollBar::CQWF_CtrlScrollBar() { m_kind = QWF_CTRL_SCROLLBAR; }

CQWF_CtrlScrollBar::~CQWF_CtrlScrollBar() = default;

bool CQWF_CtrlScrollBar::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    CQWF_String folder;
    if (!SkinFolder("UIResources>Scroll Bars>%s", folder)) return false;
    uint8_t vertical = 0;
    if (m_storage->GetByte(folder + ">Is Vertical", vertical) && vertical == 1) {
        m_vertical = true;
        m_reverseWheel = true;
    }
    m_present[kBackground] = LoadStateElements(folder, "Background_", m_elements[kBackground], m_backgroundRect);
    m_present[kThumb] = LoadStateElements(folder, "Thumb_", m_elements[kThumb], m_thumbArea);
    uint16_t track[4];
    if (!LoadElement(folder, "Thumb_Data", m_thumbData) || !m_storage->GetWord(folder + ">Rect Left", track[0]) ||
        !m_storage->GetWord(folder + ">Rect Top", track[1]) || !m_storage->GetWord(folder + ">Rect Right", track[2]) ||
        !m_storage->GetWord(folder + ">Rect Bottom", track[3])) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    m_track = {track[0], track[1], track[2], track[3]};
    const bool background = !QWF_IsWholeRect(m_backgroundRect), thumb = !QWF_IsWholeRect(m_thumbArea);
    if (background && !CreateLayer(m_background, m_backgroundRect, false)) return false;
    if (thumb) {
        // The thumb layer spans the whole track along the axis; the thumb is drawn at its start
        // and the rest stays transparent.
        if (m_vertical) {
            m_thumbArea.top = m_track.top;
            m_thumbArea.bottom = m_track.bottom;
        } else {
            m_thumbArea.left = m_track.left;
            m_thumbArea.right = m_track.right;
        }
        if (!CreateLayer(m_thumb, m_thumbArea, false)) return false;
    }
    if ((background && !AddToFace(m_background)) || (thumb && !AddToFace(m_thumb))) return false;
    // Head, middle and tail: the marked pixels along the first column (vertical) or row.
    const int32_t w = m_thumbData.Width(), h = m_thumbData.Height();
    const int32_t along = w > 0 && h > 0 ? (m_vertical ? h : w) : 0;
    for (int32_t k = 0; k < along; ++k) {
        const size_t at = m_vertical ? static_cast<size_t>(k) * w : static_cast<size_t>(k);
        if (m_thumbData.Plane(0)[at] == 255) ++m_head;
        if (m_thumbData.Plane(2)[at] == 255) ++m_middle;
        if (m_thumbData.Plane(1)[at] == 255) ++m_tail;
    }
    m_created = true;
    SetVisualState(QWF_STATE_NORMAL, false);
    return true;
}

void CQWF_CtrlScrollBar::BuildThumb(const QWF_SkinElement& element, const QWF_Rect& rect)
{
    if (m_thumb.IsEmpty()) return;
    m_thumb.Fill(0, 255);
    const int32_t length = TrackLength();
    const int32_t ends = m_head + m_tail;
    const int32_t room = std::max(length - ends, 0);
    // The page's share of the track: L / (range / page), less the two ends.
    const double share = static_cast<double>(length) / (static_cast<double>(m_range) / static_cast<double>(m_page));
    int64_t middle = std::isnan(share) ? room : static_cast<int64_t>(std::trunc(share)) - ends;
    middle = std::clamp<int64_t>(middle, 0, room);
    // Art without a middle cannot stretch: the thumb keeps the length of its two ends.
    if (m_middle == 0) middle = 0;
    m_thumbLength = static_cast<int16_t>(ends + middle);
    const int32_t layerStart = ThumbLayerStart();
    if (m_vertical)
        m_thumbRect = {rect.left, layerStart, rect.right, layerStart + m_thumbLength};
    else
        m_thumbRect = {layerStart, rect.top, layerStart + m_thumbLength, rect.bottom};

    // Line by line along the axis: head, the middle repeated, tail.
    const int32_t lw = m_thumb.GetWidth(), lh = m_thumb.GetHeight();
    const int32_t layerLines = m_vertical ? lh : lw;
    const int32_t elementLines = m_vertical ? element.Height() : element.Width();
    const int32_t across = m_vertical ? element.rect.left - rect.left : element.rect.top - rect.top;
    const int32_t elementAcross = m_vertical ? element.Width() : element.Height();
    const int32_t layerAcross = m_vertical ? lw : lh;
    const int32_t skip = std::max(0, -across);
    const int32_t to = std::max(0, across);
    const int32_t count = std::min(elementAcross - skip, layerAcross - to);
    if (count <= 0) return;
    const size_t layerPlane = m_thumb.GetPlaneSize();
    const size_t elementPlane = static_cast<size_t>(element.Width()) * element.Height();
    uint8_t* dst = m_thumb.GetData();
    for (int32_t i = 0; i < m_thumbLength && i < layerLines; ++i) {
        int32_t source;
        if (i < m_head)
            source = i;
        else if (i < m_head + middle)
            source = m_head + static_cast<int32_t>((i - m_head) % m_middle);
        else
            source = m_head + m_middle + static_cast<int32_t>(i - m_head - middle);
        if (source >= elementLines) continue;
        for (int p = 0; p < 4; ++p) {
            const uint8_t* from = element.pixels + p * elementPlane;
            uint8_t* into = dst + p * layerPlane;
            if (m_vertical) {
                std::memcpy(into + static_cast<size_t>(i) * lw + to, from + static_cast<size_t>(source) * element.Width() + skip,
                            static_cast<size_t>(count));
            } else {
                for (int32_t k = 0; k < count; ++k)
                    into[static_cast<size_t>(to + k) * lw + i] = from[static_cast<size_t>(skip + k) * element.Width() + source];
            }
        }
    }
}

void CQWF_CtrlScrollBar::MoveThumbLayer(int32_t start)
{
    if (m_vertical)
        m_thumb.SetPosition(m_thumb.GetX(), static_cast<int16_t>(start));
    else
        m_thumb.SetPosition(static_cast<int16_t>(start), m_thumb.GetY());
}

void CQWF_CtrlScrollBar::SetVisualState(uint8_t state, bool noRedraw)
{
    if (!m_created) return;
    m_state = state;
    const uint8_t opacity = state == QWF_STATE_DISABLED ? m_disabledOpacity : 255;
    m_background.SetOpacity(opacity);
    m_thumb.SetOpacity(opacity);
    QWF_Rect dirty{0, 0, 0, 0}, r;
    bool any = false;
    if (m_present[kBackground] && m_lastState[kBackground] != state) {
        if (const QWF_SkinElement* e = QWF_ChooseStateElement(m_elements[kBackground], state)) {
            m_background.SetVisible(1);
            DrawElement(&m_background, *e, m_backgroundRect);
        } else {
            m_background.SetVisible(0);
        }
        m_lastState[kBackground] = state;
        m_background.GetRect(r);
        QWF_UniteRect(dirty, any, r);
    }
    if (m_present[kThumb] && (m_lastState[kThumb] != state || m_range != m_rangeDrawn || m_page != m_pageDrawn)) {
        m_thumb.GetRect(r);
        QWF_UniteRect(dirty, any, r);
        if (const QWF_SkinElement* e = QWF_ChooseStateElement(m_elements[kThumb], state)) {
            m_thumb.SetVisible(1);
            BuildThumb(*e, m_thumbArea);
            // A longer thumb that would reach past the track's end moves back to end there.
            const int32_t end = m_vertical ? m_thumbRect.bottom : m_thumbRect.right;
            if (end > TrackEnd()) {
                const int32_t start = TrackEnd() - m_thumbLength;
                MoveThumbLayer(start);
                if (m_vertical)
                    m_thumbRect.top = start, m_thumbRect.bottom = start + m_thumbLength;
                else
                    m_thumbRect.left = start, m_thumbRect.right = start + m_thumbLength;
            }
        } else {
            m_thumb.SetVisible(0);
        }
        m_lastState[kThumb] = state;
        m_rangeDrawn = m_range;
        m_pageDrawn = m_page;
        m_thumb.GetRect(r);
        QWF_UniteRect(dirty, any, r);
    }
    if (any && !noRedraw) RepaintRect(dirty);
}

void CQWF_CtrlScrollBar::Redraw()
{
    if (!m_created) return;
    if (m_state == QWF_STATE_DISABLED) {
        m_background.SetOpacity(m_disabledOpacity);
        m_thumb.SetOpacity(m_disabledOpacity);
    }
    QWF_Rect dirty{0, 0, 0, 0}, r;
    bool any = false;
    if (m_present[kBackground]) {
        m_background.GetRect(r);
        QWF_UniteRect(dirty, any, r);
    }
    if (!m_thumb.IsEmpty()) {
        // The thumb layer runs on past the thumb: cut it at the track's end.
        m_thumb.GetRect(r);
        if (m_vertical)
            r.bottom = std::min(r.bottom, m_track.bottom);
        else
            r.right = std::min(r.right, m_track.right);
        if (!QWF_RectIsEmpty(r)) QWF_UniteRect(dirty, any, r);
    }
    if (any) RepaintRect(dirty);
}

bool CQWF_CtrlScrollBar::PlaceThumb()
{
    if (m_created && !m_thumb.IsEmpty()) {
        const int32_t length = TrackLength();
        const uint32_t span = m_range - m_page;
        int64_t offset = 0;
        if (span != 0)
            offset = static_cast<int64_t>(std::trunc(static_cast<double>(length - m_thumbLength) / span * m_pos));
        int64_t start = std::max<int64_t>(TrackStart() + offset, TrackStart());
        start = std::min<int64_t>(start, TrackEnd() - m_thumbLength);
        MoveThumbLayer(static_cast<int32_t>(start));
        const int32_t s = static_cast<int32_t>(start);
        if (m_vertical)
            m_thumbRect = {m_thumbArea.left, s, m_thumbArea.right, s + m_thumbLength};
        else
            m_thumbRect = {s, m_thumbArea.top, s + m_thumbLength, m_thumbArea.bottom};
        Redraw();
    }
    return Notify(QWF_NOTIFY_VALUE, &m_pos);
}

void CQWF_CtrlScrollBar::PositionFromThumb()
{
    const uint32_t span = m_range - m_page;
    const double scale = static_cast<double>(TrackLength() - m_thumbLength) / span;
    const uint32_t distance = static_cast<uint32_t>(ThumbLayerStart() - TrackStart());
    const double p = distance / scale;
    m_pos = std::isnan(p) ? 0 : static_cast<uint32_t>(std::clamp(std::trunc(p), 0.0, static_cast<double>(LastPos())));
}

void CQWF_CtrlScrollBar::SetRange(uint32_t range, uint32_t page)
{
    m_range = std::max(range, page);
    m_page = page;
    m_pos = std::min(m_pos, LastPos());
    SetVisualState(m_state == 255 ? QWF_STATE_NORMAL : m_state, true);
    PlaceThumb();
}

void CQWF_CtrlScrollBar::GetRange(uint32_t& range, uint32_t& page) const
{
    range = m_range;
    page = m_page;
}

bool CQWF_CtrlScrollBar::SetPos(uint32_t position)
{
    m_pos = std::min(position, LastPos());
    return PlaceThumb();
}

uint32_t CQWF_CtrlScrollBar::LineUp()
{
    const uint32_t before = m_pos;
    if (m_pos > 0) --m_pos;
    PlaceThumb();
    return before;
}

uint32_t CQWF_CtrlScrollBar::LineDown()
{
    const uint32_t before = m_pos;
    if (m_pos < LastPos()) ++m_pos;
    PlaceThumb();
    return before;
}

uint32_t CQWF_CtrlScrollBar::PageUp()
{
    const uint32_t before = m_pos;
    const uint32_t step = m_page > 1 ? m_page - 1 : 1;
    m_pos = m_pos > step ? m_pos - step : 0;
    PlaceThumb();
    return before;
}

uint32_t CQWF_CtrlScrollBar::PageDown()
{
    const uint32_t before = m_pos;
    const uint32_t step = m_page > 1 ? m_page - 1 : 1;
    m_pos = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(m_pos) + step, LastPos()));
    PlaceThumb();
    return before;
}

bool CQWF_CtrlScrollBar::AttachButtons(int32_t firstIndex, int32_t secondIndex)
{
    CQWF_Control* first = GetSiblingControl(firstIndex);
    CQWF_Control* second = GetSiblingControl(secondIndex);
    if (!first || !second || first->GetKind() != QWF_CTRL_BUTTON || second->GetKind() != QWF_CTRL_BUTTON) return false;
    m_firstButtonIndex = firstIndex;
    m_secondButtonIndex = secondIndex;
    m_firstButton = static_cast<CQWF_CtrlButton*>(first);
    m_secondButton = static_cast<CQWF_CtrlButton*>(second);
    for (CQWF_CtrlButton* b : {m_firstButton, m_secondButton}) {
        b->SetParent(this);
        b->SetNotifyParent(true);
        b->SetAutoRepeat(true);
    }
    return true;
}

void CQWF_CtrlScrollBar::PageTowards(int32_t x, int32_t y)
{
    const int32_t at = m_vertical ? y : x;
    const int32_t start = m_vertical ? m_thumbRect.top : m_thumbRect.left;
    const int32_t end = m_vertical ? m_thumbRect.bottom : m_thumbRect.right;
    if (at < start)
        PageUp();
    else if (at > end)
        PageDown();
}

void CQWF_CtrlScrollBar::EndHover()
{
    if (m_hovering) KillTimer(kHoverSlot);
    m_hovering = false;
}

void CQWF_CtrlScrollBar::StopPaging()
{
    if (m_repeatArmed) KillTimer(kDelaySlot);
    if (m_repeating) KillTimer(kRepeatSlot);
    m_repeatArmed = m_repeating = false;
}

bool CQWF_CtrlScrollBar::OnMouseDown(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    if (x >= m_thumbRect.left && x < m_thumbRect.right && y >= m_thumbRect.top && y < m_thumbRect.bottom) {
        m_dragOffsetX = static_cast<int16_t>(x - m_thumbRect.left);
        m_dragOffsetY = static_cast<int16_t>(y - m_thumbRect.top);
        m_dragging = true;
        SetVisualState(QWF_STATE_PRESSED, false);
        EndHover();
        return true;
    }
    PageTowards(x, y);
    if (!m_repeatArmed) {
        SetTimer(kDelayMs, kDelaySlot);
        m_repeatArmed = true;
    }
    return true;
}

bool CQWF_CtrlScrollBar::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    if (m_dragging) {
        SetVisualState(QWF_STATE_PRESSED, false);
        int32_t start = m_vertical ? y - m_dragOffsetY : x - m_dragOffsetX;
        start = std::min(std::max(start, TrackStart()), TrackEnd() - m_thumbLength);
        MoveThumbLayer(start);
        Redraw();
        const uint32_t before = m_pos;
        PositionFromThumb();
        if (m_pos != before) Notify(QWF_NOTIFY_VALUE_CHANGING, &m_pos);
        return true;
    }
    if (HitTestIfEnabled(x, y)) {
        SetVisualState(QWF_STATE_HIGHLIGHTED, false);
        if (!m_hovering) {
            SetTimer(kHoverMs, kHoverSlot);
            m_hovering = true;
        }
    } else {
        EndHover();
        SetVisualState(QWF_STATE_NORMAL, false);
    }
    return true;
}

bool CQWF_CtrlScrollBar::OnMouseUp(int32_t x, int32_t y, uint32_t modifiers)
{
    if (!m_enabled) return false;
    if (m_dragging) {
        m_dragging = false;
        Notify(QWF_NOTIFY_VALUE, &m_pos);
    }
    StopPaging();
    return OnMouseMove(x, y, modifiers);
}

bool CQWF_CtrlScrollBar::OnTimer(uint32_t slot)
{
    switch (slot) {
    case kHoverSlot:
        if (!QWF_PointerOverControl(this)) {
            KillTimer(kHoverSlot);
            m_hovering = false;
            SetVisualState(QWF_STATE_NORMAL, false);
        }
        break;
    case kDelaySlot:
        KillTimer(kDelaySlot);
        m_repeatArmed = false;
        if (!m_repeating) {
            SetTimer(kRepeatMs, kRepeatSlot);
            m_repeating = true;
        }
        break;
    case kRepeatSlot: {
        int32_t x = 0, y = 0;
        if (GetCursorPos(x, y)) PageTowards(x, y);
        break;
    }
    default: break;
    }
    return true;
}

bool CQWF_CtrlScrollBar::OnMouseWheel(int32_t, int32_t, uint32_t, int32_t steps)
{
    int64_t n = int64_t(steps) * m_wheelStep;
    if (m_reverseWheel) n = -n;
    // Past the last position every further step only repeats the same notification.
    const int64_t count = std::min<int64_t>(n < 0 ? -n : n, int64_t(LastPos()) + 1);
    for (int64_t i = 0; i < count; ++i) n < 0 ? LineUp() : LineDown();
    return true;
}

bool CQWF_CtrlScrollBar::HitTest(int32_t x, int32_t y)
{
    return x >= m_backgroundRect.left && x < m_backgroundRect.right && y >= m_backgroundRect.top &&
           y < m_backgroundRect.bottom;
}

bool CQWF_CtrlScrollBar::OnChildNotify(int32_t code, int32_t index, const char*, uint8_t, void*)
{
    if (code != QWF_NOTIFY_CLICK) return false;
    if (m_firstButton && index == m_firstButtonIndex) {
        LineUp();
        return true;
    }
    if (m_secondButton && index == m_secondButtonIndex) {
        LineDown();
        return true;
    }
    return false;
}

void CQWF_CtrlScrollBar::SetEnabled(bool enabled)
{
    CQWF_Control::SetEnabled(enabled);
    if (enabled) {
        if (!MoveAtPointer()) SetVisualState(QWF_STATE_NORMAL, false);
    } else {
        // A disabled bar keeps neither a drag nor a paging press.
        m_dragging = false;
        StopPaging();
        EndHover();
        SetVisualState(QWF_STATE_DISABLED, false);
    }
    // A bar without step buttons has none to tell.
    if (m_firstButton) m_firstButton->SetEnabled(enabled);
    if (m_secondButton) m_secondButton->SetEnabled(enabled);
}
