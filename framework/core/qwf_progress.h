// Progress sinks: long operations report a percent (0-100) and ask whether to stop.
#pragma once

#include <cstdint>

#include "framework/core/qwf_mem.h"

// The base sink: records nothing, never cancels unless Cancel was called.
class CQWF_Progress : public CQWF_FrameWork {
public:
    CQWF_Progress() = default;
    explicit CQWF_Progress(void* owner) : m_owner(owner) {}
    ~CQWF_Progress() override = default;

    virtual void SetPercent(uint8_t percent);
    virtual void Cancel();
    virtual bool IsCancelled();

    void ClearCancel() { m_cancel = 0; }

    void SetOwner(void* owner) { m_owner = owner; }
    uint8_t GetLastPercent() const { return m_lastPercent; }
    void SetLastPercent(uint8_t percent) { m_lastPercent = percent; }

protected:
    void* m_owner = nullptr;
    uint8_t m_lastPercent = 0;
    uint8_t m_cancel = 0;
};

// Maps its own 0-100 into the range [start, end] of a parent sink. Its own cancel flag is set by
// Cancel but not consulted: IsCancelled asks the parent.
class CQWF_SubProgress : public CQWF_Progress {
public:
    CQWF_SubProgress() = default;
    ~CQWF_SubProgress() override = default;

    // start and end are clamped to 0-100.
    void SetRange(CQWF_Progress* parent, uint8_t start, uint8_t end);

    void SetPercent(uint8_t percent) override;
    bool IsCancelled() override;

    double GetStart() const { return m_start; }
    double GetEnd() const { return m_end; }
    CQWF_Progress* GetParent() const { return m_parent; }

private:
    double m_start = 0.0;
    double m_end = 0.0;
    CQWF_Progress* m_parent = nullptr;
};
