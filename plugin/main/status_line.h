// The fading status line of the filter's windows: a new text fades the old one out by 65 a tick
// of the window's timer 1 (every 30 ms), is put in at opacity 0 and fades in by 40 a tick to
// full opacity. The same text again changes nothing. A text wider than the area is flowed into
// lines that fit it.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"

class CQWF_CtrlStaticText;

class CStatusLine {
public:
    static constexpr uint32_t kTimerId = 1;
    static constexpr uint32_t kTickMs = 30;
    enum State : uint8_t { kStill = 0, kFadingIn = 1, kFadingOut = 2 };
    // Where the text starts in its control and how far apart its lines are.
    static constexpr int16_t kTextX = 0;
    static constexpr int16_t kTextY = 0;
    static constexpr int16_t kLineHeight = 13;

    // The control shows the status line from now on, laid out as above.
    void Attach(CQWF_CtrlStaticText* text);
    void SetText(const char* text);
    // The text at full opacity at once (progress lines), with no fade under way.
    void ShowNow(const char* text);
    // One tick of timer 1.
    void Tick();
    const char* GetText() const { return m_pending.GetBuffer(); }
    // The text as the area shows it: as it is when each of its lines fits the area's width,
    // otherwise flowed into lines that do, its own line breaks taken as blanks. Texts with tabs
    // (the progress form) stay as they are.
    CQWF_String Fitted(const char* text) const;
    State GetState() const { return m_state; }

private:
    CQWF_CtrlStaticText* m_text = nullptr;
    CQWF_String m_pending;
    State m_state = kStill;
};
