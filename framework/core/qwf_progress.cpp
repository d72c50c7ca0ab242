#include "framework/core/qwf_progress.h"

#include <algorithm>

void CQWF_Progress::SetPercent(uint8_t /*percent*/) {}

void CQWF_Progress::Cancel() { m_cancel = 1; }

bool CQWF_Progress::IsCancelled() { return m_cancel != 0; }

void CQWF_SubProgress::SetRange(CQWF_Progress* parent, uint8_t start, uint8_t end)
{
    m_parent = parent;
    m_start = std::min(static_cast<double>(start), 100.0);
    m_end = std::min(static_cast<double>(end), 100.0);
}

void CQWF_SubProgress::SetPercent(uint8_t percent)
{
    if (!m_parent) return;
    double x = m_start + (m_end - m_start) * static_cast<double>(percent) / 100.0;
    // Percents past 100 reach past the range's end, and below its start when it runs backwards.
    m_parent->SetPercent(static_cast<uint8_t>(std::clamp(x, 0.0, 100.0)));
}

bool CQWF_SubProgress::IsCancelled() { return m_parent ? m_parent->IsCancelled() : false; }
