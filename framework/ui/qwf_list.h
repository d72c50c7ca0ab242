// A vertical list of text items, each with a selected flag and a 32-bit data value, in single or
// multiple selection, scrolled by an attached scroll bar. It draws a background layer from the
// "Background_" skin elements and a text layer whose colours come from the "Foreground_" element
// with the selected rows laid over it. Every selection change made by the user is reported as
// notification 352.
#pragma once

#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/imaging/qwf_textlayer.h"
#include "framework/ui/qwf_control.h"

class CQWF_Font;
class CQWF_CtrlScrollBar;

class CQWF_CtrlList : public CQWF_Control {
public:
    static constexpr uint32_t kHoverSlot = 1;
    // Drawing requests besides a state: the current state again, and the same while the scroll
    // bar is dragged (the bar is not set back).
    static constexpr int32_t kCurrentState = -2;
    static constexpr int32_t kScrollDrag = -3;

    CQWF_CtrlList();
    ~CQWF_CtrlList() override;

    void SetEnabled(bool enabled) override;
    void SetFocus(bool focus) override;
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    QWF_Rect GetRect() override;
    void Redraw() override;
    bool OnTimer(uint32_t slot) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool HitTest(int32_t x, int32_t y) override;
    bool OnChildNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    // --- for the owner window (attach the scroll bar before adding items) ---
    void AttachScrollBar(bool multipleSelection, bool showSelectionUnfocused, uint16_t lineHeight, int16_t textX,
                         int16_t textY, int32_t scrollBarIndex);
    // Appends an item; unless noRedraw, the list is redrawn and the scroll bar's range reset.
    // Returns the item's index, -1 when memory runs out.
    int32_t AddItem(const char* text, bool selected, uint32_t data, bool noRedraw);
    // Replaces what is given (null leaves it); false for an index out of range.
    bool SetItem(int32_t index, const char* text, const bool* selected, const uint32_t* data, bool redraw);
    bool GetItem(int32_t index, CQWF_String* text, bool* selected, uint32_t* data) const;
    int32_t GetCount() const { return static_cast<int32_t>(m_items.GetCount()); }
    // The first selected index, -1 when none.
    int32_t GetSelection() const;
    CQWF_TextLayer* GetLayer() { return &m_textLayer; }
    void SetFont(CQWF_Font* font);
    void SelectItem(int32_t from, int32_t to, bool clearFirst, bool toggle, bool scrollIntoView, bool redraw, bool notify);
    void DeselectAll(bool redraw, bool notify);
    // Without arguments: redrawn and the scroll bar reset, no notification.
    void RemoveAll(bool redraw = true, bool notify = false);
    void Refresh();

    // --- what the list shows ---
    int32_t GetTopItem() const { return m_top; }
    int32_t GetAnchor() const { return m_anchor; }
    int32_t GetVisibleLines() const { return m_visibleLines; }
    uint8_t GetVisualState() const { return m_state; }
    QWF_Rect GetTextRect() const { return m_textRect; }
    uint16_t GetLineHeight() const { return m_lineHeight; }
    int16_t GetTextOffsetY() const { return m_textY; }
    CQWF_CtrlScrollBar* GetScrollBar() const { return m_scrollBar; }

private:
    struct Item {
        uint32_t selected;
        uint32_t data;
    };
    struct Element {
        QWF_Rect rect{QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE};
        CQWF_Mem block;
        const uint8_t* pixels = nullptr;
    };
    enum : uint8_t { kNormal, kHighlighted, kWorking, kDisabled, kSelected, kElementKinds };

    Item* ItemAt(int32_t index) const { return static_cast<Item*>(m_records.GetAt(static_cast<size_t>(index))); }
    void Draw(int32_t state);
    void ResetScrollRange();
    void SetScrollPos(int32_t top);
    void ScrollIntoView();
    void HoverCheck();
    void StartHover();
    void StopHover();
    void FreeItems();

    Element m_background[kElementKinds];
    Element m_foreground[kElementKinds];
    QWF_Rect m_textRect{0, 0, 0, 0};
    CQWF_TextLayer m_textLayer;
    CQWF_Layer m_backLayer;
    QWF_Rect m_rect{QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE};
    uint8_t m_state = 255;
    CQWF_String m_joined;
    int16_t m_textX = 5;
    int16_t m_textY = 5;
    uint16_t m_lineHeight = 20;
    bool m_hoverTimer = false;
    int32_t m_anchor = -1;
    CQWF_StringArray m_items;
    CQWF_PtrArray m_records;
    int32_t m_top = 0;
    bool m_multiple = false;
    bool m_showUnfocused = true;
    int32_t m_visibleLines = 1;
    uint8_t m_rangeMask = 2;
    uint8_t m_toggleMask = 4;
    int32_t m_scrollBarIndex = -1;
    CQWF_CtrlScrollBar* m_scrollBar = nullptr;
    int32_t m_lastTop = -1;
};
