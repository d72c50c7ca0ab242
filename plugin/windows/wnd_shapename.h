// The shape-name dialog: one edit line for the name of a knife shape in the presets library,
// with OK (enabled while the name holds more than blanks), Cancel, close and Help. The caller
// sets the proposal and the position group, runs it, and on 1 reads the name as typed.
#pragma once

#include "plugin/windows/dialog_window.h"

class CWnd_ShapeName : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "ShapeName";
    static constexpr const char* kPositionName = "Shape Name";

    explicit CWnd_ShapeName(CDialogHost* host) : CDialogWindow(host) {}

    void SetName(const char* name) { m_name = name ? name : ""; }
    const char* GetName() const { return m_name.GetBuffer(); }
    void SetPositionGroup(const char* group) { m_group = group ? group : ""; }

    // Reads the stored position of the group, creates the window over the owner and runs it.
    int32_t Run(CQWF_Window* owner);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

private:
    void Confirm();

    CQWF_String m_name;
    CQWF_String m_group;
    int32_t m_edit = -1;
    int32_t m_ok = -1;
    int32_t m_help = -1;
};
