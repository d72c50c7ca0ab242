// QWUninstall's entry: the application object opens the program's package and runs the uninstall
// dialog (on X11 when a display is there, else headless). The exit code is 1 when the package
// cannot be used, 4 when its UI script failed, else 0.
#include "framework/ui/qwf_uiscript.h"
#include "installer/uninstall/uninstall_window.h"

int main()
{
    // QW_UI_SCRIPT: a UI script plays the user (for runs without a person).
    if (!QWF_StartProgramScript())
        return 4;
    auto* app = new qwuninstall::CApp;
    CQWF_App::SetApp(app);
    const int32_t result = app->RunDialog();
    CQWF_App::SetApp(nullptr);
    delete app;
    if (!QWF_FinishProgramScript())
        return 4;
    return result == -1 ? 1 : 0;
}
