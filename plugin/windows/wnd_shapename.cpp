#include "plugin/windows/wnd_shapename.h"

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_editline.h"

int32_t CWnd_ShapeName::Run(CQWF_Window* owner)
{
    int32_t x = -32000, y = -32000;
    if (m_host) m_host->GetWindowPosition(m_group.GetBuffer(), kPositionName, x, y);
    if (!CreateFromSkin(kSkinName, x, y, owner, 0)) return -1;
    return RunModal();
}

bool CWnd_ShapeName::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    const int32_t font = LoadFont("List Font");
    if (font < 0) return false;
    Add("ShapeName_CloseX", QWF_CTRL_BUTTON);
    Add("ShapeName_Cancel", QWF_CTRL_BUTTON);
    m_ok = Add("ShapeName_Ok", QWF_CTRL_BUTTON);
    m_help = AddHelp("ShapeName_Help");
    m_edit = AddEdit("ShapeName_Name", font, false, true);
    if (!AllAdded()) return false;
    GetControl(m_ok)->SetEnabled(false);
    // Set with notification: the text decides at once whether OK is enabled. The field has the
    // focus from the start, its text selected, so that typing replaces the proposal.
    const CQWF_String proposal = m_name;
    Ctl<CQWF_CtrlEditLine>(m_edit)->SetText(proposal.GetBuffer(), true);
    Ctl<CQWF_CtrlEditLine>(m_edit)->SetFocus(true);
    return true;
}

void CWnd_ShapeName::Confirm()
{
    m_name = Ctl<CQWF_CtrlEditLine>(m_edit)->GetText();
    SavePosition(m_group.GetBuffer(), kPositionName);
    EndModal(kOk);
}

bool CWnd_ShapeName::OnKeyDown(uint32_t code, uint32_t)
{
    if (code == QWF_KEY_ENTER) {
        if (GetControl(m_ok)->IsEnabled()) Confirm();
        return true;
    }
    if (code == QWF_KEY_ESCAPE) {
        EndModal(kCancel);
        return true;
    }
    return false;
}

bool CWnd_ShapeName::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (code == QWF_NOTIFY_TEXT && index == m_edit) {
        CQWF_String text = Ctl<CQWF_CtrlEditLine>(m_edit)->GetText();
        text.Trim();
        GetControl(m_ok)->SetEnabled(text.GetLength() > 0);
        return true;
    }
    if (code != QWF_NOTIFY_CLICK || kind != QWF_CTRL_BUTTON)
        return CDialogWindow::OnNotify(code, index, name, kind, data);
    const CQWF_String n = name ? name : "";
    if (n == "ShapeName_Ok")
        Confirm();
    else if (n == "ShapeName_Cancel" || n == "ShapeName_CloseX")
        EndModal(kCancel);
    else if (n == "ShapeName_Help")
        ShowHelpMenu(m_help);
    return true;
}
