// The file name of the module whose code calls these: the shared library when the caller runs
// inside one (the filter module), else the program.
#pragma once

#include <string>

namespace qwp {
// Host path of the module file ("" when it cannot be found).
std::string ModuleHostPath();
// The same as a Windows-style path ("Z:\...").
std::string ModuleFileName();
// Test hook: answer this Windows-style path instead; null restores the real answer.
void SetModuleFileNameForTesting(const char* windowsPath);
}  // namespace qwp
