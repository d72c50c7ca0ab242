// Host progress sink.
#include "plugin/core/qw_hostprogress.h"

#include "plugin/core/qw_8bfplugin.h"

void CHostProgress::SetPercent(uint8_t percent)
{
    m_lastPercent = percent;
    if (auto* owner = static_cast<CQWF_8BFPluginVirtual*>(m_owner)) owner->HostProgress(100, percent);
}

bool CHostProgress::IsCancelled()
{
    auto* owner = static_cast<CQWF_8BFPluginVirtual*>(m_owner);
    const bool cancelled = owner && owner->HostAbort();
    if (cancelled) m_cancelSeen = true;
    return cancelled;
}
