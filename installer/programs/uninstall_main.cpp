// QWUninstall's entry: the application object opens the program's package and runs the uninstall
// dialog on X11, or headless with QW_WINDOW_SYSTEM=headless. The exit code is 1 when the package
// cannot be used, 2 when no display could be opened or a setting of the environment is unknown,
// 3 when it ran headless without a UI script (nobody answered it), 4 when its UI script failed,
// else 0.
#include <cstdio>
#include <string>

#include "framework/ui/qwf_uiscript.h"
#include "installer/uninstall/uninstall_window.h"
#include "platform/qw_envcheck.h"
#include "platform/qw_winsys.h"

int main()
{
    if (!qwp::CheckEnvironmentSettings("QWUninstall")) return 2;
    // A person who starts the program where it cannot show its window is told so.
    std::string error;
    if (!qwp::OpenProgramWindowSystem(error)) {
        std::fprintf(stderr, "QWUninstall: %s\n", error.c_str());
        return 2;
    }
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
    if (result == -1) return 1;
    // Nobody could have chosen anything: the run is no success.
    if (QWF_NobodyAnswered("QWUninstall", "the uninstall dialog")) return 3;
    return 0;
}
