// Whole-file output of the test host: what stood at the path is never removed.
#include <string>
#include <vector>

#include "platform/qw_hostfile.h"
#include "qwhost.h"

namespace qwhost {

bool WriteOutputFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    if (qwp::WriteHostFileAtomically(path, {{bytes.data(), bytes.size()}}, 0)) return true;
    error = "cannot write " + path;
    return false;
}

}  // namespace qwhost
