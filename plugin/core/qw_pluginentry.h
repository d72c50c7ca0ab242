// The filter entry's steps, open to tests with their own plug-in object.
#pragma once

#include <cstdint>

#include "plugin/core/qw_8bfplugin.h"

// Module folder (ending in a backslash) as plug-in and data folder, then the data folder
// named by "SPath.conf" in the plug-in folder, when it names one.
void QW_FindFolders(CQWF_8BFPluginVirtual& plugin);
// One call of the filter entry on the given plug-in object.
void QW_Dispatch(CQWF_8BFPluginVirtual& plugin, int16_t selector, void* block, intptr_t* data,
                 int16_t* result);

extern "C" void PluginMain(int16_t selector, void* block, intptr_t* data, int16_t* result);
