// The fading status line of the filter's windows: a new text fades the old one out by 65 a tick
// of the window's timer 1 (every 30 ms), is put in at opacity 0 and fades in by 40 a tick to
// full opacity. The same text again changes nothing.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"

class CQWF_CtrlStaticText;

class CStatusLine {
public:
    static constexpr uint32_t kTimerId = 1;
    static constexpr uint32_t kTickMs = 30;
    enum State : uint8_t { kStill = 0, kFadingIn = 1, kFadingOut = 2 };

    void Attach(CQWF_CtrlStaticText* text) { m_text = text; }
    void SetText(const char* text);
    // The text at full opacity at once (progress lines), with no fade under way.
    void ShowNow(const char* text);
    // One tick of timer 1.
    void Tick();
    const char* GetText() const { return m_pending.GetBuffer(); }
    State GetState() const { return m_state; }

private:
    CQWF_CtrlStaticText* m_text = nullptr;
    CQWF_String m_pending;
    State m_state = kStill;
};
