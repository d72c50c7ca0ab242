#include "framework/ui/qwf_button.h"

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_controlhover.h"
#include "framework/ui/qwf_window.h"

// --- the push button ---

CQWF_CtrlButton::CQWF_CtrlButton() { m_kind = QWF_CTRL_BUTTON; }

CQWF_CtrlButton::~CQWF_CtrlButton() = default;

const QWF_SkinElement* CQWF_CtrlButton::FirstOf(const QWF_SkinElement* a, const QWF_SkinElement* b,
                                                const QWF_SkinElement* c)
{
    for (const QWF_SkinElement* e : {a, b, c})
        if (e && e->Present()) return e;
    return nullptr;
}

bool CQWF_CtrlButton::LoadAndBuild(const CQWF_String& folder, const char* const* names,
                                   QWF_SkinElement* const* slots, size_t count, size_t required)
{
    for (size_t i = 0; i < count; ++i) {
        if (!LoadElement(folder, names[i], *slots[i]) && i < required) {
            SetError(QWF_ERR_SKIN);
            return false;
        }
    }
    if (!LoadElement(folder, "Data", m_data)) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    // The rectangle: the union of every image element, the first Normal image first.
    bool any = false;
    for (size_t i = 0; i < count; ++i)
        if (slots[i]->Present()) QWF_UniteRect(m_rect, any, slots[i]->rect);
    QWF_EmptyRectToNone(m_rect);
    if (QWF_IsWholeRect(m_rect) || !CreateLayer(m_layer, m_rect)) {
        if (!GetError()) SetError(QWF_ERR_SKIN);
        return false;
    }
    m_created = true;
    return true;
}

bool CQWF_CtrlButton::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    static const char* const kNames[] = {"Normal", "Highlighted", "Pressed", "Pressed Mouse Out", "Disabled"};
    QWF_SkinElement* const slots[] = {&m_images[kSlotNormal], &m_images[kSlotHighlighted], &m_images[kSlotPressed],
                                      &m_images[kSlotPressedOut], &m_images[kSlotDisabled]};
    CQWF_String folder;
    if (!SkinFolder("UIResources>Buttons>%s", folder)) return false;
    if (!LoadAndBuild(folder, kNames, slots, 5, 1)) return false;
    SetVisualState(kNormal);
    return true;
}

void CQWF_CtrlButton::DrawState(uint8_t state, const QWF_SkinElement* element, bool disabledLook)
{
    m_disabledLook = disabledLook;
    const uint8_t opacity = disabledLook ? m_disabledOpacity : 255;
    const bool opacityChanged = m_layer.GetOpacity() != opacity;
    m_layer.SetOpacity(opacity);
    QWF_Rect r;
    m_layer.GetRect(r);
    if (state == m_state) {
        // Same picture; a new opacity still has to show.
        if (opacityChanged) RepaintRect(r);
        return;
    }
    if (element)
        DrawElement(&m_layer, *element, m_rect);
    else
        m_layer.Fill(0, 255);
    m_state = state;
    RepaintRect(r);
}

void CQWF_CtrlButton::SetVisualState(uint8_t state)
{
    if (!m_created) return;
    const QWF_SkinElement* normal = &m_images[kSlotNormal];
    const QWF_SkinElement* high = &m_images[kSlotHighlighted];
    switch (state) {
    case kNormal: DrawState(state, FirstOf(normal), false); break;
    case kHighlighted: DrawState(state, FirstOf(high, normal), false); break;
    case kPressed: DrawState(state, FirstOf(&m_images[kSlotPressed], high, normal), false); break;
    case kPressedOut: DrawState(state, FirstOf(&m_images[kSlotPressedOut], normal), false); break;
    case kDisabled:
        if (m_images[kSlotDisabled].Present())
            DrawState(state, &m_images[kSlotDisabled], false);
        else
            DrawState(state, FirstOf(normal), true);
        break;
    default: break;
    }
}

void CQWF_CtrlButton::Redraw()
{
    if (!m_created) return;
    // The disabled look without its own image follows the disabled opacity as it is now.
    if (m_disabledLook) m_layer.SetOpacity(m_disabledOpacity);
    QWF_Rect r;
    m_layer.GetRect(r);
    RepaintRect(r);
}

