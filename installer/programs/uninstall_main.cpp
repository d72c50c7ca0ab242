// QWUninstall's entry. Its window comes with the window toolkit; until then the program finds
// its record as its dialog does and shows the dialog's text.
#include <cstdio>

#include "installer/uninstall/uninstall_plan.h"
#include "platform/qw_module.h"

int main()
{
    qwuninstall::CUninstaller uninstaller;
    uninstaller.OpenRecord(qwp::ModuleFileName().c_str());
    std::fprintf(stderr, "%s\n(the uninstall window is not built yet)\n", uninstaller.GetInfoText().GetBuffer());
    return 1;
}
