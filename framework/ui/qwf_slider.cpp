#include "framework/ui/qwf_slider.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_controlhover.h"
#include "framework/ui/qwf_window.h"

uint32_t QWF_SliderInterpolate(uint32_t va, uint32_t vi, uint32_t a, uint32_t i, uint32_t j)
{
    const double t = static_cast<double>(va) +
                     static_cast<double>(j - a) * ((static_cast<double>(vi) - static_cast<double>(va)) / (i - a));
    const double whole = std::trunc(t);
    return static_cast<uint32_t>(static_cast<int64_t>(whole) + (t - whole > 0.5 ? 1 : 0));
}

CQWF_CtrlSlider::CQWF_CtrlSlider() { m_kind = QWF_CTRL_SLIDER; }

CQWF_CtrlSlider::~CQWF_CtrlSlider() = default;

const CQWF_CtrlSlider::Point* CQWF_CtrlSlider::GetPoint(uint32_t index) const
{
    return index < m_count ? &Points()[index] : nullptr;
}

bool CQWF_CtrlSlider::LoadPoints(const CQWF_String& folder)
{
    uint16_t count = 0;
    if (!m_storage->GetWord(folder + ">Data_NumPoints", count) || count == 0) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    if (!m_points.AllocZeroed(static_cast<size_t>(count) * sizeof(Point))) {
        SetError(m_points.GetError());
        return false;
    }
    CQWF_Mem coords;
    if (!m_storage->GetBinary(folder + ">Data_Coors", coords)) {
        SetError(m_storage->GetError() ? m_storage->GetError() : QWF_ERR_SKIN);
        return false;
    }
    if (coords.GetSize() != static_cast<size_t>(count) * 5) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    Point* p = Points();
    const uint32_t last = count - 1u;
    if (!m_storage->GetDWord(folder + ">Data_ValueStart", m_start) ||
        !m_storage->GetDWord(folder + ">Data_ValueEnd", m_end)) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    p[0].value = m_start;
    p[last].value = m_end;
    // Walk the path: anchors read their values in order, the points between two anchors (the
    // ends count as anchors) are interpolated.
    const uint8_t* c = coords.GetData();
    uint32_t anchors = 0, a = 0;
    for (uint32_t i = 0; i < count; ++i, c += 5) {
        p[i].x = static_cast<uint16_t>(c[0] << 8 | c[1]);
        p[i].y = static_cast<uint16_t>(c[2] << 8 | c[3]);
        if (c[4] != 1) continue;
        CQWF_String key;
        key.Format("%s>Data_Value_%u", folder.GetBuffer(), anchors);
        if (!m_storage->GetDWord(key, p[i].value)) {
            SetError(QWF_ERR_SKIN);
            return false;
        }
        ++anchors;
        for (uint32_t j = a + 1; j < i; ++j) p[j].value = QWF_SliderInterpolate(p[a].value, p[i].value, a, i, j);
        a = i;
    }
    for (uint32_t j = a + 1; j < last; ++j) p[j].value = QWF_SliderInterpolate(p[a].value, p[last].value, a, last, j);
    m_count = count;
    const int64_t dx = int64_t(p[0].x) - p[last].x, dy = int64_t(p[0].y) - p[last].y;
    m_wrap = dx * dx + dy * dy < 3;
    return true;
}

bool CQWF_CtrlSlider::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    CQWF_String folder;
    if (!SkinFolder("UIResources>Sliders>%s", folder)) return false;
    if (!LoadPoints(folder)) return false;
    m_present[kBackground] = LoadStateElements(folder, "Background_", m_elements[kBackground], m_rects[kBackground]);
    m_present[kThumb] = LoadStateElements(folder, "Thumb_", m_elements[kThumb], m_rects[kThumb]);
    uint16_t hotX = 0, hotY = 0;
    if (!LoadElement(folder, "Data_HotZone", m_hotZone) || !m_storage->GetWord(folder + ">HotSpot_X", hotX) ||
        !m_storage->GetWord(folder + ">HotSpot_Y", hotY)) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    m_hotSpotX = hotX - m_rects[kThumb].left;
    m_hotSpotY = hotY - m_rects[kThumb].top;
    const bool background = !QWF_IsWholeRect(m_rects[kBackground]), thumb = !QWF_IsWholeRect(m_rects[kThumb]);
    if ((background && !CreateLayer(m_background, m_rects[kBackground], false)) ||
        (thumb && !CreateLayer(m_thumb, m_rects[kThumb], false)))
        return false;
    if ((background && !AddToFace(m_background)) || (thumb && !AddToFace(m_thumb))) return false;
    m_created = true;
    SetVisualState(QWF_STATE_NORMAL);
    MoveToPoint(0, true);
    return true;
}

