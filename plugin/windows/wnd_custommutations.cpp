#include "plugin/windows/wnd_custommutations.h"

#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"

namespace {
const char* const kNames[3] = {"CMuts_MutS", "CMuts_MutU", "CMuts_MutH"};
}

int32_t CWnd_CustomMutations::Run(CQWF_Window* owner)
{
    return RunAtStoredPosition(kSkinName, kPositionGroup, kPositionName, owner);
}

bool CWnd_CustomMutations::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    const int32_t font = LoadFont("Edit Font");
    if (font < 0) return false;
    Add("CMuts_CloseX", QWF_CTRL_BUTTON);
    Add("CMuts_Cancel", QWF_CTRL_BUTTON);
    m_ok = Add("CMuts_Ok", QWF_CTRL_BUTTON);
    m_help = AddHelp("CMuts_Help");
    for (int i = 0; i < 3; ++i) m_slider[i] = Add(kNames[i], QWF_CTRL_SLIDER);
    for (int i = 0; i < 3; ++i) m_edit[i] = AddEdit(kNames[i], font, true, true);
    if (!AllAdded()) return false;
    m_model.Show();
    ShowModel();
    return true;
}

void CWnd_CustomMutations::ShowModel()
{
    m_showing = true;
    for (int i = 0; i < 3; ++i) {
        auto* slider = Ctl<CQWF_CtrlSlider>(m_slider[i]);
        if (static_cast<int32_t>(slider->GetValue()) != m_model.GetSlider(i))
            slider->SetValue(static_cast<uint32_t>(m_model.GetSlider(i)), false);
        auto* edit = Ctl<CQWF_CtrlEditLine>(m_edit[i]);
        if (edit->GetText() != m_model.GetEditText(i)) edit->SetText(m_model.GetEditText(i), false);
    }
    m_showing = false;
}

int CWnd_CustomMutations::WhichEdit(int32_t index) const
{
    for (int i = 0; i < 3; ++i)
        if (m_edit[i] == index) return i;
    return -1;
}

int32_t CWnd_CustomMutations::ReleaseFocus(int32_t index)
{
    const int32_t previous = CDialogWindow::ReleaseFocus(index);
    const int which = WhichEdit(index);
    if (which >= 0 && m_edit[which] >= 0 && !m_showing) {
        m_model.OnEditDone(which);
        ShowModel();
    }
    return previous;
}

bool CWnd_CustomMutations::OnKeyDown(uint32_t code, uint32_t)
{
    return OkCancelKey(code, m_ok, kPositionGroup, kPositionName);
}

bool CWnd_CustomMutations::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (m_showing) return true;
    if (kind == QWF_CTRL_SLIDER && (code == QWF_NOTIFY_VALUE || code == QWF_NOTIFY_VALUE_CHANGING)) {
        for (int i = 0; i < 3; ++i)
            if (m_slider[i] == index) {
                const auto v = static_cast<int32_t>(Ctl<CQWF_CtrlSlider>(index)->GetValue());
                m_model.OnSlider(i, v, (GetModifierKeys() & QWF_MOD_SHIFT) != 0);
                ShowModel();
            }
        return true;
    }
    if (code == QWF_NOTIFY_TEXT) {
        const int which = WhichEdit(index);
        if (which >= 0) {
            m_model.OnEditChanged(which, Ctl<CQWF_CtrlEditLine>(index)->GetText().GetBuffer());
            ShowModel();
        }
        return true;
    }
    if (code != QWF_NOTIFY_CLICK || kind != QWF_CTRL_BUTTON)
        return CDialogWindow::OnNotify(code, index, name, kind, data);
    const CQWF_String n = name ? name : "";
    if (n == "CMuts_Ok") {
        SavePosition(kPositionGroup, kPositionName);
        EndModal(kOk);
    } else if (n == "CMuts_Cancel" || n == "CMuts_CloseX") {
        EndModal(kCancel);
    } else if (n == "CMuts_Help") {
        ShowHelpMenu(m_help);
    }
    return true;
}
