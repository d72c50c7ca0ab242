// Whole-file output of the test host: what stood at the path is never removed.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/qw_hostfile.h"
#include "qwhost.h"

namespace qwhost {

bool WriteOutputFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    errno = 0;
    if (qwp::WriteHostFileAtomically(path, {{bytes.data(), bytes.size()}}, 0)) return true;
    // The system's reason, as the failing step left it.
    error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
}

}  // namespace qwhost
