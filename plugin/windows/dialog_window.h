// What the filter's small modal dialogs share: controls added by skin name with one check that
// they all exist, the edit lines' font, colours and numeric mode, the fading status line with the
// hints of the control under the mouse, the Help button's menu, the stored position, and Close
// stopping the status timer. Each dialog routes its controls to its own model.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"
#include "framework/ui/qwf_window.h"
#include "plugin/main/dialog_host.h"
#include "plugin/main/status_line.h"

class CQWF_CtrlEditLine;
class CQWF_CtrlStaticText;

class CDialogWindow : public CQWF_Window {
public:
    // The result of a modal run.
    static constexpr int32_t kOk = 1;
    static constexpr int32_t kCancel = 0;

    explicit CDialogWindow(CDialogHost* host) : m_host(host) {}

    bool Close() override;
    bool OnTimer(uint32_t id) override;
    bool OnHoverControl(int32_t index) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    CStatusLine& Status() { return m_status; }
    // The ten colours of the dialogs' edit lines (0xAABBGGRR, in SetDrawParams order).
    static void SetEditColours(CQWF_CtrlEditLine* edit);

protected:
    // Adds a control by its skin name; a missing one is remembered and makes AllAdded false.
    int32_t Add(const char* name, uint8_t kind);
    bool AllAdded() const { return !m_missing; }
    // The control at an index as its kind.
    template <class T>
    T* Ctl(int32_t index) const
    {
        return static_cast<T*>(GetControl(index));
    }
    // An edit line with the font, the dialogs' colours and, when numeric, whole numbers. With
    // endKeysToDialog, Enter and Escape in it end the editing and reach the dialog at the same
    // press (one Enter confirms).
    int32_t AddEdit(const char* name, int32_t font, bool numeric, bool endKeysToDialog = false);
    // A static text with the font; the status line when `status` is set.
    int32_t AddText(const char* name, int32_t font, int16_t x, int16_t y, int16_t lineHeight, bool status);
    // A Help button that reports when pressed.
    int32_t AddHelp(const char* name);
    // Starts the status timer and shows the window's own hint.
    void StartStatus();
    // The hint table's window name ("" for a dialog without hints) and the hint's state byte.
    virtual const char* HintWindowName() const { return ""; }
    // A zone's name for a point where no control is (the window's own hint: "").
    virtual const char* ZoneAt(int32_t /*x*/, int32_t /*y*/) const { return ""; }
    void ShowHint(const char* control, uint8_t kind);
    // The Help menu under the Help button.
    void ShowHelpMenu(int32_t helpIndex);
    void SavePosition(const char* group, const char* name);
    // Opens the window at its stored position (the window system's choice when none is stored) and
    // runs it modally; -1 when it cannot be created.
    int32_t RunAtStoredPosition(const char* skinName, const char* group, const char* name, CQWF_Window* owner);
    // Enter takes the OK button when it is enabled (or, for a picker whose caller reads what was
    // chosen, even when it is not), storing the position; Escape cancels.
    bool OkCancelKey(uint32_t code, int32_t okIndex, const char* group, const char* name,
                     bool evenWhenDisabled = false);
    // Zone hints follow the mouse while no control is under it.
    bool OnMouseMove(int32_t x, int32_t y, uint32_t flags) override;

    CDialogHost* m_host;
    CStatusLine m_status;
    CQWF_String m_zone;
    bool m_missing = false;
    bool m_statusRunning = false;
};
