#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_list.h"

// The class of each control kind that a window creates from the skin by kind and name. Kinds
// without a class here cannot be added that way.
CQWF_Control* QWF_NewControl(uint8_t kind)
{
    switch (kind) {
    case QWF_CTRL_EDIT: return new CQWF_CtrlEditLine;
    case QWF_CTRL_LIST: return new CQWF_CtrlList;
    default: return nullptr;
    }
}