void CQWF_CtrlButton::StartHover()
{
    if (m_hoverRunning) return;
    SetTimer(kHoverMs, kHoverSlot);
    m_hoverRunning = true;
}

void CQWF_CtrlButton::StopHover()
{
    if (!m_hoverRunning) return;
    KillTimer(kHoverSlot);
    m_hoverRunning = false;
}

void CQWF_CtrlButton::StopRepeat()
{
    if (m_delayRunning) KillTimer(kDelaySlot);
    if (m_repeatRunning) KillTimer(kRepeatSlot);
    m_delayRunning = m_repeatRunning = false;
}

void CQWF_CtrlButton::DrawRest()
{
    if (!m_enabled)
        SetVisualState(kDisabled);
    else if (!MoveAtPointer())
        DrawNormal();
}

bool CQWF_CtrlButton::HitTest(int32_t x, int32_t y) { return m_data.Contains(x, y) && m_data.MaskAt(x, y) > 128; }

bool CQWF_CtrlButton::FollowPointer(int32_t x, int32_t y, uint8_t pressed, uint8_t pressedOut, uint8_t highlighted,
                                    uint8_t normal)
{
    if (!m_enabled) return false;
    if (m_pressed) {
        DrawLook(HitTest(x, y) ? pressed : pressedOut);
        return true;
    }
    if (HitTest(x, y)) {
        DrawLook(highlighted);
        StartHover();
        return true;
    }
    StopHover();
    DrawLook(normal);
    return false;
}

bool CQWF_CtrlButton::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    return FollowPointer(x, y, kPressed, kPressedOut, kHighlighted, kNormal);
}

bool CQWF_CtrlButton::OnMouseDown(int32_t x, int32_t y, uint32_t modifiers)
{
    if (!m_enabled) return false;
    if (m_notifyOnPress) {
        // The click is reported now and the press ends at once: the button is never drawn
        // pressed, and the release that follows finds no press.
        uint32_t mods = modifiers;
        Notify(QWF_NOTIFY_CLICK, &mods);
        if (m_window) m_window->OnLButtonUpMessage(x, y, modifiers);
        return true;
    }
    m_pressed = true;
    SetVisualState(kPressed);
    StopHover();
    if (m_autoRepeat && !m_delayRunning && !m_repeatRunning) {
        SetTimer(kDelayMs, kDelaySlot);
        m_delayRunning = true;
    }
    return true;
}

bool CQWF_CtrlButton::OnMouseUp(int32_t x, int32_t y, uint32_t modifiers)
{
    if (!m_enabled) return false;
    const bool wasPressed = m_pressed;
    m_pressed = false;
    StopRepeat();
    if (HitTest(x, y)) {
        SetVisualState(kHighlighted);
        StartHover();
        if (wasPressed && !m_notifyOnPress) {
            uint32_t mods = modifiers;
            Notify(QWF_NOTIFY_CLICK, &mods);
        }
        return true;
    }
    // Released outside: the click is cancelled.
    StopHover();
    SetVisualState(kNormal);
    return false;
}

bool CQWF_CtrlButton::OnTimer(uint32_t slot)
{
    switch (slot) {
    case kHoverSlot:
        if (!QWF_PointerOverControl(this)) {
            StopHover();
            DrawNormal();
        }
        break;
    case kDelaySlot:
        KillTimer(kDelaySlot);
        m_delayRunning = false;
        if (!m_repeatRunning) {
            SetTimer(kRepeatMs, kRepeatSlot);
            m_repeatRunning = true;
        }
        break;
    case kRepeatSlot: Notify(QWF_NOTIFY_CLICK, nullptr); break;
    default: break;
    }
    return true;
}

// One enabling for the three kinds: each draws its own rest look.
void CQWF_CtrlButton::SetEnabled(bool enabled)
{
    CQWF_Control::SetEnabled(enabled);
    if (!enabled) {
        // A disabled button neither stays pressed nor repeats: it cannot click.
        StopHover();
        StopRepeat();
        m_pressed = false;
    }
    DrawRest();
}

