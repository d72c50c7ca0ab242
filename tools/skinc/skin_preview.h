// Pictures of the compiled windows at rest, for reading the look without running a program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/skinc/skin_compiler.h"

namespace skinc {

// The window composed from its resting images: RGBA planes, alpha from the window's shape. A
// progress bar shows half its length, as the toolkit sets it at creation.
bool ComposeWindow(const Compiler& compiler, const WindowSummary& window, std::vector<uint8_t>& rgba);

// DIR/NAME.png for every window.
bool WritePreviews(Compiler& compiler, const std::string& hostDir);
// Every image element as DIR/KEY.png, the key's ">" written as "~".
bool WriteElements(Compiler& compiler, const std::string& hostDir);

}  // namespace skinc
