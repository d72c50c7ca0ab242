#include "plugin/core/qw_windowprogress.h"

CMainProgress::CMainProgress(CMainProgressTarget* owner, const char* statusText)
    : CQWF_Progress(owner), m_target(owner)
{
    m_text.Assign(statusText ? statusText : "");
}

void CMainProgress::SetPercent(uint8_t percent)
{
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    if (m_target)
        m_target->SetProgressText(m_text.GetData(), percent);
}

bool CMainProgress::IsCancelled()
{
    if (m_target)
        m_target->PumpMessages();
    return false;
}

CCutterProgress::CCutterProgress(CCutterProgressTarget* owner)
    : CQWF_Progress(owner), m_target(owner)
{
}

void CCutterProgress::SetPercent(uint8_t percent)
{
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    if (m_target && percent % 5 == 0)
        m_target->SetProgressPercent(percent);
}

bool CCutterProgress::IsCancelled()
{
    if (!m_target)
        return false;
    m_target->PumpOwnerMessages();
    m_target->PumpOwnMessages();
    return m_target->IsCancelRequested();
}
