// QWSetup's entry: the application object opens the program's package and runs the setup window
// (on X11 when a display is there, else headless). The exit code is 1 when the package cannot be
// used, else 0.
#include "installer/setup/setup_window.h"

int main()
{
    auto* app = new qwsetup::CApp;
    CQWF_App::SetApp(app);
    const int32_t result = app->InitInstance();
    CQWF_App::SetApp(nullptr);
    delete app;
    return result == -1 ? 1 : 0;
}
