// What the running filter answers its dialogs: hints from the hint table, the Help menu and its
// commands of the filter's application, window positions in the settings store, the host's
// colour picker, the skinned OK/Cancel box and the system error box.
#pragma once

#include "plugin/main/dialog_host.h"

class CPluginMain;

class CFilterDialogHost : public CDialogHost {
public:
    // The plug-in may be null: then no position is stored and no colour can be picked. A hint
    // mode other than 0 replaces the state byte of every hint asked for (the pickers' hints
    // depend on what the picked map will select).
    explicit CFilterDialogHost(CPluginMain* plugin, uint8_t hintMode = 0)
        : m_plugin(plugin), m_hintMode(hintMode)
    {
    }

    CQWF_String GetHintText(const char* control, const char* window, uint8_t state, uint8_t kind) override;
    void BuildHelpMenu(CQWF_PlatformPopupMenu& menu) override;
    bool OnHelpCommand(int32_t id, CQWF_Window* window) override;
    void GetWindowPosition(const char* group, const char* name, int32_t& x, int32_t& y) override;
    void SaveWindowPosition(const char* group, const char* name, int32_t x, int32_t y) override;
    bool PickColor(uint32_t& colour) override;
    int32_t AskOkCancel(const char* header, const char* text, CQWF_Window* parent) override;
    void ShowError(const char* text, CQWF_Window* window) override;

private:
    CPluginMain* m_plugin;
    uint8_t m_hintMode;
};
