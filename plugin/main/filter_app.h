// The filter's application object: holds the filter's top-level windows, creates and runs the
// one the plug-in object names ("Main" or "About"), and serves every window of the filter with
// the Help menu (help document, links of the skin package, About) and the hint texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_string.h"
#include "plugin/core/qw_pluginapp.h"
#include "plugin/main/about_window.h"
#include "plugin/main/wnd_main.h"

class CQWF_PlatformPopupMenu;
class CQWF_Window;

// Commands of the Help menu.
inline constexpr uint16_t QW_HELP_ABOUT = 1;
inline constexpr uint16_t QW_HELP_FILE = 2;
inline constexpr uint16_t QW_HELP_FIRST_LINK = 5;
inline constexpr uint16_t QW_HELP_LAST_LINK = 14;

// The help document beside the module.
inline constexpr const char* QW_HELP_DOCUMENT = "Quarrow. Jigcrafter 3.0 Help.pdf";

class CApp : public CPluginApp {
public:
    CApp();
    ~CApp() override;

    // Creates the current window from its skin at the position, without a parent, shows it and
    // runs the message loop: -1 when the window cannot be created, else the loop's result.
    int32_t Run() override;

    bool SelectWindow(const char* name) override;
    void SetPlugin(CPluginMain* plugin) override;
    void SetPosition(int32_t x, int32_t y) override
    {
        m_x = x;
        m_y = y;
    }
    bool GetMainResult(bool& ready, bool& layoutMode, CQWF_Image*& rendered) override;
    void ReleaseMainImages() override { m_main.ReleaseImages(); }
    CWnd_Main& GetMainWindowObject() { return m_main; }
    CPluginMain* GetPlugin() const { return m_plugin; }
    CWnd_About& GetAboutWindow() { return m_about; }

    // --- the Help menu ---
    // Rebuilds the links from the package item "InfoM": caption and link pairs, a separator as
    // the pair ("---", "---").
    void LoadHelpLinks();
    const CQWF_StringArray& GetHelpLinks() const { return m_links; }
    void BuildHelpMenu(CQWF_PlatformPopupMenu& menu);
    // Runs a command of the Help menu; false for commands it does not own and for links it does
    // not hold.
    bool OnHelpCommand(uint16_t id, CQWF_Window* window);
    void ShowHelpFile();
    void OpenURL(const char* text);
    void ShowAbout(CQWF_Window* parent);

    // The hint of a control or zone (skin name) of a window (skin name): never empty.
    static CQWF_String GetHintText(const char* control, const char* window, uint8_t mode,
                                   uint8_t kind);

private:
    CQWF_Window* m_current = nullptr;
    CQWF_String m_windowName;
    int32_t m_x = -32000;
    int32_t m_y = -32000;
    CWnd_About m_about;
    CWnd_Main m_main;
    CPluginMain* m_plugin = nullptr;
    CQWF_StringArray m_links;
};

// Registers CApp as the filter's application (the filter module does it when it loads).
void RegisterFilterApp();
