// The custom mutations dialog: the mutation amounts of S, U and H as whole percentages, each on a
// slider and an edit line; Shift on a slider sets all three. The Cutter presets the amounts, runs
// it and on 1 stores and applies them.
#pragma once

#include "plugin/windows/custom_mutations_model.h"
#include "plugin/windows/dialog_window.h"

class CWnd_CustomMutations : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "CMuts";
    static constexpr const char* kPositionGroup = "Cutter";
    static constexpr const char* kPositionName = "CMuts";

    explicit CWnd_CustomMutations(CDialogHost* host) : CDialogWindow(host) {}

    CCustomMutationsModel& Model() { return m_model; }
    // Creates the window at its stored position over the owner and runs it.
    int32_t Run(CQWF_Window* owner);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;
    int32_t ReleaseFocus(int32_t index) override;

private:
    // Sliders and edits as the model shows them; an edit's text is written only when it differs.
    void ShowModel();
    int WhichEdit(int32_t index) const;

    CCustomMutationsModel m_model;
    int32_t m_slider[3] = {-1, -1, -1};
    int32_t m_edit[3] = {-1, -1, -1};
    int32_t m_ok = -1;
    int32_t m_help = -1;
    bool m_showing = false;
};
