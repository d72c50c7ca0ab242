#include "plugin/main/status_line.h"

#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_static.h"

#include <cstring>
#include <string>

void CStatusLine::Attach(CQWF_CtrlStaticText* text)
{
    m_text = text;
    if (m_text) m_text->SetTextAt(m_pending.GetBuffer(), kTextX, kTextY, kLineHeight);
}

CQWF_String CStatusLine::Fitted(const char* text) const
{
    CQWF_String out(text ? text : "");
    CQWF_Font* font = m_text ? m_text->GetLayer()->m_font : nullptr;
    if (!font || std::strchr(out.GetBuffer(), '\t')) return out;
    const QWF_Rect r = m_text->GetRect();
    const int32_t room = r.right - r.left - kTextX;
    auto width = [font](const std::string& line) {
        int32_t w = 0, h = 0;
        return font->MeasureText(line.c_str(), 0, w, h) ? w : 0;
    };
    bool fits = true;
    for (const char* p = out.GetBuffer(); fits && *p;) {
        const char* end = std::strchr(p, '\n');
        const std::string line(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
        fits = width(line) <= room;
        p = end ? end + 1 : p + line.size();
    }
    if (fits) return out;
    // Word by word: a word that would pass the right edge starts the next line.
    std::string flowed, line, word;
    auto place = [&] {
        if (word.empty()) return;
        if (!line.empty() && width(line + " " + word) > room) {
            flowed += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        word.clear();
    };
    for (const char* p = out.GetBuffer(); *p; ++p) {
        if (*p == ' ' || *p == '\n')
            place();
        else
            word += *p;
    }
    place();
    flowed += line;
    return CQWF_String(flowed.c_str());
}

void CStatusLine::SetText(const char* text)
{
    const CQWF_String fitted = Fitted(text);
    if (m_pending == fitted.GetBuffer()) return;
    m_pending = fitted;
    m_state = kFadingOut;
}

void CStatusLine::ShowNow(const char* text)
{
    m_pending = Fitted(text);
    m_state = kStill;
    if (!m_text) return;
    // Drawing the text gives the control its full opacity (one repaint for a progress step).
    m_text->SetText(m_pending.GetBuffer());
}

void CStatusLine::Tick()
{
    if (!m_text || m_state == kStill) return;
    const int opacity = m_text->GetOpacity();
    if (m_state == kFadingOut) {
        if (opacity > 65) {
            m_text->SetOpacity(static_cast<uint8_t>(opacity - 65));
            return;
        }
        // The new text drawn first: drawing gives the control its full opacity.
        m_text->SetText(m_pending.GetBuffer());
        m_text->SetOpacity(0);
        m_state = kFadingIn;
        return;
    }
    if (opacity < 255 - 40) {
        m_text->SetOpacity(static_cast<uint8_t>(opacity + 40));
        return;
    }
    m_text->SetOpacity(255);
    m_state = kStill;
}
