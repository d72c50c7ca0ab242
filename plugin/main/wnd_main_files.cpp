// The main window's documents, exports and preferences.
#include "plugin/main/wnd_main.h"

void CWnd_Main::ShowExportDialog() {}

void CWnd_Main::ShowExportLMDialog() {}

bool CWnd_Main::SaveDocument()
{
    return false;
}

bool CWnd_Main::LoadDocument()
{
    return false;
}

void CWnd_Main::ShowPreferences() {}
