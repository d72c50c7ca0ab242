#include "platform/qw_winsys.h"

namespace qwp {

std::unique_ptr<WindowSystem> CreateX11WindowSystem(const char*) { return nullptr; }

}  // namespace qwp