void CQWF_CtrlSlider::SetVisualState(uint8_t state)
{
    if (!m_created) return;
    CQWF_Layer* layers[2] = {&m_background, &m_thumb};
    QWF_Rect dirty{0, 0, 0, 0};
    bool any = false;
    for (int g = 0; g < 2; ++g) {
        CQWF_Layer* layer = layers[g];
        const QWF_SkinElement* chosen = QWF_ChooseStateElement(m_elements[g], state);
        // A layer without its own Disabled image shows the Normal one at the disabled opacity.
        const bool dim = state == QWF_STATE_DISABLED && !m_elements[g][3].Present();
        layer->SetOpacity(dim ? m_disabledOpacity : 255);
        if (!m_present[g] || m_lastState[g] == state) continue;
        if (chosen) {
            layer->SetVisible(1);
            DrawElement(layer, *chosen, m_rects[g]);
        } else {
            layer->SetVisible(0);
        }
        m_lastState[g] = state;
        QWF_Rect r;
        layer->GetRect(r);
        QWF_UniteRect(dirty, any, r);
    }
    if (any) RepaintRect(dirty);
}

void CQWF_CtrlSlider::Redraw()
{
    if (!m_created) return;
    // The disabled look without its own image follows the disabled opacity as it is now.
    if (m_lastState[kBackground] == QWF_STATE_DISABLED && !m_elements[kBackground][3].Present())
        m_background.SetOpacity(m_disabledOpacity);
    if (m_lastState[kThumb] == QWF_STATE_DISABLED && !m_elements[kThumb][3].Present())
        m_thumb.SetOpacity(m_disabledOpacity);
    QWF_Rect dirty{0, 0, 0, 0}, r;
    bool any = false;
    if (m_present[kBackground]) {
        m_background.GetRect(r);
        QWF_UniteRect(dirty, any, r);
    }
    if (m_present[kThumb]) {
        m_thumb.GetRect(r);
        QWF_UniteRect(dirty, any, r);
    }
    if (any) RepaintRect(dirty);
}

bool CQWF_CtrlSlider::MoveToPoint(uint32_t index, bool notify)
{
    if (index >= m_count) return false;
    m_current = static_cast<uint16_t>(index);
    const Point& p = Points()[index];
    if (!m_thumb.IsEmpty()) {
        QWF_Rect before, after;
        m_thumb.GetRect(before);
        m_thumb.SetPosition(static_cast<int16_t>(p.x - m_hotSpotX), static_cast<int16_t>(p.y - m_hotSpotY));
        m_thumb.GetRect(after);
        if (m_window) {
            m_window->InvalidateRect(before.left, before.top, before.right, before.bottom);
            m_window->InvalidateRect(after.left, after.top, after.right, after.bottom);
            m_window->Redraw(before);
            m_window->Redraw(after);
        }
    }
    m_value = p.value;
    if (notify) Notify(m_dragging ? QWF_NOTIFY_VALUE_CHANGING : QWF_NOTIFY_VALUE, &m_value);
    return true;
}

