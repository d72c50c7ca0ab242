// The channel picker ("ChannelList"), which reads a channel of the host document, the selection
// or the transparency into a map for selecting pieces or knives, and the layer picker
// ("Layers"), in which the image overlay chooses the document layer it lays over the pieces.
// Both are modal; their lists and preview geometry come from the picker models.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/imaging/qwf_layer.h"
#include "plugin/main/dialog_host.h"
#include "plugin/main/effect_link.h"
#include "plugin/main/filter_dialog_host.h"
#include "plugin/main/view_preferences.h"
#include "plugin/windows/dialog_window.h"
#include "plugin/windows/picker_models.h"

#include <cstdint>

class CPluginMain;
class CWnd_Main;

class CWnd_ChannelList : public CDialogWindow {
public:
    CWnd_ChannelList(CDialogHost* host, CPluginMain* plugin, bool selectionExists, uint8_t target)
        : CDialogWindow(host), m_plugin(plugin), m_selectionExists(selectionExists),
          m_target(target)
    {
    }

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    void FillChannelList();
    void ReadChannelPreview();

    // After OK: the map of the filter rectangle (the channel as read, never inverted), its size,
    // the combine mode and the invert switch.
    const CQWF_Mem& GetMap() const { return m_map; }
    int32_t GetMapWidth() const { return m_width; }
    int32_t GetMapHeight() const { return m_height; }
    uint8_t GetMode() const { return m_mode; }
    uint8_t GetInvert() const { return m_invert; }

protected:
    const char* HintWindowName() const override { return "ChannelsList"; }
    const char* ZoneAt(int32_t x, int32_t y) const override;

private:
    CPluginMain* m_plugin;
    bool m_selectionExists;
    uint8_t m_target;
    CQWF_Mem m_map;
    int32_t m_width = 0, m_height = 0;
    uint8_t m_mode = 0;
    uint8_t m_invert = 0;
    QWF_Rect m_previewRect{0, 0, 0, 0};
    CQWF_Layer m_preview;
    int32_t m_ok = -1, m_cancel = -1, m_closeX = -1, m_help = -1, m_list = -1, m_invertBox = -1;
    int32_t m_radios[4] = {-1, -1, -1, -1};
};

class CWnd_LayersList : public CDialogWindow {
public:
    static constexpr uint32_t kBlinkTimer = 2;

    CWnd_LayersList(CDialogHost* host, CPluginMain* plugin, const ViewPreferences& prefs)
        : CDialogWindow(host), m_plugin(plugin), m_prefs(prefs)
    {
    }

    // Before creation: the target region (document pixels), the chosen layer (-2 none, -1 the
    // merged document) and whether only covering layers are listed.
    void SetTarget(int32_t left, int32_t top, int32_t right, int32_t bottom)
    {
        m_target = {left, top, right, bottom};
    }
    void SetChosen(int32_t id) { m_chosen = id; }
    void SetShowFiltered(bool on) { m_showFiltered = on; }
    int32_t GetChosen() const { return m_chosen; }
    bool GetShowFiltered() const { return m_showFiltered; }

    bool Close() override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnTimer(uint32_t id) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    bool CoversTarget(size_t tableIndex) const;
    void FillLayerList();
    void ReadLayerPreview();
    const CQWF_Layer& GetPicture() const { return m_picture; }

protected:
    const char* HintWindowName() const override { return "Layers"; }
    const char* ZoneAt(int32_t x, int32_t y) const override;

private:
    void PreviewFailed();
    bool ReadPicture(int32_t id, const qwpick::Rect& source, const qwpick::Rect& picture);

    CPluginMain* m_plugin;
    ViewPreferences m_prefs;
    qwpick::Rect m_target{-32000, -32000, -32000, -32000};
    int32_t m_chosen = -2;
    bool m_showFiltered = true;
    QWF_Rect m_previewRect{0, 0, 0, 0};
    CQWF_Layer m_picture;
    CQWF_Layer m_marker;
    CQWF_Mem m_planes;  // four planes of the preview's size
    int32_t m_remembered = -1;
    int32_t m_ok = -1, m_list = -1, m_help = -1, m_all = -1, m_filtered = -1;
};

// Runs the channel picker over the main window (the main window's maker of it).
bool RunChannelPicker(CWnd_Main& main, bool selectionExists, uint8_t target, ChannelPick& out);
