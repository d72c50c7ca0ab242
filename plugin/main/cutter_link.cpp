#include "plugin/main/cutter_link.h"
#include "plugin/main/main_dialogs.h"

namespace {
CutterFactory g_factory = nullptr;
}

void SetCutterFactory(CutterFactory factory)
{
    g_factory = factory;
}

CutterFactory GetCutterFactory()
{
    return g_factory;
}

namespace {
MainDialogRunners g_runners;
}

void SetMainDialogRunners(const MainDialogRunners& runners)
{
    g_runners = runners;
}

const MainDialogRunners& GetMainDialogRunners()
{
    return g_runners;
}
