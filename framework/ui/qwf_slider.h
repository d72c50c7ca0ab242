// The skinned slider: its thumb jumps between points that the skin lays down along a path of any
// shape (a bar, an arc, a ring), each point carrying a value; the ends and chosen anchor points
// have values of their own and the rest are interpolated. Background and thumb come in four
// states, a hot zone takes the mouse, and a hot spot ties the thumb art to the points.
#pragma once

#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_control.h"

class CQWF_CtrlSlider : public CQWF_Control {
public:
    enum { kBackground, kThumb };
    // One point of the path, window coordinates.
    struct Point {
        uint16_t x;
        uint16_t y;
        uint32_t value;
    };
    static constexpr uint32_t kHoverSlot = 1;
    static constexpr uint32_t kHoverMs = 50;

    CQWF_CtrlSlider();
    ~CQWF_CtrlSlider() override;

    void SetEnabled(bool enabled) override;
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    void Redraw() override;
    bool OnTimer(uint32_t slot) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps) override;
    bool HitTest(int32_t x, int32_t y) override;

    // --- the slider's own operations ---
    // Moves the thumb to the first point with the value, else to the nearest one.
    virtual void SetValue(uint32_t value, bool notify);
    virtual uint32_t GetValue() { return m_value; }
    // Maps a value of the caller's range low...high onto the slider's start...end and sets it.
    virtual void SetValueScaled(int32_t low, int32_t high, int32_t value, bool notify);
    // The current value mapped onto the caller's range.
    virtual int32_t GetValueScaled(int32_t low, int32_t high);
    // Returns the previous setting.
    virtual bool SetWrapAround(bool wrap);
    virtual bool IsWrapAround() { return m_wrap; }

    bool MoveToPoint(uint32_t index, bool notify);
    bool MoveToNearestPoint(int32_t x, int32_t y);
    void SetVisualState(uint8_t state);

    uint16_t GetPointCount() const { return m_count; }
    const Point* GetPoint(uint32_t index) const;
    uint16_t GetCurrentPoint() const { return m_current; }
    bool IsDragging() const { return m_dragging; }
    // The state the thumb was last drawn in (255 before the first).
    uint8_t GetVisualState() const { return m_lastState[kThumb]; }
    CQWF_Layer* GetBackgroundLayer() { return &m_background; }
    CQWF_Layer* GetThumbLayer() { return &m_thumb; }

private:
    // Reads the points, their values and the wrap-around from the skin.
    bool LoadPoints(const CQWF_String& folder);
    void EndHover();
    Point* Points() { return reinterpret_cast<Point*>(m_points.GetData()); }
    const Point* Points() const { return reinterpret_cast<const Point*>(m_points.GetData()); }

    CQWF_Mem m_points;
    uint16_t m_count = 0;
    bool m_wrap = false;
    // Per group (background, thumb): the states found, the four elements (Normal, Highlighted,
    // Pressed, Disabled), the union rectangle, the layer and the state last drawn.
    uint8_t m_present[2] = {0, 0};
    QWF_SkinElement m_elements[2][4];
    QWF_SkinElement m_hotZone;
    CQWF_Layer m_background;
    CQWF_Layer m_thumb;
    QWF_Rect m_rects[2] = {QWF_WHOLE_RECT, QWF_WHOLE_RECT};
    uint8_t m_lastState[2] = {255, 255};
    bool m_dragging = false;
    bool m_hovering = false;
    int32_t m_hotSpotX = 0;
    int32_t m_hotSpotY = 0;
    uint16_t m_current = 0;
    uint32_t m_value = 0;
    uint32_t m_start = 0;
    uint32_t m_end = 0;
};

// The value of point j between anchors a and i (a < j < i) with the values va and vi: va +
// (j - a) x (vi - va) / (i - a) in double precision, rounded to the nearest integer with an exact
// half going down.
uint32_t QWF_SliderInterpolate(uint32_t va, uint32_t vi, uint32_t a, uint32_t i, uint32_t j);
