#include "platform/qw_userfolders.h"

#include <cstdlib>

#include "platform/qw_paths.h"

namespace qwp {
namespace {
struct Override {
    bool set = false;
    std::string path;
};
Override g_overrides[3];

std::string DataHome()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return data;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/share";
    return std::string();
}

std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}
}  // namespace

std::string SpecialFolderLocation(SpecialFolder which)
{
    int index = static_cast<int>(which);
    std::string path;
    if (g_overrides[index].set) {
        path = g_overrides[index].path;
    } else {
        static const char* const kEnv[3] = {"QW_PROGRAMS", "QW_COMMON_PROGRAMS", "QW_APPDATA"};
        const char* env = std::getenv(kEnv[index]);
        if (env) {
            path = env[0] == '/' ? ToWindowsPath(env) : std::string(env);
        } else {
            std::string data = DataHome();
            if (data.empty()) return std::string();
            if (which != SpecialFolder::AppData) data += "/applications";
            path = ToWindowsPath(data.c_str());
        }
    }
    return WithoutTrailingSeparators(path);
}

std::string SpecialFolderPath(SpecialFolder which)
{
    std::string path = SpecialFolderLocation(which);
    if (path.empty() || !FolderExists(path.c_str())) return std::string();
    return path;
}

void SetSpecialFolderForTesting(SpecialFolder which, const char* windowsPath)
{
    Override& o = g_overrides[static_cast<int>(which)];
    o.set = windowsPath != nullptr;
    o.path = windowsPath ? windowsPath : "";
}
}  // namespace qwp
