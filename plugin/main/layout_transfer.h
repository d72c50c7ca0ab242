// The hand-over of the main window's layout to the cutting engine as knife lines (the commit of
// Apply and the Cutter's Cut): grid lines, knot offsets and every knife with its flips and tips
// size baked in, as the engine's replay of the same layout would make them.
#pragma once

#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_model.h"

// False when the engine could not be sized or its lattice and knife counts differ from the
// model's; the engine's layout is then not to be cut with.
bool TransferKnives(const CLayoutModel& model, CJigcrafter& engine);
