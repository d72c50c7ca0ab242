// The single-line text field: draws its background, text, selection and blinking caret into one
// layer with a bitmap font, edits 8-bit text with keys and mouse, offers a one-level undo and the
// clipboard, and has a numeric mode in which arrows, Page Up/Down and the wheel step the value.
// Every change of the text is reported as notification 288 with a pointer to the text.
#pragma once

#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_control.h"

class CQWF_Font;

class CQWF_CtrlEditLine : public CQWF_Control {
public:
    // The ten colours (0xAABBGGRR), in the order SetDrawParams takes them.
    enum Colour : uint8_t {
        kBackNormal,
        kBackHover,
        kBackFocused,
        kBackSelection,
        kBackDisabled,
        kTextNormal,
        kTextHover,
        kTextFocused,
        kTextSelected,
        kTextDisabled,
        kColourCount
    };
    // Timer slots.
    static constexpr uint32_t kHoverSlot = 1;
    static constexpr uint32_t kCaretSlot = 2;

    CQWF_CtrlEditLine();
    ~CQWF_CtrlEditLine() override;

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
    bool OnKeyUp(uint32_t code, uint32_t modifiers) override;
    bool OnChar(uint32_t character, uint32_t modifiers) override;
    bool OnDoubleClick(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnTripleClick(int32_t x, int32_t y, uint32_t modifiers) override;
    bool HitTest(int32_t x, int32_t y) override;

    // --- for the owner window ---
    void SetText(const char* text, bool notify);
    CQWF_String GetText() const { return m_text; }
    int32_t GetCaretPos() const { return m_caret; }
    void SetCaretPos(int32_t index);
    // Numeric mode steps by 0.1 (real) or 1; the vertical offset moves the text down.
    void SetNumeric(bool numeric, bool negativesAllowed, bool real, bool readOnly, int16_t verticalOffset,
                    bool tabEndsEditing);
    void SetDrawParams(uint32_t backNormal, uint32_t backHover, uint32_t backFocused, uint32_t backSelection,
                       uint32_t backDisabled, uint32_t textNormal, uint32_t textHover, uint32_t textFocused,
                       uint32_t textSelected, uint32_t textDisabled);
    void SetFont(CQWF_Font* font);
    void SetTextVisible(bool visible);
    void StepValue(int32_t n);
    // The text the line had when it took the focus (Escape puts it back): a window that acts
    // when the focus leaves a line compares it with the text then.
    const CQWF_String& GetTextAtFocus() const { return m_escapeText; }
    // Enter and Escape end the editing and then reach the window too (a dialog confirms or
    // cancels with them); otherwise the line keeps them.
    void SetEndKeysReachWindow(bool reach) { m_endKeysReachWindow = reach; }
    // Whether the line uses an accelerator key (QWF_AcceleratorChar) pressed with the modifiers
    // itself while it has the focus: Ctrl+A, C, V, X and Z, its clipboard and undo keys.
    bool UsesKey(uint8_t key, uint32_t modifiers) const;

    // --- what the line shows ---
    // The selection as start and end (end exclusive); false when there is none.
    bool GetSelection(int32_t& start, int32_t& end) const;
    int32_t GetFirstVisible() const { return m_firstVisible; }
    int32_t GetVisibleCount() const { return m_visibleCount; }
    uint8_t GetVisualState() const { return m_state; }
    bool IsCaretDrawn() const { return m_caretDrawn; }
    CQWF_Layer* GetLayer() { return &m_layer; }

private:
    // Caret moves; each returns the caret before the move.
    enum Move : uint8_t { kCharLeft, kCharRight, kWordLeft, kWordRight, kHome, kEnd };

    int32_t Length() const { return static_cast<int32_t>(m_text.GetLength()); }
    bool HasSelection() const { return m_selStart >= 0 && m_selEnd > m_selStart; }
    void ClearSelection() { m_selStart = m_selEnd = -1; }
    void SelectRange(int32_t a, int32_t b);
    int32_t MoveCaret(Move move);
    void SetVisualState(uint8_t state);
    void Layout();
    void Measure();
    void DrawCaret();
    int32_t CharAt(int32_t x) const;
    void SaveUndo();
    void ApplyChange(bool notify);
    // Removes the selection (undo saved first) and puts the caret at its start.
    void DeleteSelection();
    void InsertAt(int32_t position, const CQWF_String& text);
    void SelectAll();
    void Copy();
    void Cut();
    void Paste();
    void Undo();
    void HoverCheck();
    void StartHover();
    void StopHover();

    QWF_Rect m_rect{QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE};
    CQWF_Layer m_layer;
    uint8_t m_state = 255;
    uint32_t m_colours[kColourCount];
    CQWF_String m_text;
    bool m_editable = true;
    bool m_numeric = false;
    bool m_negatives = true;
    bool m_real = false;
    double m_step = 0;
    bool m_tabEnds = false;
    int32_t m_selStart = -1;
    int32_t m_selEnd = -1;
    int32_t m_anchor = 0;
    bool m_clickReady = true;
    bool m_dragSelecting = false;
    int32_t m_caret = 0;
    uint16_t m_blinkPeriod = 530;
    bool m_caretDrawn = false;
    uint8_t m_caretWidth = 1;
    int32_t m_firstVisible = 0;
    int32_t m_visibleCount = 0;
    int16_t m_verticalOffset = 0;
    int16_t m_marginLeft = 1;
    int16_t m_marginTop = 1;
    int16_t m_marginRight = 1;
    int16_t m_marginBottom = 1;
    QWF_Rect m_textArea{0, 0, 0, 0};
    CQWF_Font* m_font = nullptr;
    CQWF_SDWordArray m_charX;
    CQWF_SDWordArray m_charWidth;
    bool m_hoverTimer = false;
    CQWF_String m_undoText;
    bool m_undoSaved = false;
    CQWF_String m_escapeText;
    uint8_t m_extendMask = 2;
    uint8_t m_wordMask = 4;
    uint8_t m_clipboardMask = 4;
    bool m_endKeysReachWindow = false;
};
