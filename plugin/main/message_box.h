// The filter's skinned question box: a header line, a text, a left button (OK or Yes) and a
// right button (OK, Yes, No or Cancel). OK and Yes end it with 1, No, Cancel and the close box
// with 0. Enter and Escape do nothing while a button is shown; a box without any button ends
// with 0 on Escape, so that it can always be closed from the keyboard.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"
#include "framework/ui/qwf_window.h"

class CWnd_MessageBox : public CQWF_Window {
public:
    // Button kinds: left 1 OK, 2 Yes (any other value: none); right 1 OK, 2 Yes, 3 No, 4 Cancel
    // (any other value: none).
    static constexpr uint8_t kOk = 1;
    static constexpr uint8_t kYes = 2;
    static constexpr uint8_t kNo = 3;
    static constexpr uint8_t kCancel = 4;

    CWnd_MessageBox();
    ~CWnd_MessageBox() override;

    // Called before the window is created from the skin "MessageBox".
    void SetMessage(const char* header, const char* text, uint8_t left, uint8_t right);
    const CQWF_String& GetText() const { return m_text; }

    // Creates the box centred over the owner, runs it modally and returns its result (1 OK or
    // Yes, 0 No, Cancel or closed); -1 when it cannot be created.
    static int32_t Ask(CQWF_Window* owner, const char* header, const char* text, uint8_t left,
                       uint8_t right);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

private:
    bool HasButton() const;
    bool PlaceText(int32_t control, int32_t font, const char* text);

    CQWF_String m_text;
    CQWF_String m_header;
    uint8_t m_left = 0;
    uint8_t m_right = kCancel;
    int32_t m_headerFont = -1;
    int32_t m_textFont = -1;
    int32_t m_buttons[7] = {-1, -1, -1, -1, -1, -1, -1};
    int32_t m_textControl = -1;
    int32_t m_headerControl = -1;
};
