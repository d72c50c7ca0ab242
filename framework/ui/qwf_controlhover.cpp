#include "framework/ui/qwf_controlhover.h"

#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_window.h"

bool QWF_PointerOverControl(CQWF_Control* control)
{
    CQWF_Window* window = control ? control->GetWindow() : nullptr;
    int32_t x = 0, y = 0;
    QWF_Rect r;
    if (!window || !window->GetCursorPos(x, y) || !window->GetWindowRect(r)) return false;
    return CQWF_Window::WindowFromPoint(r.left + x, r.top + y) == window->GetHWND() && control->HitTestIfEnabled(x, y);
}
