#include "plugin/main/status_line.h"

#include "framework/ui/qwf_static.h"

void CStatusLine::SetText(const char* text)
{
    if (!text) text = "";
    if (m_pending == text) return;
    m_pending = text;
    m_state = kFadingOut;
}

void CStatusLine::ShowNow(const char* text)
{
    m_pending = text ? text : "";
    m_state = kStill;
    if (!m_text) return;
    m_text->SetOpacity(255);
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
        m_text->SetOpacity(0);
        m_text->SetText(m_pending.GetBuffer());
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
