// The preferences dialog: how the preview shows transparent areas and the area around the image
// (a checkerboard of two colours or one solid colour each, picked with the host's colour picker
// from six swatches, with a preview of both), the opacity of hidden knives (10 to 50 percent)
// and fitting a loaded image to the preview. The main window copies its values in, runs it
// centred and on 1 takes the values back and stores them.
#pragma once

#include "framework/imaging/qwf_layer.h"
#include "plugin/main/view_preferences.h"
#include "plugin/windows/dialog_window.h"

class CWnd_Pref : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "Pref";
    // The swatches, in the order of their skin rectangles.
    enum Swatch : int { kTCB1, kTCB2, kTSolid, kFCB1, kFCB2, kFSolid, kSwatches };

    explicit CWnd_Pref(CDialogHost* host);

    ViewPreferences& Values() { return m_values; }
    // Creates the window centred over the owner and runs it.
    int32_t Run(CQWF_Window* owner);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;
    int32_t ReleaseFocus(int32_t index) override;

    // The swatch at a window point, or -1.
    int SwatchAt(int32_t x, int32_t y) const;

protected:
    const char* HintWindowName() const override { return "Preferences"; }
    const char* ZoneAt(int32_t x, int32_t y) const override;

private:
    uint32_t& SwatchColour(int swatch);
    void FillSwatches();
    void DrawPreview();

    ViewPreferences m_values;
    QWF_Rect m_previewRect{0, 0, 0, 0};
    QWF_Rect m_swatchRect[kSwatches] = {};
    CQWF_Layer m_preview;
    CQWF_Layer m_swatch[kSwatches];
    int32_t m_opacity = -1;
    int32_t m_help = -1;
    int32_t m_fcb = -1, m_fsolid = -1, m_tcb = -1, m_tsolid = -1, m_fit = -1;
    bool m_created = false;
};
