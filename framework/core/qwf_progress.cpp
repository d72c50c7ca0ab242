#include "framework/core/qwf_progress.h"

void CQWF_Progress::SetPercent(uint8_t /*percent*/) {}

void CQWF_Progress::Cancel() { m_cancel = 1; }

bool CQWF_Progress::IsCancelled() { return m_cancel != 0; }

void CQWF_SubProgress::SetRange(CQWF_Progress* parent, uint8_t start, uint8_t end)
{
    m_parent = parent;
    m_start = start > 100 ? 100.0 : static_cast<double>(start);
    m_end = end > 100 ? 100.0 : static_cast<double>(end);
}

void CQWF_SubProgress::SetPercent(uint8_t percent)
{
    if (!m_parent) return;
    double x = m_start + (m_end - m_start) * static_cast<double>(percent) / 100.0;
    if (x > 100.0) x = 100.0;
    if (!(x > 0.0)) x = 0.0;
    m_parent->SetPercent(static_cast<uint8_t>(static_cast<int>(x)));
}

bool CQWF_SubProgress::IsCancelled() { return m_parent ? m_parent->IsCancelled() : false; }
