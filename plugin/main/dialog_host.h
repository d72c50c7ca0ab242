// What the filter's dialogs ask of the application and the window that opens them: hint texts,
// the Help menu, stored window positions, the host's colour picker, the OK/Cancel question box
// and the error box. The filter's application object answers for the running filter; tests
// answer with records.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"

class CQWF_PlatformPopupMenu;
class CQWF_Window;

class CDialogHost {
public:
    virtual ~CDialogHost() = default;

    // The hint of a control or zone of a window (the window names of the hint table), never
    // empty.
    virtual CQWF_String GetHintText(const char* control, const char* window, uint8_t state, uint8_t kind) = 0;
    // Fills the Help menu of a dialog's Help button; a chosen item goes to OnHelpCommand.
    virtual void BuildHelpMenu(CQWF_PlatformPopupMenu& menu) = 0;
    virtual bool OnHelpCommand(int32_t id, CQWF_Window* window) = 0;
    // Window positions under "Windows Positions" > group > name; -32000 for none stored.
    virtual void GetWindowPosition(const char* group, const char* name, int32_t& x, int32_t& y) = 0;
    virtual void SaveWindowPosition(const char* group, const char* name, int32_t x, int32_t y) = 0;
    // The host's colour picker with the colour (0xAABBGGRR) as its start; false when cancelled.
    virtual bool PickColor(uint32_t& colour) = 0;
    // The skinned question box with OK and Cancel, centred over the parent: 1 OK, 0 another
    // answer, -1 when the box cannot be shown.
    virtual int32_t AskOkCancel(const char* header, const char* text, CQWF_Window* parent) = 0;
    // A failure, at once, under "Error!".
    virtual void ShowError(const char* text, CQWF_Window* window) = 0;
};
