#include "plugin/main/control_visibility.h"

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"

void SetControlShown(CQWF_Control* c, bool shown)
{
    if (!c)
        return;
    CQWF_Layer* layers[2] = {nullptr, nullptr};
    switch (c->GetKind()) {
    case 1:
        layers[0] = static_cast<CQWF_CtrlSlider*>(c)->GetBackgroundLayer();
        layers[1] = static_cast<CQWF_CtrlSlider*>(c)->GetThumbLayer();
        break;
    case 2:
        layers[0] = static_cast<CQWF_CtrlStaticImage*>(c)->GetLayer();
        break;
    case 4:
        layers[0] = static_cast<CQWF_CtrlProgress*>(c)->GetLayer();
        break;
    case 5:
    case 6:
    case 7:
        layers[0] = static_cast<CQWF_CtrlButton*>(c)->GetLayer();
        break;
    case 8:
        layers[0] = static_cast<CQWF_CtrlEditLine*>(c)->GetLayer();
        break;
    default:
        break;
    }
    c->SetEnabled(shown);
    for (CQWF_Layer* l : layers)
        if (l)
            l->SetVisible(shown ? 1 : 0);
    const QWF_Rect r = c->GetRect();
    if (CQWF_Window* w = c->GetWindow()) {
        w->InvalidateRect(r.left, r.top, r.right, r.bottom);
        w->Redraw(r);
    }
}
