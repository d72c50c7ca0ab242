// The progress sink of a run without the filter's windows: percents go to the host's progress
// callback and cancels come from the host's abort callback.
#pragma once

#include "framework/core/qwf_progress.h"

class CQWF_8BFPluginVirtual;

class CHostProgress : public CQWF_Progress {
public:
    explicit CHostProgress(CQWF_8BFPluginVirtual* owner = nullptr) : CQWF_Progress(owner) {}
    ~CHostProgress() override = default;

    // Last percent := p, then the host's progress callback (p of 100), on every call.
    void SetPercent(uint8_t percent) override;
    // The host's abort callback; false when the host gives none.
    bool IsCancelled() override;

    // Whether an IsCancelled call answered yes since the last ResetCancelSeen: lets the caller
    // tell a cancelled operation from a failed one.
    bool CancelSeen() const { return m_cancelSeen; }
    void ResetCancelSeen() { m_cancelSeen = false; }

private:
    bool m_cancelSeen = false;
};
