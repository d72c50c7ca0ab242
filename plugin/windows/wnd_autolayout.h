// The auto layout dialog: triangles or hexagons, rows and columns (each a slider and an edit
// line held to the shape's bounds) and the regular switch, with a picture of the chosen shape
// and the fading hint line. The Cutter presets the model, runs it and on 1 applies the model.
#pragma once

#include "plugin/windows/auto_layout_model.h"
#include "plugin/windows/dialog_window.h"

class CWnd_AutoLayout : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "AutoLayout";
    static constexpr const char* kPositionGroup = "Cutter";
    static constexpr const char* kPositionName = "AutoLayout";

    explicit CWnd_AutoLayout(CDialogHost* host) : CDialogWindow(host) {}

    CAutoLayoutModel& Model() { return m_model; }
    int32_t Run(CQWF_Window* owner);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnHoverControl(int32_t index) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;
    int32_t ReleaseFocus(int32_t index) override;

protected:
    const char* HintWindowName() const override { return "AutoLayout"; }

private:
    void ShowModel();
    int WhichEdit(int32_t index) const;

    CAutoLayoutModel m_model;
    int32_t m_slider[2] = {-1, -1};
    int32_t m_edit[2] = {-1, -1};
    int32_t m_tri = -1;
    int32_t m_hex = -1;
    int32_t m_regular = -1;
    int32_t m_picture[2] = {-1, -1};
    int32_t m_ok = -1;
    int32_t m_help = -1;
    bool m_showing = false;
};
