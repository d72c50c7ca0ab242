// The zone part of the main window's cursor query, from the mouse editing state: the grid-line
// drag, the splitter rulers (each counting its inner edge as inside) with their markers and
// whether a line could be inserted there, the preview and a selection drag. The window adds
// the modifiers, panning, scroll bars, navigator and piece, and asks ChooseMainCursor.
#pragma once

#include "plugin/main/layout_mouse.h"
#include "plugin/main/main_info.h"

#include <cstdint>

// Fills the fields of the query that the mouse and the model know, for a point in the mouse's
// coordinates; the query's modifiers must be set already (Ctrl+Shift decides the insert test).
void FillCursorZone(const CLayoutMouse& mouse, const CLayoutModel& model, int32_t x, int32_t y, CursorQuery& q);
