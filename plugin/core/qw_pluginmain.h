// The module's single plug-in object: runs About and Start over the host layer.
#pragma once

#include "framework/core/qwf_mem.h"
#include "plugin/core/qw_8bfplugin.h"

class CPluginMain : public CQWF_8BFPluginVirtual {
public:
    CPluginMain();
    ~CPluginMain() override;

    void About() override;
    void Prepare() override {}
    void Start() override { DoStart(); }

    void DoAbout();
    void DoStart();

protected:
    // Replays a layout blob without a dialog and writes the result into the host's planes;
    // false leaves the result the caller set.
    virtual bool ReplayLayout(const CQWF_Mem& blob);
};

// The one plug-in object of the module, built by static initialisation.
CPluginMain& ThePluginMain();
