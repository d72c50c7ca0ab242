// The uninstall program's dialog and application object. CWndMain is the skinned window "Info" of
// the uninstall package: it asks whether to uninstall the recorded product (Yes and Cancel), or
// says that there is no record (Cancel alone); Yes runs the removal and closes the dialog.
#pragma once

#include <cstdint>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_window.h"
#include "installer/uninstall/uninstall_plan.h"

namespace qwuninstall {

class CWndMain : public CQWF_Window {
public:
    CWndMain();
    ~CWndMain() override;

    bool IsInDragArea(int32_t x, int32_t y) override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnTimer(uint32_t id) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t flags, int32_t steps) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;
    bool Close() override;

    // The dialog's text.
    const char* GetText() const;
    bool HasYes() const { return m_yes >= 0; }

private:
    CUninstaller m_uninstaller;
    int32_t m_text = -1;
    int32_t m_cancel = -1;
    int32_t m_yes = -1;
    bool m_closed = false;
};

class CApp : public CQWF_App {
public:
    CApp();
    ~CApp() override;

    // Opens the program's package, shows the dialog and runs the message loop; -1 when the package
    // cannot be used (after the "Corrupt Setup File!" box).
    int32_t RunDialog();
    // The steps before the message loop: false when the program ends at once.
    bool Open();
    CWndMain& GetWindow() { return m_window; }

private:
    CWndMain m_window;
};

}  // namespace qwuninstall
