#include "plugin/windows/wnd_autolayout.h"

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"

namespace {
const char* const kNames[2] = {"AutoLayout_Rows", "AutoLayout_Cols"};
}

int32_t CWnd_AutoLayout::Run(CQWF_Window* owner)
{
    return RunAtStoredPosition(kSkinName, kPositionGroup, kPositionName, owner);
}

bool CWnd_AutoLayout::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    const int32_t editFont = LoadFont("Edit Font");
    const int32_t infoFont = LoadFont("Info Font");
    if (editFont < 0 || infoFont < 0) return false;
    Add("AutoLayout_CloseX", QWF_CTRL_BUTTON);
    Add("AutoLayout_Cancel", QWF_CTRL_BUTTON);
    m_ok = Add("AutoLayout_Ok", QWF_CTRL_BUTTON);
    m_help = AddHelp("AutoLayout_Help");
    for (int i = 0; i < 2; ++i) m_slider[i] = Add(kNames[i], QWF_CTRL_SLIDER);
    for (int i = 0; i < 2; ++i) m_edit[i] = AddEdit(kNames[i], editFont, true, true);
    m_tri = Add("AutoLayout_Tri", QWF_CTRL_RADIO);
    m_hex = Add("AutoLayout_Hex", QWF_CTRL_RADIO);
    m_regular = Add("AutoLayout_Regular", QWF_CTRL_CHECKBOX);
    m_picture[0] = Add("AutoLayout_Tri", QWF_CTRL_STATIC_IMAGE);
    m_picture[1] = Add("AutoLayout_Hex", QWF_CTRL_STATIC_IMAGE);
    AddText("AutoLayout_Status", infoFont, 3, 0, 12, true);
    if (!AllAdded()) return false;
    m_model.Show();
    ShowModel();
    StartStatus();
    return true;
}

void CWnd_AutoLayout::ShowModel()
{
    m_showing = true;
    const bool hex = m_model.GetShape() == CAutoLayoutModel::kHexagonal;
    GetControl(m_tri)->SetCheck(!hex, false);
    GetControl(m_hex)->SetCheck(hex, false);
    GetControl(m_regular)->SetCheck(m_model.IsRegular(), false);
    for (int k = 0; k < 2; ++k) {
        auto* picture = Ctl<CQWF_CtrlStaticImage>(m_picture[k]);
        const uint8_t opacity = (k == 1) == hex ? 255 : 0;
        if (picture->GetOpacity() != opacity) picture->SetOpacity(opacity);
    }
    for (int i = 0; i < 2; ++i) {
        const int32_t max = m_model.GetMaximum(i);
        auto* slider = Ctl<CQWF_CtrlSlider>(m_slider[i]);
        if (slider->GetValueScaled(1, max) != m_model.GetValue(i)) slider->SetValueScaled(1, max, m_model.GetValue(i), false);
        auto* edit = Ctl<CQWF_CtrlEditLine>(m_edit[i]);
        if (edit->GetText() != m_model.GetEditText(i)) edit->SetText(m_model.GetEditText(i), false);
    }
    m_showing = false;
}

int CWnd_AutoLayout::WhichEdit(int32_t index) const
{
    for (int i = 0; i < 2; ++i)
        if (m_edit[i] == index) return i;
    return -1;
}

int32_t CWnd_AutoLayout::ReleaseFocus(int32_t index)
{
    const int32_t previous = CDialogWindow::ReleaseFocus(index);
    const int which = WhichEdit(index);
    if (which >= 0 && !m_showing) {
        m_model.OnEditDone(which);
        ShowModel();
    }
    return previous;
}

bool CWnd_AutoLayout::OnKeyDown(uint32_t code, uint32_t)
{
    return OkCancelKey(code, m_ok, kPositionGroup, kPositionName);
}

bool CWnd_AutoLayout::OnHoverControl(int32_t index)
{
    // The two pictures give no hint.
    if (index >= 0 && (index == m_picture[0] || index == m_picture[1])) return true;
    return CDialogWindow::OnHoverControl(index);
}

bool CWnd_AutoLayout::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (m_showing) return true;
    if (kind == QWF_CTRL_SLIDER && (code == QWF_NOTIFY_VALUE || code == QWF_NOTIFY_VALUE_CHANGING)) {
        for (int i = 0; i < 2; ++i)
            if (m_slider[i] == index) {
                m_model.OnSlider(i, Ctl<CQWF_CtrlSlider>(index)->GetValueScaled(1, m_model.GetMaximum(i)));
                ShowModel();
            }
        return true;
    }
    if (code == QWF_NOTIFY_TEXT && kind == QWF_CTRL_EDIT) {
        const int which = WhichEdit(index);
        if (which >= 0) {
            m_model.OnEditChanged(which, Ctl<CQWF_CtrlEditLine>(index)->GetText().GetBuffer());
            ShowModel();
        }
        return true;
    }
    if (code != QWF_NOTIFY_CLICK) return CDialogWindow::OnNotify(code, index, name, kind, data);
    if (kind == QWF_CTRL_RADIO) {
        if (GetControl(index)->GetCheck())
            m_model.SetShape(index == m_hex ? CAutoLayoutModel::kHexagonal : CAutoLayoutModel::kTriangular);
        ShowModel();
        return true;
    }
    if (kind == QWF_CTRL_CHECKBOX) {
        m_model.SetRegular(GetControl(index)->GetCheck());
        return true;
    }
    const CQWF_String n = name ? name : "";
    if (n == "AutoLayout_Ok") {
        SavePosition(kPositionGroup, kPositionName);
        EndModal(kOk);
    } else if (n == "AutoLayout_Cancel" || n == "AutoLayout_CloseX") {
        EndModal(kCancel);
    } else if (n == "AutoLayout_Help") {
        ShowHelpMenu(m_help);
    }
    return true;
}
