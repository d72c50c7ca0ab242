// The filter's application object as the plug-in object sees it. The windows it runs belong to
// the layers above this one; the layer that builds the application registers its maker once.
#pragma once

#include <cstdint>

#include "framework/ui/qwf_app.h"

class CPluginMain;
class CQWF_Image;

class CPluginApp : public CQWF_App {
public:
    // Makes the window of the skin name ("About" or "Main") the one Run creates; false when the
    // application has no window of that name.
    virtual bool SelectWindow(const char* name) = 0;
    virtual void SetPlugin(CPluginMain* plugin) = 0;
    // Where Run creates the window; -32000 for both centres it.
    virtual void SetPosition(int32_t x, int32_t y) = 0;
    // After a run of the main window: whether Apply committed it, whether it ended in Layout
    // mode, and its rendered pieces (RGB with alpha of the working size); false without one.
    virtual bool GetMainResult(bool& ready, bool& layoutMode, CQWF_Image*& rendered)
    {
        (void)ready;
        (void)layoutMode;
        (void)rendered;
        return false;
    }
    // The main window gives its pictures back (before the pieces are cut again).
    virtual void ReleaseMainImages() {}
};

using PluginAppMaker = CPluginApp* (*)();

// Registers the maker (null forgets it); returns the previous one.
PluginAppMaker SetPluginAppMaker(PluginAppMaker maker);
// A new application object on the heap; null when no maker is registered or memory runs out.
CPluginApp* NewPluginApp();
