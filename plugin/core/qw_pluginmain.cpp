// The plug-in object: the Start steps every run shares and the run without a dialog.
#include "plugin/core/qw_pluginmain.h"

CPluginMain::CPluginMain() = default;
CPluginMain::~CPluginMain() = default;

void CPluginMain::About()
{
    DoAbout();
}

void CPluginMain::DoAbout()
{
    // TODO(dialog run): create the application object, open "resource_jw30.qws4" and run the
    // About window modally against the host window.
}

void CPluginMain::DoStart()
{
    LoadPreferences("plugin.conf");
    if (GetShowDialog()) {
        // TODO(dialog run): the main window runs here and its result is written back. Until it
        // does, a dialog run ends as cancelled, like a main window that cannot be created.
        SetResultCanceled();
        return;
    }
    // Without a dialog: replay the layout recorded in the scripting parameters, else the last
    // layout saved in the data folder.
    SetResultCanceled();
    CQWF_Mem blob;
    bool showDialog = false;
    if (!ReadScriptParameters(blob, showDialog)) {
        // A cancel in the host ends the run as cancelled; anything else falls back.
        if (ScriptReadCancelled()) return;
        if (!ReadWholeFile(blob, "last.data", GetDataFolder().GetBuffer())) return;
    }
    if (!ReplayLayout(blob)) return;
    SetResultOK();
}

bool CPluginMain::ReplayLayout(const CQWF_Mem&)
{
    // TODO(replay): parse the blob with the engine, read the mask and write the pieces or the
    // Splitter lines back into the host's planes.
    return false;
}
