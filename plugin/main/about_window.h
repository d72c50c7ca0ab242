// The About window: its whole face (picture, version and product texts) is the skin "About";
// the first mouse press or key closes it.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"
#include "framework/ui/qwf_window.h"

class CPluginMain;

class CWnd_About : public CQWF_Window {
public:
    CWnd_About();
    ~CWnd_About() override;

    void SetPlugin(CPluginMain* plugin) { m_plugin = plugin; }
    CPluginMain* GetPlugin() const { return m_plugin; }

    bool Close() override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnRButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnKeyUp(uint32_t code, uint32_t modifiers) override;
    bool OnChar(uint32_t character, uint32_t modifiers) override;

    // Ends the modal run with 0, or closes the window when it does not run modally.
    void Dismiss();

private:
    CPluginMain* m_plugin = nullptr;
    CQWF_String m_text;
    int32_t m_font = -1;
};
