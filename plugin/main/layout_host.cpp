#include "plugin/main/layout_host.h"

#include "plugin/core/jigcrafter.h"
#include "plugin/core/qw_8bfplugin.h"

#include <algorithm>

bool CLayoutPluginSink::ReadScriptParameters(CQWF_Mem& blob)
{
    if (!m_pPlugin)
        return false;
    bool showDialog = false;
    return m_pPlugin->ReadScriptParameters(blob, showDialog);
}

bool CLayoutPluginSink::WriteScriptParameters(const uint8_t* data, size_t size)
{
    return m_pPlugin && m_pPlugin->WriteScriptParameters(data, size);
}

bool CLayoutPluginSink::ReadWholeFile(CQWF_Mem& blob, const char* name)
{
    return m_pPlugin && m_pPlugin->ReadWholeFile(blob, name, m_pPlugin->GetDataFolder().GetBuffer());
}

bool CLayoutPluginSink::WriteWholeFile(const uint8_t* data, size_t size, const char* name)
{
    return m_pPlugin &&
           m_pPlugin->WriteWholeFile(data, size, name, m_pPlugin->GetDataFolder().GetBuffer());
}

size_t CJigcrafterPieceSource::GetPieceRecordCount() const
{
    return m_pEngine ? static_cast<size_t>(std::max<int32_t>(m_pEngine->GetPieceCount(), 0)) : 0;
}

void CJigcrafterPieceSource::GetPieceRecord(size_t i, PieceEffectRecord& out) const
{
    if (!m_pEngine || !m_pEngine->PieceToRecord(static_cast<int32_t>(i), out))
        qwpiece::DefaultRecord(out);
}
