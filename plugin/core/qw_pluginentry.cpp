// The filter module's entry: stores the host's pointers, finds the module's folders and
// dispatches the selector to the plug-in object.
#include <cstring>

#include "framework/core/qwf_storage.h"
#include "platform/qw_envcheck.h"
#include "platform/qw_module.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"

CPluginMain& ThePluginMain()
{
    static CPluginMain plugin;
    return plugin;
}

namespace {

// Built by the module's static initialisation so that it lives until the module unloads.
CPluginMain& g_plugin = ThePluginMain();

intptr_t WindowOf(void* platformData)
{
    return platformData ? static_cast<PlatformData*>(platformData)->hwnd : 0;
}

}  // namespace

void QW_FindFolders(CQWF_8BFPluginVirtual& plugin)
{
    std::string name = qwp::ModuleFileName();
    if (name.empty()) return;  // the folders keep what they had
    size_t slash = name.rfind('\\');
    if (slash == std::string::npos) return;
    CQWF_String folder(name.substr(0, slash + 1).c_str());
    plugin.GetPluginFolder() = folder;
    plugin.GetDataFolder() = folder;

    CQWF_Mem conf;
    int16_t keep = plugin.GetError();
    if (plugin.ReadWholeFile(conf, "SPath.conf", nullptr) && conf.GetSize()) {
        CQWF_Storage package;
        if (package.OpenMemory(conf)) {
            CQWF_String data;
            if (package.GetString("SPath", data)) plugin.GetDataFolder() = data;
            package.Close();
        }
    }
    plugin.SetError(keep);  // nothing is reported about the configuration file
}

void QW_Dispatch(CQWF_8BFPluginVirtual& plugin, int16_t selector, void* block, intptr_t* data,
                 int16_t* result)
{
    // The About selector's record is an AboutRecord: it is never taken for a filter record.
    FilterRecord* record =
        selector == filterSelectorAbout ? nullptr : static_cast<FilterRecord*>(block);
    plugin.SetHostPointers(record, data, result);
    plugin.SetResultOK();
    QW_FindFolders(plugin);

    // A setting of the environment that names no value the module knows (QW_ISA,
    // QW_WINDOW_SYSTEM) refuses the calls that would run anything, said on stderr: the host gets
    // an error and its image stays as it was.
    if ((selector == filterSelectorAbout || selector == filterSelectorStart) &&
        !qwp::CheckEnvironmentSettings("QWJigcrafter30.8bf")) {
        plugin.SetResultBadParameters();
        if (selector == filterSelectorStart) plugin.ClearRects();
        plugin.SetHostPointers(nullptr, nullptr, nullptr);
        return;
    }

    switch (selector) {
    case filterSelectorAbout: {
        auto* about = static_cast<AboutRecord*>(block);
        plugin.SetHostWindow(about ? WindowOf(about->platformData) : 0);
        plugin.About();
        break;
    }
    case filterSelectorParameters:
        plugin.Parameters();
        break;
    case filterSelectorPrepare:
        if (record) record->bufferSpace = 0;
        plugin.Prepare();
        break;
    case filterSelectorStart:
        if (plugin.ReadHostInfo()) {
            plugin.SetHostWindow(WindowOf(record->platformData));
            plugin.Start();
        } else if (plugin.GetError() == CQWF_8BFPluginVirtual::kErrBadMode) {
            plugin.SetResult(filterBadMode);
        } else {
            plugin.SetResultBadParameters();
        }
        plugin.ClearRects();
        break;
    case filterSelectorContinue:
        plugin.Continue();
        break;
    case filterSelectorFinish:
        plugin.Finish();
        break;
    default:
        plugin.SetResultBadParameters();
        break;
    }
    // The host's pointers are valid only within the call.
    plugin.SetHostPointers(nullptr, nullptr, nullptr);
}

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void* block,
                                                                  intptr_t* data, int16_t* result)
{
    QW_Dispatch(g_plugin, selector, block, data, result);
}