// --- the check box ---

CQWF_CtrlCheckBox::CQWF_CtrlCheckBox()
{
    m_kind = QWF_CTRL_CHECKBOX;
    m_check = false;
}

CQWF_CtrlCheckBox::~CQWF_CtrlCheckBox() = default;

bool CQWF_CtrlCheckBox::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    static const char* const kNames[] = {"Normal On",  "Normal Off",  "Disabled On",          "Disabled Off",
                                         "Highlighted On", "Highlighted Off", "Pressed On", "Pressed Off",
                                         "Pressed Mouse Out On", "Pressed Mouse Out Off"};
    QWF_SkinElement* const slots[] = {&m_images[kSlotNormal],      &m_off[kSlotNormal],
                                      &m_images[kSlotDisabled],    &m_off[kSlotDisabled],
                                      &m_images[kSlotHighlighted], &m_off[kSlotHighlighted],
                                      &m_images[kSlotPressed],     &m_off[kSlotPressed],
                                      &m_images[kSlotPressedOut],  &m_off[kSlotPressedOut]};
    CQWF_String folder;
    if (!SkinFolder("UIResources>Check Boxes>%s", folder)) return false;
    if (!LoadAndBuild(folder, kNames, slots, 10, 2)) return false;
    SetVisualState(kBaseNormal + 1);
    return true;
}

void CQWF_CtrlCheckBox::SetVisualState(uint8_t state)
{
    if (!m_created || state < 1 || state > 10) return;
    const QWF_SkinElement* set = (state & 1) ? m_images : m_off;
    const QWF_SkinElement* normal = &set[kSlotNormal];
    const QWF_SkinElement* high = &set[kSlotHighlighted];
    switch ((state + 1) / 2) {
    case 1: DrawState(state, FirstOf(normal), false); break;
    case 2: DrawState(state, FirstOf(high, normal), false); break;
    case 3: DrawState(state, FirstOf(&set[kSlotPressed], high, normal), false); break;
    case 4: DrawState(state, FirstOf(&set[kSlotPressedOut], normal), false); break;
    default:
        if (set[kSlotDisabled].Present())
            DrawState(state, &set[kSlotDisabled], false);
        else
            DrawState(state, FirstOf(normal), true);
        break;
    }
}

void CQWF_CtrlCheckBox::DrawRest()
{
    // A check changed in code while disabled keeps the disabled look.
    if (!m_enabled) {
        SetVisualState(kBaseDisabled + Off());
        return;
    }
    if (!MoveAtPointer()) DrawNormal();
}

bool CQWF_CtrlCheckBox::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    const uint8_t off = Off();
    return FollowPointer(x, y, kBasePressed + off, kBasePressedOut + off, kBaseHighlighted + off, kBaseNormal + off);
}

bool CQWF_CtrlCheckBox::OnMouseDown(int32_t, int32_t, uint32_t)
{
    if (!m_enabled) return false;
    m_pressed = true;
    SetVisualState(kBasePressed + Off());
    StopHover();
    return true;
}

bool CQWF_CtrlCheckBox::OnMouseUp(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (!HitTest(x, y)) {
        StopHover();
        SetVisualState(kBaseNormal + Off());
        return false;
    }
    if (wasPressed) m_check = !m_check;
    SetVisualState(kBaseHighlighted + Off());
    StartHover();
    if (wasPressed) Notify(QWF_NOTIFY_CLICK, &m_check);
    return true;
}

void CQWF_CtrlCheckBox::SetCheck(bool checked, bool notify)
{
    if (checked == m_check) return;
    m_check = checked;
    DrawRest();
    if (notify) Notify(QWF_NOTIFY_CLICK, &m_check);
}

// --- the radio button ---

CQWF_CtrlRadioButton::CQWF_CtrlRadioButton()
{
    m_kind = QWF_CTRL_RADIO;
    m_check = false;
    m_radioGroup = 0;
}

CQWF_CtrlRadioButton::~CQWF_CtrlRadioButton() = default;

