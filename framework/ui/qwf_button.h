// The clickable image controls: the push button with its state images, hit mask, hover watch,
// auto-repeat and notify-at-press mode; the check box and the radio button, which reuse the
// button's fields, rectangle, redraw and hit test and add the checked state with On/Off images.
// All three report a click as notification 272.
#pragma once

#include <cstdint>

#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_control.h"

class CQWF_CtrlButton : public CQWF_Control {
public:
    // Button states (check boxes and radio buttons number theirs on their own).
    static constexpr uint8_t kNormal = 1;
    static constexpr uint8_t kHighlighted = 2;
    static constexpr uint8_t kPressed = 4;
    static constexpr uint8_t kDisabled = 8;
    static constexpr uint8_t kPressedOut = 16;
    // Timer slots: the hover watch, the delay before repeating, the repeat.
    static constexpr uint32_t kHoverSlot = 1;
    static constexpr uint32_t kDelaySlot = 2;
    static constexpr uint32_t kRepeatSlot = 3;
    static constexpr uint32_t kHoverMs = 50;
    static constexpr uint32_t kDelayMs = 500;
    static constexpr uint32_t kRepeatMs = 50;

    CQWF_CtrlButton();
    ~CQWF_CtrlButton() override;

    void SetEnabled(bool enabled) override;
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    QWF_Rect GetRect() override { return m_rect; }
    void Redraw() override;
    bool OnTimer(uint32_t slot) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
    bool HitTest(int32_t x, int32_t y) override;

    void SetVisualState(uint8_t state);
    uint8_t GetVisualState() const { return m_state; }
    CQWF_Layer* GetLayer() { return &m_layer; }
    void SetAutoRepeat(bool autoRepeat) { m_autoRepeat = autoRepeat; }
    void SetNotifyOnPress(bool notifyOnPress) { m_notifyOnPress = notifyOnPress; }
    bool IsPressed() const { return m_pressed; }

protected:
    // Image slots: Normal, Highlighted, Pressed, Pressed Mouse Out, Disabled (check boxes: the
    // On images; radio buttons: Normal On and Disabled On in the first and last).
    enum { kSlotNormal, kSlotHighlighted, kSlotPressed, kSlotPressedOut, kSlotDisabled, kSlotCount };

    // Loads the image elements named in order into their slots, then Data; the first `required`
    // images and Data must be present (else error 192). Unites the images into the control
    // rectangle, creates the layer and sets created; the kind then draws its first state.
    bool LoadAndBuild(const CQWF_String& folder, const char* const* names, QWF_SkinElement* const* slots,
                      size_t count, size_t required);
    // Draws an element (null: none) into the layer with the opacity; the state is recorded.
    void DrawState(uint8_t state, const QWF_SkinElement* element, bool disabledLook);
    // The look at rest for the current check and enabling, refreshed from the pointer.
    virtual void DrawRest();
    // The normal look for the current check (the hover watch's when the pointer has gone).
    virtual void DrawNormal() { SetVisualState(kNormal); }
    // Draws a state of the kind's own table.
    virtual void DrawLook(uint8_t state) { SetVisualState(state); }
    // The looks a move gives, the same steps for the three kinds: while pressed, pressed or
    // pressed outside by the hit; else highlighted with the hover watch when hit, or normal.
    bool FollowPointer(int32_t x, int32_t y, uint8_t pressed, uint8_t pressedOut, uint8_t highlighted,
                       uint8_t normal);
    void StartHover();
    void StopHover();
    void StopRepeat();
    // The first present element among the candidates.
    static const QWF_SkinElement* FirstOf(const QWF_SkinElement* a, const QWF_SkinElement* b = nullptr,
                                          const QWF_SkinElement* c = nullptr);

    QWF_SkinElement m_images[kSlotCount];
    QWF_SkinElement m_data;
    CQWF_Layer m_layer;
    QWF_Rect m_rect = QWF_WHOLE_RECT;
    uint8_t m_state = 255;
    bool m_disabledLook = false;
    bool m_pressed = false;
    bool m_hoverRunning = false;
    bool m_autoRepeat = false;
    bool m_delayRunning = false;
    bool m_repeatRunning = false;
    bool m_notifyOnPress = false;
};

class CQWF_CtrlCheckBox : public CQWF_CtrlButton {
public:
    // State = base + 0 when checked, + 1 when not.
    static constexpr uint8_t kBaseNormal = 1;
    static constexpr uint8_t kBaseHighlighted = 3;
    static constexpr uint8_t kBasePressed = 5;
    static constexpr uint8_t kBasePressedOut = 7;
    static constexpr uint8_t kBaseDisabled = 9;

    CQWF_CtrlCheckBox();
    ~CQWF_CtrlCheckBox() override;

    void SetCheck(bool checked, bool notify) override;
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;

    void SetVisualState(uint8_t state);

private:
    void DrawRest() override;
    void DrawNormal() override { SetVisualState(kBaseNormal + Off()); }
    void DrawLook(uint8_t state) override { SetVisualState(state); }
    uint8_t Off() const { return m_check ? 0 : 1; }

    QWF_SkinElement m_off[kSlotCount];
};

class CQWF_CtrlRadioButton : public CQWF_CtrlButton {
public:
    static constexpr uint8_t kNormalOn = 1;
    static constexpr uint8_t kNormalOff = 2;
    static constexpr uint8_t kHighlighted = 4;
    static constexpr uint8_t kPressed = 8;
    static constexpr uint8_t kPressedOut = 16;
    static constexpr uint8_t kDisabledOn = 32;
    static constexpr uint8_t kDisabledOff = 64;

    CQWF_CtrlRadioButton();
    ~CQWF_CtrlRadioButton() override;

    void SetCheck(bool checked, bool notify) override;
    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;

    void SetVisualState(uint8_t state);

private:
    void DrawRest() override;
    void DrawNormal() override { SetVisualState(m_check ? kNormalOn : kNormalOff); }
    void DrawLook(uint8_t state) override { SetVisualState(state); }

    QWF_SkinElement m_normalOff;
    QWF_SkinElement m_disabledOff;
};
