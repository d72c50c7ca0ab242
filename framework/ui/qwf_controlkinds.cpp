#include "framework/ui/qwf_control.h"

// The class of each control kind that a window creates from the skin by kind and name. Kinds
// without a class here cannot be added that way.
CQWF_Control* QWF_NewControl(uint8_t kind)
{
    switch (kind) {
    default: return nullptr;
    }
}