bool CQWF_CtrlRadioButton::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    static const char* const kNames[] = {"Normal On", "Normal Off", "Disabled On", "Disabled Off",
                                         "Highlighted", "Pressed",    "Pressed Mouse Out"};
    QWF_SkinElement* const slots[] = {&m_images[kSlotNormal],      &m_normalOff,           &m_images[kSlotDisabled],
                                      &m_disabledOff,              &m_images[kSlotHighlighted],
                                      &m_images[kSlotPressed],     &m_images[kSlotPressedOut]};
    CQWF_String folder;
    if (!SkinFolder("UIResources>Radio Buttons>%s", folder)) return false;
    if (!LoadAndBuild(folder, kNames, slots, 7, 2)) return false;
    uint8_t group = 0;
    if (m_storage && m_storage->GetByte(folder + ">Group ID", group)) m_radioGroup = group;
    SetVisualState(kNormalOff);
    return true;
}

void CQWF_CtrlRadioButton::SetVisualState(uint8_t state)
{
    if (!m_created) return;
    const QWF_SkinElement* on = &m_images[kSlotNormal];
    const QWF_SkinElement* off = &m_normalOff;
    const QWF_SkinElement* high = &m_images[kSlotHighlighted];
    switch (state) {
    case kNormalOn: DrawState(state, FirstOf(on), false); break;
    case kNormalOff: DrawState(state, FirstOf(off), false); break;
    case kHighlighted: DrawState(state, FirstOf(high, off), false); break;
    case kPressed: DrawState(state, FirstOf(&m_images[kSlotPressed], high, off), false); break;
    case kPressedOut: DrawState(state, FirstOf(&m_images[kSlotPressedOut], off), false); break;
    case kDisabledOn:
        if (m_images[kSlotDisabled].Present())
            DrawState(state, &m_images[kSlotDisabled], false);
        else
            DrawState(state, FirstOf(on), true);
        break;
    case kDisabledOff:
        if (m_disabledOff.Present())
            DrawState(state, &m_disabledOff, false);
        else
            DrawState(state, FirstOf(off), true);
        break;
    default: break;
    }
}

void CQWF_CtrlRadioButton::DrawRest()
{
    // A check changed in code while disabled keeps the disabled look.
    if (!m_enabled) {
        SetVisualState(m_check ? kDisabledOn : kDisabledOff);
        return;
    }
    if (m_check) {
        SetVisualState(kNormalOn);
        return;
    }
    if (!MoveAtPointer()) DrawNormal();
}

// A checked radio button cannot be clicked off: its mouse handlers take the event and do nothing.
bool CQWF_CtrlRadioButton::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    if (m_check) return HitTest(x, y);
    return FollowPointer(x, y, kPressed, kPressedOut, kHighlighted, kNormalOff);
}

bool CQWF_CtrlRadioButton::OnMouseDown(int32_t x, int32_t y, uint32_t)
{
    if (!m_enabled) return false;
    if (m_check) return HitTest(x, y);
    m_pressed = true;
    SetVisualState(kPressed);
    StopHover();
    return true;
}

bool CQWF_CtrlRadioButton::OnMouseUp(int32_t x, int32_t y, uint32_t modifiers)
{
    if (!m_enabled) return false;
    if (m_check) {
        m_pressed = false;
        return HitTest(x, y);
    }
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (!HitTest(x, y)) {
        StopHover();
        SetVisualState(kNormalOff);
        return false;
    }
    if (!wasPressed) {
        SetVisualState(kHighlighted);
        StartHover();
        return true;
    }
    SetVisualState(kNormalOn);
    m_check = true;
    StopHover();
    UncheckGroup();
    uint32_t mods = modifiers;
    Notify(QWF_NOTIFY_CLICK, &mods);
    return true;
}

void CQWF_CtrlRadioButton::SetCheck(bool checked, bool notify)
{
    if (checked == m_check) return;
    if (!checked) {
        m_check = false;
        DrawRest();
        return;
    }
    m_check = true;
    SetVisualState(m_enabled ? kNormalOn : kDisabledOn);
    StopHover();
    if (notify) {
        UncheckGroup();
        Notify(QWF_NOTIFY_CLICK, nullptr);
    }
}
