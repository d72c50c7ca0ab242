#include "plugin/core/qw_pluginapp.h"

namespace {
PluginAppMaker g_maker = nullptr;
}  // namespace

PluginAppMaker SetPluginAppMaker(PluginAppMaker maker)
{
    PluginAppMaker previous = g_maker;
    g_maker = maker;
    return previous;
}

CPluginApp* NewPluginApp()
{
    return g_maker ? g_maker() : nullptr;
}
