// The main window as its effect windows see it: CEffectHost answered through the main window's
// public operations, and the maker of the effect windows the main window opens.
#pragma once

#include "plugin/main/effect_link.h"
#include "plugin/windows/effect_window.h"

#include <memory>

class CWnd_Main;

class CMainEffectHost : public CEffectHost, public CEffectWindowLink {
public:
    // The window of an effect type (the effect mask's bit number), null for a type without one.
    static CMainEffectHost* Make(CWnd_Main& main, uint8_t effectType);
    ~CMainEffectHost() override;

    CWndFX_Base* GetEffectWindow() { return m_window.get(); }

    // --- CEffectWindowLink ---
    bool Open(int32_t x, int32_t y) override;
    CQWF_Window* GetWindow() override { return m_window.get(); }
    const char* GetSkinName() const override { return m_skin.GetBuffer(); }

    // --- CEffectHost ---
    CJigcrafter* GetEngine() override;
    const PieceEffectRecord* GetSnapshots(int32_t& count) override;
    int32_t GetCurrentPiece() override;
    uint8_t GetColourMode() override;
    bool IsRendering() override;
    void RenderPieces(const int32_t* pieces, int32_t count, bool final) override;
    void EndEffectPreview(bool ok) override;
    CQWF_Storage* GetPreferences() override;
    void SaveWindowPosition(const char* name, const char* group, int32_t x, int32_t y) override;
    void GetCheckerColours(uint32_t& first, uint32_t& second) override;
    void GetHintText(const char* control, const char* window, bool enabled, uint8_t kind,
                     CQWF_String& text) override;
    void ShowHelpMenu(CQWF_Window& window, int32_t x, int32_t y) override;
    void OnHelpCommand(uint16_t id, CQWF_Window& window) override;
    bool ForwardCommand(int32_t id) override;
    bool PickColour(uint8_t colour[8]) override;
    CPluginMain* GetPlugin() override;
    void GetDocumentOrigin(int32_t& x, int32_t& y) override;
    void GetViewPreferences(ViewPreferences& out) override;

private:
    explicit CMainEffectHost(CWnd_Main& main) : m_main(main) {}
    CWnd_Main& m_main;
    std::unique_ptr<CWndFX_Base> m_window;
    CQWF_String m_skin;
};

// Installs the maker of the effect windows and the channel picker's run in the main window
// (the filter module does it when it loads).
void InstallEffectWindows();
