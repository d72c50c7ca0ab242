// Controls that come and go: a control shown or hidden together with every layer it draws on,
// and disabled while hidden, so that it takes no input.
#pragma once

#include "framework/ui/qwf_control.h"

void SetControlShown(CQWF_Control* control, bool shown);
