// Writes the "SPath.conf" package that names the module's data folder.
#include <string>

#include "framework/core/qwf_storage.h"

namespace qwhost {

bool WriteSPathConf(const std::string& folder, const std::string& dataDir, std::string& error) {
    // The package takes Windows-style paths: Z:\ is the POSIX root.
    std::string path = "Z:";
    for (char c : folder) path.push_back(c == '/' ? '\\' : c);
    if (path.back() != '\\') path.push_back('\\');
    path += "SPath.conf";
    CQWF_Storage conf;
    if (!conf.OpenFile(path.c_str(), CQWF_Storage::kModeCreate) ||
        !conf.SetString("SPath", dataDir.c_str()) || !conf.Close()) {
        error = "cannot write " + path + " (error " + std::to_string(conf.GetError()) + ")";
        return false;
    }
    return true;
}

}  // namespace qwhost
