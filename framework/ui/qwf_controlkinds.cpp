#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_ruler.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"

// The class of each control kind that a window creates from the skin by kind and name. Kinds
// without a class here cannot be added that way.
CQWF_Control* QWF_NewControl(uint8_t kind)
{
    switch (kind) {
    case QWF_CTRL_SLIDER: return new CQWF_CtrlSlider;
    case QWF_CTRL_STATIC_IMAGE: return new CQWF_CtrlStaticImage;
    case QWF_CTRL_STATIC_TEXT: return new CQWF_CtrlStaticText;
    case QWF_CTRL_PROGRESS: return new CQWF_CtrlProgress;
    case QWF_CTRL_BUTTON: return new CQWF_CtrlButton;
    case QWF_CTRL_RADIO: return new CQWF_CtrlRadioButton;
    case QWF_CTRL_CHECKBOX: return new CQWF_CtrlCheckBox;
    case QWF_CTRL_EDIT: return new CQWF_CtrlEditLine;
    case QWF_CTRL_SCROLLBAR: return new CQWF_CtrlScrollBar;
    case QWF_CTRL_LIST: return new CQWF_CtrlList;
    case QWF_CTRL_RULER: return new CQWF_CtrlRuler;
    default: return nullptr;
    }
}

void CQWF_Control::SetShown(bool shown)
{
    m_shown = shown;
    CQWF_Layer* layers[2] = {nullptr, nullptr};
    if (auto* slider = dynamic_cast<CQWF_CtrlSlider*>(this)) {
        layers[0] = slider->GetBackgroundLayer();
        layers[1] = slider->GetThumbLayer();
    } else if (auto* image = dynamic_cast<CQWF_CtrlStaticImage*>(this)) {
        layers[0] = image->GetLayer();
    } else if (auto* text = dynamic_cast<CQWF_CtrlStaticText*>(this)) {
        layers[0] = text->GetLayer();
    } else if (auto* progress = dynamic_cast<CQWF_CtrlProgress*>(this)) {
        layers[0] = progress->GetLayer();
    } else if (auto* button = dynamic_cast<CQWF_CtrlButton*>(this)) {
        layers[0] = button->GetLayer();
    } else if (auto* edit = dynamic_cast<CQWF_CtrlEditLine*>(this)) {
        layers[0] = edit->GetLayer();
    }
    SetEnabled(shown);
    if (!shown && m_window && m_window->GetFocusIndex() == m_index) m_window->SetFocusControl(-1);
    for (CQWF_Layer* l : layers)
        if (l) l->SetVisible(shown ? 1 : 0);
    RepaintRect(GetRect());
}
