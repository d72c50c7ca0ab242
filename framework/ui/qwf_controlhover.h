// The hover watch of the controls that light up under the pointer.
#pragma once

class CQWF_Control;

// Whether the pointer still lies over the control in its own window: the native window under
// the pointer is the control's window and the control is hit there. Catches the pointer leaving
// the window, which sends no further moves.
bool QWF_PointerOverControl(CQWF_Control* control);
