// The progress sinks of long commands while the filter's windows are open: the main window's
// status line (never cancels) and the Cutter's bar with its cancel button. Both skip a percent
// that repeats the last one and keep the windows painted by pumping their messages when asked
// whether to cancel.
#pragma once

#include "framework/core/qwf_progress.h"
#include "framework/core/qwf_string.h"

#include <cstdint>

// What the main-window sink needs of the main window.
class CMainProgressTarget {
public:
    virtual ~CMainProgressTarget() = default;
    virtual void SetProgressText(const char* message, uint8_t percent) = 0;
    // Timers, activation and paint only; keys and mouse are dropped.
    virtual void PumpMessages() = 0;
};

// What the Cutter sink needs of the Cutter window.
class CCutterProgressTarget {
public:
    virtual ~CCutterProgressTarget() = default;
    virtual void SetProgressPercent(uint8_t percent) = 0;
    // The owner's timers, activation and paint.
    virtual void PumpOwnerMessages() = 0;
    // The Cutter's own messages, keys and mouse included (its cancel button).
    virtual void PumpOwnMessages() = 0;
    virtual bool IsCancelRequested() const = 0;
};

class CMainProgress : public CQWF_Progress {
public:
    CMainProgress(CMainProgressTarget* owner, const char* statusText);
    ~CMainProgress() override = default;
    void SetPercent(uint8_t percent) override;
    bool IsCancelled() override;

private:
    CMainProgressTarget* m_target;
    CQWF_String m_text;
};

class CCutterProgress : public CQWF_Progress {
public:
    explicit CCutterProgress(CCutterProgressTarget* owner);
    ~CCutterProgress() override = default;
    void SetPercent(uint8_t percent) override;
    bool IsCancelled() override;

private:
    CCutterProgressTarget* m_target;
};
