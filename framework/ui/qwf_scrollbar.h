// The skinned scroll bar, vertical or horizontal as its skin says, over a range, a page (the
// part that is visible) and a position from 0 to range - page. Its thumb is stretched to the
// page's share of the range from three-part art (head, repeated middle, tail), runs in a track
// rectangle, can be dragged, and pages towards the pointer while the track is held. Two buttons
// of the window can be attached as its step buttons.
#pragma once

#include <cstdint>

#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_control.h"

class CQWF_CtrlButton;

class CQWF_CtrlScrollBar : public CQWF_Control {
public:
    // Timer slots: the hover watch, the delay before repeated paging, the repeat.
    static constexpr uint32_t kHoverSlot = 1;
    static constexpr uint32_t kDelaySlot = 2;
    static constexpr uint32_t kRepeatSlot = 3;
    static constexpr uint32_t kHoverMs = 50;
    static constexpr uint32_t kDelayMs = 500;
    static constexpr uint32_t kRepeatMs = 50;

    CQWF_CtrlScrollBar();
    ~CQWF_CtrlScrollBar() override;

    void SetEnabled(bool enabled) override;
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    void Redraw() override;
    bool OnTimer(uint32_t slot) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps) override;
    bool HitTest(int32_t x, int32_t y) override;
    bool OnChildNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    // Range becomes max(range, page); the position is kept within 0 ... range - page; the thumb
    // is rebuilt and placed (256).
    void SetRange(uint32_t range, uint32_t page);
    void GetRange(uint32_t& range, uint32_t& page) const;
    // Sets the position (at most range - page) and places the thumb; the notification's result.
    bool SetPos(uint32_t position);
    uint32_t GetPos() const { return m_pos; }
    // Each moves the position, places the thumb (256, also at a limit) and returns the position
    // as it was before.
    uint32_t LineUp();
    uint32_t LineDown();
    uint32_t PageUp();
    uint32_t PageDown();
    // The first button steps towards the start, the second towards the end; both must exist.
    bool AttachButtons(int32_t firstIndex, int32_t secondIndex);

    bool PlaceThumb();
    void PositionFromThumb();
    void BuildThumb(const QWF_SkinElement& element, const QWF_Rect& rect);
    void SetVisualState(uint8_t state, bool noRedraw);
    void PageTowards(int32_t x, int32_t y);

    bool IsVertical() const { return m_vertical; }
    bool IsDragging() const { return m_dragging; }
    QWF_Rect GetTrack() const { return m_track; }
    QWF_Rect GetThumbRect() const { return m_thumbRect; }
    int16_t GetThumbLength() const { return m_thumbLength; }
    CQWF_Layer* GetThumbLayer() { return &m_thumb; }

private:
    enum { kBackground, kThumb };
    // Track start and end along the axis, and its length.
    int32_t TrackStart() const { return m_vertical ? m_track.top : m_track.left; }
    int32_t TrackEnd() const { return m_vertical ? m_track.bottom : m_track.right; }
    int32_t TrackLength() const { return TrackEnd() - TrackStart(); }
    uint32_t LastPos() const { return m_range > m_page ? m_range - m_page : 0; }
    // Where the thumb layer starts along the axis.
    int32_t ThumbLayerStart() const { return m_vertical ? m_thumb.GetY() : m_thumb.GetX(); }
    void MoveThumbLayer(int32_t start);
    void EndHover();
    void StopPaging();

    uint8_t m_present[2] = {0, 0};
    QWF_SkinElement m_elements[2][4];
    QWF_SkinElement m_thumbData;
    CQWF_Layer m_background;
    CQWF_Layer m_thumb;
    QWF_Rect m_backgroundRect = QWF_WHOLE_RECT;
    QWF_Rect m_thumbArea = QWF_WHOLE_RECT;
    QWF_Rect m_track{0, 0, 0, 0};
    uint8_t m_lastState[2] = {255, 255};
    uint8_t m_state = 255;
    bool m_dragging = false;
    int16_t m_dragOffsetX = 0;
    int16_t m_dragOffsetY = 0;
    bool m_hovering = false;
    bool m_vertical = false;
    uint16_t m_head = 0;
    uint16_t m_middle = 0;
    uint16_t m_tail = 0;
    int16_t m_thumbLength = 0;
    QWF_Rect m_thumbRect{0, 0, 0, 0};
    uint32_t m_range = 100;
    uint32_t m_page = 10;
    uint32_t m_pos = 0;
    uint32_t m_rangeDrawn = 0;
    uint32_t m_pageDrawn = 0;
    bool m_repeatArmed = false;
    bool m_repeating = false;
    int32_t m_firstButtonIndex = 0;
    int32_t m_secondButtonIndex = 0;
    CQWF_CtrlButton* m_firstButton = nullptr;
    CQWF_CtrlButton* m_secondButton = nullptr;
};
