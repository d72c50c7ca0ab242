// The settings of how the programs run that come from the environment: QW_ISA (the vector level,
// qw_cpu.h), QW_WINDOW_SYSTEM (qw_winsys.h) and QW_THREADS (qw_threads.h). A value that is none
// of a setting's values is an error that says what the setting takes; a setting that is unset or
// empty is none.
#pragma once

#include <initializer_list>
#include <string>

namespace qwp {

// The error of environment variable `name` (which chooses `what`, e.g. "a vector level") when
// its value is none of `values`; "" when it is unset, empty or one of them.
std::string SettingValueError(const char* name, const char* what,
                              std::initializer_list<const char*> values);

// The errors of QW_ISA, QW_WINDOW_SYSTEM and QW_THREADS, one a line; "" when there are none.
std::string EnvironmentSettingErrors();

// A program's first step: each error on stderr after the program's name ("qwhost: QW_ISA is
// ..."); false when there is one, and the program then ends with exit status 2 before it does
// anything else.
bool CheckEnvironmentSettings(const char* program);

}  // namespace qwp