void CQWF_CtrlSlider::SetValue(uint32_t value, bool notify)
{
    if (!m_count) return;
    const Point* p = Points();
    int64_t best = -1;
    for (uint32_t i = 0; i < m_count && best < 0; ++i)
        if (p[i].value == value) best = i;
    if (best < 0) {
        // The nearest by the signed 32-bit difference; of equally near points the first wins,
        // and a point 1,000,000,000 or more away is never taken.
        int64_t bestDistance = 1000000000;
        for (uint32_t i = 0; i < m_count; ++i) {
            const int64_t d = std::llabs(static_cast<int64_t>(static_cast<int32_t>(p[i].value - value)));
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
    }
    if (best >= 0) MoveToPoint(static_cast<uint32_t>(best), notify);
}

// The scaled operations map with signed differences: for a rising slider and a caller's value
// within low...high they are the plain differences; a falling slider maps the other way round.
void CQWF_CtrlSlider::SetValueScaled(int32_t low, int32_t high, int32_t value, bool notify)
{
    if (high == low || m_end == m_start) {
        SetValue(m_start, notify);
        return;
    }
    const double share = static_cast<double>(int64_t(value) - low) / static_cast<double>(int64_t(high) - low);
    const double span = static_cast<double>(int64_t(m_end) - int64_t(m_start));
    const int64_t offset = static_cast<int64_t>(std::floor(share * span + 0.5));
    SetValue(static_cast<uint32_t>(int64_t(m_start) + offset), notify);
}

int32_t CQWF_CtrlSlider::GetValueScaled(int32_t low, int32_t high)
{
    if (high == low || m_end == m_start) return low;
    const double share = static_cast<double>(int64_t(m_value) - int64_t(m_start)) /
                         static_cast<double>(int64_t(m_end) - int64_t(m_start));
    return static_cast<int32_t>(int64_t(low) + static_cast<int64_t>(std::floor(share * (int64_t(high) - low) + 0.5)));
}

bool CQWF_CtrlSlider::SetWrapAround(bool wrap)
{
    const bool previous = m_wrap;
    m_wrap = wrap;
    return previous;
}

bool CQWF_CtrlSlider::MoveToNearestPoint(int32_t x, int32_t y)
{
    const Point* p = Points();
    uint64_t best = std::numeric_limits<uint64_t>::max();
    uint32_t nearest = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        const int64_t dx = int64_t(p[i].x) - x, dy = int64_t(p[i].y) - y;
        const uint64_t d = static_cast<uint64_t>(dx * dx) + static_cast<uint64_t>(dy * dy);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    MoveToPoint(nearest, true);
    return true;
}

bool CQWF_CtrlSlider::HitTest(int32_t x, int32_t y) { return m_hotZone.MaskAt(x, y) > 128; }

void CQWF_CtrlSlider::EndHover()
{
    if (m_hovering) KillTimer(kHoverSlot);
    m_hovering = false;
}

bool CQWF_CtrlSlider::OnMouseDown(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    m_dragging = true;
    SetVisualState(QWF_STATE_PRESSED);
    EndHover();
    MoveToNearestPoint(x, y);
    return true;
}

bool CQWF_CtrlSlider::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    if (m_dragging) {
        SetVisualState(QWF_STATE_PRESSED);
        MoveToNearestPoint(x, y);
        return true;
    }
    if (HitTestIfEnabled(x, y)) {
        SetVisualState(QWF_STATE_HIGHLIGHTED);
        if (!m_hovering) {
            SetTimer(kHoverMs, kHoverSlot);
            m_hovering = true;
        }
    } else {
        EndHover();
        SetVisualState(QWF_STATE_NORMAL);
    }
    return true;
}

bool CQWF_CtrlSlider::OnMouseUp(int32_t x, int32_t y, uint32_t modifiers)
{
    if (!m_enabled) return false;
    if (m_dragging) {
        m_dragging = false;
        MoveToNearestPoint(x, y);
    }
    return OnMouseMove(x, y, modifiers);
}

bool CQWF_CtrlSlider::OnTimer(uint32_t slot)
{
    if (slot == kHoverSlot && !QWF_PointerOverControl(this)) {
        KillTimer(kHoverSlot);
        m_hovering = false;
        SetVisualState(QWF_STATE_NORMAL);
    }
    return true;
}

bool CQWF_CtrlSlider::OnMouseWheel(int32_t, int32_t, uint32_t modifiers, int32_t steps)
{
    int64_t d = int64_t(steps) * m_wheelStep;
    if (modifiers & QWF_MOD_SHIFT) d *= 10;
    if (std::llabs(d) >= m_count) return true;
    int64_t target = m_reverseWheel ? int64_t(m_current) - d : int64_t(m_current) + d;
    if (m_wrap) {
        if (target < 0) target += m_count;
        if (target >= m_count) target -= m_count;
    } else {
        target = target < 0 ? 0 : target >= m_count ? m_count - 1 : target;
    }
    MoveToPoint(static_cast<uint32_t>(target), true);
    return true;
}

void CQWF_CtrlSlider::SetEnabled(bool enabled)
{
    CQWF_Control::SetEnabled(enabled);
    if (enabled) {
        if (!MoveAtPointer()) SetVisualState(QWF_STATE_NORMAL);
        return;
    }
    // A drag does not outlive the enabling: a disabled slider takes no mouse.
    m_dragging = false;
    EndHover();
    SetVisualState(QWF_STATE_DISABLED);
}
