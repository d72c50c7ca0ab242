// The main window's preview source: the working rectangle of the host image as RGB with the
// filtered area's mask as alpha.
#pragma once

#include "framework/imaging/qwf_image.h"
#include "plugin/core/qw_pluginmain.h"

// Reads the working rectangle (as the mask reading narrowed it) into an RGB-with-alpha image.
// Grayscale and CMYK are converted to RGB. Another image mode, or a failed conversion, sets the
// host result to bad parameters; every failure answers false.
bool LoadPreviewSource(CPluginMain& plugin, CQWF_Image& out);
