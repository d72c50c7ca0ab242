// Every benchmark program refuses to run with a setting of the environment it does not know: a
// misspelled QW_ISA would measure the kernels of another level than the one asked for.
#include <cerrno>
#include <cstdlib>

#include "platform/qw_envcheck.h"

namespace {
const bool g_settingsKnown = [] {
    if (!qwp::CheckEnvironmentSettings(program_invocation_short_name)) std::exit(2);
    return true;
}();
}  // namespace
